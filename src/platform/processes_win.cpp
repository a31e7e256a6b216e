// Win32 side of the process utilities: plain C++ and <windows.h>, no toolkit.
#include "processes.h"
#include "processnamecount.h"

#include <windows.h>

#include <tlhelp32.h>

#include <string>

namespace {

// CreateProcessW returns once the listing runs, so only its end is waited for.
const ULONGLONG FinishWaitMs = 1000;
const DWORD PollMs = 10;

// wmic writes UTF-16LE (with a byte-order mark when redirected); older systems
// write the ANSI code page.
std::wstring decodeListing(const std::string& bytes)
{
    const bool hasBom = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF
        && static_cast<unsigned char>(bytes[1]) == 0xFE;
    const bool looksUtf16 = bytes.size() >= 2 && bytes[1] == '\0';
    if (hasBom || looksUtf16) {
        const std::size_t start = hasBom ? 2 : 0;
        std::wstring text((bytes.size() - start) / 2, L'\0');
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto low = static_cast<unsigned char>(bytes[start + 2 * i]);
            const auto high = static_cast<unsigned char>(bytes[start + 2 * i + 1]);
            text[i] = static_cast<wchar_t>(low | (high << 8));
        }
        return text;
    }
    if (bytes.empty())
        return {};
    const int length
        = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], length);
    return text;
}

// Reads what is in the pipe now, without blocking.
void drainInto(HANDLE pipe, std::string& bytes)
{
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        std::string chunk(available, '\0');
        DWORD read = 0;
        if (!ReadFile(pipe, &chunk[0], available, &read, nullptr) || read == 0)
            break;
        bytes.append(chunk, 0, read);
    }
}

// Reads while the listing runs, so that a full pipe never stalls it, and ends
// it when it is still running after the wait, as the toolkit would. Returns
// whether it finished: a cut-off listing may lack any line.
bool collectOutput(HANDLE process, HANDLE pipe, std::string& bytes)
{
    const ULONGLONG deadline = GetTickCount64() + FinishWaitMs;
    bool finished = false;
    while (!finished && GetTickCount64() < deadline) {
        finished = WaitForSingleObject(process, PollMs) == WAIT_OBJECT_0;
        drainInto(pipe, bytes);
    }
    if (!finished)
        TerminateProcess(process, 0);
    return finished;
}

HANDLE openNullInput(SECURITY_ATTRIBUTES& inherit)
{
    return CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
        OPEN_EXISTING, 0, nullptr);
}

// Runs wmic with standard output and error merged into one pipe. Returns false
// when wmic cannot be started at all (current Windows releases ship without it)
// or does not finish within the wait (a busy machine, or Wine's slow one).
bool runWmic(std::string& output)
{
    SECURITY_ATTRIBUTES inherit {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 16))
        return false;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    // wmic waits for more commands on an open input; an empty one lets it end.
    HANDLE input = openNullInput(inherit);

    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process {};
    std::wstring commandLine = L"wmic.exe /OUTPUT:STDOUT PROCESS get Caption";
    const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE,
        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (input != INVALID_HANDLE_VALUE)
        CloseHandle(input);
    bool finished = false;
    if (started) {
        finished = collectOutput(process.hProcess, readEnd, output);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return finished;
}

// The executable names of all processes, one per line, from the system's own
// process snapshot.
std::wstring snapshotListing()
{
    std::wstring listing;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return listing;
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        listing += entry.szExeFile;
        listing += L"\r\n";
    }
    CloseHandle(snapshot);
    return listing;
}

const wchar_t* nullWhenEmpty(const std::wstring& text)
{
    return text.empty() ? nullptr : text.c_str();
}

// Starts through the shell; the process handle, when one is given, is the caller's to close.
bool shellStart(const std::wstring& file, const std::wstring& verb, const std::wstring& parameters,
    bool show, HANDLE* process)
{
    SHELLEXECUTEINFOW info {};
    info.cbSize = sizeof(info);
    // Failures are reported by the result alone: without NO_UI the shell shows a
    // modal error box that blocks the caller until someone closes it.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.hwnd = nullptr;
    info.lpVerb = nullWhenEmpty(verb);
    info.lpFile = nullWhenEmpty(file);
    info.lpParameters = nullWhenEmpty(parameters);
    info.lpDirectory = nullptr;
    info.nShow = show ? SW_SHOW : SW_HIDE;
    if (!ShellExecuteExW(&info))
        return false;
    *process = info.hProcess;
    return true;
}

} // namespace

namespace platform {

// Unlike the Linux listing, wmic lists every user's processes: another user's
// Pelicrow.exe counts as a running copy, as the Windows program always did.
// Without wmic's answer in time the system's snapshot counts instead; an empty
// one still lets the start go on.
int processCount(const std::wstring& processName)
{
    std::string wmicOutput;
    if (runWmic(wmicOutput))
        return countNameOccurrences(decodeListing(wmicOutput), processName);
    return countNameOccurrences(snapshotListing(), processName);
}

int executeShell(const std::wstring& file, const std::wstring& verb, const std::wstring& parameters,
    bool show, bool wait)
{
    HANDLE process = nullptr;
    if (!shellStart(file, verb, parameters, show, &process))
        return -1;
    if (wait && process)
        WaitForSingleObject(process, INFINITE);
    if (process)
        CloseHandle(process);
    return 0;
}

bool executeShellAndWatch(const std::wstring& file, const std::wstring& verb,
    const std::wstring& parameters, bool show, int aliveMs)
{
    HANDLE process = nullptr;
    if (!shellStart(file, verb, parameters, show, &process))
        return false;
    // Without a handle the shell passed the start on: nothing is left to watch.
    if (!process)
        return true;
    const bool running = WaitForSingleObject(process, static_cast<DWORD>(aliveMs)) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

} // namespace platform
