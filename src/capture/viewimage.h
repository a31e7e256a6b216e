#pragma once

#include <QPixmap>
#include <QRect>
#include <QWidget>

// The full-screen window on which a cut is made: it shows the frozen screen,
// draws the selection over it and hands every mouse and key event on.
class ViewImage : public QWidget
{
    Q_OBJECT
public:
    explicit ViewImage(QWidget* parent = nullptr);

signals:
    void mouseMove(QMouseEvent* ev);
    void mousePress(QMouseEvent* ev);
    void mouseRelease(QMouseEvent* ev);
    void keyPress(QKeyEvent* ev);
    void keyRelease(QKeyEvent* ev);
    // The window was closed: by the program, or from outside by the window
    // manager or another client.
    void closed();

public slots:
    // The event handlers only relay: the controller decides what an event means.
    void mouseMoveEvent(QMouseEvent* ev) override;
    void mousePressEvent(QMouseEvent* ev) override;
    void mouseReleaseEvent(QMouseEvent* ev) override;
    void keyPressEvent(QKeyEvent* ev) override;
    void keyReleaseEvent(QKeyEvent* ev) override;
    void updateSelectRect(QRect rect);
    void setScreenShot(QPixmap pixmap);
    QPixmap getScreenShot();
    QRect getRect();
    void setRect(QRect rect);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, long* result) override;

private:
    QPixmap screenShot;
    QRect selectRect;
};
