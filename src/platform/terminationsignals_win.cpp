#include "terminationsignals.h"

namespace platform {

// Windows ends a session through the toolkit's own notice, which the program
// connects directly; there are no signals to watch.
void watchTerminationSignals(QObject*, const char*) { }

} // namespace platform
