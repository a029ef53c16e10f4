#include "models/write/ExifBlockDamage.h"

#include "models/formats/JpegSegments.h"
#include "models/formats/PngChunks.h"
#include "models/formats/TiffBlock.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

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
    if (group == "Nikon3" && tag == 0x0011) {
        return "NikonPreview";
    }
    return group == "Photo" && tag == 0xA005 ? "Iop" : nullptr;
}

// The Exif, GPS and Interoperability directories are followed from a
// pointer, never from another directory: their next pointer, which writers
// set to 0, leads nowhere, and one missing at the block's end loses nothing
// (the library reads every entry before it finds the pointer missing, and
// other readers do not miss it).
bool hasNoSuccessor(const std::string& group)
{
    return group == "Photo" || group == "GPSInfo" || group == "Iop";
}

QString keyOf(uint32_t tag, const std::string& group)
{
    return QString::fromStdString(Exiv2::ExifKey(uint16_t(tag), group).key());
}

bool isKnownTag(uint32_t tag, const std::string& group)
{
    return Exiv2::ExifKey(uint16_t(tag), group).tagName().rfind("0x", 0) != 0;
}

bool isTiffType(std::optional<uint32_t> type)
{
    return type && *type >= 1 && *type <= 13;
}

// The bytes one value of a TIFF type takes; 0 for no type.
uint64_t typeSize(uint32_t type)
{
    static constexpr uint8_t sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < std::size(sizes) ? sizes[type] : 0;
}

constexpr uint16_t kThumbnailStart = 0x0201;
constexpr uint16_t kThumbnailLength = 0x0202;
constexpr uint16_t kMakerNote = 0x927C;
constexpr uint16_t kMake = 0x010F;
constexpr uint16_t kImageResources = 0x8649;

// A TIFF structure the walk reads: the block's own, or a maker note's with a
// header of its own (Nikon's), whose offsets count from that header.
struct Frame {
    TiffBlock tiff;
    // Where the frame's offset 0 lies in the block, and how many bytes lie
    // from there to the block's end.
    qsizetype base = 0;
    qsizetype size = 0;
    bool makerNote = false;
};

// Bytes of the block, from the TIFF header: [start, end).
struct Range {
    qsizetype start = 0;
    qsizetype end = 0;
    bool makerNote = false;
    bool overlaps(const Range& other) const { return start < other.end && other.start < end; }
};

// A value stored apart from its entry, by the tag and group that name it
// (the key is made only for one that is damaged).
struct StoredValue {
    uint32_t tag = 0;
    std::string group;
    Range bytes;
    bool isMakerNote() const { return tag == kMakerNote && group == "Photo"; }
};

// A maker note the library takes apart as directories of its own, told by
// the make and the note's first bytes, as the library tells them.
struct MakerNoteForm {
    const char* group = nullptr;
    // Where the directory lies from the note's start, and the bytes before
    // it that are no directory.
    qsizetype directory = 0;
    // Offsets count from a TIFF header that starts here in the note (-1: from
    // the block's own).
    qsizetype ownHeader = -1;
};

std::optional<MakerNoteForm> makerNoteForm(const QByteArray& make, QByteArrayView note)
{
    if (make.startsWith("Canon")) {
        return MakerNoteForm{"Canon"};
    }
    if (make.startsWith("NIKON")) {
        if (!note.startsWith(QByteArrayView("Nikon\0", 6))) {
            return MakerNoteForm{"Nikon1"};
        }
        if (note.size() >= 18 && note.at(6) == 2) {
            return MakerNoteForm{"Nikon3", 0, 10};
        }
        return MakerNoteForm{"Nikon2", 8};
    }
    if (make.startsWith("SONY")) {
        return note.startsWith(QByteArrayView("SONY DSC \0\0\0", 12)) ? MakerNoteForm{"Sony1", 12}
                                                                      : MakerNoteForm{"Sony2"};
    }
    return std::nullopt;
}

// Walks the directories as the library reads them, the maker note's too,
// stopping at the first damage it meets.
class Walk {
public:
    Walk(const QByteArray& file, const Span& span)
        : file_(file)
        , span_(span)
        , block_{TiffBlock(file, span.start, span.end), 0, span.end - span.start}
    {
    }

