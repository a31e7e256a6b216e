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

} // namespace platform
