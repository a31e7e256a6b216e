#include "opkeyhook.h"

#include "app/appnames.h"
#include "platform/desktopsession.h"
#include "platform/keyboardlistener.h"

#include <QDebug>
#include <QIcon>
#include <QMessageBox>

OpKeyHook::OpKeyHook(QObject* parent)
    : QObject(parent)
{
    if (!platform::installKeyboardListener(&OpKeyHook::reportHotKey, this))
        warnNoHotKeys();
    else if (platform::inWaylandSession())
        warnWaylandSession();
}

void OpKeyHook::reportHotKey(void* hook, int key)
{
    emit static_cast<OpKeyHook*>(hook)->ctrlShiftKeyPressed(key);
}

// Without the listener every hot-key would fail silently; the user must know,
// yet the rest of the program stays usable, so the box does not block.
void OpKeyHook::warnNoHotKeys()
{
    qDebug() << "error: the keyboard listener could not be installed, DISPLAY ="
             << qgetenv("DISPLAY");
    showWarning(tr("The global hot-keys are not available: the keyboard listener "
                   "could not be installed.\nPelicrow needs an X server with the "
                   "RECORD extension to see the keys pressed in other applications."));
}

// On XWayland the listener sees only what X11 clients receive.
void OpKeyHook::warnWaylandSession()
{
    qDebug() << "warning: Wayland session, the keyboard listener hears X11 windows only";
    showWarning(tr("This is a Wayland session: Pelicrow runs through XWayland.\nThe global "
                   "hot-keys work only while a window of an X11 application has the focus, "
                   "and captures of Wayland windows may come out black."));
}

void OpKeyHook::showWarning(const QString& text)
{
    auto* box
        = new QMessageBox(QMessageBox::Warning, QStringLiteral("Pelicrow"), text, QMessageBox::Ok);
    box->setWindowIcon(QIcon(AppNames::Icon));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_QuitOnClose, false);
    box->setWindowModality(Qt::NonModal);
    box->show();
}