    QString damage(bool detached)
    {
        const auto magic = block_.tiff.read(2, 2);
        if (block_.size < 8 || (detached && magic != 42u)) {
            return QStringLiteral("EXIF block");
        }
        headers_.push_back(Range{0, 8});
        const uint32_t first = block_.tiff.firstDirectory().value_or(0);
        if (!isDirectory(block_, first, "Image")) {
            return QStringLiteral("EXIF directory IFD0");
        }
        QString found = directory(block_, first, "Image");
        if (found.isEmpty()) {
            found = detached ? droppedIfd0Entry(first) : photoshopResourcesDamage(first);
        }
        if (found.isEmpty()) {
            found = thumbnailDirectoryDamage(first);
        }
        if (found.isEmpty()) {
            found = makerNoteDamage(first);
        }
        return found.isEmpty() ? valueInHeaderOrDirectory() : found;
    }

private:
    // Whether the library reads a directory of `group` at `offset`: past the
    // header, declaring no more entries than it reads, all within the block,
    // followed by its next pointer where it may have a successor. One
    // declaring none holds nothing a save could lose, unless an entry follows
    // its count (a count damaged to 0).
    bool isDirectory(const Frame& frame, uint32_t offset, const std::string& group) const
    {
        const auto count = frame.tiff.read(offset, 2);
        if (offset < 8 || !count || *count > kMostEntries) {
            return false;
        }
        const qsizetype next = offset + 2 + qsizetype(*count) * kEntrySize;
        const bool complete = hasNoSuccessor(group) ? next <= frame.size : frame.tiff.read(next, 4).has_value();
        if (!complete) {
            return false;
        }
        return *count > 0 || !isEntry(frame, offset + 2);
    }

    // Whether the bytes at `at` read as an entry: a tag and a TIFF type.
    static bool isEntry(const Frame& frame, qsizetype at)
    {
        return frame.tiff.read(at, 2).value_or(0) != 0 && isTiffType(frame.tiff.read(at + 2, 2));
    }

    // An IFD0 entry the library leaves out of a block it writes apart from
    // the picture (a JPEG's segment, a PNG's chunk), or writes as zeroes.
    // Found by experiment: the Make (ASCII) and then the Orientation (one
    // SHORT) entry of the Canon S40 and Lumia JPEGs and of the Sony PNG given
    // each tag number the library names in IFD0, in turn, and written with
    // no edit, an FNumber edit and a keyword edit: PhotometricInterpretation,
    // StripOffsets, RowsPerStrip, StripByteCounts, SubIFDs, the thumbnail's
    // offset and length, XMLPacket, IPTCNAA and ImageResources were gone in
    // every case, TileOffsets came back as zeroes; every other tag came back
    // as it was. Such a block describes no strips or tiles, so those entries
    // are another tag's number damaged (an Orientation turned StripOffsets
    // lost the photo's rotation on a keyword edit), or blocks kept nowhere
    // else. SubIFDs and the thumbnail's offset are judged as pointers. A
    // PhotometricInterpretation of one SHORT is the tag itself, which photo
    // editors write (the Nikon D90 sample): the picture's own header tells
    // its colours, and its loss is accepted (see WrittenImageCheck); so is the
    // thumbnail's length beside an offset that names a JPEG.
    QString droppedIfd0Entry(uint32_t first) const
    {
        const TiffBlock& tiff = block_.tiff;
        const uint32_t count = *tiff.read(first, 2);
        for (uint32_t i = 0; i < count; ++i) {
            const qsizetype entry = first + 2 + qsizetype(i) * kEntrySize;
            const uint32_t tag = *tiff.read(entry, 2);
            bool dropped = false;
            switch (tag) {
            case 0x0111: // StripOffsets
            case 0x0116: // RowsPerStrip
            case 0x0117: // StripByteCounts
            case 0x0144: // TileOffsets
            case 0x02BC: // XMLPacket
            case 0x83BB: // IPTCNAA
            case 0x8649: // ImageResources
                dropped = true;
                break;
            case 0x0106: // PhotometricInterpretation
                dropped = tiff.read(entry + 2, 2) != 3u || tiff.countOf(entry) != 1u;
                break;
            case kThumbnailLength: {
                const auto start = tiff.entryOf(first, kThumbnailStart);
                dropped = !start || !namesJpeg(block_, *start);
                break;
            }
            default:
                break;
            }
            if (dropped) {
                return QStringLiteral("EXIF entry %1").arg(keyOf(tag, "Image"));
            }
        }
        return QString();
    }

