#include "viewadwidget.h"

#include <QPainter>

ViewAdWidget::ViewAdWidget(QWidget* parent)
    : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void ViewAdWidget::setPixmap(QPixmap pixmap)
{
    picture = pixmap;
}

void ViewAdWidget::mousePressEvent(QMouseEvent*)
{
    emit adClicked();
}

void ViewAdWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture);
}
