#include "Model/modelconfig.h"
#include "app/appnames.h"
#include "drivenprogram.h"
#include "settingfiles.h"
#include "testimages.h"
#include "testsupport.h"
#include "trayhost.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

using TestImages::grabScreen;
using TestSupport::geometryOf;
using TestSupport::xdotool;

namespace {

const QPoint MainWindowOrigin(760, 374);
const QSize MainWindowSize(400, 332);
const int PanelWidth = 400;
const int PanelHeight = 330;
const QSize IconSize(22, 22);
const QRect DragArea(100, 100, 200, 100);
// Places inside the main window: its three buttons and the carousel picture.
const QPoint ConfigButton(40, 318);
const QPoint OkButton(212, 318);
const QPoint ExitButton(355, 318);
// Every five seconds the wipe narrows the picture surface to a strip growing
// from the left edge; a click further right would then meet the background.
const QPoint CarouselPicture(0, 150);
// The popup's buttons from the left; for a cut as small as DragArea the popup
// is as wide as its button row, and the buttons fill it in thirds.
const int SaveAsButton = 1;
const int CancelButton = 2;

// A window manager frames the centred window, and may keep it below a panel.
bool isMainWindowPlace(const QRect& area)
{
    const QPoint shift = area.topLeft() - MainWindowOrigin;
    const bool placed = TestSupport::desktopWm() == "none"
        ? shift.isNull()
        : qAbs(shift.x()) <= 10 && shift.y() >= 0 && shift.y() <= 60;
    if (!placed || area.size() != MainWindowSize)
        qWarning() << "the main window is at" << area;
    return placed && area.size() == MainWindowSize;
}

QString fileText(const QString& path)
{
    return QString::fromUtf8(TestSupport::fileBytes(path));
}

// Longer than the panel's field shows: a path that only just fits would be
// drawn from an offset that depends on the text shown before.
QString shotsDirectory()
{
    return QDir::homePath() + "/New folder for the shots";
}

// A carousel picture unlike the placeholder: a blue field with a white bar.
bool writeCarouselPicture()
{
    const QString resources = QDir::homePath() + AppNames::ResourcesFolder;
    QImage picture(400, 300, QImage::Format_RGB32);
    picture.fill(QColor(40, 90, 160));
    QPainter(&picture).fillRect(50, 130, 300, 40, Qt::white);
    return QDir().mkpath(resources) && picture.save(resources + "/picture1.png");
}

} // namespace

// The built Pelicrow under its own X server with a real tray host (trayer),
// started by isolated-run,
// driven with xdotool as a user would. The functions run in order on two runs
// of the program: the first starts with the type and folder a "Save as..." will
// choose later and records how the panel and the tray menu show them; the
// second starts with the defaults and goes through the main window, the tray
// and a capture.
class TestWiringEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void savedTypeAndFolderShowInPanelAndTrayMenu();
    void trayExitWritesSettingsAndEndsWithOne();
    void startShowsCentredWindowAndDockedIcon();
    void configWidensToEightHundredAndBack();
    void okHidesWindowAndDoubleClickShowsIt();
    void hotKeysWaitWhileChooseDirectoryIsOpen();
    void balloonIsNoPartOfTheNextCapture();
    void trayMenuIsShutWhileNormalCutPopupIsOpen();
    void saveAsIntoNewFolderShowsInTrayAndPanelAtOnce();
    void carouselClickOpensTheSite();
    void windowExitWritesSettingsAndEndsWithOne();
    void statusNotifierTrayGreysMenuInCaptureAndClickRestores();

private:
    bool startPelicrow();
    void stopPelicrow();
    QStringList shownWindows() const;
    QString shownWindow(const std::function<bool(const QRect&)>& fits) const;
    QString mainWindow() const;
    QString trayIcon() const;
    QString overlay() const;
    QString windowNamed(const QString& pattern) const;
    QStringList windowsSince(const QStringList& before) const;
    void clickInMainWindow(const QPoint& point);
    void clickTrayIcon(const QString& button, int repeat = 1);
    bool setPanelOpen(bool open);
    QImage grabPanel() const;
    QString openTrayMenu();
    QImage grabTypeMenu();
    bool closeMenus();
    bool openNormalCutPopup();
    void clickPopupButton(const QString& popup, int button);
    void saveShot(const QString& name) const;
    void verifyEndedWritingSettings();

    QTemporaryDir scratch;
    DrivenProgram pelicrow;
    QImage savedTypePanel;
    QImage savedTypeMenu;
};

