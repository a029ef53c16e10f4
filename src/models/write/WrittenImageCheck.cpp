#include "models/write/WrittenImageCheck.h"
#include "foundation/BoundedMemo.h"
#include "models/formats/ExivRuntime.h"

#include "models/formats/JpegSegments.h"
#include "models/formats/MultiPictureIndex.h"
#include "models/formats/PngKeptChunks.h"
#include "models/formats/PngProfileChunk.h"
#include "models/formats/SonyPreviewImage.h"
#include "models/formats/TiffBlock.h"
#include "models/formats/TiffIptcEntries.h"
#include "models/write/ExifBlockDamage.h"
#include "models/write/LikenessList.h"
#include "models/write/RepeatedExifBlocks.h"
#include "models/write/UnreadableBlocks.h"

#include <QBuffer>
#include <QByteArrayView>
#include <QImageReader>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace {

using ImagePtr = std::unique_ptr<Exiv2::Image>;

const Exiv2::byte* data(const QByteArray& bytes)
{
    return reinterpret_cast<const Exiv2::byte*>(bytes.constData());
}

ImagePtr openBytes(const QByteArray& bytes)
{
    auto image = Exiv2::ImageFactory::open(data(bytes), static_cast<long>(bytes.size()));
    ExivRuntime::readMetadata(*image);
    return ImagePtr(image.release());
}

bool fail(QString* why, const QString& reason)
{
    if (why) {
        *why = reason;
    }
    return false;
}

// What the library is known to change when it writes, and how each such
// value is compared instead. Every entry was found by an experiment: each
// sample of the test data (JPEG, TIFF and PNG files of nine makers) was read,
// changed by one edit (none, an EXIF artist, an IPTC title, each of the maker
// note's members erased in turn) and written in memory by the library, and
// every value of the written file was diffed against the meant one; then each
// tag of IFD0, the EXIF, GPS and interoperability directories and IFD1 was
// written in turn into three of the JPEGs (Canon S40, Nikon D90 through a
// photo editor, Lumia 820), two TIFFs and a PNG, and read back.
enum class Compared {
    ByValue,
    // By the bytes the value points to (the data the library keeps with it).
    ByPointedBytes,
    // Not as a value: what it points to or holds is compared on its own.
    Not,
};

// Directory pointers. The library lays out the directories anew on every
// write: ExifTag, GPSTag and InteroperabilityTag moved on every edit of every
// sample, SubIFDs were dropped and rebuilt; Nikon3.Preview moved whenever a
// member before it was erased (the Nikon D3 PNG, 10 of 41 erases). The
// directories' entries are compared one by one under their own keys.
bool isDirectoryPointer(const std::string& tag, const std::string& group)
{
    static const std::set<std::string> tags = {"ExifTag", "GPSTag", "InteroperabilityTag", "SubIFDs"};
    return tags.count(tag) > 0 || (group == "Nikon3" && tag == "Preview");
}

// Offsets of data the library carries with the value and writes elsewhere:
// the thumbnail of IFD1 (Thumbnail.JPEGInterchangeFormat moved on every EXIF
// edit of the Canon, Sony, iPhone and Lumia JPEGs; Thumbnail.StripOffsets, of
// an uncompressed one, moved likewise in all three JPEGs it was written into).
// Where the library carries no data, both sides compare as empty. In a TIFF,
// strips are the picture's and compared with it.
bool pointsToCarriedData(const std::string& tag, const std::string& group, bool tiffBased)
{
    return tag == "JPEGInterchangeFormat" || (!tiffBased && group != "Image" && tag == "StripOffsets");
}

// Containers the library builds again from their own collections: the maker
// note from its members, and the IPTC, XMP and Photoshop blocks of a TIFF
// (XMLPacket, IPTCNAA, ImageResources), compared as IPTC and XMP values.
bool isRebuiltContainer(const std::string& tag, const std::string& group)
{
    static const std::set<std::string> tags = {"MakerNote", "XMLPacket", "IPTCNAA", "ImageResources"};
    return group == "MakerNote" || tags.count(tag) > 0;
}

// IFD0's image-structure tags, which the library drops (TileOffsets: zeroes)
// when it writes an EXIF block apart from the picture (JPEG, PNG, the formats
// the experiment covered; others are not excused unseen): every
// one of them was gone from all three JPEGs and the PNG it was written into,
// and PhotometricInterpretation went from the Nikon D90 JPEG on a save with no
// edit. A TIFF keeps them: there they describe the picture itself, whose
// strips or tiles are compared byte for byte.
bool isDroppedFromDetachedBlock(const std::string& tag, const std::string& group)
{
    static const std::set<std::string> tags = {"PhotometricInterpretation", "RowsPerStrip", "StripOffsets",
        "StripByteCounts", "TileOffsets", "JPEGInterchangeFormat", "JPEGInterchangeFormatLength"};
    return group == "Image" && tags.count(tag) > 0;
}

