#pragma once

#include <QByteArray>

#include <optional>

// A PNG's colour profile chunk (iCCP): a name, a compression method byte and
// the profile compressed by zlib. The metadata library inflates what it can,
// keeps whatever came out when the data is damaged, and a save writes that as
// the file's profile, compressed anew: a damaged chunk (one byte changed)
// came back as another, valid-looking profile twice the size. Such a chunk
// goes back as the file held it, for a program that can mend it.
class PngProfileChunk {
public:
    // Whether a PNG holds an iCCP chunk the library does not read as it is:
    // a name not ended within 80 bytes, a method other than zlib's, or data
    // that does not inflate to its stream's end exactly.
    static bool isDamaged(const QByteArray& png);

    // A PNG's iCCP chunks, whole and joined; empty when it has none.
    static QByteArray chunksOf(const QByteArray& png);

    // `written` with its iCCP chunks replaced by those of `original`, right
    // after the header chunk; nothing when `written` is no PNG that can be
    // walked.
    static std::optional<QByteArray> withChunksOf(const QByteArray& written, const QByteArray& original);
};
