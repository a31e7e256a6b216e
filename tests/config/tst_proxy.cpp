#include "Model/modelconfig.h"
#include "config/opconfig.h"
#include "updatetestsupport.h"
#include "views/viewconfig.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// A one-page HTTP server that remembers who asked and with which headers.
class TargetServer : public QTcpServer
{
public:
    QByteArray lastRequest;
    QHostAddress lastPeer;
    int requests = 0;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            buffer[socket] += socket->readAll();
            if (!buffer[socket].contains("\r\n\r\n"))
                return;
            lastRequest = buffer.take(socket);
            lastPeer = socket->peerAddress();
            ++requests;
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello");
            socket->disconnectFromHost();
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    QHash<QTcpSocket*, QByteArray> buffer;
};

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool acceptsConnections(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

struct Fetched
{
    QNetworkReply::NetworkError error;
    QByteArray body;
};

} // namespace

// "Save" in the configuration panel sends later requests through real proxies on
// loopback: tinyproxy (HTTP, basic authentication) and microsocks (SOCKS5).
class TestProxy : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void httpProxyWithAuthentication();
    void httpProxyWithoutCredentialsIsRefused();
    void socks5ProxyWithAuthentication();
    void socks5ProxyWithoutCredentialsFails();
    void proxyOffGoesDirect();

private:
    void startProxy(const QString& program, const QStringList& arguments, quint16 port);
    quint16 startTinyproxy();
    quint16 startMicrosocks();
    void saveProxy(const QString& type, quint16 port, bool authentication);
    Fetched fetch();

    QString targetHost;
    QTemporaryDir scratch;
    std::unique_ptr<TargetServer> target;
    std::unique_ptr<QProcess> proxy;
    std::unique_ptr<ModelConfig> model;
    std::unique_ptr<ViewConfig> view;
    std::unique_ptr<OpConfig> opConfig;
};

void TestProxy::initTestCase()
{
    // The toolkit never proxies a loopback address or "localhost".
    targetHost = UpdateTest::proxiedHost();
    PELICROW_REQUIRE(!targetHost.isEmpty(), "no address but loopback (isolated-run gives one)");
    QVERIFY(scratch.isValid());
}

void TestProxy::init()
{
    QDir(ModelConfig::configDirectory()).removeRecursively();
    target = std::make_unique<TargetServer>();
    target->setProxy(QNetworkProxy::NoProxy);
    QVERIFY(target->listen(QHostAddress(targetHost), 0));
    model = std::make_unique<ModelConfig>();
    model->verificConfig();
    view = std::make_unique<ViewConfig>(nullptr);
    opConfig = std::make_unique<OpConfig>();
    opConfig->setModel(model.get());
    opConfig->setView(view.get());
}

void TestProxy::cleanup()
{
    if (proxy) {
        proxy->kill();
        proxy->waitForFinished();
        proxy.reset();
    }
    opConfig.reset();
    view.reset();
    model.reset();
    target.reset();
}

void TestProxy::startProxy(const QString& program, const QStringList& arguments, quint16 port)
{
    proxy = std::make_unique<QProcess>();
    proxy->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    proxy->setStandardOutputFile(QProcess::nullDevice());
    proxy->start(program, arguments);
    QVERIFY2(proxy->waitForStarted(), qPrintable(program));
    QTRY_VERIFY_WITH_TIMEOUT(acceptsConnections(port), 10000);
}

quint16 TestProxy::startTinyproxy()
{
    const quint16 port = freePort();
    const QString config = scratch.path() + "/tinyproxy.conf";
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 0;
    file.write(QString("Port %1\nListen 127.0.0.1\nTimeout 30\nMaxClients 10\n"
                       "LogLevel Warning\nBasicAuth alice s3cret\n")
                   .arg(port)
                   .toUtf8());
    file.close();
    startProxy("tinyproxy", {"-d", "-c", config}, port);
    return port;
}

quint16 TestProxy::startMicrosocks()
{
    const quint16 port = freePort();
    // Outgoing connections leave from 127.0.0.2, so the target can tell them apart.
    startProxy("microsocks",
        {"-i", "127.0.0.1", "-p", QString::number(port), "-u", "bob", "-P", "pa55", "-b",
            "127.0.0.2"},
        port);
    return port;
}

void TestProxy::saveProxy(const QString& type, quint16 port, bool authentication)
{
    view->proxyBox()->setChecked(true);
    view->hostEdit()->setText("127.0.0.1");
    view->portEdit()->setText(QString::number(port));
    view->proxyTypeCombo()->setCurrentText(type);
    view->proxyAuthBox()->setChecked(authentication);
    view->userEdit()->setText(type == "HTTP" ? "alice" : "bob");
    view->passEdit()->setText(type == "HTTP" ? "s3cret" : "pa55");
    if (!authentication) {
        view->userEdit()->clear();
        view->passEdit()->clear();
    }
    view->saveButton()->click();
}

Fetched TestProxy::fetch()
{
    QNetworkAccessManager manager;
    const QUrl url(QString("http://%1:%2/probe").arg(targetHost).arg(target->serverPort()));
    std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(url)));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!finished.wait(10000))
        return {QNetworkReply::TimeoutError, {}};
    return {reply->error(), reply->readAll()};
}

void TestProxy::httpProxyWithAuthentication()
{
    const quint16 port = startTinyproxy();
    saveProxy("HTTP", port, true);
    const Fetched fetched = fetch();
    QCOMPARE(fetched.error, QNetworkReply::NoError);
    QCOMPARE(fetched.body, QByteArray("hello"));
    QVERIFY2(target->lastRequest.contains("tinyproxy"), target->lastRequest.constData());
}

void TestProxy::httpProxyWithoutCredentialsIsRefused()
{
    const quint16 port = startTinyproxy();
    saveProxy("HTTP", port, false);
    QCOMPARE(fetch().error, QNetworkReply::ProxyAuthenticationRequiredError);
    QCOMPARE(target->requests, 0);
}

void TestProxy::socks5ProxyWithAuthentication()
{
    const quint16 port = startMicrosocks();
    saveProxy("SOCKS5", port, true);
    const Fetched fetched = fetch();
    QCOMPARE(fetched.error, QNetworkReply::NoError);
    QCOMPARE(fetched.body, QByteArray("hello"));
    QCOMPARE(target->lastPeer, QHostAddress("127.0.0.2"));
}

void TestProxy::socks5ProxyWithoutCredentialsFails()
{
    const quint16 port = startMicrosocks();
    saveProxy("SOCKS5", port, false);
    QVERIFY(fetch().error != QNetworkReply::NoError);
    QCOMPARE(target->requests, 0);
}

void TestProxy::proxyOffGoesDirect()
{
    const quint16 port = startTinyproxy();
    saveProxy("HTTP", port, true);
    view->proxyBox()->setChecked(false);
    view->saveButton()->click();
    const Fetched fetched = fetch();
    QCOMPARE(fetched.error, QNetworkReply::NoError);
    QVERIFY(!target->lastRequest.contains("tinyproxy"));
}

QTEST_MAIN(TestProxy)
#include "tst_proxy.moc"
