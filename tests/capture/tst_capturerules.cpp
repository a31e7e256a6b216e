#include "Model/modelconfig.h"
#include "capture/opimage.h"
#include "capture/selection.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QPixmap filledPixmap(QSize size, QColor colour)
{
    QPixmap pixmap(size);
    pixmap.fill(colour);
    return pixmap;
}

} // namespace

class TestCaptureRules : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void isInsideSelection_data();
    void isInsideSelection();
    void cutSourceRect_data();
    void cutSourceRect();
    void imageFileName_data();
    void imageFileName();
    void takenNamesGetACopyNumber();
    void userNameComesFromTheEnvironment_data();
    void userNameComesFromTheEnvironment();
    void nameFilterFor_data();
    void nameFilterFor();
    void saveAsRules_data();
    void saveAsRules();
    void directoryOf_data();
    void directoryOf();
    void saveWritesEveryImageType_data();
    void saveWritesEveryImageType();
    void failedSaveLeavesNothing_data();
    void failedSaveLeavesNothing();
    void failedSaveKeepsTheFileItWouldReplace();
    void missingFolderIsCreated();

private:
    ModelConfig model;
    OpImage* opImage = nullptr;
};

void TestCaptureRules::initTestCase()
{
    opImage = new OpImage;
    opImage->setModel(&model);
}

void TestCaptureRules::isInsideSelection_data()
{
    QTest::addColumn<QRect>("selection");
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<bool>("inside");
    const QRect rightDown(QPoint(100, 100), QPoint(299, 199));
    const QRect leftUp(QPoint(300, 200), QPoint(99, 99));
    const QRect leftDown(QPoint(300, 100), QPoint(99, 199));
    QTest::newRow("right-down middle") << rightDown << QPoint(200, 150) << true;
    QTest::newRow("right-down anchor column") << rightDown << QPoint(100, 150) << false;
    QTest::newRow("right-down anchor row") << rightDown << QPoint(200, 100) << false;
    QTest::newRow("right-down last pixel") << rightDown << QPoint(299, 199) << true;
    QTest::newRow("right-down release point") << rightDown << QPoint(300, 200) << false;
    QTest::newRow("left-up middle") << leftUp << QPoint(200, 150) << true;
    QTest::newRow("left-up release point") << leftUp << QPoint(100, 100) << false;
    QTest::newRow("left-up next to release") << leftUp << QPoint(101, 101) << true;
    QTest::newRow("left-up anchor") << leftUp << QPoint(300, 200) << false;
    QTest::newRow("left-up before anchor") << leftUp << QPoint(299, 199) << true;
    QTest::newRow("left-down middle") << leftDown << QPoint(200, 150) << true;
    QTest::newRow("left-down outside below") << leftDown << QPoint(200, 250) << false;
    QTest::newRow("empty at anchor")
        << QRect(QPoint(50, 50), QPoint(49, 49)) << QPoint(50, 50) << false;
    QTest::newRow("idle") << QRect() << QPoint(0, 0) << false;
}

void TestCaptureRules::isInsideSelection()
{
    QFETCH(QRect, selection);
    QFETCH(QPoint, pointer);
    QFETCH(bool, inside);
    QCOMPARE(Selection(selection).contains(pointer), inside);
}

void TestCaptureRules::cutSourceRect_data()
{
    QTest::addColumn<QPoint>("anchor");
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<QRect>("source");
    const QRect area(100, 100, 200, 100);
    QTest::newRow("right and down") << QPoint(100, 100) << QPoint(300, 200) << area;
    QTest::newRow("left and up") << QPoint(300, 200) << QPoint(100, 100) << area;
    QTest::newRow("left and down") << QPoint(300, 100) << QPoint(100, 200) << area;
    QTest::newRow("right and up") << QPoint(100, 200) << QPoint(300, 100) << area;
    QTest::newRow("click without drag") << QPoint(50, 50) << QPoint(50, 50) << QRect(50, 50, 0, 0);
}

void TestCaptureRules::cutSourceRect()
{
    QFETCH(QPoint, anchor);
    QFETCH(QPoint, pointer);
    QFETCH(QRect, source);
    const Selection selection = Selection::startedAt(anchor).draggedTo(pointer);
    // The selection's far corner is one pixel short of the pointer.
    QCOMPARE(selection.rect(), QRect(anchor, pointer - QPoint(1, 1)));
    QCOMPARE(selection.sourceRect(), source);
}

void TestCaptureRules::imageFileName_data()
{
    QTest::addColumn<QString>("userName");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("name");
    const QDateTime morning(QDate(2026, 12, 6), QTime(10, 57, 2));
    QTest::newRow("with user name") << "user1" << morning << ".jpg"
                                    << "user1 06_12_26 10.57.02.jpg";
    QTest::newRow("without user name") << "" << morning << ".png"
                                       << " 06_12_26 10.57.02.png";
    QTest::newRow("evening, 24-hour clock")
        << "user1" << QDateTime(QDate(2027, 1, 31), QTime(23, 5, 9)) << ".bmp"
        << "user1 31_01_27 23.05.09.bmp";
}

