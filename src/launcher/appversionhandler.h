#pragma once

#include <QObject>
#include <QString>

// Puts a downloaded newer main executable in place and starts the main program.
class AppVersionHandler : public QObject
{
    Q_OBJECT
public:
    explicit AppVersionHandler(QObject* parent = nullptr);

    void replaceExecutable();

private:
    bool installNewExecutable();

    QString tmpDir;
    QString appDir;
    QString newExePath;
    QString exePath;
};
