#include "opkeyhook.h"

#include "app/appnames.h"

#include "platform/keyboardlistener.h"

#include <QDebug>
#include <QIcon>
#include <QMessageBox>

OpKeyHook::OpKeyHook(QObject* parent)
    : QObject(parent)
{
    if (!platform::installKeyboardListener(&OpKeyHook::reportHotKey, this))
        warnNoHotKeys();
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
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Pelicrow"),
        tr("The global hot-keys are not available: the keyboard listener "
           "could not be installed.\nPelicrow needs an X server with the "
           "RECORD extension to see the keys pressed in other applications."),
        QMessageBox::Ok);
    box->setWindowIcon(QIcon(AppNames::Icon));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_QuitOnClose, false);
    box->setWindowModality(Qt::NonModal);
    box->show();
}
