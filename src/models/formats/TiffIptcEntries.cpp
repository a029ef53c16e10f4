#include "models/formats/TiffIptcEntries.h"

#include "models/formats/TiffBlock.h"

#include <QtEndian>

#include <algorithm>
#include <array>

namespace {

constexpr std::array<uint16_t, 2> kIptcTags = {0x83BB, 0x8649};

// The entry of `tag` in the first directory; nothing when there is none.
std::optional<qsizetype> entryOf(const TiffBlock& tiff, uint16_t tag)
{
    const auto first = tiff.firstDirectory();
    return first ? tiff.entryOf(*first, tag) : std::nullopt;
}

void putOffset(QByteArray& bytes, qsizetype at, uint32_t offset, bool little)
{
    little ? qToLittleEndian<quint32>(offset, bytes.data() + at) : qToBigEndian<quint32>(offset, bytes.data() + at);
}

} // namespace

std::optional<QByteArray> TiffIptcEntries::of(const QByteArray& tiff)
{
    const TiffBlock block(tiff, 0, tiff.size());
    if (!block.firstDirectory() || !block.read(*block.firstDirectory(), 2)) {
        return std::nullopt;
    }
    QByteArray held;
    for (const uint16_t tag : kIptcTags) {
        const auto entry = entryOf(block, tag);
        if (!entry) {
            continue;
        }
        const auto value = block.valueBytesOf(*entry);
        if (!value) {
            return std::nullopt;
        }
        held += QByteArrayView(tiff).sliced(*entry, 8);
        held += *value;
    }
    return held.isEmpty() ? held : tiff.first(2) + held;
}

std::optional<QByteArray> TiffIptcEntries::withEntriesOf(const QByteArray& written, const QByteArray& original)
{
    const TiffBlock from(original, 0, original.size());
    const TiffBlock to(written, 0, written.size());
    if (original.first(std::min<qsizetype>(2, original.size()))
        != written.first(std::min<qsizetype>(2, written.size()))) {
        return std::nullopt;
    }
    QByteArray kept = written;
    for (const uint16_t tag : kIptcTags) {
        const auto held = entryOf(from, tag);
        if (!held) {
            continue;
        }
        const auto value = from.valueBytesOf(*held);
        const auto entry = entryOf(to, tag);
        const auto place = entry ? to.valueBytesOf(*entry) : std::nullopt;
        if (!value || !place) {
            return std::nullopt;
        }
        // The library's value goes, leaving zeroes: no stale copy of the
        // block stays in the file.
        const qsizetype writtenAt = place->data() - written.constData();
        kept.replace(writtenAt, place->size(), QByteArray(place->size(), '\0'));
        // Type and count as the file held them.
        kept.replace(*entry + 2, 6, original.constData() + *held + 2, 6);
        if (value->size() <= 4) {
            kept.replace(*entry + 8, 4, original.constData() + *held + 8, 4);
            continue;
        }
        // The file's value where the library's lay when it fits there, else
        // after the written bytes, on a word boundary.
        qsizetype at = writtenAt;
        if (place->size() < value->size() || place->size() <= 4) {
            at = kept.size() + kept.size() % 2;
            if (at > qsizetype(UINT32_MAX) - value->size()) {
                return std::nullopt;
            }
            kept.resize(at, '\0');
            kept.append(*value);
        } else {
            kept.replace(at, value->size(), *value);
        }
        putOffset(kept, *entry + 8, uint32_t(at), to.littleEndian());
    }
    return kept;
}
