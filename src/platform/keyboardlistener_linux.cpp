#include "keyboardlistener.h"

#include "hotkeyrule.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/record.h>

#include <climits>

namespace {

// The X RECORD extension reports every client's key events without taking
// them away from anybody. A control connection owns the recording context and
// looks up keysyms; the data connection only carries the recorded events.
struct RecordListener
{
    Display* control = nullptr;
    Display* data = nullptr;
    XRecordContext context = 0;
    QSocketNotifier* dataNotifier = nullptr;
    QSocketNotifier* controlNotifier = nullptr;
    bool processing = false;
    platform::HotKeyCallback callback = nullptr;
    void* callbackContext = nullptr;
};

RecordListener listener;

// The level-0 keysym tells the main-row digits (XK_0 ... XK_9, equal to the
// character codes) from keypad digits, whatever modifiers are held.
int unmodifiedKeyCode(unsigned int keycode)
{
    const KeySym keysym = XkbKeycodeToKeysym(listener.control, static_cast<KeyCode>(keycode), 0, 0);
    return keysym <= static_cast<KeySym>(INT_MAX) ? static_cast<int>(keysym) : 0;
}

void onRecordedData(XPointer, XRecordInterceptData* recorded)
{
    if (recorded->category == XRecordFromServer && recorded->data) {
        const auto* event = reinterpret_cast<const xEvent*>(recorded->data);
        const int type = event->u.u.type & 0x7f;
        const unsigned int state = event->u.keyButtonPointer.state;
        const int hotKey
            = platform::hotKeyCode(type == KeyPress, unmodifiedKeyCode(event->u.u.detail),
                (state & ControlMask) != 0, (state & ShiftMask) != 0);
        // Unlike a Windows hook, nothing is released afterwards: the overlay
        // ignores key releases, and faked ones would leave the server's key
        // state at odds with the keys the user still holds.
        if (hotKey != 0 && listener.callback)
            listener.callback(listener.callbackContext, hotKey);
    }
    XRecordFreeData(recorded);
}

void processRecordedData()
{
    // A hot-key's receiver may run a nested event loop; Xlib must not be
    // entered again from there while it is handing out these replies.
    if (listener.processing)
        return;
    listener.processing = true;
    listener.dataNotifier->setEnabled(false);
    XRecordProcessReplies(listener.data);
    listener.dataNotifier->setEnabled(true);
    listener.processing = false;
}

// The recorded copy of a key event and the event itself reach this process on
// two connections. Reading the recorded ones first lets a hot-key act before
// one of our own windows handles the same key, as a system hook would.
class RecordedKeysFirst : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, long*) override
    {
        if (eventType == "xcb_generic_event_t") {
            const int type = *static_cast<const unsigned char*>(message) & 0x7f;
            if (type == KeyPress || type == KeyRelease)
                processRecordedData();
        }
        return false;
    }
};

// Nobody selects events on the control connection, but every client gets
// MappingNotify; read it so the keysym lookup follows keymap changes.
void drainControlEvents()
{
    while (XPending(listener.control) > 0) {
        XEvent event;
        XNextEvent(listener.control, &event);
        if (event.type == MappingNotify)
            XRefreshKeyboardMapping(&event.xmapping);
    }
}

void closeConnections()
{
    if (listener.context)
        XRecordFreeContext(listener.control, listener.context);
    if (listener.data)
        XCloseDisplay(listener.data);
    if (listener.control)
        XCloseDisplay(listener.control);
    listener = RecordListener();
}

bool openRecordContext()
{
    listener.control = XOpenDisplay(nullptr);
    listener.data = XOpenDisplay(nullptr);
    if (!listener.control || !listener.data)
        return false;
    int major = 0;
    int minor = 0;
    if (!XRecordQueryVersion(listener.control, &major, &minor))
        return false;

    XRecordRange* range = XRecordAllocRange();
    if (!range)
        return false;
    range->device_events.first = KeyPress;
    range->device_events.last = KeyRelease;
    XRecordClientSpec clients = XRecordAllClients;
    listener.context = XRecordCreateContext(listener.control, 0, &clients, 1, &range, 1);
    XFree(range);
    if (!listener.context)
        return false;
    // The data connection may only enable a context the server already knows.
    XSync(listener.control, False);
    if (!XRecordEnableContextAsync(listener.data, listener.context, onRecordedData, nullptr))
        return false;
    XFlush(listener.data);
    return true;
}

void watchConnections()
{
    listener.dataNotifier
        = new QSocketNotifier(ConnectionNumber(listener.data), QSocketNotifier::Read);
    QObject::connect(listener.dataNotifier, &QSocketNotifier::activated, processRecordedData);
    listener.controlNotifier
        = new QSocketNotifier(ConnectionNumber(listener.control), QSocketNotifier::Read);
    QObject::connect(listener.controlNotifier, &QSocketNotifier::activated, drainControlEvents);
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installNativeEventFilter(new RecordedKeysFirst);
    // Replies Xlib has already read would not wake the notifier.
    processRecordedData();
    drainControlEvents();
}

} // namespace

namespace platform {

bool installKeyboardListener(HotKeyCallback callback, void* context)
{
    // One listener per process; a later install only redirects its reports.
    if (listener.context) {
        listener.callback = callback;
        listener.callbackContext = context;
        return true;
    }
    if (!openRecordContext()) {
        closeConnections();
        return false;
    }
    listener.callback = callback;
    listener.callbackContext = context;
    watchConnections();
    return true;
}

} // namespace platform
