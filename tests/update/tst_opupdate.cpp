#include "Model/modeljson.h"
#include "Network/opdownload.h"
#include "Network/opupdate.h"
#include "app/appnames.h"
#include "app/executablecheck.h"
#include "signingsupport.h"
#include "testsupport.h"
#include "updatetestsupport.h"

#include <QDeadlineTimer>
#include <QImageReader>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace UpdateTest;

namespace {

QString executablePath()
{
    return OpUpdate::executableDirectory() + QLatin1Char('/') + AppNames::MainExecutable;
}

// Also counts the threads at their most, for tests that bound them.
bool waitForCycle(OpUpdate& update, int timeoutMs = 20000, int* mostThreads = nullptr)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (mostThreads)
            *mostThreads = std::max(*mostThreads, threadCount());
        if (!update.busy())
            return true;
        QTest::qWait(20);
    }
    return false;
}

// A program of this platform, told apart by its tag.
QByteArray program(const QByteArray& tag)
{
    return TestSupport::programBytes(QCoreApplication::applicationFilePath(), tag);
}

QStringList downloadedUrls(const OpUpdate& update)
{
    QStringList urls;
    for (OpDownload* downloader : update.findChildren<OpDownload*>())
        urls << downloader->url().toString();
    urls.sort();
    return urls;
}

QByteArray requestTo(quint16 port, const QByteArray& request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return "<no connection>";
    socket.write(request);
    QByteArray answer;
    while (socket.waitForReadyRead(5000))
        answer += socket.readAll();
    return answer;
}

} // namespace

class TestOpUpdate : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void latestVersion_data();
    void latestVersion();
    void missingImages_data();
    void missingImages();
    void updateRequestBytes();
    void executableOfTheHighestVersion_data();
    void executableOfTheHighestVersion();
    void picturesThatAreMissing();
    void shippedPicturesReachAFreshInstall();
    void serviceRefusals_data();
    void serviceRefusals();
    void hostileManifests_data();
    void hostileManifests();
    void manifestInManyChunks();
    void addressListedTwice();
    void onlyVerifiedProgramsAreKept_data();
    void onlyVerifiedProgramsAreKept();
    void manyPictures();
    void stalledServiceClients();
    void cycleThroughProxy_data();
    void cycleThroughProxy();

private:
    void setContent(const QStringList& versions, const QStringList& images);

    QTemporaryDir m_dir;
    // One service for the whole test: it reads its content folder at each request.
    ReferenceService m_service;
};

void TestOpUpdate::initTestCase()
{
    ExecutableCheck::setPublicKey(TestSupport::publicKey());
    setContent({}, {});
    writeFile(m_dir.filePath(QStringLiteral("secret.txt")), "beside the content folder");
    QVERIFY(m_service.start(m_dir.filePath(QStringLiteral("content"))));
}

void TestOpUpdate::init()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    QDir(QDir::homePath() + "/Pelicrow").removeRecursively();
    QDir(OpUpdate::executableDirectory()).removeRecursively();
    QVERIFY(!QCoreApplication::applicationDirPath().startsWith(PELICROW_BIN_DIR));
}

// The service's content: versions/<v>/<executable> holding a program tagged "executable <v>",
// images/<name> holding "picture <name>".
void TestOpUpdate::setContent(const QStringList& versions, const QStringList& images)
{
    const QString content = m_dir.filePath(QStringLiteral("content"));
    QDir(content).removeRecursively();
    QDir().mkpath(content + "/images");
    for (const QString& version : versions)
        writeFile(content + "/versions/" + version + "/" + AppNames::MainExecutable,
            program("executable " + version.toUtf8()));
    for (const QString& image : images)
        writeFile(content + "/images/" + image, "picture " + image.toUtf8());
}

