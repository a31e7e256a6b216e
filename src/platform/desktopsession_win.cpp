#include "desktopsession.h"

namespace platform {

// The notification area of Windows reports double clicks, and there is no
// compositor apart from the desktop itself.
bool inWaylandSession()
{
    return false;
}

bool trayDeliversSingleActivations()
{
    return false;
}

} // namespace platform
