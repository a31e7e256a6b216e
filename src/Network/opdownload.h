#pragma once

#include "opnetwork.h"

// The text after the last "/" of an address: the name its file is stored under.
QString fileNameOf(const QString& address);
// A name that stays inside its folder: not empty, not "." or "..", no "/" or "\".
bool isPlainFileName(const QString& name);

// Fetches one address by GET and writes the data to a file once the reply has
// ended well; a file that cannot be written at its place goes to the download folder.
class OpDownload : public OpNetwork
{
    Q_OBJECT
public:
    explicit OpDownload(QObject* parent = nullptr);

    void clearFileData();
    void setFilePath(const QString& path);
    QString filePath() const;
    void useDownloadsFolder();
    void ensureFilePath();

signals:
    void downloadDone(QByteArray data);
    void downloadFailed(QString url);

public slots:
    void downloadProgress(qint64 bytes, qint64 total);
    void appendBytes(QByteArray bytes);
    void saveFile(QByteArray data);

private slots:
    void finishDownload(bool succeeded);

private:
    static bool writeWhole(const QString& path, const QByteArray& data);

    QByteArray m_fileData;
    QString m_filePath;
};
