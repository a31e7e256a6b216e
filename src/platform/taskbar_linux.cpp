#include "taskbar.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <vector>

namespace platform {

// On a window not yet mapped the window manager reads _NET_WM_STATE when it
// maps it; the toolkit keeps the states it finds there and adds its own.
void keepOffTaskBar(std::uintptr_t window)
{
    static Display* display = XOpenDisplay(nullptr);
    if (!display || !window)
        return;
    const Atom property = XInternAtom(display, "_NET_WM_STATE", False);
    const Atom wanted[] = {XInternAtom(display, "_NET_WM_STATE_SKIP_TASKBAR", False),
        XInternAtom(display, "_NET_WM_STATE_SKIP_PAGER", False)};

    std::vector<Atom> states;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 1024, False, XA_ATOM, &type, &format,
            &count, &remaining, &data)
            == Success
        && data) {
        if (type == XA_ATOM && format == 32) {
            const auto* atoms = reinterpret_cast<const Atom*>(data);
            states.assign(atoms, atoms + count);
        }
        XFree(data);
    }
    for (const Atom state : wanted) {
        bool present = false;
        for (const Atom held : states)
            present = present || held == state;
        if (!present)
            states.push_back(state);
    }
    XChangeProperty(display, window, property, XA_ATOM, 32, PropModeReplace,
        reinterpret_cast<const unsigned char*>(states.data()), static_cast<int>(states.size()));
    // Before the toolkit maps the window on its own connection.
    XSync(display, False);
}

} // namespace platform
