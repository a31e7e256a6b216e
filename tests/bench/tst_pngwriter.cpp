#include "capture/pngwriter.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QtTest>

// The fast writer must give files any PNG reader reads back pixel for pixel.
class TestPngWriter : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void otherFormatsGoToTheToolkitWriter();
    void nullImageFails();

private:
    static QImage noisyImage(QSize size, QImage::Format format);
    static QImage desktopImage(QSize size);
    static QImage written(const QImage& image, bool* ok, qint64* bytes = nullptr);
};

QImage TestPngWriter::noisyImage(QSize size, QImage::Format format)
{
    QImage image(size, QImage::Format_ARGB32);
    QRandomGenerator random(size.width() * 7919 + size.height());
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            // A smooth ramp with noise, like a busy screen.
            const int noise = int(random.bounded(64));
            image.setPixel(x, y,
                qRgba((x + noise) & 255, (y * 3 + noise) & 255, (x * y + noise) & 255,
                    format == QImage::Format_RGB32 ? 255 : (x * 31 + y) & 255));
        }
    }
    return image.convertToFormat(format);
}

// Flat windows, lines of text and a smooth picture on a plain background.
QImage TestPngWriter::desktopImage(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(46, 52, 64));
    QPainter painter(&image);
    painter.fillRect(10, 10, size.width() / 2, size.height() - 20, Qt::white);
    // Text: a few glyphs, repeated in lines of words.
    QRandomGenerator random(7);
    QList<QImage> glyphs;
    for (int i = 0; i < 12; ++i) {
        glyphs << QImage(7, 11, QImage::Format_RGB32);
        for (int p = 0; p < 77; ++p)
            glyphs.last().setPixel(p % 7, p / 7, random.bounded(3) ? 0xffffffff : 0xff202020);
    }
    for (int y = 20; y + 14 < size.height() - 20; y += 14) {
        for (int x = 14; x + 8 < size.width() / 2; x += 8)
            painter.drawImage(x, y, glyphs.at(random.bounded(glyphs.size() + 2) % glyphs.size()));
    }
    QLinearGradient ramp(0, 0, size.width() / 3, size.height() / 3);
    ramp.setColorAt(0, Qt::darkGreen);
    ramp.setColorAt(1, QColor(200, 120, 40));
    painter.fillRect(
        size.width() * 2 / 3, size.height() / 2, size.width() / 3, size.height() / 3, ramp);
    return image;
}

// Every file must also pass the reference checker of the format; on Windows, where it is
// missing, the checks of the toolkit's libpng judge alone.
QImage TestPngWriter::written(const QImage& image, bool* ok, qint64* bytes)
{
    QTemporaryFile file;
    *ok = file.open() && PngWriter::write(image, &file);
    file.close();
    if (bytes)
        *bytes = file.size();
#ifndef Q_OS_WIN
    if (*ok) {
        const QString checker = QStandardPaths::findExecutable("pngcheck");
        if (checker.isEmpty())
            qWarning("pngcheck is not installed");
        QProcess check;
        check.start(checker, {"-q", file.fileName()});
        *ok = check.waitForFinished(30000) && check.exitCode() == 0;
        if (!*ok)
            qWarning("%s", check.readAllStandardOutput().constData());
    }
#endif
    return QImage(file.fileName(), "png");
}

void TestPngWriter::roundTrip_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("desktop");
    // Coded in bytes per 100 pixels at most; 0: not checked. Huffman coding
    // alone cannot go below 37.5 for RGB.
    QTest::addColumn<int>("maxBytesPer100Pixels");
    const int rgb = QImage::Format_RGB32;
    // A grabbed screen is RGB32; a cut is premultiplied ARGB32.
    QTest::newRow("screen") << QSize(640, 360) << rgb << false << 0;
    QTest::newRow("busy full screen") << QSize(1920, 1080) << rgb << false << 0;
    QTest::newRow("desktop") << QSize(1280, 720) << rgb << true << 20;
    QTest::newRow("desktop, odd size") << QSize(333, 207) << rgb << true << 20;
    QTest::newRow("cut") << QSize(201, 99) << int(QImage::Format_ARGB32_Premultiplied) << false
                         << 0;
    QTest::newRow("straight alpha") << QSize(33, 17) << int(QImage::Format_ARGB32) << false << 0;
    QTest::newRow("one pixel") << QSize(1, 1) << rgb << false << 0;
    QTest::newRow("two by three") << QSize(2, 3) << rgb << true << 0;
    QTest::newRow("one row") << QSize(300, 1) << rgb << false << 0;
    QTest::newRow("one column") << QSize(1, 300) << int(QImage::Format_ARGB32_Premultiplied)
                                << false << 0;
}

void TestPngWriter::roundTrip()
{
    QFETCH(QSize, size);
    QFETCH(int, format);
    QFETCH(bool, desktop);
    QFETCH(int, maxBytesPer100Pixels);
    const QImage original = desktop ? desktopImage(size) : noisyImage(size, QImage::Format(format));
    bool ok = false;
    qint64 bytes = 0;
    const QImage read = written(original, &ok, &bytes);
    QVERIFY(ok);
    if (maxBytesPer100Pixels > 0)
        QVERIFY2(bytes * 100 <= qint64(maxBytesPer100Pixels) * size.width() * size.height(),
            qPrintable(QString::number(bytes)));
    QCOMPARE(read.size(), size);
    QCOMPARE(read.hasAlphaChannel(), original.hasAlphaChannel());
    const QImage::Format compared
        = original.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    QCOMPARE(read.convertToFormat(compared), original.convertToFormat(compared));
}

void TestPngWriter::otherFormatsGoToTheToolkitWriter()
{
    const QImage grey = noisyImage(QSize(50, 40), QImage::Format_RGB32)
                            .convertToFormat(QImage::Format_Grayscale8);
    bool ok = false;
    const QImage read = written(grey, &ok);
    QVERIFY(ok);
    QCOMPARE(read.convertToFormat(QImage::Format_Grayscale8), grey);
}

void TestPngWriter::nullImageFails()
{
    bool ok = true;
    QVERIFY(written(QImage(), &ok).isNull());
    QVERIFY(!ok);
}

QTEST_GUILESS_MAIN(TestPngWriter)
#include "tst_pngwriter.moc"