    // A TIFF's Photoshop resources (IFD0's ImageResources) that do not read
    // as whole resources up to their end: the library writes such a block as
    // nothing. Found by experiment on a TIFF given resources by the test and
    // written with no edit, an FNumber edit and a keyword edit: a block whose
    // count lost one byte (46 read as 45), whose last resource's data or
    // header runs past it, that holds a byte or bytes after its last
    // resource (zeroes too), a resource signed "MeSa" or none at all, was
    // gone each time; resources signed 8BIM, PHUT, AgHg or DCSR, with or
    // without the padding byte after the last one's odd data, came back.
    QString photoshopResourcesDamage(uint32_t first) const
    {
        const TiffBlock& tiff = block_.tiff;
        const auto entry = tiff.entryOf(first, kImageResources);
        const uint32_t size = tiff.countOf(entry).value_or(0);
        // Resources are bytes (BYTE, UNDEFINED); a block of none holds
        // nothing to lose.
        if (!entry || size == 0 || typeSize(tiff.read(*entry + 2, 2).value_or(0)) != 1) {
            return QString();
        }
        const qsizetype at = size <= 4 ? *entry + 8 : qsizetype(tiff.valueOf(entry).value_or(0));
        if (isWholeResources(tiff, at, qsizetype(size))) {
            return QString();
        }
        return QStringLiteral("EXIF entry %1").arg(keyOf(kImageResources, "Image"));
    }

    // Whether `size` bytes at `at` read as whole resources, one after the
    // other: a signature, the resource's number, its name (a length byte and
    // the name, padded to even), the data's size (all big-endian) and the
    // data, padded to even.
    static bool isWholeResources(const TiffBlock& tiff, qsizetype at, qsizetype size)
    {
        const auto big = [&tiff](qsizetype from, int width) -> std::optional<uint32_t> {
            uint32_t value = 0;
            for (int i = 0; i < width; ++i) {
                const auto byte = tiff.read(from + i, 1);
                if (!byte) {
                    return std::nullopt;
                }
                value = (value << 8) | *byte;
            }
            return value;
        };
        const qsizetype end = at + size;
        while (at < end) {
            const auto signature = big(at, 4);
            // "8BIM", "PHUT", "AgHg", "DCSR".
            if (!signature
                || (*signature != 0x3842494Du && *signature != 0x50485554u && *signature != 0x41674867u
                    && *signature != 0x44435352u)) {
                return false;
            }
            const auto nameLength = big(at + 6, 1);
            const qsizetype sizeAt = at + 6 + ((qsizetype(nameLength.value_or(0)) + 2) & ~qsizetype(1));
            const auto dataSize = sizeAt + 4 <= end ? big(sizeAt, 4) : std::nullopt;
            if (!nameLength || !dataSize || qsizetype(*dataSize) > end - sizeAt - 4) {
                return false;
            }
            at = sizeAt + 4 + qsizetype(*dataSize);
            // The last resource's padding may be left out.
            if (at < end) {
                at += *dataSize & 1;
            }
        }
        return at == end;
    }

    // IFD0's next pointer leads to IFD1, the thumbnail's directory.
    QString thumbnailDirectoryDamage(uint32_t first)
    {
        const auto count = block_.tiff.read(first, 2);
        const uint32_t next = block_.tiff.read(first + 2 + qsizetype(*count) * kEntrySize, 4).value_or(0);
        if (next == 0 || visited_.count(next)) {
            return QString();
        }
        return isDirectory(block_, next, "Thumbnail") ? directory(block_, next, "Thumbnail")
                                                      : QStringLiteral("EXIF directory IFD1");
    }

