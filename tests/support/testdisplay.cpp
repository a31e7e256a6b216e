#include "testdisplay.h"

#include <QElapsedTimer>
#include <QTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <poll.h>

TestDisplay::TestDisplay()
    : display(XOpenDisplay(nullptr))
{
    if (!display)
        return;
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
}

TestDisplay::~TestDisplay()
{
    if (display)
        XCloseDisplay(display);
}

QSize TestDisplay::screenSize() const
{
    return QSize(DisplayWidth(display, DefaultScreen(display)),
        DisplayHeight(display, DefaultScreen(display)));
}

void TestDisplay::setRootBackground(const QImage& image)
{
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    const int screen = DefaultScreen(display);
    const Window root = DefaultRootWindow(display);
    // Format_RGB32 is laid out as a 24-bit TrueColor ZPixmap with 32 bits a pixel.
    XImage* ximage = XCreateImage(display, DefaultVisual(display, screen), 24, ZPixmap, 0,
        const_cast<char*>(reinterpret_cast<const char*>(pixels.bits())), pixels.width(),
        pixels.height(), 32, pixels.bytesPerLine());
    const Pixmap pixmap = XCreatePixmap(display, root, pixels.width(), pixels.height(), 24);
    XPutImage(display, pixmap, DefaultGC(display, screen), ximage, 0, 0, 0, 0, pixels.width(),
        pixels.height());
    ximage->data = nullptr; // owned by the QImage
    XDestroyImage(ximage);
    XSetWindowBackgroundPixmap(display, root, pixmap);
    // A compositing window manager paints the pixmap this property names; it
    // lives as long as this connection.
    const Atom rootPixmap = XInternAtom(display, "_XROOTPMAP_ID", False);
    XChangeProperty(display, root, rootPixmap, XA_PIXMAP, 32, PropModeReplace,
        reinterpret_cast<const unsigned char*>(&pixmap), 1);
    XClearWindow(display, root);
    XSync(display, False);
}

void TestDisplay::showFocusWindow(const QRect& geometry, unsigned long colour)
{
    focusWindow = XCreateSimpleWindow(display, DefaultRootWindow(display), geometry.x(),
        geometry.y(), geometry.width(), geometry.height(), 0, 0, colour);
    XSetWindowAttributes attributes;
    attributes.override_redirect = True;
    XChangeWindowAttributes(display, focusWindow, CWOverrideRedirect, &attributes);
    XSelectInput(display, focusWindow, KeyPressMask);
    XMapWindow(display, focusWindow);
    XSync(display, False);
    readEvents();
    mapCount = 0;
}

void TestDisplay::focus()
{
    XSetInputFocus(display, focusWindow, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
}

QImage TestDisplay::grabScreen()
{
    const QSize size = screenSize();
    XImage* ximage = XGetImage(
        display, DefaultRootWindow(display), 0, 0, size.width(), size.height(), AllPlanes, ZPixmap);
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, 0xff000000 | XGetPixel(ximage, x, y));
    }
    XDestroyImage(ximage);
    return image;
}

QImage TestDisplay::restingScreen(const std::function<bool()>& atRest, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    QElapsedTimer unchanged;
    QImage last;
    while (timer.elapsed() < timeoutMs) {
        QImage now = atRest() ? grabScreen() : QImage();
        if (now.isNull() || now != last) {
            last = now;
            unchanged.start();
        } else if (unchanged.elapsed() >= 500) {
            return now;
        }
        QTest::qWait(20);
    }
    return QImage();
}

int TestDisplay::maps()
{
    XSync(display, False);
    readEvents();
    return mapCount;
}

int TestDisplay::unmaps()
{
    XSync(display, False);
    readEvents();
    return unmapCount;
}

double TestDisplay::waitForMaps(int count, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        readEvents();
        if (mapCount >= count)
            return timer.nsecsElapsed() / 1e6;
        pollfd fd = {ConnectionNumber(display), POLLIN, 0};
        ::poll(&fd, 1, 5);
    }
    return -1;
}

QList<unsigned int> TestDisplay::keyCodesReceived()
{
    XSync(display, False);
    readEvents();
    return keyCodes;
}

unsigned int TestDisplay::keyCode(unsigned long keysym) const
{
    return XKeysymToKeycode(display, keysym);
}

void TestDisplay::fakeKey(unsigned long keysym, bool press)
{
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), press, CurrentTime);
}

void TestDisplay::flush()
{
    XFlush(display);
}

void TestDisplay::readEvents()
{
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        mapCount += event.type == MapNotify;
        unmapCount += event.type == UnmapNotify;
        if (event.type == KeyPress)
            keyCodes << event.xkey.keycode;
    }
}
