#include "appversionhandler.h"

#include "app/appnames.h"
#include "app/executablecheck.h"
#include "app/processutils.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {

constexpr qint64 CopyChunkSize = 1 << 16;
// A new version that still runs this long after its start is kept.
constexpr int ProvingMs = 3000;

// The installed program must stay runnable even when the download came without run permission.
QFile::Permissions runnablePermissions(const QString& oldExe, const QString& newExe)
{
    if (QFile::exists(oldExe))
        return QFile::permissions(oldExe);
    return QFile::permissions(newExe) | QFile::ExeOwner | QFile::ExeUser;
}

} // namespace

AppVersionHandler::AppVersionHandler(QObject* parent)
    : QObject(parent)
{ }

void AppVersionHandler::replaceExecutable()
{
    appDir = QCoreApplication::applicationDirPath();
    tmpDir = appDir + AppNames::DownloadFolder;
    exePath = appDir + QLatin1Char('/') + AppNames::MainExecutable;
    if (QDir(tmpDir).exists()) {
        newExePath = appDir + AppNames::PendingExecutable;
        if (QFile::exists(newExePath)) {
            // Checked again here: a file can reach "tmp" by other ways than the update cycle.
            const QString problem = ExecutableCheck::problemWith(newExePath);
            if (!problem.isEmpty()) {
                ExecutableCheck::discard(newExePath, problem);
            } else if (installNewExecutable()) {
                startNewExecutable();
                return;
            }
            // A failed install keeps the download, so that the next start offers it again.
        }
    }
    executeShell(exePath, QStringLiteral("runas"), QString(), true, false);
}

// Writes the new executable beside the old one; only when it is complete is the old
// one moved aside and the new one renamed into its place, so the application
// directory never lacks a working program.
bool AppVersionHandler::installNewExecutable()
{
    QFile source(newExePath);
    QSaveFile target(exePath);
    if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly))
        return false;
    while (!source.atEnd()) {
        const QByteArray chunk = source.read(CopyChunkSize);
        if (chunk.isEmpty() || target.write(chunk) != chunk.size())
            return false;
    }
    if (!target.setPermissions(runnablePermissions(exePath, newExePath)))
        return false;
    QFile::remove(previousExePath());
    const bool hadOld = QFile::exists(exePath);
    if (hadOld && !QFile::rename(exePath, previousExePath()))
        return false;
    if (target.commit())
        return true;
    if (hadOld)
        QFile::rename(previousExePath(), exePath);
    return false;
}

// The new program must start and keep running; otherwise the previous one is put
// back and started, and the download is gone, so the question is not asked again.
void AppVersionHandler::startNewExecutable()
{
    const QString signature = ExecutableCheck::signaturePath(newExePath);
    const QByteArray signatureBytes = [&] {
        QFile file(signature);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    QDir(tmpDir).remove(AppNames::MainExecutable);
    QFile::remove(signature);
    if (executeShellAndWatch(exePath, QStringLiteral("runas"), QString(), true, ProvingMs)
        || !QFile::exists(previousExePath())) {
        QFile::remove(previousExePath());
        return;
    }
    qWarning() << "The new version ended at once; the previous one is put back.";
    ExecutableCheck::reject(newExePath, signatureBytes);
    QFile::remove(exePath);
    QFile::rename(previousExePath(), exePath);
    executeShell(exePath, QStringLiteral("runas"), QString(), true, false);
}
