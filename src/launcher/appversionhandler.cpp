#include "appversionhandler.h"

#include "app/appnames.h"
#include "app/processutils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {

constexpr qint64 CopyChunkSize = 1 << 16;

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
        // A failed install keeps the download, so that the next start offers it again.
        if (QFile::exists(newExePath) && installNewExecutable())
            QDir(tmpDir).remove(AppNames::MainExecutable);
    }
    executeShell(exePath, QStringLiteral("runas"), QString(), true, false);
}

// Writes the new executable beside the old one and renames it over the old one only
// when it is complete, so the application directory never lacks a working program.
bool AppVersionHandler::installNewExecutable()
{
    QFile source(newExePath);
    QSaveFile target(exePath);
    // An empty file is no program: installing it would leave nothing that runs.
    if (!source.open(QIODevice::ReadOnly) || source.size() == 0
        || !target.open(QIODevice::WriteOnly))
        return false;
    while (!source.atEnd()) {
        const QByteArray chunk = source.read(CopyChunkSize);
        if (chunk.isEmpty() || target.write(chunk) != chunk.size()) {
            target.cancelWriting();
            break;
        }
    }
    return target.setPermissions(runnablePermissions(exePath, newExePath)) && target.commit();
}
