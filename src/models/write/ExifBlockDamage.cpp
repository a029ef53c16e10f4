#include "models/write/ExifBlockDamage.h"

#include "models/formats/JpegSegments.h"
#include "models/formats/PngChunks.h"
#include "models/formats/TiffBlock.h"

#include <exiv2/exiv2.hpp>

#include <optional>
#include <set>

namespace {

constexpr qsizetype kEntrySize = 12;
// The library reads no directory declaring more entries than this ("with
// 19789 entries considered invalid; not read", an iPhone JPEG whose IFD0
// offset was set to 0).
constexpr uint32_t kMostEntries = 256;

// Where the EXIF block's TIFF structure lies in the file: [start, end).
struct Span {
    qsizetype start = 0;
    qsizetype end = 0;
    // A block of its own (JPEG, PNG) starts with the TIFF magic number; a
    // TIFF-based raw format may carry another one.
    bool detached = true;
};

std::optional<Span> pngExifChunk(const QByteArray& png)
{
    for (const PngChunks::Chunk& chunk : PngChunks::walk(png).chunks) {
        if (chunk.type == "eXIf") {
            return Span{chunk.offset + 8, chunk.offset + 8 + chunk.data.size()};
        }
    }
    return std::nullopt;
}

std::optional<Span> exifSpan(const QByteArray& file)
{
    if (PngChunks::isPng(file)) {
        return pngExifChunk(file);
    }
    if (file.startsWith("II") || file.startsWith("MM")) {
        return Span{0, file.size(), false};
    }
    const auto segments = JpegSegments::exifSegments(file);
    if (segments.empty()) {
        return std::nullopt;
    }
    return Span{JpegSegments::tiffStart(segments.front()), segments.front().offset + segments.front().size};
}

// The directories the library follows from a directory of `group`, by the
// tag of the pointer to them, and the group each is read as.
const char* pointedGroup(const std::string& group, uint32_t tag)
{
    if (group == "Image") {
        switch (tag) {
        case 0x8769:
            return "Photo";
        case 0x8825:
            return "GPSInfo";
        case 0x014A:
            return "SubImage1";
        default:
            return nullptr;
        }
    }
    return group == "Photo" && tag == 0xA005 ? "Iop" : nullptr;
}

QString keyOf(uint32_t tag, const std::string& group)
{
    return QString::fromStdString(Exiv2::ExifKey(uint16_t(tag), group).key());
}

bool isKnownTag(uint32_t tag, const std::string& group)
{
    return Exiv2::ExifKey(uint16_t(tag), group).tagName().rfind("0x", 0) != 0;
}

// The bytes one value of a TIFF type takes; 0 for no type.
uint64_t typeSize(uint32_t type)
{
    static constexpr uint8_t sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < std::size(sizes) ? sizes[type] : 0;
}

constexpr uint16_t kThumbnailStart = 0x0201;
constexpr uint16_t kThumbnailLength = 0x0202;

// Walks the directories as the library reads them, stopping at the first
// damage it meets.
class Walk {
public:
    Walk(const QByteArray& file, const Span& span)
        : tiff_(file, span.start, span.end)
        , size_(span.end - span.start)
    {
    }

    QString damage(bool detached)
    {
        const auto magic = tiff_.read(2, 2);
        if (size_ < 8 || (detached && magic != 42u)) {
            return QStringLiteral("EXIF block");
        }
        const uint32_t first = tiff_.firstDirectory().value_or(0);
        if (!isDirectory(first)) {
            return QStringLiteral("EXIF directory IFD0");
        }
        QString found = directory(first, "Image");
        if (!found.isEmpty()) {
            return found;
        }
        // IFD0's next pointer leads to IFD1, the thumbnail's directory.
        const auto count = tiff_.read(first, 2);
        const uint32_t next = tiff_.read(first + 2 + qsizetype(*count) * kEntrySize, 4).value_or(0);
        if (next != 0 && !visited_.count(next)) {
            return isDirectory(next) ? directory(next, "Thumbnail") : QStringLiteral("EXIF directory IFD1");
        }
        return QString();
    }

private:
    // Whether the library reads a directory at `offset`: past the header,
    // declaring at least one entry and no more than it reads, all within the
    // block, followed by its next pointer.
    bool isDirectory(uint32_t offset) const
    {
        const auto count = tiff_.read(offset, 2);
        return offset >= 8 && count && *count > 0 && *count <= kMostEntries
            && tiff_.read(offset + 2 + qsizetype(*count) * kEntrySize, 4);
    }

