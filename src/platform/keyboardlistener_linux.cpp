#include "keyboardlistener.h"

#include "hotkeyrule.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>
#include <X11/extensions/record.h>
#include <X11/keysym.h>

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
    int xkbEventBase = -1;
    bool processing = false;
    platform::HotKeyCallback callback = nullptr;
    void* callbackContext = nullptr;
};

RecordListener listener;

void drainControlEvents();

int activeGroup()
{
    XkbStateRec state;
    return XkbGetState(listener.control, XkbUseCoreKbd, &state) == Success ? state.group : 0;
}

// A main-keyboard digit key is one that carries XK_0 ... XK_9 (equal to the
// character codes) unshifted, as on us and de layouts, or shifted, as on
// French AZERTY; this is what the key's code says, whatever modifiers are
// held. Keypad keys never count. Returns 0 for any other key.
int digitKeyCode(unsigned int keycode)
{
    // A layout change made just before the key must already count.
    drainControlEvents();
    const auto key = static_cast<KeyCode>(keycode);
    int group = activeGroup();
    if (XkbKeycodeToKeysym(listener.control, key, group, 0) == NoSymbol)
        group = 0;
    for (int level = 0; level < 2; ++level) {
        const KeySym keysym = XkbKeycodeToKeysym(listener.control, key, group, level);
        if (IsKeypadKey(keysym))
            return 0;
        if (keysym >= XK_0 && keysym <= XK_9)
            return static_cast<int>(keysym);
    }
    return 0;
}

void onRecordedData(XPointer, XRecordInterceptData* recorded)
{
    if (recorded->category == XRecordFromServer && recorded->data) {
        const auto* event = reinterpret_cast<const xEvent*>(recorded->data);
        const int type = event->u.u.type & 0x7f;
        const unsigned int state = event->u.keyButtonPointer.state;
        const bool ctrl = (state & ControlMask) != 0;
        const bool shift = (state & ShiftMask) != 0;
        // Only a possible hot-key is worth a look at the keymap.
        const int keyCode = type == KeyPress && ctrl && shift ? digitKeyCode(event->u.u.detail) : 0;
        const int hotKey = platform::hotKeyCode(type == KeyPress, keyCode, ctrl, shift);
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

// The control connection hears of every keymap and layout change (core
// MappingNotify, XKB new-keyboard and map events), so that the keysym lookup
// follows them at once.
void drainControlEvents()
{
    while (XPending(listener.control) > 0) {
        XEvent event;
        XNextEvent(listener.control, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
        } else if (event.type == listener.xkbEventBase) {
            auto* xkb = reinterpret_cast<XkbEvent*>(&event);
            if (xkb->any.xkb_type == XkbNewKeyboardNotify || xkb->any.xkb_type == XkbMapNotify)
                XkbRefreshKeyboardMapping(&xkb->map);
        }
    }
}

void followKeymapChanges()
{
    int opcode = 0;
    int errorBase = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (!XkbQueryExtension(
            listener.control, &opcode, &listener.xkbEventBase, &errorBase, &major, &minor))
        return;
    const unsigned int changes = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
    XkbSelectEvents(listener.control, XkbUseCoreKbd, changes, changes);
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
    followKeymapChanges();

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

bool isHotKeyEcho(int)
{
    return false;
}

} // namespace platform
