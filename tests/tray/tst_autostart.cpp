#include "app/appnames.h"
#include "platform/autostart.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QtTest>

// The start-with-system entry as the desktop session reads it: a desktop entry in
// the XDG autostart folder that Debian's validator accepts.
class TestAutostart : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void entryFollowsXdgConfigHome_data();
    void entryFollowsXdgConfigHome();
    void entryIsValidAndNamesLauncher_data();
    void entryIsValidAndNamesLauncher();
    void disablingRemovesEntryAndToleratesMissingOne();
    void pathWithLineBreakIsRefused();

private:
    static QString entryIn(const QString& configHome);
    static QString validatorOutput(const QString& entry, int* exitCode);
    static QString execLine(const QString& entry);
};

QString TestAutostart::entryIn(const QString& configHome)
{
    return configHome + "/autostart/" + AppNames::LauncherExecutable + ".desktop";
}

QString TestAutostart::validatorOutput(const QString& entry, int* exitCode)
{
    QProcess validator;
    validator.setProcessChannelMode(QProcess::MergedChannels);
    validator.start("desktop-file-validate", {entry});
    validator.waitForFinished(10000);
    *exitCode = validator.exitCode();
    return QString::fromUtf8(validator.readAll());
}

QString TestAutostart::execLine(const QString& entry)
{
    QFile file(entry);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("Exec="))
            return QString::fromUtf8(line.mid(5));
    }
    return {};
}

void TestAutostart::init()
{
    QDir(QDir::homePath() + "/.config").removeRecursively();
    QDir(QDir::homePath() + "/elsewhere").removeRecursively();
}

void TestAutostart::entryFollowsXdgConfigHome_data()
{
    QTest::addColumn<QByteArray>("xdgConfigHome");
    QTest::addColumn<QString>("expectedHome");
    const QString home = QDir::homePath();
    QTest::newRow("set") << QString(home + "/elsewhere/config").toUtf8()
                         << home + "/elsewhere/config";
    QTest::newRow("unset") << QByteArray() << home + "/.config";
    QTest::newRow("relative is ignored") << QByteArray("relative/config") << home + "/.config";
}

void TestAutostart::entryFollowsXdgConfigHome()
{
    QFETCH(QByteArray, xdgConfigHome);
    QFETCH(QString, expectedHome);
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    if (xdgConfigHome.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", xdgConfigHome);

    QVERIFY(!QDir(expectedHome + "/autostart").exists());
    const bool written = platform::setStartWithSystem(true, L"/opt/pelicrow/Pelicrow_Launcher");
    qputenv("XDG_CONFIG_HOME", saved);
    QVERIFY(written);
    QVERIFY(QFile::exists(entryIn(expectedHome)));
}

void TestAutostart::entryIsValidAndNamesLauncher_data()
{
    QTest::addColumn<QString>("launcher");
    QTest::newRow("plain") << "/opt/pelicrow/Pelicrow_Launcher";
    QTest::newRow("blanks") << "/home/ann/My Programs/Pelicrow_Launcher";
    QTest::newRow("shell characters") << "/home/ann/a$b \"c\" 50%/Pelicrow_Launcher";
    QTest::newRow("backslash") << "/home/ann/back\\slash/Pelicrow_Launcher";
}

// The command a session would run, read back with the quoting rules of desktop entries.
static QString unquoteExec(QString value)
{
    value.replace("\\\\", "\\");
    if (value.startsWith('"') && value.endsWith('"')) {
        QString inner = value.mid(1, value.size() - 2);
        QString plain;
        for (int i = 0; i < inner.size(); ++i) {
            if (inner[i] == '\\' && i + 1 < inner.size())
                ++i;
            plain += inner[i];
        }
        value = plain;
    }
    return value.replace("%%", "%");
}

void TestAutostart::entryIsValidAndNamesLauncher()
{
    QFETCH(QString, launcher);
    QVERIFY(platform::setStartWithSystem(true, launcher.toStdWString()));
    const QString entry = entryIn(qEnvironmentVariable("XDG_CONFIG_HOME"));

    int exitCode = -1;
    const QString complaints = validatorOutput(entry, &exitCode);
    QVERIFY2(exitCode == 0 && complaints.isEmpty(), qPrintable(complaints));
    QSettings desktop(entry, QSettings::IniFormat);
    desktop.beginGroup("Desktop Entry");
    QCOMPARE(desktop.value("Type").toString(), QString("Application"));
    QCOMPARE(desktop.value("Name").toString(), AppNames::LauncherExecutable);
    QVERIFY(!desktop.value("Icon").toString().isEmpty());
    QCOMPARE(unquoteExec(execLine(entry)), launcher);
}

void TestAutostart::disablingRemovesEntryAndToleratesMissingOne()
{
    const QString entry = entryIn(qEnvironmentVariable("XDG_CONFIG_HOME"));
    QVERIFY(platform::setStartWithSystem(true, L"/opt/Pelicrow_Launcher"));
    QVERIFY(QFile::exists(entry));
    QVERIFY(platform::setStartWithSystem(false, L"/opt/Pelicrow_Launcher"));
    QVERIFY(!QFile::exists(entry));
    QVERIFY(platform::setStartWithSystem(false, L"/opt/Pelicrow_Launcher"));
}

void TestAutostart::pathWithLineBreakIsRefused()
{
    const QString entry = entryIn(qEnvironmentVariable("XDG_CONFIG_HOME"));
    QVERIFY(!platform::setStartWithSystem(true, L"/opt/evil\nExec=/bin/sh/Pelicrow_Launcher"));
    QVERIFY(!QFile::exists(entry));
}

QTEST_GUILESS_MAIN(TestAutostart)
#include "tst_autostart.moc"