void TestWiringEndToEnd::initTestCase()
{
    QVERIFY(scratch.isValid());
    // What the desktop would be asked to open, recorded in scratch/opened.
    QVERIFY(!TestSupport::installRecordingXdgOpen(scratch.path()).isEmpty());

    QVERIFY(writeCarouselPicture());
    QVERIFY(QDir().mkpath(shotsDirectory()));

    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
}

void TestWiringEndToEnd::cleanupTestCase()
{
    stopPelicrow();
}

// The single-instance guard counts copies machine-wide; ready once the main
// window is up and the icon has docked.
bool TestWiringEndToEnd::startPelicrow()
{
    stopPelicrow();
    return DrivenProgram::waitUntilNoCopyRuns() && pelicrow.start()
        && QTest::qWaitFor(
            [this] { return !mainWindow().isEmpty() && !trayIcon().isEmpty(); }, 10000);
}

void TestWiringEndToEnd::stopPelicrow()
{
    pelicrow.stop();
}

QStringList TestWiringEndToEnd::shownWindows() const
{
    return pelicrow.windows();
}

QString TestWiringEndToEnd::shownWindow(const std::function<bool(const QRect&)>& fits) const
{
    return pelicrow.window(fits);
}

// Several windows carry the title "Pelicrow": the main window is the one this high.
QString TestWiringEndToEnd::mainWindow() const
{
    return shownWindow([](const QRect& area) { return area.height() == MainWindowSize.height(); });
}

QString TestWiringEndToEnd::trayIcon() const
{
    return pelicrow.windowSized(IconSize);
}

QString TestWiringEndToEnd::overlay() const
{
    return pelicrow.windowSized(QGuiApplication::primaryScreen()->size());
}

QString TestWiringEndToEnd::windowNamed(const QString& pattern) const
{
    return pelicrow.windowNamed(pattern);
}

QStringList TestWiringEndToEnd::windowsSince(const QStringList& before) const
{
    return pelicrow.windowsSince(before);
}

void TestWiringEndToEnd::clickInMainWindow(const QPoint& point)
{
    TestSupport::clickIn(mainWindow(), point);
}

void TestWiringEndToEnd::clickTrayIcon(const QString& button, int repeat)
{
    TestSupport::click(geometryOf(trayIcon()).center(), button, repeat);
}

bool TestWiringEndToEnd::setPanelOpen(bool open)
{
    const int width = open ? MainWindowSize.width() + PanelWidth : MainWindowSize.width();
    if (geometryOf(mainWindow()).width() != width)
        clickInMainWindow(ConfigButton);
    return QTest::qWaitFor([&] { return geometryOf(mainWindow()).width() == width; }, 5000);
}

QImage TestWiringEndToEnd::grabPanel() const
{
    const QRect window = geometryOf(mainWindow());
    return grabScreen(
        QRect(window.x() + MainWindowSize.width(), window.y(), PanelWidth, PanelHeight));
}

// The menu opens under the pointer; the pointer then moves off it, so that
// only the keys below choose entries.
QString TestWiringEndToEnd::openTrayMenu()
{
    const QStringList before = shownWindows();
    clickTrayIcon("3");
    QStringList added;
    if (!QTest::qWaitFor([&] { return !(added = windowsSince(before)).isEmpty(); }, 5000))
        return QString();
    xdotool({"mousemove", "600", "900"});
    return added.first();
}

// "Change Extension" is the fourth entry of the tray menu.
QImage TestWiringEndToEnd::grabTypeMenu()
{
    const QString menu = openTrayMenu();
    if (menu.isEmpty())
        return QImage();
    const QStringList before = shownWindows();
    xdotool({"key", "Down", "Down", "Down", "Down", "Right"});
    QStringList added;
    if (!QTest::qWaitFor([&] { return !(added = windowsSince(before)).isEmpty(); }, 5000))
        return QImage();
    const QImage image = grabScreen(geometryOf(added.first()));
    return closeMenus() ? image : QImage();
}

bool TestWiringEndToEnd::closeMenus()
{
    const QStringList before = shownWindows();
    xdotool({"key", "Escape", "Escape"});
    return QTest::qWaitFor([&] { return shownWindows().size() < before.size(); }, 5000);
}

