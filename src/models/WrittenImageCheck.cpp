#include "models/WrittenImageCheck.h"

#include <QBuffer>
#include <QByteArrayView>
#include <QImageReader>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <set>
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
    image->readMetadata();
    return ImagePtr(image.release());
}

// Directory pointers, data offsets and the containers the library rebuilds
// from the other values on every write: they differ by design.
bool isRecomputed(const Exiv2::Exifdatum& datum)
{
    static const std::set<std::string> tags = {"ExifTag", "GPSTag", "InteroperabilityTag", "SubIFDs",
        "JPEGInterchangeFormat", "StripOffsets", "TileOffsets", "XMLPacket", "IPTCNAA", "ImageResources", "MakerNote"};
    return datum.groupName() == "MakerNote" || tags.count(datum.tagName()) > 0;
}

// How a datum is compared: by its text, or by its type and its bytes. Equal
// bytes of one type make equal texts, and the bytes come far cheaper than the
// text (a maker note's text lists every byte in decimal).
enum class Likeness { Text, Bytes };

template <typename Datum>
std::string likenessOf(const Datum& datum, Likeness likeness)
{
    std::string value = datum.key() + '\x1f';
    if (likeness == Likeness::Text) {
        return value + datum.toString();
    }
    value += std::to_string(int(datum.typeId())) + '\x1f';
    const size_t at = value.size();
    value.resize(at + size_t(std::max(0L, datum.size())));
    if (value.size() > at) {
        datum.copy(reinterpret_cast<Exiv2::byte*>(&value[at]), Exiv2::littleEndian);
    }
    return value;
}

// Every value as "key\x1f" and its likeness, sorted: two collections hold the
// same values when these lists match, whatever their order in the file.
template <typename Data, typename Skip>
std::vector<std::string> valuesOf(const Data& metadata, Skip skip, Likeness likeness = Likeness::Text)
{
    std::vector<std::string> values;
    values.reserve(metadata.count());
    for (const auto& datum : metadata) {
        if (!skip(datum)) {
            values.push_back(likenessOf(datum, likeness));
        }
    }
    std::sort(values.begin(), values.end());
    return values;
}

// The key of the first expected value that is missing from the written ones
// (each written value answers for one expected value only), if any.
std::optional<std::string> firstMissing(const std::vector<std::string>& expected,
    const std::vector<std::string>& written)
{
    auto candidate = written.begin();
    for (const std::string& value : expected) {
        candidate = std::lower_bound(candidate, written.end(), value);
        if (candidate == written.end() || *candidate != value) {
            return value.substr(0, value.find('\x1f'));
        }
        ++candidate;
    }
    return std::nullopt;
}

