#include "Model/modelconfig.h"
#include "app/appnames.h"
#include "app/defaults.h"
#include "app/processutils.h"
#include "drivenprogram.h"
#include "settingfiles.h"
#include "testdisplay.h"
#include "testimages.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <X11/keysym.h>
#include <csignal>
#include <memory>

using TestImages::patternImage;
using TestSupport::drag;
using TestSupport::runTool;

namespace {

const QRect DragArea(100, 100, 200, 100);

// The three hot-key settings, initialised with the store's defaults.
struct Keys
{
    int fast = Defaults::FastCutKey;
    int normal = Defaults::NormalCutKey;
    int full = Defaults::FullScreenKey;
    bool operator==(const Keys& other) const
    {
        return fast == other.fast && normal == other.normal && full == other.full;
    }
};

} // namespace

// Drives the built Pelicrow under its own X server as a user would: hot-keys
// from xdotool, drags with the mouse, files compared with the screen.
class TestHotKeysEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void fullScreenHotKeySavesTheScreenAndTheDigitStillArrives();
    void fastCutHotKeySavesTheDraggedArea_data();
    void fastCutHotKeySavesTheDraggedArea();
    void normalCutPopupIgnoresHotKeysAndSaves();
    void digitOnTheOpenOverlayStartsNoSecondCapture();
    void otherKeysStartNothing_data();
    void otherKeysStartNothing();
    void keySettingsAreHonouredInOrder_data();
    void keySettingsAreHonouredInOrder();
    void digitKeysFollowTheLayout_data();
    void digitKeysFollowTheLayout();
    void windowManagerClosesTheOverlay_data();
    void windowManagerClosesTheOverlay();
    void limitedListenerIsReportedAndProgramRuns_data();
    void limitedListenerIsReportedAndProgramRuns();

private:
    static void writeKeys(const Keys& keys);
    bool usePelicrow(const Keys& keys = Keys(), int scale = 1);
    bool screenAtRest();
    void stopPelicrow();
    void pressHotKeyThroughXTest(unsigned long digit);
    QString windowNamed(const QString& pattern) const;
    QString pelicrowWindow(int width) const;
    QString overlay() const { return pelicrowWindow(screenImage.width()); }
    bool overlayTakesInput() const;
    bool hideMainWindow(int scale);
    QString popup() const { return windowNamed("^Pelicrow - "); }
    static QStringList savedFiles();
    static QString capturesDir() { return QDir::homePath() + "/Desktop"; }
    static void hotKey(int key) { TestSupport::hotKey(key); }
    void focusSmallClient();
    bool showsScreen(const QString& file, const QRect& area) const;

    QImage screenImage;
    std::unique_ptr<TestDisplay> watch;
    DrivenProgram pelicrow;
    Keys runningKeys;
    int runningScale = 1;
    // Whether screenImage shows the screen with the running copy's tray at rest.
    bool restingScreenKnown = false;
};

void TestHotKeysEndToEnd::initTestCase()
{
    watch = std::make_unique<TestDisplay>();
    QVERIFY(watch->isOpen());
    watch->setRootBackground(patternImage(watch->screenSize()));
    watch->showFocusWindow(QRect(1500, 800, 300, 200), 0x3366cc);
    watch->focus();
    // A compositor paints the new background a moment later.
    QTRY_COMPARE_WITH_TIMEOUT(
        (screenImage = watch->grabScreen()).pixel(300, 200), qRgb(300 & 0xff, 200, 1 << 4), 5000);
    QCOMPARE(screenImage.pixel(1600, 900), qRgb(0x33, 0x66, 0xcc));
}

void TestHotKeysEndToEnd::init()
{
    QDir(capturesDir()).removeRecursively();
    QDir().mkpath(capturesDir());
    focusSmallClient();
}

// A copy left idle serves the next test with the same keys; anything else is ended.
void TestHotKeysEndToEnd::cleanup()
{
    if (QTest::currentTestFailed() || !overlay().isEmpty() || !popup().isEmpty())
        stopPelicrow();
}

