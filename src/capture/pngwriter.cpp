#include "pngwriter.h"

#include <QByteArray>
#include <QColorSpace>
#include <QIODevice>
#include <QImage>
#include <QImageWriter>
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

void appendChunk(QByteArray& out, const char* type, const QByteArray& data)
{
    uchar length[4];
    qToBigEndian<quint32>(quint32(data.size()), length);
    out.append(reinterpret_cast<const char*>(length), 4);
    const int start = out.size();
    out.append(type, 4);
    out.append(data);
    uchar crc[4];
    const uLong sum = crc32(
        0, reinterpret_cast<const Bytef*>(out.constData() + start), uInt(out.size() - start));
    qToBigEndian<quint32>(quint32(sum), crc);
    out.append(reinterpret_cast<const char*>(crc), 4);
}

QByteArray bigEndian32(quint32 value)
{
    uchar bytes[4];
    qToBigEndian<quint32>(value, bytes);
    return QByteArray(reinterpret_cast<const char*>(bytes), 4);
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
    z_stream stream = {};
    if (deflateInit2(&stream, 1, Z_DEFLATED, -MAX_WBITS, 9, Z_HUFFMAN_ONLY) != Z_OK)
        return;
    const uLong rows = uLong(part->endRow - part->firstRow);
    part->deflated.resize(int(deflateBound(&stream, rows * uLong(rowBytes + 1)) + 16));
    stream.next_out = reinterpret_cast<Bytef*>(part->deflated.data());
    stream.avail_out = uInt(part->deflated.size());
    bool ok = true;
    for (int y = part->firstRow; y < part->endRow && ok; ++y) {
        const uchar* above = y > 0 ? image.constScanLine(y - 1) : nullptr;
        filterRow(image.constScanLine(y), above, rowBytes, pixelBytes, filtered.data());
        part->adler = adler32(part->adler, filtered.data(), uInt(filtered.size()));
        part->length += uLong(filtered.size());
        stream.next_in = filtered.data();
        stream.avail_in = uInt(filtered.size());
        const bool lastRow = y + 1 == part->endRow;
        const int flush = !lastRow ? Z_NO_FLUSH : (last ? Z_FINISH : Z_SYNC_FLUSH);
        const int result = deflate(&stream, flush);
        ok = stream.avail_in == 0 && (result == Z_OK || result == Z_STREAM_END);
    }
    part->deflated.resize(int(stream.total_out));
    deflateEnd(&stream);
    part->ok = ok;
}

QByteArray imageData(const QImage& image, int pixelBytes)
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
        return QByteArray();
    QByteArray data("\x78\x01", 2); // zlib header: deflate, 32 KiB window, fastest
    data.reserve(parts[0].deflated.size() + parts[1].deflated.size() + 6);
    data.append(parts[0].deflated).append(parts[1].deflated);
    const uLong adler = adler32_combine(parts[0].adler, parts[1].adler, z_off_t(parts[1].length));
    return data + bigEndian32(quint32(adler));
}

} // namespace

bool PngWriter::write(const QImage& image, QIODevice* device)
{
    if (!isCovered(image)) {
        QImageWriter writer(device, "png");
        return writer.write(image);
    }
    const bool alpha = image.hasAlphaChannel();
    const QImage pixels
        = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const QByteArray compressed = imageData(pixels, alpha ? 4 : 3);
    if (compressed.isEmpty())
        return false;
    QByteArray file(Signature, 8);
    file.reserve(compressed.size() + 128);
    appendChunk(file, "IHDR", headerData(image, alpha ? ColourRgba : ColourRgb));
    if (image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0)
        appendChunk(file, "pHYs", physicalSizeData(image));
    appendChunk(file, "IDAT", compressed);
    appendChunk(file, "IEND", QByteArray());
    return device->write(file) == file.size();
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
