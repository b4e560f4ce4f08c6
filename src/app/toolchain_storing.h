#pragma once

// Storing the toolchains "--find-compilers" detected into the registry.
// Each detected definition names itself with a `toolchain_name` assignment;
// the rest of it becomes the registry tool of that name, replacing a tool of
// the same name (ignoring case).

#include <memory>
#include <vector>

#include "tolm_registry.h"
#include "types/context_template.h"

// Stores every definition, or, when one of them is unusable, none: throws
// Tolm::TolmException "Build tool context is null." or "Build tool context
// has multiple 'name' assignments.", or Tolm::NotFoundException for a
// missing `toolchain_name` or one without a value.
void storeDetectedToolchains(TolmRegistry& registry,
                             const std::vector<std::shared_ptr<Tolm::ContextTemplate>>& definitions);
