#pragma once

namespace platform {

// Called on the main thread for every key-down of Ctrl + Shift + a main-keyboard
// digit, with the digit's character code (48 for 0 ... 57 for 9).
using HotKeyCallback = void (*)(void* context, int keyCode);

// Installs the system-wide, passive keyboard listener. There is one listener
// per process: a later call only hands the reports to its own callback, and
// the last caller gets them all. Returns false when it cannot be installed
// (e.g. no X server with the RECORD extension).
bool installKeyboardListener(HotKeyCallback callback, void* context);

// True once for the key-down of the last hot-key's digit arriving as an
// ordinary key event (`nativeVirtualKey` as the toolkit reports it). A Windows
// hook passes that key on, and it reaches the window that opened on the hot-key,
// at any time after it. X11 delivers it before such a window exists: never.
bool isHotKeyEcho(int nativeVirtualKey);

} // namespace platform
