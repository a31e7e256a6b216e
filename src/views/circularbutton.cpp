#include "circularbutton.h"

#include "buttonpainting.h"

CircularButton::CircularButton(QWidget* parent)
    : QPushButton(parent)
{ }

CircularButton::CircularButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{ }

CircularButton::CircularButton(const QIcon& icon, const QString& text, QWidget* parent)
    : QPushButton(icon, text, parent)
{ }

void CircularButton::mousePressEvent(QMouseEvent* event)
{
    pressed = true;
    repaint();
    QPushButton::mousePressEvent(event);
}

void CircularButton::mouseReleaseEvent(QMouseEvent* event)
{
    pressed = false;
    repaint();
    QPushButton::mouseReleaseEvent(event);
}

void CircularButton::enterEvent(QEvent* event)
{
    hovered = true;
    repaint();
    QWidget::enterEvent(event);
}

void CircularButton::leaveEvent(QEvent* event)
{
    hovered = false;
    repaint();
    QWidget::leaveEvent(event);
}

void CircularButton::paintEvent(QPaintEvent*)
{
    const qreal w = width();
    const qreal h = height();
    ButtonPainting painting;
    painting.outlineColor = QColor(153, 153, 153);
    painting.gradientTop = QColor(230, 230, 230);
    painting.gradientBottom = QColor(179, 179, 179);
    painting.outerShape.addEllipse(QRectF(1, 1, w - 2, h - 2));
    painting.clipShape.addEllipse(QRectF(1, 1, w - 3, h - 3));
    painting.bodyShape = painting.clipShape;
    painting.glossShape.addEllipse(QRectF(2, 2, w - 3, h - 3));
    painting.textFont = font();
    painting.paint(this,
        ButtonPainting::stateColor(isEnabled(), hovered, pressed, normalColor, hoverColor),
        opacity);
}
