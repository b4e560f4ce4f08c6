#pragma once
// Read access to a context's variables for the build tools.
//
// The tools decide what to do and build their command lines from the
// variables of a target's evaluated context. These operations read the
// assignment map as it is (they never resolve), looking names up ignoring
// letter case. "variables" is either a context or its assignment map.
//
// Command-line pieces: every piece a value gives begins with its own
// separating space, so the pieces of several values are simply joined. A
// value whose text is empty gives no piece at all, not even the space.
//
// Command lines run through /bin/sh, so a file name must reach the program as
// one argument and exactly as it is, whatever characters it holds. A path
// value is therefore always one piece (never split into words) and written
// with quotedPath; texts the user writes (flags, defines, library words) stay
// shell text, as written.

#include <cstdint>
#include <string>
#include <string_view>

#include "types/context.h"
#include "types/tolm_value.h"

namespace Tolm {

using VariableMap = Context::AssignmentMap;

// The value of the named assignment, possibly null. Throws NotFoundException
// ("Variable", name) when there is no such assignment.
TolmValuePtr getVariable(const VariableMap& variables, const std::string& name);
TolmValuePtr getVariable(const Context& variables, const std::string& name);

// Whether an assignment of that name exists, with or without a value.
bool hasVariable(const VariableMap& variables, const std::string& name);
bool hasVariable(const Context& variables, const std::string& name);

// The modifier of the named assignment; 0 when there is none.
std::uint32_t variableModifier(const VariableMap& variables, const std::string& name);
std::uint32_t variableModifier(const Context& variables, const std::string& name);

// The value's text; the fallback when the name is absent or holds no value.
std::string variableTextOr(const VariableMap& variables, const std::string& name, const std::string& fallback);
std::string variableTextOr(const Context& variables, const std::string& name, const std::string& fallback);

// variableTextOr with the empty fallback.
std::string variableText(const VariableMap& variables, const std::string& name);
std::string variableText(const Context& variables, const std::string& name);
std::string lookupVariableText(const VariableMap& variables, std::string name);

// A file name as one shell word that /bin/sh takes literally: between double
// quotes, with a backslash before each $, backquote, " and \. A relative name
// that begins with '-' is written from the current directory ("./-v.a"), so
// no program takes it for an option. Any other name only gains the quotes.
std::string quotedPath(std::string_view path);

// One piece: a space, the prefix and the value's text. With `quote`, the
// text gets a double quote before it unless it starts with one, and after it
// unless it ends with one. A path value is written with quotedPath instead;
// without `quote` only when the shell would read its text as more than a
// plain word, or when, without a prefix, it begins with '-'. A null value
// gives nothing.
std::string valueToCommandText(const TolmValue& value, const std::string& prefix, bool quote);
std::string valueToCommandText(const TolmValuePtr& value, const std::string& prefix, bool quote);

// The pieces of a value, lists flattened at every depth; any other value is
// one piece with its whole text.
std::string flattenToStrings(const TolmValue& value, const std::string& prefix, bool quote);

// flattenToStrings of the named value; empty when absent or without value.
std::string getVariableString(const VariableMap& variables, const std::string& name,
                              const std::string& prefix, bool quote);
std::string getVariableString(const Context& variables, const std::string& name,
                              const std::string& prefix, bool quote);

// The pieces of the named value's own elements (a text gives its words, a
// list its items, a path itself), an element that is a list giving one piece
// per item (one level only). Empty when absent or without value.
std::string getVariableStrings(const VariableMap& variables, const std::string& name,
                               const std::string& prefix, bool quote);
std::string getVariableStrings(const Context& variables, const std::string& name,
                               const std::string& prefix, bool quote);

}  // namespace Tolm
