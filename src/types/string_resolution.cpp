// Resolution of text values. Text expansion and wildcard expansion arrive
// separately; until then a string resolves to an unchanged copy of itself.

#include "types/tolm_path_string.h"
#include "types/tolm_string.h"

namespace Tolm {

TolmValuePtr TolmString::resolve()
{
    return create(text);
}

TolmValuePtr TolmPathString::resolve()
{
    return create(text);
}

}  // namespace Tolm
