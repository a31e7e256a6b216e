#pragma once

#include <QProcess>

// A notification area (trayer) along the top right of the test's X server, as a
// desktop panel would offer; ended when destroyed.
class TrayHost
{
public:
    ~TrayHost();
    // Starts it and waits until tray icons can dock.
    bool start();
    static constexpr int Height = 24;

private:
    QProcess m_process;
};
