#include "roundrectbutton.h"

ButtonPainting RoundRectButton::painting() const
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
    return painting;
}
