#pragma once

#include <QByteArray>
#include <QByteArrayView>

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
    // Nothing walked (and not whole) when the bytes are no PNG.
    static Walk walk(const QByteArray& png);
};
