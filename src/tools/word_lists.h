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
// in its recipes as the list of the text's words: the merge leaves such a
// list as it is, and every piece of the command line stays what it is
// without the merge. Lists are kept as they are, so an item that holds a
// blank on purpose is still one piece; so is a path, which names one file
// even when its directories hold blanks.

#include <initializer_list>

#include "tools/builder.h"
#include "types/tolm_value.h"

namespace Tolm {

// A text (plain or raw) as a list of its words, each of the text's own kind;
// a path as a list of itself; any other value, and null, unchanged.
TolmValuePtr asWordList(const TolmValuePtr& value);

// asWordList for the named variables wherever the recipes carry them: the
// recipe inputs and the assignments every job receives.
void keepWordsThroughMerge(RecipeSet& recipes, std::initializer_list<const char*> names);

}  // namespace Tolm
