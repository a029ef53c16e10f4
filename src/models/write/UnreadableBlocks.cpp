#include "models/write/UnreadableBlocks.h"

#include "models/formats/JpegSegments.h"

#include <QByteArrayView>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <functional>
#include <map>
#include <string>

namespace {

const QByteArray kPhotoshopHeader("Photoshop 3.0\0", 14);
const QByteArray kExifHeader("Exif\0\0", 6);
// "ICC_PROFILE", its end, and the segment's number and count.
const QByteArray kProfileHeader("ICC_PROFILE\0", 12);
constexpr qsizetype kProfileSegmentHeaderSize = 14;
const QByteArray kResourceSignature("8BIM");
constexpr uint16_t kIptcResource = 0x0404;

using SegmentTest = std::function<bool(const QByteArray&, const JpegSegments::Segment&)>;

bool startsWith(const QByteArray& bytes, const JpegSegments::Segment& segment, uint8_t marker, const QByteArray& header)
{
    return segment.marker == marker && segment.dataSize() >= header.size()
        && QByteArrayView(bytes).sliced(segment.dataOffset(), header.size()) == header;
}

bool isPhotoshopSegment(const QByteArray& bytes, const JpegSegments::Segment& segment)
{
    return startsWith(bytes, segment, 0xED, kPhotoshopHeader);
}

bool isExifSegment(const QByteArray& bytes, const JpegSegments::Segment& segment)
{
    return startsWith(bytes, segment, 0xE1, kExifHeader);
}

bool isProfileSegment(const QByteArray& bytes, const JpegSegments::Segment& segment)
{
    return startsWith(bytes, segment, 0xE2, kProfileHeader) && segment.dataSize() >= kProfileSegmentHeaderSize;
}

uint32_t bigEndian(const QByteArray& bytes, qsizetype at, int size)
{
    uint32_t value = 0;
    for (int i = 0; i < size; ++i) {
        value = (value << 8) | uint8_t(bytes.at(at + i));
    }
    return value;
}

// Whether the library cannot read all of these IPTC datasets: it drops the
// whole block when a dataset's length runs past the end, or its extended
// length field is longer than four bytes; where a dataset's 0x1C marker is
// damaged it skips that dataset, seeking the next marker, and a save then
// drops it (a Pentax JPEG lost its By-line on an FNumber edit). It keeps only
// the first of a dataset the standard does not let repeat (a second
// Sub-location went on any save); copies of the same value lose nothing (a
// Nikon D90 file declares its character set four times). Zero bytes after
// the last dataset are padding; fewer than six bytes it does not read.
bool iptcDatasetsUnreadable(const QByteArray& iptc)
{
    const auto onlyPaddingFrom = [&iptc](qsizetype at) {
        return std::all_of(iptc.begin() + at, iptc.end(), [](char byte) { return byte == 0; });
    };
    std::map<std::pair<uint16_t, uint16_t>, QByteArrayView> single;
    // The library reads a dataset only where six bytes or more are left.
    qsizetype at = 0;
    while (iptc.size() - at >= 6) {
        if (uint8_t(iptc.at(at)) != 0x1C) {
            return !onlyPaddingFrom(at);
        }
        const uint16_t record = uint8_t(iptc.at(at + 1));
        const uint16_t dataset = uint8_t(iptc.at(at + 2));
        at += 3; // marker, record and dataset numbers
        uint32_t length = bigEndian(iptc, at, 2);
        at += 2;
        if (length & 0x8000) {
            const int sizeOfLength = int(length & 0x7FFF);
            if (sizeOfLength > 4 || sizeOfLength > iptc.size() - at) {
                return true;
            }
            length = bigEndian(iptc, at, sizeOfLength);
            at += sizeOfLength;
        }
        if (qsizetype(length) > iptc.size() - at) {
            return true;
        }
        const QByteArrayView value = QByteArrayView(iptc).sliced(at, qsizetype(length));
        if (!Exiv2::IptcDataSets::dataSetRepeatable(dataset, record)
            && single.try_emplace({record, dataset}, value).first->second != value) {
            return true;
        }
        at += qsizetype(length);
    }
    return !onlyPaddingFrom(at);
}

// Where kept segments go when the written file has none of their kind: an
// EXIF segment leads the file, after the JFIF segments, as readers expect and
// as it lay before a multi-picture index, whose offsets to the pictures after
// the file's own count the bytes between them; Photoshop's go after the
// other application segments.
enum class Place { AfterJfif, AfterApplicationSegments };

// Every segment of `original` that passes `test`, in place of those of
// `written` that do.
std::optional<QByteArray> withSegmentsOf(
    const QByteArray& written, const QByteArray& original, const SegmentTest& test, Place place)
{
    const auto writtenHeader = JpegSegments::header(written);
    const auto originalHeader = JpegSegments::header(original);
    if (!writtenHeader || !originalHeader) {
        return std::nullopt;
    }
    QByteArray kept;
    for (const JpegSegments::Segment& segment : originalHeader->segments) {
        if (test(original, segment)) {
            kept.append(original.mid(segment.offset, segment.size));
        }
    }
    QByteArray result;
    result.reserve(written.size() + kept.size());
    qsizetype insertAt = -1;
    qsizetype copiedUpTo = 0;
    for (const JpegSegments::Segment& segment : writtenHeader->segments) {
        const bool application = segment.marker >= 0xE0 && segment.marker <= 0xEF;
        const bool placeBefore = place == Place::AfterJfif ? segment.marker != 0xE0 : !application;
        if (test(written, segment)) {
            result.append(written.mid(copiedUpTo, segment.offset - copiedUpTo));
            insertAt = insertAt < 0 ? result.size() : insertAt;
            copiedUpTo = segment.offset + segment.size;
        } else if (placeBefore && insertAt < 0) {
            result.append(written.mid(copiedUpTo, segment.offset - copiedUpTo));
            insertAt = result.size();
            copiedUpTo = segment.offset;
        }
    }
    result.append(written.mid(copiedUpTo));
    result.insert(insertAt < 0 ? result.size() - (written.size() - writtenHeader->scanStart) : insertAt, kept);
    return result;
}

} // namespace

