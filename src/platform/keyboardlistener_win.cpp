// Win32 side of the hot-key listener: a low-level keyboard hook, plain C++ and
// <windows.h>, no toolkit.
#include "hotkeyrule.h"
#include "keyboardlistener.h"

#include <windows.h>

namespace {

HHOOK hookHandle = nullptr;
platform::HotKeyCallback hotKeyCallback = nullptr;
void* callbackContext = nullptr;
// The digit of the last hot-key, until its key-down has come back as a message.
int pendingEcho = 0;

bool isDown(int virtualKey)
{
    return (GetKeyState(virtualKey) & 0x8000) != 0;
}

// The capture that follows takes the keyboard away before the user lets go of
// the modifiers; without this the system would go on seeing them held.
void releaseModifiers()
{
    keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
    keybd_event(VK_CONTROL, 0, KEYEVENTF_KEYUP, 0);
}

// Sees every key of every application and swallows none.
LRESULT CALLBACK hookProc(int code, WPARAM message, LPARAM keyInfo)
{
    if (message == WM_KEYDOWN) {
        // Windows moves a thread's key state on as the thread reads its own key
        // messages, and this thread seldom has the focus: the snapshot brings
        // its view up to date before the modifiers are read.
        BYTE keyboardState[256];
        GetKeyboardState(keyboardState);
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(keyInfo);
        const int hotKey = platform::hotKeyCode(
            true, static_cast<int>(key->vkCode), isDown(VK_CONTROL), isDown(VK_SHIFT));
        if (hotKey != 0) {
            pendingEcho = hotKey;
            hotKeyCallback(callbackContext, hotKey);
            releaseModifiers();
        }
    }
    return CallNextHookEx(hookHandle, code, message, keyInfo);
}

} // namespace

namespace platform {

bool installKeyboardListener(HotKeyCallback callback, void* context)
{
    if (!callback)
        return false;
    hotKeyCallback = callback;
    callbackContext = context;
    // One hook per process: a second one would report every key twice.
    if (!hookHandle)
        hookHandle = SetWindowsHookExW(WH_KEYBOARD_LL, hookProc, nullptr, 0);
    return hookHandle != nullptr;
}

// The hook runs on the thread that installed it, the one reading the messages.
bool isHotKeyEcho(int nativeVirtualKey)
{
    if (pendingEcho == 0 || nativeVirtualKey != pendingEcho)
        return false;
    pendingEcho = 0;
    return true;
}

} // namespace platform