    QString directory(const Frame& frame, uint32_t offset, const std::string& group)
    {
        visited_.insert(frame.base + offset);
        const uint32_t count = *frame.tiff.read(offset, 2);
        directories_.push_back(
            Range{frame.base + offset, frame.base + offset + 2 + qsizetype(count) * kEntrySize, frame.makerNote});
        for (uint32_t i = 0; i < count; ++i) {
            const qsizetype entry = offset + 2 + qsizetype(i) * kEntrySize;
            const QString found = entryDamage(frame, entry, group);
            if (!found.isEmpty()) {
                return found;
            }
        }
        if (group == "Thumbnail" && thumbnailRunsPastBlock(offset)) {
            return QStringLiteral("EXIF entry %1").arg(keyOf(kThumbnailStart, group));
        }
        return QString();
    }

    QString entryDamage(const Frame& frame, qsizetype entry, const std::string& group)
    {
        const uint32_t tag = *frame.tiff.read(entry, 2);
        const uint32_t type = *frame.tiff.read(entry + 2, 2);
        if (const char* pointed = pointedGroup(group, tag)) {
            return pointerDamage(frame, entry, tag, type, group, pointed);
        }
        // IFD0 names a thumbnail only by mistake or by damage (another tag's
        // number damaged into the thumbnail's): the library takes the entry
        // for the thumbnail's offset and drops it, or writes it as 0, with
        // the value it held. One that names a JPEG holds no other value.
        if (group == "Image" && tag == kThumbnailStart && !namesJpeg(frame, entry)) {
            return QStringLiteral("EXIF entry %1").arg(keyOf(tag, group));
        }
        if (group == "Thumbnail" && (tag == kThumbnailStart || tag == kThumbnailLength) && !isOneNumber(frame, entry)) {
            return QStringLiteral("EXIF entry %1").arg(keyOf(tag, group));
        }
        // A tag the library does not know, of no type, is a leftover no
        // program reads (converters leave such entries in camera PNGs); a
        // known one is a value whose type field was damaged.
        const bool knownType = isTiffType(type);
        if (!knownType && isKnownTag(tag, group)) {
            return QStringLiteral("EXIF entry %1").arg(keyOf(tag, group));
        }
        if (!knownType) {
            return QString();
        }
        // A value longer than its entry's field whose bytes do not lie wholly
        // in the block (a damaged count or offset): the library reads it as
        // empty and writes it back so (a Canon's maker note lost its 63 rows
        // on an IPTC edit). In a maker note the library reads some such
        // values whole (a Sony's preview lies after the picture) and reports
        // those it cannot.
        const uint64_t size = uint64_t(frame.tiff.countOf(entry).value_or(0)) * typeSize(type);
        if (size <= 4) {
            return QString();
        }
        const uint64_t offset = frame.tiff.valueOf(entry).value_or(0);
        if (offset + size > uint64_t(frame.size)) {
            return frame.makerNote ? QString() : QStringLiteral("EXIF entry %1").arg(keyOf(tag, group));
        }
        const Range bytes{frame.base + qsizetype(offset), frame.base + qsizetype(offset + size), frame.makerNote};
        values_.push_back(StoredValue{tag, group, bytes});
        if (group == "Photo" && tag == kMakerNote) {
            makerNote_ = bytes;
        }
        return QString();
    }

    // IFD1 places its thumbnail by two entries of one number each. The
    // library reads one of another count as no thumbnail, and one of a type
    // narrower than its number (BYTE, a SHORT whose other two bytes hold the
    // rest) or of no number as part of it: a save then drops the thumbnail,
    // or keeps a few bytes of it (a phone photo, which kept no other copy,
    // lost it on an EXIF edit when its offset's count read 0 or 2).
    static bool isOneNumber(const Frame& frame, qsizetype entry)
    {
        const auto type = frame.tiff.read(entry + 2, 2);
        if (frame.tiff.countOf(entry) != 1u) {
            return false;
        }
        // LONG, SLONG and IFD hold the number whole.
        return type == 4u || type == 9u || type == 13u || (type == 3u && frame.tiff.read(entry + 10, 2) == 0u);
    }

    static bool namesJpeg(const Frame& frame, qsizetype entry)
    {
        const auto at = frame.tiff.valueOf(entry);
        return at && frame.tiff.read(*at, 1) == 0xFFu && frame.tiff.read(qsizetype(*at) + 1, 1) == 0xD8u;
    }

