#pragma once

#include <string>

namespace platform {

// Registers the launcher to start when the user logs on, or removes that entry:
// the XDG autostart entry on Linux, the per-user Run key value on Windows.
// Returns false when the entry could not be written or removed.
bool setStartWithSystem(bool enabled, const std::wstring& launcherPath);

} // namespace platform
