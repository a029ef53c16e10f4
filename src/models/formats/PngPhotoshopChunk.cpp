#include "models/formats/PngPhotoshopChunk.h"

#include <QByteArrayView>
#include <QCryptographicHash>

#include <zlib.h>

#include <vector>

namespace {

const QByteArray kKeyword("Raw profile type 8bim");
const QByteArray kIptcKeyword("Raw profile type iptc");
const QByteArray kResourceSignature("8BIM");
constexpr uint16_t kIptcResource = 0x0404;
constexpr uint16_t kDigestResource = 0x0425;
constexpr qsizetype kDigestSize = 16;
// Far beyond a real block of resources; keeps a chunk that inflates without
// end from filling the memory.
constexpr qsizetype kMostTextBytes = qsizetype(64) * 1024 * 1024;
// The hex digits of one line of a raw profile, as converters write them.
constexpr qsizetype kHexLine = 72;

uint32_t bigEndian(QByteArrayView bytes, qsizetype at, int size)
{
    uint32_t value = 0;
    for (int i = 0; i < size; ++i) {
        value = (value << 8) | uint8_t(bytes.at(at + i));
    }
    return value;
}

void appendBigEndian32(QByteArray& bytes, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.append(char((value >> shift) & 0xff));
    }
}

// One resource of a block: signature, number, padded name, size, data
// padded to an even size.
struct Resource {
    uint16_t id = 0;
    qsizetype start = 0; // of its signature
    qsizetype sizeAt = 0;
    qsizetype dataAt = 0;
    qsizetype dataSize = 0;
    qsizetype end = 0; // past its padding
};

// The resources of a block up to the first that does not fit; `whole` when
// they fill it to its end (the last one's padding may be missing).
struct Walk {
    std::vector<Resource> resources;
    bool whole = false;
};

Walk walkResources(QByteArrayView block)
{
    Walk walked;
    qsizetype at = 0;
    while (block.size() - at >= 12 && block.sliced(at, 4) == kResourceSignature) {
        Resource resource;
        resource.id = uint16_t(bigEndian(block, at + 4, 2));
        resource.start = at;
        const qsizetype nameSize = (uint8_t(block.at(at + 6)) + 2) & ~qsizetype(1);
        resource.sizeAt = at + 6 + nameSize;
        if (block.size() - resource.sizeAt < 4) {
            return walked;
        }
        resource.dataAt = resource.sizeAt + 4;
        resource.dataSize = qsizetype(bigEndian(block, resource.sizeAt, 4));
        if (resource.dataSize > block.size() - resource.dataAt) {
            return walked;
        }
        resource.end = std::min(block.size(), resource.dataAt + ((resource.dataSize + 1) & ~qsizetype(1)));
        walked.resources.push_back(resource);
        at = resource.end;
    }
    walked.whole = at == block.size();
    return walked;
}

const Resource* findResource(const Walk& walked, uint16_t id)
{
    for (const Resource& resource : walked.resources) {
        if (resource.id == id) {
            return &resource;
        }
    }
    return nullptr;
}

bool isPhotoshopChunk(const PngChunks::Chunk& chunk)
{
    return PngChunks::keywordOf(chunk) == QByteArrayView(kKeyword);
}

// An IPTC block without the zero bytes some programs pad it with.
QByteArrayView unpadded(QByteArrayView iptc)
{
    while (!iptc.isEmpty() && iptc.back() == '\0') {
        iptc.chop(1);
    }
    return iptc;
}

// The IPTC block of a PNG's IPTC chunk, which the library reads: its datasets
// as they stand, or within Photoshop resources, as the library writes them.
// Empty when that holds no IPTC resource; nothing without such a chunk.
std::optional<QByteArray> libraryIptcOf(const QByteArray& png)
{
    for (const PngChunks::Chunk& chunk : PngChunks::walk(png).chunks) {
        if (PngChunks::keywordOf(chunk) != QByteArrayView(kIptcKeyword)) {
            continue;
        }
        const auto text = PngChunks::textOf(chunk, kMostTextBytes);
        const auto bytes = text ? PngChunks::rawProfileBytes(*text, QString(), nullptr) : std::nullopt;
        if (!bytes) {
            continue;
        }
        if (!bytes->startsWith(kResourceSignature)) {
            return bytes;
        }
        const Walk walked = walkResources(*bytes);
        const Resource* iptc = findResource(walked, kIptcResource);
        return iptc ? bytes->mid(iptc->dataAt, iptc->dataSize) : QByteArray();
    }
    return std::nullopt;
}

