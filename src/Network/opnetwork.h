#pragma once

#include <QFileInfo>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QObject>
#include <QSslError>
#include <QUrl>

class QAuthenticator;
class QNetworkAccessManager;

// The program's HTTP client: builds a multipart/form-data body and sends it by POST,
// or fetches an address by GET, handing the reply on chunk by chunk.
class OpNetwork : public QObject
{
    Q_OBJECT
public:
    explicit OpNetwork(QObject* parent = nullptr);
    ~OpNetwork() override;

    void setUrl(const QString& text);
    QUrl url() const;
    void doGet();
    // Ends the reply in flight; it then finishes as failed.
    void abortReply();
    // Silence longer than this abandons a request (set before sending).
    void setTransferTimeout(int milliseconds) { m_transferTimeout = milliseconds; }
    int transferTimeout() const { return m_transferTimeout; }

    // The request body as built so far.
    QByteArray data() const { return m_data; }

    // True when the reply ended without error and with an HTTP status of 2xx.
    static bool isSuccessful(QNetworkReply* reply);
    // Only addresses of the web are fetched: never local files, resources or pipes.
    static bool isFetchable(const QUrl& url);

signals:
    void postDone(QByteArray result);
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void uploadProgress(qint64 bytesSent, qint64 bytesTotal);
    // After the last postDone of a reply: whether it ended well (see isSuccessful).
    void replyFinished(bool succeeded);

public slots:
    void flushData();
    void appendHeader(QString campo, QString conteudo);
    void appendHeader(QString campo, int conteudo);
    void appendFileToHeader(QString campo, QFileInfo fileinfo);
    void doPost();
    void startBoundaries();
    void readyRead();
    // Qt 5.15 deprecates the accessibility enum; its value (-1, 0, 1) arrives as an int.
    void whatshappen(int acces);
    void end(QNetworkReply* e);
    void error(QNetworkReply::NetworkError erro);
    void sslErrors(QList<QSslError> l);
    void sslErrorsmanager(QNetworkReply* reply, QList<QSslError> erro);
    void proxyAuthenticationRequired(QNetworkProxy proxy, QAuthenticator* authent);

private slots:
    void replyEnded();

private:
    QNetworkRequest buildRequest() const;
    void createManager();
    void connectManager();
    void connectReply();
    void appendDelimiter();
    void appendDisposition(const QString& name, const QString& extra = QString());
    bool refuseUnfetchable();

    QUrl m_url;
    QByteArray m_data;
    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_reply = nullptr;
    int m_transferTimeout;
    const QString m_boundary;
    const QString m_twoHyphens;
    const QString m_lineEnd;
};
