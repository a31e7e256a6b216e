#include "platform/hotkeyrule.h"

#include <QtTest>

// The one decision both platforms share: which key events are hot-keys.
class TestHotKeyRule : public QObject
{
    Q_OBJECT
private slots:
    void decidesHotKeys_data();
    void decidesHotKeys();
};

void TestHotKeyRule::decidesHotKeys_data()
{
    QTest::addColumn<bool>("keyDown");
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<bool>("ctrl");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<int>("hotKey");
    QTest::newRow("ctrl shift 0") << true << 0x30 << true << true << 48;
    QTest::newRow("ctrl shift 2") << true << 0x32 << true << true << 50;
    QTest::newRow("ctrl shift 9") << true << 0x39 << true << true << 57;
    QTest::newRow("key up") << false << 0x32 << true << true << 0;
    QTest::newRow("ctrl only") << true << 0x32 << true << false << 0;
    QTest::newRow("shift only") << true << 0x32 << false << true << 0;
    QTest::newRow("no modifier") << true << 0x32 << false << false << 0;
    QTest::newRow("below the digits") << true << 0x2f << true << true << 0;
    QTest::newRow("above the digits") << true << 0x3a << true << true << 0;
    QTest::newRow("letter A (Windows)") << true << 0x41 << true << true << 0;
    QTest::newRow("letter a (X11)") << true << 0x61 << true << true << 0;
    QTest::newRow("keypad 2 (Windows)") << true << 0x62 << true << true << 0;
    QTest::newRow("keypad 2 (X11)") << true << 0xffb2 << true << true << 0;
    QTest::newRow("no keysym") << true << 0 << true << true << 0;
}

void TestHotKeyRule::decidesHotKeys()
{
    QFETCH(bool, keyDown);
    QFETCH(int, keyCode);
    QFETCH(bool, ctrl);
    QFETCH(bool, shift);
    QFETCH(int, hotKey);
    QCOMPARE(platform::hotKeyCode(keyDown, keyCode, ctrl, shift), hotKey);
}

QTEST_APPLESS_MAIN(TestHotKeyRule)
#include "tst_hotkeyrule.moc"