// The strip and tile offsets of a TIFF structure: their data is compared as
// the picture (sameImageData). TileOffsets outside IFD0 came back as 0 from
// every sample it was written into.
bool isPictureOffset(const std::string& tag)
{
    return tag == "StripOffsets" || tag == "TileOffsets";
}

Compared comparedAs(const std::string& tag, const std::string& group, bool tiffBased, bool detachedBlock)
{
    if (detachedBlock && isDroppedFromDetachedBlock(tag, group)) {
        return Compared::Not;
    }
    if (pointsToCarriedData(tag, group, tiffBased)) {
        return Compared::ByPointedBytes;
    }
    if (isDirectoryPointer(tag, group) || isRebuiltContainer(tag, group) || isPictureOffset(tag)) {
        return Compared::Not;
    }
    return Compared::ByValue;
}

// How a value is compared depends only on its tag's number and directory and
// on the kind of file. The library spells a tag's name anew at every call,
// through a string stream for a tag it does not know (most of a maker
// note's), and the rules look names up in sets: that was 2.5% of a save. Each
// thread keeps the answers it has given.
Compared comparedAs(const Exiv2::Exifdatum& datum, int imageType)
{
    const bool tiffBased = WrittenImageCheck::isTiffBased(imageType);
    const bool detachedBlock = imageType == Exiv2::ImageType::jpeg || imageType == Exiv2::ImageType::png;
    const uint64_t id = (uint64_t(uint32_t(datum.ifdId())) << 18) | (uint64_t(datum.tag()) << 2) | (tiffBased ? 2u : 0u)
        | (detachedBlock ? 1u : 0u);
    thread_local BoundedMemo<uint64_t, Compared> answers(20000);
    return answers.get(id, [&] { return comparedAs(datum.tagName(), datum.groupName(), tiffBased, detachedBlock); });
}

// How a value is compared: by its text, or by its type and its bytes. Equal
// bytes of one type make equal texts, and the bytes come far cheaper than the
// text (a maker note's text lists every byte in decimal).
enum class Likeness { Text, Bytes };

// Every compared value as "key\x1f" and its likeness: two collections hold
// the same values when their sorted likenesses match, whatever their order in
// the file. `how` tells how each value is compared.
template <typename Data, typename How> LikenessList valuesOf(const Data& metadata, How how, Likeness likeness)
{
    LikenessList values;
    for (const auto& datum : metadata) {
        switch (how(datum)) {
        case Compared::ByValue:
            if (likeness == Likeness::Text) {
                values.addText(datum);
            } else {
                values.addBytes(datum);
            }
            break;
        case Compared::ByPointedBytes:
            if constexpr (std::is_same_v<std::decay_t<decltype(datum)>, Exiv2::Exifdatum>) {
                values.addPointedBytes(datum);
            }
            break;
        case Compared::Not:
            break;
        }
    }
    return values;
}

LikenessList xmpValuesOf(const Exiv2::XmpData& xmpData)
{
    LikenessList values;
    for (const auto& datum : xmpData) {
        values.addXmp(datum);
    }
    return values;
}

// The key of the first expected value that is missing from the written ones
// (each written value answers for one expected value only), if any. Both
// lists are sorted.
std::optional<std::string> firstMissing(
    const std::vector<std::string_view>& expected, const std::vector<std::string_view>& written)
{
    auto candidate = written.begin();
    for (const std::string_view value : expected) {
        candidate = std::lower_bound(candidate, written.end(), value);
        if (candidate == written.end() || *candidate != value) {
            return std::string(value.substr(0, value.find('\x1f')));
        }
        ++candidate;
    }
    return std::nullopt;
}

// The first expected value missing from the written ones, in sorted order.
// Compared by bytes first; only when that finds a difference are the texts
// compared, so the answer is the one a comparison of texts alone gives.
template <typename Data, typename How>
std::optional<std::string> firstMissingOf(const Data& expected, const Data& written, How how)
{
    const auto missingBy = [&](Likeness likeness) {
        const LikenessList meant = valuesOf(expected, how, likeness);
        const LikenessList read = valuesOf(written, how, likeness);
        return firstMissing(meant.sorted(), read.sorted());
    };
    if (!missingBy(Likeness::Bytes)) {
        return std::nullopt;
    }
    return missingBy(Likeness::Text);
}

