// Saves of TIFFs as writers lay them out (strips uncompressed and LZW, tiles,
// planes, 1 to 16 bits, a palette, pages chained into a document) and of
// TIFFs whose entries were damaged where they meet the picture, read back by
// exiftool: every page's picture is kept, or the save is refused with the
// file untouched.

#include "models/write/DamagedSamples.h"
#include "models/write/TiffDocuments.h"
#include "models/write/TiffView.h"

#include "models/tables/TAVKeyLists.h"

#include <functional>

using namespace DamagedSamples;
using namespace TiffDocuments;

namespace {

// The strips or tiles of every page as exiftool places them, each page's
// pieces joined.
QList<QByteArray> pagesOf(const QJsonObject& tags, const QByteArray& bytes)
{
    QList<QByteArray> pages;
    for (int page = 0; tags.contains(QStringLiteral("IFD%1:ImageWidth").arg(page)); ++page) {
        QByteArray picture;
        for (const auto& [offsetsTag, lengthsTag] :
            {std::pair{"StripOffsets", "StripByteCounts"}, {"TileOffsets", "TileByteCounts"}}) {
            const auto numbers = [&](const char* tag) {
                return tags.value(QStringLiteral("IFD%1:%2").arg(page).arg(tag))
                    .toVariant()
                    .toString()
                    .split(' ', Qt::SkipEmptyParts);
            };
            const QStringList offsets = numbers(offsetsTag);
            const QStringList lengths = numbers(lengthsTag);
            if (offsets.size() != lengths.size())
                return {"offsets and lengths do not pair up"};
            for (qsizetype i = 0; i < offsets.size(); ++i)
                picture += bytes.mid(offsets.at(i).toLongLong(), lengths.at(i).toLongLong());
        }
        pages << picture;
    }
    return pages;
}

// The tags that tell how each page's picture is to be decoded.
QJsonObject codingOf(const QJsonObject& tags)
{
    static const QStringList names = {"ImageWidth", "ImageHeight", "BitsPerSample", "Compression",
        "PhotometricInterpretation", "SamplesPerPixel", "RowsPerStrip", "PlanarConfiguration", "TileWidth",
        "TileLength", "ColorMap", "ExtraSamples", "SampleFormat", "Predictor"};
    QJsonObject coding;
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        if (it.key().startsWith("IFD") && names.contains(it.key().section(':', 1)))
            coding.insert(it.key(), it.value());
    }
    return coding;
}

// The tags exiftool reads, numbers as numbers and lists of strips in full.
QJsonObject tagsOf(const QString& path)
{
    return ExifTool::read(path, {"-n", "-a", "-b"});
}

// The directory of the `page`th page (from 0).
qsizetype directoryOfPage(const TiffView& tiff, int page)
{
    qsizetype directory = tiff.ifd0();
    for (int i = 0; i < page; ++i)
        directory = tiff.read(directory + 2 + 12 * qsizetype(tiff.read(directory, 2)), 4);
    return directory;
}

void editField(const TAVImageObjectPtr& image, const QString& key, const QString& value)
{
    image->exifData()->setValue(value, key, TAVKeyLists::categoryOfKey(key), false, false, true);
}

// An edit or a clear as the tabs and the Clear menu make it, and what the
// saved file then reads.
struct Action {
    const char* what;
    std::function<void(const TAVImageObjectPtr&)> apply;
    std::function<void(const QJsonObject&)> expect;
};

