#include "taskbar.h"

#include <windows.h>

namespace platform {

// A tool window gets no task-bar button.
void keepOffTaskBar(std::uintptr_t window)
{
    const auto handle = reinterpret_cast<HWND>(window);
    if (!handle)
        return;
    const LONG_PTR style = GetWindowLongPtrW(handle, GWL_EXSTYLE);
    if ((style & WS_EX_TOOLWINDOW) == 0)
        SetWindowLongPtrW(handle, GWL_EXSTYLE, style | WS_EX_TOOLWINDOW);
}

} // namespace platform
