#pragma once

#include <QColor>
#include <QPushButton>

// A grey, glossy disc that paints itself instead of using the platform style.
class CircularButton : public QPushButton
{
    Q_OBJECT
public:
    explicit CircularButton(QWidget* parent = nullptr);
    CircularButton(const QString& text, QWidget* parent = nullptr);
    CircularButton(const QIcon& icon, const QString& text, QWidget* parent = nullptr);

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
};
