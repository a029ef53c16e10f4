#include "models/formats/TiffBlock.h"

namespace {

constexpr qsizetype kEntrySize = 12;

} // namespace

TiffBlock::TiffBlock(const QByteArray& bytes, qsizetype start, qsizetype end)
    : bytes_(bytes)
    , start_(start)
    , end_(std::min(end, bytes.size()))
    , little_(bytes.mid(start, 2) == "II")
{
}

std::optional<uint32_t> TiffBlock::read(qsizetype offset, int width) const
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

std::optional<qsizetype> TiffBlock::entryOf(qsizetype directory, uint16_t tag) const
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

std::optional<uint32_t> TiffBlock::countOf(std::optional<qsizetype> entry) const
{
    return entry ? read(*entry + 4, 4) : std::nullopt;
}

std::optional<uint32_t> TiffBlock::valueOf(std::optional<qsizetype> entry) const
{
    return entry ? read(*entry + 8, 4) : std::nullopt;
}
