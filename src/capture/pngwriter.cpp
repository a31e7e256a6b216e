#include "pngwriter.h"

#include <QByteArray>
#include <QColorSpace>
#include <QIODevice>
#include <QImage>
#include <QImageWriter>
#include <QList>
#include <QtEndian>

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <vector>
#include <zlib.h>

namespace {

const char Signature[] = "\x89PNG\r\n\x1a\n";
const int ColourRgb = 2;
const int ColourRgba = 6;
const int FilterCount = 5; // None, Sub, Up, Average, Paeth
// Rows are coded in bands; each band is either searched for repeated strings
// or only Huffman coded, whichever its content calls for.
const int BandRows = 16;
// Level 4 is the first with lazy matching: on a desktop it gives files about
// 7 % smaller than level 2 for about 15 % more instructions.
const int MatchingLevel = 4;
// A band whose filtered bytes are mostly non-zero is noise (a photo, a busy
// picture): string search finds next to nothing there and costs three times
// the time of Huffman coding alone.
const int MatchingMinZeroPercent = 20;

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

// Branch-free, so that the compiler can work on many bytes at once.
inline int paethPredictor(int left, int up, int upLeft)
{
    const int toLeft = std::abs(up - upLeft);
    const int toUp = std::abs(left - upLeft);
    const int toUpLeft = std::abs(left + up - 2 * upLeft);
    const int notLeft = toLeft <= toUp && toLeft <= toUpLeft ? 0 : 1;
    const int upOrCorner = toUp <= toUpLeft ? up : upLeft;
    return notLeft ? upOrCorner : left;
}

// The bytes as signed differences: small magnitudes code short.
unsigned magnitudeSum(const uchar* bytes, int count)
{
    unsigned sum = 0;
    for (int i = 0; i < count; ++i)
        sum += bytes[i] < 128 ? bytes[i] : 256 - bytes[i];
    return sum;
}

// Writes the filter byte and the filtered row to out, choosing the filter whose
// output has the smallest sum of magnitudes (the usual heuristic of PNG
// encoders); returns how many of the row's filtered bytes are zero. above is
// a row of zeros for the first row of the image. scratch holds FilterCount rows.
int filterRow(
    const uchar* row, const uchar* above, int bytes, int pixelBytes, uchar* scratch, uchar* out)
{
    uchar* none = scratch;
    uchar* sub = none + bytes;
    uchar* up = sub + bytes;
    uchar* average = up + bytes;
    uchar* paeth = average + bytes;
    const int head = std::min(pixelBytes, bytes);
    for (int i = 0; i < head; ++i) {
        none[i] = sub[i] = row[i];
        up[i] = paeth[i] = uchar(row[i] - above[i]);
        average[i] = uchar(row[i] - (above[i] >> 1));
    }
    const uchar* left = row;
    const uchar* upLeft = above;
    const uchar* rest = row + head;
    const uchar* restAbove = above + head;
    const int restBytes = bytes - head;
    for (int i = 0; i < restBytes; ++i)
        none[head + i] = rest[i];
    for (int i = 0; i < restBytes; ++i)
        sub[head + i] = uchar(rest[i] - left[i]);
    for (int i = 0; i < restBytes; ++i)
        up[head + i] = uchar(rest[i] - restAbove[i]);
    for (int i = 0; i < restBytes; ++i)
        average[head + i] = uchar(rest[i] - ((left[i] + restAbove[i]) >> 1));
    for (int i = 0; i < restBytes; ++i)
        paeth[head + i] = uchar(rest[i] - paethPredictor(left[i], restAbove[i], upLeft[i]));
    int best = 0;
    unsigned bestSum = magnitudeSum(none, bytes);
    for (int filter = 1; filter < FilterCount && bestSum > 0; ++filter) {
        const unsigned sum = magnitudeSum(scratch + filter * bytes, bytes);
        if (sum < bestSum) {
            best = filter;
            bestSum = sum;
        }
    }
    out[0] = uchar(best);
    std::copy_n(scratch + best * bytes, bytes, out + 1);
    return int(std::count(out + 1, out + 1 + bytes, uchar(0)));
}

// Runs deflate until it has taken all input, growing the output as needed.
bool pump(z_stream* stream, QByteArray* output, int flush)
{
    for (;;) {
        if (stream->avail_out == 0) {
            const int used = output->size();
            output->resize(used + used / 2 + 4096);
            stream->next_out = reinterpret_cast<Bytef*>(output->data() + used);
            stream->avail_out = uInt(output->size() - used);
        }
        const int result = deflate(stream, flush);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            return false;
        if (stream->avail_out > 0 && stream->avail_in == 0)
            return flush != Z_FINISH || result == Z_STREAM_END;
    }
}

// Filters and codes rows [firstRow, endRow); every part but the last ends on a
// byte boundary without closing the stream, so the parts join into one stream.
void deflatePart(const QImage& image, int pixelBytes, bool last, Part* part)
{
    const int rowBytes = image.width() * pixelBytes;
    const int filteredBytes = rowBytes + 1;
    std::vector<uchar> band(size_t(filteredBytes) * BandRows);
    std::vector<uchar> scratch(size_t(rowBytes) * FilterCount);
    std::vector<uchar> current(static_cast<size_t>(rowBytes));
    std::vector<uchar> previous(static_cast<size_t>(rowBytes));
    const std::vector<uchar> zeros(static_cast<size_t>(rowBytes));
    z_stream stream = {};
    if (deflateInit2(&stream, MatchingLevel, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return;
    const uLong rows = uLong(part->endRow - part->firstRow);
    part->deflated.resize(int(deflateBound(&stream, rows * uLong(filteredBytes)) + 4096));
    stream.next_out = reinterpret_cast<Bytef*>(part->deflated.data());
    stream.avail_out = uInt(part->deflated.size());
    const uchar* above = part->firstRow > 0 ? rowSamples(image, part->firstRow - 1, previous.data())
                                            : zeros.data();
    bool matching = true;
    bool ok = true;
    for (int first = part->firstRow; first < part->endRow && ok; first += BandRows) {
        const int end = std::min(part->endRow, first + BandRows);
        const int bandBytes = (end - first) * filteredBytes;
        qint64 zeroBytes = 0;
        for (int y = first; y < end; ++y) {
            const uchar* row = rowSamples(image, y, current.data());
            zeroBytes += filterRow(row, above, rowBytes, pixelBytes, scratch.data(),
                band.data() + (y - first) * filteredBytes);
            if (row == current.data()) {
                current.swap(previous);
                above = previous.data();
            } else {
                above = row;
            }
        }
        part->adler = adler32(part->adler, band.data(), uInt(bandBytes));
        part->length += uLong(bandBytes);
        const bool wantMatching = zeroBytes * 100 >= qint64(MatchingMinZeroPercent) * bandBytes;
        if (wantMatching != matching) {
            matching = wantMatching;
            ok = pump(&stream, &part->deflated, Z_BLOCK)
                && deflateParams(&stream, matching ? MatchingLevel : 1,
                       matching ? Z_DEFAULT_STRATEGY : Z_HUFFMAN_ONLY)
                    == Z_OK;
        }
        stream.next_in = band.data();
        stream.avail_in = uInt(bandBytes);
        const int flush = end < part->endRow ? Z_NO_FLUSH : (last ? Z_FINISH : Z_SYNC_FLUSH);
        ok = ok && pump(&stream, &part->deflated, flush);
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
    // Deflate, 32 KiB window, level "fast".
    return {QByteArray("\x78\x5e", 2), parts[0].deflated, parts[1].deflated,
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
