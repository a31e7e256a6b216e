#include "testsupport.h"

#include <QDir>

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

} // namespace TestSupport
