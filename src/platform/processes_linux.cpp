#include "processes.h"
#include "processnamecount.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>

namespace {

// The executable's base name of one /proc entry, or an empty text when unknown.
QString executableName(const QString& processDir)
{
    QString target = QFileInfo(processDir + QStringLiteral("/exe")).symLinkTarget();
    // An executable replaced while running reads "/path/name (deleted)".
    target.remove(QRegExp(QStringLiteral(" \\(deleted\\)$")));
    if (!target.isEmpty())
        return QFileInfo(target).fileName();
    // Other users' processes hide their executable link; their command line is public.
    QFile cmdline(processDir + QStringLiteral("/cmdline"));
    if (!cmdline.open(QIODevice::ReadOnly))
        return {};
    const QByteArray argv0 = cmdline.readAll().split('\0').value(0);
    return QFileInfo(QString::fromLocal8Bit(argv0)).fileName();
}

std::wstring processListing()
{
    QString listing;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool isPid = false;
        entry.toLongLong(&isPid);
        if (isPid)
            listing += executableName(QStringLiteral("/proc/") + entry) + QLatin1Char('\n');
    }
    return listing.toStdWString();
}

} // namespace

namespace platform {

int processCount(const std::wstring& processName)
{
    return countEqualLines(processListing(), processName);
}

// Pelicrow is installed per user, so nothing asks for elevation and no window is hidden.
int executeShell(const std::wstring& file, const std::wstring& /*verb*/,
    const std::wstring& parameters, bool /*show*/, bool wait)
{
    const QString program = QString::fromStdWString(file);
    if (program.isEmpty())
        return -1;
    const QStringList arguments = QProcess::splitCommand(QString::fromStdWString(parameters));
    if (!wait)
        return QProcess::startDetached(program, arguments) ? 0 : -1;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(-1))
        return -1;
    process.waitForFinished(-1);
    return 0;
}

} // namespace platform
