#include "autostart.h"

#include "app/appnames.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QString>

namespace {

// The XDG base directory rules: an unset, empty or relative value means ~/.config.
QString configHome()
{
    const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configured.isEmpty() || QDir::isRelativePath(configured))
        return QDir::homePath() + QStringLiteral("/.config");
    return configured;
}

QString autostartDirectory()
{
    return configHome() + QStringLiteral("/autostart");
}

QString entryPath()
{
    return autostartDirectory() + QLatin1Char('/') + AppNames::LauncherExecutable
        + QStringLiteral(".desktop");
}

// Exec= takes a command line: a path with blanks or shell characters must be quoted,
// and inside the quotes `"`, `` ` ``, `$` and `\` are escaped. The value itself then
// escapes every backslash once more, and a literal '%' is written "%%".
QString execValue(const QString& program)
{
    static const QString reserved = QStringLiteral(" \t\"'\\><~|&;$*?#()`");
    bool needsQuotes = false;
    for (const QChar c : program)
        needsQuotes = needsQuotes || reserved.contains(c);
    QString value = program;
    value.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (!needsQuotes)
        return value;
    QString quoted;
    for (const QChar c : value) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$')
            || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray desktopEntry(const QString& launcherPath)
{
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=%1\n"
                                        "Exec=%2\n"
                                        "Icon=camera-photo\n"
                                        "Terminal=false\n")
                             .arg(AppNames::LauncherExecutable, execValue(launcherPath));
    return text.toUtf8();
}

bool writeEntry(const QString& launcherPath)
{
    // A line break would end the Exec line and corrupt the entry.
    if (launcherPath.contains(QLatin1Char('\n')) || launcherPath.contains(QLatin1Char('\r'))
        || QDir::isRelativePath(launcherPath))
        return false;
    if (!QDir().mkpath(autostartDirectory()))
        return false;
    // Written at every start: an entry that is already right is left alone.
    const QByteArray entry = desktopEntry(launcherPath);
    QFile old(entryPath());
    if (old.open(QIODevice::ReadOnly) && old.size() == entry.size() && old.readAll() == entry)
        return true;
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(entry);
    return file.commit();
}

bool removeEntry()
{
    QFile entry(entryPath());
    return !entry.exists() || entry.remove();
}

} // namespace

namespace platform {

bool setStartWithSystem(bool enabled, const std::wstring& launcherPath)
{
    if (enabled)
        return writeEntry(QString::fromStdWString(launcherPath));
    return removeEntry();
}

} // namespace platform
