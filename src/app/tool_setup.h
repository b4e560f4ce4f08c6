#pragma once

// Tool set-up: every tool definition becomes one matcher, made by the
// factory registered for the definition's `tool_type`. Tools come from three
// places, in this order: the two built-in tools, the registry and the
// projects; the application remembers which tools came from the registry and
// which from the projects, since selection prefers the latter. A definition
// that cannot become a tool is reported and skipped; it never stops the run,
// since the build may not need it.

#include <memory>

#include "tolm_app.h"
#include "tools/matcher.h"

// The declaration's matcher, or empty when it cannot be made (every such
// case is logged at level 6). `tool_type` goes to neither of the matcher's
// maps; "!" assignments become its required variables, the others its
// variables; the definition's conditional blocks are copied in.
std::shared_ptr<Tolm::Matcher> createToolMatcher(const ToolDeclaration& declaration);