uint32_t bigEndian32(const QByteArray& bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return uint32_t(uint8_t(bytes.at(at + i))); };
    return (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
}

// The pieces of a JPEG's picture: its tables and frame header (every segment
// but the application and comment segments that hold metadata) and everything
// from its first scan on, as views into the bytes. Nothing when the segment
// structure is broken.
std::optional<std::vector<QByteArrayView>> jpegPicture(const QByteArray& bytes)
{
    const auto header = JpegSegments::header(bytes);
    if (!header || !header->hasScan) {
        return std::nullopt;
    }
    std::vector<QByteArrayView> pieces;
    for (const JpegSegments::Segment& segment : header->segments) {
        const bool metadata = (segment.marker >= 0xE0 && segment.marker <= 0xEF) || segment.marker == 0xFE;
        if (!metadata) {
            pieces.push_back(QByteArrayView(bytes).sliced(segment.offset, segment.size));
        }
    }
    pieces.push_back(QByteArrayView(bytes).sliced(header->scanStart));
    return pieces;
}

// Whether two lists of pieces join to the same bytes, compared in place
// (the pieces may be cut differently: a segment the library re-split still
// holds the same bytes).
bool sameJoinedBytes(const std::vector<QByteArrayView>& first, const std::vector<QByteArrayView>& second)
{
    size_t i = 0;
    size_t j = 0;
    qsizetype atFirst = 0;
    qsizetype atSecond = 0;
    while (i < first.size() && j < second.size()) {
        const QByteArrayView a = first[i].sliced(atFirst);
        const QByteArrayView b = second[j].sliced(atSecond);
        const qsizetype length = std::min(a.size(), b.size());
        if (std::memcmp(a.data(), b.data(), size_t(length)) != 0) {
            return false;
        }
        atFirst += length;
        atSecond += length;
        if (atFirst == first[i].size()) {
            ++i;
            atFirst = 0;
        }
        if (atSecond == second[j].size()) {
            ++j;
            atSecond = 0;
        }
    }
    const auto restIsEmpty = [](const std::vector<QByteArrayView>& pieces, size_t from) {
        return std::all_of(pieces.begin() + qsizetype(from), pieces.end(),
            [](const QByteArrayView& piece) { return piece.isEmpty(); });
    };
    return restIsEmpty(first, i) && restIsEmpty(second, j);
}

// Whether two JPEGs hold the same picture, compared piece by piece in place.
// The picture of `before` must be found whole: one
// corrupted segment length (a quantisation table declared 65535 bytes long)
// makes the library read on past the frame into the scan, and it wrote such a
// file back as its first 73 KB of 733 KB, without a scan, and said nothing.
bool sameJpegPicture(const QByteArray& before, const QByteArray& after, QString* why)
{
    const auto first = jpegPicture(before);
    if (!first) {
        return fail(
            why, QStringLiteral("the JPEG structure is damaged: its picture data cannot be located to keep it"));
    }
    const auto second = jpegPicture(after);
    if (!second || !sameJoinedBytes(*first, *second)) {
        return fail(why, QStringLiteral("the picture data changed"));
    }
    return true;
}

// The contents of a PNG's image data chunks, in order, in place.
std::vector<QByteArrayView> pngImageData(const QByteArray& bytes)
{
    std::vector<QByteArrayView> pieces;
    qsizetype at = 8;
    while (at + 12 <= bytes.size()) {
        const qsizetype length = qsizetype(bigEndian32(bytes, at));
        if (length < 0 || at + 12 + length > bytes.size()) {
            break;
        }
        if (QByteArrayView(bytes).sliced(at + 4, 4) == QByteArrayView("IDAT")) {
            pieces.push_back(QByteArrayView(bytes).sliced(at + 8, length));
        }
        at += 12 + length;
    }
    return pieces;
}

