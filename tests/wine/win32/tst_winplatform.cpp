// Checks of the Win32 side of the platform boundary, run under Wine: the
// process utilities, the hot-key hook and the start-with-system value.
// Prints one line per check and exits with the number of failed checks.
#include "platform/autostart.h"
#include "platform/keyboardlistener.h"
#include "platform/processes.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

namespace {

int failures = 0;

void check(bool ok, const std::string& what)
{
    std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok)
        ++failures;
}

void checkEqual(long long actual, long long expected, const std::string& what)
{
    check(actual == expected,
        what + " (got " + std::to_string(actual) + ", want " + std::to_string(expected) + ")");
}

std::string narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::wstring directoryOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring helperPath()
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return directoryOf(self) + L"\\wincheck_helper.exe";
}

std::wstring systemDirectory()
{
    wchar_t path[MAX_PATH];
    GetSystemDirectoryW(path, MAX_PATH);
    return path;
}

std::wstring scratchDirectory()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring dir = std::wstring(temp) + L"pelicrow-check";
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

// A copy of the helper under `name` in its own folder, so that names differing
// only in letter case can live side by side.
std::wstring helperCopy(const std::wstring& folder, const std::wstring& name)
{
    const std::wstring dir = scratchDirectory() + L"\\" + folder;
    CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring path = dir + L"\\" + name;
    CopyFileW(helperPath().c_str(), path.c_str(), FALSE);
    return path;
}

int eventSerial = 0;

struct NamedEvent
{
    std::wstring name = L"Local\\PelicrowCheck" + std::to_wstring(++eventSerial);
    HANDLE handle = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    ~NamedEvent() { CloseHandle(handle); }
    bool waitSet() const { return WaitForSingleObject(handle, 10000) == WAIT_OBJECT_0; }
};

void setHelperEnvironment(const wchar_t* started, const wchar_t* release, const wchar_t* record)
{
    SetEnvironmentVariableW(L"PELICROW_HELPER_STARTED", started);
    SetEnvironmentVariableW(L"PELICROW_HELPER_RELEASE", release);
    SetEnvironmentVariableW(L"PELICROW_HELPER_RECORD", record);
}

// A helper copy that runs until `release` is set.
HANDLE startRunningCopy(const std::wstring& path, const NamedEvent& release)
{
    NamedEvent started;
    setHelperEnvironment(started.name.c_str(), release.name.c_str(), nullptr);
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process {};
    if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
            &startup, &process)) {
        check(false, "start " + narrow(path));
        return nullptr;
    }
    CloseHandle(process.hThread);
    check(started.waitSet(), "running: " + narrow(path));
    return process.hProcess;
}

void endCopies(std::vector<HANDLE>& copies, const NamedEvent& release)
{
    SetEvent(release.handle);
    for (HANDLE copy : copies) {
        WaitForSingleObject(copy, 10000);
        CloseHandle(copy);
    }
    copies.clear();
    ResetEvent(release.handle);
}