    // The thumbnail's bytes are named by two entries, its start and its
    // length; the library drops a thumbnail that runs past the block (and a
    // save writes the directory without it).
    bool thumbnailRunsPastBlock(qsizetype directory) const
    {
        const TiffBlock& tiff = block_.tiff;
        const auto start = tiff.entryOf(directory, kThumbnailStart);
        const auto length = tiff.entryOf(directory, kThumbnailLength);
        if (!start || !length) {
            return false;
        }
        const auto lengthType = tiff.read(*length + 2, 2);
        const auto bytes = tiff.read(*length + 8, lengthType == 3u ? 2 : 4);
        return bytes && uint64_t(tiff.valueOf(start).value_or(0)) + *bytes > uint64_t(block_.size);
    }

    QString pointerDamage(
        const Frame& frame, qsizetype entry, uint32_t tag, uint32_t type, const std::string& group, const char* pointed)
    {
        const QString damaged = QStringLiteral("EXIF directory %1").arg(keyOf(tag, group));
        // LONG, SLONG and IFD are the types the library follows.
        if (type != 4 && type != 9 && type != 13) {
            return damaged;
        }
        const uint32_t count = frame.tiff.countOf(entry).value_or(0);
        if (count > kMostEntries) {
            return damaged;
        }
        const uint32_t at = count == 1 ? uint32_t(entry + 8) : frame.tiff.valueOf(entry).value_or(0);
        for (uint32_t i = 0; i < count; ++i) {
            const auto target = frame.tiff.read(at + qsizetype(i) * 4, 4);
            const bool seen = target && visited_.count(frame.base + *target);
            if (!target || (!seen && !isDirectory(frame, *target, pointed))) {
                return damaged;
            }
            // A pointer to a directory read before is a loop the library
            // breaks: nothing is lost.
            if (seen) {
                continue;
            }
            const QString found = directory(frame, *target, pointed);
            if (!found.isEmpty()) {
                return found;
            }
        }
        return QString();
    }

    // The directories of a maker note the library takes apart, walked as
    // the block's own (a Canon's, Nikon's or Sony's). A note that holds no
    // directory where the library looks is kept by it as it stands.
    QString makerNoteDamage(uint32_t first)
    {
        if (!makerNote_) {
            return QString();
        }
        const QByteArrayView note
            = QByteArrayView(file_).sliced(span_.start + makerNote_->start, makerNote_->end - makerNote_->start);
        const auto form = makerNoteForm(makeOf(first), note);
        if (!form) {
            return QString();
        }
        const qsizetype headerEnd = form->ownHeader >= 0 ? form->ownHeader + 8 : form->directory;
        if (note.size() < headerEnd) {
            return QString();
        }
        headers_.push_back(Range{makerNote_->start, makerNote_->start + headerEnd, true});
        const bool ownHeader = form->ownHeader >= 0;
        const qsizetype base = ownHeader ? makerNote_->start + form->ownHeader : 0;
        const Frame frame{TiffBlock(file_, span_.start + base, span_.end), base, block_.size - base, true};
        const uint32_t at
            = ownHeader ? frame.tiff.firstDirectory().value_or(0) : uint32_t(makerNote_->start + form->directory);
        return isDirectory(frame, at, form->group) ? directory(frame, at, form->group) : QString();
    }

    QByteArray makeOf(uint32_t first) const
    {
        const auto entry = block_.tiff.entryOf(first, kMake);
        if (!entry) {
            return QByteArray();
        }
        const uint32_t count = block_.tiff.countOf(entry).value_or(0);
        const qsizetype at = count <= 4 ? *entry + 8 : qsizetype(block_.tiff.valueOf(entry).value_or(0));
        return at + qsizetype(count) <= block_.size ? file_.mid(span_.start + at, count) : QByteArray();
    }

