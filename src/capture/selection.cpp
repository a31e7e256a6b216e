#include "selection.h"

#include <QtGlobal>

Selection Selection::startedAt(QPoint anchor)
{
    return Selection(QRect(anchor, anchor - QPoint(1, 1)));
}

Selection Selection::draggedTo(QPoint pointer) const
{
    QRect dragged = area;
    dragged.setBottomRight(pointer - QPoint(1, 1));
    return Selection(dragged);
}

Selection Selection::collapsed() const
{
    return draggedTo(area.topLeft());
}

bool Selection::contains(QPoint pointer) const
{
    const int l = area.left();
    const int t = area.top();
    const int r = area.right();
    const int b = area.bottom();
    const int px = pointer.x();
    const int py = pointer.y();
    const bool insideX = (l < px && px <= r) || (r + 1 < px && px < l);
    const bool insideY = (t < py && py <= b) || (b + 1 < py && py < t);
    return insideX && insideY;
}

QRect Selection::sourceRect() const
{
    const int w = area.right() - area.left() + 1;
    const int h = area.bottom() - area.top() + 1;
    const int x = w >= 0 ? area.left() : area.right() + 1;
    const int y = h >= 0 ? area.top() : area.bottom() + 1;
    return QRect(x, y, qAbs(w), qAbs(h));
}
