#include "hook/opkeyhook.h"
#include "testsupport.h"

#include <QKeyEvent>
#include <QSignalSpy>
#include <QWidget>
#include <QtTest>

#include <X11/Xlib.h>
#include <X11/keysym.h>

// A plain focused window that notes the hardware key codes it is sent.
class KeyTarget : public QWidget
{
public:
    QList<quint32> pressedKeyCodes;

protected:
    void keyPressEvent(QKeyEvent* event) override { pressedKeyCodes << event->nativeScanCode(); }
};

// The hook listens to the real X server: keys come from xdotool, through the
// server, to every client at once.
class TestOpKeyHook : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void reportsCtrlShiftMainDigitsOnly_data();
    void reportsCtrlShiftMainDigitsOnly();
    void focusedWindowStillGetsTheDigit();

private:
    static void pressKeys(const QStringList& keys);
    QList<int> reportedKeys() const;

    OpKeyHook* hook = nullptr;
    QSignalSpy* spy = nullptr;
    KeyTarget target;
};

void TestOpKeyHook::initTestCase()
{
    hook = new OpKeyHook(this);
    spy = new QSignalSpy(hook, &OpKeyHook::ctrlShiftKeyPressed);
    target.setFocusPolicy(Qt::StrongFocus);
    target.setGeometry(100, 100, 300, 200);
    target.show();
    QVERIFY(QTest::qWaitForWindowExposed(&target));
    TestSupport::runTool("xdotool", {"windowfocus", "--sync", QString::number(target.winId())});
    QTRY_VERIFY_WITH_TIMEOUT(target.hasFocus(), 5000);
}

void TestOpKeyHook::pressKeys(const QStringList& keys)
{
    TestSupport::runTool("xdotool", QStringList {"key"} + keys);
}

QList<int> TestOpKeyHook::reportedKeys() const
{
    QList<int> keys;
    for (const QList<QVariant>& arguments : *spy)
        keys << arguments.first().toInt();
    return keys;
}

void TestOpKeyHook::reportsCtrlShiftMainDigitsOnly_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QList<int>>("reported");
    QTest::newRow("ctrl shift 2") << QStringList {"ctrl+shift+2"} << QList<int> {50};
    QTest::newRow("ctrl shift 0 and 9")
        << QStringList {"ctrl+shift+0", "ctrl+shift+9"} << QList<int> {48, 57};
    QTest::newRow("right-hand modifiers") << QStringList {"Control_R+Shift_R+4"} << QList<int> {52};
    QTest::newRow("alt is not examined") << QStringList {"ctrl+shift+alt+3"} << QList<int> {51};
    QTest::newRow("num lock on") << QStringList {"Num_Lock", "ctrl+shift+5", "Num_Lock"}
                                 << QList<int> {53};
    QTest::newRow("caps lock on") << QStringList {"Caps_Lock", "ctrl+shift+6", "Caps_Lock"}
                                  << QList<int> {54};
    QTest::newRow("ctrl 2") << QStringList {"ctrl+2"} << QList<int> {};
    QTest::newRow("shift 2") << QStringList {"shift+2"} << QList<int> {};
    QTest::newRow("plain 2") << QStringList {"2"} << QList<int> {};
    // xdotool switches Num_Lock on to reach KP_2; switch it off again.
    QTest::newRow("ctrl shift keypad 2")
        << QStringList {"ctrl+shift+KP_2", "Num_Lock"} << QList<int> {};
    QTest::newRow("ctrl shift A") << QStringList {"ctrl+shift+a"} << QList<int> {};
}

void TestOpKeyHook::reportsCtrlShiftMainDigitsOnly()
{
    QFETCH(QStringList, keys);
    QFETCH(QList<int>, reported);
    spy->clear();
    // A last hot-key marks the end: whatever the keys before it caused is in by then.
    pressKeys(keys + QStringList {"ctrl+shift+8"});
    QTRY_COMPARE_WITH_TIMEOUT(reportedKeys(), reported + QList<int> {56}, 5000);
}

void TestOpKeyHook::focusedWindowStillGetsTheDigit()
{
    Display* display = XOpenDisplay(nullptr);
    QVERIFY(display);
    const quint32 digitTwo = XKeysymToKeycode(display, XK_2);
    XCloseDisplay(display);

    target.pressedKeyCodes.clear();
    spy->clear();
    pressKeys({"ctrl+shift+2"});
    QTRY_COMPARE_WITH_TIMEOUT(reportedKeys(), QList<int> {50}, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(target.pressedKeyCodes.contains(digitTwo), 5000);
}

QTEST_MAIN(TestOpKeyHook)
#include "tst_opkeyhook.moc"
