#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <string>
#include <vector>

// Reads the directories of one TIFF structure held in a file's bytes (a
// JPEG's EXIF segment, a TIFF file) with the structure's own byte order.
// Offsets are from the TIFF header; every read is checked against the end
// given, so damaged offsets read as nothing.
class TiffBlock {
public:
    TiffBlock(const QByteArray& bytes, qsizetype start, qsizetype end);

    // `width` bytes (1, 2 or 4) at `offset` as a number.
    std::optional<uint32_t> read(qsizetype offset, int width) const;
    // The offset of the first directory (IFD0).
    std::optional<uint32_t> firstDirectory() const { return read(4, 4); }
    // The offset of the entry of `tag` in the directory at `directory`.
    std::optional<qsizetype> entryOf(qsizetype directory, uint16_t tag) const;
    // An entry's count and its value field read as an offset.
    std::optional<uint32_t> countOf(std::optional<qsizetype> entry) const;
    std::optional<uint32_t> valueOf(std::optional<qsizetype> entry) const;
    // An entry's value as the structure stores it: in the entry when it fits
    // in four bytes, else at its offset. Nothing for a type that is no TIFF
    // type or a value that runs past the end.
    std::optional<QByteArrayView> valueBytesOf(qsizetype entry) const;

    // The number of directories chained from IFD0, a document's pages, each
    // counted once: a chain that comes back to a directory it passed ends
    // there, and a longer one than any writer makes is counted no further.
    int pageCount() const;

    // The picture data of a TIFF file: the strips and tiles its directories
    // name (the chain from IFD0 and the SubIFDs of each), found in the bytes
    // alone. Where a directory says with no certainty where its picture lies
    // or how long it is (an uncompressed strip or tile shorter than the
    // directory's own tags make it, lengths without offsets, pieces that
    // overlap in part, on one page or two, among them), the entry that does
    // not tell is named instead, by its tag and the library's name of its
    // directory; so is an entry whose value lies within a strip or tile (its
    // directory a page's, or the Exif, GPS or Interoperability directory of
    // one).
    struct Picture {
        struct Piece {
            qsizetype offset = 0;
            qsizetype size = 0;
        };
        std::vector<Piece> pieces;
        uint16_t damagedTag = 0;
        std::string damagedGroup;
        // The damaged entry is one whose value lies within the picture.
        bool valueInPicture = false;
        bool isDamaged() const { return damagedTag != 0 || valueInPicture; }
    };
    Picture picture() const;

    qsizetype start() const { return start_; }
    bool littleEndian() const { return little_; }

private:
    // The offsets of the directories chained from IFD0 (see pageCount).
    std::vector<uint32_t> chain() const;

    const QByteArray& bytes_;
    qsizetype start_;
    qsizetype end_;
    bool little_;
};
