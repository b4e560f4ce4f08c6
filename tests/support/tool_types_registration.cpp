// The test binary fills the tool-type registry the way the program does
// before main, so tests see the same registered types as `tolm`.

#include "tools/matcher.h"

namespace {

const bool toolTypesRegistered = (Tolm::registerToolTypes(), true);

}  // namespace
