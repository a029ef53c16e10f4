#include "models/formats/PngExifChunk.h"

#include "foundation/FileServices.h"
#include "models/formats/PngChunks.h"

#include <QFile>

#include <zlib.h>

#include <cstdint>
#include <vector>

namespace {

const QByteArray kSignature("\x89PNG\r\n\x1a\n", 8);
const QByteArray kRawProfileKeyword("Raw profile type exif");
const QByteArray kExifHeader("Exif\0\0", 6);
const QByteArray kExifType("eXIf");
const QByteArray kIdatType("IDAT");
const QByteArray kIendType("IEND");

constexpr qsizetype kChunkOverhead = 12; // length, type and checksum
constexpr uint32_t kMaxChunkLength = 0x7fffffff;
// Exiv2 writes an EXIF block as hex text a little over twice its size. Far
// beyond any real block, this bound keeps a chunk that inflates without end
// from filling the memory.
constexpr qsizetype kMaxProfileText = qsizetype(256) * 1024 * 1024;

struct Chunk {
    qsizetype offset = 0; // of the length field
    uint32_t length = 0; // of the data
    QByteArray type;

    qsizetype dataOffset() const { return offset + 8; }
    qsizetype size() const { return kChunkOverhead + length; }
};

bool fail(QString* error, const QString& reason)
{
    if (error) {
        *error = reason;
    }
    return false;
}

uint32_t readBigEndian32(const QByteArray& data, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return uint32_t(uint8_t(data[at + i])); };
    return byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
}

void appendBigEndian32(QByteArray& out, uint32_t value)
{
    out.append(char(value >> 24)).append(char(value >> 16)).append(char(value >> 8)).append(char(value));
}

uint32_t checksum(const char* bytes, qsizetype size)
{
    return uint32_t(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes), uInt(size)));
}

// The chunks up to and including IEND, and where the bytes after it start.
bool readChunks(const QByteArray& data, std::vector<Chunk>& chunks, qsizetype& tail, QString* error)
{
    qsizetype at = kSignature.size();
    while (at < data.size()) {
        if (data.size() - at < kChunkOverhead) {
            return fail(error, QStringLiteral("The PNG file ends inside a chunk header."));
        }
        Chunk chunk;
        chunk.offset = at;
        chunk.length = readBigEndian32(data, at);
        chunk.type = data.mid(at + 4, 4);
        if (chunk.length > kMaxChunkLength || chunk.size() > data.size() - at) {
            return fail(error,
                QStringLiteral("The PNG chunk \"%1\" runs past the end of the file.")
                    .arg(QString::fromLatin1(chunk.type)));
        }
        chunks.push_back(chunk);
        at += chunk.size();
        if (chunk.type == kIendType) {
            break;
        }
    }
    tail = at;
    return true;
}

bool isRawExifProfile(const QByteArray& data, const Chunk& chunk)
{
    if (chunk.type != "zTXt" && chunk.type != "tEXt") {
        return false;
    }
    const QByteArray keyword = kRawProfileKeyword + '\0';
    return chunk.length >= uint32_t(keyword.size())
        && QByteArrayView(data).sliced(chunk.dataOffset(), keyword.size()) == keyword;
}

std::optional<QByteArray> inflateText(QByteArrayView compressed, QString* error)
{
    std::optional<QByteArray> text = PngChunks::inflated(compressed, kMaxProfileText);
    if (!text) {
        fail(error, QStringLiteral("The EXIF profile's compressed data is damaged."));
    }
    return text;
}

// The text of the profile chunk, after checking its checksum.
std::optional<QByteArray> profileText(const QByteArray& data, const Chunk& chunk, QString* error)
{
    const uint32_t stored = readBigEndian32(data, chunk.dataOffset() + chunk.length);
    if (checksum(data.constData() + chunk.offset + 4, chunk.length + 4) != stored) {
        fail(error, QStringLiteral("The EXIF profile chunk's checksum does not match its contents."));
        return std::nullopt;
    }
    QByteArrayView body = QByteArrayView(data).sliced(chunk.dataOffset(), chunk.length);
    body = body.sliced(kRawProfileKeyword.size() + 1);
    if (chunk.type == "tEXt") {
        return body.toByteArray();
    }
    // zTXt: one byte for the compression method (0, deflate), then the stream.
    if (body.isEmpty() || body.front() != '\0') {
        fail(error, QStringLiteral("The EXIF profile chunk uses an unknown compression."));
        return std::nullopt;
    }
    return inflateText(body.sliced(1), error);
}