void TestCaptureRules::imageFileName()
{
    QFETCH(QString, userName);
    QFETCH(QDateTime, when);
    QFETCH(QString, type);
    QFETCH(QString, name);
    QTemporaryDir directory;
    const QString prefix = directory.path() + "/";
    QCOMPARE(OpImage::imageFileName(prefix, userName, when, type), prefix + name);
}

void TestCaptureRules::takenNamesGetACopyNumber()
{
    QTemporaryDir directory;
    const QString prefix = directory.path() + "/";
    const QDateTime when(QDate(2026, 12, 6), QTime(10, 57, 2));
    const QString stem = prefix + "user1 06_12_26 10.57.02";
    QFile(stem + ".png").open(QIODevice::WriteOnly);
    QCOMPARE(OpImage::imageFileName(prefix, "user1", when, ".png"), stem + " (2).png");
    QFile(stem + " (2).png").open(QIODevice::WriteOnly);
    QCOMPARE(OpImage::imageFileName(prefix, "user1", when, ".png"), stem + " (3).png");
    // Another type is another name.
    QCOMPARE(OpImage::imageFileName(prefix, "user1", when, ".jpg"), stem + ".jpg");
}

void TestCaptureRules::userNameComesFromTheEnvironment_data()
{
    QTest::addColumn<QByteArray>("username");
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QString>("nameStart");
    QTest::newRow("USERNAME") << QByteArray("Zoë") << QByteArray("other") << QString("Zoë ");
    QTest::newRow("USER when USERNAME is unset")
        << QByteArray() << QByteArray("bob") << QString("bob ");
    QTest::newRow("neither") << QByteArray() << QByteArray() << QString(" ");
}

// A full-screen capture without a screen: the grab is null, the save fails, and
// the reported path shows the name that was made.
void TestCaptureRules::userNameComesFromTheEnvironment()
{
    QFETCH(QByteArray, username);
    QFETCH(QByteArray, user);
    QFETCH(QString, nameStart);
    const QByteArray savedUsername = qgetenv("USERNAME");
    const QByteArray savedUser = qgetenv("USER");
    auto setOrUnset = [](const char* name, const QByteArray& value) {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    };
    setOrUnset("USERNAME", username);
    setOrUnset("USER", user);
    QTemporaryDir directory;
    model.setDirectory(directory.path() + "/");
    model.setImgType(".png");
    QSignalSpy failed(opImage, &OpImage::saveFailed);

    opImage->fullScreen();
    setOrUnset("USERNAME", savedUsername);
    setOrUnset("USER", savedUser);

    QCOMPARE(failed.count(), 1);
    const QString message = failed.first().at(1).toString();
    const QString start = "Path: " + directory.path() + "/" + nameStart;
    QVERIFY2(message.startsWith(start), qPrintable(message));
    const QString stamp = message.mid(start.size());
    QVERIFY2(QDateTime::fromString(stamp, "dd_MM_yy hh.mm.ss'.png'").isValid(), qPrintable(stamp));
    QVERIFY(QDir(directory.path()).isEmpty());
}

void TestCaptureRules::nameFilterFor_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("filter");
    QTest::newRow(".png") << ".png"
                          << "File PNG (*.png)";
    QTest::newRow(".jpg") << ".jpg"
                          << "File JPEG (*.jpg)";
    QTest::newRow(".jpeg") << ".jpeg"
                           << "File JPEG (*.jpeg)";
    QTest::newRow(".bmp") << ".bmp"
                          << "File Bitmap (*.bmp)";
    QTest::newRow(".ppm") << ".ppm"
                          << "File Ppm (*.ppm)";
    QTest::newRow(".xpm") << ".xpm"
                          << "File Xpm (*.xpm)";
    QTest::newRow(".xbm") << ".xbm"
                          << "File Xbm (*.xbm)";
    QTest::newRow("upper case") << ".PNG"
                                << "";
    QTest::newRow("without dot") << "png"
                                 << "";
    QTest::newRow("unknown") << ".gif"
                             << "";
}

void TestCaptureRules::nameFilterFor()
{
    QFETCH(QString, type);
    QFETCH(QString, filter);
    QCOMPARE(OpImage::nameFilterFor(type), filter);
    QCOMPARE(OpImage::nameFilters(),
        "File PNG (*.png);;File JPEG (*.jpg);;File JPEG (*.jpeg);;File Bitmap (*.bmp);;"
        "File Ppm (*.ppm);;File Xpm (*.xpm);;File Xbm (*.xbm)");
}

void TestCaptureRules::saveAsRules_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("type");
    QTest::newRow("no suffix") << "/d/shot"
                               << "/d/shot.png"
                               << ".png";
    QTest::newRow("upper-case JPG") << "/d/shot.JPG"
                                    << "/d/shot.JPG"
                                    << ".JPG";
    QTest::newRow("jpeg") << "/d/shot.jpeg"
                          << "/d/shot.jpeg"
                          << ".jpeg";
    QTest::newRow("mixed-case xbm") << "/d/shot.Xbm"
                                    << "/d/shot.Xbm"
                                    << ".Xbm";
    QTest::newRow("two dots") << "/d/my.shot.png"
                              << "/d/my.shot.png"
                              << ".shot.png";
    QTest::newRow("other suffix") << "/d/shot.txt"
                                  << "/d/shot.txt.png"
                                  << ".txt.png";
    QTest::newRow("dotted folder") << "/d.e/shot"
                                   << "/d.e/shot.png"
                                   << ".png";
}

