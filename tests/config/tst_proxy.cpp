#include "Model/modelconfig.h"
#include "config/opconfig.h"
#include "updatetestsupport.h"
#include "views/viewconfig.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace UpdateTest;

namespace {

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
    quint16 startTinyproxy();
    quint16 startMicrosocks();
    void saveProxy(const QString& type, quint16 port, bool authentication);
    Fetched fetch();

    QString targetHost;
    QTemporaryDir scratch;
    std::unique_ptr<ScriptedServer> target;
    std::unique_ptr<BackgroundProcess> proxy;
    std::unique_ptr<ModelConfig> model;
    std::unique_ptr<ViewConfig> view;
    std::unique_ptr<OpConfig> opConfig;
};

void TestProxy::initTestCase()
{
    // The toolkit never proxies a loopback address or "localhost".
    targetHost = proxiedHost();
    PELICROW_REQUIRE(!targetHost.isEmpty(), "no address but loopback (isolated-run gives one)");
    QVERIFY(scratch.isValid());
}

void TestProxy::init()
{
    QDir(ModelConfig::configDirectory()).removeRecursively();
    target = std::make_unique<ScriptedServer>();
    target->respond("/probe", httpResponse(200, "hello"));
    proxy = std::make_unique<BackgroundProcess>();
    model = std::make_unique<ModelConfig>();
    model->verificConfig();
    view = std::make_unique<ViewConfig>(nullptr);
    opConfig = std::make_unique<OpConfig>();
    opConfig->setModel(model.get());
    opConfig->setView(view.get());
}

void TestProxy::cleanup()
{
    proxy.reset();
    opConfig.reset();
    view.reset();
    model.reset();
    target.reset();
}

quint16 TestProxy::startTinyproxy()
{
    quint16 port = 0;
    return startHttpProxy(*proxy, scratch.path(), "alice", "s3cret", &port) ? port : 0;
}

// Outgoing connections leave from 127.0.0.2, so the target can tell them apart.
quint16 TestProxy::startMicrosocks()
{
    quint16 port = 0;
    return startSocksProxy(*proxy, "bob", "pa55", &port, "127.0.0.2") ? port : 0;
}

void TestProxy::saveProxy(const QString& type, quint16 port, bool authentication)
{
    QVERIFY2(port != 0, "the proxy did not start");
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
    const QUrl url(target->url("/probe", targetHost));
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
    QVERIFY2(target->requests().constLast().contains("tinyproxy"),
        target->requests().constLast().constData());
}

void TestProxy::httpProxyWithoutCredentialsIsRefused()
{
    const quint16 port = startTinyproxy();
    saveProxy("HTTP", port, false);
    QCOMPARE(fetch().error, QNetworkReply::ProxyAuthenticationRequiredError);
    QCOMPARE(target->requests().size(), 0);
}

void TestProxy::socks5ProxyWithAuthentication()
{
    const quint16 port = startMicrosocks();
    saveProxy("SOCKS5", port, true);
    const Fetched fetched = fetch();
    QCOMPARE(fetched.error, QNetworkReply::NoError);
    QCOMPARE(fetched.body, QByteArray("hello"));
    QCOMPARE(target->lastPeer(), QHostAddress("127.0.0.2"));
}

void TestProxy::socks5ProxyWithoutCredentialsFails()
{
    const quint16 port = startMicrosocks();
    saveProxy("SOCKS5", port, false);
    QVERIFY(fetch().error != QNetworkReply::NoError);
    QCOMPARE(target->requests().size(), 0);
}

void TestProxy::proxyOffGoesDirect()
{
    const quint16 port = startTinyproxy();
    saveProxy("HTTP", port, true);
    view->proxyBox()->setChecked(false);
    view->saveButton()->click();
    const Fetched fetched = fetch();
    QCOMPARE(fetched.error, QNetworkReply::NoError);
    QVERIFY(!target->requests().constLast().contains("tinyproxy"));
}

QTEST_MAIN(TestProxy)
#include "tst_proxy.moc"
