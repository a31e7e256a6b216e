#pragma once

#include <QObject>
#include <QStringList>

class ModelJson;
class OpDownload;
class OpNetwork;

// One update cycle: asks the update service for its manifest, then fetches the
// carousel pictures that are missing and the executable of a higher version.
class OpUpdate : public QObject
{
    Q_OBJECT
public:
    explicit OpUpdate(QObject* parent = nullptr);

    static QString accessKey();
    // The update request's address under the service's base address.
    QString requestUrl() const;
    static QString resourcesDirectory();
    static QString executableDirectory();

    QByteArray jsonData() const { return m_jsonData; }
    void setJsonData(const QByteArray& jsonData) { m_jsonData = jsonData; }
    void clearJsonData() { m_jsonData.clear(); }
    ModelJson* modelJson() const { return m_modelJson; }
    void setModelJson(ModelJson* modelJson) { m_modelJson = modelJson; }
    QString version() const { return m_version; }
    void setVersion(const QString& version) { m_version = version; }
    // Scheme, host and port of the update service; the configured one unless changed.
    QString serviceUrl() const { return m_serviceUrl; }
    void setServiceUrl(const QString& serviceUrl) { m_serviceUrl = serviceUrl; }
    // Silence after which the request or a download is abandoned.
    void setTransferTimeout(int milliseconds) { m_transferTimeout = milliseconds; }
    // Whether the request or one of its downloads has yet to end.
    bool busy() const { return m_requestPending || m_running > 0 || !m_queue.isEmpty(); }

    void download(const QString& url, const QString& dir);
    void downloadAll(const QStringList& urls, const QString& dir);
    QStringList missingImages(QStringList urls) const;
    QStringList pendingImages() const;
    QString latestVersion() const;

signals:
    void downloadJsonDone(QByteArray);
    void modelJsonReady();
    // The request and every download it started have ended, however they ended.
    void cycleFinished();

public slots:
    void downloadingJson(QByteArray bytearray);
    void downloadJsonProgress(qint64 i, qint64 j);
    void updateJson();
    void updateModelJson(QByteArray json);
    void updateImages();
    void updateExecutable();
    void updateUrls();
    void startUpdate();
    void startUpdate(QString version);

private slots:
    void executablePartEnded();
    void jsonReplyFinished(bool succeeded);
    void downloadEnded();

private:
    void startQueued();
    void finishIfIdle();

    OpNetwork* m_network = nullptr;
    ModelJson* m_modelJson = nullptr;
    QByteArray m_jsonData;
    QString m_version;
    QString m_serviceUrl;
    // The chunks of the reply in flight, read as one manifest when it has ended.
    QByteArray m_replyChunks;
    bool m_requestPending = false;
    int m_transferTimeout;
    // Downloads wait here for one of the few places in flight.
    QList<OpDownload*> m_queue;
    int m_running = 0;
    // The downloaded program awaiting its check, and how many of it and its
    // signature are still being fetched.
    QString m_pendingExecutable;
    int m_executableParts = 0;
};
