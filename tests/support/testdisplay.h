#pragma once

#include <QImage>
#include <QList>
#include <QRect>

#include <functional>

typedef struct _XDisplay Display;

// The test's own connection to the X server. The server itself draws the
// screen the captures are compared with (a root background and a small
// focus window), so nothing depends on a client repainting in time. It also
// counts the windows mapped and unmapped, notes the keys the focus window
// receives, and sends keys through XTEST where timing matters.
class TestDisplay
{
public:
    TestDisplay();
    ~TestDisplay();
    TestDisplay(const TestDisplay&) = delete;
    TestDisplay& operator=(const TestDisplay&) = delete;

    bool isOpen() const { return display != nullptr; }
    QSize screenSize() const;
    void setRootBackground(const QImage& image);
    void showFocusWindow(const QRect& geometry, unsigned long colour);
    void focus();
    QImage grabScreen();
    // The screen once `atRest` holds and it has not changed for half a second; a
    // null image after the deadline.
    QImage restingScreen(const std::function<bool()>& atRest, int timeoutMs);

    int maps();
    int unmaps();
    // Milliseconds until the map count reaches `count`, or -1 after the deadline.
    double waitForMaps(int count, int timeoutMs);
    QList<unsigned int> keyCodesReceived();
    void clearKeyCodesReceived() { keyCodes.clear(); }

    unsigned int keyCode(unsigned long keysym) const;
    void fakeKey(unsigned long keysym, bool press);
    void flush();

private:
    void readEvents();

    Display* display;
    unsigned long focusWindow = 0;
    int mapCount = 0;
    int unmapCount = 0;
    QList<unsigned int> keyCodes;
};
