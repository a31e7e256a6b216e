#pragma once

#include <QColor>
#include <QFont>
#include <QPainterPath>

class QPushButton;

// The glossy look shared by the self-painted buttons: an outline, a clipped body
// with a vertical gradient, a white gloss, then the text and the icon on top.
// Each button class supplies its own shapes and colours.
struct ButtonPainting
{
    QColor outlineColor;
    QColor gradientTop;
    QColor gradientBottom;
    QPainterPath outerShape;
    QPainterPath clipShape;
    QPainterPath bodyShape;
    QPainterPath glossShape;
    QFont textFont;

    static QColor stateColor(bool enabled, bool hovered, bool pressed, const QColor& normalColor,
        const QColor& hoverColor);
    void paint(QPushButton* button, const QColor& stateColor, double opacity) const;
};
