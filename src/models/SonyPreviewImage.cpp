#include "models/SonyPreviewImage.h"

#include "models/JpegSegments.h"

#include <cstring>

namespace {

constexpr uint16_t kExifPointer = 0x8769;
constexpr uint16_t kMakerNote = 0x927C;
constexpr uint16_t kPreviewImage = 0x2001;
constexpr qsizetype kEntrySize = 12;
const QByteArray kSonyHeaders[] = {QByteArray("SONY DSC \0\0\0", 12), QByteArray("SONY CAM \0\0\0", 12)};

// One TIFF block (an EXIF segment's), read with its own byte order. Offsets
// are from the TIFF header; every read is checked against the segment's end.
class TiffBlock {
public:
    TiffBlock(const QByteArray& bytes, qsizetype start, qsizetype end)
        : bytes_(bytes), start_(start), end_(end), little_(bytes.mid(start, 2) == "II")
    {
    }

    std::optional<uint32_t> read(qsizetype offset, int width) const
    {
        if (offset < 0 || start_ + offset + width > end_) {
            return std::nullopt;
        }
        uint32_t value = 0;
        for (int i = 0; i < width; ++i) {
            const uint32_t byte = uint8_t(bytes_.at(start_ + offset + (little_ ? width - 1 - i : i)));
            value = (value << 8) | byte;
        }
        return value;
    }

    // The offset of the entry of `tag` in the directory at `directory`.
    std::optional<qsizetype> entryOf(qsizetype directory, uint16_t tag) const
    {
        const auto count = read(directory, 2);
        for (uint32_t i = 0; count && i < *count; ++i) {
            const qsizetype entry = directory + 2 + qsizetype(i) * kEntrySize;
            const auto entryTag = read(entry, 2);
            if (!entryTag) {
                return std::nullopt;
            }
            if (*entryTag == tag) {
                return entry;
            }
        }
        return std::nullopt;
    }

    // The value field of a directory entry read as an offset or count.
    std::optional<uint32_t> valueOf(std::optional<qsizetype> entry) const
    {
        return entry ? read(*entry + 8, 4) : std::nullopt;
    }

    qsizetype start() const { return start_; }
    bool littleEndian() const { return little_; }

private:
    const QByteArray& bytes_;
    qsizetype start_;
    qsizetype end_;
    bool little_;
};

// Where the preview entry sits in a JPEG's bytes (its offset in the file) and
// where the TIFF header it counts from starts.
struct PreviewEntry {
    qsizetype entry = 0;
    qsizetype tiffStart = 0;
    bool littleEndian = true;
    uint32_t count = 0;
    uint32_t offset = 0;
};

std::optional<PreviewEntry> previewEntryIn(const QByteArray& jpeg)
{
    const auto segments = JpegSegments::exifSegments(jpeg);
    if (segments.empty()) {
        return std::nullopt;
    }
    const JpegSegments::Segment& segment = segments.front();
    const TiffBlock tiff(jpeg, JpegSegments::tiffStart(segment), segment.offset + segment.size);
    const auto ifd0 = tiff.read(4, 4);
    const auto exifIfd = ifd0 ? tiff.valueOf(tiff.entryOf(*ifd0, kExifPointer)) : std::nullopt;
    const auto makerNoteEntry = exifIfd ? tiff.entryOf(*exifIfd, kMakerNote) : std::nullopt;
    const auto makerNote = tiff.valueOf(makerNoteEntry);
    if (!makerNote) {
        return std::nullopt;
    }
    const qsizetype header = tiff.start() + *makerNote;
    const bool sony = std::any_of(std::begin(kSonyHeaders), std::end(kSonyHeaders),
        [&](const QByteArray& known) { return jpeg.mid(header, known.size()) == known; });
    const auto entry = sony ? tiff.entryOf(*makerNote + 12, kPreviewImage) : std::nullopt;
    const auto count = entry ? tiff.read(*entry + 4, 4) : std::nullopt;
    const auto offset = tiff.valueOf(entry);
    if (!count || !offset) {
        return std::nullopt;
    }
    return PreviewEntry{tiff.start() + *entry, tiff.start(), tiff.littleEndian(), *count, *offset};
}

void writeNumber(QByteArray& bytes, qsizetype at, uint32_t value, bool littleEndian)
{
    for (int i = 0; i < 4; ++i) {
        const int shift = littleEndian ? 8 * i : 8 * (3 - i);
        bytes[at + i] = char((value >> shift) & 0xFF);
    }
}

} // namespace

std::optional<QByteArrayView> SonyPreviewImage::previewIn(const QByteArray& jpeg)
{
    const auto entry = previewEntryIn(jpeg);
    if (!entry || entry->count <= 4) {
        return std::nullopt;
    }
    const qsizetype at = entry->tiffStart + qsizetype(entry->offset);
    if (at + qsizetype(entry->count) > jpeg.size()) {
        return std::nullopt;
    }
    return QByteArrayView(jpeg).sliced(at, entry->count);
}

bool SonyPreviewImage::hasPreviewEntry(const QByteArray& jpeg)
{
    return previewEntryIn(jpeg).has_value();
}

bool SonyPreviewImage::keepPreview(const QByteArray& before, QByteArray& after, QString* why)
{
    const auto preview = previewIn(before);
    if (!preview) {
        return true;
    }
    const auto fail = [why](const QString& reason) {
        if (why) {
            *why = reason;
        }
        return false;
    };
    const auto entry = previewEntryIn(after);
    if (!entry) {
        return true;
    }
    // Only the metadata before the picture changes size, so the preview, after
    // the picture, moved by exactly that change.
    const qsizetype was = preview->data() - before.constData();
    const qsizetype now = was + after.size() - before.size();
    if (now - entry->tiffStart < 0 || now + preview->size() > after.size() ||
        std::memcmp(after.constData() + now, preview->data(), size_t(preview->size())) != 0) {
        return fail(QStringLiteral("the Sony preview's bytes are not where the save moved them"));
    }
    writeNumber(after, entry->entry + 4, uint32_t(preview->size()), entry->littleEndian);
    writeNumber(after, entry->entry + 8, uint32_t(now - entry->tiffStart), entry->littleEndian);
    return true;
}
