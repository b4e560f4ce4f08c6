// The context dump: "{", one line per assignment in name order, "}" and an
// empty line, each a separate message in the level's colour.

#include "types/context.h"
#include "util/log.h"

namespace Tolm {

void Context::dump(int level)
{
    if (level < Log::verbosity) return;
    Log::log(level, "{{\n");
    for (const auto& [key, entry] : assignments) Log::log(level, "{}\n", entry.toString());
    Log::log(level, "}}\n\n");
}

}  // namespace Tolm
