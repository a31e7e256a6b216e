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
    void fastCutHotKeySavesTheDraggedArea();
    void normalCutPopupIgnoresHotKeysAndSaves();
    void digitOnTheOpenOverlayStartsNoSecondCapture();
    void otherKeysStartNothing_data();
    void otherKeysStartNothing();
    void keySettingsAreHonouredInOrder_data();
    void keySettingsAreHonouredInOrder();
    void missingListenerIsReportedAndProgramRuns();

private:
    static void writeKeys(const Keys& keys);
    bool usePelicrow(const Keys& keys = Keys());
    void stopPelicrow();
    void pressHotKeyThroughXTest(unsigned long digit);
    QString windowNamed(const QString& pattern) const;
    QString pelicrowWindow(int width) const;
    QString overlay() const { return pelicrowWindow(screenImage.width()); }
    bool hideMainWindow();
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
};

void TestHotKeysEndToEnd::initTestCase()
{
    watch = std::make_unique<TestDisplay>();
    QVERIFY(watch->isOpen());
    watch->setRootBackground(patternImage(watch->screenSize()));
    watch->showFocusWindow(QRect(1500, 800, 300, 200), 0x3366cc);
    watch->focus();
    screenImage = watch->grabScreen();
    QCOMPARE(screenImage.pixel(300, 200), qRgb(300 & 0xff, 200, 1 << 4));
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
bool TestHotKeysEndToEnd::usePelicrow(const Keys& keys)
{
    if (pelicrow.isRunning() && keys == runningKeys)
        return true;
    stopPelicrow();
    if (!DrivenProgram::waitUntilNoCopyRuns())
        return false;
    writeKeys(keys);
    runningKeys = keys;
    if (!pelicrow.start() || !hideMainWindow())
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
    return pelicrow.isRunning();
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

// The main window opens at every start; its "Ok" hides it, so that captures see
// only the test's own screen.
bool TestHotKeysEndToEnd::hideMainWindow()
{
    const int mainWidth = 400;
    QString window;
    if (!QTest::qWaitFor([&] { return !(window = pelicrowWindow(mainWidth)).isEmpty(); }, 10000))
        return false;
    TestSupport::clickIn(window, QPoint(212, 318));
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

void TestHotKeysEndToEnd::fastCutHotKeySavesTheDraggedArea()
{
    QVERIFY(usePelicrow());
    hotKey('2');
    QTRY_VERIFY_WITH_TIMEOUT(!overlay().isEmpty(), 5000);
    drag(DragArea);
    QTRY_COMPARE_WITH_TIMEOUT(savedFiles().size(), 1, 5000);
    QVERIFY(showsScreen(savedFiles().first(), DragArea));
    QTRY_VERIFY_WITH_TIMEOUT(overlay().isEmpty(), 5000);
}

void TestHotKeysEndToEnd::normalCutPopupIgnoresHotKeysAndSaves()
{
    QVERIFY(usePelicrow());
    hotKey('4');
    QTRY_VERIFY_WITH_TIMEOUT(!overlay().isEmpty(), 5000);
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
    // The default keys now mean nothing unless a setting holds them.
    const int maps = watch->maps();
    hotKey(key);
    if (capture == "full") {
        QTRY_COMPARE_WITH_TIMEOUT(savedFiles().size(), 1, 5000);
        QVERIFY(showsScreen(savedFiles().first(), screenImage.rect()));
        QCOMPARE(watch->maps(), maps);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(!overlay().isEmpty(), 5000);
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

// Under an X server without RECORD the program says so once and goes on.
void TestHotKeysEndToEnd::missingListenerIsReportedAndProgramRuns()
{
    QProcess xvfb;
    // No lock file: in the test's own PID namespace it would name a PID that
    // servers elsewhere cannot check; the free display is found by its socket.
    xvfb.start("Xvfb",
        {"-displayfd", "1", "-screen", "0", "1280x720x24", "-nolisten", "tcp", "-extension",
            "RECORD", "-nolock"});
    QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), 10000);
    const QString display = ":" + QString::fromLatin1(xvfb.readLine()).trimmed();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display);

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
        (errors += program.readAllStandardError()).contains("keyboard listener"), 10000);
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
    QCOMPARE(errors.count("the keyboard listener could not be installed"), 1);

    xvfb.terminate();
    xvfb.waitForFinished();
}

QTEST_GUILESS_MAIN(TestHotKeysEndToEnd)
#include "tst_hotkeyse2e.moc"
