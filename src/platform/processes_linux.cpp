#include "processes.h"
#include "processnamecount.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QThread>

#include <unistd.h>

namespace {

// The executable's base name of one /proc entry, or an empty text when unknown.
QString executableName(const QString& processDir)
{
    QString target = QFileInfo(processDir + QStringLiteral("/exe")).symLinkTarget();
    // An executable replaced while running reads "/path/name (deleted)".
    target.remove(QRegExp(QStringLiteral(" \\(deleted\\)$")));
    if (!target.isEmpty())
        return QFileInfo(target).fileName();
    // A process that is not dumpable hides its executable link; its command line is public.
    QFile cmdline(processDir + QStringLiteral("/cmdline"));
    if (!cmdline.open(QIODevice::ReadOnly))
        return {};
    const QByteArray argv0 = cmdline.readAll().split('\0').value(0);
    return QFileInfo(QString::fromLocal8Bit(argv0)).fileName();
}

// One field ("Uid:", "State:") of /proc/<pid>/status; empty when the process is gone.
QByteArray statusField(const QString& processDir, const QByteArray& field)
{
    QFile status(processDir + QStringLiteral("/status"));
    if (!status.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).simplified();
    }
    return {};
}

bool isOwnUsers(const QString& processDir)
{
    const QByteArray realUid = statusField(processDir, "Uid:").split(' ').value(0);
    return !realUid.isEmpty() && realUid == QByteArray::number(getuid());
}

bool isRunning(qint64 pid)
{
    const QByteArray state = statusField(QStringLiteral("/proc/%1").arg(pid), "State:");
    return !state.isEmpty() && !state.startsWith('Z') && !state.startsWith('X');
}

// Only the current user's processes: another user's program of the same name
// is no running copy of this user's Pelicrow.
std::wstring processListing()
{
    QString listing;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool isPid = false;
        entry.toLongLong(&isPid);
        const QString processDir = QStringLiteral("/proc/") + entry;
        if (isPid && isOwnUsers(processDir))
            listing += executableName(processDir) + QLatin1Char('\n');
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

bool executeShellAndWatch(const std::wstring& file, const std::wstring& /*verb*/,
    const std::wstring& parameters, bool /*show*/, int aliveMs)
{
    const QString program = QString::fromStdWString(file);
    qint64 pid = 0;
    if (program.isEmpty()
        || !QProcess::startDetached(
            program, QProcess::splitCommand(QString::fromStdWString(parameters)), QString(), &pid))
        return false;
    constexpr int PollMs = 50;
    const QDeadlineTimer deadline(aliveMs);
    while (!deadline.hasExpired()) {
        if (!isRunning(pid))
            return false;
        QThread::msleep(PollMs);
    }
    return isRunning(pid);
}

} // namespace platform