void TestOpUpdate::latestVersion_data()
{
    QTest::addColumn<QStringList>("versions");
    QTest::addColumn<QString>("latest");
    QTest::newRow("none") << QStringList() << "";
    QTest::newRow("one") << QStringList {"1.0"} << "1.0";
    QTest::newRow("1.5 beats 1.10, a number not a component list")
        << QStringList {"1.5", "1.10"} << "1.5";
    QTest::newRow("2 and 2.0 tie: the first name wins") << QStringList {"2.0", "2"} << "2";
    QTest::newRow("not a number counts as 0") << QStringList {"abc"} << "";
    QTest::newRow("mixed") << QStringList {"abc", "0.9", "3", "2.99"} << "3";
}

void TestOpUpdate::latestVersion()
{
    QFETCH(QStringList, versions);
    QFETCH(QString, latest);
    QJsonObject object;
    for (const QString& version : versions)
        object.insert(version, "http://h/" + version);
    OpUpdate update;
    update.modelJson()->setJson(QJsonDocument(QJsonObject {{"versions", object}}).toJson());
    QCOMPARE(update.latestVersion(), latest);
}

void TestOpUpdate::missingImages_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("missing");
    QTest::newRow("nothing present")
        << QStringList() << QStringList {"http://h/a.png"} << QStringList {"http://h/a.png"};
    QTest::newRow("present is not fetched again")
        << QStringList {"a.png"} << QStringList {"http://h/a.png", "http://h/b.png"}
        << QStringList {"http://h/b.png"};
    QTest::newRow("names are case-sensitive")
        << QStringList {"a.png"} << QStringList {"http://h/A.png"}
        << QStringList {"http://h/A.png"};
    QTest::newRow("listed twice and present: both go")
        << QStringList {"a.png"} << QStringList {"http://h/a.png", "http://h/a.png"}
        << QStringList();
    QTest::newRow("listed twice and missing: both stay")
        << QStringList() << QStringList {"http://h/a.png", "http://h/a.png"}
        << QStringList {"http://h/a.png", "http://h/a.png"};
    QTest::newRow("same name on two hosts: both go")
        << QStringList {"a.png"}
        << QStringList {"http://h/a.png", "http://k/x/a.png", "http://h/c.png"}
        << QStringList {"http://h/c.png"};
    QTest::newRow("a folder of that name is no picture") << QStringList {
        "dir.png/"} << QStringList {"http://h/dir.png"} << QStringList {"http://h/dir.png"};
}

void TestOpUpdate::missingImages()
{
    QFETCH(QStringList, present);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, missing);
    for (const QString& name : present) {
        if (name.endsWith('/'))
            QDir().mkpath(OpUpdate::resourcesDirectory() + "/" + name);
        else
            writeFile(OpUpdate::resourcesDirectory() + "/" + name, "here");
    }
    OpUpdate update;
    QCOMPARE(update.missingImages(listed), missing);
    QVERIFY(QFileInfo(OpUpdate::resourcesDirectory()).isDir());
}

void TestOpUpdate::updateRequestBytes()
{
    ScriptedServer server;
    server.respond("/includes/json.php", httpResponse(200, "1"));
    QSignalSpy received(&server, &ScriptedServer::requestReceived);
    OpUpdate update;
    update.setServiceUrl(server.url("/"));
    update.startUpdate();
    QVERIFY(received.wait(5000));
    const QByteArray request = server.requests().constFirst();
    const QByteArray body = request.mid(request.indexOf("\r\n\r\n") + 4);
    QVERIFY(request.startsWith("POST /includes/json.php HTTP/1.1\r\n"));
    QVERIFY(request.contains("\r\nContent-Length: 136\r\n"));
    QVERIFY(request.contains("\r\nContent-Type: multipart/form-data; boundary="
                             "---------------------------723690991551375881941828858\r\n"));
    QCOMPARE(body,
        QByteArray("-----------------------------723690991551375881941828858\r\n"
                   "Content-Disposition: form-data; name=\"k\"\r\n\r\n"
                   "5c0d2e9a7b41f8e36a9d0c2b7e4f1a58\r\n"));
    QCOMPARE(body.size(), 136);
}

