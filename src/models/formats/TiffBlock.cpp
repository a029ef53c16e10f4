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

constexpr uint16_t kImageWidth = 0x0100;
constexpr uint16_t kImageLength = 0x0101;
constexpr uint16_t kBitsPerSample = 0x0102;
constexpr uint16_t kCompression = 0x0103;
constexpr uint16_t kPhotometric = 0x0106;
constexpr uint16_t kSamplesPerPixel = 0x0115;
constexpr uint16_t kRowsPerStrip = 0x0116;
constexpr uint16_t kPlanarConfiguration = 0x011C;
constexpr uint16_t kTileWidth = 0x0142;
constexpr uint16_t kTileLength = 0x0143;
constexpr uint16_t kStripOffsets = 0x0111;
constexpr uint16_t kStripByteCounts = 0x0117;
constexpr uint16_t kTileOffsets = 0x0144;
constexpr uint16_t kTileByteCounts = 0x0145;
constexpr uint16_t kSubIfds = 0x014A;
constexpr uint16_t kExifIfd = 0x8769;
constexpr uint16_t kGpsIfd = 0x8825;
constexpr uint16_t kInteroperabilityIfd = 0xA005;
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

// The single number of the entry of `tag`, or `absent` when the directory
// has none; nothing when it cannot be read as one number.
std::optional<uint32_t> numberOf(
    const TiffBlock& tiff, uint32_t directory, uint16_t tag, std::optional<uint32_t> absent)
{
    const auto entry = tiff.entryOf(directory, tag);
    if (!entry) {
        return absent;
    }
    const auto numbers = numbersOf(tiff, *entry);
    return numbers && numbers->size() == 1 ? std::optional<uint32_t>(numbers->front()) : std::nullopt;
}

uint64_t saturatingProduct(uint64_t first, uint64_t second)
{
    return first != 0 && second > UINT64_MAX / first ? UINT64_MAX : first * second;
}

// The bytes of one row of `width` pixels of `bits` bits each: every row
// starts on a byte.
uint64_t rowBytes(uint64_t width, uint64_t bits)
{
    const uint64_t rowBits = saturatingProduct(width, bits);
    return rowBits == UINT64_MAX ? rowBits : rowBits / 8 + (rowBits % 8 != 0);
}

// The bytes each of `count` strips (or tiles) of an uncompressed picture
// holds, as the directory's own tags fix them: its width, its rows per strip
// (the last strip of a plane holds the rows left) or its tiles' size, its
// samples and their bits, in one plane or a plane per sample. Such a length
// is no choice of the writer's, while a compressed one is the compressor's
// and cannot be checked so. Empty when the picture is compressed or the tags
// do not settle the sizes (YCbCr, whose subsampled units are counted
// otherwise, and raw formats' TIFF-like structures, which pack their data in
// ways of their own); 0 for a piece past those the tags count.
std::vector<uint64_t> uncompressedSizes(const TiffBlock& tiff, uint32_t directory, bool tiles, size_t count)
{
    constexpr uint32_t kYCbCr = 6;
    const auto compression = numberOf(tiff, directory, kCompression, 1);
    const auto photometric = numberOf(tiff, directory, kPhotometric, 0);
    const auto width = numberOf(tiff, directory, kImageWidth, std::nullopt);
    const auto height = numberOf(tiff, directory, kImageLength, std::nullopt);
    const auto samples = numberOf(tiff, directory, kSamplesPerPixel, 1);
    const auto planar = numberOf(tiff, directory, kPlanarConfiguration, 1);
    if (tiff.read(2, 2) != 42u || compression != 1u || !photometric || *photometric == kYCbCr || !width || *width == 0
        || !height || *height == 0 || !samples || *samples == 0 || (planar != 1u && planar != 2u)) {
        return {};
    }
    std::vector<uint64_t> bits(*samples, 1);
    if (const auto entry = tiff.entryOf(directory, kBitsPerSample)) {
        const auto numbers = numbersOf(tiff, *entry);
        if (!numbers || (numbers->size() != 1 && numbers->size() != *samples)) {
            return {};
        }
        for (size_t i = 0; i < bits.size(); ++i) {
            bits[i] = (*numbers)[numbers->size() == 1 ? 0 : i];
        }
    }
    // The bits of a pixel in each plane.
    std::vector<uint64_t> planes = bits;
    if (*planar == 1) {
        planes = {0};
        for (uint64_t sampleBits : bits) {
            planes[0] += sampleBits;
        }
    }
    uint64_t pieceWidth = *width;
    uint64_t pieceRows = numberOf(tiff, directory, kRowsPerStrip, UINT32_MAX).value_or(0);
    uint64_t perPlane = 0;
    if (tiles) {
        pieceWidth = numberOf(tiff, directory, kTileWidth, std::nullopt).value_or(0);
        pieceRows = numberOf(tiff, directory, kTileLength, std::nullopt).value_or(0);
        if (pieceWidth == 0 || pieceRows == 0) {
            return {};
        }
        perPlane = ((*width + pieceWidth - 1) / pieceWidth) * ((*height + pieceRows - 1) / pieceRows);
    } else if (pieceRows == 0) {
        return {};
    } else {
        perPlane = (*height + pieceRows - 1) / pieceRows;
    }
    std::vector<uint64_t> sizes(count, 0);
    for (size_t i = 0; i < count && i / perPlane < planes.size(); ++i) {
        // A tile is whole even where it passes the picture's edge; a strip
        // holds the rows left.
        const uint64_t firstRow = (i % perPlane) * pieceRows;
        const uint64_t rows = tiles ? pieceRows : std::min(pieceRows, *height - firstRow);
        sizes[i] = saturatingProduct(rowBytes(pieceWidth, planes[i / perPlane]), rows);
    }
    return sizes;
}

