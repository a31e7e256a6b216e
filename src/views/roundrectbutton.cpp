#include "roundrectbutton.h"

#include "buttonpainting.h"

RoundRectButton::RoundRectButton(QWidget* parent)
    : QPushButton(parent)
{ }

RoundRectButton::RoundRectButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{ }

RoundRectButton::RoundRectButton(const QIcon& icon, const QString& text, QWidget* parent)
    : QPushButton(icon, text, parent)
{ }

void RoundRectButton::mousePressEvent(QMouseEvent* event)
{
    pressed = true;
    repaint();
    QPushButton::mousePressEvent(event);
}

void RoundRectButton::mouseReleaseEvent(QMouseEvent* event)
{
    pressed = false;
    repaint();
    QPushButton::mouseReleaseEvent(event);
}

void RoundRectButton::enterEvent(QEvent* event)
{
    hovered = true;
    repaint();
    QWidget::enterEvent(event);
}

void RoundRectButton::leaveEvent(QEvent* event)
{
    hovered = false;
    repaint();
    QWidget::leaveEvent(event);
}

void RoundRectButton::paintEvent(QPaintEvent*)
{
    const qreal w = width();
    const qreal h = height();
    ButtonPainting painting;
    painting.outlineColor = QColor(0, 145, 69);
    painting.gradientTop = QColor(140, 198, 63);
    painting.gradientBottom = QColor(57, 181, 74);
    painting.outerShape.addRoundedRect(
        QRectF(1, 1, w - 1, h - 1), radius, radius, Qt::AbsoluteSize);
    painting.clipShape.addRoundedRect(QRectF(1, 1, w - 2, h - 2), radius, radius, Qt::AbsoluteSize);
    painting.bodyShape = painting.clipShape;
    painting.glossShape.addRect(QRectF(1, 1, w - 1, height() / 2 - 1));
    painting.textFont = font();
    painting.textFont.setPointSize(12);
    painting.paint(this,
        ButtonPainting::stateColor(isEnabled(), hovered, pressed, normalColor, hoverColor),
        opacity);
}
