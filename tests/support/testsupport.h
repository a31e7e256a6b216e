#pragma once

#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTest>

// Skips the test when `condition` does not hold, or fails it where every test has to run
// (scripts/test sets PELICROW_TEST_NO_SKIP): a skip there would hide an untested path.
#define PELICROW_REQUIRE(condition, reason)                                                        \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            if (qEnvironmentVariableIsSet("PELICROW_TEST_NO_SKIP"))                                \
                QFAIL(reason);                                                                     \
            QSKIP(reason);                                                                         \
        }                                                                                          \
    } while (false)

// Small helpers shared by the tests: where the built programs are, and how to
// drive real X clients from outside.
//
// Desktops: a test registered with DESKTOPS in tests/CMakeLists.txt runs once
// per desktop, each started by isolated-run before the test (--wm, --tray);
// desktopWm() and desktopTray() say which. Inside one test program a `_data`
// row can bring up its own with a Desktop object instead. Qt picks the tray
// protocol once per process, so a row may change the window manager or start
// and end an XEmbed tray host, but not switch between XEmbed and
// StatusNotifierItem: that takes a DESKTOPS entry.
namespace TestSupport {

QString binaryPath(const QString& program);
QString sourcePath(const QString& relative);

// Runs a tool to its end (at most `timeoutMs`) and returns its standard output.
QString runTool(const QString& program, const QStringList& arguments, int timeoutMs = 10000);
// The same for an X client that talks to this process, whose windows and clipboard
// are served meanwhile. Its output is returned as bytes.
QByteArray runClient(const QString& program, const QStringList& arguments, int timeoutMs = 10000);

// Makes `folder` this process's home where a process may choose it (HOME on Linux) and
// returns the home the code under test uses. A Windows profile comes with the account:
// there the settings earlier tests left in it are removed instead.
QString useHome(const QString& folder);

// A file's bytes, or "<missing>"; writing makes the folder and replaces the file.
QByteArray fileBytes(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);

// The X server driven as a person would, through xdotool; its output, trimmed.
QString xdotool(const QStringList& arguments);
QRect geometryOf(const QString& window);
void click(const QPoint& point, const QString& button = QStringLiteral("1"), int repeat = 1);
// A click at `point` inside the window.
void clickIn(const QString& window, const QPoint& point);
// Whether the window (as xdotool names it) has the keyboard focus: once a window
// manager has taken a new window in, a press on it reaches the window.
bool hasInputFocus(const QString& window);
// Presses at the area's corner and lets go just past the opposite one.
void drag(const QRect& area);
// Ctrl+Shift and the key of the given code, as the hot-key settings store it.
void hotKey(int keyCode);

// The visible top-level windows that belong to the process, as X window ids.
QStringList windowsOfProcess(qint64 pid);

// The visible windows of the process other than its main window (a fixed
// 400 x 332 window shown at every start): the message boxes it shows.
QStringList boxesOfProcess(qint64 pid);

// Focuses the window and types the keys there (xdotool key syntax).
void sendKeys(const QString& window, const QStringList& keys);

// Starts a built program (or the one at an absolute path) with the test's environment;
// the caller owns the process.
QProcess* startProgram(const QString& program, const QStringList& arguments = {});

// Answers the next modal directory dialog with `directory`, or cancels it when empty.
void answerDirectoryDialog(const QString& directory);

// Puts a recording `xdg-open` first on PATH (inherited by started programs): every
// address the desktop is asked to open is appended as a line to the returned file.
// Returns an empty text when the script could not be written.
QString installRecordingXdgOpen(const QString& scratchDir);

// The window manager (none, openbox, xfwm4) and tray host (none, trayer, sni,
// xembed) isolated-run started for this test.
QString desktopWm();
QString desktopTray();

// Runs tests/support/desktop: a window manager and a tray host on the test's
// X server, for as long as the object lives or until stop().
class Desktop
{
public:
    ~Desktop() { stop(); }
    // Ends what an earlier start() began; true once both are in place.
    bool start(const QString& wm, const QString& tray);
    void stop();

private:
    QProcess process;
};

// The menu a StatusNotifierItem exports over com.canonical.dbusmenu, one line
// per entry: its label ("_" marks removed), " [disabled]" when it is disabled,
// submenu entries indented by two blanks. Empty when no item is registered.
QStringList exportedTrayMenu();

// Whether the registered StatusNotifierItem asks for attention: Qt's does while one
// of its balloons is up, and a host then draws another icon in its place.
bool trayNeedsAttention();

// Asks the registered StatusNotifierItem to act as a host does on a click:
// "Activate", "SecondaryActivate" or "ContextMenu" at (x, y).
bool callTrayItem(const QString& method, const QPoint& at = QPoint(0, 0));

} // namespace TestSupport
