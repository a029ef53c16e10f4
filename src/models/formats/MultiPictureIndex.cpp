#include "models/formats/MultiPictureIndex.h"

#include "models/formats/JpegSegments.h"
#include "models/formats/TiffBlock.h"

#include <optional>

namespace {

const QByteArray kIndexHeader("MPF\0", 4);
constexpr uint16_t kPictureEntries = 0xB002;
constexpr qsizetype kPictureEntrySize = 16;
// More pictures than any camera stores; a damaged count reads no further.
constexpr uint32_t kMostPictures = 64;

std::optional<JpegSegments::Segment> indexSegment(const QByteArray& jpeg, const JpegSegments::Header& header)
{
    for (const JpegSegments::Segment& segment : header.segments) {
        if (segment.marker == 0xE2 && segment.dataSize() > kIndexHeader.size()
            && QByteArrayView(jpeg).sliced(segment.dataOffset(), kIndexHeader.size()) == kIndexHeader) {
            return segment;
        }
    }
    return std::nullopt;
}

} // namespace

std::vector<QByteArrayView> MultiPictureIndex::storedPicturesIn(const QByteArray& jpeg)
{
    const auto header = JpegSegments::header(jpeg);
    const auto segment = header ? indexSegment(jpeg, *header) : std::nullopt;
    if (!segment) {
        return {};
    }
    const TiffBlock tiff(jpeg, segment->dataOffset() + kIndexHeader.size(), segment->offset + segment->size);
    const auto first = tiff.firstDirectory();
    const auto entry = first ? tiff.entryOf(*first, kPictureEntries) : std::nullopt;
    const uint32_t pictures = std::min(tiff.countOf(entry).value_or(0) / uint32_t(kPictureEntrySize), kMostPictures);
    const qsizetype list = tiff.valueOf(entry).value_or(0);
    std::vector<QByteArrayView> stored;
    for (uint32_t i = 0; i < pictures; ++i) {
        const auto size = tiff.read(list + qsizetype(i) * kPictureEntrySize + 4, 4);
        const auto offset = tiff.read(list + qsizetype(i) * kPictureEntrySize + 8, 4);
        const qsizetype at = tiff.start() + qsizetype(offset.value_or(0));
        if (size && offset && *offset != 0 && at + qsizetype(*size) <= jpeg.size()) {
            stored.push_back(QByteArrayView(jpeg).sliced(at, qsizetype(*size)));
        }
    }
    return stored;
}
