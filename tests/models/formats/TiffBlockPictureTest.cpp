// The picture of a TIFF found in its own bytes: the strips or tiles its
// directories name, or the entry that does not tell their place or length
// with certainty.

#include "models/formats/TiffBlock.h"

#include "support/ImageFixtures.h"

#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>

namespace {

QByteArray sampleBytes(const QString& name)
{
    QFile file(ImageFixtures::sample(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// goexif.tif (little-endian, one strip), and the offset of IFD0's entry of
// `tag` in it.
struct Sample {
    QByteArray bytes = sampleBytes("goexif.tif");
    qsizetype entry(uint16_t tag) const
    {
        const qsizetype ifd0 = qFromLittleEndian<quint32>(bytes.constData() + 4);
        for (int i = 0; i < qFromLittleEndian<quint16>(bytes.constData() + ifd0); ++i) {
            const qsizetype at = ifd0 + 2 + 12 * i;
            if (qFromLittleEndian<quint16>(bytes.constData() + at) == tag)
                return at;
        }
        return -1;
    }
    void set(qsizetype at, uint32_t value, int width)
    {
        if (width == 2)
            qToLittleEndian<quint16>(quint16(value), bytes.data() + at);
        else
            qToLittleEndian<quint32>(value, bytes.data() + at);
    }
};

// goexif.tif with its strip entries turned into tile entries.
struct TiledSample : Sample {
    TiledSample()
    {
        set(entry(0x0111), 0x0144, 2);
        set(entry(0x0117), 0x0145, 2);
    }
};

TiffBlock::Picture pictureOf(const QByteArray& bytes)
{
    return TiffBlock(bytes, 0, bytes.size()).picture();
}

} // namespace

TEST(TiffBlockPictureTest, StripsAndTilesAreFoundWhereTheirEntriesPlaceThem)
{
    const QByteArray strips = sampleBytes("goexif.tif");
    const TiffBlock::Picture found = pictureOf(strips);
    ASSERT_FALSE(found.isDamaged());
    ASSERT_EQ(found.pieces.size(), 1u);
    EXPECT_EQ(found.pieces[0].offset, 8);
    EXPECT_EQ(found.pieces[0].size, 18112);

    const TiledSample tiles;
    const TiffBlock::Picture tiled = pictureOf(tiles.bytes);
    ASSERT_FALSE(tiled.isDamaged());
    ASSERT_EQ(tiled.pieces.size(), 1u);
    EXPECT_EQ(tiled.pieces[0].offset, 8);
    EXPECT_EQ(tiled.pieces[0].size, 18112);

    // The same in big-endian order, a strip of 6,391 bytes.
    const TiffBlock::Picture big = pictureOf(sampleBytes("npm-arbitro.tiff"));
    ASSERT_FALSE(big.isDamaged());
    ASSERT_EQ(big.pieces.size(), 1u);
    EXPECT_EQ(big.pieces[0].size, 6391);
}

// Each damage leaves the place or the length of the tiles uncertain, and the
// entry that does not tell is named.
TEST(TiffBlockPictureTest, AnUncertainPlaceOrLengthNamesItsEntry)
{
    const struct {
        const char* what;
        std::function<void(TiledSample&)> damage;
        uint16_t named;
    } cases[] = {
        {"lengths typed BYTE", [](TiledSample& s) { s.set(s.entry(0x0145) + 2, 1, 2); }, 0x0145},
        {"lengths typed SSHORT", [](TiledSample& s) { s.set(s.entry(0x0145) + 2, 8, 2); }, 0x0145},
        {"offsets typed SLONG", [](TiledSample& s) { s.set(s.entry(0x0144) + 2, 9, 2); }, 0x0144},
        {"lengths without offsets", [](TiledSample& s) { s.set(s.entry(0x0144), 0x0104, 2); }, 0x0144},
        {"no lengths", [](TiledSample& s) { s.set(s.entry(0x0145) + 4, 0, 4); }, 0x0145},
        {"a length of 0", [](TiledSample& s) { s.set(s.entry(0x0145) + 8, 0, 4); }, 0x0145},
        {"two lengths for one offset", [](TiledSample& s) { s.set(s.entry(0x0145) + 4, 2, 4); }, 0x0145},
        {"a length past the file", [](TiledSample& s) { s.set(s.entry(0x0145) + 8, 0x10000, 4); }, 0x0145},
        {"an offset into the header", [](TiledSample& s) { s.set(s.entry(0x0144) + 8, 4, 4); }, 0x0144},
        {"an offset into IFD0",
            [](TiledSample& s) {
                s.set(s.entry(0x0144) + 8, qFromLittleEndian<quint32>(s.bytes.constData() + 4), 4);
                s.set(s.entry(0x0145) + 8, 20, 4);
            },
            0x0144},
    };
    for (const auto& damage : cases) {
        SCOPED_TRACE(damage.what);
        TiledSample sample;
        damage.damage(sample);
        const TiffBlock::Picture found = pictureOf(sample.bytes);
        EXPECT_TRUE(found.isDamaged());
        EXPECT_EQ(found.damagedTag, damage.named);
        EXPECT_EQ(found.damagedGroup, "Image");
    }
}

// Uncompressed tiles hold their whole size, fixed by the directory's tags:
// goexif.tif's strip, as one tile, given Compression 1 and a tile size
// (entries the test turns into TileWidth and TileLength).
TEST(TiffBlockPictureTest, AnUncompressedTileShorterThanItsSizeNamesItsLength)
{
    const auto uncompressed = [](uint32_t tileWidth, uint32_t tileLength) {
        TiledSample sample;
        sample.set(sample.entry(0x0103) + 8, 1, 2);
        const qsizetype width = sample.entry(0x010A);
        const qsizetype length = sample.entry(0x0112);
        sample.set(width, 0x0142, 2);
        sample.set(width + 8, tileWidth, 2);
        sample.set(length, 0x0143, 2);
        sample.set(length + 8, tileLength, 2);
        return sample;
    };
    // 1,728 pixels of 1 bit, 84 rows: 18,144 bytes, 32 more than the tile.
    const TiffBlock::Picture shorter = pictureOf(uncompressed(1728, 84).bytes);
    EXPECT_TRUE(shorter.isDamaged());
    EXPECT_EQ(shorter.damagedTag, 0x0145);
    EXPECT_FALSE(pictureOf(uncompressed(1728, 83).bytes).isDamaged());

    // A picture of no width has no tiles to size.
    TiledSample noWidth = uncompressed(1728, 84);
    noWidth.set(noWidth.entry(0x0100) + 8, 0, 2);
    EXPECT_FALSE(pictureOf(noWidth.bytes).isDamaged());
}

// An entry whose value lies within a strip is named, by the first byte the
// two share: goexif.tif's strip lies at 8 to 18,120, its description (19
// bytes) moved by the test.
TEST(TiffBlockPictureTest, AnEntryWhoseValueLiesInAStripIsNamed)
{
    const auto movedTo = [](uint32_t offset) {
        Sample sample;
        sample.set(sample.entry(0x010E) + 8, offset, 4);
        return pictureOf(sample.bytes);
    };
    for (uint32_t offset : {8u, 108u, 18120u - 19u, 18119u}) {
        const TiffBlock::Picture found = movedTo(offset);
        EXPECT_TRUE(found.isDamaged()) << offset;
        EXPECT_TRUE(found.valueInPicture) << offset;
        EXPECT_EQ(found.damagedTag, 0x010E) << offset;
        EXPECT_EQ(found.damagedGroup, "Image") << offset;
    }
    // Just past the strip, and a value running past the file's end (another
    // damage): the picture is certain.
    EXPECT_FALSE(movedTo(18120).isDamaged());
    Sample pastTheEnd;
    pastTheEnd.set(pastTheEnd.entry(0x010E) + 4, 0x10000, 4);
    pastTheEnd.set(pastTheEnd.entry(0x010E) + 8, 100, 4);
    EXPECT_FALSE(pictureOf(pastTheEnd.bytes).isDamaged());
    EXPECT_FALSE(pictureOf(sampleBytes("goexif.tif")).isDamaged());
}