bool wmicStarts()
{
    std::wstring commandLine = L"wmic.exe /?";
    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
            nullptr, nullptr, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// A listing that takes longer than its wait counts nothing, by design; under
// a loaded Wine a listing takes over a second for a while, so a count is asked
// again until it matches or twenty seconds have passed. A count that never
// matched while every listing ran out of time says so instead of failing: what
// is checked here is the counting, and that the machine was too slow is shown.
void checkCount(const wchar_t* name, int expected, const std::string& what)
{
    int count = -1;
    ULONGLONG tookMs = 0;
    ULONGLONG fastestMs = ~0ULL;
    const ULONGLONG deadline = GetTickCount64() + 20000;
    while (count != expected && GetTickCount64() < deadline) {
        const ULONGLONG begin = GetTickCount64();
        count = platform::processCount(name);
        tookMs = GetTickCount64() - begin;
        fastestMs = tookMs < fastestMs ? tookMs : fastestMs;
    }
    const std::string line
        = narrow(name) + " counted " + what + " in " + std::to_string(tookMs) + " ms";
    if (count != expected && fastestMs >= 1000) {
        std::printf("SLOW: %s (got %d, want %d): every listing outlasted the one-second wait\n",
            line.c_str(), count, expected);
        return;
    }
    checkEqual(count, expected, line);
}

void checkCounts(const char* when, int programs, int launchers)
{
    checkCount(L"Pelicrow.exe", programs, when);
    checkCount(L"Pelicrow_Launcher.exe", launchers, when);
}

void testProcessCount()
{
    NamedEvent release;
    std::vector<HANDLE> copies;
    // Neither the launcher nor another letter case is the program.
    copies.push_back(startRunningCopy(helperCopy(L"launcher", L"Pelicrow_Launcher.exe"), release));
    copies.push_back(startRunningCopy(helperCopy(L"lower", L"pelicrow.exe"), release));
    checkCounts("with no copy running", 0, 1);
    copies.push_back(startRunningCopy(helperCopy(L"first", L"Pelicrow.exe"), release));
    checkCounts("with one copy running", 1, 1);
    copies.push_back(startRunningCopy(helperCopy(L"second", L"Pelicrow.exe"), release));
    checkCounts("with two copies running", 2, 1);
    // The listing is matched as text: a longer name that contains it counts too.
    copies.push_back(startRunningCopy(helperCopy(L"older", L"OldPelicrow.exe"), release));
    checkCounts("with OldPelicrow.exe running as well", 3, 1);

    // Windows releases without wmic have no file to start. Wine runs its built-in
    // wmic even without a file, so an empty file that cannot be run takes its
    // place: CreateProcess fails just the same.
    const std::wstring wmicPath = systemDirectory() + L"\\wmic.exe";
    HANDLE blocker = CreateFileW(
        wmicPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(blocker);
    check(!wmicStarts(), "wmic cannot be started");
    checkCounts("without wmic", 3, 1);
    endCopies(copies, release);
    checkCounts("without wmic, after all copies ended", 0, 0);
    DeleteFileW(wmicPath.c_str());
    check(wmicStarts(), "wmic starts again");
    checkCounts("after all copies ended", 0, 0);
}

struct HelperRecord
{
    bool exists = false;
    int show = -2;
    std::wstring arguments;
};

HelperRecord readRecord(const std::wstring& path)
{
    HelperRecord record;
    HANDLE file = CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return record;
    wchar_t buffer[512] = {};
    DWORD read = 0;
    ReadFile(file, buffer, sizeof(buffer) - sizeof(wchar_t), &read, nullptr);
    CloseHandle(file);
    const std::wstring text(buffer);
    const auto argsAt = text.find(L"\nargs=");
    record.exists = text.rfind(L"show=", 0) == 0 && argsAt != std::wstring::npos;
    if (record.exists) {
        record.show = std::stoi(text.substr(5, argsAt - 5));
        const auto begin = argsAt + 6;
        record.arguments = text.substr(begin, text.find(L'\n', begin) - begin);
    }
    return record;
}

struct ShellCase
{
    const char* name;
    const wchar_t* verb;
    const wchar_t* parameters;
    bool show;
    int expectedShowState;
    const wchar_t* expectedArguments;
};

// Wine starts a program with "runas" without any consent prompt, so a user
// declining elevation cannot be played here; the verb still goes through.
const ShellCase shellCases[] = {
    {"runas, shown, no parameters", L"runas", L"", true, SW_SHOW, L""},
    {"runas, hidden, no parameters", L"runas", L"", false, SW_HIDE, L""},
    {"runas, hidden, with parameters", L"runas", L"alpha \"b c\"", false, SW_HIDE, L"alpha|b c"},
    {"default verb, shown, with parameters", L"", L"one", true, SW_SHOW, L"one"},
};

// executeShell with wait: the helper holds until a second thread has seen it
// start and let it go, so a call that returns early finds `released` unset.
struct HoldRelease
{
    NamedEvent started;
    NamedEvent release;
    volatile LONG released = 0;
};

DWORD WINAPI letHelperGo(void* data)
{
    auto* hold = static_cast<HoldRelease*>(data);
    if (hold->started.waitSet()) {
        InterlockedExchange(&hold->released, 1);
        SetEvent(hold->release.handle);
    }
    return 0;
}

void testExecuteShellWaiting(const ShellCase& shellCase, const std::wstring& recordPath)
{
    HoldRelease hold;
    setHelperEnvironment(hold.started.name.c_str(), hold.release.name.c_str(), recordPath.c_str());
    HANDLE releaser = CreateThread(nullptr, 0, letHelperGo, &hold, 0, nullptr);
    const int result = platform::executeShell(
        helperPath(), shellCase.verb, shellCase.parameters, shellCase.show, true);
    const bool returnedAfterEnd = InterlockedCompareExchange(&hold.released, 0, 0) == 1;
    const HelperRecord record = readRecord(recordPath);
    WaitForSingleObject(releaser, 10000);
    CloseHandle(releaser);

    const std::string name = std::string(shellCase.name) + ", waiting: ";
    checkEqual(result, 0, name + "accepted");
    check(returnedAfterEnd && record.exists, name + "returns after the program ended");
    checkEqual(record.show, shellCase.expectedShowState, name + "show state");
    check(record.arguments == shellCase.expectedArguments,
        name + "parameters [" + narrow(record.arguments) + "]");
}

bool waitForRecord(const std::wstring& path)
{
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (!readRecord(path).exists && GetTickCount64() < deadline)
        Sleep(20);
    return readRecord(path).exists;
}

void testExecuteShellNotWaiting(const ShellCase& shellCase, const std::wstring& recordPath)
{
    NamedEvent started;
    NamedEvent release;
    setHelperEnvironment(started.name.c_str(), release.name.c_str(), recordPath.c_str());
    const int result = platform::executeShell(
        helperPath(), shellCase.verb, shellCase.parameters, shellCase.show, false);
    const std::string name = std::string(shellCase.name) + ", not waiting: ";
    checkEqual(result, 0, name + "accepted");
    check(started.waitSet() && !readRecord(recordPath).exists,
        name + "returns while the program runs");
    SetEvent(release.handle);
    check(waitForRecord(recordPath), name + "program ran to its end");
    checkEqual(readRecord(recordPath).show, shellCase.expectedShowState, name + "show state");
}

struct RefusedCall
{
    std::wstring file;
    std::wstring verb;
    bool show;
    bool wait;
    int result = 1;
};

DWORD WINAPI callExecuteShell(void* data)
{
    auto* call = static_cast<RefusedCall*>(data);
    call->result = platform::executeShell(call->file, call->verb, L"", call->show, call->wait);
    return 0;
}

BOOL CALLBACK closeWindow(HWND window, LPARAM)
{
    PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

// Called on a second thread: a message box of the shell would block the call,
// and is closed here so that the check fails instead of hanging.
void checkRefused(RefusedCall call, const std::string& name)
{
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, callExecuteShell, &call, 0, &threadId);
    const bool returned = WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
    if (!returned) {
        EnumThreadWindows(threadId, closeWindow, 0);
        WaitForSingleObject(thread, 10000);
    }
    CloseHandle(thread);
    check(returned, name + ": returns without a message box");
    checkEqual(call.result, -1, name + ": refused");
}

void testExecuteShell()
{
    int serial = 0;
    for (const ShellCase& shellCase : shellCases) {
        const std::wstring base = scratchDirectory() + L"\\record";
        const std::wstring waited = base + std::to_wstring(++serial) + L".txt";
        testExecuteShellWaiting(shellCase, waited);
        const std::wstring notWaited = base + std::to_wstring(++serial) + L".txt";
        testExecuteShellNotWaiting(shellCase, notWaited);
    }
    setHelperEnvironment(nullptr, nullptr, nullptr);

    const std::wstring missing = scratchDirectory() + L"\\missing\\Pelicrow.exe";
    checkRefused({missing, L"runas", true, false}, "missing file with runas");
    checkRefused({missing, L"", false, true}, "missing file with the default verb");
    checkRefused({L"", L"runas", true, false}, "empty file name");
}

// ---- hot-key hook ----

const ULONG_PTR InjectedByTest = 0x50454C49;
const WORD EndOfCase = VK_F24;

struct KeyStep
{
    WORD key;
    bool up;
};

struct SeenKey
{
    WPARAM message;
    DWORD key;
    bool fromTest;
};

// One case: the hook side lives on the main thread, the focused window on a
// thread of its own, as the application the user types into would. (With both
// on one thread, keys typed faster than that thread reads its queue leave
// GetKeyState behind, and hot-keys typed that fast are missed.)
struct HookRun
{
    std::vector<KeyStep> steps;
    std::vector<int> reported;
    std::vector<SeenKey> seenByNextHook;
    std::vector<WORD> keyDownsInWindow;
    bool allDelivered = true;
    HANDLE stepSeen = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE endInWindow = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~HookRun()
    {
        CloseHandle(stepSeen);
        CloseHandle(endInWindow);
    }
};

std::atomic<HookRun*> currentRun {nullptr};
HHOOK nextHook = nullptr;

void onHotKey(void* context, int keyCode)
{
    static_cast<HookRun*>(context)->reported.push_back(keyCode);
}

// Installed before the listener, so that it is called by the listener's
// CallNextHookEx: it proves keys are passed on and shows the synthetic key-ups.
LRESULT CALLBACK nextHookProc(int code, WPARAM message, LPARAM keyInfo)
{
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(keyInfo);
    if (HookRun* run = currentRun.load()) {
        const bool fromTest = key->dwExtraInfo == InjectedByTest;
        run->seenByNextHook.push_back({message, key->vkCode, fromTest});
        if (fromTest)
            SetEvent(run->stepSeen);
    }
    return CallNextHookEx(nextHook, code, message, keyInfo);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    HookRun* run = currentRun.load();
    if (run && message == WM_KEYDOWN && wParam != EndOfCase)
        run->keyDownsInWindow.push_back(static_cast<WORD>(wParam));
    if (run && message == WM_KEYUP && wParam == EndOfCase)
        SetEvent(run->endInWindow);
    return DefWindowProcW(window, message, wParam, lParam);
}

// Generous: a first Wine start beside a busy build takes its time.
const ULONGLONG FocusWaitMs = 60000;

struct FocusWindow
{
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND window = nullptr;
    DWORD threadId = 0;
    HANDLE thread = nullptr;
};

DWORD WINAPI runFocusWindow(void* data)
{
    auto* focus = static_cast<FocusWindow*>(data);
    WNDCLASSW windowClass {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PelicrowCheckWindow";
    RegisterClassW(&windowClass);
    focus->window = CreateWindowW(L"PelicrowCheckWindow", L"Pelicrow check", WS_OVERLAPPEDWINDOW, 0,
        0, 320, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
    ShowWindow(focus->window, SW_SHOW);
    // Wine takes the focus over from the X server, through this thread's queue.
    // On a first start under load the window may be mapped only seconds later,
    // after a request for the focus was already dropped: ask again until it holds.
    MSG message;
    const ULONGLONG deadline = GetTickCount64() + FocusWaitMs;
    ULONGLONG nextRequest = 0;
    while (GetForegroundWindow() != focus->window && GetTickCount64() < deadline) {
        if (GetTickCount64() >= nextRequest) {
            SetForegroundWindow(focus->window);
            SetFocus(focus->window);
            nextRequest = GetTickCount64() + 1000;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    SetEvent(focus->ready);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    DestroyWindow(focus->window);
    return 0;
}

void inject(WORD key, bool up)
{
    INPUT input {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    input.ki.dwExtraInfo = InjectedByTest;
    SendInput(1, &input, sizeof(input));
}

// Types the steps one at a time, each only after the hooks have seen the one
// before, then the end marker.
DWORD WINAPI typeSteps(void* data)
{
    auto* run = static_cast<HookRun*>(data);
    std::vector<KeyStep> steps = run->steps;
    steps.push_back({EndOfCase, false});
    steps.push_back({EndOfCase, true});
    for (const KeyStep& step : steps) {
        inject(step.key, step.up);
        if (WaitForSingleObject(run->stepSeen, 5000) != WAIT_OBJECT_0)
            run->allDelivered = false;
    }
    return 0;
}

// The hooks are called through this thread's message loop.
bool pumpUntilEndOfCase(const HookRun& run)
{
    const ULONGLONG deadline = GetTickCount64() + 15000;
    while (GetTickCount64() < deadline) {
        if (MsgWaitForMultipleObjects(1, &run.endInWindow, FALSE, 100, QS_ALLINPUT)
            == WAIT_OBJECT_0)
            return true;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return false;
}

// Presses the keys in order and lets go of them in reverse.
void press(std::vector<KeyStep>& steps, const std::vector<WORD>& keys)
{
    for (WORD key : keys)
        steps.push_back({key, false});
    for (auto key = keys.rbegin(); key != keys.rend(); ++key)
        steps.push_back({*key, true});
}

long long countKeyDowns(const std::vector<KeyStep>& steps)
{
    long long count = 0;
    for (const KeyStep& step : steps)
        count += !step.up ? 1 : 0;
    return count;
}

long long countFromTest(const HookRun& run)
{
    long long count = 0;
    for (const SeenKey& seen : run.seenByNextHook)
        count += seen.fromTest && seen.key != EndOfCase ? 1 : 0;
    return count;
}

// The key-ups the listener sent itself, named by their generic keys.
std::vector<DWORD> syntheticKeyUps(const HookRun& run)
{
    std::vector<DWORD> keys;
    for (const SeenKey& seen : run.seenByNextHook) {
        if (seen.fromTest || seen.message != WM_KEYUP)
            continue;
        keys.push_back(seen.key == VK_LSHIFT ? VK_SHIFT
                : seen.key == VK_LCONTROL    ? VK_CONTROL
                                             : seen.key);
    }
    return keys;
}

std::string joined(const std::vector<int>& codes)
{
    std::string text;
    for (int code : codes)
        text += (text.empty() ? "" : " ") + std::to_string(code);
    return "[" + text + "]";
}

struct HookCase
{
    const char* name;
    std::vector<std::vector<WORD>> chords;
    std::vector<int> expected;
};

std::vector<HookCase> hookCases()
{
    HookCase digits {"Ctrl + Shift + each main-keyboard digit", {}, {}};
    for (WORD digit = '0'; digit <= '9'; ++digit) {
        digits.chords.push_back({VK_CONTROL, VK_SHIFT, digit});
        digits.expected.push_back(digit);
    }
    return {
        digits,
        {"right Ctrl + right Shift + 7", {{VK_RCONTROL, VK_RSHIFT, '7'}}, {55}},
        {"Shift pressed before Ctrl", {{VK_SHIFT, VK_CONTROL, '2'}}, {50}},
        // The hot-key released the modifiers for the system, though still held.
        {"3 after a hot-key, Ctrl and Shift held", {{VK_CONTROL, VK_SHIFT, '2', '3'}}, {50}},
        {"Ctrl + 2", {{VK_CONTROL, '2'}}, {}},
        {"Shift + 2", {{VK_SHIFT, '2'}}, {}},
        {"Ctrl + Shift + keypad 2", {{VK_CONTROL, VK_SHIFT, VK_NUMPAD2}}, {}},
        {"Ctrl + Shift + A", {{VK_CONTROL, VK_SHIFT, 'A'}}, {}},
        {"2 alone", {{'2'}}, {}},
    };
}

void runHookCase(const HookCase& hookCase)
{
    HookRun run;
    for (const auto& chord : hookCase.chords)
        press(run.steps, chord);
    // Installing again only moves the callback: a second hook would report twice.
    platform::installKeyboardListener(onHotKey, &run);
    currentRun = &run;
    // Wine skips the hooks of a thread that has not read its queue for five
    // seconds; the checks before may have kept this one busy that long.
    MSG unused;
    PeekMessageW(&unused, nullptr, 0, 0, PM_NOREMOVE);
    HANDLE typist = CreateThread(nullptr, 0, typeSteps, &run, 0, nullptr);
    const bool ended = pumpUntilEndOfCase(run);
    WaitForSingleObject(typist, 10000);
    CloseHandle(typist);
    currentRun = nullptr;

    const std::string name = std::string(hookCase.name) + ": ";
    check(run.allDelivered && ended, name + "every key reached the hooks and the window");
    check(run.reported == hookCase.expected, name + "reported " + joined(run.reported));
    checkEqual(countFromTest(run), static_cast<long long>(run.steps.size()),
        name + "every key passed on to the next hook");
    checkEqual(static_cast<long long>(run.keyDownsInWindow.size()), countKeyDowns(run.steps),
        name + "every key-down reached the focused window");
    // Each hot-key releases Shift, then Ctrl; nothing else is synthesised.
    std::vector<DWORD> expectedKeyUps;
    for (std::size_t i = 0; i < hookCase.expected.size(); ++i) {
        expectedKeyUps.push_back(VK_SHIFT);
        expectedKeyUps.push_back(VK_CONTROL);
    }
    const std::vector<DWORD> keyUps = syntheticKeyUps(run);
    check(keyUps == expectedKeyUps,
        name + std::to_string(keyUps.size()) + " synthetic key-ups, Shift before Ctrl");
}

void testKeyboardHook()
{
    check(
        !platform::installKeyboardListener(nullptr, nullptr), "listener without callback refused");
    FocusWindow focus;
    focus.thread = CreateThread(nullptr, 0, runFocusWindow, &focus, 0, &focus.threadId);
    const ULONGLONG begin = GetTickCount64();
    WaitForSingleObject(focus.ready, FocusWaitMs + 10000);
    check(focus.window && GetForegroundWindow() == focus.window,
        "check window has the focus after " + std::to_string(GetTickCount64() - begin) + " ms");
    nextHook = SetWindowsHookExW(WH_KEYBOARD_LL, nextHookProc, nullptr, 0);
    HookRun idle;
    check(platform::installKeyboardListener(onHotKey, &idle), "listener installed");
    for (const HookCase& hookCase : hookCases())
        runHookCase(hookCase);
    UnhookWindowsHookEx(nextHook);
    PostThreadMessageW(focus.threadId, WM_QUIT, 0, 0);
    WaitForSingleObject(focus.thread, 10000);
    CloseHandle(focus.thread);
    CloseHandle(focus.ready);
}

// ---- start-with-system ----

const wchar_t RunKey[] = L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Output and exit code of Wine's own "reg query" for one value of the Run key.
std::string regQuery(const wchar_t* valueName, DWORD& exitCode)
{
    SECURITY_ATTRIBUTES inherit {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 16);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    std::wstring commandLine = std::wstring(L"reg.exe query \"") + RunKey + L"\" /v " + valueName;
    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process {};
    exitCode = 255;
    std::string output;
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
            nullptr, &startup, &process)) {
        CloseHandle(writeEnd);
        writeEnd = nullptr;
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(readEnd, buffer, sizeof(buffer), &read, nullptr) && read > 0)
            output.append(buffer, read);
        WaitForSingleObject(process.hProcess, 10000);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (writeEnd)
        CloseHandle(writeEnd);
    CloseHandle(readEnd);
    return output;
}

bool regHasValue(const wchar_t* valueName, const std::string& typeAndData)
{
    DWORD exitCode = 0;
    const std::string output = regQuery(valueName, exitCode);
    const std::string name = narrow(valueName);
    const auto at = output.find(name);
    if (exitCode != 0 || at == std::string::npos)
        return false;
    // reg lays out "    name    REG_SZ    data"; compare with single spaces.
    std::string line = output.substr(at, output.find_first_of("\r\n", at) - at);
    std::string squeezed;
    for (char c : line)
        if (!(c == ' ' && !squeezed.empty() && squeezed.back() == ' '))
            squeezed += c;
    return squeezed == name + " " + typeAndData;
}

bool regLacksValue(const wchar_t* valueName)
{
    DWORD exitCode = 0;
    const std::string output = regQuery(valueName, exitCode);
    return exitCode != 0 && output.find(narrow(valueName) + " ") == std::string::npos;
}

void testStartWithSystem()
{
    HKEY runKey = nullptr;
    RegCreateKeyExW(
        HKEY_CURRENT_USER, RunKey + 5, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &runKey, nullptr);
    const wchar_t other[] = L"C:\\Other\\other.exe";
    RegSetValueExW(
        runKey, L"OtherProgram", 0, REG_SZ, reinterpret_cast<const BYTE*>(other), sizeof(other));
    RegCloseKey(runKey);

    check(platform::setStartWithSystem(true, L"C:/Program Files/Pelicrow/Pelicrow_Launcher.exe"),
        "start-with-system on");
    check(regHasValue(
              L"Pelicrow_Launcher", "REG_SZ C:\\Program Files\\Pelicrow\\Pelicrow_Launcher.exe"),
        "Run value holds the launcher path with backslashes");
    check(platform::setStartWithSystem(true, L"D:/Moved/Pelicrow_Launcher.exe"),
        "start-with-system on again from another folder");
    check(regHasValue(L"Pelicrow_Launcher", "REG_SZ D:\\Moved\\Pelicrow_Launcher.exe"),
        "Run value follows the launcher");
    check(!platform::setStartWithSystem(true, L""), "empty launcher path refused");
    check(regHasValue(L"Pelicrow_Launcher", "REG_SZ D:\\Moved\\Pelicrow_Launcher.exe"),
        "refused path leaves the Run value alone");
    check(platform::setStartWithSystem(false, L"D:/Moved/Pelicrow_Launcher.exe"),
        "start-with-system off");
    check(regLacksValue(L"Pelicrow_Launcher"), "Run value removed");
    check(regHasValue(L"OtherProgram", "REG_SZ C:\\Other\\other.exe"),
        "other programs' Run values kept");
    check(platform::setStartWithSystem(false, L"D:/Moved/Pelicrow_Launcher.exe"),
        "start-with-system off when already off");
}

} // namespace

// The checks put a file into the system folder: only ever in a Wine prefix.
bool runsUnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

int main()
{
    if (!runsUnderWine()) {
        std::printf("These checks change the system folder; run them under Wine only.\n");
        return 1;
    }
    testStartWithSystem();
    testKeyboardHook();
    testExecuteShell();
    testProcessCount();
    std::printf("%d failed check(s)\n", failures);
    return failures == 0 ? 0 : 1;
}