// The first expected value missing from the written ones. Compared by bytes
// first; only when that finds a difference are the texts compared, so the
// answer is the one a comparison of texts alone gives.
template <typename Data, typename Skip>
std::optional<std::string> firstMissingOf(const Data& expected, const Data& written, Skip skip)
{
    if (!firstMissing(valuesOf(expected, skip, Likeness::Bytes), valuesOf(written, skip, Likeness::Bytes))) {
        return std::nullopt;
    }
    return firstMissing(valuesOf(expected, skip), valuesOf(written, skip));
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
    std::vector<QByteArrayView> pieces;
    qsizetype at = 2;
    while (at + 4 <= bytes.size()) {
        if (uint8_t(bytes.at(at)) != 0xFF) {
            return std::nullopt;
        }
        const uint8_t marker = uint8_t(bytes.at(at + 1));
        if (marker == 0xFF) {
            ++at; // fill byte
            continue;
        }
        if (marker == 0xDA) {
            pieces.push_back(QByteArrayView(bytes).sliced(at));
            return pieces;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const qsizetype length = 2 + ((qsizetype(uint8_t(bytes.at(at + 2))) << 8) | uint8_t(bytes.at(at + 3)));
        const bool metadata = (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
        if (!metadata) {
            pieces.push_back(QByteArrayView(bytes).sliced(at, std::min(length, bytes.size() - at)));
        }
        at += length;
    }
    return std::nullopt;
}

// Whether two JPEGs hold the same picture, compared piece by piece in place
// (the pieces may be cut differently: a segment the library re-split still
// holds the same bytes). Two broken structures compare equal, as before.
bool sameJpegPicture(const QByteArray& before, const QByteArray& after)
{
    const auto first = jpegPicture(before);
    const auto second = jpegPicture(after);
    if (!first || !second) {
        return first.has_value() == second.has_value();
    }
    size_t i = 0;
    size_t j = 0;
    qsizetype atFirst = 0;
    qsizetype atSecond = 0;
    while (i < first->size() && j < second->size()) {
        const QByteArrayView a = (*first)[i].sliced(atFirst);
        const QByteArrayView b = (*second)[j].sliced(atSecond);
        const qsizetype length = std::min(a.size(), b.size());
        if (std::memcmp(a.data(), b.data(), size_t(length)) != 0) {
            return false;
        }
        atFirst += length;
        atSecond += length;
        if (atFirst == (*first)[i].size()) {
            ++i;
            atFirst = 0;
        }
        if (atSecond == (*second)[j].size()) {
            ++j;
            atSecond = 0;
        }
    }
    const auto restIsEmpty = [](const std::vector<QByteArrayView>& pieces, size_t from) {
        return std::all_of(pieces.begin() + qsizetype(from), pieces.end(),
            [](const QByteArrayView& piece) { return piece.isEmpty(); });
    };
    return restIsEmpty(*first, i) && restIsEmpty(*second, j);
}

// The contents of a PNG's image data chunks, joined.
QByteArray pngImageData(const QByteArray& bytes)
{
    QByteArray joined;
    qsizetype at = 8;
    while (at + 12 <= bytes.size()) {
        const qsizetype length = qsizetype(bigEndian32(bytes, at));
        if (length < 0 || at + 12 + length > bytes.size()) {
            break;
        }
        if (bytes.mid(at + 4, 4) == "IDAT") {
            joined.append(bytes.mid(at + 8, length));
        }
        at += 12 + length;
    }
    return joined;
}

// The strips or tiles of every directory of a TIFF structure, joined, or
// nothing when a directory names its data without saying how long it is.
std::optional<QByteArray> tiffImageData(const QByteArray& bytes, const Exiv2::ExifData& exifData)
{
    QByteArray joined;
    for (const auto& datum : exifData) {
        const std::string tag = datum.tagName();
        if (tag != "StripOffsets" && tag != "TileOffsets") {
            continue;
        }
        const std::string countsKey =
            "Exif." + datum.groupName() + (tag == "StripOffsets" ? ".StripByteCounts" : ".TileByteCounts");
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
            joined.append(bytes.constData() + offset, length);
        }
    }
    return joined;
}

QSize decodedSize(const QByteArray& bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    QImageReader reader(&buffer);
    return reader.canRead() ? reader.size() : QSize();
}

bool fail(QString* why, const QString& reason)
{
    if (why) {
        *why = reason;
    }
    return false;
}

bool sameImageData(const QByteArray& before, const QByteArray& after, int type, const Exiv2::Image& newImage,
    QString* why)
{
    if (type == Exiv2::ImageType::jpeg && !sameJpegPicture(before, after)) {
        return fail(why, QStringLiteral("the picture data changed"));
    }
    if (type == Exiv2::ImageType::png && pngImageData(before) != pngImageData(after)) {
        return fail(why, QStringLiteral("the picture data changed"));
    }
    if (WrittenImageCheck::isTiffBased(type)) {
        ImagePtr oldImage;
        try {
            oldImage = openBytes(before);
        } catch (const std::exception&) {
            return fail(why, QStringLiteral("the library cannot read the file it was given"));
        }
        const auto old = tiffImageData(before, oldImage->exifData());
        if (!old) {
            return fail(why, QStringLiteral("the library cannot locate the picture data to keep it"));
        }
        const auto kept = tiffImageData(after, newImage.exifData());
        if (!kept || *kept != *old) {
            return fail(why, QStringLiteral("the picture data changed"));
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

} // namespace

bool WrittenImageCheck::isTiffBased(int imageType)
{
    return imageType == Exiv2::ImageType::tiff || imageType == Exiv2::ImageType::cr2 ||
           imageType == Exiv2::ImageType::orf || imageType == Exiv2::ImageType::rw2;
}

bool WrittenImageCheck::confirm(const QByteArray& before, const QByteArray& after, const Expected& expected,
    QString* why, std::unique_ptr<Exiv2::Image>* readBack)
{
    const int type = Exiv2::ImageFactory::getType(data(before), static_cast<long>(before.size()));
    if (Exiv2::ImageFactory::getType(data(after), static_cast<long>(after.size())) != type) {
        return fail(why, QStringLiteral("the written file is no longer of its image type"));
    }
    ImagePtr newImage;
    try {
        newImage = openBytes(after);
    } catch (const Exiv2::AnyError& error) {
        return fail(why, QStringLiteral("the written file does not read back: %1").arg(error.what()));
    } catch (const std::exception& error) {
        return fail(why, QStringLiteral("the written file does not read back: %1").arg(error.what()));
    }

    const auto noSkip = [](const auto&) { return false; };
    const auto exifMissing = firstMissingOf(expected.exifData, newImage->exifData(), isRecomputed);
    const auto iptcMissing = firstMissingOf(expected.iptcData, newImage->iptcData(), noSkip);
    const auto xmpMissing = expected.xmpEdited
                                ? firstMissing(valuesOf(expected.xmpData, noSkip), valuesOf(newImage->xmpData(), noSkip))
                                : std::nullopt;
    for (const auto& missing : {exifMissing, iptcMissing, xmpMissing}) {
        if (missing) {
            return fail(why, QStringLiteral("%1 does not read back as written").arg(QString::fromStdString(*missing)));
        }
    }
    if (!expected.xmpEdited && newImage->xmpPacket() != expected.xmpPacket) {
        return fail(why, QStringLiteral("the XMP packet changed"));
    }
    if (!sameImageData(before, after, type, *newImage, why)) {
        return false;
    }
    if (readBack) {
        *readBack = std::move(newImage);
    }
    return true;
}
