#pragma once

namespace platform {

// Whether a native event handed to a window says that the window itself was
// destroyed, e.g. by another client (`xdotool windowclose`): the toolkit then
// still believes it shown, though nothing is left on the screen.
bool isWindowDestroyedEvent(const char* eventType, const void* message);

} // namespace platform
