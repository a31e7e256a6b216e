#pragma once

#include "opnetwork.h"

#include <memory>

class QSaveFile;

// The text after the last "/" of an address: the name its file is stored under.
QString fileNameOf(const QString& address);
// A name that stays inside its folder and in sight: not empty, not hidden, no "/" or
// "\", not longer than file systems allow, and read alike by Windows (no device name,
// none of :*?"<>|, no trailing dot or blank).
bool isPlainFileName(const QString& name);
// A plain name with the suffix of a picture format.
bool isPictureName(const QString& name);

// Fetches one address by GET and streams the data to a file that takes its place
// only once the reply has ended well. A picture whose place cannot be written goes
// to the Pelicrow folder inside the download folder.
class OpDownload : public OpNetwork
{
    Q_OBJECT
public:
    // What is fetched decides the byte cap and where the file may go.
    enum class Kind { Picture, Executable };

    explicit OpDownload(QObject* parent = nullptr);
    ~OpDownload() override;

    void clearFileData();
    void setFilePath(const QString& path);
    QString filePath() const;
    void useDownloadsFolder();
    void ensureFilePath();
    void setKind(Kind kind) { m_kind = kind; }
    Kind kind() const { return m_kind; }
    qint64 byteCap() const;
    // Where a picture goes when its own place cannot be written.
    static QString fallbackFolder();
    // Sends the request, unless the file could never be saved under its name.
    void start();

signals:
    // The file is complete and in place; the bytes are on disk, not carried here.
    void downloadDone(QByteArray data);
    void downloadFailed(QString url);

public slots:
    void downloadProgress(qint64 bytes, qint64 total);
    void appendBytes(QByteArray bytes);
    void saveFile(QByteArray data);

private slots:
    void finishDownload(bool succeeded);

private:
    bool nameAllowed(const QString& name) const;
    bool openFile();
    void giveUp(const char* reason);
    static bool writeWhole(const QString& path, const QByteArray& data);

    QString m_filePath;
    Kind m_kind = Kind::Picture;
    std::unique_ptr<QSaveFile> m_file;
    qint64 m_received = 0;
    bool m_givenUp = false;
};
