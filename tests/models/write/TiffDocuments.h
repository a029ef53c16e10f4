#pragma once

// TIFF files laid out as real writers lay them out, made in the test: the
// image formats plugin's pictures taken apart into their directories' entries
// and their strips, and laid out again in strips, tiles or planes, one page
// or several chained, with or without the tags beside the picture.

#include "support/ImageFixtures.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace TiffDocuments {

constexpr uint16_t kStripOffsets = 0x0111;
constexpr uint16_t kRowsPerStrip = 0x0116;
constexpr uint16_t kStripByteCounts = 0x0117;
constexpr uint16_t kPlanarConfiguration = 0x011C;
constexpr uint16_t kTileWidth = 0x0142;
constexpr uint16_t kTileLength = 0x0143;
constexpr uint16_t kTileOffsets = 0x0144;
constexpr uint16_t kTileByteCounts = 0x0145;

// One entry of a directory, its value's bytes little-endian; the offsets and
// lengths of the picture are the layout's and are not held.
struct Entry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    QByteArray value;
};

// One page: its entries and its strips (or tiles), in order.
struct Page {
    std::vector<Entry> entries;
    std::vector<QByteArray> pieces;
    bool tiles = false;

    const Entry* find(uint16_t tag) const
    {
        const auto found
            = std::find_if(entries.begin(), entries.end(), [tag](const Entry& entry) { return entry.tag == tag; });
        return found == entries.end() ? nullptr : &*found;
    }
    // The `index`th number of the entry (SHORT or LONG), 0 without one.
    uint32_t number(uint16_t tag, int index = 0) const
    {
        const Entry* entry = find(tag);
        if (!entry)
            return 0;
        return entry->type == 3 ? qFromLittleEndian<quint16>(entry->value.constData() + 2 * index)
                                : qFromLittleEndian<quint32>(entry->value.constData() + 4 * index);
    }
    void set(uint16_t tag, uint16_t type, std::vector<uint32_t> numbers)
    {
        Entry entry{tag, type, uint32_t(numbers.size()), QByteArray()};
        for (uint32_t number : numbers) {
            QByteArray bytes(type == 3 ? 2 : 4, '\0');
            if (type == 3)
                qToLittleEndian<quint16>(quint16(number), bytes.data());
            else
                qToLittleEndian<quint32>(number, bytes.data());
            entry.value += bytes;
        }
        remove(tag);
        entries.push_back(entry);
    }
    void remove(uint16_t tag)
    {
        entries.erase(std::remove_if(entries.begin(), entries.end(), [tag](const Entry& e) { return e.tag == tag; }),
            entries.end());
    }
};

inline int typeSize(uint16_t type)
{
    switch (type) {
    case 3:
    case 8:
        return 2;
    case 4:
    case 9:
    case 11:
    case 13:
        return 4;
    case 5:
    case 10:
    case 12:
        return 8;
    default:
        return 1;
    }
}

// The first page of a little-endian TIFF (as the image formats plugin
// writes them), taken apart.
inline Page pageOf(const QByteArray& file)
{
    EXPECT_TRUE(file.startsWith("II*"));
    const auto read16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(file.constData() + at); };
    const auto read32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(file.constData() + at); };
    const qsizetype directory = read32(4);
    Page page;
    QList<uint32_t> offsets;
    QList<uint32_t> lengths;
    for (int i = 0; i < read16(directory); ++i) {
        const qsizetype at = directory + 2 + 12 * i;
        Entry entry{read16(at), read16(at + 2), read32(at + 4), QByteArray()};
        const qsizetype size = qsizetype(entry.count) * typeSize(entry.type);
        entry.value = file.mid(size <= 4 ? at + 8 : read32(at + 8), size);
        if (entry.tag == kStripOffsets || entry.tag == kStripByteCounts) {
            for (uint32_t j = 0; j < entry.count; ++j) {
                const uint32_t number = entry.type == 3 ? qFromLittleEndian<quint16>(entry.value.constData() + 2 * j)
                                                        : qFromLittleEndian<quint32>(entry.value.constData() + 4 * j);
                (entry.tag == kStripOffsets ? offsets : lengths).append(number);
            }
            continue;
        }
        page.entries.push_back(entry);
    }
    EXPECT_EQ(offsets.size(), lengths.size());
    for (qsizetype i = 0; i < offsets.size() && i < lengths.size(); ++i)
        page.pieces.push_back(file.mid(offsets.at(i), lengths.at(i)));
    return page;
}

