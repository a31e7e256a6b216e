#include "Network/opdownload.h"
#include "Network/opupdate.h"
#include "updatetestsupport.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace UpdateTest;

namespace {

QByteArray pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xff);
    return bytes;
}

// Every file under the folder, with its size, to see that nothing appeared.
QStringList filesUnder(const QString& folder)
{
    QStringList files;
    QDirIterator it(
        folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

QString downloadsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
}

// As xdg-user-dirs-update leaves it when ~/Downloads is gone: the home folder itself.
void setDownloadsToHome(bool home)
{
    const QString dirs = QStandardPaths::writableLocation(QStandardPaths::ConfigLocation)
        + QStringLiteral("/user-dirs.dirs");
    if (home)
        writeFile(dirs, "XDG_DOWNLOAD_DIR=\"$HOME/\"\n");
    else
        QFile::remove(dirs);
}

} // namespace

class TestOpDownload : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void fileNames_data();
    void fileNames();
    void replies_data();
    void replies();
    void namesThatLeaveTheFolder_data();
    void namesThatLeaveTheFolder();
    void unwritableTargetFallsBackToDownloads_data();
    void unwritableTargetFallsBackToDownloads();
    void writtenNowhereIsReported();
    void byteCaps_data();
    void byteCaps();
    void twoDownloadsOfOneAddress();

private:
    // Starts one download with the update controller's wiring and waits for its reply's end.
    OpDownload* download(const QString& url, const QString& dir);

    QTemporaryDir m_dir;
    ScriptedServer* m_server = nullptr;
    OpUpdate* m_update = nullptr;
};

void TestOpDownload::init()
{
    // Only the program's own folder: under Wine the download folder may be a link to the home.
    setDownloadsToHome(false);
    QDir(downloadsFolder() + "/Pelicrow").removeRecursively();
    QDir().mkpath(downloadsFolder());
    delete m_server;
    delete m_update;
    m_server = new ScriptedServer(this);
    m_update = new OpUpdate(this);
    m_update->setTransferTimeout(1500);
}

OpDownload* TestOpDownload::download(const QString& url, const QString& dir)
{
    m_update->download(url, dir);
    auto* downloader = m_update->findChildren<OpDownload*>().constLast();
    QSignalSpy finished(downloader, &OpNetwork::replyFinished);
    if (!finished.wait(20000))
        qWarning() << "download did not end:" << url;
    return downloader;
}

void TestOpDownload::fileNames_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("plain");
    QTest::addColumn<bool>("picture");
    const QString longName = QString(251, 'n') + ".png";
    QTest::newRow("picture") << "http://h/images/a.png"
                             << "a.png" << true << true;
    QTest::newRow("no slash at all") << "a.png"
                                     << "a.png" << true << true;
    QTest::newRow("ends in a slash") << "http://h/images/"
                                     << "" << false << false;
    QTest::newRow("dot") << "http://h/images/."
                         << "." << false << false;
    QTest::newRow("dot-dot") << "http://h/images/.."
                             << ".." << false << false;
    QTest::newRow("backslashes") << "http://h/..\\..\\evil.png"
                                 << "..\\..\\evil.png" << false << false;
    QTest::newRow("dots inside a name") << "http://h/a..b.png"
                                        << "a..b.png" << true << true;
    QTest::newRow("encoded slash stays text") << "http://h/a%2F..%2Fb"
                                              << "a%2F..%2Fb" << true << false;
    QTest::newRow("hidden") << "http://h/.bashrc"
                            << ".bashrc" << false << false;
    QTest::newRow("no picture suffix") << "http://h/setup.desktop"
                                       << "setup.desktop" << true << false;
    QTest::newRow("upper-case suffix") << "http://h/A.JPG"
                                       << "A.JPG" << true << true;
    QTest::newRow("255 bytes") << "http://h/" + longName << longName << true << true;
    QTest::newRow("256 bytes") << "http://h/n" + longName << "n" + longName << false << false;
    // Names Windows reads otherwise are refused everywhere.
    for (const char* name :
        {"CON.png", "nul.png", "Aux", "prn.tar.gz", "COM1.jpg", "lpt9", "a.png:b.png", "a*.png",
            "a?.png", "\"a\".png", "a<b>.png", "a|b.png", "a.png.", "a.png ", "nul .png"})
        QTest::newRow(name) << QString("http://h/") + name << name << false << false;
    QTest::newRow("a device name inside a longer one") << "http://h/console.png"
                                                       << "console.png" << true << true;
}