// The strips or tiles of every directory of a TIFF structure, in place, or
// nothing when a directory names its data without saying how long it is, or
// when no directory names any: a TIFF always has picture data, so the library
// did not find the directories (a first-directory pointer off by two bytes
// reads as a directory of garbage entries, and was saved as a file of 170
// bytes).
std::optional<std::vector<QByteArrayView>> tiffImageData(const QByteArray& bytes, const Exiv2::ExifData& exifData)
{
    std::vector<QByteArrayView> pieces;
    bool found = false;
    for (const auto& datum : exifData) {
        const std::string tag = datum.tagName();
        if (tag != "StripOffsets" && tag != "TileOffsets") {
            continue;
        }
        found = true;
        const std::string countsKey
            = "Exif." + datum.groupName() + (tag == "StripOffsets" ? ".StripByteCounts" : ".TileByteCounts");
        const auto counts = exifData.findKey(Exiv2::ExifKey(countsKey));
        if (counts == exifData.end() || counts->count() != datum.count()) {
            return std::nullopt;
        }
        for (long i = 0; i < datum.count(); ++i) {
            const long offset = datum.toLong(i);
            const long length = counts->toLong(i);
            if (offset < 0 || length < 0 || offset + qsizetype(length) > bytes.size()) {
                return std::nullopt;
            }
            pieces.push_back(QByteArrayView(bytes).sliced(offset, length));
        }
    }
    if (!found) {
        return std::nullopt;
    }
    return pieces;
}

// The strips and tiles of a TIFF structure as its own bytes name them, in
// place.
std::vector<QByteArrayView> piecesOf(const QByteArray& bytes, const TiffBlock::Picture& picture)
{
    std::vector<QByteArrayView> pieces;
    pieces.reserve(picture.pieces.size());
    for (const TiffBlock::Picture::Piece& piece : picture.pieces) {
        pieces.push_back(QByteArrayView(bytes).sliced(piece.offset, piece.size));
    }
    return pieces;
}

// Whether the written TIFF structure chains as many pages as `before`, where
// `before` has more than the library keeps: it reads a document's first four
// pages alone, and a write that lays the file out anew (one that does not
// only put values of the same size in place) drops the others. False with a
// reason the user can act on, rather than that the picture changed.
bool keepsEveryPage(const QByteArray& before, const QByteArray& after, QString* why)
{
    constexpr int kKeptPages = 4;
    const int pages = TiffBlock(before, 0, before.size()).pageCount();
    if (pages <= kKeptPages || TiffBlock(after, 0, after.size()).pageCount() >= pages) {
        return true;
    }
    return fail(why,
        QStringLiteral("the document has %1 pages, and Lumetta cannot write this change into a document of more "
                       "than four pages without losing its pages after the fourth, so the file was left as it was")
            .arg(pages));
}

// Whether the user's file tells with certainty where each strip and tile of
// its TIFF structure lies and how long it is, and no entry's value lies
// within them; false with the entry that does not, or that does.
bool certainTiffPicture(const TiffBlock::Picture& held, QString* why)
{
    if (!held.isDamaged()) {
        return true;
    }
    // A directory past the library's reach has no name of its own.
    QString entry = QStringLiteral("0x%1 of %2")
                        .arg(held.damagedTag, 4, 16, QLatin1Char('0'))
                        .arg(QString::fromStdString(held.damagedGroup));
    try {
        entry = QString::fromStdString(Exiv2::ExifKey(held.damagedTag, held.damagedGroup).key());
    } catch (const Exiv2::AnyError&) {
    }
    if (held.valueInPicture) {
        return fail(why,
            QStringLiteral("the EXIF entry %1 of the file is damaged: its value lies within the picture data, so "
                           "the file cannot be saved without writing over its picture")
                .arg(entry));
    }
    return fail(why,
        QStringLiteral("the EXIF entry %1 of the file is damaged and cannot be read, so the file cannot be "
                       "saved without losing its picture")
            .arg(entry));
}

// The picture of a TIFF structure found in its bytes, apart from the
// library's read, as a JPEG's scan is: a damaged byte count the library
// reads as other bytes (a LONG typed BYTE reads as its lowest byte) makes it
// keep a few bytes of the picture as all of it, and the comparison of its
// own reads passed a file of 482 bytes that had held 18,382. `held` is the
// picture as `before` lays it out, found certain (certainTiffPicture).
// The library's places (`read`, `written`), compared already, are not
// compared again where the bytes name the same ones: a large TIFF's picture
// would be read twice.
bool sameTiffPicture(const QByteArray& before, const QByteArray& after, const TiffBlock::Picture& held,
    const std::vector<QByteArrayView>& read, const std::vector<QByteArrayView>& written, QString* why)
{
    const TiffBlock::Picture kept = TiffBlock(after, 0, after.size()).picture();
    if (kept.isDamaged()) {
        return fail(why, QStringLiteral("the picture data changed"));
    }
    const std::vector<QByteArrayView> heldPieces = piecesOf(before, held);
    const std::vector<QByteArrayView> keptPieces = piecesOf(after, kept);
    const auto samePlaces = [](const std::vector<QByteArrayView>& first, const std::vector<QByteArrayView>& second) {
        return std::equal(first.begin(), first.end(), second.begin(), second.end(),
            [](QByteArrayView a, QByteArrayView b) { return a.data() == b.data() && a.size() == b.size(); });
    };
    if ((samePlaces(heldPieces, read) && samePlaces(keptPieces, written)) || sameJoinedBytes(heldPieces, keptPieces)) {
        return true;
    }
    return fail(why, QStringLiteral("the picture data changed"));
}

