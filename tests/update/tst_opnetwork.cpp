#include "Network/opnetwork.h"
#include "messagecapture.h"
#include "updatetestsupport.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

using namespace UpdateTest;

namespace {

const QByteArray boundary = "---------------------------723690991551375881941828858";
const QByteArray delimiter = "--" + boundary + "\r\n";
const QByteArray closing = "--" + boundary + "--\r\n";

QByteArray textPart(const QByteArray& name, const QByteArray& value)
{
    return delimiter + "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value
        + "\r\n";
}

QByteArray bodyOf(const QByteArray& request)
{
    return request.mid(request.indexOf("\r\n\r\n") + 4);
}

QList<QByteArray> headerLinesOf(const QByteArray& request)
{
    return request.left(request.indexOf("\r\n\r\n")).split('\n');
}

bool hasHeaderLine(const QByteArray& request, const QByteArray& line)
{
    for (const QByteArray& header : headerLinesOf(request)) {
        if (header.trimmed() == line)
            return true;
    }
    return false;
}

} // namespace

class TestOpNetwork : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void multipartBody_data();
    void multipartBody();
    void getSendsTheHeadersWithoutBody();
    void eachReadyReadIsOneChunk();
    void secondSendKeepsBothRepliesConnected();
    void errorsAreOnlyLogged();
    void proxiedRequest_data();
    void proxiedRequest();

private:
    QTemporaryDir m_dir;
    QString m_filePath;
};

void TestOpNetwork::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_filePath = m_dir.filePath(QStringLiteral("bytes é.bin"));
    writeFile(m_filePath, QByteArray("line\r\n\0\xff end", 12));
}

void TestOpNetwork::cleanup()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

// Steps: "text:name=value", "int:name=number", "file:name" (the test's file),
// "missing:name" (a file that does not exist), "flush".
void TestOpNetwork::multipartBody_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray filePart
        = "Content-Disposition: form-data; name=\"f\";filename=\"@FILE@\"\r\n\r\n";
    QTest::newRow("one text field") << QStringList {"text:k=value"} << textPart("k", "value");
    QTest::newRow("multi-byte UTF-8 counts by bytes")
        << QStringList {QString::fromUtf8("text:näme=Grüße €✓")}
        << textPart("n\xc3\xa4me",
               "Gr\xc3\xbc\xc3\x9f"
               "e \xe2\x82\xac\xe2\x9c\x93");
    QTest::newRow("integer -5") << QStringList {"int:n=-5"} << textPart("n", "-5");
    QTest::newRow("text parts only: no closing delimiter") << QStringList {"text:a=1", "int:b=42",
        "text:c="} << textPart("a", "1") + textPart("b", "42") + textPart("c", "");
    QTest::newRow("file part ends the body") << QStringList {"text:k=v", "file:f"}
                                             << textPart("k", "v") + delimiter + filePart
            + QByteArray("line\r\n\0\xff end", 12) + "\r\n" + closing;
    QTest::newRow("missing file: empty content, all delimiters") << QStringList {"missing:f"}
                                                                 << delimiter
            + "Content-Disposition: form-data; name=\"f\";filename=\"@MISSING@\"\r\n\r\n\r\n"
            + closing;
    QTest::newRow("text after a file lands behind the closing delimiter")
        << QStringList {"missing:f", "text:late=1"}
        << delimiter
            + "Content-Disposition: form-data; name=\"f\";filename=\"@MISSING@\"\r\n\r\n\r\n"
            + closing + textPart("late", "1");
    QTest::newRow("flushData empties the body")
        << QStringList {"text:k=v", "flush"} << QByteArray();
    QTest::newRow("the update request: 136 bytes")
        << QStringList {"text:k=5c0d2e9a7b41f8e36a9d0c2b7e4f1a58"}
        << textPart("k", "5c0d2e9a7b41f8e36a9d0c2b7e4f1a58");
}

