#include "view.h"

#include <QGuiApplication>
#include <QPixmap>
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
    // The screen's own pixels give its extent, so the place is relative to its top-left corner.
    const QRect screenRect = screen->grabWindow(0, 0, 0, -1, -1).rect();
    widget->move((screenRect.left() + screenRect.right()) / 2 - (width - 1) / 2,
        (screenRect.top() + screenRect.bottom()) / 2 - (height - 1) / 2);
}
