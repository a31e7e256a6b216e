#include "app/appnames.h"
#include "app/executablecheck.h"
#include "app/processutils.h"
#include "platform/processnamecount.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <memory>
#include <vector>

class TestProcessUtils : public QObject
{
    Q_OBJECT
private slots:
    void countsNameInRawListing_data();
    void countsNameInRawListing();
    void countsEqualLines_data();
    void countsEqualLines();
    void countsRunningProcessesByExactName();
    void executeShellStartsAndWaits();
    void executeShellRefusesWhatCannotStart();
    void recognisesProgramsOfThePlatform_data();
    void recognisesProgramsOfThePlatform();

private:
    QString copyOfSelf(const QString& dir, const QString& name);
};

void TestProcessUtils::countsNameInRawListing_data()
{
    QTest::addColumn<QString>("listing");
    QTest::addColumn<int>("count");
    const QString header = "Caption                \r\r\nSystem Idle Process    \r\r\n";
    QTest::newRow("none") << header + "explorer.exe           \r\r\n" << 0;
    QTest::newRow("one") << header + "Pelicrow.exe           \r\r\n" << 1;
    QTest::newRow("two") << header + "Pelicrow.exe   \r\r\nPelicrow.exe   \r\r\n" << 2;
    QTest::newRow("launcher is not the program") << header + "Pelicrow_Launcher.exe  \r\r\n" << 0;
    QTest::newRow("longer name containing it") << header + "OldPelicrow.exe        \r\r\n" << 1;
    QTest::newRow("other letter case") << header + "pelicrow.exe           \r\r\n" << 0;
    QTest::newRow("empty listing") << QString() << 0;
}

void TestProcessUtils::countsNameInRawListing()
{
    QFETCH(QString, listing);
    QFETCH(int, count);
    QCOMPARE(platform::countNameOccurrences(listing.toStdWString(), L"Pelicrow.exe"), count);
}

void TestProcessUtils::countsEqualLines_data()
{
    QTest::addColumn<QString>("listing");
    QTest::addColumn<int>("count");
    QTest::newRow("none") << "bash\nXvfb\n" << 0;
    QTest::newRow("one") << "bash\nPelicrow\nXvfb\n" << 1;
    QTest::newRow("two, last without line end") << "Pelicrow\nbash\nPelicrow" << 2;
    QTest::newRow("launcher is not the program") << "Pelicrow_Launcher\n" << 0;
    QTest::newRow("names that merely contain it") << "OldPelicrow\nPelicrow2\n" << 0;
    QTest::newRow("other letter case") << "pelicrow\n" << 0;
    QTest::newRow("empty listing") << QString() << 0;
}

void TestProcessUtils::countsEqualLines()
{
    QFETCH(QString, listing);
    QFETCH(int, count);
    QCOMPARE(platform::countEqualLines(listing.toStdWString(), L"Pelicrow"), count);
}

// A copy of this program under another name, started with --idle to be counted.
QString TestProcessUtils::copyOfSelf(const QString& dir, const QString& name)
{
    const QString path = dir + "/" + name + PELICROW_EXE_SUFFIX;
    if (!QFile::exists(path))
        QFile::copy(QCoreApplication::applicationFilePath(), path);
    return path;
}

void TestProcessUtils::countsRunningProcessesByExactName()
{
    QTemporaryDir dir;
    const QString name = QString("pcw%1").arg(QCoreApplication::applicationPid());
    const QString counted = name + PELICROW_EXE_SUFFIX;
    QCOMPARE(processCount(counted), 0);
    // Windows' listing is searched for the name: a longer one holding it counts too.
    const int longer = QString(PELICROW_EXE_SUFFIX).isEmpty() ? 0 : 1;

    std::vector<std::unique_ptr<QProcess>> running;
    auto startCopy = [&](const QString& executable) {
        running.emplace_back(new QProcess);
        running.back()->start(copyOfSelf(dir.path(), executable), {"--idle"});
        QVERIFY(running.back()->waitForStarted());
    };
    startCopy(name + "_Launcher");
    startCopy("x" + name);
    QTRY_COMPARE(processCount(counted), longer);
    startCopy(name);
    QTRY_COMPARE(processCount(counted), longer + 1);
    startCopy(name);
    QTRY_COMPARE(processCount(counted), longer + 2);
    for (auto& process : running) {
        process->kill();
        process->waitForFinished();
    }
    QTRY_COMPARE(processCount(counted), 0);
}

