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
    // The screen's extent relative to its top-left corner, in the units windows
    // are placed in: on a scaled screen its pixels would put the window off centre.
    const QRect screenRect(QPoint(0, 0), screen->geometry().size());
    widget->move((screenRect.left() + screenRect.right()) / 2 - (width - 1) / 2,
        (screenRect.top() + screenRect.bottom()) / 2 - (height - 1) / 2);
}
