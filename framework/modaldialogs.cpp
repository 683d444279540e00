#include "framework/modaldialogs.h"

namespace lumeko::achieve {

DialogRunner &dialogRunner()
{
    static DialogRunner runner;
    return runner;
}

} // namespace lumeko::achieve