void TestOpDownload::fileNames()
{
    QFETCH(QString, address);
    QFETCH(QString, name);
    QFETCH(bool, plain);
    QFETCH(bool, picture);
    QCOMPARE(fileNameOf(address), name);
    QCOMPARE(isPlainFileName(name), plain);
    QCOMPARE(isPictureName(name), picture);
    QVERIFY(!isPlainFileName(QStringLiteral("a/b")));
}

void TestOpDownload::replies_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QByteArray>("saved"); // "old": the earlier file stays as it was

    const QByteArray body = pattern(3000);
    QTest::newRow("200 with a length") << httpResponse(200, body) << body;
    QTest::newRow("200 without a length, ended by closing")
        << httpResponse(200, body, false) << body;
    QTest::newRow("exactly 4040 bytes") << httpResponse(200, pattern(4040)) << pattern(4040);
    QTest::newRow("chunked transfer")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                      "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n")
        << QByteArray("hello world");
    QTest::newRow("404 page with a length")
        << httpResponse(404, "<html>Not Found</html>") << QByteArray("old");
    QTest::newRow("500 page without a length")
        << httpResponse(500, "<html>oops</html>", false) << QByteArray("old");
    QTest::newRow("redirect") << httpResponse(302, "moved", true, "Location: /elsewhere\r\n")
                              << QByteArray("old");
    QTest::newRow("server closes mid-body")
        << "HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n" + body.left(1500) << QByteArray("old");
    QTest::newRow("length that lies, more than is sent")
        << "HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n" + QByteArray("only ten.!")
        << QByteArray("old");
    QTest::newRow("length that lies, less than is sent")
        << "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n" + QByteArray("12345678")
        << QByteArray("1234");
    QTest::newRow("empty body") << httpResponse(200, QByteArray()) << QByteArray("old");
    QTest::newRow("silent server") << QByteArray() << QByteArray("old");
}

void TestOpDownload::replies()
{
    QFETCH(QByteArray, response);
    QFETCH(QByteArray, saved);
    // The row's name names a folder: Windows allows no colon in it.
    const QString dir = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    writeFile(dir + "/picture.png", "old");
    m_server->respond("/images/picture.png", response,
        response.isEmpty() ? ScriptedServer::KeepOpen : ScriptedServer::Close);
    OpDownload* downloader = download(m_server->url("/images/picture.png"), dir);
    QCOMPARE(fileBytes(dir + "/picture.png"), saved);
    // Nothing half-written is left beside it, and nothing went to the download folder.
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList {"picture.png"});
    QCOMPARE(filesUnder(downloadsFolder()), QStringList());
    QCOMPARE(downloader->filePath(), dir + "/picture.png");
}

void TestOpDownload::namesThatLeaveTheFolder_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("address ending in a slash") << "/images/";
    QTest::newRow("dot-dot") << "/images/..";
    QTest::newRow("backslashes") << "/images/..\\..\\evil.png";
    QTest::newRow("hidden") << "/images/.bashrc";
    QTest::newRow("encoded, hidden once decoded") << "/images/x%2F..%2F.profile";
    QTest::newRow("no picture suffix") << "/images/setup.desktop";
    QTest::newRow("the program's name") << "/images/Pelicrow";
    QTest::newRow("over-long") << "/images/" + QString(300, 'n') + ".png";
}

void TestOpDownload::namesThatLeaveTheFolder()
{
    QFETCH(QString, path);
    setDownloadsToHome(true);
    m_server->respondToOthers(httpResponse(200, "evil"));
    const QString dir = m_dir.filePath(QStringLiteral("names/Resources"));
    QDir().mkpath(dir);
    const QStringList before = filesUnder(QDir::homePath()) + filesUnder(m_dir.path());
    const QString address = m_server->url(path);
    m_update->download(address, dir);
    auto* downloader = m_update->findChildren<OpDownload*>().constLast();
    QSignalSpy failed(downloader, &OpDownload::downloadFailed);
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
    QCOMPARE(failed.constFirst().at(0).toString(), downloader->url().toString());
    QCOMPARE(filesUnder(QDir::homePath()) + filesUnder(m_dir.path()), before);
}

void TestOpDownload::unwritableTargetFallsBackToDownloads_data()
{
    QTest::addColumn<bool>("downloadsAtHome");
    QTest::newRow("download folder") << false;
    QTest::newRow("download folder is the home folder") << true;
}