// `resources` with `iptc` as their IPTC block (none when it is empty) and
// the IPTC digest made its own; every other resource byte for byte.
QByteArray withIptc(const QByteArray& resources, const Walk& walked, const QByteArray& iptc)
{
    QByteArray block;
    block.reserve(resources.size() + iptc.size());
    const auto append = [&](const Resource& resource, const QByteArray& data) {
        block.append(resources.constData() + resource.start, resource.sizeAt - resource.start);
        appendBigEndian32(block, uint32_t(data.size()));
        block.append(data);
        if (data.size() % 2 != 0) {
            block.append('\0');
        }
    };
    for (const Resource& resource : walked.resources) {
        if (resource.id == kIptcResource) {
            if (!iptc.isEmpty()) {
                append(resource, iptc);
            }
        } else if (resource.id == kDigestResource && resource.dataSize == kDigestSize) {
            append(resource, QCryptographicHash::hash(iptc, QCryptographicHash::Md5));
        } else {
            block.append(resources.constData() + resource.start, resource.end - resource.start);
        }
    }
    return block;
}

// The text of a raw profile holding `bytes`, with the first line of `text`
// (the profile's name): the length, then the hex digits in lines.
QByteArray rawProfileText(const QByteArray& text, const QByteArray& bytes)
{
    qsizetype nameEnd = 0;
    while (nameEnd < text.size() && text[nameEnd] == '\n') {
        ++nameEnd;
    }
    nameEnd = text.indexOf('\n', nameEnd);
    QByteArray profile = text.first(nameEnd + 1);
    profile += QByteArray::number(bytes.size()).rightJustified(8) + '\n';
    const QByteArray hex = bytes.toHex();
    for (qsizetype at = 0; at < hex.size(); at += kHexLine) {
        profile += hex.mid(at, kHexLine) + '\n';
    }
    return profile;
}

std::optional<QByteArray> deflated(const QByteArray& text)
{
    uLongf size = compressBound(uLong(text.size()));
    QByteArray compressed(qsizetype(size), '\0');
    if (compress2(reinterpret_cast<Bytef*>(compressed.data()), &size, reinterpret_cast<const Bytef*>(text.constData()),
            uLong(text.size()), Z_DEFAULT_COMPRESSION)
        != Z_OK) {
        return std::nullopt;
    }
    compressed.truncate(qsizetype(size));
    return compressed;
}

// The chunk holding `resources` in place of those of `chunk`, of its type,
// keyword and fields.
std::optional<QByteArray> chunkHolding(const PngChunks::Chunk& chunk, const QByteArray& resources)
{
    const auto place = PngChunks::textPlaceOf(chunk);
    const auto text = PngChunks::textOf(chunk, kMostTextBytes);
    if (!place || !text) {
        return std::nullopt;
    }
    const QByteArray profile = rawProfileText(*text, resources);
    const std::optional<QByteArray> stored = place->compressed ? deflated(profile) : profile;
    if (!stored) {
        return std::nullopt;
    }
    return PngChunks::made(chunk.type, chunk.data.first(place->start).toByteArray() + *stored);
}

} // namespace

bool PngPhotoshopChunk::holdsIptc(const QByteArray& png)
{
    for (const PngChunks::Chunk& chunk : PngChunks::walk(png).chunks) {
        const auto resources = resourcesOf(chunk);
        if (resources && findResource(walkResources(*resources), kIptcResource)) {
            return true;
        }
    }
    return false;
}

