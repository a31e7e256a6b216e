#pragma once

#include <string>

namespace platform {

// Number of running processes whose executable carries this name; 0 when the
// listing cannot be had, so that a failed listing never blocks a start.
int processCount(const std::wstring& processName);

// Starts `file` with `parameters` (empty for none). `verb` "runas" asks for
// elevation where the platform has it. Returns 0 when started, -1 otherwise.
int executeShell(const std::wstring& file, const std::wstring& verb, const std::wstring& parameters,
    bool show, bool wait);

// Starts `file` as executeShell does, without waiting, and watches it: true when it
// is still running `aliveMs` later, false when it could not start or ended before.
bool executeShellAndWatch(const std::wstring& file, const std::wstring& verb,
    const std::wstring& parameters, bool show, int aliveMs);

} // namespace platform