QSize decodedSize(const QByteArray& bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    QImageReader reader(&buffer);
    return reader.canRead() ? reader.size() : QSize();
}

bool sameImageData(const QByteArray& before, const QByteArray& after, int type, const Exiv2::Image& newImage,
    const Exiv2::ExifData* beforePictureTags, QString* why)
{
    if (type == Exiv2::ImageType::jpeg && !sameJpegPicture(before, after, why)) {
        return false;
    }
    if (type == Exiv2::ImageType::png && !sameJoinedBytes(pngImageData(before), pngImageData(after))) {
        return fail(why, QStringLiteral("the picture data changed"));
    }
    if (WrittenImageCheck::isTiffBased(type)) {
        if (!keepsEveryPage(before, after, why)) {
            return false;
        }
        // An uncertain picture is named before the library's reads are
        // compared: an entry's value within a strip changes the strip.
        const TiffBlock::Picture held = TiffBlock(before, 0, before.size()).picture();
        if (!certainTiffPicture(held, why)) {
            return false;
        }
        // The caller's read of `before` where it has one: a save has read it
        // once already.
        ImagePtr oldImage;
        if (!beforePictureTags) {
            try {
                oldImage = openBytes(before);
            } catch (const std::exception&) {
                return fail(why, QStringLiteral("the library cannot read the file it was given"));
            }
        }
        const auto old = tiffImageData(before, beforePictureTags ? *beforePictureTags : oldImage->exifData());
        if (!old) {
            return fail(why, QStringLiteral("the library cannot locate the picture data to keep it"));
        }
        const auto kept = tiffImageData(after, newImage.exifData());
        if (!kept || !sameJoinedBytes(*kept, *old)) {
            return fail(why, QStringLiteral("the picture data changed"));
        }
        if (!sameTiffPicture(before, after, held, *old, *kept, why)) {
            return false;
        }
    }
    // Formats whose picture data is not compared byte for byte above must at
    // least still decode to their size.
    if (type == Exiv2::ImageType::jpeg || type == Exiv2::ImageType::png || WrittenImageCheck::isTiffBased(type)) {
        return true;
    }
    const QSize size = decodedSize(before);
    if (size.isValid() && decodedSize(after) != size) {
        return fail(why, QStringLiteral("the picture no longer decodes to its size"));
    }
    return true;
}

// XMP is compared by its parsed properties, never by the packet's bytes: the
// library re-serialises some packets even when asked to keep them (a Windows
// photo tool's packet with a non-standard namespace came back with its
// namespaces in another order on every save, and differently on two saves).
// Every property must come back, and none may appear.
bool sameXmp(const WrittenImageCheck::Expected& expected, const Exiv2::Image& newImage, QString* why)
{
    // A packet the library cannot decode has no properties to compare; it is
    // kept as it was read, byte for byte.
    if (!expected.xmpEdited && expected.xmpData.empty() && !expected.xmpPacket.empty()) {
        return newImage.xmpPacket() == expected.xmpPacket || fail(why, QStringLiteral("the XMP packet changed"));
    }
    const LikenessList meantValues = xmpValuesOf(expected.xmpData);
    const LikenessList writtenValues = xmpValuesOf(newImage.xmpData());
    const std::vector<std::string_view> meant = meantValues.sorted();
    const std::vector<std::string_view> written = writtenValues.sorted();
    if (const auto missing = firstMissing(meant, written)) {
        return fail(why, QStringLiteral("%1 does not read back as written").arg(QString::fromStdString(*missing)));
    }
    if (const auto added = firstMissing(written, meant)) {
        return fail(why, QStringLiteral("%1 appeared in the XMP packet").arg(QString::fromStdString(*added)));
    }
    return true;
}

