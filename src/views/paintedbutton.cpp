#include "paintedbutton.h"

PaintedButton::PaintedButton(QWidget* parent)
    : QPushButton(parent)
{ }

PaintedButton::PaintedButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{ }

PaintedButton::PaintedButton(const QIcon& icon, const QString& text, QWidget* parent)
    : QPushButton(icon, text, parent)
{ }

void PaintedButton::mousePressEvent(QMouseEvent* event)
{
    pressed = true;
    repaint();
    QPushButton::mousePressEvent(event);
}

void PaintedButton::mouseReleaseEvent(QMouseEvent* event)
{
    pressed = false;
    repaint();
    QPushButton::mouseReleaseEvent(event);
}

void PaintedButton::enterEvent(QEvent* event)
{
    hovered = true;
    repaint();
    QWidget::enterEvent(event);
}

void PaintedButton::leaveEvent(QEvent* event)
{
    hovered = false;
    repaint();
    QWidget::leaveEvent(event);
}

void PaintedButton::paintEvent(QPaintEvent*)
{
    painting().paint(this,
        ButtonPainting::stateColor(isEnabled(), hovered, pressed, normalColor, hoverColor),
        opacity);
}
