#include "hotkeyrule.h"

namespace platform {

int hotKeyCode(bool keyDown, int keyCode, bool ctrlDown, bool shiftDown)
{
    const bool mainDigit = keyCode >= 0x30 && keyCode <= 0x39;
    return keyDown && ctrlDown && shiftDown && mainDigit ? keyCode : 0;
}

} // namespace platform
