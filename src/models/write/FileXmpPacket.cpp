#include "models/write/FileXmpPacket.h"

#include "models/formats/JpegSegments.h"
#include "models/formats/TiffBlock.h"
#include "models/write/WrittenImageCheck.h"

#include <exiv2/exiv2.hpp>

namespace {

constexpr uint16_t kXmlPacket = 0x02BC;

std::optional<QByteArray> tiffXmlPacket(const QByteArray& bytes)
{
    const TiffBlock tiff(bytes, 0, bytes.size());
    const auto ifd0 = tiff.firstDirectory();
    const auto entry = ifd0 ? tiff.entryOf(*ifd0, kXmlPacket) : std::nullopt;
    const auto count = tiff.countOf(entry);
    const auto offset = tiff.valueOf(entry);
    // Packets of four bytes or less sit in the entry itself; none is that short.
    if (!count || !offset || *count <= 4 || qsizetype(*offset) + qsizetype(*count) > bytes.size()) {
        return std::nullopt;
    }
    return bytes.mid(qsizetype(*offset), qsizetype(*count));
}

} // namespace

std::optional<QByteArray> FileXmpPacket::of(const QByteArray& bytes, int imageType)
{
    if (imageType == Exiv2::ImageType::jpeg) {
        return JpegSegments::xmpPacket(bytes);
    }
    if (WrittenImageCheck::isTiffBased(imageType)) {
        return tiffXmlPacket(bytes);
    }
    return std::nullopt;
}