// Adds the strips (or tiles) the directory at `directory` names to `found`,
// and to `fixedSizes` the size the directory's tags fix for each (0 where
// they fix none, see uncompressedSizes): false, with the tag that does not
// tell, when their place or length is not certain. A length is told by an
// entry of SHORT or LONG numbers, one per piece, none of them 0, each piece
// lying within the bytes and clear of the header and of every directory (a
// damaged type or count reads other bytes as the picture's place, and a
// save would copy those instead).
bool addPieces(const TiffBlock& tiff, uint32_t directory, uint16_t offsetsTag, uint16_t lengthsTag,
    const std::vector<Directory>& directories, qsizetype end, TiffBlock::Picture& found,
    std::vector<uint64_t>& fixedSizes)
{
    const auto offsetsEntry = tiff.entryOf(directory, offsetsTag);
    const auto lengthsEntry = tiff.entryOf(directory, lengthsTag);
    if (!offsetsEntry && !lengthsEntry) {
        return true;
    }
    // Lengths without offsets are a page whose offsets entry lost its tag
    // (0x0111 damaged to 0x0110): the library reads the page as having no
    // picture and writes it without its strips.
    const auto offsets = offsetsEntry ? numbersOf(tiff, *offsetsEntry) : std::nullopt;
    if (!offsets) {
        found.damagedTag = offsetsTag;
        return false;
    }
    const auto lengths = lengthsEntry ? numbersOf(tiff, *lengthsEntry) : std::nullopt;
    if (!lengths || lengths->size() != offsets->size()
        || std::find(lengths->begin(), lengths->end(), 0u) != lengths->end()) {
        found.damagedTag = lengthsTag;
        return false;
    }
    // An uncompressed piece shorter than its tags make it is a damaged
    // length: the library copies only that many bytes and the rest of the
    // picture is lost. A longer one loses nothing (writers pad their strips).
    const std::vector<uint64_t> sizes = uncompressedSizes(tiff, directory, offsetsTag == kTileOffsets, lengths->size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        if ((*lengths)[i] < sizes[i]) {
            found.damagedTag = lengthsTag;
            return false;
        }
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
        fixedSizes.push_back(i < sizes.size() ? sizes[i] : 0);
    }
    return true;
}

// The bytes a value of `type` takes; 0 for a number that is no TIFF type.
uint64_t typeSize(uint32_t type)
{
    static const uint8_t sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < sizeof(sizes) ? sizes[type] : 0;
}

} // namespace

std::optional<QByteArrayView> TiffBlock::valueBytesOf(qsizetype entry) const
{
    const auto type = read(entry + 2, 2);
    const auto count = countOf(entry);
    const uint64_t size = type && count ? typeSize(*type) * *count : 0;
    if (size == 0 || size > uint64_t(end_ - start_)) {
        return std::nullopt;
    }
    const qsizetype at = size <= 4 ? entry + 8 : qsizetype(valueOf(entry).value_or(0));
    if (!read(at, 1) || !read(at + qsizetype(size) - 1, 1)) {
        return std::nullopt;
    }
    return QByteArrayView(bytes_).sliced(start_ + at, qsizetype(size));
}

