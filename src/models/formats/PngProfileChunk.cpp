#include "models/formats/PngProfileChunk.h"

#include <QByteArrayView>

#include <zlib.h>

#include <vector>

namespace {

const QByteArray kSignature("\x89PNG\r\n\x1a\n", 8);
const QByteArray kProfileType("iCCP");
constexpr qsizetype kChunkOverhead = 12; // length, type and checksum
// The library reads a profile name of up to 79 bytes and its end.
constexpr qsizetype kMostNameBytes = 80;
// The library gives up on a profile that inflates past 16 MB.
constexpr qsizetype kMostProfileBytes = qsizetype(16) * 1024 * 1024;

// A chunk's place in the file: [offset, offset + size).
struct ChunkSpan {
    qsizetype offset = 0;
    qsizetype size = 0;
    QByteArrayView type;
    QByteArrayView data;
};

// The chunks up to the end of the bytes; nothing when a chunk runs past it.
std::optional<std::vector<ChunkSpan>> chunksIn(const QByteArray& png)
{
    if (!png.startsWith(kSignature)) {
        return std::nullopt;
    }
    std::vector<ChunkSpan> chunks;
    qsizetype at = kSignature.size();
    while (png.size() - at >= kChunkOverhead) {
        const auto byte = [&](qsizetype i) { return qsizetype(uint8_t(png.at(at + i))); };
        const qsizetype length = (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
        if (length > png.size() - at - kChunkOverhead) {
            return std::nullopt;
        }
        const QByteArrayView bytes(png);
        chunks.push_back({at, length + kChunkOverhead, bytes.sliced(at + 4, 4), bytes.sliced(at + 8, length)});
        at += length + kChunkOverhead;
    }
    return chunks;
}

// Whether zlib data inflates to its stream's end, using every byte.
bool inflatesExactly(QByteArrayView compressed)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return false;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = uInt(compressed.size());
    std::vector<Bytef> scratch(64 * 1024);
    qsizetype inflated = 0;
    int status = Z_OK;
    while (status == Z_OK && inflated <= kMostProfileBytes) {
        stream.next_out = scratch.data();
        stream.avail_out = uInt(scratch.size());
        status = inflate(&stream, Z_NO_FLUSH);
        inflated += qsizetype(scratch.size() - stream.avail_out);
        if (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) {
            status = Z_DATA_ERROR;
        }
    }
    const bool exact = status == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    return exact;
}

bool isReadAsItIs(QByteArrayView data)
{
    const qsizetype nameEnd = data.first(std::min(data.size(), kMostNameBytes)).indexOf('\0');
    return nameEnd > 0 && nameEnd + 1 < data.size() && data.at(nameEnd + 1) == 0
        && inflatesExactly(data.sliced(nameEnd + 2));
}

} // namespace

bool PngProfileChunk::isDamaged(const QByteArray& png)
{
    const auto chunks = chunksIn(png);
    if (!chunks) {
        return false;
    }
    for (const ChunkSpan& chunk : *chunks) {
        if (chunk.type == kProfileType && !isReadAsItIs(chunk.data)) {
            return true;
        }
    }
    return false;
}

QByteArray PngProfileChunk::chunksOf(const QByteArray& png)
{
    QByteArray joined;
    for (const ChunkSpan& chunk : chunksIn(png).value_or(std::vector<ChunkSpan>())) {
        if (chunk.type == kProfileType) {
            joined.append(png.mid(chunk.offset, chunk.size));
        }
    }
    return joined;
}

std::optional<QByteArray> PngProfileChunk::withChunksOf(const QByteArray& written, const QByteArray& original)
{
    const auto chunks = chunksIn(written);
    if (!chunks || chunks->empty()) {
        return std::nullopt;
    }
    const QByteArray kept = chunksOf(original);
    QByteArray result = written.first(kSignature.size());
    result.reserve(written.size() + kept.size());
    for (const ChunkSpan& chunk : *chunks) {
        if (chunk.type != kProfileType) {
            result.append(written.mid(chunk.offset, chunk.size));
        }
        if (chunk.offset == chunks->front().offset) {
            result.append(kept);
        }
    }
    const ChunkSpan& last = chunks->back();
    result.append(written.mid(last.offset + last.size));
    return result;
}
