#pragma once
// Texts that a command line reads word by word, kept so through the job
// merge.
//
// The build hands each job a context in which every variable is the list of
// the values merged under its name: a list arrives with its own items, but a
// text arrives as a one-item list holding the whole text. getVariableStrings
// reads a text word by word and a list item by item, so a define written as
// "NDEBUG V=3" would turn from two pieces into one (and a LIB of "-lm -lz"
// into one quoted argument). A tool that reads a variable that way stores it
// in its recipes as a list of words: a text as the list of its words, a path
// as the list of itself, a list as the list of its items. The merge leaves
// such a list as it is, and every piece of the command line stays what it is
// without the merge. An item of a list is one piece whatever the list's
// length, so an item that holds a blank on purpose stays one argument.
//
// A recipe input holds a list of one item as that item alone, where it could
// no longer be told from a text; the recipes' words are therefore taken from
// the target's own value, never from the recipe input.

#include <initializer_list>

#include "tools/builder.h"
#include "types/tolm_value.h"
#include "types/variable_access.h"

namespace Tolm {

// A text (plain or raw) as a list of its words, each of the text's own kind;
// a path as a list of itself; a list as the list of its items at every
// depth, each whole; any other value as a copy; null as null. Nothing of
// the result is shared with the value.
TolmValuePtr asWordList(const TolmValuePtr& value);

// asWordList for the named variables wherever the recipes carry them: the
// recipe inputs, from the target's values in `variables`, and the
// assignments every job receives.
void keepWordsThroughMerge(RecipeSet& recipes, const VariableMap& variables,
                           std::initializer_list<const char*> names);

}  // namespace Tolm