void TestHotKeysEndToEnd::cleanupTestCase()
{
    stopPelicrow();
}

void TestHotKeysEndToEnd::writeKeys(const Keys& keys)
{
    QDir(ModelConfig::configDirectory()).removeRecursively();
    SettingFiles::write(ModelConfig::FastCutKey, QString::number(keys.fast));
    SettingFiles::write(ModelConfig::NormalCutKey, QString::number(keys.normal));
    SettingFiles::write(ModelConfig::FullScreenKey, QString::number(keys.full));
}

void TestHotKeysEndToEnd::stopPelicrow()
{
    pelicrow.stop();
}

// Ready once a fast cut answers its key; the probe is cancelled with Escape.
// `scale` is the toolkit's scale factor, as a desktop set to a higher DPI gives it.
bool TestHotKeysEndToEnd::usePelicrow(const Keys& keys, int scale)
{
    if (pelicrow.isRunning() && keys == runningKeys && scale == runningScale)
        return true;
    stopPelicrow();
    if (!DrivenProgram::waitUntilNoCopyRuns())
        return false;
    writeKeys(keys);
    runningKeys = keys;
    runningScale = scale;
    qputenv("QT_SCALE_FACTOR", QByteArray::number(scale));
    const bool started = pelicrow.start();
    qunsetenv("QT_SCALE_FACTOR");
    if (!started || !hideMainWindow(scale))
        return false;
    // A later probe's Ctrl can cancel an earlier probe's overlay: look before each one.
    QElapsedTimer startUp;
    startUp.start();
    while (overlay().isEmpty() && startUp.elapsed() < 60000) {
        const int maps = watch->maps();
        hotKey(keys.fast);
        watch->waitForMaps(maps + 1, 1000);
    }
    if (overlay().isEmpty()) {
        qWarning("Pelicrow did not answer its fast-cut key; %d copies run, windows: %s",
            processCount(AppNames::MainExecutable), qPrintable(windowNamed(".")));
        return false;
    }
    const int unmaps = watch->unmaps();
    runTool("xdotool", {"key", "Escape"});
    if (!QTest::qWaitFor([&] { return watch->unmaps() > unmaps && overlay().isEmpty(); }, 5000))
        return false;
    focusSmallClient();
    // A panel shows the program's icon from now on.
    screenImage = watch->grabScreen();
    restingScreenKnown = false;
    return pelicrow.isRunning();
}

// A StatusNotifier host draws another icon while a balloon is up (five seconds
// after "Ok" and after every save): a capture of the whole screen is taken and
// compared once the screen is at rest.
bool TestHotKeysEndToEnd::screenAtRest()
{
    const auto atRest = [] { return !TestSupport::trayNeedsAttention(); };
    if (!restingScreenKnown) {
        screenImage = watch->restingScreen(atRest, 20000);
        restingScreenKnown = !screenImage.isNull();
        return restingScreenKnown;
    }
    if (QTest::qWaitFor([&] { return atRest() && watch->grabScreen() == screenImage; }, 20000))
        return true;
    qWarning("the screen has not come back to the one recorded at rest");
    return false;
}

QString TestHotKeysEndToEnd::windowNamed(const QString& pattern) const
{
    return pelicrow.windowNamed(pattern);
}

// The visible window titled "Pelicrow" of this width: the full-screen overlay,
// or the main window; message boxes carry the same title.
QString TestHotKeysEndToEnd::pelicrowWindow(int width) const
{
    return pelicrow.windowNamed(
        "^Pelicrow$", [width](const QRect& area) { return area.width() == width; });
}

// Up and focused: a press on an overlay the window manager has not taken in yet
// may not reach it.
bool TestHotKeysEndToEnd::overlayTakesInput() const
{
    return QTest::qWaitFor([this] { return TestSupport::hasInputFocus(overlay()); }, 5000);
}

