#include "Model/modelconfig.h"
#include "Network/opupdate.h"
#include "app/appnames.h"
#include "app/opmain.h"
#include "signingsupport.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <csignal>
#include <memory>

#include <unistd.h>

using TestSupport::windowsOfProcess;

// Drives the upgrade hand-over end to end in an application directory of its own:
// Pelicrow fetches a newer build from the reference update service and offers it at
// its next start, Pelicrow_Launcher waits for it to end, puts the download in place
// and starts the result.
class TestLauncher : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void noKeepsTheOldProgramAndAsksAgain();
    void downloadedUpgradeIsOfferedAndInstalled();
    void newUpdateStartsIndependentCycles();
    void missingLauncherIsReportedAndTheProgramStarts();
    void launcherWaitsWhilePelicrowRuns();
    void anEndingPelicrowIsWaitedForWithoutBox_data();
    void anEndingPelicrowIsWaitedForWithoutBox();
    void unfitDownloadIsNeitherInstalledNorOffered_data();
    void unfitDownloadIsNeitherInstalledNorOffered();
    void failedReplacementKeepsAWorkingProgram_data();
    void failedReplacementKeepsAWorkingProgram();

private:
    QString appPath(const QString& name) const { return appDir->path() + "/" + name; }
    QString mainPath() const { return appPath(AppNames::MainExecutable); }
    QString downloadPath() const { return appDir->path() + AppNames::PendingExecutable; }
    static QByteArray newerBuild();
    void placeDownload();
    void placeDownload(const QByteArray& bytes, const QByteArray& signature);
    bool startService(const QString& content);
    int updateRequestCount();
    QProcess* start(const QString& program, const QStringList& arguments = {});
    QList<qint64> runningFromAppDir(const QString& name) const;
    bool answerBox(qint64 pid, const QString& key);

    static QByteArray checksum(const QString& path);
    static QString waitForWindow(qint64 pid);
    static QString settingsDir() { return ModelConfig::configDirectory(); }
    static int settingsFileCount() { return QDir(settingsDir()).entryList(QDir::Files).size(); }

    std::unique_ptr<QTemporaryDir> appDir;
    QByteArray oldChecksum;
    QByteArray newChecksum;
    std::vector<std::unique_ptr<QProcess>> processes;
    std::unique_ptr<QProcess> service;
    QByteArray serviceLog;
};

void TestLauncher::init()
{
    appDir = std::make_unique<QTemporaryDir>();
    QVERIFY(appDir->isValid());
    for (const QString& program : {AppNames::MainExecutable, AppNames::LauncherExecutable})
        QVERIFY(QFile::copy(PELICROW_SIGNED_PROGRAMS "/" + program, appPath(program)));
    oldChecksum = checksum(mainPath());
}

void TestLauncher::cleanup()
{
    for (auto& process : processes) {
        process->kill();
        process->waitForFinished();
    }
    processes.clear();
    if (service) {
        service->kill();
        service->waitForFinished();
        service.reset();
    }
    serviceLog.clear();
    // Programs the launcher started are not our children: end them by their ids.
    for (const QString& program : {AppNames::MainExecutable, AppNames::LauncherExecutable}) {
        for (qint64 pid : runningFromAppDir(program))
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(runningFromAppDir(program).isEmpty(), 10000);
    }
    QDir(settingsDir()).removeRecursively();
    appDir.reset();
}

QByteArray TestLauncher::newerBuild()
{
    return TestSupport::programBytes(
        PELICROW_SIGNED_PROGRAMS "/" + AppNames::MainExecutable, "newer build");
}

// A distinguishable, signed newer build, stored as a download is: without run permission.
void TestLauncher::placeDownload()
{
    placeDownload(newerBuild(), TestSupport::signature(newerBuild()));
    QVERIFY(newChecksum != oldChecksum);
}

