#include "models/formats/TiffBlock.h"

#include <algorithm>

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

namespace {

constexpr uint16_t kStripOffsets = 0x0111;
constexpr uint16_t kStripByteCounts = 0x0117;
constexpr uint16_t kTileOffsets = 0x0144;
constexpr uint16_t kTileByteCounts = 0x0145;
constexpr uint16_t kSubIfds = 0x014A;
constexpr uint16_t kShort = 3;
constexpr uint16_t kLong = 4;
constexpr uint16_t kIfd = 13;
// More directories than any camera or scanner writes: a longer chain is a
// loop or garbage, and is not followed further.
constexpr int kMostDirectories = 64;

struct Directory {
    uint32_t offset = 0;
    std::string group;
};

// The library's names of the directories of the chain from IFD0; it reads no
// further than the fourth.
std::string chainGroup(int index)
{
    static const char* const names[] = {"Image", "Thumbnail", "Image2", "Image3"};
    return index < 4 ? names[index] : "IFD" + std::to_string(index);
}

// The values of an entry of SHORT or LONG numbers, as the library reads
// them; nothing when its type is another or its values lie past the end.
std::optional<std::vector<uint32_t>> numbersOf(const TiffBlock& tiff, qsizetype entry)
{
    const auto type = tiff.read(entry + 2, 2);
    const auto count = tiff.countOf(entry);
    if ((type != kShort && type != kLong) || !count) {
        return std::nullopt;
    }
    const int width = type == kShort ? 2 : 4;
    const uint64_t size = uint64_t(*count) * uint64_t(width);
    const qsizetype at = size <= 4 ? entry + 8 : qsizetype(tiff.valueOf(entry).value_or(0));
    if (size == 0 || !tiff.read(at + qsizetype(size) - 1, 1)) {
        return std::nullopt;
    }
    std::vector<uint32_t> numbers;
    numbers.reserve(*count);
    for (uint32_t i = 0; i < *count; ++i) {
        numbers.push_back(*tiff.read(at + qsizetype(i) * width, width));
    }
    return numbers;
}

// Adds the strips (or tiles) the directory at `directory` names to `found`:
// false, with the tag that does not tell, when their place or length is not
// certain. A length is told by an entry of SHORT or LONG numbers, one per
// piece, none of them 0, each piece lying within the bytes and clear of the
// header and of every directory (a damaged type or count reads other bytes
// as the picture's place, and a save would copy those instead).
bool addPieces(const TiffBlock& tiff, uint32_t directory, uint16_t offsetsTag, uint16_t lengthsTag,
    const std::vector<Directory>& directories, qsizetype end, TiffBlock::Picture& found)
{
    const auto offsetsEntry = tiff.entryOf(directory, offsetsTag);
    if (!offsetsEntry) {
        return true;
    }
    const auto offsets = numbersOf(tiff, *offsetsEntry);
    if (!offsets) {
        found.damagedTag = offsetsTag;
        return false;
    }
    const auto lengthsEntry = tiff.entryOf(directory, lengthsTag);
    const auto lengths = lengthsEntry ? numbersOf(tiff, *lengthsEntry) : std::nullopt;
    if (!lengths || lengths->size() != offsets->size()
        || std::find(lengths->begin(), lengths->end(), 0u) != lengths->end()) {
        found.damagedTag = lengthsTag;
        return false;
    }
    const auto overlaps = [&](uint64_t start, uint64_t stop) {
        const auto inDirectory = [&](const Directory& other) {
            const uint64_t first = other.offset;
            const uint64_t last = first + 2 + uint64_t(tiff.read(other.offset, 2).value_or(0)) * kEntrySize + 4;
            return start < last && first < stop;
        };
        return start < 8 || std::any_of(directories.begin(), directories.end(), inDirectory);
    };
    for (size_t i = 0; i < offsets->size(); ++i) {
        const uint64_t start = (*offsets)[i];
        const uint64_t stop = start + (*lengths)[i];
        if (stop > uint64_t(end)) {
            found.damagedTag = lengthsTag;
            return false;
        }
        if (overlaps(start, stop)) {
            found.damagedTag = offsetsTag;
            return false;
        }
        found.pieces.push_back(TiffBlock::Picture::Piece{qsizetype(start), qsizetype((*lengths)[i])});
    }
    return true;
}

} // namespace

TiffBlock::Picture TiffBlock::picture() const
{
    std::vector<Directory> directories;
    std::vector<uint32_t> seen;
    const auto isNew = [&seen](uint32_t offset) {
        if (offset == 0 || std::find(seen.begin(), seen.end(), offset) != seen.end()) {
            return false;
        }
        seen.push_back(offset);
        return true;
    };
    uint32_t at = firstDirectory().value_or(0);
    for (int i = 0; i < kMostDirectories && isNew(at); ++i) {
        const auto count = read(at, 2);
        if (!count) {
            break;
        }
        directories.push_back(Directory{at, chainGroup(i)});
        at = read(at + 2 + qsizetype(*count) * kEntrySize, 4).value_or(0);
    }
    const size_t chain = directories.size();
    int subImages = 0;
    for (size_t i = 0; i < chain && directories.size() < size_t(kMostDirectories); ++i) {
        const auto entry = entryOf(directories[i].offset, kSubIfds);
        const auto type = entry ? read(*entry + 2, 2) : std::nullopt;
        if (type != kLong && type != kIfd) {
            continue;
        }
        const uint32_t count = std::min(countOf(entry).value_or(0), uint32_t(kMostDirectories));
        const qsizetype values = count == 1 ? *entry + 8 : qsizetype(valueOf(entry).value_or(0));
        for (uint32_t j = 0; j < count; ++j) {
            const uint32_t offset = read(values + qsizetype(j) * 4, 4).value_or(0);
            if (read(offset, 2) && isNew(offset)) {
                directories.push_back(Directory{offset, "SubImage" + std::to_string(++subImages)});
            }
        }
    }
    Picture found;
    for (const Directory& directory : directories) {
        for (const auto& [offsets, lengths] :
            {std::pair{kStripOffsets, kStripByteCounts}, {kTileOffsets, kTileByteCounts}}) {
            if (!addPieces(*this, directory.offset, offsets, lengths, directories, end_ - start_, found)) {
                found.damagedGroup = directory.group;
                return found;
            }
        }
    }
    return found;
}
