#include "app/appnames.h"
#include "app/executablecheck.h"
#include "app/processutils.h"
#include "platform/processnamecount.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

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
    QString copyOfSleep(const QString& dir, const QString& name);
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

QString TestProcessUtils::copyOfSleep(const QString& dir, const QString& name)
{
    const QString path = dir + "/" + name;
    if (!QFile::exists(path))
        QFile::copy("/bin/sleep", path);
    return path;
}

void TestProcessUtils::countsRunningProcessesByExactName()
{
    QTemporaryDir dir;
    const QString name = QString("pcw%1").arg(QCoreApplication::applicationPid());
    QCOMPARE(processCount(name), 0);

    std::vector<std::unique_ptr<QProcess>> running;
    auto startCopy = [&](const QString& executable) {
        running.emplace_back(new QProcess);
        running.back()->start(copyOfSleep(dir.path(), executable), {"30"});
        QVERIFY(running.back()->waitForStarted());
    };
    startCopy(name + "_Launcher");
    startCopy("x" + name);
    QCOMPARE(processCount(name), 0);
    startCopy(name);
    QTRY_COMPARE(processCount(name), 1);
    startCopy(name);
    QTRY_COMPARE(processCount(name), 2);
    for (auto& process : running) {
        process->kill();
        process->waitForFinished();
    }
    QTRY_COMPARE(processCount(name), 0);
}

void TestProcessUtils::executeShellStartsAndWaits()
{
    QTemporaryDir dir;
    const QString script = dir.path() + "/write marker.sh";
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\nsleep 0.3\necho \"$1\" > \"$(dirname \"$0\")/marker\"\n");
    file.close();
    file.setPermissions(file.permissions() | QFile::ExeOwner);

    QCOMPARE(executeShell(script, "runas", "waited", false, true), 0);
    QFile marker(dir.path() + "/marker");
    QVERIFY(marker.open(QIODevice::ReadOnly));
    QCOMPARE(marker.readAll(), QByteArray("waited\n"));
    marker.close();

    QVERIFY(QFile::remove(marker.fileName()));
    QCOMPARE(executeShell(script, "", "", true, false), 0);
    QTRY_VERIFY(QFile::exists(marker.fileName()));
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

QTEST_GUILESS_MAIN(TestProcessUtils)
#include "tst_processutils.moc"
