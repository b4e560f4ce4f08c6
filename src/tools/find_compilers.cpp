#include "tools/find_compilers.h"

#include "tools/toolchain_detection.h"
#include "types/context_template.h"

std::vector<std::shared_ptr<Tolm::ContextTemplate>> findCompilers()
{
    return detectToolchains({
        {"/usr/bin", "/usr/local/bin", "/opt/rh", "/opt"},
        {"/usr/bin", "/usr/local/bin", "/opt"},
    });
}