void TestOpUpdate::executableOfTheHighestVersion_data()
{
    QTest::addColumn<QStringList>("versions");
    QTest::addColumn<QString>("ownVersion"); // empty: startUpdate() with its own version
    QTest::addColumn<QByteArray>("downloaded");
    QTest::newRow("only the own version") << QStringList {AppNames::Version} << "" << QByteArray();
    QTest::newRow("1.5 and 1.10: 1.5")
        << QStringList {"1.5", "1.10"} << "" << QByteArray("executable 1.5");
    QTest::newRow("2 and 2.0: 2") << QStringList {"2", "2.0"} << "" << QByteArray("executable 2");
    QTest::newRow("only abc") << QStringList {"abc"} << "" << QByteArray();
    QTest::newRow("own 2.5, service has 2.4") << QStringList {"2.4"} << "2.5" << QByteArray();
    QTest::newRow("own 2.3, service has 2.4")
        << QStringList {"2.4"} << "2.3" << QByteArray("executable 2.4");
}

void TestOpUpdate::executableOfTheHighestVersion()
{
    QFETCH(QStringList, versions);
    QFETCH(QString, ownVersion);
    QFETCH(QByteArray, downloaded);
    setContent(versions, {});
    OpUpdate update;
    update.setServiceUrl(m_service.baseUrl());
    QSignalSpy ready(&update, &OpUpdate::modelJsonReady);
    if (ownVersion.isEmpty())
        update.startUpdate();
    else
        update.startUpdate(ownVersion);
    QVERIFY(ready.wait(10000));
    QVERIFY(waitForCycle(update));
    QCOMPARE(ready.count(), 1);
    if (downloaded.isEmpty())
        QVERIFY(!QFile::exists(executablePath()));
    else
        QCOMPARE(fileBytes(executablePath()), program(downloaded));
}

void TestOpUpdate::picturesThatAreMissing()
{
    setContent({}, {"a.png", "B.png", "c.png"});
    ReferenceService& service = m_service;
    writeFile(OpUpdate::resourcesDirectory() + "/a.png", "mine");
    writeFile(OpUpdate::resourcesDirectory() + "/b.png", "mine too");
    OpUpdate update;
    update.setServiceUrl(service.baseUrl());
    update.startUpdate();
    QVERIFY(waitForCycle(update));
    QCOMPARE(downloadedUrls(update),
        QStringList({service.baseUrl() + "/images/B.png", service.baseUrl() + "/images/c.png"}));
    const QString resources = OpUpdate::resourcesDirectory();
    QCOMPARE(fileBytes(resources + "/a.png"), QByteArray("mine"));
    QCOMPARE(fileBytes(resources + "/b.png"), QByteArray("mine too"));
    QCOMPARE(fileBytes(resources + "/B.png"), QByteArray("picture B.png"));
    QCOMPARE(fileBytes(resources + "/c.png"), QByteArray("picture c.png"));
    QVERIFY(!QFile::exists(executablePath()));
}

void TestOpUpdate::shippedPicturesReachAFreshInstall()
{
    const QString shipped = TestSupport::sourcePath("tools/update-service/content");
    ReferenceService service;
    QVERIFY(service.start(shipped));
    OpUpdate update;
    update.setServiceUrl(service.baseUrl());
    update.startUpdate();
    QVERIFY(waitForCycle(update));
    const QStringList pictures = QDir(shipped + "/images").entryList(QDir::Files);
    QVERIFY(pictures.size() >= 3);
    QCOMPARE(QDir(OpUpdate::resourcesDirectory()).entryList(QDir::Files), pictures);
    for (const QString& picture : pictures) {
        QImageReader reader(OpUpdate::resourcesDirectory() + "/" + picture);
        QCOMPARE(reader.size(), QSize(400, 300));
    }
}

