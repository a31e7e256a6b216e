#include "capture/pngwriter.h"

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>
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
    static QImage written(const QImage& image, bool* ok);
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

QImage TestPngWriter::written(const QImage& image, bool* ok)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    *ok = PngWriter::write(image, &buffer);
    return QImage::fromData(buffer.data(), "png");
}

void TestPngWriter::roundTrip_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("format");
    // A grabbed screen is RGB32; a cut is premultiplied ARGB32.
    QTest::newRow("screen") << QSize(640, 360) << int(QImage::Format_RGB32);
    QTest::newRow("cut") << QSize(201, 99) << int(QImage::Format_ARGB32_Premultiplied);
    QTest::newRow("straight alpha") << QSize(33, 17) << int(QImage::Format_ARGB32);
    QTest::newRow("one pixel") << QSize(1, 1) << int(QImage::Format_RGB32);
    QTest::newRow("one row") << QSize(300, 1) << int(QImage::Format_RGB32);
    QTest::newRow("one column") << QSize(1, 300) << int(QImage::Format_ARGB32_Premultiplied);
}

void TestPngWriter::roundTrip()
{
    QFETCH(QSize, size);
    QFETCH(int, format);
    const QImage original = noisyImage(size, QImage::Format(format));
    bool ok = false;
    const QImage read = written(original, &ok);
    QVERIFY(ok);
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
