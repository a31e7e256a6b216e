#pragma once

#include <cstdint>

namespace platform {

// Keeps a top-level window that is about to be shown out of the task bar (and
// the pager): the capture overlay and its popup are parts of one capture, not
// windows of their own. Call it before every show: a window manager may drop
// the request when the window is hidden.
void keepOffTaskBar(std::uintptr_t window);

} // namespace platform