    QString directory(uint32_t offset, const std::string& group)
    {
        visited_.insert(offset);
        const uint32_t count = *tiff_.read(offset, 2);
        for (uint32_t i = 0; i < count; ++i) {
            const qsizetype entry = offset + 2 + qsizetype(i) * kEntrySize;
            const QString found = entryDamage(entry, group);
            if (!found.isEmpty()) {
                return found;
            }
        }
        if (group == "Thumbnail" && thumbnailRunsPastBlock(offset)) {
            return QStringLiteral("EXIF entry %1").arg(keyOf(kThumbnailStart, group));
        }
        return QString();
    }

    QString entryDamage(qsizetype entry, const std::string& group)
    {
        const uint32_t tag = *tiff_.read(entry, 2);
        const uint32_t type = *tiff_.read(entry + 2, 2);
        if (const char* pointed = pointedGroup(group, tag)) {
            return pointerDamage(entry, tag, type, group, pointed);
        }
        // A tag the library does not know, of no type, is a leftover no
        // program reads (converters leave such entries in camera PNGs); a
        // known one is a value whose type field was damaged.
        const bool knownType = type >= 1 && type <= 13;
        if (!knownType && isKnownTag(tag, group)) {
            return QStringLiteral("EXIF entry %1").arg(keyOf(tag, group));
        }
        if (knownType && runsPastBlock(entry, type)) {
            return QStringLiteral("EXIF entry %1").arg(keyOf(tag, group));
        }
        return QString();
    }

    // A value longer than its entry's field whose bytes do not lie wholly in
    // the block (a damaged count or offset): the library reads it as empty
    // and writes it back so (a Canon's maker note lost its 63 rows on an
    // IPTC edit).
    bool runsPastBlock(qsizetype entry, uint32_t type) const
    {
        const uint64_t size = uint64_t(tiff_.countOf(entry).value_or(0)) * typeSize(type);
        return size > 4 && uint64_t(tiff_.valueOf(entry).value_or(0)) + size > uint64_t(size_);
    }

    // The thumbnail's bytes are named by two entries, its start and its
    // length; the library drops a thumbnail that runs past the block (and a
    // save writes the directory without it).
    bool thumbnailRunsPastBlock(qsizetype directory) const
    {
        const auto start = tiff_.entryOf(directory, kThumbnailStart);
        const auto length = tiff_.entryOf(directory, kThumbnailLength);
        if (!start || !length) {
            return false;
        }
        const auto lengthType = tiff_.read(*length + 2, 2);
        const auto bytes = tiff_.read(*length + 8, lengthType == 3u ? 2 : 4);
        return bytes && uint64_t(tiff_.valueOf(start).value_or(0)) + *bytes > uint64_t(size_);
    }

    QString pointerDamage(qsizetype entry, uint32_t tag, uint32_t type, const std::string& group, const char* pointed)
    {
        const QString damaged = QStringLiteral("EXIF directory %1").arg(keyOf(tag, group));
        // LONG, SLONG and IFD are the types the library follows.
        if (type != 4 && type != 9 && type != 13) {
            return damaged;
        }
        const uint32_t count = tiff_.countOf(entry).value_or(0);
        if (count > kMostEntries) {
            return damaged;
        }
        const uint32_t at = count == 1 ? uint32_t(entry + 8) : tiff_.valueOf(entry).value_or(0);
        for (uint32_t i = 0; i < count; ++i) {
            const auto target = tiff_.read(at + qsizetype(i) * 4, 4);
            if (!target || (!visited_.count(*target) && !isDirectory(*target))) {
                return damaged;
            }
            // A pointer to a directory read before is a loop the library
            // breaks: nothing is lost.
            if (visited_.count(*target)) {
                continue;
            }
            const QString found = directory(*target, pointed);
            if (!found.isEmpty()) {
                return found;
            }
        }
        return QString();
    }

    TiffBlock tiff_;
    qsizetype size_;
    std::set<uint32_t> visited_;
};

} // namespace

QString ExifBlockDamage::in(const QByteArray& file)
{
    const auto span = exifSpan(file);
    if (!span) {
        return QString();
    }
    return Walk(file, *span).damage(span->detached);
}
