#pragma once

// The tree of imported projects.
//
// A project file names the projects it imports, by path or by registered
// name; each import is loaded and its own imports resolved before it joins
// the importing project's list. Two rules keep that tree finite and free of
// copies:
// - a project file is identified by its normalised path (symbolic links and
//   ".." resolved); one that is already being resolved further up the chain
//   is an import cycle and stops the run with the cycle named;
// - the same project file under the same namespace is one shared record, so
//   a project reached through two imports (a diamond) is loaded, and has its
//   units and tools registered, once. Walks over the tree visit each record
//   once.

#include <functional>

#include "types/project.h"

// Calls `visit` for the project and then, depth first in import order, for
// each project it imports, every distinct record once.
void forEachProjectOnce(const Tolm::ProjectPtr& root, const std::function<void(const Tolm::ProjectPtr&)>& visit);