// A Sony JPEG's maker-note preview still names the same bytes, unless the
// entry went with the maker note (a cleared EXIF block), which the comparison
// of values judges.
bool sameSonyPreview(const QByteArray& before, const QByteArray& after, int type, QString* why)
{
    if (type != Exiv2::ImageType::jpeg) {
        return true;
    }
    const auto preview = SonyPreviewImage::previewIn(before);
    if (preview) {
        return !SonyPreviewImage::hasPreviewEntry(after) || SonyPreviewImage::previewIn(after) == preview
            || fail(why, QStringLiteral("the Sony preview image is no longer found"));
    }
    // A length that runs past the file names no bytes to compare, but it
    // is kept.
    const auto length = SonyPreviewImage::storedLengthIn(before);
    if (!length || *length <= 4) {
        return true;
    }
    const auto kept = SonyPreviewImage::storedLengthIn(after);
    if (kept && kept != length) {
        return fail(why, QStringLiteral("the Sony preview entry lost the length it held"));
    }
    return true;
}

// The pictures a JPEG stores after its own are still where its multi-picture
// index names them.
bool sameStoredPictures(const QByteArray& before, const QByteArray& after, int type, QString* why)
{
    if (type != Exiv2::ImageType::jpeg) {
        return true;
    }
    const std::vector<QByteArrayView> stored = MultiPictureIndex::storedPicturesIn(before);
    if (!stored.empty() && MultiPictureIndex::storedPicturesIn(after) != stored) {
        return fail(why, QStringLiteral("the preview image the file's multi-picture index names is no longer found"));
    }
    return true;
}

// Whether the save moved the data a JPEG stores after its picture (a
// camera's preview) that its damaged EXIF block, kept as it was, names by an
// offset from its TIFF header (a Sony maker note whose header lost a byte
// still named its preview, which a title edit moved). The picture and what
// follows it come back unchanged (the picture check), so the distance from
// the block to the first scan tells.
bool movesWhatTheBlockNames(const QByteArray& before, const QByteArray& after)
{
    const auto end = JpegSegments::pictureEnd(before);
    if (!end || *end == before.size() || !ExifBlockDamage::namesBytesFrom(before, *end)) {
        return false;
    }
    const auto distance = [](const QByteArray& bytes) -> std::optional<qsizetype> {
        const auto header = JpegSegments::header(bytes);
        const auto segments = JpegSegments::exifSegments(bytes);
        if (!header || segments.empty()) {
            return std::nullopt;
        }
        return header->scanStart - JpegSegments::tiffStart(segments.front());
    };
    return distance(after) != distance(before);
}

// A block the library cannot read compares as absent on both sides; it must
// come back byte for byte (see UnreadableBlocks). An EXIF block can be kept
// so only in a JPEG, where it is a segment of its own.
bool keepsUnreadableBlocks(const QByteArray& before, const QByteArray& after, int type,
    const WrittenImageCheck::Expected& expected, QString* why)
{
    const bool jpeg = type == Exiv2::ImageType::jpeg;
    if (jpeg && !expected.iptcCleared && UnreadableBlocks::hasDamagedIptc(before)
        && UnreadableBlocks::photoshopBlock(after) != UnreadableBlocks::photoshopBlock(before)) {
        return fail(why,
            QStringLiteral("the file's IPTC block is damaged and cannot be read, so it cannot be edited "
                           "without being lost"));
    }
    if (PngProfileChunk::isDamaged(before) && PngProfileChunk::chunksOf(after) != PngProfileChunk::chunksOf(before)) {
        return fail(
            why, QStringLiteral("the file's colour profile is damaged and would be written as another profile"));
    }
    if (jpeg && UnreadableBlocks::hasDamagedProfile(before)
        && UnreadableBlocks::profileSegments(after) != UnreadableBlocks::profileSegments(before)) {
        return fail(why, QStringLiteral("the file's colour profile is damaged and would be written cut short"));
    }
    const QString damage = expected.beforeExifDamage ? *expected.beforeExifDamage : ExifBlockDamage::in(before);
    if (damage.isEmpty()) {
        return true;
    }
    const auto exifSegment = [](const QByteArray& bytes) {
        const auto segments = JpegSegments::exifSegments(bytes);
        return segments.size() == 1 ? bytes.mid(segments.front().offset, segments.front().size) : QByteArray();
    };
    if (!jpeg) {
        return fail(why, WrittenImageCheck::unkeptDamage(damage));
    }
    if (exifSegment(after).isEmpty() || exifSegment(after) != exifSegment(before)) {
        return fail(why,
            QStringLiteral("the %1 of the file is damaged and cannot be read, so the EXIF data cannot be edited "
                           "without being lost")
                .arg(damage));
    }
    if (movesWhatTheBlockNames(before, after)) {
        return fail(why,
            QStringLiteral("the %1 of the file is damaged and cannot be read; it is kept as it is, but it points "
                           "at data stored after the picture, which the edit would move away from it")
                .arg(damage));
    }
    return true;
}

