#include "opdownload.h"

#include "Network/downloadlimits.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

QString fileNameOf(const QString& address)
{
    return address.mid(address.lastIndexOf(QLatin1Char('/')) + 1);
}

namespace {

// Names Windows reads as a device whatever suffix follows ("nul.png" is NUL).
bool isDeviceName(const QString& name)
{
    static const QRegularExpression device(QStringLiteral("^(con|prn|aux|nul|com[0-9]|lpt[0-9])$"),
        QRegularExpression::CaseInsensitiveOption);
    return device.match(name.section(QLatin1Char('.'), 0, 0).trimmed()).hasMatch();
}

} // namespace

bool isPlainFileName(const QString& name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('.'))
        || name.toUtf8().size() > DownloadLimits::FileNameBytes)
        return false;
    // Windows drops a trailing dot or blank, reads a colon as a stream of another file, and
    // allows none of *?"<>|: the same names are refused on every system.
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')) || isDeviceName(name))
        return false;
    for (const QChar c : name) {
        if (QStringLiteral("/\\:*?\"<>|").contains(c) || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

bool isPictureName(const QString& name)
{
    static const QStringList suffixes {"png", "jpg", "jpeg", "gif", "bmp", "webp"};
    return isPlainFileName(name)
        && suffixes.contains(QFileInfo(name).suffix(), Qt::CaseInsensitive);
}

OpDownload::OpDownload(QObject* parent)
    : OpNetwork(parent)
{
    connect(this, &OpNetwork::replyFinished, this, &OpDownload::finishDownload);
}

OpDownload::~OpDownload() = default;

void OpDownload::clearFileData()
{
    m_file.reset();
    m_received = 0;
    m_givenUp = false;
}

void OpDownload::setFilePath(const QString& path)
{
    m_filePath = path;
}

QString OpDownload::filePath() const
{
    return m_filePath;
}

QString OpDownload::fallbackFolder()
{
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return downloads.isEmpty() ? QString() : downloads + QStringLiteral("/Pelicrow");
}

void OpDownload::useDownloadsFolder()
{
    const QString name = m_filePath.isEmpty() ? fileNameOf(url().path(QUrl::FullyDecoded))
                                              : fileNameOf(m_filePath);
    const QString folder = fallbackFolder();
    // The user's own files there are never replaced: a taken name gets a number.
    const QFileInfo info(name);
    const QString stem = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    m_filePath = folder + QLatin1Char('/') + name;
    for (int n = 1; n < 1000 && QFileInfo::exists(m_filePath); ++n)
        m_filePath = QStringLiteral("%1/%2 (%3)%4").arg(folder, stem).arg(n).arg(suffix);
}

void OpDownload::ensureFilePath()
{
    if (m_filePath.isEmpty())
        useDownloadsFolder();
}

qint64 OpDownload::byteCap() const
{
    return m_kind == Kind::Picture ? DownloadLimits::PictureBytes : DownloadLimits::ExecutableBytes;
}

void OpDownload::start()
{
    ensureFilePath();
    if (nameAllowed(fileNameOf(m_filePath))) {
        doGet();
        return;
    }
    qWarning() << "not fetched, no acceptable file name:" << url().toString();
    QMetaObject::invokeMethod(
        this,
        [this] {
            emit downloadFailed(url().toString());
            emit replyFinished(false);
        },
        Qt::QueuedConnection);
}

void OpDownload::downloadProgress(qint64, qint64 total)
{
    // Completion is decided when the reply ends: equal figures cannot tell an
    // error page or a cut connection from a whole file. A declared size can end it early.
    if (total > byteCap())
        giveUp("declared size over the limit");
}

void OpDownload::appendBytes(QByteArray bytes)
{
    if (m_givenUp || bytes.isEmpty())
        return;
    m_received += bytes.size();
    if (m_received > byteCap()) {
        giveUp("size over the limit");
        return;
    }
    if (!m_file && !openFile()) {
        emit downloadFailed(url().toString());
        giveUp("no place to write it");
        return;
    }
    if (m_file->write(bytes) != bytes.size())
        giveUp("write failed");
}

void OpDownload::saveFile(QByteArray data)
{
    clearFileData();
    if (!openFile()) {
        emit downloadFailed(url().toString());
        return;
    }
    m_file->write(data);
    m_file->commit();
    m_file.reset();
}

void OpDownload::finishDownload(bool succeeded)
{
    if (!m_file)
        return;
    // Only a reply that ended well replaces the file; anything less leaves no trace.
    const std::unique_ptr<QSaveFile> file = std::move(m_file);
    if (succeeded && !m_givenUp && file->commit())
        emit downloadDone(QByteArray());
    else
        file->cancelWriting();
}

bool OpDownload::nameAllowed(const QString& name) const
{
    return m_kind == Kind::Picture ? isPictureName(name) : isPlainFileName(name);
}

bool OpDownload::openFile()
{
    ensureFilePath();
    if (nameAllowed(fileNameOf(m_filePath))) {
        QDir().mkpath(QFileInfo(m_filePath).path());
        // Written beside the target and renamed over it: a reader never sees half a file.
        m_file = std::make_unique<QSaveFile>(m_filePath);
        if (m_file->open(QIODevice::WriteOnly))
            return true;
    }
    m_file.reset();
    // An executable has one place only; elsewhere it would be an unchecked program.
    if (m_kind != Kind::Picture || fallbackFolder().isEmpty())
        return false;
    const QString downloads = QFileInfo(fallbackFolder()).path();
    if (!QFileInfo(downloads).isDir() || !QDir(downloads).mkpath(QStringLiteral("Pelicrow")))
        return false;
    useDownloadsFolder();
    if (!nameAllowed(fileNameOf(m_filePath)))
        return false;
    m_file = std::make_unique<QSaveFile>(m_filePath);
    if (m_file->open(QIODevice::WriteOnly))
        return true;
    m_file.reset();
    return false;
}

void OpDownload::giveUp(const char* reason)
{
    if (m_givenUp)
        return;
    qWarning() << "download abandoned," << reason << url().toString();
    m_givenUp = true;
    if (m_file)
        m_file->cancelWriting();
    m_file.reset();
    abortReply();
}
