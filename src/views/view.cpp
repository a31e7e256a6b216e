#include "view.h"

#include <QGuiApplication>
#include <QScreen>

View::View(QWidget* parent)
    : QWidget(parent)
{ }

void View::centerOnScreen(QWidget* widget)
{
    const int width = widget->width();
    const int height = widget->height();
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // The extent a grab of the whole screen would have, in its own pixels, relative to its
    // top-left corner; taken from the screen's size, since a real grab costs a frame's copy.
    const QSize pixels = screen->geometry().size() * screen->devicePixelRatio();
    const QRect screenRect(QPoint(0, 0), pixels);
    widget->move((screenRect.left() + screenRect.right()) / 2 - (width - 1) / 2,
        (screenRect.top() + screenRect.bottom()) / 2 - (height - 1) / 2);
}
