#include "tools/matcher.h"

namespace Tolm {

MatcherRegistry& matcherRegistry()
{
    // Built on first use, so a registration that runs before any other static
    // object of the program still finds it.
    static MatcherRegistry registry = [] {
        MatcherRegistry empty(1);
        empty.max_load_factor(1.0f);
        return empty;
    }();
    return registry;
}

void registerMatcherFactory(const Util::CiString& type, const Util::CiString& fallback,
                            const MatcherFactory& factory)
{
    MatcherRegistry& registry = matcherRegistry();
    MatcherFactory chosen = factory;
    if (!chosen) chosen = registry[fallback];
    registry.insert_or_assign(type, std::move(chosen));
}

}  // namespace Tolm