const std::vector<Action>& actions()
{
    static const std::vector<Action> all = {
        {"title", [](const auto& image) { editField(image, "Iptc.Application2.ObjectName", "Harbour"); },
            [](const QJsonObject& tags) { EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), "Harbour"); }},
        {"date",
            [](const auto& image) {
                editField(image, TAVKeyLists::createDateKey(), "2019-05-04");
                editField(image, TAVKeyLists::createTimeKey(), "16:07:09");
            },
            [](const QJsonObject& tags) {
                EXPECT_EQ(tags.value("ExifIFD:DateTimeOriginal").toString(), "2019:05:04 16:07:09");
            }},
        {"FNumber",
            [](const auto& image) {
                image->exifData()->setValue(
                    "4.0", "Exif.Photo.FNumber", TAVExifData::CategoryExposure, false, false, true);
            },
            [](const QJsonObject& tags) { EXPECT_EQ(tags.value("ExifIFD:FNumber").toDouble(), 4.0); }},
        {"artist", [](const auto& image) { editField(image, "Exif.Image.Artist", "Ann"); },
            [](const QJsonObject& tags) { EXPECT_EQ(tags.value("IFD0:Artist").toString(), "Ann"); }},
        {"Clear All", [](const auto& image) { image->clear(TAVExifData::ClearAll); },
            [](const QJsonObject& tags) {
                for (const char* gone : {"IFD0:Artist", "IPTC:ObjectName", "XMP-dc:Title", "GPS:GPSLatitude"})
                    EXPECT_FALSE(tags.contains(gone)) << gone;
            }},
        {"Clear > EXIF", [](const auto& image) { image->clear(TAVExifData::ClearExif); },
            [](const QJsonObject& tags) {
                EXPECT_FALSE(tags.contains("IFD0:Artist"));
                EXPECT_FALSE(tags.contains("GPS:GPSLatitude"));
            }},
        {"Clear > IPTC", [](const auto& image) { image->clear(TAVExifData::ClearIptc); },
            [](const QJsonObject& tags) { EXPECT_FALSE(tags.contains("IPTC:ObjectName")); }},
        {"Clear > GPS", [](const auto& image) { image->clear(TAVExifData::ClearGps); },
            [](const QJsonObject& tags) { EXPECT_FALSE(tags.contains("GPS:GPSLatitude")); }},
    };
    return all;
}

class TiffLayoutSavesTest : public DamagedFilesSaveTest {
protected:
    // `bytes` as the user's file, given `apply`'s edit or clear and saved:
    // true when saved, false when refused (then with the file untouched).
    bool saveWith(const QByteArray& bytes, const std::function<void(const TAVImageObjectPtr&)>& apply, QString* why)
    {
        const QString user = tempPath("user/document.tif");
        EXPECT_TRUE(FileServices::writeFileAtomically(user, bytes));
        const auto image = openWorkingCopy(user);
        apply(image);
        const bool saved = image->saveMetadataToImage();
        *why = image->lastSaveFailure();
        if (!saved) {
            EXPECT_EQ(WrittenFileProbe::bytes(user), bytes);
        }
        QFile::remove(image->path());
        return saved;
    }

    // `bytes`, a document of `pages` pages, as the user's file saved with
    // `apply`'s change: every page's picture comes back where exiftool finds
    // it. The tags exiftool then reads.
    QJsonObject savedWithEveryPage(
        const QByteArray& bytes, const std::function<void(const TAVImageObjectPtr&)>& apply, qsizetype pages)
    {
        const QString user = tempPath("user/document.tif");
        EXPECT_TRUE(FileServices::writeFileAtomically(user, bytes));
        const QList<QByteArray> before = pagesOf(tagsOf(user), bytes);
        EXPECT_EQ(before.size(), pages);
        QString why;
        EXPECT_TRUE(saveWith(bytes, apply, &why)) << qPrintable(why);
        const QJsonObject tags = tagsOf(user);
        EXPECT_EQ(pagesOf(tags, WrittenFileProbe::bytes(user)), before);
        return tags;
    }

    // The file given an artist, a title in IPTC and XMP, and a position, as
    // the library writes them, and `more`.
    QByteArray withMetadata(const QByteArray& bytes, const std::vector<ImageFixtures::Tag>& more = {})
    {
        const QString path = tempPath("tagged.tif");
        EXPECT_TRUE(FileServices::writeFileAtomically(path, bytes));
        std::vector<ImageFixtures::Tag> tags
            = {{"Exif.Image.Artist", "Ben", std::nullopt}, {"Iptc.Application2.ObjectName", "Boats", std::nullopt},
                {"Xmp.dc.title", "Boats", std::nullopt}, {"Exif.GPSInfo.GPSLatitudeRef", "N", std::nullopt},
                {"Exif.GPSInfo.GPSLatitude", "54/1 30/1 0/1", std::nullopt}};
        tags.insert(tags.end(), more.begin(), more.end());
        EXPECT_TRUE(ImageFixtures::writeTags(path, tags));
        return WrittenFileProbe::bytes(path);
    }
};

} // namespace

