#pragma once

namespace platform {

// True in a Wayland session, where this program runs on XWayland: global
// hot-keys reach it only while an X11 window has the focus, and captures of
// native Wayland windows can come out black.
bool inWaylandSession();

// True where the notification area hands the icon single activations only
// (a StatusNotifierItem host), so that a double click never arrives.
bool trayDeliversSingleActivations();

} // namespace platform
