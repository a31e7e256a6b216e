#pragma once

class QObject;

namespace platform {

// Invokes `slot` of `receiver` on its event loop when the system asks the process
// to end (SIGTERM, SIGINT), so that the program can leave the way it always does.
void watchTerminationSignals(QObject* receiver, const char* slot);

} // namespace platform