// The listener may need a moment after start: the key is pressed again until
// the overlay shows; a press during the capture is ignored.
bool TestWiringEndToEnd::openNormalCutPopup()
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        xdotool({"key", "ctrl+shift+4"});
        if (QTest::qWaitFor([this] { return !overlay().isEmpty(); }, 500))
            break;
    }
    // A press on an overlay the window manager has not taken in yet may not reach it.
    if (!QTest::qWaitFor([this] { return TestSupport::hasInputFocus(overlay()); }, 5000))
        return false;
    TestSupport::drag(DragArea);
    TestSupport::click(DragArea.center());
    return QTest::qWaitFor([this] { return !windowNamed("^Pelicrow - ").isEmpty(); }, 5000);
}

void TestWiringEndToEnd::clickPopupButton(const QString& popup, int button)
{
    const QRect area = geometryOf(popup);
    const int third = area.width() / 3;
    xdotool({"mousemove", "--window", popup, QString::number(third * button + third / 2),
        QString::number(area.height() - 15), "click", "1"});
}

// With PELICROW_SHOT_DIR set, pictures of the main window for a person to look at.
void TestWiringEndToEnd::saveShot(const QString& name) const
{
    const QString directory = qEnvironmentVariable("PELICROW_SHOT_DIR");
    if (!directory.isEmpty())
        grabScreen(geometryOf(mainWindow())).save(directory + "/" + name + ".png");
}

// Both ways out write every setting and end the program with exit code 1.
void TestWiringEndToEnd::verifyEndedWritingSettings()
{
    QVERIFY(pelicrow.waitForExit(1));
    QCOMPARE(SettingFiles::count(), int(ModelConfig::SettingCount));
    QCOMPARE(SettingFiles::text(ModelConfig::ImgType), QString(".jpg"));
    QCOMPARE(SettingFiles::text(ModelConfig::Directory), shotsDirectory() + "/");
}

void TestWiringEndToEnd::savedTypeAndFolderShowInPanelAndTrayMenu()
{
    SettingFiles::write(ModelConfig::ImgType, ".jpg");
    SettingFiles::write(ModelConfig::Directory, shotsDirectory() + "/");
    QVERIFY(startPelicrow());
    QVERIFY(setPanelOpen(true));
    savedTypePanel = grabPanel();
    savedTypeMenu = grabTypeMenu();
    QVERIFY(!savedTypeMenu.isNull());
}

void TestWiringEndToEnd::trayExitWritesSettingsAndEndsWithOne()
{
    QVERIFY(!openTrayMenu().isEmpty());
    SettingFiles::removeAll();
    // "Exit" is the last entry.
    xdotool({"key", "Up", "Return"});
    verifyEndedWritingSettings();
}

void TestWiringEndToEnd::startShowsCentredWindowAndDockedIcon()
{
    SettingFiles::removeAll();
    QVERIFY(startPelicrow());
    QVERIFY(isMainWindowPlace(geometryOf(mainWindow())));
    const QRect icon = geometryOf(trayIcon());
    const QSize screen = QGuiApplication::primaryScreen()->size();
    QVERIFY2(
        icon.top() >= 0 && icon.bottom() < TrayHost::Height && icon.left() > screen.width() / 2,
        qPrintable(QString("icon at %1,%2").arg(icon.x()).arg(icon.y())));
    // The camera is drawn there: more than one colour in the icon's square.
    const QImage drawn = grabScreen(icon);
    bool severalColours = false;
    for (int y = 0; y < drawn.height() && !severalColours; ++y) {
        for (int x = 0; x < drawn.width() && !severalColours; ++x)
            severalColours = drawn.pixel(x, y) != drawn.pixel(0, 0);
    }
    QVERIFY(severalColours);
}

void TestWiringEndToEnd::configWidensToEightHundredAndBack()
{
    saveShot("main-closed");
    clickInMainWindow(ConfigButton);
    QTRY_COMPARE_WITH_TIMEOUT(geometryOf(mainWindow()).width(), 800, 5000);
    saveShot("main-open");
    clickInMainWindow(ConfigButton);
    QTRY_COMPARE_WITH_TIMEOUT(geometryOf(mainWindow()).width(), 400, 5000);
    // The slide has ended on the mark and the window stays where it was.
    QVERIFY(isMainWindowPlace(geometryOf(mainWindow())));
    clickInMainWindow(ConfigButton);
    QTRY_COMPARE_WITH_TIMEOUT(geometryOf(mainWindow()).width(), 800, 5000);
    QCOMPARE(geometryOf(mainWindow()).height(), MainWindowSize.height());
    clickInMainWindow(ConfigButton);
    QTRY_COMPARE_WITH_TIMEOUT(geometryOf(mainWindow()).width(), 400, 5000);
}

