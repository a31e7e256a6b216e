#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTimer>

namespace TestSupport {

QString binaryPath(const QString& program)
{
    return QStringLiteral(PELICROW_BIN_DIR "/") + program;
}

QString sourcePath(const QString& relative)
{
    return QStringLiteral(PELICROW_SOURCE_DIR "/") + relative;
}

QString runTool(const QString& program, const QStringList& arguments, int timeoutMs)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(timeoutMs)) {
        tool.kill();
        tool.waitForFinished();
    }
    return QString::fromUtf8(tool.readAllStandardOutput());
}

QStringList windowsOfProcess(qint64 pid)
{
    return runTool(
        QStringLiteral("xdotool"), {"search", "--onlyvisible", "--pid", QString::number(pid)})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList boxesOfProcess(qint64 pid)
{
    QStringList boxes;
    for (const QString& window : windowsOfProcess(pid)) {
        const QString geometry
            = runTool(QStringLiteral("xdotool"), {"getwindowgeometry", "--shell", window});
        if (!geometry.contains(QLatin1String("WIDTH=400\nHEIGHT=332\n")))
            boxes << window;
    }
    return boxes;
}

void sendKeys(const QString& window, const QStringList& keys)
{
    runTool(QStringLiteral("xdotool"), {"windowfocus", "--sync", window});
    runTool(QStringLiteral("xdotool"), QStringList {"key", "--clearmodifiers"} + keys);
}

QProcess* startProgram(const QString& program, const QStringList& arguments)
{
    auto* process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(binaryPath(program), arguments);
    process->waitForStarted();
    return process;
}

void answerDirectoryDialog(const QString& directory)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, directory] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        if (directory.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->setDirectory(directory);
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog hides it as protected
    });
    timer->start(20);
}

QString installRecordingXdgOpen(const QString& scratchDir)
{
    const QString bin = scratchDir + QStringLiteral("/bin");
    const QString record = scratchDir + QStringLiteral("/opened");
    QFile script(bin + QStringLiteral("/xdg-open"));
    if (!QDir().mkpath(bin) || !script.open(QIODevice::WriteOnly))
        return QString();
    script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + record.toUtf8() + "'\n");
    script.close();
    script.setPermissions(script.permissions() | QFile::ExeOwner);
    qputenv("PATH", bin.toUtf8() + ":" + qgetenv("PATH"));
    return record;
}

} // namespace TestSupport
