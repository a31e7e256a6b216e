#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
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

// An event loop of its own also handles the ends of the test's other processes, so
// this is only for tests that serve X clients themselves.
QByteArray runClient(const QString& program, const QStringList& arguments, int timeoutMs)
{
    QProcess tool;
    QEventLoop loop;
    QObject::connect(&tool, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
        &QEventLoop::quit);
    QObject::connect(&tool, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    tool.start(program, arguments);
    if (tool.state() != QProcess::NotRunning)
        loop.exec();
    if (tool.state() != QProcess::NotRunning) {
        tool.kill();
        tool.waitForFinished();
    }
    return tool.readAllStandardOutput();
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QString xdotool(const QStringList& arguments)
{
    return runTool(QStringLiteral("xdotool"), arguments).trimmed();
}

QRect geometryOf(const QString& window)
{
    QMap<QString, int> values;
    for (const QString& line :
        runTool(QStringLiteral("xdotool"), {"getwindowgeometry", "--shell", window})
            .split('\n', Qt::SkipEmptyParts))
        values.insert(line.section('=', 0, 0), line.section('=', 1).toInt());
    return QRect(
        values.value("X"), values.value("Y"), values.value("WIDTH"), values.value("HEIGHT"));
}

void click(const QPoint& point, const QString& button, int repeat)
{
    xdotool({"mousemove", QString::number(point.x()), QString::number(point.y()), "click",
        "--repeat", QString::number(repeat), "--delay", "80", button});
}

void clickIn(const QString& window, const QPoint& point)
{
    xdotool({"mousemove", "--window", window, QString::number(point.x()),
        QString::number(point.y()), "click", "1"});
}

void drag(const QRect& area)
{
    const QPoint end = area.bottomRight() + QPoint(1, 1);
    xdotool({"mousemove", QString::number(area.x()), QString::number(area.y()), "mousedown", "1",
        "mousemove", QString::number(area.center().x()), QString::number(area.center().y()),
        "mousemove", QString::number(end.x()), QString::number(end.y()), "mouseup", "1"});
}

void hotKey(int keyCode)
{
    xdotool({"key", "ctrl+shift+" + QString(QChar(keyCode))});
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
    process->start(QFileInfo(program).isAbsolute() ? program : binaryPath(program), arguments);
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