void TestOpUpdate::serviceRefusals_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answerStart");
    QTest::addColumn<QByteArray>("answerEnd");
    const QByteArray form = "Content-Type: multipart/form-data; boundary=XY\r\n";
    auto post = [&](const QByteArray& body) {
        return "POST /includes/json.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" + form
            + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    };
    auto get = [](const QByteArray& path) {
        return "GET " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    };
    QTest::newRow("wrong key") << post(
        "--XY\r\nContent-Disposition: form-data; name=\"k\"\r\n\r\nbad\r\n")
                               << QByteArray("HTTP/1.1 200") << QByteArray("\r\n\r\n0");
    QTest::newRow("no key") << post("") << QByteArray("HTTP/1.1 200") << QByteArray("\r\n\r\n0");
    QTest::newRow("right key, closing delimiter too")
        << post("--XY\r\nContent-Disposition: form-data; name=\"k\"\r\n\r\n"
                "5c0d2e9a7b41f8e36a9d0c2b7e4f1a58\r\n--XY--\r\n")
        << QByteArray("HTTP/1.1 200") << QByteArray("}");
    QTest::newRow("a picture, with its length")
        << get("/images/a.png") << QByteArray("HTTP/1.1 200")
        << QByteArray("\r\n\r\npicture a.png");
    QTest::newRow("dot-dot out of the content folder")
        << get("/../secret.txt") << QByteArray("HTTP/1.1 404") << QByteArray();
    QTest::newRow("encoded dot-dot")
        << get("/images/%2e%2e/%2e%2e/secret.txt") << QByteArray("HTTP/1.1 404") << QByteArray();
    QTest::newRow("absolute path")
        << get("//etc/passwd") << QByteArray("HTTP/1.1 404") << QByteArray();
    QTest::newRow("a folder") << get("/images") << QByteArray("HTTP/1.1 404") << QByteArray();
}

void TestOpUpdate::serviceRefusals()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answerStart);
    QFETCH(QByteArray, answerEnd);
    setContent({}, {"a.png"});
    const QByteArray answer = requestTo(m_service.port(), request);
    QVERIFY2(answer.startsWith(answerStart), answer.constData());
    QVERIFY2(answer.endsWith(answerEnd), answer.constData());
    if (answerEnd == "\r\n\r\npicture a.png")
        QVERIFY(answer.contains("\r\nContent-Length: 13\r\n"));
}

void TestOpUpdate::hostileManifests_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body"); // "@" stands for the server's address
    QTest::addColumn<int>("missingBytes"); // declared in the length, never sent
    QTest::addColumn<int>("readyCount");
    const QByteArray manifest = R"({"versions":{"9":"@/versions/9/exe"},"images":{"a":"@/a.png"}})";
    QTest::newRow("not JSON") << 200 << QByteArray("<html>hello</html>") << 0 << 1;
    QTest::newRow("top-level array") << 200 << "[" + manifest + "]" << 0 << 1;
    QTest::newRow("wrong types") << 200
                                 << QByteArray(R"({"versions":{"9":9},"images":["@/a.png"]})") << 0
                                 << 1;
    QTest::newRow("truncated manifest") << 200 << manifest.left(40) << 0 << 1;
    QTest::newRow("the service says 1") << 200 << QByteArray("1") << 0 << 0;
    QTest::newRow("the service says 0") << 200 << QByteArray("0") << 0 << 0;
    QTest::newRow("404 page holding a manifest") << 404 << manifest << 0 << 0;
    QTest::newRow("cut off mid-manifest") << 200 << manifest << 300 << 0;
    // "$" stands for the test's folder, holding a private key and a named pipe.
    QTest::newRow("local files, resources and pipes")
        << 200
        << QByteArray(R"({"versions":{"2.0":"file://$/key"},"images":{"a":"file://$/pipe.png",)"
                      R"("b":"qrc:/icone/camera.png","c":"FILE:$/key.png","d":"/$/key.png"}})")
        << 0 << 1;
    // Status 0: a service that sends nothing, or with missingBytes -1 one that never stops.
    QTest::newRow("a service that never answers") << 0 << QByteArray() << 0 << 0;
    QTest::newRow("a manifest without end")
        << 0 << QByteArray("HTTP/1.1 200 OK\r\n\r\n{") << -1 << 0;
}

