#include "processutils.h"

#include "platform/processes.h"

#include <QString>

int processCount(const QString& processName)
{
    return platform::processCount(processName.toStdWString());
}

int executeShell(
    const QString& file, const QString& verb, const QString& parameters, bool show, bool wait)
{
    return platform::executeShell(
        file.toStdWString(), verb.toStdWString(), parameters.toStdWString(), show, wait);
}

bool executeShellAndWatch(
    const QString& file, const QString& verb, const QString& parameters, bool show, int aliveMs)
{
    return platform::executeShellAndWatch(
        file.toStdWString(), verb.toStdWString(), parameters.toStdWString(), show, aliveMs);
}
