#include "models/formats/PngChunks.h"

#include <zlib.h>

#include <cctype>

namespace {

const QByteArray kSignature("\x89PNG\r\n\x1a\n", 8);
constexpr qsizetype kChunkOverhead = 12; // length, type and checksum

qsizetype bigEndian32(const QByteArray& bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return qsizetype(uint8_t(bytes.at(at + i))); };
    return (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
}

// A raw profile's length is a chunk's at most.
constexpr qsizetype kMostProfileLength = 0x7fffffff;

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

std::nullopt_t fail(QString* error, const QString& reason)
{
    if (error) {
        *error = reason;
    }
    return std::nullopt;
}

bool isText(const PngChunks::Chunk& chunk)
{
    return chunk.type == "tEXt" || chunk.type == "zTXt" || chunk.type == "iTXt";
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

std::optional<QByteArrayView> PngChunks::keywordOf(const Chunk& chunk)
{
    if (!isText(chunk)) {
        return std::nullopt;
    }
    const qsizetype end = chunk.data.indexOf('\0');
    return end < 0 ? std::nullopt : std::optional(chunk.data.first(end));
}

std::optional<PngChunks::TextPlace> PngChunks::textPlaceOf(const Chunk& chunk)
{
    const auto keyword = keywordOf(chunk);
    if (!keyword) {
        return std::nullopt;
    }
    const qsizetype afterKeyword = keyword->size() + 1;
    if (chunk.type == "tEXt") {
        return TextPlace{afterKeyword, false};
    }
    if (chunk.type == "zTXt") {
        // A method byte (zlib's, 0), then the stream.
        if (chunk.data.size() <= afterKeyword || chunk.data.at(afterKeyword) != 0) {
            return std::nullopt;
        }
        return TextPlace{afterKeyword + 1, true};
    }
    // iTXt: a compression flag and method, then a language tag and a
    // translated keyword, each ended by a zero byte.
    if (chunk.data.size() < afterKeyword + 2) {
        return std::nullopt;
    }
    const bool compressed = chunk.data.at(afterKeyword) != 0;
    // Only zlib's method is known.
    if (compressed && chunk.data.at(afterKeyword + 1) != 0) {
        return std::nullopt;
    }
    qsizetype at = afterKeyword + 2;
    for (int field = 0; field < 2; ++field) {
        const qsizetype end = chunk.data.indexOf('\0', at);
        if (end < 0) {
            return std::nullopt;
        }
        at = end + 1;
    }
    return TextPlace{at, compressed};
}

std::optional<QByteArray> PngChunks::textOf(const Chunk& chunk, qsizetype mostBytes)
{
    const auto place = textPlaceOf(chunk);
    if (!place) {
        return std::nullopt;
    }
    const QByteArrayView text = chunk.data.sliced(place->start);
    return place->compressed ? PngChunks::inflated(text, mostBytes) : std::optional(text.toByteArray());
}

QByteArray PngChunks::made(QByteArrayView type, QByteArrayView data)
{
    QByteArray bytes;
    bytes.reserve(data.size() + kChunkOverhead);
    const auto append32 = [&bytes](uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.append(char((value >> shift) & 0xff));
        }
    };
    append32(uint32_t(data.size()));
    bytes.append(type);
    bytes.append(data);
    const uLong sum = crc32(0L, reinterpret_cast<const Bytef*>(bytes.constData() + 4), uInt(bytes.size() - 4));
    append32(uint32_t(sum));
    return bytes;
}

std::optional<QByteArray> PngChunks::inflated(QByteArrayView compressed, qsizetype mostBytes)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return std::nullopt;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = uInt(compressed.size());
    QByteArray text;
    int status = Z_OK;
    while (status == Z_OK && text.size() <= mostBytes) {
        char buffer[16 * 1024];
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        text.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
        // Input used up without the stream's end: the data is cut short.
        if (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) {
            status = Z_DATA_ERROR;
        }
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END && text.size() <= mostBytes ? std::optional(text) : std::nullopt;
}

std::optional<QByteArray> PngChunks::rawProfileBytes(const QByteArray& text, const QString& what, QString* error)
{
    qsizetype at = 0;
    while (at < text.size() && text[at] == '\n') {
        ++at;
    }
    at = text.indexOf('\n', at); // past the profile's name
    if (at < 0) {
        return fail(error, QStringLiteral("The %1 has no length.").arg(what));
    }
    while (at < text.size() && isSpace(text[at])) {
        ++at;
    }
    qsizetype declared = 0;
    const qsizetype digitsStart = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && declared <= kMostProfileLength) {
        declared = declared * 10 + (text[at++] - '0');
    }
    if (at == digitsStart || declared > kMostProfileLength) {
        return fail(error, QStringLiteral("The %1's length is missing or too large.").arg(what));
    }
    QByteArray hex;
    hex.reserve(text.size() - at);
    for (; at < text.size(); ++at) {
        if (isSpace(text[at])) {
            continue;
        }
        if (!std::isxdigit(uint8_t(text[at]))) {
            return fail(error, QStringLiteral("The %1 holds a character that is not a hex digit.").arg(what));
        }
        hex.append(text[at]);
    }
    if (hex.size() != 2 * declared) {
        return fail(error,
            QStringLiteral("The %1 holds %2 hex digits where its header says %3 bytes.")
                .arg(what)
                .arg(hex.size())
                .arg(declared));
    }
    return QByteArray::fromHex(hex);
}
