#include "terminationsignals.h"

#include <windows.h>

#include <cstdlib>

namespace platform {

// Windows ends a session through the toolkit's own notice, which the program
// connects directly; there are no signals to watch.
void watchTerminationSignals(QObject*, const char*) { }

// Unlike ExitProcess, no DLL is told that the process detaches.
void endProcessNow(int exitCode)
{
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
    std::_Exit(exitCode);
}

} // namespace platform
