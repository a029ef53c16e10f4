#include "models/formats/PngProfileChunk.h"

#include "models/formats/PngChunks.h"

#include <QByteArrayView>

#include <zlib.h>

#include <vector>

namespace {

const QByteArray kProfileType("iCCP");
// The library reads a profile name of up to 79 bytes and its end.
constexpr qsizetype kMostNameBytes = 80;
// The library gives up on a profile that inflates past 16 MB.
constexpr qsizetype kMostProfileBytes = qsizetype(16) * 1024 * 1024;

// The chunks of a PNG walked to its end; nothing when a chunk runs past it.
std::optional<std::vector<PngChunks::Chunk>> chunksIn(const QByteArray& png)
{
    PngChunks::Walk walked = PngChunks::walk(png);
    return walked.whole ? std::optional(std::move(walked.chunks)) : std::nullopt;
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
    for (const PngChunks::Chunk& chunk : *chunks) {
        if (chunk.type == kProfileType && !isReadAsItIs(chunk.data)) {
            return true;
        }
    }
    return false;
}

QByteArray PngProfileChunk::chunksOf(const QByteArray& png)
{
    QByteArray joined;
    for (const PngChunks::Chunk& chunk : chunksIn(png).value_or(std::vector<PngChunks::Chunk>())) {
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
    QByteArray result = written.first(chunks->front().offset);
    result.reserve(written.size() + kept.size());
    for (const PngChunks::Chunk& chunk : *chunks) {
        if (chunk.type != kProfileType) {
            result.append(written.mid(chunk.offset, chunk.size));
        }
        if (chunk.offset == chunks->front().offset) {
            result.append(kept);
        }
    }
    const PngChunks::Chunk& last = chunks->back();
    result.append(written.mid(last.offset + last.size));
    return result;
}