void TestWiringEndToEnd::okHidesWindowAndDoubleClickShowsIt()
{
    const QString window = mainWindow();
    const QStringList before = shownWindows();
    clickInMainWindow(OkButton);
    QTRY_VERIFY_WITH_TIMEOUT(mainWindow().isEmpty(), 5000);
    // The running balloon: a window of its own that points at the icon.
    QStringList added;
    QTRY_VERIFY_WITH_TIMEOUT(!(added = windowsSince(before)).isEmpty(), 5000);
    const QRect balloon = geometryOf(added.first());
    const QRect icon = geometryOf(trayIcon());
    // Its arrow's tip sits on the icon's centre.
    QVERIFY(balloon.adjusted(-4, -4, 4, 4).contains(icon.center()));
    QVERIFY(!trayIcon().isEmpty());

    clickTrayIcon("1", 2);
    QTRY_COMPARE_WITH_TIMEOUT(mainWindow(), window, 5000);
    QVERIFY(isMainWindowPlace(geometryOf(window)));
}

// An overlay over our own modal dialog would take no input: the keys wait.
void TestWiringEndToEnd::hotKeysWaitWhileChooseDirectoryIsOpen()
{
    QVERIFY(!openTrayMenu().isEmpty());
    xdotool({"key", "Down", "Down", "Down", "Return"});
    QString dialog;
    QTRY_VERIFY_WITH_TIMEOUT(!(dialog = windowNamed("^Choose Directory$")).isEmpty(), 5000);
    xdotool({"key", "ctrl+shift+2"});
    // The hot-key reaches the program before this Escape does.
    xdotool({"windowfocus", "--sync", dialog});
    xdotool({"key", "Escape"});
    QTRY_VERIFY_WITH_TIMEOUT(windowNamed("^Choose Directory$").isEmpty(), 5000);
    QVERIFY(overlay().isEmpty());
}

// Two full-screen cuts in a row: the first one's balloon is up during the second.
void TestWiringEndToEnd::balloonIsNoPartOfTheNextCapture()
{
    const QDir desktop(QDir::homePath() + "/Desktop");
    const auto shots = [&] { return desktop.entryList({"*.png"}, QDir::Files, QDir::Time); };
    const QStringList before = shownWindows();
    xdotool({"key", "ctrl+shift+3"});
    QStringList balloon;
    QTRY_VERIFY_WITH_TIMEOUT(!(balloon = windowsSince(before)).isEmpty(), 5000);
    const QRect area = geometryOf(balloon.first());
    xdotool({"key", "ctrl+shift+3"});
    QTRY_COMPARE_WITH_TIMEOUT(shots().size(), 2, 5000);
    QImage second(desktop.filePath(shots().first()));
    QImage first(desktop.filePath(shots().last()));
    // The balloon points at the icon, which the host may have redrawn meanwhile.
    QPainter(&second).fillRect(geometryOf(trayIcon()), Qt::black);
    QPainter(&first).fillRect(geometryOf(trayIcon()), Qt::black);
    QCOMPARE(second.copy(area), first.copy(area));
}

void TestWiringEndToEnd::trayMenuIsShutWhileNormalCutPopupIsOpen()
{
    QVERIFY(openNormalCutPopup());
    const QString popup = windowNamed("^Pelicrow - ");
    const QStringList before = shownWindows();
    clickTrayIcon("3");
    // The click on "Cancel" reaches the program after the click on the icon:
    // once the popup has gone, that click has been handled.
    clickPopupButton(popup, CancelButton);
    // An open menu would have taken that click for itself and left the popup up.
    QTRY_VERIFY2_WITH_TIMEOUT(windowNamed("^Pelicrow - ").isEmpty(),
        "the popup is still up: did a menu take the click?", 5000);
    QVERIFY2(windowsSince(before).isEmpty(), "a menu opened while the popup was up");

    const QString menu = openTrayMenu();
    QVERIFY(!menu.isEmpty());
    QVERIFY(closeMenus());
}

