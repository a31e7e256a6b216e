#include "viewimage.h"

#include "app/appnames.h"
#include "platform/nativewindowevent.h"
#include "platform/taskbar.h"

#include <QCloseEvent>
#include <QIcon>
#include <QPainter>
#include <QTimer>

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

// The image and the selection are in screen pixels; on a scaled screen a
// widget pixel covers several of them, so both are drawn at 1 / ratio.
void ViewImage::paintEvent(QPaintEvent*)
{
    const qreal ratio = screenShot.devicePixelRatio();
    QPainter painter;
    painter.begin(this);
    painter.drawPixmap(QRectF(0, 0, screenShot.width() / ratio, screenShot.height() / ratio),
        screenShot, QRectF(screenShot.rect()));
    painter.end();

    // A faint veil over the selection; the rest of the screen stays as it was.
    painter.begin(this);
    painter.scale(1 / ratio, 1 / ratio);
    painter.fillRect(selectRect, QColor(200, 200, 200, 50));
    painter.end();

    painter.begin(this);
    painter.scale(1 / ratio, 1 / ratio);
    painter.setPen(QPen(QColor(0, 0, 0, 255)));
    painter.drawRects(&selectRect, 1);
    painter.end();
}

// Part of a capture, not a window of its own: no task-bar entry.
void ViewImage::showEvent(QShowEvent* event)
{
    platform::keepOffTaskBar(winId());
    QWidget::showEvent(event);
}

void ViewImage::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    emit closed();
}

// A window destroyed from outside is closed like any other, once the toolkit
// has left the event that reported it; its native window is then let go at
// once, so that the next show makes a new one.
bool ViewImage::nativeEvent(const QByteArray& eventType, void* message, long* result)
{
    if (platform::isWindowDestroyedEvent(eventType.constData(), message)) {
        QTimer::singleShot(0, this, [this]() {
            close();
            destroy();
        });
    }
    return QWidget::nativeEvent(eventType, message, result);
}
