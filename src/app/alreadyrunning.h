#pragma once

#include <functional>

// Shows "Pelicrow is already running!" with Retry and Cancel for as long as
// `othersRunning` says so. Returns false when the user gives up.
bool waitWhileOthersRun(const std::function<bool()>& othersRunning);