// The main window opens at every start and is put away, so that captures see
// only the test's own screen.
bool TestHotKeysEndToEnd::hideMainWindow(int scale)
{
    const int mainWidth = 400 * scale;
    QString window;
    if (!QTest::qWaitFor([&] { return !(window = pelicrowWindow(mainWidth)).isEmpty(); }, 10000))
        return false;
    // Without a tray "Ok" only minimises it, which takes a window manager.
    if (TestSupport::desktopTray() == "none")
        runTool("xdotool", {"windowunmap", "--sync", window});
    else
        TestSupport::clickIn(window, QPoint(212, 318) * scale);
    return QTest::qWaitFor([&] { return pelicrowWindow(mainWidth).isEmpty(); }, 5000);
}

QStringList TestHotKeysEndToEnd::savedFiles()
{
    return QDir(capturesDir()).entryList({"*.png"}, QDir::Files, QDir::Name);
}

void TestHotKeysEndToEnd::pressHotKeyThroughXTest(unsigned long digit)
{
    watch->fakeKey(XK_Control_L, true);
    watch->fakeKey(XK_Shift_L, true);
    watch->fakeKey(digit, true);
    watch->fakeKey(digit, false);
    watch->fakeKey(XK_Shift_L, false);
    watch->fakeKey(XK_Control_L, false);
    watch->flush();
}

void TestHotKeysEndToEnd::focusSmallClient()
{
    watch->focus();
}

bool TestHotKeysEndToEnd::showsScreen(const QString& file, const QRect& area) const
{
    const QImage saved(capturesDir() + "/" + file);
    return saved.convertToFormat(QImage::Format_RGB32) == screenImage.copy(area);
}

void TestHotKeysEndToEnd::fullScreenHotKeySavesTheScreenAndTheDigitStillArrives()
{
    QVERIFY(usePelicrow());
    QVERIFY(screenAtRest());
    watch->clearKeyCodesReceived();
    const int maps = watch->maps();
    QElapsedTimer sinceKey;
    sinceKey.start();
    pressHotKeyThroughXTest(XK_3);
    QTRY_COMPARE_WITH_TIMEOUT(savedFiles().size(), 1, 1000);
    qInfo() << "full-screen file written" << sinceKey.elapsed() << "ms after the key";
    QVERIFY(showsScreen(savedFiles().first(), screenImage.rect()));
    QCOMPARE(watch->maps(), maps);
    QTRY_VERIFY_WITH_TIMEOUT(watch->keyCodesReceived().contains(watch->keyCode(XK_3)), 5000);
}

void TestHotKeysEndToEnd::fastCutHotKeySavesTheDraggedArea_data()
{
    QTest::addColumn<int>("scale");
    QTest::newRow("unscaled") << 1;
    QTest::newRow("scaled by two") << 2;
}

// The overlay shows the screen as it is, and the file holds the dragged screen pixels.
void TestHotKeysEndToEnd::fastCutHotKeySavesTheDraggedArea()
{
    QFETCH(int, scale);
    QVERIFY(usePelicrow(Keys(), scale));
    QVERIFY(screenAtRest());
    hotKey('2');
    QVERIFY(overlayTakesInput());
    QTRY_VERIFY_WITH_TIMEOUT(watch->grabScreen() == screenImage, 5000);
    drag(DragArea);
    QTRY_COMPARE_WITH_TIMEOUT(savedFiles().size(), 1, 5000);
    QVERIFY(showsScreen(savedFiles().first(), DragArea));
    QTRY_VERIFY_WITH_TIMEOUT(overlay().isEmpty(), 5000);
}

void TestHotKeysEndToEnd::normalCutPopupIgnoresHotKeysAndSaves()
{
    QVERIFY(usePelicrow());
    hotKey('4');
    QVERIFY(overlayTakesInput());
    drag(DragArea);
    runTool("xdotool", {"mousemove", "200", "150", "click", "1"});
    QTRY_VERIFY_WITH_TIMEOUT(!popup().isEmpty(), 5000);
    QCOMPARE(savedFiles().size(), 0);

    const QString popupWindow = popup();
    const int maps = watch->maps();
    focusSmallClient();
    hotKey('3');
    hotKey('2');
    hotKey('4');
    // "Save" is the first button of the popup and takes the focus with it.
    runTool("xdotool", {"windowfocus", "--sync", popupWindow});
    runTool("xdotool", {"key", "space"});
    QTRY_VERIFY_WITH_TIMEOUT(popup().isEmpty(), 5000);
    QCOMPARE(savedFiles().size(), 1);
    QVERIFY(showsScreen(savedFiles().first(), DragArea));

    // Saved and closed both end the capture; one hot-key then makes one capture.
    focusSmallClient();
    hotKey('3');
    QTRY_COMPARE_WITH_TIMEOUT(savedFiles().size(), 2, 5000);
    QCOMPARE(watch->maps(), maps);
    QVERIFY(overlay().isEmpty());
}

