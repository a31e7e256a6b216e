#pragma once

#include "buttonpainting.h"

#include <QColor>
#include <QPushButton>

// A push button that paints itself instead of using the platform style and
// repaints at once when the pointer enters or leaves it and when a mouse button
// goes down or up. Subclasses supply the shapes and colours.
class PaintedButton : public QPushButton
{
    Q_OBJECT
public:
    explicit PaintedButton(QWidget* parent = nullptr);
    PaintedButton(const QString& text, QWidget* parent = nullptr);
    PaintedButton(const QIcon& icon, const QString& text, QWidget* parent = nullptr);

    bool hovered = false;
    bool pressed = false;
    QColor normalColor = Qt::gray;
    QColor hoverColor = Qt::lightGray;
    double opacity = 1.0;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

    virtual ButtonPainting painting() const = 0;
};