// Every layout a writer makes takes every edit and every clear, each page's
// picture kept byte for byte where exiftool finds it. A document's pages
// after the first, which the library reads as Thumbnail, Image2 and Image3,
// were erased with the rest of the EXIF by Clear All and Clear > EXIF, and
// those clears were refused ("the picture data changed").
TEST_F(TiffLayoutSavesTest, EveryLayoutTakesEveryEditAndClear)
{
    const QByteArray rgb = writtenTiff(QImage::Format_RGB888);
    const QByteArray grey16 = writtenTiff(QImage::Format_Grayscale16);
    const QByteArray mono = writtenTiff(QImage::Format_Mono);
    const QByteArray lzw = writtenTiff(QImage::Format_RGB888, true);
    const struct {
        const char* what;
        QByteArray bytes;
    } layouts[] = {
        {"8-bit RGB", withMetadata(rgb)},
        {"8-bit RGB, LZW", withMetadata(lzw)},
        {"1 bit", withMetadata(mono)},
        {"4-bit grey", withMetadata(fileOf({inFourBits(pageOf(writtenTiff(QImage::Format_Grayscale8)))}))},
        {"16-bit grey", withMetadata(grey16)},
        {"16-bit RGBA in strips", withMetadata(writtenTiff(QImage::Format_RGBA64))},
        {"8-bit palette", withMetadata(writtenTiff(QImage::Format_Indexed8))},
        {"8-bit RGB in tiles", withMetadata(fileOf({inTiles(pageOf(rgb), 16)}))},
        {"8-bit RGB in planes", withMetadata(fileOf({inPlanes(pageOf(rgb))}))},
        {"three pages", withMetadata(fileOf({pageOf(rgb), pageOf(grey16), pageOf(mono)}))},
        {"three pages, the second tiled", withMetadata(fileOf({pageOf(mono), inTiles(pageOf(rgb), 32), pageOf(rgb)}))},
        {"two pages joined, no metadata", fileOf({withoutMetadata(pageOf(rgb)), withoutMetadata(pageOf(grey16))})},
        {"four pages, LZW", withMetadata(fileOf({pageOf(lzw), pageOf(lzw), pageOf(lzw), pageOf(lzw)}))},
        {"npm-arbitro.tiff, big-endian and LZW", WrittenFileProbe::bytes(ImageFixtures::sample("npm-arbitro.tiff"))},
        {"goexif.tif", WrittenFileProbe::bytes(ImageFixtures::sample("goexif.tif"))},
    };
    const QString user = tempPath("user/document.tif");
    for (const auto& layout : layouts) {
        ASSERT_TRUE(FileServices::writeFileAtomically(user, layout.bytes));
        const QJsonObject before = tagsOf(user);
        const QList<QByteArray> pages = pagesOf(before, layout.bytes);
        ASSERT_FALSE(pages.isEmpty()) << layout.what;
        for (const Action& action : actions()) {
            SCOPED_TRACE(QStringLiteral("%1, %2").arg(layout.what, action.what).toStdString());
            QString why;
            if (!saveWith(layout.bytes, action.apply, &why)) {
                ADD_FAILURE() << "refused: " << qPrintable(why);
                continue;
            }
            const QJsonObject tags = tagsOf(user);
            EXPECT_EQ(pagesOf(tags, WrittenFileProbe::bytes(user)), pages);
            EXPECT_EQ(codingOf(tags), codingOf(before));
            action.expect(tags);
        }
    }
}

// A page's strip offsets entry whose tag lost a bit (0x0111 read as 0x0110,
// a camera model, or as 0x0011) leaves the page's lengths without offsets:
// the library reads the page as holding no picture, and a title or date save
// of a document dropped that page's strips. On any page (its tiles alike),
// the save is refused naming the entry, the file untouched.
TEST_F(TiffLayoutSavesTest, AStripOrTileEntryDamagedOnAnyPageRefusesTheSave)
{
    const QByteArray rgb = writtenTiff(QImage::Format_RGB888);
    const QByteArray document
        = fileOf({pageOf(rgb), inTiles(pageOf(rgb), 16), pageOf(writtenTiff(QImage::Format_Grayscale8))});
    const struct {
        int page;
        uint16_t tag;
        uint16_t damaged;
        const char* named;
    } damages[] = {
        {0, kStripOffsets, 0x0110, "Exif.Image.StripOffsets"},
        {0, kStripOffsets, 0x0011, "Exif.Image.StripOffsets"},
        {1, kTileOffsets, 0x0104, "Exif.Thumbnail.TileOffsets"},
        {2, kStripOffsets, 0x0110, "Exif.Image2.StripOffsets"},
        {2, kStripOffsets, 0x0011, "Exif.Image2.StripOffsets"},
    };
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.named);
        QByteArray damaged = document;
        const TiffView tiff(document);
        const qsizetype directory = directoryOfPage(tiff, damage.page);
        damaged.replace(tiff.entry(directory, damage.tag), 2, tiff.number(damage.damaged, 2));
        for (const Action& action : {actions()[0], actions()[1]}) {
            QString why;
            EXPECT_FALSE(saveWith(damaged, action.apply, &why)) << action.what;
            EXPECT_TRUE(why.contains(QStringLiteral("the EXIF entry %1 of the file is damaged").arg(damage.named)))
                << qPrintable(why);
        }
    }
}