void TestHotKeysEndToEnd::digitOnTheOpenOverlayStartsNoSecondCapture()
{
    QVERIFY(usePelicrow());
    runTool("xdotool", {"keydown", "ctrl+shift"});
    runTool("xdotool", {"key", "2"});
    QTRY_VERIFY_WITH_TIMEOUT(!overlay().isEmpty(), 5000);
    // With Ctrl and Shift still held, the 3 is a hot-key while a capture is under way.
    runTool("xdotool", {"key", "3"});
    runTool("xdotool", {"keyup", "ctrl+shift"});
    // The key may also cancel the overlay; whatever is left is closed by Escape.
    if (!overlay().isEmpty())
        runTool("xdotool", {"key", "Escape"});
    QTRY_VERIFY_WITH_TIMEOUT(overlay().isEmpty(), 5000);

    // The hot-keys work again, and the 3 above has left no file behind.
    focusSmallClient();
    const int maps = watch->maps();
    hotKey('2');
    QVERIFY(watch->waitForMaps(maps + 1, 5000) >= 0);
    QCOMPARE(savedFiles().size(), 0);
    runTool("xdotool", {"key", "Escape"});
    QTRY_VERIFY_WITH_TIMEOUT(overlay().isEmpty(), 5000);
}

void TestHotKeysEndToEnd::otherKeysStartNothing_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("ctrl 2") << QStringList {"ctrl+2"};
    QTest::newRow("shift 2") << QStringList {"shift+2"};
    // xdotool switches Num_Lock on to reach KP_2; switch it off again.
    QTest::newRow("ctrl shift keypad 2") << QStringList {"ctrl+shift+KP_2", "Num_Lock"};
    QTest::newRow("ctrl shift A") << QStringList {"ctrl+shift+a"};
}

// A full-screen hot-key afterwards marks the end: everything before it has acted by then.
void TestHotKeysEndToEnd::otherKeysStartNothing()
{
    QFETCH(QStringList, keys);
    QVERIFY(usePelicrow());
    QVERIFY(screenAtRest());
    const int maps = watch->maps();
    runTool("xdotool", QStringList {"key"} + keys);
    hotKey('3');
    QTRY_COMPARE_WITH_TIMEOUT(savedFiles().size(), 1, 5000);
    QVERIFY(showsScreen(savedFiles().first(), screenImage.rect()));
    QCOMPARE(watch->maps(), maps);
}

void TestHotKeysEndToEnd::keySettingsAreHonouredInOrder_data()
{
    QTest::addColumn<int>("fast");
    QTest::addColumn<int>("normal");
    QTest::addColumn<int>("full");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("capture");
    QTest::newRow("fast cut on 7") << 55 << 52 << 51 << 55 << "fast";
    QTest::newRow("normal cut on 0") << 50 << 48 << 51 << 48 << "normal";
    QTest::newRow("full screen on 9") << 50 << 52 << 57 << 57 << "full";
    QTest::newRow("fast before normal") << 53 << 53 << 51 << 53 << "fast";
    QTest::newRow("fast before full screen") << 54 << 52 << 54 << 54 << "fast";
    QTest::newRow("normal before full screen") << 50 << 56 << 56 << 56 << "normal";
}