void TestProcessUtils::executeShellStartsAndWaits()
{
    QTemporaryDir dir;
#ifdef Q_OS_WIN
    const QString script = dir.path() + "/write marker.cmd";
    const QByteArray text = "@echo %~1> \"%~dp0marker\"\r\n";
    const QByteArray written = "waited\r\n";
#else
    const QString script = dir.path() + "/write marker.sh";
    const QByteArray text = "#!/bin/sh\nsleep 0.3\necho \"$1\" > \"$(dirname \"$0\")/marker\"\n";
    const QByteArray written = "waited\n";
#endif
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    file.setPermissions(file.permissions() | QFile::ExeOwner);

    QCOMPARE(executeShell(script, "runas", "waited", false, true), 0);
    QFile marker(dir.path() + "/marker");
    QVERIFY(marker.open(QIODevice::ReadOnly));
    QCOMPARE(marker.readAll(), written);
    marker.close();

    QVERIFY(QFile::remove(marker.fileName()));
    QCOMPARE(executeShell(script, "", "", true, false), 0);
    QTRY_VERIFY(QFile::exists(marker.fileName()));
    // Its folder can go once the script has ended: Windows removes no file in use.
    QTRY_VERIFY(QDir(dir.path()).removeRecursively());
}

void TestProcessUtils::executeShellRefusesWhatCannotStart()
{
    QCOMPARE(
        executeShell("/nonexistent/" + AppNames::LauncherExecutable, "runas", "", false, false),
        -1);
    QCOMPARE(executeShell("", "runas", "", false, false), -1);
}

namespace {

// Writes `value` little-endian, `bytes` wide, at `offset`.
void put(QByteArray& head, int offset, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        head[offset + i] = char(value >> (8 * i));
}

QByteArray elf(char wordSize, quint16 type, quint16 machine)
{
    QByteArray head = "\x7f"
                      "ELF"
        + QByteArray(60, '\0');
    head[4] = wordSize;
    head[5] = 1; // little-endian
    put(head, 16, type, 2);
    put(head, 18, machine, 2);
    return head;
}

QByteArray pe(quint16 machine, quint16 characteristics)
{
    QByteArray head
        = "MZ" + QByteArray(0x7e, '\0') + QByteArray("PE\0\0", 4) + QByteArray(0x100, '\0');
    put(head, 0x3c, 0x80, 4);
    put(head, 0x84, machine, 2);
    put(head, 0x96, characteristics, 2);
    return head;
}

} // namespace

void TestProcessUtils::recognisesProgramsOfThePlatform_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("ownHead");
    QTest::addColumn<bool>("same");
    const QByteArray linux64 = elf(2, 3, 62);
    const QByteArray windows64 = pe(0x8664, 0x0022);
    QTest::newRow("ELF executable") << elf(2, 2, 62) << linux64 << true;
    QTest::newRow("ELF position-independent") << linux64 << elf(2, 2, 62) << true;
    QTest::newRow("ELF for another machine") << elf(2, 3, 183) << linux64 << false;
    QTest::newRow("32-bit ELF") << elf(1, 3, 62) << linux64 << false;
    QTest::newRow("ELF object file") << elf(2, 1, 62) << linux64 << false;
    QTest::newRow("PE executable") << pe(0x8664, 0x0122) << windows64 << true;
    QTest::newRow("PE library") << pe(0x8664, 0x2022) << windows64 << false;
    QTest::newRow("PE for another machine") << pe(0x14c, 0x0102) << windows64 << false;
    QTest::newRow("MZ without PE header") << "MZ" + QByteArray(300, '\0') << windows64 << false;
    QTest::newRow("ELF where PE runs") << linux64 << windows64 << false;
    QTest::newRow("PE where ELF runs") << windows64 << linux64 << false;
    QTest::newRow("HTML page") << QByteArray("<html>blocked</html>").repeated(10) << linux64
                               << false;
}

void TestProcessUtils::recognisesProgramsOfThePlatform()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, ownHead);
    QFETCH(bool, same);
    QCOMPARE(ExecutableCheck::sameKindOfProgram(head, ownHead), same);
}

int main(int argc, char** argv)
{
    // A copy that countsRunningProcessesByExactName starts, counts and ends; should the
    // test end first, the closed input ends the copy too.
    if (argc == 2 && qstrcmp(argv[1], "--idle") == 0) {
        while (std::fgetc(stdin) != EOF) { }
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestProcessUtils test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_processutils.moc"
