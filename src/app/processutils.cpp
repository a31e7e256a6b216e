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