void TestHotKeysEndToEnd::keySettingsAreHonouredInOrder()
{
    QFETCH(int, fast);
    QFETCH(int, normal);
    QFETCH(int, full);
    QFETCH(int, key);
    QFETCH(QString, capture);
    QVERIFY(usePelicrow({fast, normal, full}));
    QVERIFY(capture != "full" || screenAtRest());
    // The default keys now mean nothing unless a setting holds them.
    const int maps = watch->maps();
    hotKey(key);
    if (capture == "full") {
        QTRY_COMPARE_WITH_TIMEOUT(savedFiles().size(), 1, 5000);
        QVERIFY(showsScreen(savedFiles().first(), screenImage.rect()));
        QCOMPARE(watch->maps(), maps);
        return;
    }
    QVERIFY(overlayTakesInput());
    drag(DragArea);
    if (capture == "fast") {
        QTRY_COMPARE_WITH_TIMEOUT(savedFiles().size(), 1, 5000);
        QVERIFY(showsScreen(savedFiles().first(), DragArea));
        return;
    }
    // A normal cut waits for a click inside the rectangle and shows the popup.
    runTool("xdotool", {"mousemove", "200", "150", "click", "1"});
    QTRY_VERIFY_WITH_TIMEOUT(!popup().isEmpty(), 5000);
    QCOMPARE(savedFiles().size(), 0);
}

void TestHotKeysEndToEnd::digitKeysFollowTheLayout_data()
{
    QTest::addColumn<QStringList>("layout");
    QTest::addColumn<bool>("atStart");
    QTest::newRow("de set while running") << QStringList {"de"} << false;
    // The digits sit on the shifted level here.
    QTest::newRow("fr (AZERTY) at start") << QStringList {"fr"} << true;
    // Shifted digits in another order: the 3 is on another key than on us.
    QTest::newRow("programmer dvorak set while running")
        << QStringList {"us", "-variant", "dvp"} << false;
}

void TestHotKeysEndToEnd::digitKeysFollowTheLayout()
{
    QFETCH(QStringList, layout);
    QFETCH(bool, atStart);
    const auto restore = qScopeGuard([] { runTool("setxkbmap", {"us"}); });
    if (atStart)
        stopPelicrow();
    else
        QVERIFY(usePelicrow());
    runTool("setxkbmap", layout);
    QVERIFY(usePelicrow());
    const int maps = watch->maps();
    hotKey('3');
    QTRY_COMPARE_WITH_TIMEOUT(savedFiles().size(), 1, 5000);
    runTool("xdotool", {"key", "ctrl+shift+KP_2", "Num_Lock"});
    hotKey('3');
    QTRY_COMPARE_WITH_TIMEOUT(savedFiles().size(), 2, 5000);
    QCOMPARE(watch->maps(), maps);
}

void TestHotKeysEndToEnd::windowManagerClosesTheOverlay_data()
{
    QTest::addColumn<QString>("wm");
    QTest::addColumn<bool>("byKeys");
    QTest::newRow("xfwm4, Alt+F4") << "xfwm4" << true;
    // A second window manager in the same run can stall the whole test on a
    // loaded machine; openbox and wmctrl -c pass when run on their own.
}

// The close ends the capture as Escape does, and the window that had the focus
// before the overlay (an xmessage here) is left alone.
void TestHotKeysEndToEnd::windowManagerClosesTheOverlay()
{
    QFETCH(QString, wm);
    QFETCH(bool, byKeys);
    QVERIFY(usePelicrow());
    // Under a desktop of the harness its window manager does the closing.
    TestSupport::Desktop desktop;
    if (TestSupport::desktopWm() == "none")
        QVERIFY(desktop.start(wm, "none"));
    QProcess victim;
    victim.start("xmessage", {"-geometry", "+1500+800", "victim"});
    QVERIFY(victim.waitForStarted());
    QString window;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(window = runTool("xdotool", {"search", "--sync", "--onlyvisible", "--class", "xmessage"})
                       .trimmed())
             .isEmpty(),
        10000);
    runTool("xdotool", {"windowactivate", "--sync", window});
    hotKey('2');
    QTRY_VERIFY_WITH_TIMEOUT(!overlay().isEmpty(), 5000);
    if (byKeys) {
        // As a person does it: Alt, and F4 a moment later.
        runTool("xdotool", {"keydown", "alt"});
        QVERIFY2(!QTest::qWaitFor([this] { return overlay().isEmpty(); }, 500),
            "Alt alone has closed the overlay");
        runTool("xdotool", {"key", "F4"});
        runTool("xdotool", {"keyup", "alt"});
    } else {
        runTool("wmctrl", {"-i", "-c", "0x" + QString::number(overlay().toULong(), 16)});
    }
    QTRY_VERIFY_WITH_TIMEOUT(overlay().isEmpty(), 5000);
    QCOMPARE(victim.state(), QProcess::Running);

    hotKey('2');
    QTRY_VERIFY_WITH_TIMEOUT(!overlay().isEmpty(), 5000);
    runTool("xdotool", {"key", "Escape"});
    QTRY_VERIFY_WITH_TIMEOUT(overlay().isEmpty(), 5000);
    QCOMPARE(savedFiles().size(), 0);
    victim.kill();
    victim.waitForFinished();
}

