#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

// The chunks of a PNG, found by walking their lengths (no metadata library
// involved).
class PngChunks {
public:
    struct Chunk {
        qsizetype offset = 0; // of the length field
        qsizetype size = 0; // length, type, data and checksum
        QByteArrayView type;
        QByteArrayView data;
    };

    // The chunks in file order, up to the first that runs past the end of the
    // bytes; `whole` when none does.
    struct Walk {
        std::vector<Chunk> chunks;
        bool whole = false;
    };

    static bool isPng(const QByteArray& bytes);
    // The keyword of a text chunk (tEXt, zTXt, iTXt): its data up to the
    // first zero byte; nothing for another chunk or a keyword that does not
    // end.
    static std::optional<QByteArrayView> keywordOf(const Chunk& chunk);
    // The text of a text chunk, inflated where it is compressed; nothing for
    // another chunk, an unknown compression or data that does not inflate to
    // its end (within `mostBytes`).
    static std::optional<QByteArray> textOf(const Chunk& chunk, qsizetype mostBytes);
    // Where a text chunk's text starts in its data, past its keyword and,
    // in a zTXt or iTXt, the fields before the text, and whether the text
    // is compressed; nothing for another chunk or fields that do not end.
    struct TextPlace {
        qsizetype start = 0;
        bool compressed = false;
    };
    static std::optional<TextPlace> textPlaceOf(const Chunk& chunk);
    // A whole chunk of `type` holding `data`, its length and checksum made.
    static QByteArray made(QByteArrayView type, QByteArrayView data);
    // zlib data inflated to its stream's end; nothing when it does not get
    // there, or not within `mostBytes`.
    static std::optional<QByteArray> inflated(QByteArrayView compressed, qsizetype mostBytes);
    // The bytes of a raw profile's text, as image converters keep EXIF and
    // Photoshop resources in a text chunk: "\n<name>\n<spaces><decimal
    // length>\n<hex digits in lines>\n". Nothing, with the reason naming
    // `what` in `error` (when given), when the text holds anything else or
    // another number of bytes than its length says.
    static std::optional<QByteArray> rawProfileBytes(const QByteArray& text, const QString& what, QString* error);
    // Nothing walked (and not whole) when the bytes are no PNG.
    static Walk walk(const QByteArray& png);
};