void TestWiringEndToEnd::saveAsIntoNewFolderShowsInTrayAndPanelAtOnce()
{
    QVERIFY(setPanelOpen(true));
    QVERIFY(grabPanel() != savedTypePanel);
    QVERIFY(grabTypeMenu() != savedTypeMenu);
    QVERIFY(SettingFiles::text(ModelConfig::Directory) != shotsDirectory() + "/");

    QVERIFY(openNormalCutPopup());
    clickPopupButton(windowNamed("^Pelicrow - "), SaveAsButton);
    QString dialog;
    QTRY_VERIFY_WITH_TIMEOUT(!(dialog = windowNamed("^Save as\\.\\.\\.$")).isEmpty(), 5000);
    const QString file = shotsDirectory() + "/shot.jpg";
    xdotool({"windowfocus", "--sync", dialog});
    xdotool({"key", "ctrl+a"});
    xdotool({"type", "--delay", "2", file});
    xdotool({"key", "Return"});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(windowNamed("^Pelicrow - ").isEmpty(), 5000);

    // The tray has saved all settings, and both places show the new values
    // just as a program started with them does.
    QCOMPARE(SettingFiles::text(ModelConfig::ImgType), QString(".jpg"));
    QCOMPARE(SettingFiles::text(ModelConfig::Directory), shotsDirectory() + "/");
    QTRY_VERIFY_WITH_TIMEOUT(grabPanel() == savedTypePanel, 2000);
    QCOMPARE(grabTypeMenu(), savedTypeMenu);
}

void TestWiringEndToEnd::carouselClickOpensTheSite()
{
    const QString record = scratch.path() + "/opened";
    QFile::remove(record);
    QTRY_VERIFY_WITH_TIMEOUT(!mainWindow().isEmpty(), 5000);
    clickInMainWindow(CarouselPicture);
    // The recording script writes one line per call; wait for its end.
    QTRY_VERIFY_WITH_TIMEOUT(fileText(record).endsWith('\n'), 10000);
    QCOMPARE(fileText(record), AppNames::SiteUrl + "\n");
}

void TestWiringEndToEnd::windowExitWritesSettingsAndEndsWithOne()
{
    QVERIFY(!mainWindow().isEmpty());
    SettingFiles::removeAll();
    clickInMainWindow(ExitButton);
    verifyEndedWritingSettings();
}

// A StatusNotifier host shows the exported menu and sends single activations.
void TestWiringEndToEnd::statusNotifierTrayGreysMenuInCaptureAndClickRestores()
{
    if (TestSupport::desktopWm() != "none")
        QSKIP("brings up a desktop of its own");
    TestSupport::Desktop desktop;
    QVERIFY(desktop.start("xfwm4", "sni"));
    QVERIFY(DrivenProgram::waitUntilNoCopyRuns() && pelicrow.start());
    QTRY_COMPARE_WITH_TIMEOUT(
        TestSupport::exportedTrayMenu().filter(QRegExp("^\\w")).size(), 7, 10000);
    QVERIFY(TestSupport::exportedTrayMenu().filter("[disabled]").isEmpty());

    for (int attempt = 0; attempt < 10; ++attempt) {
        xdotool({"key", "ctrl+shift+2"});
        if (QTest::qWaitFor([this] { return !overlay().isEmpty(); }, 500))
            break;
    }
    QVERIFY(!overlay().isEmpty());
    const QStringList during = TestSupport::exportedTrayMenu().filter(QRegExp("^\\w"));
    QCOMPARE(during.filter(" [disabled]").size(), 7);
    xdotool({"key", "Escape"});
    QTRY_VERIFY_WITH_TIMEOUT(overlay().isEmpty(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(TestSupport::exportedTrayMenu().filter("[disabled]").isEmpty(), 5000);

    clickInMainWindow(OkButton);
    QTRY_VERIFY_WITH_TIMEOUT(mainWindow().isEmpty(), 5000);
    // The panel's tray holds this one icon at its right end.
    const int right = QGuiApplication::primaryScreen()->size().width();
    xdotool({"mousemove", QString::number(right - 12), "12", "click", "1"});
    QTRY_VERIFY_WITH_TIMEOUT(!mainWindow().isEmpty(), 5000);
}

QTEST_MAIN(TestWiringEndToEnd)
#include "tst_wiringe2e.moc"
