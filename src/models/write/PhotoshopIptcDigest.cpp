#include "models/write/PhotoshopIptcDigest.h"

#include "models/formats/JpegSegments.h"

#include <QCryptographicHash>

#include <optional>
#include <vector>

namespace {

const QByteArray kPhotoshopHeader("Photoshop 3.0\0", 14);
constexpr uint8_t kApp13 = 0xED;
constexpr uint16_t kIptcResource = 0x0404;
constexpr uint16_t kDigestResource = 0x0425;
constexpr qsizetype kDigestSize = 16;

// The image resources of a JPEG, which may run over several APP13
// segments: their data joined, with the file offset of each byte's run.
struct Resources {
    QByteArray data;
    // Per segment: where its part starts in `data` and in the file.
    std::vector<std::pair<qsizetype, qsizetype>> runs;

    qsizetype fileOffset(qsizetype at) const
    {
        qsizetype offset = -1;
        for (const auto& [start, file] : runs) {
            if (at >= start) {
                offset = file + (at - start);
            }
        }
        return offset;
    }
};

Resources resourcesOf(const QByteArray& bytes)
{
    Resources found;
    const auto header = JpegSegments::header(bytes);
    if (!header) {
        return found;
    }
    for (const JpegSegments::Segment& segment : header->segments) {
        if (segment.marker != kApp13 || segment.dataSize() < kPhotoshopHeader.size()
            || bytes.mid(segment.dataOffset(), kPhotoshopHeader.size()) != kPhotoshopHeader) {
            continue;
        }
        const qsizetype start = segment.dataOffset() + kPhotoshopHeader.size();
        found.runs.push_back({found.data.size(), start});
        found.data.append(bytes.mid(start, segment.dataSize() - kPhotoshopHeader.size()));
    }
    return found;
}

struct Resource {
    qsizetype offset = 0; // of its data in Resources::data
    qsizetype size = 0;
};

// The resource `id` among the joined resources; nothing when it is absent
// or the resources do not parse up to it.
std::optional<Resource> findResource(const QByteArray& data, uint16_t id)
{
    const auto byteAt = [&data](qsizetype at) { return qsizetype(uint8_t(data.at(at))); };
    qsizetype at = 0;
    while (at + 12 <= data.size() && data.mid(at, 4) == "8BIM") {
        const uint16_t resourceId = uint16_t((byteAt(at + 4) << 8) | byteAt(at + 5));
        // A Pascal name, padded to an even length with its length byte.
        qsizetype nameSize = byteAt(at + 6) + 1;
        nameSize += nameSize % 2;
        const qsizetype sizeAt = at + 6 + nameSize;
        if (sizeAt + 4 > data.size()) {
            return std::nullopt;
        }
        const qsizetype size
            = (byteAt(sizeAt) << 24) | (byteAt(sizeAt + 1) << 16) | (byteAt(sizeAt + 2) << 8) | byteAt(sizeAt + 3);
        const qsizetype dataAt = sizeAt + 4;
        if (size < 0 || dataAt + size > data.size()) {
            return std::nullopt;
        }
        if (resourceId == id) {
            return Resource{dataAt, size};
        }
        at = dataAt + size + size % 2;
    }
    return std::nullopt;
}

QByteArray iptcBlock(const QByteArray& data)
{
    const auto iptc = findResource(data, kIptcResource);
    return iptc ? data.mid(iptc->offset, iptc->size) : QByteArray();
}

} // namespace

void PhotoshopIptcDigest::refresh(QByteArray& written, const QByteArray& original)
{
    const Resources resources = resourcesOf(written);
    const auto digest = findResource(resources.data, kDigestResource);
    if (!digest || digest->size != kDigestSize) {
        return;
    }
    const QByteArray iptc = iptcBlock(resources.data);
    if (iptc == iptcBlock(resourcesOf(original).data)) {
        return;
    }
    const QByteArray md5 = QCryptographicHash::hash(iptc, QCryptographicHash::Md5);
    for (qsizetype i = 0; i < kDigestSize; ++i) {
        const qsizetype at = resources.fileOffset(digest->offset + i);
        if (at < 0 || at >= written.size()) {
            return;
        }
        written[at] = md5.at(i);
    }
}