std::optional<QByteArray> PngPhotoshopChunk::resourcesOf(const PngChunks::Chunk& chunk)
{
    if (!isPhotoshopChunk(chunk)) {
        return std::nullopt;
    }
    const auto text = PngChunks::textOf(chunk, kMostTextBytes);
    return text ? PngChunks::rawProfileBytes(*text, QStringLiteral("Photoshop profile"), nullptr) : std::nullopt;
}

QString PngPhotoshopChunk::iptcChangeRefusal(const QByteArray& png, bool clearsAll)
{
    std::optional<std::optional<QByteArray>> libraryIptc;
    for (const PngChunks::Chunk& chunk : PngChunks::walk(png).chunks) {
        const auto resources = resourcesOf(chunk);
        const Walk walked = resources ? walkResources(*resources) : Walk();
        const Resource* iptc = findResource(walked, kIptcResource);
        if (!iptc) {
            continue;
        }
        if (!walked.whole) {
            return QStringLiteral("the file's IPTC is held among its Photoshop resources (the PNG chunk \"Raw "
                                  "profile type 8bim\"), which do not read whole: the edit cannot be written there");
        }
        if (clearsAll) {
            continue;
        }
        if (!libraryIptc) {
            libraryIptc = libraryIptcOf(png);
        }
        if (!*libraryIptc) {
            return QStringLiteral("the file's IPTC is held among its Photoshop resources (the PNG chunk \"Raw "
                                  "profile type 8bim\") alone, where it cannot be edited: the edit would be "
                                  "written as a second IPTC block beside it");
        }
        if (unpadded(**libraryIptc) != unpadded(QByteArrayView(*resources).sliced(iptc->dataAt, iptc->dataSize))) {
            return QStringLiteral("the file holds its IPTC twice, among its Photoshop resources (the PNG chunk "
                                  "\"Raw profile type 8bim\") and in its IPTC chunk, and the two differ: the edit "
                                  "would make one of them lose what it holds");
        }
    }
    return QString();
}

std::optional<QByteArray> PngPhotoshopChunk::resourcesInStep(const QByteArray& held, const QByteArray& png)
{
    const Walk walked = walkResources(held);
    if (!walked.whole || !findResource(walked, kIptcResource)) {
        return std::nullopt;
    }
    return withIptc(held, walked, libraryIptcOf(png).value_or(QByteArray()));
}

std::optional<bool> PngPhotoshopChunk::holdsIptcOf(const QByteArray& resources, const QByteArray& png)
{
    const Walk walked = walkResources(resources);
    const Resource* iptc = findResource(walked, kIptcResource);
    if (!iptc) {
        return std::nullopt;
    }
    return unpadded(QByteArrayView(resources).sliced(iptc->dataAt, iptc->dataSize))
        == unpadded(libraryIptcOf(png).value_or(QByteArray()));
}

std::optional<QByteArray> PngPhotoshopChunk::withIptcInStep(const QByteArray& written)
{
    const QByteArray iptc = libraryIptcOf(written).value_or(QByteArray());
    QByteArray result;
    qsizetype copied = 0;
    for (const PngChunks::Chunk& chunk : PngChunks::walk(written).chunks) {
        const auto resources = resourcesOf(chunk);
        const Walk walked = resources ? walkResources(*resources) : Walk();
        const Resource* held = findResource(walked, kIptcResource);
        if (!held || unpadded(QByteArrayView(*resources).sliced(held->dataAt, held->dataSize)) == unpadded(iptc)) {
            continue;
        }
        if (!walked.whole) {
            return std::nullopt;
        }
        const QByteArray inStep = withIptc(*resources, walked, iptc);
        const std::optional<QByteArray> replaced = inStep.isEmpty() ? QByteArray() : chunkHolding(chunk, inStep);
        if (!replaced) {
            return std::nullopt;
        }
        result.append(QByteArrayView(written).sliced(copied, chunk.offset - copied));
        result.append(*replaced);
        copied = chunk.offset + chunk.size;
    }
    if (copied == 0) {
        return written;
    }
    result.append(QByteArrayView(written).sliced(copied));
    return result;
}