void TestOpNetwork::multipartBody()
{
    QFETCH(QStringList, steps);
    QFETCH(QByteArray, expected);
    const QString missing = m_dir.filePath(QStringLiteral("missing.bin"));
    expected.replace("@FILE@", m_filePath.toUtf8()).replace("@MISSING@", missing.toUtf8());

    OpNetwork network;
    for (const QString& step : steps) {
        const QString kind = step.section(':', 0, 0);
        const QString argument = step.section(':', 1);
        const QString name = argument.section('=', 0, 0);
        const QString value = argument.section('=', 1);
        if (kind == "text")
            network.appendHeader(name, value);
        else if (kind == "int")
            network.appendHeader(name, value.toInt());
        else if (kind == "file")
            network.appendFileToHeader(name, QFileInfo(m_filePath));
        else if (kind == "missing")
            network.appendFileToHeader(name, QFileInfo(missing));
        else if (kind == "flush")
            network.flushData();
    }
    QCOMPARE(network.data(), expected);
    if (QTest::currentDataTag() == QByteArray("the update request: 136 bytes"))
        QCOMPARE(expected.size(), 136);

    // What goes over the wire is the same, with its two raw headers.
    ScriptedServer server;
    server.respond("/form", httpResponse(200, "ok"));
    QSignalSpy received(&server, &ScriptedServer::requestReceived);
    network.setUrl(server.url("/form"));
    network.doPost();
    QVERIFY(received.wait(5000));
    const QByteArray request = server.requests().constFirst();
    QVERIFY(request.startsWith("POST /form HTTP/1.1\r\n"));
    QVERIFY(hasHeaderLine(request, "Content-Type: multipart/form-data; boundary=" + boundary));
    QVERIFY(hasHeaderLine(request, "Content-Length: " + QByteArray::number(expected.size())));
    QCOMPARE(request.left(request.indexOf("\r\n\r\n")).count("Content-Length:"), 1);
    QCOMPARE(request.left(request.indexOf("\r\n\r\n")).count("Content-Type:"), 1);
    QCOMPARE(bodyOf(request), expected);
}

void TestOpNetwork::getSendsTheHeadersWithoutBody()
{
    ScriptedServer server;
    server.respond("/file.png", httpResponse(200, "png"));
    QSignalSpy received(&server, &ScriptedServer::requestReceived);
    OpNetwork network;
    network.appendHeader(QStringLiteral("k"), QStringLiteral("v"));
    network.flushData();
    network.setUrl(server.url("/file.png"));
    network.doGet();
    QVERIFY(received.wait(5000));
    const QByteArray request = server.requests().constFirst();
    QVERIFY(request.startsWith("GET /file.png HTTP/1.1\r\n"));
    QVERIFY(hasHeaderLine(request, "Content-Length: 0"));
    QVERIFY(hasHeaderLine(request, "Content-Type: multipart/form-data; boundary=" + boundary));
    QCOMPARE(bodyOf(request), QByteArray());
}

