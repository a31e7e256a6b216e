#pragma once

#include <QObject>

// Reports Ctrl + Shift + a main-keyboard digit pressed in any application,
// without taking the key away from it.
class OpKeyHook : public QObject
{
    Q_OBJECT
public:
    explicit OpKeyHook(QObject* parent = nullptr);

signals:
    void ctrlShiftKeyPressed(int key);

private:
    static void reportHotKey(void* hook, int key);
    static void warnNoHotKeys();
    static void warnWaylandSession();
    static void showWarning(const QString& text);
};