// An entry's value placed within a strip or a tile by one damaged offset
// (an IPTC block's, a date's) made a save write the new value there, over
// the picture, and report it saved. Such a save is refused naming the entry,
// the file untouched, in the first strip and in the eleventh, in a tile and
// on a later page.
TEST_F(TiffLayoutSavesTest, AnEntryWhoseValueLiesInThePictureRefusesTheSave)
{
    const QByteArray rgb = writtenTiff(QImage::Format_RGB888);
    const auto tagged = [this](const QByteArray& bytes) {
        const QString path = tempPath("tagged.tif");
        EXPECT_TRUE(FileServices::writeFileAtomically(path, bytes));
        EXPECT_TRUE(ImageFixtures::writeTags(path,
            {{"Exif.Image.DateTime", "2001:02:03 04:05:06", std::nullopt},
                {"Exif.Photo.DateTimeOriginal", "2001:02:03 04:05:06", std::nullopt},
                {"Iptc.Application2.ObjectName", "Boats", std::nullopt},
                {"Iptc.Application2.Caption", QString(460, 'c'), std::nullopt}}));
        return WrittenFileProbe::bytes(path);
    };
    const QByteArray strips = tagged(fileOf({inStrips(pageOf(rgb), 4)}));
    const QByteArray tiles = tagged(fileOf({inTiles(pageOf(rgb), 16)}));
    const QByteArray pages = tagged(fileOf({pageOf(rgb), pageOf(rgb), inStrips(pageOf(rgb), 8)}));
    const struct {
        const char* what;
        const QByteArray& bytes;
        uint16_t tag;
        int page;
        uint16_t piecesTag;
        uint32_t piece;
        const char* named;
    } damages[] = {
        {"IPTC in strip 1", strips, 0x83BB, 0, kStripOffsets, 0, "Exif.Image.IPTCNAA"},
        {"IPTC in strip 11", strips, 0x83BB, 0, kStripOffsets, 10, "Exif.Image.IPTCNAA"},
        {"date in strip 11", strips, 0x0132, 0, kStripOffsets, 10, "Exif.Image.DateTime"},
        {"date in a tile", tiles, 0x0132, 0, kTileOffsets, 3, "Exif.Image.DateTime"},
        {"capture date in page 3", pages, 0x9003, 2, kStripOffsets, 5, "Exif.Photo.DateTimeOriginal"},
    };
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.what);
        QByteArray damaged = damage.bytes;
        const TiffView tiff(damage.bytes);
        const qsizetype directory = directoryOfPage(tiff, damage.page);
        const uint32_t piece
            = tiff.read(tiff.read(tiff.entry(directory, damage.piecesTag) + 8, 4) + 4 * damage.piece, 4);
        const qsizetype entry
            = damage.tag == 0x9003 ? tiff.entry(tiff.exifDirectory(), damage.tag) : tiff.entry(tiff.ifd0(), damage.tag);
        damaged.replace(entry + 8, 4, tiff.number(piece + 2, 4));
        for (const Action& action : {actions()[0], actions()[1]}) {
            QString why;
            EXPECT_FALSE(saveWith(damaged, action.apply, &why)) << action.what;
            EXPECT_TRUE(why.contains(QStringLiteral("the EXIF entry %1 of the file is damaged: its value lies "
                                                    "within the picture data")
                                         .arg(damage.named)))
                << qPrintable(why);
        }
    }
}