    // A value whose offset names the block's header or a directory (an
    // offset damaged to 0, or to a place in the directory that holds it):
    // the library reads those bytes as the value and a save writes them
    // back as such (a Canon's Make read as "II*", its maker note then no
    // longer told apart; a longitude read from its own directory). A maker
    // note holds its own directories.
    QString valueInHeaderOrDirectory() const
    {
        for (const StoredValue& value : values_) {
            const auto named = [&value](const Range& range) {
                return value.bytes.overlaps(range) && !(range.makerNote && value.isMakerNote());
            };
            if (std::any_of(headers_.begin(), headers_.end(), named)
                || std::any_of(directories_.begin(), directories_.end(), named)) {
                return QStringLiteral("EXIF entry %1").arg(keyOf(value.tag, value.group));
            }
        }
        return QString();
    }

    const QByteArray& file_;
    Span span_;
    Frame block_;
    std::set<qsizetype> visited_;
    std::optional<Range> makerNote_;
    std::vector<Range> headers_;
    std::vector<Range> directories_;
    std::vector<StoredValue> values_;
};

// The library's words for a part of a TIFF structure it read in part or not
// at all; each such message names the directory.
constexpr std::string_view kDamageReports[] = {
    "is out of bounds",
    "truncating the entry",
    "has invalid size",
    "exceeds data buffer",
    "considered invalid; not read",
    "lies outside of the data buffer",
    "beyond the data buffer",
    "doesn't look like a sub-IFD",
};

// The part a message names: "directory Canon, entry 0x0001" is the entry
// Exif.Canon.CameraSettings, "Directory Photo: ..." the directory.
// The directory a message names ("Photo" in "Directory Photo: ..."), and
// where its name ends; the message names one.
std::pair<std::string, size_t> groupNamed(std::string_view message)
{
    const size_t groupStart = message.find("irectory ") + 9;
    const size_t groupEnd = message.find_first_of(" ,:", groupStart);
    return {std::string(message.substr(groupStart, groupEnd - groupStart)), groupEnd};
}

QString partNamed(std::string_view message)
{
    const auto [group, groupEnd] = groupNamed(message);
    const size_t entry = message.find(", entry 0x", groupEnd);
    try {
        if (entry != std::string_view::npos) {
            const uint32_t tag = uint32_t(std::stoul(std::string(message.substr(entry + 10, 4)), nullptr, 16));
            return QStringLiteral("EXIF entry %1").arg(keyOf(tag, group));
        }
        // The group must be one the library knows.
        (void)Exiv2::ExifKey(0, group);
        return QStringLiteral("EXIF directory %1").arg(QString::fromStdString(group));
    } catch (const Exiv2::AnyError&) {
    } catch (const std::exception&) {
    }
    return QStringLiteral("EXIF block");
}

// Whether a message that a next pointer is missing names a directory that
// has no successor to lose.
bool missesNoSuccessor(std::string_view message)
{
    return message.find("irectory ") != std::string_view::npos && hasNoSuccessor(groupNamed(message).first);
}

} // namespace

QString ExifBlockDamage::fromLibraryMessages(const std::vector<std::string>& messages)
{
    for (const std::string& message : messages) {
        if (message.find("cannot read next pointer") != std::string::npos && missesNoSuccessor(message)) {
            continue;
        }
        const bool damage = message.find("irectory ") != std::string::npos
            && std::any_of(std::begin(kDamageReports), std::end(kDamageReports),
                [&message](std::string_view report) { return message.find(report) != std::string::npos; });
        if (damage) {
            return partNamed(message);
        }
    }
    return QString();
}

QString ExifBlockDamage::in(const QByteArray& file)
{
    const auto span = exifSpan(file);
    if (!span) {
        return QString();
    }
    return Walk(file, *span).damage(span->detached);
}

bool ExifBlockDamage::namesBytesFrom(const QByteArray& jpeg, qsizetype from)
{
    const auto span = exifSpan(jpeg);
    if (!span || PngChunks::isPng(jpeg) || !span->detached) {
        return false;
    }
    const TiffBlock block(jpeg, span->start, span->end);
    for (qsizetype at = 8; at + kEntrySize <= span->end - span->start; ++at) {
        const uint64_t size = uint64_t(block.countOf(at).value_or(0)) * typeSize(block.read(at + 2, 2).value_or(0));
        const qsizetype offset = span->start + qsizetype(block.valueOf(at).value_or(0));
        if (size > 4 && offset >= from && uint64_t(offset) + size <= uint64_t(jpeg.size())) {
            return true;
        }
    }
    return false;
}