// "\nexif\n<spaces><length>\n<hex lines>\n" -> the EXIF block without "Exif\0\0".
std::optional<QByteArray> decodeProfile(const QByteArray& text, QString* error)
{
    std::optional<QByteArray> decoded = PngChunks::rawProfileBytes(text, QStringLiteral("EXIF profile"), error);
    if (!decoded) {
        return std::nullopt;
    }
    QByteArray block = *decoded;
    if (block.startsWith(kExifHeader)) {
        block.remove(0, kExifHeader.size());
    }
    if (!block.startsWith(QByteArray("II*\0", 4)) && !block.startsWith(QByteArray("MM\0*", 4))) {
        fail(error, QStringLiteral("The EXIF profile does not hold an EXIF block."));
        return std::nullopt;
    }
    return block;
}

QByteArray makeChunk(const QByteArray& type, const QByteArray& body)
{
    QByteArray chunk;
    chunk.reserve(kChunkOverhead + body.size());
    appendBigEndian32(chunk, uint32_t(body.size()));
    chunk.append(type).append(body);
    appendBigEndian32(chunk, checksum(chunk.constData() + 4, chunk.size() - 4));
    return chunk;
}

} // namespace

std::optional<QByteArray> PngExifChunk::restoreExifChunkInData(const QByteArray& data, QString* error)
{
    if (!data.startsWith(kSignature)) {
        return data;
    }
    std::vector<Chunk> chunks;
    qsizetype tail = 0;
    if (!readChunks(data, chunks, tail, error)) {
        return std::nullopt;
    }

    std::optional<size_t> profile;
    std::optional<size_t> firstIdat;
    for (size_t i = 0; i < chunks.size(); ++i) {
        if (!profile && isRawExifProfile(data, chunks[i])) {
            profile = i;
        }
        if (!firstIdat && chunks[i].type == kIdatType) {
            firstIdat = i;
        }
    }
    if (!profile) {
        return data;
    }

    const std::optional<QByteArray> text = profileText(data, chunks[*profile], error);
    if (!text) {
        return std::nullopt;
    }
    const std::optional<QByteArray> block = decodeProfile(*text, error);
    if (!block) {
        return std::nullopt;
    }

    // Readers look for EXIF before the image data, so it goes no later than that.
    const size_t insertAt = firstIdat && *firstIdat < *profile ? *firstIdat : *profile;
    QByteArray mended;
    mended.reserve(data.size());
    mended.append(kSignature);
    for (size_t i = 0; i < chunks.size(); ++i) {
        if (i == insertAt) {
            mended.append(makeChunk(kExifType, *block));
        }
        const Chunk& chunk = chunks[i];
        if (chunk.type == kExifType || isRawExifProfile(data, chunk)) {
            continue;
        }
        mended.append(QByteArrayView(data).sliced(chunk.offset, chunk.size()));
    }
    mended.append(QByteArrayView(data).sliced(tail));
    return mended;
}

bool PngExifChunk::restoreExifChunk(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(error, QStringLiteral("Could not read %1: %2").arg(path, file.errorString()));
    }
    // Only a PNG needs reading whole.
    if (file.peek(kSignature.size()) != kSignature) {
        return true;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return fail(error, QStringLiteral("Could not read %1: %2").arg(path, file.errorString()));
    }
    file.close();

    const std::optional<QByteArray> mended = restoreExifChunkInData(data, error);
    if (!mended) {
        return false;
    }
    if (*mended == data) {
        return true;
    }
    return FileServices::writeFileAtomically(path, *mended, error);
}
