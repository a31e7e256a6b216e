#include "opnetwork.h"

#include "Network/downloadlimits.h"

#include <QAuthenticator>
#include <QDebug>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

namespace {

void registerArgumentTypes()
{
    static const bool registered = [] {
        qRegisterMetaType<QFileInfo>();
        qRegisterMetaType<QNetworkReply::NetworkError>();
        qRegisterMetaType<QList<QSslError>>();
        qRegisterMetaType<QNetworkProxy>();
        return true;
    }();
    Q_UNUSED(registered)
}

} // namespace

OpNetwork::OpNetwork(QObject* parent)
    : QObject(parent)
    , m_transferTimeout(DownloadLimits::TransferTimeoutMs)
    , m_boundary(QStringLiteral("---------------------------723690991551375881941828858"))
    , m_twoHyphens(QStringLiteral("--"))
    , m_lineEnd(QStringLiteral("\r\n"))
{
    registerArgumentTypes();
}

OpNetwork::~OpNetwork() = default;

void OpNetwork::setUrl(const QString& text)
{
    m_url = QUrl(text, QUrl::TolerantMode);
}

QUrl OpNetwork::url() const
{
    return m_url;
}

void OpNetwork::doGet()
{
    if (refuseUnfetchable())
        return;
    const QNetworkRequest request = buildRequest();
    createManager();
    m_reply = m_manager->get(request);
    // Bounded, the network thread stops reading until the body is handed on: an endless
    // body cannot fill the memory before the size cap ends it. Not through SOCKS5, whose
    // socket in Qt 5.15 reports the end of a throttled body as "remote host closed".
    if (QNetworkProxy::applicationProxy().type() != QNetworkProxy::Socks5Proxy)
        m_reply->setReadBufferSize(DownloadLimits::ReadBufferBytes);
    connectReply();
    connectManager();
}

void OpNetwork::abortReply()
{
    if (m_reply)
        m_reply->abort();
}

bool OpNetwork::isFetchable(const QUrl& url)
{
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

bool OpNetwork::isSuccessful(QNetworkReply* reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return reply->error() == QNetworkReply::NoError && status >= 200 && status < 300;
}

void OpNetwork::flushData()
{
    m_data.clear();
}

void OpNetwork::appendHeader(QString campo, QString conteudo)
{
    appendDelimiter();
    appendDisposition(campo);
    m_data += m_lineEnd.toUtf8();
    m_data += conteudo.toUtf8() + m_lineEnd.toUtf8();
}

void OpNetwork::appendHeader(QString campo, int conteudo)
{
    appendHeader(campo, QString::number(conteudo));
}

void OpNetwork::appendFileToHeader(QString campo, QFileInfo fileinfo)
{
    const QString path = fileinfo.absoluteFilePath();
    appendDelimiter();
    appendDisposition(campo, QStringLiteral(";filename=\"%1\"").arg(path));
    m_data += m_lineEnd.toUtf8();
    QFile file(path);
    // An unreadable file still gets its part, with empty content.
    if (file.open(QIODevice::ReadOnly))
        m_data += file.readAll();
    m_data += m_lineEnd.toUtf8();
    m_data += (m_twoHyphens + m_boundary + m_twoHyphens + m_lineEnd).toUtf8();
}

void OpNetwork::doPost()
{
    if (refuseUnfetchable())
        return;
    const QNetworkRequest request = buildRequest();
    createManager();
    connectManager();
    m_reply = m_manager->post(request, m_data);
    connectReply();
}

void OpNetwork::startBoundaries() { }

void OpNetwork::readyRead()
{
    // Every reply of this object stays connected, so read the one that has data.
    auto* source = qobject_cast<QNetworkReply*>(sender());
    if (!source)
        source = m_reply;
    if (source)
        emit postDone(source->readAll());
}

void OpNetwork::whatshappen(int acces)
{
    qDebug() << "changed";
    qDebug() << "acces" << acces;
}

void OpNetwork::end(QNetworkReply* e)
{
    qDebug() << "end" << e->readAll();
}

void OpNetwork::error(QNetworkReply::NetworkError erro)
{
    qDebug() << "error: " << int(erro);
}

void OpNetwork::sslErrors(QList<QSslError> l)
{
    qDebug() << "sslErrors" << l;
}

void OpNetwork::sslErrorsmanager(QNetworkReply* reply, QList<QSslError> erro)
{
    qDebug() << "try";
    qDebug() << reply->readAll();
    qDebug() << erro;
}

void OpNetwork::proxyAuthenticationRequired(QNetworkProxy, QAuthenticator*)
{
    qDebug() << "proxyAuthenticationRequired";
}

void OpNetwork::replyEnded()
{
    auto* source = qobject_cast<QNetworkReply*>(sender());
    if (!source)
        return;
    // An aborted or timed-out reply is closed: nothing is left to read.
    const QByteArray rest = source->isOpen() ? source->readAll() : QByteArray();
    if (!rest.isEmpty())
        emit postDone(rest);
    emit replyFinished(isSuccessful(source));
    // Each reply has a manager (and with it a thread) of its own: both go once it has ended.
    if (m_reply == source) {
        m_reply = nullptr;
        if (m_manager == source->manager())
            m_manager = nullptr;
    }
    source->manager()->deleteLater();
    source->deleteLater();
}

bool OpNetwork::refuseUnfetchable()
{
    if (isFetchable(m_url))
        return false;
    qWarning() << "not fetched, not a web address:" << m_url.toString();
    // Owners wait for the end of every request, this one included.
    QMetaObject::invokeMethod(
        this, [this] { emit replyFinished(false); }, Qt::QueuedConnection);
    return true;
}

QNetworkRequest OpNetwork::buildRequest() const
{
    QNetworkRequest request(m_url);
    request.setTransferTimeout(m_transferTimeout);
    request.setRawHeader("Content-Type",
        QStringLiteral("multipart/form-data; boundary=%1").arg(m_boundary).toUtf8());
    request.setRawHeader("Content-Length", QByteArray::number(m_data.size()));
    return request;
}

void OpNetwork::createManager()
{
    m_manager = new QNetworkAccessManager(this);
}

void OpNetwork::connectManager()
{
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    connect(
        m_manager, &QNetworkAccessManager::networkAccessibleChanged, this, &OpNetwork::whatshappen);
    QT_WARNING_POP
    connect(m_manager, &QNetworkAccessManager::sslErrors, this, &OpNetwork::sslErrorsmanager);
    connect(m_manager, &QNetworkAccessManager::proxyAuthenticationRequired, this,
        &OpNetwork::proxyAuthenticationRequired);
}

void OpNetwork::connectReply()
{
    connect(m_reply, &QNetworkReply::readyRead, this, &OpNetwork::readyRead);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &OpNetwork::downloadProgress);
    connect(m_reply, &QNetworkReply::errorOccurred, this, &OpNetwork::error);
    connect(m_reply, &QNetworkReply::sslErrors, this, &OpNetwork::sslErrors);
    connect(m_reply, &QNetworkReply::uploadProgress, this, &OpNetwork::uploadProgress);
    connect(m_reply, &QNetworkReply::finished, this, &OpNetwork::replyEnded);
}

void OpNetwork::appendDelimiter()
{
    m_data += (m_twoHyphens + m_boundary + m_lineEnd).toUtf8();
}

void OpNetwork::appendDisposition(const QString& name, const QString& extra)
{
    m_data += QStringLiteral("Content-Disposition: form-data; name=\"%1\"%2")
                  .arg(name, extra)
                  .toUtf8();
    m_data += m_lineEnd.toUtf8();
}
