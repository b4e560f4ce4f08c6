#pragma once

// The text of the registry file.
//
// Layout: a "projects" block with one line per project, then, after an empty
// line, a "tools" block with one block per tool holding one line per
// assignment (and its conditional blocks); each block only when it has
// entries, so an empty registry is an empty file. Every line ends in "\n".
//
// Everything written here reads back to the same entry: an entry the
// language cannot carry (a name that is no identifier or is a keyword, a path
// or text holding a double quote, a context value, ...) is left out with a
// warning rather than written in a form that would make the whole file
// unreadable on the next run.

#include <string>

#include "tolm_registry.h"

// Exact texts of the warnings about entries left out.
namespace RegistryWriterMessages {
inline constexpr const char* kProjectNameSkipped =
    "Registry: project '{}' left out: its name is not an identifier.\n";
inline constexpr const char* kProjectPathSkipped =
    "Registry: project '{}' left out: its path '{}' holds a double quote.\n";
inline constexpr const char* kProjectPathNotUtf8 =
    "Registry: project '{}' left out: its path is not valid UTF-8.\n";
inline constexpr const char* kToolNameSkipped =
    "Registry: tool '{}' left out: its name is not an identifier.\n";
inline constexpr const char* kVariableSkipped =
    "Registry: variable '{}' of tool '{}' left out: its value cannot be written so that it reads back the same.\n";
inline constexpr const char* kConditionSkipped =
    "Registry: a conditional block of tool '{}' left out: its condition cannot be written so that it reads back the same.\n";
}  // namespace RegistryWriterMessages

// The whole file content for the registry, in the layout above.
std::string registryFileText(const TolmRegistry& registry);
