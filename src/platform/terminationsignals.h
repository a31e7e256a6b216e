#pragma once

class QObject;

namespace platform {

// Invokes `slot` of `receiver` on its event loop when the system asks the process
// to end (SIGTERM, SIGINT), so that the program can leave the way it always does.
void watchTerminationSignals(QObject* receiver, const char* slot);

// Ends the process at once with `exitCode`, running no library's teardown: on
// Windows the audio stack's threads may hang or crash there (seen under Wine).
[[noreturn]] void endProcessNow(int exitCode);

} // namespace platform