namespace {

// Adds to `directories` those whose entries hold values beside the pages',
// with the library's names: the Exif and GPS directories of each of the
// first `pages`, and the Interoperability directory of each Exif directory.
void addValueDirectories(const TiffBlock& tiff, size_t pages, std::vector<Directory>& directories)
{
    const auto follow = [&](uint32_t directory, uint16_t tag, const char* group) {
        const auto offset = tiff.valueOf(tiff.entryOf(directory, tag));
        if (offset && *offset != 0 && tiff.read(*offset, 2)) {
            directories.push_back(Directory{*offset, group});
        }
    };
    const size_t first = directories.size();
    for (size_t i = 0; i < pages; ++i) {
        follow(directories[i].offset, kExifIfd, "Photo");
        follow(directories[i].offset, kGpsIfd, "GPSInfo");
    }
    for (size_t i = first, last = directories.size(); i < last; ++i) {
        if (directories[i].group == "Photo") {
            follow(directories[i].offset, kInteroperabilityIfd, "Iop");
        }
    }
}

// Marks as damaged the first entry of `directories` whose value lies within
// one of `found`'s strips or tiles: a save writes the entry's new value where
// it lies, over the picture (an IPTC block's offset damaged into the first
// strip had a title edit replace 488 bytes of the picture), and reads the
// picture's bytes as the entry's value. A value that runs past the end is
// another damage, not told here.
void findValuesInPicture(
    const TiffBlock& tiff, const std::vector<Directory>& directories, uint64_t end, TiffBlock::Picture& found)
{
    std::vector<std::pair<uint64_t, uint64_t>> pieces;
    pieces.reserve(found.pieces.size());
    for (const TiffBlock::Picture::Piece& piece : found.pieces) {
        pieces.emplace_back(uint64_t(piece.offset), uint64_t(piece.offset) + uint64_t(piece.size));
    }
    std::sort(pieces.begin(), pieces.end());
    // The longest piece bounds how far before a value a piece reaching into
    // it may start.
    uint64_t longest = 0;
    for (const auto& [start, stop] : pieces) {
        longest = std::max(longest, stop - start);
    }
    const auto inPicture = [&](uint64_t start, uint64_t stop) {
        auto piece = std::lower_bound(
            pieces.begin(), pieces.end(), std::pair<uint64_t, uint64_t>(start > longest ? start - longest : 0, 0));
        for (; piece != pieces.end() && piece->first < stop; ++piece) {
            if (start < piece->second) {
                return true;
            }
        }
        return false;
    };
    for (const Directory& directory : directories) {
        const uint32_t count = tiff.read(directory.offset, 2).value_or(0);
        for (uint32_t i = 0; i < count; ++i) {
            const qsizetype entry = qsizetype(directory.offset) + 2 + qsizetype(i) * kEntrySize;
            const uint64_t size = typeSize(tiff.read(entry + 2, 2).value_or(0)) * tiff.countOf(entry).value_or(0);
            const uint64_t start = tiff.valueOf(entry).value_or(0);
            if (size > 4 && start + size <= end && inPicture(start, start + size)) {
                found.damagedTag = uint16_t(tiff.read(entry, 2).value_or(0));
                found.damagedGroup = directory.group;
                found.valueInPicture = true;
                return;
            }
        }
    }
}

// Where each piece was found: its directory, its offsets entry, the index
// of that entry's first piece among all pieces, the size the directory's
// tags fix for it (0 where they fix none), and the first piece of the run of
// its entry's pieces up to it that start each after the one before.
struct Found {
    std::vector<const Directory*> owners;
    std::vector<uint16_t> offsetsTags;
    std::vector<size_t> firsts;
    std::vector<uint64_t> fixedSizes;
    std::vector<size_t> runStarts;