// Every chunk of a PNG but its EXIF, IPTC and XMP comes back byte for byte
// and in its place: the library drops text chunks whose keywords begin like
// its own ("Descriptions", "XML:com.adobe.xmp.bak", "Raw") and writes its
// comment in a chunk of its own. A clear takes exactly the chunks it names.
// The IPTC chunk of a save that changes no IPTC is kept as the others are.
bool keepsPngChunks(const QByteArray& before, const QByteArray& after, int type,
    const WrittenImageCheck::Expected& expected, QString* why)
{
    if (type != Exiv2::ImageType::png) {
        return true;
    }
    const QString change = PngKeptChunks::changeIn(before, after, expected.pngCleared, expected.iptcKept);
    return change.isEmpty() || fail(why, change);
}

// An IPTC block that no edit changed comes back byte for byte: the library
// would sort its datasets by record and drop the padding after them.
bool keepsUneditedIptc(const QByteArray& before, const QByteArray& after, int type,
    const WrittenImageCheck::Expected& expected, QString* why)
{
    if (!expected.iptcKept) {
        return true;
    }
    bool kept = true;
    if (type == Exiv2::ImageType::jpeg) {
        kept = UnreadableBlocks::photoshopBlock(after) == UnreadableBlocks::photoshopBlock(before);
    } else if (WrittenImageCheck::isTiffBased(type)) {
        kept = TiffIptcEntries::of(after) == TiffIptcEntries::of(before);
    }
    return kept
        || fail(why, QStringLiteral("the file's IPTC block, which no edit changed, would not be kept as it was"));
}

// Whether two lists of pieces hold the same bytes, piece by piece.
bool samePieces(const std::vector<QByteArrayView>& first, const std::vector<QByteArrayView>& second)
{
    return std::equal(first.begin(), first.end(), second.begin(), second.end(), [](QByteArrayView a, QByteArrayView b) {
        return a.size() == b.size() && std::memcmp(a.data(), b.data(), size_t(a.size())) == 0;
    });
}

// A JPEG's standard XMP segments, whole, in file order.
std::vector<QByteArrayView> xmpSegmentsOf(const QByteArray& bytes, const JpegSegments::Header& header)
{
    std::vector<QByteArrayView> found;
    for (const JpegSegments::Segment& segment : header.segments) {
        if (JpegSegments::isXmp(bytes, segment)) {
            found.push_back(QByteArrayView(bytes).sliced(segment.offset, segment.size));
        }
    }
    return found;
}

// The bytes of a JPEG the library reads to check what a save changed, when
// its XMP segments came back as `before` held them and no edit reached the
// XMP: they read back as before, as the XMP the save started from, and are
// left out. The rest of the header is kept (the frame gives the picture's
// size), the picture is not: the library stops reading at the first scan.
// Nothing when that shortcut does not hold; the whole file is read then.
std::optional<QByteArray> changedJpegMetadata(
    const QByteArray& before, const QByteArray& after, const WrittenImageCheck::Expected& expected)
{
    if (expected.xmpEdited) {
        return std::nullopt;
    }
    const auto old = JpegSegments::header(before);
    const auto now = JpegSegments::header(after);
    if (!old || !now) {
        return std::nullopt;
    }
    const std::vector<QByteArrayView> kept = xmpSegmentsOf(after, *now);
    if (kept.empty() || !samePieces(kept, xmpSegmentsOf(before, *old))) {
        return std::nullopt;
    }
    QByteArray parsed;
    parsed.reserve(now->scanStart + 2);
    parsed.append("\xFF\xD8", 2);
    for (const JpegSegments::Segment& segment : now->segments) {
        if (!JpegSegments::isXmp(after, segment)) {
            parsed.append(after.constData() + segment.offset, segment.size);
        }
    }
    parsed.append("\xFF\xD9", 2);
    return parsed;
}

// The library's read of `parsed` (a JPEG's changed segments) with the XMP it
// left out: the expected one, which is the read of the same bytes.
ImagePtr openWithKeptXmp(const QByteArray& parsed, const QByteArray& after, const WrittenImageCheck::Expected& expected)
{
    ImagePtr image = openBytes(parsed);
    image->setXmpData(expected.xmpData);
    if (const auto packet = JpegSegments::xmpPacket(after)) {
        image->xmpPacket() = packet->toStdString();
    }
    return image;
}

} // namespace

Exiv2::ExifData WrittenImageCheck::pictureTagsOf(const Exiv2::ExifData& exifData)
{
    static const std::set<std::string> tags = {"StripOffsets", "StripByteCounts", "TileOffsets", "TileByteCounts"};
    Exiv2::ExifData found;
    for (const auto& datum : exifData) {
        if (tags.count(datum.tagName()) > 0) {
            found.add(datum);
        }
    }
    return found;
}