void TestOpDownload::unwritableTargetFallsBackToDownloads()
{
    QFETCH(bool, downloadsAtHome);
    setDownloadsToHome(downloadsAtHome);
    const QStringList homeFiles = QDir::home().entryList(QDir::Files | QDir::Hidden);
    // A file where the folder should be: the folder can neither be made nor written.
    const QString blocked = m_dir.filePath(QStringLiteral("blocked/Resources"));
    writeFile(blocked, "a file, not a folder");
    m_server->respond("/images/fallback.png", httpResponse(200, pattern(5000)));
    // The second time the name is taken: the first file stays.
    const QString folder = downloadsFolder() + "/Pelicrow/";
    for (const QString name : {"fallback.png", "fallback (1).png"}) {
        OpDownload* downloader = download(m_server->url("/images/fallback.png"), blocked);
        QCOMPARE(downloader->filePath(), folder + name);
        QCOMPARE(fileBytes(folder + name), pattern(5000));
    }
    QCOMPARE(fileBytes(blocked), QByteArray("a file, not a folder"));
    QCOMPARE(QDir::home().entryList(QDir::Files | QDir::Hidden), homeFiles);
    QDir(folder).removeRecursively();
}

void TestOpDownload::writtenNowhereIsReported()
{
    const QString blocked = m_dir.filePath(QStringLiteral("nowhere/Resources"));
    writeFile(blocked, "a file");
    writeFile(downloadsFolder() + "/Pelicrow", "a file too");
    m_server->respond("/images/lost.png", httpResponse(200, "data"));
    const QString address = m_server->url("/images/lost.png");
    m_update->download(address, blocked);
    QSignalSpy failed(
        m_update->findChildren<OpDownload*>().constLast(), &OpDownload::downloadFailed);
    QVERIFY(failed.wait(10000));
    QCOMPARE(failed.constFirst().at(0).toString(), address);
    QFile::remove(downloadsFolder() + "/Pelicrow");
}

void TestOpDownload::byteCaps_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<bool>("endless");
    QTest::addColumn<bool>("kept");
    const QByteArray head = "HTTP/1.1 200 OK\r\n";
    QTest::newRow("19 MB") << httpResponse(200, pattern(19 << 20)) << false << true;
    QTest::newRow("21 MB, declared") << httpResponse(200, pattern(21 << 20)) << false << false;
    QTest::newRow("endless, no length") << head + "\r\n" << true << false;
}

void TestOpDownload::byteCaps()
{
    QFETCH(QByteArray, response);
    QFETCH(bool, endless);
    QFETCH(bool, kept);
    m_server->respond(
        "/images/big.png", response, endless ? ScriptedServer::Endless : ScriptedServer::Close);
    const QString dir = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    const qint64 before = residentBytes();
    qint64 most = before;
    m_update->download(m_server->url("/images/big.png"), dir);
    QDeadlineTimer deadline(60000);
    while (m_update->busy() && !deadline.hasExpired()) {
        most = std::max(most, residentBytes());
        QTest::qWait(10);
    }
    QVERIFY(!m_update->busy());
    QVERIFY2(most - before < 64 << 20, qPrintable(QString::number(most - before)));
    const QByteArray saved = fileBytes(dir + "/big.png");
    if (kept)
        QCOMPARE(QCryptographicHash::hash(saved, QCryptographicHash::Sha1),
            QCryptographicHash::hash(pattern(19 << 20), QCryptographicHash::Sha1));
    else
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestOpDownload::twoDownloadsOfOneAddress()
{
    const QByteArray body = pattern(200000);
    m_server->respond("/images/twice.png", httpResponse(200, body));
    const QString dir = m_dir.filePath(QStringLiteral("twice"));
    m_update->downloadAll(
        {m_server->url("/images/twice.png"), m_server->url("/images/twice.png")}, dir);
    const auto downloaders = m_update->findChildren<OpDownload*>();
    QCOMPARE(downloaders.size(), 2);
    QSignalSpy first(downloaders.at(0), &OpDownload::downloadDone);
    QSignalSpy second(downloaders.at(1), &OpDownload::downloadDone);
    QTRY_VERIFY_WITH_TIMEOUT(first.count() == 1 && second.count() == 1, 10000);
    QCOMPARE(fileBytes(dir + "/twice.png"), body);
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList {"twice.png"});
}

QTEST_MAIN(TestOpDownload)
#include "tst_opdownload.moc"
