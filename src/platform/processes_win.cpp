// Win32 side of the process utilities: plain C++ and <windows.h>, no toolkit.
#include "processes.h"
#include "processnamecount.h"

#include <windows.h>

#include <string>

namespace {

const DWORD StartWaitMs = 1000;
const DWORD FinishWaitMs = 1000;

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
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                           nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], length);
    return text;
}

std::string drain(HANDLE pipe)
{
    std::string bytes;
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        std::string chunk(available, '\0');
        DWORD read = 0;
        if (!ReadFile(pipe, &chunk[0], available, &read, nullptr) || read == 0)
            break;
        bytes.append(chunk, 0, read);
    }
    return bytes;
}

// Runs wmic with standard output and error merged into one pipe and returns
// whatever it printed within the two waits.
std::string runWmic()
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 20))
        return {};
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"wmic.exe /OUTPUT:STDOUT PROCESS get Caption";
    const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string bytes;
    if (started) {
        WaitForInputIdle(process.hProcess, StartWaitMs);
        WaitForSingleObject(process.hProcess, FinishWaitMs);
        bytes = drain(readEnd);
        // A listing still running after the waits is ended, as the toolkit would.
        TerminateProcess(process.hProcess, 0);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return bytes;
}

const wchar_t* nullWhenEmpty(const std::wstring& text)
{
    return text.empty() ? nullptr : text.c_str();
}

} // namespace

namespace platform {

int processCount(const std::wstring& processName)
{
    return countNameOccurrences(decodeListing(runWmic()), processName);
}

int executeShell(const std::wstring& file, const std::wstring& verb,
                 const std::wstring& parameters, bool show, bool wait)
{
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = nullptr;
    info.lpVerb = nullWhenEmpty(verb);
    info.lpFile = nullWhenEmpty(file);
    info.lpParameters = nullWhenEmpty(parameters);
    info.lpDirectory = nullptr;
    info.nShow = show ? SW_SHOW : SW_HIDE;
    if (!ShellExecuteExW(&info))
        return -1;
    if (wait && info.hProcess)
        WaitForSingleObject(info.hProcess, INFINITE);
    if (info.hProcess)
        CloseHandle(info.hProcess);
    return 0;
}

} // namespace platform