void TestHotKeysEndToEnd::limitedListenerIsReportedAndProgramRuns_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<QString>("sessionType");
    QTest::addColumn<QString>("debugLine");
    QTest::newRow("no RECORD") << "-extension"
                               << "x11"
                               << "the keyboard listener could not be installed";
    QTest::newRow("XWayland") << "+extension"
                              << "wayland"
                              << "Wayland session, the keyboard listener hears X11";
}

// Where hot-keys cannot work, or work only in part, the program says so once
// and goes on.
void TestHotKeysEndToEnd::limitedListenerIsReportedAndProgramRuns()
{
    QFETCH(QString, record);
    QFETCH(QString, sessionType);
    QFETCH(QString, debugLine);
    QProcess xvfb;
    // No lock file: in the test's own PID namespace it would name a PID that
    // servers elsewhere cannot check; the free display is found by its socket.
    xvfb.start("Xvfb",
        {"-displayfd", "1", "-screen", "0", "1280x720x24", "-nolisten", "tcp", record, "RECORD",
            "-nolock"});
    QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), 10000);
    const QString display = ":" + QString::fromLatin1(xvfb.readLine()).trimmed();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display);
    environment.insert("XDG_SESSION_TYPE", sessionType);

    stopPelicrow();
    QVERIFY(DrivenProgram::waitUntilNoCopyRuns());
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(TestSupport::binaryPath(AppNames::MainExecutable), QStringList());
    QVERIFY(program.waitForStarted());
    const auto runOnDisplay = [&](const QStringList& arguments) {
        QProcess tool;
        tool.setProcessEnvironment(environment);
        tool.start("xdotool", arguments);
        tool.waitForFinished();
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    };
    // The debug line comes just before the box; a guard's box would come without it.
    QByteArray errors;
    QTRY_VERIFY_WITH_TIMEOUT(
        (errors += program.readAllStandardError()).contains(debugLine.toUtf8()), 10000);
    const QStringList search
        = {"search", "--onlyvisible", "--pid", QString::number(program.processId())};
    // The main window (400 x 332) comes up beside the warning.
    const auto warnings = [&] {
        QStringList boxes;
        for (const QString& window : runOnDisplay(search).split('\n', Qt::SkipEmptyParts)) {
            if (!runOnDisplay({"getwindowgeometry", "--shell", window})
                     .contains("WIDTH=400\nHEIGHT=332"))
                boxes << window;
        }
        return boxes;
    };
    QTRY_VERIFY_WITH_TIMEOUT(!warnings().isEmpty(), 10000);
    const QStringList windows = warnings();
    QCOMPARE(windows.size(), 1);
    QCOMPARE(runOnDisplay({"getwindowname", windows.first()}), QString("Pelicrow"));

    // The event loop runs on: a termination request is still handled in it.
    QCOMPARE(program.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 1);
    errors += program.readAllStandardError();
    QCOMPARE(errors.count("keyboard listener"), 1);

    xvfb.terminate();
    xvfb.waitForFinished();
}

QTEST_GUILESS_MAIN(TestHotKeysEndToEnd)
#include "tst_hotkeyse2e.moc"