// The pages laid out after the little-endian TIFF `document`, each page's
// pieces, then the values its entries do not hold in place, then its
// directory, chained in order after the document's last page.
inline QByteArray withPagesAfter(QByteArray file, const std::vector<Page>& pages)
{
    const auto number = [](uint32_t value, int width) {
        QByteArray bytes(width, '\0');
        if (width == 2)
            qToLittleEndian<quint16>(quint16(value), bytes.data());
        else
            qToLittleEndian<quint32>(value, bytes.data());
        return bytes;
    };
    const auto align = [&file] { file += QByteArray(file.size() % 2, '\0'); };
    align();
    qsizetype nextPointer = 4;
    for (uint32_t at = qFromLittleEndian<quint32>(file.constData() + 4); at != 0;
         at = qFromLittleEndian<quint32>(file.constData() + nextPointer)) {
        nextPointer = at + 2 + 12 * qsizetype(qFromLittleEndian<quint16>(file.constData() + at));
    }
    for (Page page : pages) {
        std::vector<uint32_t> offsets;
        std::vector<uint32_t> lengths;
        for (const QByteArray& piece : page.pieces) {
            offsets.push_back(uint32_t(file.size()));
            lengths.push_back(uint32_t(piece.size()));
            file += piece;
            align();
        }
        page.set(page.tiles ? kTileOffsets : kStripOffsets, 4, offsets);
        page.set(page.tiles ? kTileByteCounts : kStripByteCounts, 4, lengths);
        std::sort(
            page.entries.begin(), page.entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        QByteArray directory = number(uint32_t(page.entries.size()), 2);
        for (const Entry& entry : page.entries) {
            directory += number(entry.tag, 2) + number(entry.type, 2) + number(entry.count, 4);
            if (entry.value.size() <= 4) {
                directory += entry.value + QByteArray(4 - entry.value.size(), '\0');
            } else {
                directory += number(uint32_t(file.size()), 4);
                file += entry.value;
                align();
            }
        }
        file.replace(nextPointer, 4, number(uint32_t(file.size()), 4));
        nextPointer = file.size() + directory.size();
        file += directory + number(0, 4);
    }
    return file;
}

// The pages laid out as one file (see withPagesAfter).
inline QByteArray fileOf(const std::vector<Page>& pages)
{
    return withPagesAfter(QByteArray("II*\0\0\0\0\0", 8), pages);
}

// A picture of the Canon S40 written by the image formats plugin in
// `format`, without compression or with LZW.
inline QByteArray writtenTiff(QImage::Format format, bool lzw = false, QSize size = QSize(157, 103))
{
    const QImage picture = QImage(ImageFixtures::sample("npm-canon-s40.jpg")).scaled(size);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    writer.setCompression(lzw ? 1 : 0);
    EXPECT_TRUE(writer.write(picture.convertToFormat(format))) << qPrintable(writer.errorString());
    return buffer.data();
}

// A page's picture, its pieces one after another.
inline QByteArray pictureOf(const Page& page)
{
    QByteArray picture;
    for (const QByteArray& piece : page.pieces)
        picture += piece;
    return picture;
}

// The bytes of one row of an uncompressed page's picture, in one plane.
inline qsizetype rowBytes(const Page& page)
{
    const Entry* bits = page.find(0x0102);
    uint32_t pixelBits = 0;
    const uint32_t samples = page.find(0x0115) ? page.number(0x0115) : 1;
    for (uint32_t i = 0; i < samples; ++i)
        pixelBits += bits ? page.number(0x0102, bits->count == 1 ? 0 : int(i)) : 1;
    return (qsizetype(page.number(0x0100)) * pixelBits + 7) / 8;
}

// An uncompressed page cut into strips of `rows` rows.
inline Page inStrips(const Page& page, uint32_t rows)
{
    Page cut = page;
    const QByteArray picture = pictureOf(page);
    const qsizetype strip = rowBytes(page) * rows;
    cut.pieces.clear();
    for (qsizetype at = 0; at < picture.size(); at += strip)
        cut.pieces.push_back(picture.mid(at, strip));
    cut.set(kRowsPerStrip, 4, {rows});
    return cut;
}

// An uncompressed page of whole bytes a pixel cut into tiles of `size`
// pixels, those over the picture's edges filled with zeroes.
inline Page inTiles(const Page& strips, uint32_t size)
{
    Page tiled = strips;
    const QByteArray picture = pictureOf(strips);
    const qsizetype row = rowBytes(strips);
    const qsizetype pixel = row / strips.number(0x0100);
    EXPECT_EQ(pixel * strips.number(0x0100), row);
    const uint32_t width = strips.number(0x0100);
    const uint32_t height = strips.number(0x0101);
    tiled.pieces.clear();
    for (uint32_t top = 0; top < height; top += size) {
        for (uint32_t left = 0; left < width; left += size) {
            QByteArray tile;
            for (uint32_t y = top; y < top + size; ++y) {
                QByteArray line = y < height ? picture.mid(y * row + left * pixel, std::min(size, width - left) * pixel)
                                             : QByteArray();
                tile += line + QByteArray(size * pixel - line.size(), '\0');
            }
            tiled.pieces.push_back(tile);
        }
    }
    tiled.tiles = true;
    tiled.remove(kRowsPerStrip);
    tiled.set(kTileWidth, 3, {size});
    tiled.set(kTileLength, 3, {size});
    return tiled;
}

// An uncompressed page of 8-bit grey made 4-bit, two pixels a byte, in one
// strip.
inline Page inFourBits(const Page& grey)
{
    Page packed = grey;
    const QByteArray picture = pictureOf(grey);
    const uint32_t width = grey.number(0x0100);
    QByteArray strip;
    for (qsizetype row = 0; row < qsizetype(grey.number(0x0101)); ++row) {
        for (uint32_t x = 0; x < width; x += 2) {
            const uint8_t left = uint8_t(picture.at(row * width + x)) >> 4;
            const uint8_t right = x + 1 < width ? uint8_t(picture.at(row * width + x + 1)) >> 4 : 0;
            strip += char((left << 4) | right);
        }
    }
    packed.pieces = {strip};
    packed.set(0x0102, 3, {4});
    packed.set(kRowsPerStrip, 4, {grey.number(0x0101)});
    return packed;
}

// An uncompressed page cut into strips of `rows` rows, each row compressed
// by PackBits into runs of up to 128 bytes written as they are: strips of
// lengths the page's tags do not fix.
inline Page inPackBitsStrips(const Page& page, uint32_t rows)
{
    Page packed = inStrips(page, rows);
    const qsizetype row = rowBytes(page);
    for (QByteArray& strip : packed.pieces) {
        QByteArray runs;
        for (qsizetype at = 0; at < strip.size(); at += row) {
            for (qsizetype run = at; run < at + row; run += 128) {
                const qsizetype size = std::min<qsizetype>(128, at + row - run);
                runs += char(size - 1) + strip.mid(run, size);
            }
        }
        strip = runs;
    }
    packed.set(0x0103, 3, {32773});
    return packed;
}

// An uncompressed page of 8-bit samples in one plane per sample, each plane
// one strip.
inline Page inPlanes(const Page& chunky)
{
    Page planar = chunky;
    const QByteArray picture = pictureOf(chunky);
    const uint32_t samples = chunky.number(0x0115);
    planar.pieces.assign(samples, QByteArray());
    for (qsizetype i = 0; i < picture.size(); ++i)
        planar.pieces[i % samples] += picture.at(i);
    planar.set(kRowsPerStrip, 4, {chunky.number(0x0101)});
    planar.set(kPlanarConfiguration, 3, {2});
    return planar;
}

// The page with only the tags its picture needs, as a program that joins
// pages may write them: no resolution, no orientation, no metadata.
inline Page withoutMetadata(const Page& page)
{
    static const std::vector<uint16_t> needed = {0x0100, 0x0101, 0x0102, 0x0103, 0x0106, 0x0115, 0x0116, 0x011C, 0x013D,
        0x0140, kTileWidth, kTileLength, 0x0152, 0x0153};
    Page bare = page;
    bare.entries.erase(
        std::remove_if(bare.entries.begin(), bare.entries.end(),
            [](const Entry& entry) { return std::find(needed.begin(), needed.end(), entry.tag) == needed.end(); }),
        bare.entries.end());
    return bare;
}

} // namespace TiffDocuments
