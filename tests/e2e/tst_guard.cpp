#include "Model/modelconfig.h"
#include "app/appnames.h"
#include "drivenprogram.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <csignal>
#include <functional>
#include <list>

using TestSupport::windowsOfProcess;

// Drives the built Pelicrow as a user would: a second copy meets the warning
// box, and a copy that is told to end keeps its settings.
class TestGuard : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void secondCopyIsTurnedAwayUntilFirstEnds();
    void terminationWritesAllSettings();
    void withoutTrayClosedWindowStaysReachable();

private:
    QProcess* startPelicrow();
    static QString settingsDir() { return ModelConfig::configDirectory(); }
    static int settingsFileCount() { return QDir(settingsDir()).entryList(QDir::Files).size(); }
    std::list<DrivenProgram> processes;
};

QProcess* TestGuard::startPelicrow()
{
    processes.emplace_back().start();
    return processes.back().process();
}

void TestGuard::cleanup()
{
    processes.clear();
    QDir(settingsDir()).removeRecursively();
}

void TestGuard::secondCopyIsTurnedAwayUntilFirstEnds()
{
    QProcess* first = startPelicrow();
    QTRY_COMPARE_WITH_TIMEOUT(settingsFileCount(), 16, 10000);

    QProcess* second = startPelicrow();
    QTRY_COMPARE_WITH_TIMEOUT(windowsOfProcess(second->processId()).size(), 1, 10000);
    TestSupport::sendKeys(windowsOfProcess(second->processId()).first(), {"Escape"});
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 1);

    QProcess* third = startPelicrow();
    QTRY_COMPARE_WITH_TIMEOUT(windowsOfProcess(third->processId()).size(), 1, 10000);
    const QString box = windowsOfProcess(third->processId()).first();
    ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
    QVERIFY(first->waitForFinished(10000));
    TestSupport::sendKeys(box, {"Return"}); // Retry
    QTRY_VERIFY_WITH_TIMEOUT(!windowsOfProcess(third->processId()).contains(box), 10000);
    QCOMPARE(third->state(), QProcess::Running);
}

void TestGuard::terminationWritesAllSettings()
{
    QProcess* pelicrow = startPelicrow();
    QTRY_COMPARE_WITH_TIMEOUT(settingsFileCount(), 16, 10000);
    for (const QString& file : QDir(settingsDir()).entryList(QDir::Files))
        QVERIFY(QFile::remove(settingsDir() + "/" + file));

    ::kill(static_cast<pid_t>(pelicrow->processId()), SIGTERM);
    QVERIFY(pelicrow->waitForFinished(10000));
    QCOMPARE(pelicrow->exitStatus(), QProcess::NormalExit);
    QCOMPARE(pelicrow->exitCode(), 1);
    QCOMPARE(settingsFileCount(), 16);
    QFile fastCut(settingsDir() + "/config_fastcut.ini");
    QVERIFY(fastCut.open(QIODevice::ReadOnly));
    QCOMPARE(fastCut.readAll(), QByteArray("50"));
}

// Without a notification area a hidden window could never come back.
void TestGuard::withoutTrayClosedWindowStaysReachable()
{
    TestSupport::Desktop desktop;
    QVERIFY(desktop.start("openbox", "none"));
    const qint64 pid = startPelicrow()->processId();
    QString window;
    QTRY_VERIFY_WITH_TIMEOUT(!(window = windowsOfProcess(pid).value(0)).isEmpty(), 10000);
    const auto iconic = [&] {
        return TestSupport::runTool("xprop", {"-id", window, "WM_STATE"}).contains("Iconic");
    };
    // A click that comes while the window manager still maps the window is
    // lost on a busy machine: click again until the window has gone.
    const auto clickOkUntil = [&](const std::function<bool()>& gone) {
        for (int click = 0; click < 5; ++click) {
            TestSupport::runTool(
                "xdotool", {"mousemove", "--window", window, "212", "318", "click", "1"});
            if (QTest::qWaitFor(gone, 2000))
                return true;
        }
        return false;
    };
    QVERIFY(clickOkUntil(iconic));

    // With a tray the window hides, and comes back should the tray go.
    TestSupport::Desktop tray;
    QVERIFY(tray.start("none", "trayer"));
    // The icon docked: Pelicrow has seen the tray.
    QTRY_VERIFY_WITH_TIMEOUT(!windowsOfProcess(pid).isEmpty(), 10000);
    TestSupport::runTool("xdotool", {"windowactivate", "--sync", window});
    QTRY_VERIFY_WITH_TIMEOUT(windowsOfProcess(pid).contains(window), 5000);
    QVERIFY(clickOkUntil([&] { return !windowsOfProcess(pid).contains(window) && !iconic(); }));
    tray.stop();
    QTRY_VERIFY_WITH_TIMEOUT(iconic(), 10000);
}

QTEST_GUILESS_MAIN(TestGuard)
#include "tst_guard.moc"