void TestOpUpdate::hostileManifests()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, missingBytes);
    QFETCH(int, readyCount);
    ScriptedServer server;
    body.replace("@", server.url(QString()).toUtf8()).replace("$", m_dir.path().toUtf8());
    writeFile(m_dir.filePath("key"), "private key");
    QFile::setPermissions(m_dir.filePath("key"), QFileDevice::ReadOwner);
    QFile::copy(m_dir.filePath("key"), m_dir.filePath("key.png"));
    QFile::remove(m_dir.filePath("pipe.png"));
    QCOMPARE(mkfifo(QFile::encodeName(m_dir.filePath("pipe.png")).constData(), 0600), 0);
    server.respond("/includes/json.php",
        status ? httpResponse(status, body, false,
            "Content-Length: " + QByteArray::number(body.size() + missingBytes) + "\r\n")
               : body,
        status ? ScriptedServer::Close
               : (missingBytes < 0 ? ScriptedServer::Endless : ScriptedServer::KeepOpen));
    server.respondToOthers(httpResponse(200, "should never be fetched"));
    OpUpdate update;
    update.setServiceUrl(server.url(QString()));
    update.setTransferTimeout(1000);
    QSignalSpy ready(&update, &OpUpdate::modelJsonReady);
    update.startUpdate();
    QVERIFY(waitForCycle(update));
    QCOMPARE(ready.count(), readyCount);
    QCOMPARE(downloadedUrls(update), QStringList());
    QCOMPARE(server.requests().size(), 1);
    QVERIFY(!QFile::exists(OpUpdate::executableDirectory()));
    QCOMPARE(
        QDir(OpUpdate::resourcesDirectory()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestOpUpdate::manifestInManyChunks()
{
    ScriptedServer server;
    const QString base = server.url(QString());
    const QByteArray manifest
        = QStringLiteral(R"({"versions":{"1.0":"%1/old/%2","9":"%1/versions/9/%2"},)"
                         R"("images":{"one":"%1/images/one.png","two":"%1/images/two.png"}})")
              .arg(base, AppNames::MainExecutable)
              .toUtf8();
    const int pieces = 8;
    const int step = manifest.size() / pieces + 1;
    server.respond("/includes/json.php",
        "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(manifest.size()) + "\r\n\r\n"
            + manifest.left(step),
        ScriptedServer::KeepOpen);
    server.respond("/images/one.png", httpResponse(200, "picture one"));
    server.respond("/images/two.png", httpResponse(200, "picture two"));
    const QByteArray path = "/versions/9/" + AppNames::MainExecutable.toUtf8();
    server.respond(path, httpResponse(200, program("executable 9")));
    server.respond(
        path + ".sig", httpResponse(200, TestSupport::signature(program("executable 9"))));

    OpUpdate update;
    update.setServiceUrl(base);
    QSignalSpy ready(&update, &OpUpdate::modelJsonReady);
    update.startUpdate();
    auto* network = update.findChild<OpNetwork*>();
    QSignalSpy chunks(network, &OpNetwork::postDone);
    QVERIFY(chunks.wait(5000));
    for (int offset = step; offset < manifest.size(); offset += step) {
        QCOMPARE(ready.count(), 0);
        server.lastConnection()->write(manifest.mid(offset, step));
        QVERIFY(chunks.wait(5000));
    }
    QVERIFY(chunks.count() > 3);
    QVERIFY(waitForCycle(update));
    QCOMPARE(ready.count(), 1);
    QCOMPARE(update.jsonData(), manifest);
    QCOMPARE(fileBytes(OpUpdate::resourcesDirectory() + "/one.png"), QByteArray("picture one"));
    QCOMPARE(fileBytes(OpUpdate::resourcesDirectory() + "/two.png"), QByteArray("picture two"));
    QCOMPARE(fileBytes(executablePath()), program("executable 9"));
}

void TestOpUpdate::addressListedTwice()
{
    ScriptedServer server;
    const QByteArray picture(300000, 'p');
    server.respond("/includes/json.php",
        httpResponse(200,
            QByteArray(R"({"images":{"a":"@/images/same.png","b":"@/images/same.png"}})")
                .replace("@", server.url(QString()).toUtf8())));
    server.respond("/images/same.png", httpResponse(200, picture));
    OpUpdate update;
    update.setServiceUrl(server.url(QString()));
    update.startUpdate();
    QVERIFY(waitForCycle(update));
    QCOMPARE(update.findChildren<OpDownload*>().size(), 2);
    QCOMPARE(fileBytes(OpUpdate::resourcesDirectory() + "/same.png"), picture);
    QCOMPARE(QDir(OpUpdate::resourcesDirectory()).entryList(QDir::Files | QDir::Hidden),
        QStringList {"same.png"});
}

void TestOpUpdate::onlyVerifiedProgramsAreKept_data()
{
    QTest::addColumn<QByteArray>("served"); // the body of the executable's address
    QTest::addColumn<bool>("withLength");
    QTest::addColumn<QByteArray>("signature"); // the body of its ".sig"; empty: 404
    QTest::addColumn<bool>("keyBuiltIn");
    QTest::addColumn<bool>("kept");
    const QByteArray good = program("version 2.0");
    const QByteArray sig = TestSupport::signature(good);
    const QByteArray page = "<!DOCTYPE html><html><body>Blocked by policy</body></html>";
    QByteArray otherMachine = good;
    otherMachine[18] = char(0xb7);
    QTest::newRow("signed program") << good << true << sig << true << true;
    QTest::newRow("no key built in: not fetched") << good << true << sig << false << false;
    QTest::newRow("proxy's HTML page for both") << page << true << page << true << false;
    QTest::newRow("program cut short, no length")
        << good.left(good.size() / 2) << false << sig << true << false;
    QTest::newRow("unsigned") << good << true << QByteArray() << true << false;
    QTest::newRow("signed by another key")
        << good << true << TestSupport::signature(good, false) << true << false;
    QTest::newRow("signature of another program")
        << good << true << TestSupport::signature(program("other")) << true << false;
    QTest::newRow("signed, too small to be the program")
        << good.left(4096) << true << TestSupport::signature(good.left(4096)) << true << false;
    QTest::newRow("signed, for another machine")
        << otherMachine << true << TestSupport::signature(otherMachine) << true << false;
}

void TestOpUpdate::onlyVerifiedProgramsAreKept()
{
    QFETCH(QByteArray, served);
    QFETCH(bool, withLength);
    QFETCH(QByteArray, signature);
    QFETCH(bool, keyBuiltIn);
    QFETCH(bool, kept);
    ScriptedServer server;
    const QByteArray path = "/v/" + AppNames::MainExecutable.toUtf8();
    server.respond("/includes/json.php",
        httpResponse(200, R"({"versions":{"2.0":")" + server.url(path).toUtf8() + R"("}})"));
    server.respond(path, httpResponse(200, served, withLength));
    if (!signature.isEmpty())
        server.respond(path + ".sig", httpResponse(200, signature));
    ExecutableCheck::setPublicKey(keyBuiltIn ? TestSupport::publicKey() : QByteArray());
    OpUpdate update;
    update.setServiceUrl(server.url(QString()));
    update.startUpdate();
    QVERIFY(waitForCycle(update));
    ExecutableCheck::setPublicKey(TestSupport::publicKey());
    QCOMPARE(server.requests().size(), keyBuiltIn ? 3 : 1);
    QCOMPARE(QFile::exists(executablePath()), kept);
    QCOMPARE(QFile::exists(ExecutableCheck::signaturePath(executablePath())), kept);
}

void TestOpUpdate::manyPictures()
{
    // Today's usual limit of open files: each download must give back what it used.
    rlimit limit {};
    getrlimit(RLIMIT_NOFILE, &limit);
    const rlimit before = limit;
    limit.rlim_cur = std::min<rlim_t>(1024, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
    ScriptedServer server;
    QByteArray manifest = R"({"images":{)";
    for (int i = 0; i < 600; ++i)
        manifest
            += QStringLiteral(R"("%1":"%2/p/%1.png",)").arg(i).arg(server.url(QString())).toUtf8();
    manifest.chop(1);
    server.respond("/includes/json.php", httpResponse(200, manifest + "}}"));
    server.respondToOthers(httpResponse(200, "picture"));
    OpUpdate update;
    update.setServiceUrl(server.url(QString()));
    const int threadsBefore = threadCount();
    int mostThreads = 0;
    update.startUpdate();
    QVERIFY(waitForCycle(update, 120000, &mostThreads));
    setrlimit(RLIMIT_NOFILE, &before);
    QCOMPARE(QDir(OpUpdate::resourcesDirectory()).entryList(QDir::Files).size(), 600);
    QVERIFY2(mostThreads <= threadsBefore + 16, qPrintable(QString::number(mostThreads)));
    // What stays is the network module's own few threads, not one per download.
    QTRY_VERIFY(threadCount() <= threadsBefore + 4);
}

void TestOpUpdate::stalledServiceClients()
{
    ReferenceService service;
    QVERIFY(service.start(m_dir.filePath("content"), {"--timeout", "1", "--workers", "3"}));
    std::vector<std::unique_ptr<QTcpSocket>> stalled;
    for (int i = 0; i < 10; ++i) {
        stalled.push_back(std::make_unique<QTcpSocket>());
        stalled.back()->connectToHost(QHostAddress::LocalHost, service.port());
        QVERIFY(stalled.back()->waitForConnected(5000));
        if (i % 2) // half a request: these take a worker each
            stalled.back()->write("GET /images/a.png HTTP/1.1\r\n");
    }
    // Another client still gets its answer, and the stalled ones go after the time-out.
    const QByteArray answer = requestTo(service.port(), "GET /x HTTP/1.1\r\nHost: x\r\n\r\n");
    QVERIFY2(answer.startsWith("HTTP/1.1 404"), answer.constData());
    int mostThreads = 0;
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()
        && std::any_of(stalled.begin(), stalled.end(), [](const auto& socket) {
               return socket->state() != QAbstractSocket::UnconnectedState;
           })) {
        mostThreads = std::max(mostThreads, threadCount(service.process().processId()));
        QTest::qWait(20);
    }
    for (const auto& socket : stalled)
        QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
    QVERIFY2(mostThreads <= 2 + 3, qPrintable(QString::number(mostThreads)));
}

void TestOpUpdate::cycleThroughProxy_data()
{
    QTest::addColumn<bool>("socks");
    QTest::newRow("HTTP proxy with basic authentication") << false;
    QTest::newRow("SOCKS5 proxy with user and password") << true;
}

void TestOpUpdate::cycleThroughProxy()
{
    QFETCH(bool, socks);
    const QString host = proxiedHost();
    PELICROW_REQUIRE(!host.isEmpty(), "no address but loopback (isolated-run gives one)");
    BackgroundProcess proxy;
    QVERIFY(useProxy(proxy, socks, m_dir.path(), "carol", "pa55", "pa55"));
    setContent({"1.1"}, {"p.png", "q.png"});
    ReferenceService& service = m_service;
    OpUpdate update;
    update.setServiceUrl(service.baseUrl(host));
    update.startUpdate();
    QVERIFY(waitForCycle(update));
    // The manifest names the service as the proxy reached it, so downloads go the same way.
    QCOMPARE(downloadedUrls(update),
        QStringList(
            {service.baseUrl(host) + "/images/p.png", service.baseUrl(host) + "/images/q.png",
                service.baseUrl(host) + "/versions/1.1/" + AppNames::MainExecutable,
                service.baseUrl(host) + "/versions/1.1/" + AppNames::MainExecutable + ".sig"}));
    QCOMPARE(fileBytes(OpUpdate::resourcesDirectory() + "/p.png"), QByteArray("picture p.png"));
    QCOMPARE(fileBytes(OpUpdate::resourcesDirectory() + "/q.png"), QByteArray("picture q.png"));
    QCOMPARE(fileBytes(executablePath()), program("executable 1.1"));
}

int main(int argc, char** argv)
{
    // Files placed beside "the program" must land in a temporary directory.
    const int relocated = rerunRelocated(argc, argv);
    if (relocated >= 0)
        return relocated;
    QCoreApplication app(argc, argv);
    TestOpUpdate test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_opupdate.moc"
