#include "opdownload.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

QString fileNameOf(const QString& address)
{
    return address.mid(address.lastIndexOf(QLatin1Char('/')) + 1);
}

bool isPlainFileName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
        && !name.contains(QChar(0));
}

OpDownload::OpDownload(QObject* parent)
    : OpNetwork(parent)
{
    connect(this, &OpNetwork::replyFinished, this, &OpDownload::finishDownload);
}

void OpDownload::clearFileData()
{
    m_fileData.clear();
}

void OpDownload::setFilePath(const QString& path)
{
    m_filePath = path;
}

QString OpDownload::filePath() const
{
    return m_filePath;
}

void OpDownload::useDownloadsFolder()
{
    m_filePath = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation)
        + QLatin1Char('/') + fileNameOf(url().path(QUrl::FullyDecoded));
}

void OpDownload::ensureFilePath()
{
    if (m_filePath.isEmpty())
        useDownloadsFolder();
}

void OpDownload::downloadProgress(qint64, qint64)
{
    // Completion is decided when the reply ends: equal figures cannot tell an
    // error page or a cut connection from a whole file.
}

void OpDownload::appendBytes(QByteArray bytes)
{
    m_fileData += bytes;
}

void OpDownload::saveFile(QByteArray data)
{
    QDir().mkpath(QFileInfo(m_filePath).path());
    if (writeWhole(m_filePath, data))
        return;
    useDownloadsFolder();
    if (!writeWhole(m_filePath, data))
        emit downloadFailed(url().toString());
}

void OpDownload::finishDownload(bool succeeded)
{
    if (succeeded && !m_fileData.isEmpty())
        emit downloadDone(m_fileData);
}

bool OpDownload::writeWhole(const QString& path, const QByteArray& data)
{
    if (!isPlainFileName(fileNameOf(path)))
        return false;
    // Written beside the target and renamed over it: a reader never sees half a file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(data);
    return file.commit();
}
