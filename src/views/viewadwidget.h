#pragma once

#include <QPixmap>
#include <QWidget>

// The clickable picture surface of the main window's carousel.
class ViewAdWidget : public QWidget
{
    Q_OBJECT
public:
    explicit ViewAdWidget(QWidget* parent = nullptr);

    void setPixmap(QPixmap pixmap);

signals:
    void adClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap picture;
};