std::optional<QByteArray> UnreadableBlocks::photoshopBlock(const QByteArray& jpeg)
{
    const auto header = JpegSegments::header(jpeg);
    if (!header) {
        return std::nullopt;
    }
    std::optional<QByteArray> joined;
    for (const JpegSegments::Segment& segment : header->segments) {
        if (isPhotoshopSegment(jpeg, segment)) {
            joined = joined.value_or(QByteArray())
                         .append(jpeg.mid(segment.dataOffset() + kPhotoshopHeader.size(),
                             segment.dataSize() - kPhotoshopHeader.size()));
        }
    }
    return joined;
}

bool UnreadableBlocks::hasDamagedIptc(const QByteArray& jpeg)
{
    const QByteArray block = photoshopBlock(jpeg).value_or(QByteArray());
    qsizetype at = 0;
    // Signature, resource number, name length byte (the name and its length
    // byte padded to even) and data size, then the data, padded to even.
    while (block.size() - at >= 12 && block.mid(at, 4) == kResourceSignature) {
        const uint16_t resource = uint16_t(bigEndian(block, at + 4, 2));
        const qsizetype nameField = (qsizetype(uint8_t(block.at(at + 6))) + 2) & ~qsizetype(1);
        const qsizetype sizeAt = at + 6 + nameField;
        if (sizeAt + 4 > block.size()) {
            return true;
        }
        const qsizetype size = qsizetype(bigEndian(block, sizeAt, 4));
        const qsizetype dataAt = sizeAt + 4;
        if (size > block.size() - dataAt) {
            return resource == kIptcResource;
        }
        if (resource == kIptcResource && iptcDatasetsUnreadable(block.mid(dataAt, size))) {
            return true;
        }
        at = dataAt + size + (size & 1);
    }
    return false;
}

bool UnreadableBlocks::hasDamagedProfile(const QByteArray& jpeg)
{
    const auto header = JpegSegments::header(jpeg);
    if (!header) {
        return false;
    }
    // The profile is the segments' data joined; it starts with its size.
    qsizetype held = 0;
    std::optional<uint32_t> declared;
    for (const JpegSegments::Segment& segment : header->segments) {
        if (!isProfileSegment(jpeg, segment)) {
            continue;
        }
        const qsizetype data = segment.dataOffset() + kProfileSegmentHeaderSize;
        const qsizetype size = segment.dataSize() - kProfileSegmentHeaderSize;
        if (!declared && size >= 4) {
            declared = bigEndian(jpeg, data, 4);
        }
        held += size;
    }
    return held > 0 && (!declared || qsizetype(*declared) != held);
}

QByteArray UnreadableBlocks::profileSegments(const QByteArray& jpeg)
{
    QByteArray joined;
    const auto header = JpegSegments::header(jpeg);
    for (const JpegSegments::Segment& segment : header ? header->segments : std::vector<JpegSegments::Segment>()) {
        if (isProfileSegment(jpeg, segment)) {
            joined.append(jpeg.mid(segment.offset, segment.size));
        }
    }
    return joined;
}

std::optional<QByteArray> UnreadableBlocks::withProfileSegmentsOf(const QByteArray& written, const QByteArray& original)
{
    return withSegmentsOf(written, original, isProfileSegment, Place::AfterApplicationSegments);
}

std::optional<QByteArray> UnreadableBlocks::withPhotoshopSegmentsOf(
    const QByteArray& written, const QByteArray& original)
{
    return withSegmentsOf(written, original, isPhotoshopSegment, Place::AfterApplicationSegments);
}

std::optional<QByteArray> UnreadableBlocks::withExifSegmentOf(const QByteArray& written, const QByteArray& original)
{
    return withSegmentsOf(written, original, isExifSegment, Place::AfterJfif);
}
