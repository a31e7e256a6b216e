#pragma once

#include <QWidget>

// Carries the centring that the program's windows use to place themselves.
class View : public QWidget
{
    Q_OBJECT
public:
    explicit View(QWidget* parent = nullptr);

    static void centerOnScreen(QWidget* widget);
};
