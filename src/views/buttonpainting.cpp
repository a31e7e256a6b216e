#include "buttonpainting.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>

namespace {

QPen outlinePen(const QColor& color)
{
    return QPen(color, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

} // namespace

QColor ButtonPainting::stateColor(
    bool enabled, bool hovered, bool pressed, const QColor& normalColor, const QColor& hoverColor)
{
    if (!enabled)
        return QColor(50, 50, 50);
    if (pressed)
        return hoverColor.darker(250);
    return hovered ? hoverColor : normalColor;
}

void ButtonPainting::paint(QPushButton* button, const QColor& stateColor, double opacity) const
{
    const int w = button->width();
    const int h = button->height();
    QPainter painter(button);
    painter.setRenderHint(QPainter::Antialiasing);

    painter.setPen(outlinePen(outlineColor));
    painter.setOpacity(opacity);
    painter.drawPath(outerShape);

    QLinearGradient gradient(0, 0, 0, h);
    gradient.setColorAt(0, gradientTop);
    gradient.setColorAt(1, gradientBottom);
    painter.setBrush(gradient);
    painter.setPen(outlinePen(stateColor));
    painter.setClipPath(clipShape);
    painter.setOpacity(opacity);
    painter.drawPath(bodyShape);

    painter.setBrush(Qt::white);
    painter.setPen(QPen(Qt::white, 0.01));
    painter.setOpacity(0.3);
    painter.drawPath(glossShape);

    if (!button->text().isNull()) {
        painter.setFont(textFont);
        painter.setPen(Qt::black);
        painter.setOpacity(1.0);
        painter.drawText(QRect(0, 0, w, h), Qt::AlignHCenter | Qt::AlignVCenter, button->text());
    }
    if (!button->icon().isNull()) {
        painter.setOpacity(1.0);
        const QSize iconSize = button->iconSize();
        const QPixmap pixmap = button->icon().pixmap(iconSize, QIcon::Normal, QIcon::Off);
        painter.drawPixmap((w - iconSize.width()) / 2, (h - iconSize.height()) / 2, pixmap);
    }
}
