#include "circularbutton.h"

ButtonPainting CircularButton::painting() const
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
    return painting;
}
