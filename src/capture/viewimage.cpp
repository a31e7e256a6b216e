#include "viewimage.h"

#include "app/appnames.h"

#include <QIcon>
#include <QPainter>

ViewImage::ViewImage(QWidget* parent)
    : QWidget(parent)
{
    // Moves without a held button are needed for the hover cursor.
    setAttribute(Qt::WA_MouseTracking, true);
    setWindowIcon(QIcon(AppNames::Icon));
    setWindowTitle(QStringLiteral("Pelicrow"));
}

void ViewImage::mouseMoveEvent(QMouseEvent* ev)
{
    emit mouseMove(ev);
}

void ViewImage::mousePressEvent(QMouseEvent* ev)
{
    emit mousePress(ev);
}

void ViewImage::mouseReleaseEvent(QMouseEvent* ev)
{
    emit mouseRelease(ev);
}

void ViewImage::keyPressEvent(QKeyEvent* ev)
{
    emit keyPress(ev);
}

void ViewImage::keyReleaseEvent(QKeyEvent* ev)
{
    emit keyRelease(ev);
}

void ViewImage::updateSelectRect(QRect rect)
{
    selectRect = rect;
    repaint();
}

void ViewImage::setScreenShot(QPixmap pixmap)
{
    screenShot = pixmap;
}

QPixmap ViewImage::getScreenShot()
{
    return screenShot;
}

QRect ViewImage::getRect()
{
    return selectRect;
}

void ViewImage::setRect(QRect rect)
{
    selectRect = rect;
}

void ViewImage::paintEvent(QPaintEvent*)
{
    QPainter painter;
    painter.begin(this);
    painter.drawPixmap(
        QRect(0, 0, screenShot.width(), screenShot.height()), screenShot, screenShot.rect());
    painter.end();

    // A faint veil over the selection; the rest of the screen stays as it was.
    painter.begin(this);
    painter.fillRect(selectRect, QColor(200, 200, 200, 50));
    painter.end();

    painter.begin(this);
    painter.setPen(QPen(QColor(0, 0, 0, 255)));
    painter.drawRects(&selectRect, 1);
    painter.end();
}
