// Win32 side of start-with-system: the per-user Run key, plain C++ and
// <windows.h>, no toolkit.
#include "autostart.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace {

const wchar_t RunKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t ValueName[] = L"Pelicrow_Launcher";

bool writeRunValue(const std::wstring& launcherPath)
{
    std::wstring data = launcherPath;
    std::replace(data.begin(), data.end(), L'/', L'\\');
    HKEY runKey = nullptr;
    if (RegCreateKeyExW(
            HKEY_CURRENT_USER, RunKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &runKey, nullptr)
        != ERROR_SUCCESS)
        return false;
    const auto size = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    const LSTATUS status = RegSetValueExW(
        runKey, ValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), size);
    RegCloseKey(runKey);
    return status == ERROR_SUCCESS;
}

bool removeRunValue()
{
    HKEY runKey = nullptr;
    const LSTATUS opened = RegOpenKeyExW(HKEY_CURRENT_USER, RunKeyPath, 0, KEY_SET_VALUE, &runKey);
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    const LSTATUS status = RegDeleteValueW(runKey, ValueName);
    RegCloseKey(runKey);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

} // namespace

namespace platform {

bool setStartWithSystem(bool enabled, const std::wstring& launcherPath)
{
    if (!enabled)
        return removeRunValue();
    // An empty value would start nothing at log-on.
    return !launcherPath.empty() && writeRunValue(launcherPath);
}

} // namespace platform
