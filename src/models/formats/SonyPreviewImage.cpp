#include "models/formats/SonyPreviewImage.h"

#include "models/formats/JpegSegments.h"
#include "models/formats/TiffBlock.h"

#include <algorithm>

#include <cstring>

namespace {

constexpr uint16_t kExifPointer = 0x8769;
constexpr uint16_t kMakerNote = 0x927C;
constexpr uint16_t kPreviewImage = 0x2001;
const QByteArray kSonyHeaders[] = {QByteArray("SONY DSC \0\0\0", 12), QByteArray("SONY CAM \0\0\0", 12)};

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
    const auto ifd0 = tiff.firstDirectory();
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
    const auto count = tiff.countOf(entry);
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
    if (now - entry->tiffStart < 0 || now + preview->size() > after.size()
        || std::memcmp(after.constData() + now, preview->data(), size_t(preview->size())) != 0) {
        return fail(QStringLiteral("the Sony preview's bytes are not where the save moved them"));
    }
    writeNumber(after, entry->entry + 4, uint32_t(preview->size()), entry->littleEndian);
    writeNumber(after, entry->entry + 8, uint32_t(now - entry->tiffStart), entry->littleEndian);
    return true;
}