    void findRuns(const std::vector<TiffBlock::Picture::Piece>& pieces)
    {
        runStarts.resize(pieces.size());
        for (size_t i = 0; i < pieces.size(); ++i) {
            const bool follows = i != firsts[i] && pieces[i].offset > pieces[i - 1].offset;
            runStarts[i] = follows ? runStarts[i - 1] : i;
        }
    }
};

// Whether piece `later`, which starts within piece `earlier` of the same
// offsets entry, does so because `earlier`'s length runs on into the pieces
// after it: `later` comes after `earlier` in the entry, the pieces from one
// to the other start in their order, and the bytes the tags fix for
// `earlier` (where they fix them) end before the next piece starts. Such a
// length loses nothing; an offset moved into another piece loses the bytes
// the piece held, and reads the other's as its own.
bool runsOnInto(const std::vector<TiffBlock::Picture::Piece>& pieces, const Found& found, size_t earlier, size_t later)
{
    if (later <= earlier || found.firsts[earlier] != found.firsts[later] || found.runStarts[later] > earlier) {
        return false;
    }
    const uint64_t fixed = found.fixedSizes[earlier];
    return fixed == 0 || uint64_t(pieces[earlier].offset) + fixed <= uint64_t(pieces[earlier + 1].offset);
}

// Whether piece `shorter`, which starts where the longer piece `longer`
// does, is an uncompressed picture's last strip naming the start of a blank
// strip of its page, as a writer names a blank strip twice: both are of one
// entry, and `shorter` is its last piece and as long as the tags fix it.
bool namesBlankStart(const Found& found, size_t shorter, size_t longer)
{
    const bool last = shorter + 1 == found.firsts.size() || found.firsts[shorter + 1] != found.firsts[shorter];
    return found.firsts[shorter] == found.firsts[longer] && last && found.fixedSizes[shorter] != 0;
}

// The index of a piece that overlaps another in part, if any: a page's strip
// offset damaged into another page's tiles, or into another strip of its own
// page, has the library copy those bytes as the piece, and the piece's own
// bytes are lost. Pieces that lie on exactly the same bytes are one piece
// named twice, as a writer may name a blank tile it repeats (and a shorter
// last strip a blank strip's start, see namesBlankStart); a length running
// on into the next strips of its own page loses nothing (runsOnInto). Where
// the tags fix no size (a compressed piece), an offset moved into the piece
// before it by index looks the same as that piece's longer length, and is
// not told.
std::optional<size_t> overlappingInPart(const std::vector<TiffBlock::Picture::Piece>& pieces, const Found& found)
{
    std::vector<size_t> order(pieces.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::sort(order.begin(), order.end(), [&pieces](size_t a, size_t b) {
        return std::pair(pieces[a].offset, pieces[a].size) < std::pair(pieces[b].offset, pieces[b].size);
    });
    const auto end = [&pieces](size_t index) { return pieces[index].offset + pieces[index].size; };
    const auto same = [&pieces](size_t a, size_t b) {
        return pieces[a].offset == pieces[b].offset && pieces[a].size == pieces[b].size;
    };
    // The pieces before that reach past the current one's start, each place
    // once.
    std::vector<size_t> open;
    for (size_t position = 0; position < order.size(); ++position) {
        const size_t index = order[position];
        if (position > 0 && same(order[position - 1], index)) {
            continue;
        }
        open.erase(
            std::remove_if(open.begin(), open.end(), [&](size_t other) { return end(other) <= pieces[index].offset; }),
            open.end());
        for (size_t other : open) {
            const bool explained = pieces[other].offset == pieces[index].offset
                ? namesBlankStart(found, other, index)
                : runsOnInto(pieces, found, other, index);
            if (!explained) {
                return index;
            }
        }
        open.push_back(index);
    }
    return std::nullopt;
}

} // namespace

std::vector<uint32_t> TiffBlock::chain() const
{
    std::vector<uint32_t> chained;
    uint32_t at = firstDirectory().value_or(0);
    while (chained.size() < size_t(kMostDirectories) && at != 0
        && std::find(chained.begin(), chained.end(), at) == chained.end()) {
        const auto count = read(at, 2);
        if (!count) {
            break;
        }
        chained.push_back(at);
        at = read(at + 2 + qsizetype(*count) * kEntrySize, 4).value_or(0);
    }
    return chained;
}

int TiffBlock::pageCount() const
{
    return int(chain().size());
}

TiffBlock::Picture TiffBlock::picture() const
{
    std::vector<Directory> directories;
    std::vector<uint32_t> seen = chain();
    for (size_t i = 0; i < seen.size(); ++i) {
        directories.push_back(Directory{seen[i], chainGroup(int(i))});
    }
    const auto isNew = [&seen](uint32_t offset) {
        if (offset == 0 || std::find(seen.begin(), seen.end(), offset) != seen.end()) {
            return false;
        }
        seen.push_back(offset);
        return true;
    };
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
    Found where;
    for (const Directory& directory : directories) {
        for (const auto& [offsets, lengths] :
            {std::pair{kStripOffsets, kStripByteCounts}, {kTileOffsets, kTileByteCounts}}) {
            const size_t first = found.pieces.size();
            if (!addPieces(
                    *this, directory.offset, offsets, lengths, directories, end_ - start_, found, where.fixedSizes)) {
                found.damagedGroup = directory.group;
                return found;
            }
            where.owners.resize(found.pieces.size(), &directory);
            where.offsetsTags.resize(found.pieces.size(), offsets);
            where.firsts.resize(found.pieces.size(), first);
        }
    }
    where.findRuns(found.pieces);
    if (const auto overlapping = overlappingInPart(found.pieces, where)) {
        found.damagedTag = where.offsetsTags[*overlapping];
        found.damagedGroup = where.owners[*overlapping]->group;
        return found;
    }
    addValueDirectories(*this, chain, directories);
    findValuesInPicture(*this, directories, uint64_t(end_ - start_), found);
    return found;
}
