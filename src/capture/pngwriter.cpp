#include "pngwriter.h"

#include <QByteArray>
#include <QColorSpace>
#include <QIODevice>
#include <QImage>
#include <QImageWriter>
#include <QList>
#include <QtEndian>

#include <thread>
#include <vector>
#include <zlib.h>

namespace {

const char Signature[] = "\x89PNG\r\n\x1a\n";
const unsigned char FilterAverage = 3;
const int ColourRgb = 2;
const int ColourRgba = 6;

struct Part
{
    int firstRow = 0;
    int endRow = 0;
    QByteArray deflated;
    uLong adler = 1;
    uLong length = 0;
    bool ok = false;
};

QByteArray bigEndian32(quint32 value)
{
    uchar bytes[4];
    qToBigEndian<quint32>(value, bytes);
    return QByteArray(reinterpret_cast<const char*>(bytes), 4);
}

// Written piece by piece, so that the large image data is never copied.
bool writeChunk(QIODevice* device, const char* type, const QList<QByteArray>& pieces)
{
    quint32 length = 0;
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    for (const QByteArray& piece : pieces) {
        length += quint32(piece.size());
        crc = crc32(crc, reinterpret_cast<const Bytef*>(piece.constData()), uInt(piece.size()));
    }
    bool ok = device->write(bigEndian32(length)) == 4 && device->write(type, 4) == 4;
    for (const QByteArray& piece : pieces)
        ok = ok && device->write(piece) == piece.size();
    return ok && device->write(bigEndian32(quint32(crc))) == 4;
}

QByteArray headerData(const QImage& image, int colourType)
{
    QByteArray data = bigEndian32(quint32(image.width())) + bigEndian32(quint32(image.height()));
    data.append(char(8)); // bits per sample
    data.append(char(colourType));
    data.append(3, char(0)); // deflate, adaptive filtering, no interlace
    return data;
}

QByteArray physicalSizeData(const QImage& image)
{
    QByteArray data
        = bigEndian32(quint32(image.dotsPerMeterX())) + bigEndian32(quint32(image.dotsPerMeterY()));
    data.append(char(1)); // unit: metre
    return data;
}

// The samples of row y: an RGBA8888 row as it is, an RGB32 row repacked to RGB.
const uchar* rowSamples(const QImage& image, int y, uchar* buffer)
{
    if (image.format() == QImage::Format_RGBA8888)
        return image.constScanLine(y);
    const QRgb* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
        buffer[3 * x] = uchar(qRed(pixels[x]));
        buffer[3 * x + 1] = uchar(qGreen(pixels[x]));
        buffer[3 * x + 2] = uchar(qBlue(pixels[x]));
    }
    return buffer;
}

// One filtered row: the filter byte, then each byte less the mean of its left and
// upper neighbours (zero outside the image).
void filterRow(const uchar* row, const uchar* above, int bytes, int pixelBytes, uchar* out)
{
    out[0] = FilterAverage;
    for (int i = 0; i < bytes; ++i) {
        const int left = i >= pixelBytes ? row[i - pixelBytes] : 0;
        const int up = above ? above[i] : 0;
        out[i + 1] = uchar(row[i] - ((left + up) >> 1));
    }
}

// Filters and codes rows [firstRow, endRow); every part but the last ends on a
// byte boundary without closing the stream, so the parts join into one stream.
void deflatePart(const QImage& image, int pixelBytes, bool last, Part* part)
{
    const int rowBytes = image.width() * pixelBytes;
    std::vector<uchar> filtered(size_t(rowBytes) + 1);
    std::vector<uchar> current(static_cast<size_t>(rowBytes));
    std::vector<uchar> previous(static_cast<size_t>(rowBytes));
    z_stream stream = {};
    if (deflateInit2(&stream, 1, Z_DEFLATED, -MAX_WBITS, 9, Z_HUFFMAN_ONLY) != Z_OK)
        return;
    const uLong rows = uLong(part->endRow - part->firstRow);
    part->deflated.resize(int(deflateBound(&stream, rows * uLong(rowBytes + 1)) + 16));
    stream.next_out = reinterpret_cast<Bytef*>(part->deflated.data());
    stream.avail_out = uInt(part->deflated.size());
    const uchar* above
        = part->firstRow > 0 ? rowSamples(image, part->firstRow - 1, previous.data()) : nullptr;
    bool ok = true;
    for (int y = part->firstRow; y < part->endRow && ok; ++y) {
        const uchar* row = rowSamples(image, y, current.data());
        filterRow(row, above, rowBytes, pixelBytes, filtered.data());
        part->adler = adler32(part->adler, filtered.data(), uInt(filtered.size()));
        part->length += uLong(filtered.size());
        stream.next_in = filtered.data();
        stream.avail_in = uInt(filtered.size());
        const bool lastRow = y + 1 == part->endRow;
        const int flush = !lastRow ? Z_NO_FLUSH : (last ? Z_FINISH : Z_SYNC_FLUSH);
        const int result = deflate(&stream, flush);
        ok = stream.avail_in == 0 && (result == Z_OK || result == Z_STREAM_END);
        if (row == current.data()) {
            current.swap(previous);
            above = previous.data();
        } else {
            above = row;
        }
    }
    part->deflated.resize(int(stream.total_out));
    deflateEnd(&stream);
    part->ok = ok;
}

// The image data as one zlib stream, in pieces: header, the two halves, checksum.
QList<QByteArray> imageData(const QImage& image, int pixelBytes)
{
    std::vector<Part> parts(2);
    const int middle = image.height() / 2;
    parts[0].endRow = middle;
    parts[1].firstRow = middle;
    parts[1].endRow = image.height();
    std::thread upper(deflatePart, std::cref(image), pixelBytes, false, &parts[0]);
    deflatePart(image, pixelBytes, true, &parts[1]);
    upper.join();
    if (!parts[0].ok || !parts[1].ok)
        return {};
    const uLong adler = adler32_combine(parts[0].adler, parts[1].adler, z_off_t(parts[1].length));
    // Deflate, 32 KiB window, fastest level.
    return {QByteArray("\x78\x01", 2), parts[0].deflated, parts[1].deflated,
        bigEndian32(quint32(adler))};
}

} // namespace

bool PngWriter::write(const QImage& image, QIODevice* device)
{
    if (!isCovered(image)) {
        QImageWriter writer(device, "png");
        return writer.write(image);
    }
    const bool alpha = image.hasAlphaChannel();
    // Rows of an opaque screen image are repacked one at a time; images with
    // alpha are unpremultiplied as a whole.
    const QImage pixels = alpha ? image.convertToFormat(QImage::Format_RGBA8888)
                                : image.convertToFormat(QImage::Format_RGB32);
    const QList<QByteArray> data = imageData(pixels, alpha ? 4 : 3);
    if (data.isEmpty())
        return false;
    bool ok = device->write(Signature, 8) == 8
        && writeChunk(device, "IHDR", {headerData(image, alpha ? ColourRgba : ColourRgb)});
    if (image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0)
        ok = ok && writeChunk(device, "pHYs", {physicalSizeData(image)});
    return ok && writeChunk(device, "IDAT", data) && writeChunk(device, "IEND", {});
}

bool PngWriter::isCovered(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        break;
    default:
        return false;
    }
    return !image.isNull() && image.textKeys().isEmpty() && !image.colorSpace().isValid();
}
