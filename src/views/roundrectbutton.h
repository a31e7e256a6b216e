#pragma once

#include <QColor>
#include <QPushButton>

// A green, glossy rectangle with rounded corners that paints itself instead of
// using the platform style.
class RoundRectButton : public QPushButton
{
    Q_OBJECT
public:
    explicit RoundRectButton(QWidget* parent = nullptr);
    RoundRectButton(const QString& text, QWidget* parent = nullptr);
    RoundRectButton(const QIcon& icon, const QString& text, QWidget* parent = nullptr);

    bool hovered = false;
    bool pressed = false;
    QColor normalColor = Qt::gray;
    QColor hoverColor = Qt::lightGray;
    double opacity = 1.0;
    int radius = 0;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