void TestCaptureRules::saveAsRules()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    QFETCH(QString, type);
    QCOMPARE(OpImage::withImageSuffix(chosen), written);
    QCOMPARE(OpImage::imageTypeOf(written), type);
}

void TestCaptureRules::directoryOf_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("directory");
    QTest::newRow("root") << "/shot.png"
                          << "/";
    QTest::newRow("folder") << "/home/user1/Pictures/shot.png"
                            << "/home/user1/Pictures/";
    QTest::newRow("relative") << "shot.png" << QDir::currentPath() + "/";
}

void TestCaptureRules::directoryOf()
{
    QFETCH(QString, fileName);
    QFETCH(QString, directory);
    QCOMPARE(OpImage::directoryOf(fileName), directory);
}

void TestCaptureRules::saveWritesEveryImageType_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("png") << "png" << QByteArray("png");
    QTest::newRow("jpg") << "jpg" << QByteArray("jpeg");
    QTest::newRow("jpeg") << "jpeg" << QByteArray("jpeg");
    QTest::newRow("bmp") << "bmp" << QByteArray("bmp");
    QTest::newRow("ppm") << "ppm" << QByteArray("ppm");
    QTest::newRow("xpm") << "xpm" << QByteArray("xpm");
    QTest::newRow("xbm") << "xbm" << QByteArray("xbm");
    QTest::newRow("upper-case JPG") << "JPG" << QByteArray("jpeg");
}

void TestCaptureRules::saveWritesEveryImageType()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, format);
    QTemporaryDir directory;
    const QString path = directory.filePath("cut." + suffix);
    QFile(path).open(QIODevice::WriteOnly); // an older file is replaced
    QStringList events;
    connect(opImage, &OpImage::imageSaved, this,
        [&](QString title, QString message) { events << title << message; });
    connect(opImage, &OpImage::allDone, this, [&]() { events << "allDone"; });

    opImage->saveImage(filledPixmap(QSize(30, 20), Qt::darkCyan), path);
    disconnect(opImage, nullptr, this, nullptr);

    QCOMPARE(events, QStringList({"Image saved successfully", "Path: " + path, "allDone"}));
    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.size(), QSize(30, 20));
    QCOMPARE(QDir(directory.path()).entryList(QDir::Files), QStringList("cut." + suffix));
}

void TestCaptureRules::failedSaveLeavesNothing_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<bool>("nullImage");
    QTest::newRow("directory is a file") << "file/cut.png" << false;
    QTest::newRow("unsupported suffix") << "cut.gif" << false;
    QTest::newRow("no suffix") << "cut" << false;
    QTest::newRow("null image") << "cut.png" << true;
}

void TestCaptureRules::failedSaveLeavesNothing()
{
    QFETCH(QString, relativePath);
    QFETCH(bool, nullImage);
    QTemporaryDir directory;
    QFile(directory.filePath("file")).open(QIODevice::WriteOnly);
    const QString path = directory.filePath(relativePath);
    QStringList events;
    connect(opImage, &OpImage::saveFailed, this,
        [&](QString title, QString message) { events << title << message; });
    connect(opImage, &OpImage::imageSaved, this, [&]() { events << "imageSaved"; });
    connect(opImage, &OpImage::allDone, this, [&]() { events << "allDone"; });

    opImage->saveImage(nullImage ? QPixmap() : filledPixmap(QSize(4, 4), Qt::red), path);
    disconnect(opImage, nullptr, this, nullptr);

    QCOMPARE(events, QStringList({"Error saving the image", "Path: " + path, "allDone"}));
    QCOMPARE(QDir(directory.path()).entryList(QDir::Files | QDir::Hidden), QStringList("file"));
}

void TestCaptureRules::failedSaveKeepsTheFileItWouldReplace()
{
    QTemporaryDir directory;
    const QString path = directory.filePath("kept.png");
    QVERIFY(filledPixmap(QSize(8, 8), Qt::blue).save(path));
    const QByteArray before = [&]() {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();
    QSignalSpy failed(opImage, &OpImage::saveFailed);
    opImage->saveImage(QPixmap(), path);
    QCOMPARE(failed.count(), 1);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

void TestCaptureRules::missingFolderIsCreated()
{
    QTemporaryDir directory;
    const QString path = directory.filePath("no/Desktop/cut.png");
    QSignalSpy saved(opImage, &OpImage::imageSaved);
    opImage->saveImage(filledPixmap(QSize(4, 4), Qt::red), path);
    QCOMPARE(saved.count(), 1);
    QCOMPARE(QImage(path).pixel(1, 1), QColor(Qt::red).rgb());
}

QTEST_MAIN(TestCaptureRules)
#include "tst_capturerules.moc"
