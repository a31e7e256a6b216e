#pragma once

#include <QObject>
#include <QString>

// Puts a verified newer main executable in place, keeping the replaced one until
// the new one has shown that it runs, and starts the main program.
class AppVersionHandler : public QObject
{
    Q_OBJECT
public:
    explicit AppVersionHandler(QObject* parent = nullptr);

    void replaceExecutable();

private:
    bool installNewExecutable();
    void startNewExecutable();
    QString previousExePath() const { return exePath + QStringLiteral(".previous"); }

    QString tmpDir;
    QString appDir;
    QString newExePath;
    QString exePath;
};
