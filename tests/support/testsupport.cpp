#include "testsupport.h"

#include "app/appnames.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
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

QString useHome(const QString& folder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder)
    const QString settings = QDir::homePath() + AppNames::SettingsFolder;
    QFile::remove(settings);
    QDir(settings).removeRecursively();
#else
    qputenv("HOME", folder.toUtf8());
#endif
    return QDir::homePath();
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

bool hasInputFocus(const QString& window)
{
    return !window.isEmpty() && xdotool({"getwindowfocus"}) == window;
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

QString desktopWm()
{
    return qEnvironmentVariable("PELICROW_TEST_WM", QStringLiteral("none"));
}

QString desktopTray()
{
    return qEnvironmentVariable("PELICROW_TEST_TRAY", QStringLiteral("none"));
}

bool Desktop::start(const QString& wm, const QString& tray)
{
    stop();
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(sourcePath(QStringLiteral("tests/support/desktop")), {wm, tray});
    // A window manager and a panel take seconds to come up on a busy machine.
    return QTest::qWaitFor(
               [this] { return process.canReadLine() || process.state() == QProcess::NotRunning; },
               60000)
        && process.readLine().trimmed() == "ready";
}

void Desktop::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
    }
}

namespace {

// A tray in this very process answers the call from its event loop, which
// therefore runs meanwhile.
QString gdbusCall(const QStringList& arguments, bool* succeeded = nullptr)
{
    QProcess gdbus;
    gdbus.start(QStringLiteral("gdbus"), QStringList {"call", "--session"} + arguments);
    const bool ended
        = QTest::qWaitFor([&] { return gdbus.state() == QProcess::NotRunning; }, 10000);
    if (!ended) {
        gdbus.kill();
        gdbus.waitForFinished();
    }
    if (succeeded)
        *succeeded = ended && gdbus.exitStatus() == QProcess::NormalExit && gdbus.exitCode() == 0;
    return QString::fromUtf8(gdbus.readAllStandardOutput());
}

// The registered StatusNotifierItem as bus name and object path.
QStringList trayItem()
{
    const QString reply = gdbusCall({"--dest", "org.kde.StatusNotifierWatcher", "--object-path",
        "/StatusNotifierWatcher", "--method", "org.freedesktop.DBus.Properties.Get",
        "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems"});
    const int start = reply.indexOf(QLatin1Char('\'')) + 1;
    const QString item = reply.mid(start, reply.indexOf(QLatin1Char('\''), start) - start);
    if (start == 0 || item.isEmpty())
        return {};
    const int slash = item.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return {item, QStringLiteral("/StatusNotifierItem")};
    return {item.left(slash), item.mid(slash)};
}

} // namespace

QStringList exportedTrayMenu()
{
    const QStringList item = trayItem();
    if (item.isEmpty())
        return {};
    const QString path = gdbusCall(
        {"--dest", item[0], "--object-path", item[1], "--method",
            "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", "Menu"})
                             .section(QLatin1Char('\''), 1, 1);
    const QString layout = gdbusCall({"--dest", item[0], "--object-path", path, "--method",
        "com.canonical.dbusmenu.GetLayout", "--", "0", "-1", "[]"});
    // Each entry is (id, {properties}, [children]): the depth of the brackets
    // around a property list is the depth of the entry.
    QStringList entries;
    int depth = 0;
    for (int i = 0; i < layout.size(); ++i) {
        const QChar c = layout.at(i);
        if (c == QLatin1Char('['))
            ++depth;
        else if (c == QLatin1Char(']'))
            --depth;
        else if (c == QLatin1Char('{')) {
            const int end = layout.indexOf(QLatin1Char('}'), i);
            const QString properties = layout.mid(i, end - i);
            i = end;
            const QRegularExpression label(QStringLiteral("'label': <'([^']*)'>"));
            const QRegularExpressionMatch match = label.match(properties);
            if (!match.hasMatch() || properties.contains(QLatin1String("'visible': <false>")))
                continue;
            QString entry = QString(2 * (depth - 1), QLatin1Char(' ')) + match.captured(1);
            if (properties.contains(QLatin1String("'enabled': <false>")))
                entry += QLatin1String(" [disabled]");
            entries << entry;
        }
    }
    return entries;
}

bool trayNeedsAttention()
{
    const QStringList item = trayItem();
    return !item.isEmpty()
        && gdbusCall(
            {"--dest", item[0], "--object-path", item[1], "--method",
                "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", "Status"})
               .contains(QLatin1String("NeedsAttention"));
}

bool callTrayItem(const QString& method, const QPoint& at)
{
    const QStringList item = trayItem();
    if (item.isEmpty())
        return false;
    bool succeeded = false;
    gdbusCall({"--dest", item[0], "--object-path", item[1], "--method",
                  "org.kde.StatusNotifierItem." + method, "--", QString::number(at.x()),
                  QString::number(at.y())},
        &succeeded);
    return succeeded;
}

} // namespace TestSupport
