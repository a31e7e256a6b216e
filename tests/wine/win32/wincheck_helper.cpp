// Stand-in program for the Win32 checks. The environment tells it what to do,
// so that it can be started with any parameters or none:
//   PELICROW_HELPER_STARTED  event to set once running
//   PELICROW_HELPER_RELEASE  event to wait for before going on
//   PELICROW_HELPER_RECORD   file that receives its show state and parameters
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

// Bounded, so that a failed check never leaves a copy running.
const DWORD LongestWaitMs = 600000;

std::wstring environment(const wchar_t* name)
{
    wchar_t value[1024];
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

void setEvent(const std::wstring& name)
{
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str());
    if (event) {
        SetEvent(event);
        CloseHandle(event);
    }
}

void waitForEvent(const std::wstring& name)
{
    HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, name.c_str());
    if (event) {
        WaitForSingleObject(event, LongestWaitMs);
        CloseHandle(event);
    }
}

std::wstring parameters()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring joined;
    for (int i = 1; i < count; ++i)
        joined += (i > 1 ? L"|" : L"") + std::wstring(arguments[i]);
    LocalFree(arguments);
    return joined;
}

int showState()
{
    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
}

// Written aside and renamed, so that a reader never sees half a record.
void writeRecord(const std::wstring& path)
{
    const std::wstring text
        = L"show=" + std::to_wstring(showState()) + L"\nargs=" + parameters() + L"\n";
    const std::wstring partial = path + L".part";
    HANDLE file = CreateFileW(
        partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(
        file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

} // namespace

int main()
{
    const std::wstring started = environment(L"PELICROW_HELPER_STARTED");
    const std::wstring release = environment(L"PELICROW_HELPER_RELEASE");
    const std::wstring record = environment(L"PELICROW_HELPER_RECORD");
    if (!started.empty())
        setEvent(started);
    if (!release.empty())
        waitForEvent(release);
    if (!record.empty())
        writeRecord(record);
    return 0;
}
