#include "models/formats/PngChunks.h"

namespace {

const QByteArray kSignature("\x89PNG\r\n\x1a\n", 8);
constexpr qsizetype kChunkOverhead = 12; // length, type and checksum

qsizetype bigEndian32(const QByteArray& bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return qsizetype(uint8_t(bytes.at(at + i))); };
    return (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
}

} // namespace

bool PngChunks::isPng(const QByteArray& bytes)
{
    return bytes.startsWith(kSignature);
}

PngChunks::Walk PngChunks::walk(const QByteArray& png)
{
    Walk walked;
    if (!isPng(png)) {
        return walked;
    }
    const QByteArrayView bytes(png);
    qsizetype at = kSignature.size();
    while (png.size() - at >= kChunkOverhead) {
        const qsizetype length = bigEndian32(png, at);
        if (length > png.size() - at - kChunkOverhead) {
            return walked;
        }
        walked.chunks.push_back({at, length + kChunkOverhead, bytes.sliced(at + 4, 4), bytes.sliced(at + 8, length)});
        at += length + kChunkOverhead;
    }
    walked.whole = true;
    return walked;
}