// A page's strip offset damaged into another page's tiles had the library
// copy those tiles as the page's strip, and the page's own strip was lost,
// the picture check comparing what the damaged offset named. Pieces that
// overlap in part refuse the save naming the entry; two pages naming the
// very same strip, as a writer may repeat a blank one, are saved with both.
TEST_F(TiffLayoutSavesTest, AStripOverlappingAnotherPagesPictureRefusesTheSave)
{
    const QByteArray rgb = writtenTiff(QImage::Format_RGB888);
    const QByteArray document = fileOf({inTiles(pageOf(rgb), 16), pageOf(rgb)});
    const TiffView tiff(document);
    const qsizetype tiles = tiff.read(tiff.entry(tiff.ifd0(), kTileOffsets) + 8, 4);
    const qsizetype strip = tiff.entry(directoryOfPage(tiff, 1), kStripOffsets) + 8;
    QByteArray damaged = document;
    damaged.replace(strip, 4, tiff.number(tiff.read(tiles, 4) + 100, 4));
    for (const Action& action : {actions()[0], actions()[1]}) {
        QString why;
        EXPECT_FALSE(saveWith(damaged, action.apply, &why)) << action.what;
        EXPECT_TRUE(why.contains("the EXIF entry Exif.Thumbnail.StripOffsets of the file is damaged"))
            << qPrintable(why);
    }

    const QByteArray shared = fileOf({pageOf(rgb), pageOf(rgb)});
    QByteArray repeated = shared;
    const TiffView pages(shared);
    repeated.replace(pages.entry(directoryOfPage(pages, 1), kStripOffsets) + 8, 4,
        pages.number(pages.read(pages.entry(pages.ifd0(), kStripOffsets) + 8, 4), 4));
    savedWithEveryPage(repeated, actions()[0].apply, 2);
}

// The library reads a document's first four pages alone, and a save that
// lays the file out anew drops the others: every edit and clear of a
// document of five or six pages was refused as "the picture data changed".
// It is refused saying how many pages the document has, the file untouched.
// A change the library puts in place of the old value (an FNumber, a title
// of the same length) keeps every page and is saved, and a document whose
// last page chains back to its first has the pages it names once.
TEST_F(TiffLayoutSavesTest, ADocumentOfMorePagesThanTheLibraryKeepsIsRefusedByItsPageCount)
{
    const QByteArray rgb = writtenTiff(QImage::Format_RGB888);
    const QByteArray lzw = writtenTiff(QImage::Format_RGB888, true);
    const std::vector<Page> first = {pageOf(rgb), pageOf(lzw), pageOf(rgb), pageOf(lzw)};
    for (const std::vector<Page>& after : {std::vector<Page>{pageOf(rgb)}, {pageOf(rgb), pageOf(lzw)}}) {
        const QByteArray document = withPagesAfter(withMetadata(fileOf(first)), after);
        const qsizetype pages = 4 + qsizetype(after.size());
        for (const Action& action : actions()) {
            SCOPED_TRACE(QStringLiteral("%1 pages, %2").arg(pages).arg(action.what).toStdString());
            QString why;
            EXPECT_FALSE(saveWith(document, action.apply, &why));
            EXPECT_TRUE(why.contains(QStringLiteral("the document has %1 pages, and Lumetta cannot write this change "
                                                    "into a document of more than four pages")
                                         .arg(pages)))
                << qPrintable(why);
        }
    }

    const QByteArray five
        = withPagesAfter(withMetadata(fileOf(first), {{"Exif.Photo.FNumber", "28/10", std::nullopt}}), {pageOf(rgb)});
    const std::vector<Action> inPlace = {
        {"FNumber", actions()[2].apply, actions()[2].expect},
        {"title of the same length",
            [](const auto& image) { editField(image, "Iptc.Application2.ObjectName", "Ships"); },
            [](const QJsonObject& tags) { EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), "Ships"); }},
    };
    for (const Action& action : inPlace) {
        SCOPED_TRACE(action.what);
        action.expect(savedWithEveryPage(five, action.apply, 5));
    }

    QByteArray looped = fileOf({pageOf(rgb), pageOf(lzw), pageOf(rgb)});
    const TiffView chain(looped);
    const qsizetype last = directoryOfPage(chain, 2);
    looped.replace(last + 2 + 12 * qsizetype(chain.read(last, 2)), 4, chain.number(uint32_t(chain.ifd0()), 4));
    savedWithEveryPage(looped, actions()[0].apply, 3);
}

