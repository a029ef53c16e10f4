#include "models/formats/PngPhotoshopChunk.h"

#include "models/formats/PngChunks.h"

#include <QByteArrayView>

namespace {

const QByteArray kKeyword("Raw profile type 8bim");
const QByteArray kResourceSignature("8BIM");
constexpr uint16_t kIptcResource = 0x0404;
// Far beyond a real block of resources; keeps a chunk that inflates without
// end from filling the memory.
constexpr qsizetype kMostTextBytes = qsizetype(64) * 1024 * 1024;

uint32_t bigEndian(QByteArrayView bytes, qsizetype at, int size)
{
    uint32_t value = 0;
    for (int i = 0; i < size; ++i) {
        value = (value << 8) | uint8_t(bytes.at(at + i));
    }
    return value;
}

// Whether a block of resources (signature, number, padded name, size, data
// padded to an even size) holds the IPTC one, up to the first that does not
// fit.
bool holdsIptcResource(QByteArrayView block)
{
    qsizetype at = 0;
    while (block.size() - at >= 12 && block.sliced(at, 4) == kResourceSignature) {
        const uint16_t id = uint16_t(bigEndian(block, at + 4, 2));
        const qsizetype nameSize = (uint8_t(block.at(at + 6)) + 2) & ~qsizetype(1);
        const qsizetype sizeAt = at + 6 + nameSize;
        if (block.size() - sizeAt < 4) {
            return false;
        }
        if (id == kIptcResource) {
            return true;
        }
        const qsizetype size = qsizetype(bigEndian(block, sizeAt, 4));
        at = sizeAt + 4 + ((size + 1) & ~qsizetype(1));
    }
    return false;
}

} // namespace

bool PngPhotoshopChunk::holdsIptc(const QByteArray& png)
{
    for (const PngChunks::Chunk& chunk : PngChunks::walk(png).chunks) {
        if (PngChunks::keywordOf(chunk) != QByteArrayView(kKeyword)) {
            continue;
        }
        const auto text = PngChunks::textOf(chunk, kMostTextBytes);
        const auto resources
            = text ? PngChunks::rawProfileBytes(*text, QStringLiteral("Photoshop profile"), nullptr) : std::nullopt;
        if (resources && holdsIptcResource(*resources)) {
            return true;
        }
    }
    return false;
}
