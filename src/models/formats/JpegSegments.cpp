#include "models/formats/JpegSegments.h"

namespace {

const QByteArray kExifHeader("Exif\0\0", 6);
const QByteArray kXmpHeader("http://ns.adobe.com/xap/1.0/\0", 29);

bool isStandalone(uint8_t marker)
{
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

} // namespace

std::optional<JpegSegments::Header> JpegSegments::header(const QByteArray& bytes)
{
    if (bytes.size() < 4 || uint8_t(bytes.at(0)) != 0xFF || uint8_t(bytes.at(1)) != 0xD8) {
        return std::nullopt;
    }
    Header found;
    qsizetype at = 2;
    // An end marker may close the bytes with no room for a length after it
    // (the check reads a JPEG of the written segments alone so).
    while (at + 2 <= bytes.size()) {
        if (uint8_t(bytes.at(at)) != 0xFF) {
            return std::nullopt;
        }
        const uint8_t marker = uint8_t(bytes.at(at + 1));
        if (marker == 0xFF) {
            ++at; // fill byte
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) {
            found.scanStart = at;
            found.hasScan = marker == 0xDA;
            return found;
        }
        if (isStandalone(marker)) {
            at += 2;
            continue;
        }
        if (at + 4 > bytes.size()) {
            return std::nullopt;
        }
        const qsizetype size = 2 + ((qsizetype(uint8_t(bytes.at(at + 2))) << 8) | uint8_t(bytes.at(at + 3)));
        if (size < 4 || at + size > bytes.size()) {
            return std::nullopt;
        }
        found.segments.push_back(Segment{marker, at, size});
        at += size;
    }
    return std::nullopt;
}

std::optional<qsizetype> JpegSegments::pictureEnd(const QByteArray& bytes)
{
    const auto found = header(bytes);
    if (!found || !found->hasScan) {
        return std::nullopt;
    }
    const QByteArrayView view(bytes);
    qsizetype at = found->scanStart;
    while (at + 2 <= bytes.size() && uint8_t(bytes.at(at)) == 0xFF) {
        const uint8_t marker = uint8_t(bytes.at(at + 1));
        if (marker == 0xD9) {
            return at + 2;
        }
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (isStandalone(marker)) {
            at += 2;
        } else if (at + 4 > bytes.size()) {
            return std::nullopt;
        } else {
            at += 2 + ((qsizetype(uint8_t(bytes.at(at + 2))) << 8) | uint8_t(bytes.at(at + 3)));
        }
        if (marker != 0xDA && !isStandalone(marker)) {
            continue;
        }
        // Coded data up to the next marker: 0xFF in it is followed by a 0
        // byte, or is a restart marker.
        for (at = view.indexOf('\xFF', at); at >= 0 && at + 1 < bytes.size(); at = view.indexOf('\xFF', at + 1)) {
            const uint8_t next = uint8_t(bytes.at(at + 1));
            if (next != 0 && !(next >= 0xD0 && next <= 0xD7)) {
                break;
            }
        }
        if (at < 0) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::vector<JpegSegments::Segment> JpegSegments::exifSegments(const QByteArray& bytes)
{
    std::vector<Segment> found;
    for (const Segment& segment : header(bytes).value_or(Header()).segments) {
        if (segment.marker == 0xE1 && segment.dataSize() >= kExifHeader.size() + 8
            && QByteArrayView(bytes).sliced(segment.dataOffset(), kExifHeader.size()) == kExifHeader) {
            found.push_back(segment);
        }
    }
    return found;
}

bool JpegSegments::isXmp(const QByteArray& bytes, const Segment& segment)
{
    return segment.marker == 0xE1 && segment.dataSize() > kXmpHeader.size()
        && QByteArrayView(bytes).sliced(segment.dataOffset(), kXmpHeader.size()) == kXmpHeader;
}

qsizetype JpegSegments::xmpPacketStart(const Segment& xmpSegment)
{
    return xmpSegment.dataOffset() + kXmpHeader.size();
}

std::optional<QByteArray> JpegSegments::xmpPacket(const QByteArray& bytes)
{
    for (const Segment& segment : header(bytes).value_or(Header()).segments) {
        if (isXmp(bytes, segment)) {
            return bytes.mid(xmpPacketStart(segment), segment.dataSize() - kXmpHeader.size());
        }
    }
    return std::nullopt;
}
