#include "tools/find_compilers.h"

#include "types/context_template.h"

// The searches are not part of this build yet: nothing is found.
std::vector<std::shared_ptr<Tolm::ContextTemplate>> findCompilers() { return {}; }
