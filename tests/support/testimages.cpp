#include "testimages.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QRandomGenerator>
#include <QScreen>
#include <QWidget>

namespace TestImages {

QImage patternImage(const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x & 0xff, y & 0xff, ((x >> 8) << 4) | (y >> 8)));
    }
    return image;
}

QImage noiseImage(const QSize& size)
{
    QImage picture(size, QImage::Format_RGB32);
    QRandomGenerator random(20261207);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = 0xff000000u | (random.generate() & 0xffffffu);
    }
    return picture;
}

QImage rendered(QWidget* widget, const QColor& ground)
{
    const bool clear = ground.alpha() < 255;
    QImage image(
        widget->size(), clear ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    image.fill(ground);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return clear ? image.convertToFormat(QImage::Format_ARGB32) : image;
}

QImage grabScreen(const QRect& area)
{
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QImage fileImage(const QString& path)
{
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

bool writePicture(const QString& path, const QSize& size, const QColor& colour)
{
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(colour);
    return QDir().mkpath(QFileInfo(path).path()) && picture.save(path);
}

} // namespace TestImages
