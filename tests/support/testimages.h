#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

class QWidget;

// Pictures the tests draw, grab and compare.
namespace TestImages {

// Every pixel differs from its neighbours and from any pixel up to 255 away, so a
// cut one pixel off shows; smooth enough to save quickly.
QImage patternImage(const QSize& size);
// Seeded noise: every pixel unlike its neighbours, and hard to compress.
QImage noiseImage(const QSize& size);
// The widget's own painting on a ground of `ground` (transparent gives ARGB32, else RGB32).
QImage rendered(QWidget* widget, const QColor& ground = Qt::white);
// Part of the primary screen as the X server shows it now.
QImage grabScreen(const QRect& area);
// A saved picture in the form screens are compared in.
QImage fileImage(const QString& path);
// Writes a one-colour picture, making its folder; false when it cannot.
bool writePicture(const QString& path, const QSize& size, const QColor& colour);

} // namespace TestImages