// A strip's offset damaged into another strip of its own page had the
// library copy those bytes as the strip, and the strip's own bytes were
// lost, the save passing (the picture check compared what the damaged offset
// named). Such a save is refused naming the entry, the file untouched: an
// offset moved 10 bytes into the strip before or after it, into a strip two
// away, a tile's into another tile, a compressed strip's into a strip two
// away. A length running on into the next strip, or over it into the one
// after, loses nothing and is saved with every strip as it was; so is a
// shorter last strip named at the first one's start, as a writer names a
// blank strip twice.
TEST_F(TiffLayoutSavesTest, AStripOverlappingAnotherOfItsOwnPageRefusesTheSave)
{
    const QByteArray rgb = writtenTiff(QImage::Format_RGB888);
    const QByteArray strips = fileOf({inStrips(pageOf(rgb), 4)});
    const QByteArray tiles = fileOf({inTiles(pageOf(rgb), 16)});
    const QByteArray packed = fileOf({inPackBitsStrips(pageOf(rgb), 4)});
    // The file with the `index`th number of the first page's entry of `tag`
    // made the `to`th one's and `by` more.
    const auto damaged = [](const QByteArray& bytes, uint16_t tag, uint32_t index, uint32_t to, int64_t by) {
        const TiffView tiff(bytes);
        const qsizetype numbers = tiff.read(tiff.entry(tiff.ifd0(), tag) + 8, 4);
        QByteArray changed = bytes;
        changed.replace(numbers + 4 * index, 4, tiff.number(uint32_t(tiff.read(numbers + 4 * to, 4) + by), 4));
        return changed;
    };
    const struct {
        const char* what;
        QByteArray bytes;
        const char* named;
    } refused[] = {
        {"strip 11 moved into strip 10", damaged(strips, kStripOffsets, 10, 10, -10), "Exif.Image.StripOffsets"},
        {"strip 11 moved into strip 12", damaged(strips, kStripOffsets, 10, 10, 10), "Exif.Image.StripOffsets"},
        {"strip 11 moved into strip 13", damaged(strips, kStripOffsets, 10, 12, 100), "Exif.Image.StripOffsets"},
        {"strip 11 moved into strip 9", damaged(strips, kStripOffsets, 10, 8, 100), "Exif.Image.StripOffsets"},
        {"tile 21 moved into tile 23", damaged(tiles, kTileOffsets, 20, 22, 100), "Exif.Image.TileOffsets"},
        {"compressed strip 11 moved into strip 13", damaged(packed, kStripOffsets, 10, 12, 100),
            "Exif.Image.StripOffsets"},
        {"compressed strip 11 moved into strip 9", damaged(packed, kStripOffsets, 10, 8, 100),
            "Exif.Image.StripOffsets"},
    };
    for (const auto& damage : refused) {
        for (const Action& action : {actions()[0], actions()[1]}) {
            SCOPED_TRACE(QStringLiteral("%1, %2").arg(damage.what, action.what).toStdString());
            QString why;
            EXPECT_FALSE(saveWith(damage.bytes, action.apply, &why));
            EXPECT_TRUE(why.contains(QStringLiteral("the EXIF entry %1 of the file is damaged").arg(damage.named)))
                << qPrintable(why);
        }
    }

    const TiffView view(strips);
    const qsizetype lengths = view.read(view.entry(view.ifd0(), kStripByteCounts) + 8, 4);
    const uint32_t strip11 = view.read(lengths + 4 * 10, 4);
    const struct {
        const char* what;
        QByteArray bytes;
    } saved[] = {
        {"strip 11 running into strip 12", damaged(strips, kStripByteCounts, 10, 10, 10)},
        {"strip 11 running over strip 12", damaged(strips, kStripByteCounts, 10, 11, strip11 + 10)},
        {"compressed strip 11 running into strip 12", damaged(packed, kStripByteCounts, 10, 10, 10)},
        {"the shorter last strip named at the first one's start", damaged(strips, kStripOffsets, 25, 0, 0)},
    };
    for (const auto& layout : saved) {
        SCOPED_TRACE(layout.what);
        savedWithEveryPage(layout.bytes, actions()[0].apply, 1);
    }
}
