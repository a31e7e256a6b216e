#include "nativewindowevent.h"

namespace platform {

// Only the thread that created a window can destroy it on Windows.
bool isWindowDestroyedEvent(const char*, const void*)
{
    return false;
}

} // namespace platform
