#pragma once

class QString;

// How often a program of this executable name is running (0 when the listing failed).
int processCount(const QString& processName);

// Starts a program; 0 when it was started, -1 when it could not be.
int executeShell(
    const QString& file, const QString& verb, const QString& parameters, bool show, bool wait);

// Starts a program as executeShell does and reports whether it still runs `aliveMs` later.
bool executeShellAndWatch(
    const QString& file, const QString& verb, const QString& parameters, bool show, int aliveMs);
