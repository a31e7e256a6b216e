#pragma once

namespace platform {

// Decides whether a key event is a hot-key. `keyCode` is the platform's code of
// the key: the virtual-key code on Windows, on X11 the digit keysym the key
// carries unshifted or shifted (0 for any other key); both give 48 (0x30) for
// the main-keyboard 0 up to 57 (0x39) for 9 on every layout, and other codes
// for the keypad. Returns that code for a key-down with Ctrl and
// Shift held (Alt is not examined), otherwise 0.
int hotKeyCode(bool keyDown, int keyCode, bool ctrlDown, bool shiftDown);

} // namespace platform
