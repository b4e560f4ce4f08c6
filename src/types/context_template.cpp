#include "types/context_template.h"

namespace Tolm {

ContextPtr ContextTemplate::createContext() const
{
    return std::make_shared<Context>(assignments, conditions);
}

}  // namespace Tolm
