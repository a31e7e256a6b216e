#ifndef PNGWRITER_H
#define PNGWRITER_H

class QImage;
class QIODevice;

// Writes true-colour PNG files faster than the toolkit's writer and smaller:
// each row gets the filter whose output is smallest, then bands of rows are
// either searched for repeated strings (text, flat areas) or only Huffman coded
// (noise, photos), in two halves at once that join into one stream. Images it
// does not cover (other pixel formats, colour spaces, text) go to the
// toolkit's writer unchanged.
class PngWriter
{
public:
    static bool write(const QImage& image, QIODevice* device);

private:
    static bool isCovered(const QImage& image);
};

#endif // PNGWRITER_H
