#ifndef PNGWRITER_H
#define PNGWRITER_H

class QImage;
class QIODevice;

// Writes true-colour PNG files several times faster than the toolkit's writer, at
// about the same size: each row is predicted from its left and upper neighbours
// (PNG filter "Average"), which leaves little for string matching, so the rows
// are only Huffman coded, in two halves at once. Images it does not cover (other
// pixel formats, colour spaces, text) go to the toolkit's writer unchanged.
class PngWriter
{
public:
    static bool write(const QImage& image, QIODevice* device);

private:
    static bool isCovered(const QImage& image);
};

#endif // PNGWRITER_H
