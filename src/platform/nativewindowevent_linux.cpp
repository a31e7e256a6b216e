#include "nativewindowevent.h"

#include <X11/X.h>

#include <cstring>

namespace platform {

bool isWindowDestroyedEvent(const char* eventType, const void* message)
{
    // An xcb event starts with its type; the top bit marks a sent event.
    return std::strcmp(eventType, "xcb_generic_event_t") == 0
        && (*static_cast<const unsigned char*>(message) & 0x7f) == DestroyNotify;
}

} // namespace platform
