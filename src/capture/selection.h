#pragma once

#include <QPoint>
#include <QRect>

// A selection on the overlay, in screen-image pixels. Its left/top is the
// anchor (where the button went down); its right/bottom is the pointer minus
// one in each axis, so that for a rectangle dragged right and down the
// pointer's pixel lies just outside it. A rectangle dragged left or up keeps
// right < left or bottom < top: it is never normalised. Right = left - 1 (or
// bottom = top - 1) is an empty selection; the null rectangle means idle.
class Selection
{
public:
    explicit Selection(const QRect& rect = QRect())
        : area(rect)
    { }

    static Selection startedAt(QPoint anchor);
    Selection draggedTo(QPoint pointer) const;
    // Back to nothing but the anchor.
    Selection collapsed() const;
    // The anchor's own column and row count as outside, whichever way the
    // rectangle was dragged; so does an empty selection.
    bool contains(QPoint pointer) const;
    // The area between the anchor and the pointer, normalised.
    QRect sourceRect() const;
    QRect rect() const { return area; }

private:
    QRect area;
};