void TestOpNetwork::eachReadyReadIsOneChunk()
{
    ScriptedServer server;
    server.respond(
        "/slow", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", ScriptedServer::KeepOpen);
    OpNetwork network;
    QSignalSpy chunks(&network, &OpNetwork::postDone);
    QSignalSpy finished(&network, &OpNetwork::replyFinished);
    QSignalSpy progress(&network, &OpNetwork::downloadProgress);
    network.setUrl(server.url("/slow"));
    network.doGet();
    QVERIFY(chunks.wait(5000));
    for (const char* piece : {"def", "ghi"}) {
        server.lastConnection()->write(piece);
        QVERIFY(chunks.wait(5000));
    }
    QVERIFY(finished.count() == 1 || finished.wait(5000));
    QCOMPARE(chunks.count(), 3);
    QCOMPARE(chunks.at(0).at(0).toByteArray(), QByteArray("abc"));
    QCOMPARE(chunks.at(1).at(0).toByteArray(), QByteArray("def"));
    QCOMPARE(chunks.at(2).at(0).toByteArray(), QByteArray("ghi"));
    QCOMPARE(finished.constFirst().at(0).toBool(), true);
    QCOMPARE(progress.constLast().at(0).toLongLong(), 9);
    QCOMPARE(progress.constLast().at(1).toLongLong(), 9);
}

void TestOpNetwork::secondSendKeepsBothRepliesConnected()
{
    ScriptedServer server;
    server.respond("/first", httpResponse(200, "first reply"));
    server.respond("/second", httpResponse(200, "second reply"));
    OpNetwork network;
    QSignalSpy chunks(&network, &OpNetwork::postDone);
    QSignalSpy finished(&network, &OpNetwork::replyFinished);
    network.setUrl(server.url("/first"));
    network.doPost();
    network.setUrl(server.url("/second"));
    network.doPost();
    QCOMPARE(network.findChildren<QNetworkAccessManager*>().size(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 5000);
    QByteArrayList bodies;
    for (const QList<QVariant>& chunk : chunks)
        bodies << chunk.at(0).toByteArray();
    std::sort(bodies.begin(), bodies.end());
    QCOMPARE(bodies, QByteArrayList({"first reply", "second reply"}));
}

void TestOpNetwork::errorsAreOnlyLogged()
{
    MessageCapture messages;
    OpNetwork network;
    QSignalSpy chunks(&network, &OpNetwork::postDone);
    QSignalSpy finished(&network, &OpNetwork::replyFinished);
    network.setUrl(QStringLiteral("http://127.0.0.1:%1/").arg(freePort()));
    network.doPost();
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.constFirst().at(0).toBool(), false);
    QCOMPARE(chunks.count(), 0);
    QVERIFY2(messages.messages().contains(
                 QStringLiteral("error:  %1").arg(QNetworkReply::ConnectionRefusedError)),
        qPrintable(messages.messages().join('|')));
    // A local file is never read: the request just ends.
    network.setUrl(QStringLiteral("file:///etc/passwd"));
    network.doGet();
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.constLast().at(0).toBool(), false);
    QCOMPARE(chunks.count(), 0);
}

void TestOpNetwork::proxiedRequest_data()
{
    QTest::addColumn<bool>("socks");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("arrives");
    QTest::newRow("HTTP proxy with its credentials") << false << "s3cret" << true;
    QTest::newRow("HTTP proxy, wrong password") << false << "wrong" << false;
    QTest::newRow("SOCKS5 proxy with its credentials") << true << "s3cret" << true;
    QTest::newRow("SOCKS5 proxy, wrong password") << true << "wrong" << false;
}

void TestOpNetwork::proxiedRequest()
{
    QFETCH(bool, socks);
    QFETCH(QString, password);
    QFETCH(bool, arrives);
    const QString host = proxiedHost();
    PELICROW_REQUIRE(!host.isEmpty(), "no address but loopback (isolated-run gives one)");

    BackgroundProcess proxy;
    QVERIFY(useProxy(proxy, socks, m_dir.path(), "alice", "s3cret", password));

    ScriptedServer server;
    server.respond("/includes/json.php", httpResponse(200, "0"));
    OpNetwork network;
    QSignalSpy chunks(&network, &OpNetwork::postDone);
    QSignalSpy finished(&network, &OpNetwork::replyFinished);
    network.appendHeader(QStringLiteral("k"), QStringLiteral("key"));
    network.setUrl(server.url("/includes/json.php", host));
    network.doPost();
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.constFirst().at(0).toBool(), arrives);
    QCOMPARE(server.requests().size(), arrives ? 1 : 0);
    if (!arrives)
        return;
    QCOMPARE(chunks.constFirst().at(0).toByteArray(), QByteArray("0"));
    QCOMPARE(bodyOf(server.requests().constFirst()), textPart("k", "key"));
    if (!socks) // tinyproxy names itself on what it forwards
        QVERIFY(server.requests().constFirst().contains("tinyproxy"));
}

QTEST_MAIN(TestOpNetwork)
#include "tst_opnetwork.moc"