void TestLauncher::placeDownload(const QByteArray& bytes, const QByteArray& signature)
{
    TestSupport::writeProgram(downloadPath(), bytes, signature);
    QVERIFY(QFile::setPermissions(downloadPath(),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    newChecksum = checksum(downloadPath());
}

// The reference update service on the loopback port the programs are built to ask.
bool TestLauncher::startService(const QString& content)
{
    service = std::make_unique<QProcess>();
    service->start("python3",
        {TestSupport::sourcePath("tools/update-service/update-service.py"), "--port",
            QString::number(QUrl(AppNames::UpdateServiceUrl).port(80)), "--content", content,
            "--signing-key", TestSupport::signingKeyPath()});
    return service->waitForReadyRead(10000) && service->readLine().startsWith("listening on");
}

// The service logs one line per request.
int TestLauncher::updateRequestCount()
{
    serviceLog += service->readAllStandardError();
    return serviceLog.count("\"POST " + QUrl(OpUpdate().requestUrl()).path().toUtf8() + " ");
}

QProcess* TestLauncher::start(const QString& program, const QStringList& arguments)
{
    auto* process = new QProcess;
    processes.emplace_back(process);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(program, arguments);
    process->waitForStarted();
    return process;
}

// The processes whose executable is this file of the application directory.
QList<qint64> TestLauncher::runningFromAppDir(const QString& name) const
{
    QList<qint64> pids;
    const QString path = QDir(appDir->path()).canonicalPath() + "/" + name;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (isPid && QFileInfo("/proc/" + entry + "/exe").symLinkTarget() == path)
            pids << pid;
    }
    return pids;
}

bool TestLauncher::answerBox(qint64 pid, const QString& key)
{
    const QString box = waitForWindow(pid);
    if (box.isEmpty())
        return false;
    TestSupport::sendKeys(box, {key});
    return true;
}

QByteArray TestLauncher::checksum(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

QString TestLauncher::waitForWindow(qint64 pid)
{
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        const QStringList windows = windowsOfProcess(pid);
        if (!windows.isEmpty())
            return windows.first();
        QTest::qWait(50);
    }
    return {};
}

void TestLauncher::noKeepsTheOldProgramAndAsksAgain()
{
    placeDownload();
    for (int run = 0; run < 2; ++run) {
        QProcess* pelicrow = start(mainPath());
        QVERIFY(answerBox(pelicrow->processId(), "n"));
        QTRY_COMPARE_WITH_TIMEOUT(settingsFileCount(), 16, 10000);
        QCOMPARE(pelicrow->state(), QProcess::Running);
        ::kill(static_cast<pid_t>(pelicrow->processId()), SIGTERM);
        QVERIFY(pelicrow->waitForFinished(10000));
        QDir(settingsDir()).removeRecursively();
    }
    QCOMPARE(checksum(mainPath()), oldChecksum);
    QCOMPARE(checksum(downloadPath()), newChecksum);
}

void TestLauncher::downloadedUpgradeIsOfferedAndInstalled()
{
    QTemporaryDir content;
    const QString offered = content.path() + "/versions/9.0/" + AppNames::MainExecutable;
    QVERIFY(QDir().mkpath(QFileInfo(offered).path()));
    QFile offeredFile(offered);
    QVERIFY(offeredFile.open(QIODevice::WriteOnly));
    offeredFile.write(newerBuild());
    offeredFile.close();
    newChecksum = checksum(offered);
    QVERIFY(startService(content.path()));

    QProcess* first = start(mainPath());
    QTRY_COMPARE_WITH_TIMEOUT(checksum(downloadPath()), newChecksum, 20000);
    QCOMPARE(updateRequestCount(), 1);
    ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
    QVERIFY(first->waitForFinished(10000));
    // The upgraded program asks again; with the old build's version it would fetch it anew.
    service->kill();
    service->waitForFinished();

    QProcess* pelicrow = start(mainPath());
    QVERIFY(answerBox(pelicrow->processId(), "y"));
    QVERIFY(pelicrow->waitForFinished(10000));
    QCOMPARE(pelicrow->exitStatus(), QProcess::NormalExit);
    QCOMPARE(pelicrow->exitCode(), 1);

    QTRY_COMPARE_WITH_TIMEOUT(runningFromAppDir(AppNames::MainExecutable).size(), 1, 15000);
    const qint64 upgraded = runningFromAppDir(AppNames::MainExecutable).first();
    QCOMPARE(checksum(QString("/proc/%1/exe").arg(upgraded)), newChecksum);
    QTRY_VERIFY_WITH_TIMEOUT(runningFromAppDir(AppNames::LauncherExecutable).isEmpty(), 10000);
    QCOMPARE(checksum(mainPath()), newChecksum);
    QVERIFY(QFileInfo(mainPath()).isExecutable());
    QVERIFY(!QFile::exists(downloadPath()));
    QVERIFY(QDir(appPath("tmp")).exists());
    const QStringList expected {AppNames::MainExecutable, AppNames::LauncherExecutable, "tmp"};
    QCOMPARE(QDir(appDir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        expected);
    // Nothing is waiting any more, so the new program starts without asking.
    QTRY_COMPARE_WITH_TIMEOUT(settingsFileCount(), 16, 10000);
    QVERIFY(TestSupport::boxesOfProcess(upgraded).isEmpty());
}

void TestLauncher::newUpdateStartsIndependentCycles()
{
    QTemporaryDir content;
    const QString picture = "01_fast_cut.png";
    QVERIFY(QDir().mkpath(content.path() + "/images"));
    QVERIFY(QFile::copy(TestSupport::sourcePath("tools/update-service/content/images/" + picture),
        content.path() + "/images/" + picture));
    QVERIFY(startService(content.path()));

    OpMain opMain(nullptr);
    opMain.newUpdate();
    opMain.newUpdate();
    QTRY_COMPARE_WITH_TIMEOUT(updateRequestCount(), 2, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(checksum(OpUpdate::resourcesDirectory() + "/" + picture),
        checksum(content.path() + "/images/" + picture), 10000);
    QDir(OpUpdate::resourcesDirectory()).removeRecursively();
}

void TestLauncher::missingLauncherIsReportedAndTheProgramStarts()
{
    placeDownload();
    QVERIFY(QFile::remove(appPath(AppNames::LauncherExecutable)));
    QProcess* pelicrow = start(mainPath());
    const QString question = waitForWindow(pelicrow->processId());
    QVERIFY(!question.isEmpty());
    const QString questionSize = TestSupport::runTool("xdotool", {"getwindowgeometry", question});
    TestSupport::sendKeys(question, {"y"});

    // The report names the launcher's path, so its box is shaped unlike the question.
    auto reportShown = [&] {
        const QStringList windows = windowsOfProcess(pelicrow->processId());
        return windows.size() == 1
            && TestSupport::runTool("xdotool", {"getwindowgeometry", windows.first()})
            != questionSize;
    };
    QTRY_VERIFY_WITH_TIMEOUT(reportShown(), 10000);
    QVERIFY(!QDir(settingsDir()).exists());
    TestSupport::sendKeys(windowsOfProcess(pelicrow->processId()).first(), {"Return"});
    QTRY_COMPARE_WITH_TIMEOUT(settingsFileCount(), 16, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(TestSupport::boxesOfProcess(pelicrow->processId()).isEmpty(), 10000);
    QCOMPARE(pelicrow->state(), QProcess::Running);
    QCOMPARE(checksum(mainPath()), oldChecksum);
    QCOMPARE(checksum(downloadPath()), newChecksum);
}

void TestLauncher::launcherWaitsWhilePelicrowRuns()
{
    placeDownload();
    QProcess* pelicrow = start(mainPath());
    QVERIFY(answerBox(pelicrow->processId(), "n"));
    QTRY_COMPARE_WITH_TIMEOUT(settingsFileCount(), 16, 10000);

    QProcess* cancelled = start(appPath(AppNames::LauncherExecutable));
    QVERIFY(answerBox(cancelled->processId(), "Escape"));
    QVERIFY(cancelled->waitForFinished(10000));
    QCOMPARE(cancelled->exitCode(), 1);
    QCOMPARE(checksum(mainPath()), oldChecksum);
    QCOMPARE(checksum(downloadPath()), newChecksum);
    QCOMPARE(runningFromAppDir(AppNames::MainExecutable), {pelicrow->processId()});

    QProcess* retried = start(appPath(AppNames::LauncherExecutable));
    const QString box = waitForWindow(retried->processId());
    QVERIFY(!box.isEmpty());
    ::kill(static_cast<pid_t>(pelicrow->processId()), SIGTERM);
    QVERIFY(pelicrow->waitForFinished(10000));
    TestSupport::sendKeys(box, {"Return"}); // Retry
    QVERIFY(retried->waitForFinished(10000));
    QCOMPARE(retried->exitStatus(), QProcess::NormalExit);
    QCOMPARE(retried->exitCode(), 0);
    QCOMPARE(checksum(mainPath()), newChecksum);
    QVERIFY(!QFile::exists(downloadPath()));
    QTRY_COMPARE_WITH_TIMEOUT(runningFromAppDir(AppNames::MainExecutable).size(), 1, 10000);
    const qint64 upgraded = runningFromAppDir(AppNames::MainExecutable).first();
    QCOMPARE(checksum(QString("/proc/%1/exe").arg(upgraded)), newChecksum);
}

void TestLauncher::anEndingPelicrowIsWaitedForWithoutBox_data()
{
    QTest::addColumn<QStringList>("runAs"); // empty: the test's own user
    QTest::addColumn<bool>("ending");
    QTest::newRow("own Pelicrow, just ending") << QStringList() << true;
    QTest::newRow("another user's Pelicrow, running on")
        << QStringList {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"} << false;
}

// A Pelicrow that is just ending is still listed when the launcher first looks; the
// launcher must wait it out instead of asking the user. Another user's is no copy of ours.
void TestLauncher::anEndingPelicrowIsWaitedForWithoutBox()
{
    QFETCH(QStringList, runAs);
    QFETCH(bool, ending);
    PELICROW_REQUIRE(
        runAs.isEmpty() || ::geteuid() == 0, "only root can start a program as another user");
    placeDownload();
    // Under /tmp, so that another user can reach it.
    QTemporaryDir elsewhere("/tmp/pelicrow-other-XXXXXX");
    QVERIFY(QFile::setPermissions(elsewhere.path(),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
            | QFile::ExeOther));
    const QString other = elsewhere.path() + "/" + AppNames::MainExecutable;
    QVERIFY(QFile::copy(QStandardPaths::findExecutable("sleep"), other));
    const QStringList command = runAs + QStringList {other, ending ? "1.5" : "60"};
    QProcess* otherPelicrow = start(command.first(), command.mid(1));
    QProcess* launcher = start(appPath(AppNames::LauncherExecutable));
    QVERIFY(!otherPelicrow->waitForFinished(0));

    QVERIFY(launcher->waitForFinished(15000));
    QCOMPARE(launcher->exitCode(), 0);
    QCOMPARE(otherPelicrow->waitForFinished(0), ending);
    QCOMPARE(checksum(mainPath()), newChecksum);
    QTRY_COMPARE_WITH_TIMEOUT(runningFromAppDir(AppNames::MainExecutable).size(), 1, 10000);
}

void TestLauncher::unfitDownloadIsNeitherInstalledNorOffered_data()
{
    QTest::addColumn<QByteArray>("download");
    QTest::addColumn<bool>("signedWithTheKey"); // otherwise unsigned, or by another key
    QTest::addColumn<bool>("signedAtAll");
    const QByteArray newer = newerBuild();
    // Runs, and ends at once: what a broken build does.
    const QByteArray dying = TestSupport::programBytes(
        QStandardPaths::findExecutable("false"), QByteArray(70000, '\0'));
    QTest::newRow("empty file") << QByteArray() << false << false;
    QTest::newRow("unsigned newer build") << newer << false << false;
    QTest::newRow("newer build signed by another key") << newer << false << true;
    QTest::newRow("HTML page, signed") << QByteArray("<html>blocked</html>") << true << true;
    QTest::newRow("signed build that ends at once") << dying << true << true;
}

// Whatever lies in "tmp", however it came there: the launcher installs only what
// verifies and keeps running, and Pelicrow never asks about the rest.
void TestLauncher::unfitDownloadIsNeitherInstalledNorOffered()
{
    QFETCH(QByteArray, download);
    QFETCH(bool, signedWithTheKey);
    QFETCH(bool, signedAtAll);
    const QByteArray signature
        = signedAtAll ? TestSupport::signature(download, signedWithTheKey) : QByteArray();
    placeDownload(download, signature);
    QProcess* launcher = start(appPath(AppNames::LauncherExecutable));
    QVERIFY(launcher->waitForFinished(15000));
    QCOMPARE(launcher->exitCode(), 0);
    QCOMPARE(checksum(mainPath()), oldChecksum);
    QVERIFY(!QFile::exists(downloadPath()));
    QTRY_COMPARE_WITH_TIMEOUT(runningFromAppDir(AppNames::MainExecutable).size(), 1, 10000);
    const QStringList expected {AppNames::MainExecutable, AppNames::LauncherExecutable, "tmp"};
    QCOMPARE(QDir(appDir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        expected);

    // Placed again by hand: no question, the program starts, the file is gone.
    for (qint64 pid : runningFromAppDir(AppNames::MainExecutable))
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    QTRY_VERIFY_WITH_TIMEOUT(runningFromAppDir(AppNames::MainExecutable).isEmpty(), 10000);
    QDir(settingsDir()).removeRecursively();
    placeDownload(download, signature);
    start(mainPath());
    QTRY_COMPARE_WITH_TIMEOUT(settingsFileCount(), 16, 15000);
    QVERIFY(!QFile::exists(downloadPath()));
}

void TestLauncher::failedReplacementKeepsAWorkingProgram_data()
{
    QTest::addColumn<bool>("launcherSurvives");
    // A file-size limit makes the copy fail part-way, even for root.
    QTest::newRow("write refused") << true;
    QTest::newRow("launcher killed mid-copy") << false;
}

void TestLauncher::failedReplacementKeepsAWorkingProgram()
{
    QFETCH(bool, launcherSurvives);
    placeDownload();
    const QString limited = QString(launcherSurvives ? "trap '' XFSZ; " : "")
        + "ulimit -c 0; ulimit -f 16; exec \"$0\"";
    QProcess* launcher = start("bash", {"-c", limited, appPath(AppNames::LauncherExecutable)});
    QVERIFY(launcher->waitForFinished(15000));
    QCOMPARE(launcher->exitStatus() == QProcess::NormalExit, launcherSurvives);

    QCOMPARE(checksum(mainPath()), oldChecksum);
    QVERIFY(QFileInfo(mainPath()).isExecutable());
    QCOMPARE(checksum(downloadPath()), newChecksum);
    const QStringList expected {AppNames::MainExecutable, AppNames::LauncherExecutable, "tmp"};
    QCOMPARE(QDir(appDir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        expected);

    if (launcherSurvives) {
        // The old program runs and offers the kept download again.
        QTRY_COMPARE_WITH_TIMEOUT(runningFromAppDir(AppNames::MainExecutable).size(), 1, 10000);
        const qint64 old = runningFromAppDir(AppNames::MainExecutable).first();
        QCOMPARE(checksum(QString("/proc/%1/exe").arg(old)), oldChecksum);
        QVERIFY(!waitForWindow(old).isEmpty());
        return;
    }
    // The next launcher run completes the upgrade.
    QProcess* again = start(appPath(AppNames::LauncherExecutable));
    QVERIFY(again->waitForFinished(15000));
    QCOMPARE(again->exitCode(), 0);
    QCOMPARE(checksum(mainPath()), newChecksum);
    QVERIFY(!QFile::exists(downloadPath()));
}

QTEST_GUILESS_MAIN(TestLauncher)
#include "tst_launcher.moc"
