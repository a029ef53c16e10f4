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
    // Found by the maker note's header alone: the directories leading to it
    // are damaged, so the block goes back as it was and cannot be mended.
    bool inDamagedBlock = false;
};

// The EXIF directory's offset from the TIFF header.
std::optional<uint32_t> exifDirectoryOf(const TiffBlock& tiff)
{
    const auto ifd0 = tiff.firstDirectory();
    return ifd0 ? tiff.valueOf(tiff.entryOf(*ifd0, kExifPointer)) : std::nullopt;
}

// The offset of a Sony maker-note header within the segment, by its bytes.
std::optional<uint32_t> makerNoteByHeader(
    const QByteArray& jpeg, const JpegSegments::Segment& segment, qsizetype tiffStart)
{
    const QByteArrayView bytes = QByteArrayView(jpeg).sliced(tiffStart, segment.offset + segment.size - tiffStart);
    for (const QByteArray& header : kSonyHeaders) {
        const qsizetype found = bytes.indexOf(header);
        if (found >= 0) {
            return uint32_t(found);
        }
    }
    return std::nullopt;
}

bool isSonyHeader(const QByteArray& jpeg, qsizetype at)
{
    return std::any_of(std::begin(kSonyHeaders), std::end(kSonyHeaders),
        [&](const QByteArray& known) { return jpeg.mid(at, known.size()) == known; });
}

std::optional<PreviewEntry> previewEntryIn(const QByteArray& jpeg)
{
    const auto segments = JpegSegments::exifSegments(jpeg);
    if (segments.empty()) {
        return std::nullopt;
    }
    const JpegSegments::Segment& segment = segments.front();
    const TiffBlock tiff(jpeg, JpegSegments::tiffStart(segment), segment.offset + segment.size);
    // A directory leading to the EXIF directory that cannot be read (IFD0's
    // entry count or offset set to 0) hides the maker note from the walk.
    const auto exifDirectory = exifDirectoryOf(tiff);
    const bool damaged = !exifDirectory;
    const auto makerNote = damaged ? makerNoteByHeader(jpeg, segment, tiff.start())
                                   : tiff.valueOf(tiff.entryOf(*exifDirectory, kMakerNote));
    if (!makerNote || !isSonyHeader(jpeg, tiff.start() + *makerNote)) {
        return std::nullopt;
    }
    const auto entry = tiff.entryOf(*makerNote + 12, kPreviewImage);
    const auto count = tiff.countOf(entry);
    const auto offset = tiff.valueOf(entry);
    if (!count || !offset) {
        return std::nullopt;
    }
    return PreviewEntry{tiff.start() + *entry, tiff.start(), tiff.littleEndian(), *count, *offset, damaged};
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

std::optional<uint32_t> SonyPreviewImage::storedLengthIn(const QByteArray& jpeg)
{
    const auto entry = previewEntryIn(jpeg);
    return entry ? std::optional<uint32_t>(entry->count) : std::nullopt;
}

bool SonyPreviewImage::keepPreview(const QByteArray& before, QByteArray& after, QString* why)
{
    const auto fail = [why](const QString& reason) {
        if (why) {
            *why = reason;
        }
        return false;
    };
    const auto preview = previewIn(before);
    const auto stored = previewEntryIn(before);
    const auto entry = previewEntryIn(after);
    if (!stored || stored->count <= 4 || !entry || entry->inDamagedBlock) {
        return true;
    }
    if (!preview) {
        // A preview whose length runs past the file (a damaged count, a
        // trailer cut off) cannot be read, but its entry is kept as stored,
        // still naming the bytes it named: those after the picture move by
        // the change of the metadata's size.
        const qsizetype was = stored->tiffStart + qsizetype(stored->offset);
        const auto header = JpegSegments::header(before);
        const qsizetype now = was + after.size() - before.size() - entry->tiffStart;
        if (!header || was < header->scanStart || now < 0 || now > qsizetype(UINT32_MAX)) {
            return fail(QStringLiteral("the Sony preview entry is damaged (its bytes run past the file) and could not "
                                       "be kept as it is"));
        }
        writeNumber(after, entry->entry + 4, stored->count, entry->littleEndian);
        writeNumber(after, entry->entry + 8, uint32_t(now), entry->littleEndian);
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