QString WrittenImageCheck::unkeptDamage(const QString& damage)
{
    return QStringLiteral("the %1 of the file is damaged and cannot be read, so the file cannot be saved without "
                          "losing it")
        .arg(damage);
}

bool WrittenImageCheck::isTiffBased(int imageType)
{
    return imageType == Exiv2::ImageType::tiff || imageType == Exiv2::ImageType::cr2
        || imageType == Exiv2::ImageType::orf || imageType == Exiv2::ImageType::rw2;
}

bool WrittenImageCheck::confirm(const QByteArray& before, const QByteArray& after, const Expected& expected,
    QString* why, std::unique_ptr<Exiv2::Image>* readBack)
{
    if (!readBack) {
        return confirm(before, after, expected, why, static_cast<ReadBack*>(nullptr));
    }
    ReadBack read;
    if (!check(before, after, expected, why, &read, std::nullopt)) {
        return false;
    }
    // The check read a PNG without some of its text chunks from bytes of its
    // own, which go now.
    *readBack = read.parsedBytes.isEmpty() ? std::move(read.image) : openBytes(after);
    return true;
}

bool WrittenImageCheck::confirm(
    const QByteArray& before, const QByteArray& after, const Expected& expected, QString* why, ReadBack* readBack)
{
    const int type = Exiv2::ImageFactory::getType(data(before), static_cast<long>(before.size()));
    std::optional<QByteArray> parsed;
    if (type == Exiv2::ImageType::jpeg) {
        parsed = changedJpegMetadata(before, after, expected);
    }
    return check(before, after, expected, why, readBack, parsed);
}

bool WrittenImageCheck::check(const QByteArray& before, const QByteArray& after, const Expected& expected, QString* why,
    ReadBack* readBack, const std::optional<QByteArray>& parsed)
{
    const int type = Exiv2::ImageFactory::getType(data(before), static_cast<long>(before.size()));
    if (Exiv2::ImageFactory::getType(data(after), static_cast<long>(after.size())) != type) {
        return fail(why, QStringLiteral("the written file is no longer of its image type"));
    }
    // The library reads a PNG without the text chunks it would take for its
    // own, as the save read it.
    const std::optional<QByteArray> pngView
        = !parsed && type == Exiv2::ImageType::png ? PngKeptChunks::forLibrary(after) : std::nullopt;
    ImagePtr newImage;
    try {
        newImage = parsed ? openWithKeptXmp(*parsed, after, expected) : openBytes(pngView ? *pngView : after);
    } catch (const Exiv2::AnyError& error) {
        return fail(why, QStringLiteral("the written file does not read back: %1").arg(error.what()));
    } catch (const std::exception& error) {
        return fail(why, QStringLiteral("the written file does not read back: %1").arg(error.what()));
    }

    const auto exifCompared = [type](const Exiv2::Exifdatum& datum) { return comparedAs(datum, type); };
    const auto byValue = [](const auto&) { return Compared::ByValue; };
    const auto exifMissing = firstMissingOf(expected.exifData, newImage->exifData(), exifCompared);
    const auto iptcMissing = firstMissingOf(expected.iptcData, newImage->iptcData(), byValue);
    for (const auto& missing : {exifMissing, iptcMissing}) {
        if (missing) {
            return fail(why, QStringLiteral("%1 does not read back as written").arg(QString::fromStdString(*missing)));
        }
    }
    // Readers disagree on a file with two EXIF blocks; a save writes one.
    if (RepeatedExifBlocks::countIn(after) > 1) {
        return fail(why, QStringLiteral("the written file holds more than one EXIF block"));
    }
    // XMP left out of the read came back byte for byte: nothing to compare.
    if ((!parsed && !sameXmp(expected, *newImage, why)) || !sameSonyPreview(before, after, type, why)
        || !sameStoredPictures(before, after, type, why)) {
        return false;
    }
    // A lost picture is told before an unreadable block (a TIFF whose first
    // directory cannot be found has both).
    if (!sameImageData(before, after, type, *newImage, expected.beforePictureTags, why)
        || !keepsUnreadableBlocks(before, after, type, expected, why)
        || !keepsPngChunks(before, after, type, expected, why)
        || !keepsUneditedIptc(before, after, type, expected, why)) {
        return false;
    }
    if (readBack) {
        readBack->parsedBytes = parsed.value_or(pngView.value_or(QByteArray()));
        readBack->image = std::move(newImage);
    }
    return true;
}
