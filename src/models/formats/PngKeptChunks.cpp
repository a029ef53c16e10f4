#include "models/formats/PngKeptChunks.h"

#include "models/formats/PngChunks.h"
#include "models/formats/PngPhotoshopChunk.h"

#include <QByteArrayView>

#include <algorithm>
#include <array>
#include <vector>

namespace {

using Chunks = std::vector<PngChunks::Chunk>;

const QByteArray kEndType("IEND");
const QByteArray kExifType("eXIf");
const QByteArray kProfileType("iCCP");
const QByteArray kPhotoshopKeyword("Raw profile type 8bim");
// The library gives up on a profile that inflates past 16 MB.
constexpr qsizetype kMostProfileBytes = qsizetype(16) * 1024 * 1024;

// The keywords the library reads EXIF, IPTC and XMP from, and its comment.
const std::array<QByteArrayView, 6> kLibraryKeywords = {"Raw profile type exif", "Raw profile type APP1",
    "Raw profile type iptc", "Raw profile type xmp", "XML:com.adobe.xmp", "Description"};
// Of those, the ones a save writes anew from the edited metadata. The comment
// is never edited: its chunk is the file's.
constexpr size_t kMetadataKeywords = 5;
const QByteArray kXmpKeyword("XML:com.adobe.xmp");
const QByteArray kIptcKeyword("Raw profile type iptc");
// Every XMP packet declares the RDF namespace.
const QByteArray kRdfNamespace("http://www.w3.org/1999/02/22-rdf-syntax-ns#");
// Far beyond a real metadata block; keeps a chunk that inflates without end
// from filling the memory.
constexpr qsizetype kMostTextBytes = qsizetype(64) * 1024 * 1024;

bool isTextChunk(const PngChunks::Chunk& chunk)
{
    return chunk.type == "tEXt" || chunk.type == "zTXt" || chunk.type == "iTXt";
}

bool hasMetadataKeyword(const PngChunks::Chunk& chunk)
{
    const auto keyword = PngChunks::keywordOf(chunk);
    return keyword
        && std::any_of(kLibraryKeywords.begin(), kLibraryKeywords.begin() + kMetadataKeywords,
            [&](QByteArrayView own) { return *keyword == own; });
}

// Whether a chunk keyed as the library's holds what the library reads there:
// a raw profile ("\n<name>\n<length>\n<hex digits>"), or an XMP packet. Plain
// text under such a keyword ("my notes about exif") is the file's own, which
// the library would drop on a save as if it were the block it writes anew.
bool holdsLibraryBlock(const PngChunks::Chunk& chunk)
{
    const auto text = PngChunks::textOf(chunk, kMostTextBytes);
    if (!text) {
        return false;
    }
    if (PngChunks::keywordOf(chunk) == QByteArrayView(kXmpKeyword)) {
        return text->contains(kRdfNamespace);
    }
    return PngChunks::rawProfileBytes(*text, QString(), nullptr).has_value();
}

// A chunk the save writes anew: the EXIF chunk, and the text chunks the
// library reads EXIF, IPTC and XMP from; the IPTC chunk is the file's when
// the save changes no IPTC (`keepIptc`).
bool isMetadata(const PngChunks::Chunk& chunk, bool keepIptc = false)
{
    if (chunk.type == kExifType) {
        return true;
    }
    if (!hasMetadataKeyword(chunk) || !holdsLibraryBlock(chunk)) {
        return false;
    }
    return !keepIptc || PngChunks::keywordOf(chunk) != QByteArrayView(kIptcKeyword);
}

// A keyword the library takes for one of its own: it begins like one, or one
// begins with it, and it is not that one; or it is one, over text the library
// cannot read as its block.
bool isLookalike(const PngChunks::Chunk& chunk)
{
    const auto keyword = PngChunks::keywordOf(chunk);
    if (!keyword || keyword->isEmpty()) {
        return false;
    }
    if (hasMetadataKeyword(chunk)) {
        return !holdsLibraryBlock(chunk);
    }
    return std::any_of(kLibraryKeywords.begin(), kLibraryKeywords.end(),
        [&](QByteArrayView own) { return *keyword != own && (keyword->startsWith(own) || own.startsWith(*keyword)); });
}

// Whether a clear takes the chunk, beside the EXIF, IPTC and XMP the library
// writes anew. Clear All takes every text chunk (a converter's copies of the
// EXIF tags, dates, comments) and the modification time; the Photoshop
// resources stay, as a JPEG's Photoshop segment does. Clear > EXIF takes
// the text chunks a converter keeps the EXIF tags in ("exif:Artist",
// "exif:MakerNote", the GPS tags' among them) and those keyed as the EXIF
// the library cannot read. Clear > GPS takes the GPS tags' alone
// ("exif:GPSLatitude", "exif:GPSInfo").
bool isCleared(const PngChunks::Chunk& chunk, PngKeptChunks::Cleared cleared)
{
    const auto keyword = PngChunks::keywordOf(chunk);
    const auto startsWith = [&keyword](QByteArrayView start) {
        return keyword
            && keyword->first(std::min(start.size(), keyword->size())).compare(start, Qt::CaseInsensitive) == 0;
    };
    switch (cleared) {
    case PngKeptChunks::Cleared::Nothing:
        return false;
    case PngKeptChunks::Cleared::Gps:
        return startsWith("exif:GPS");
    case PngKeptChunks::Cleared::Exif:
        return startsWith("exif:") || (keyword && (*keyword == kLibraryKeywords[0] || *keyword == kLibraryKeywords[1]));
    case PngKeptChunks::Cleared::All:
        return chunk.type == "tIME" || (isTextChunk(chunk) && keyword != QByteArrayView(kPhotoshopKeyword));
    }
    return false;
}

// The chunks of a PNG up to and including its end chunk; nothing when the
// bytes are no PNG or the walk does not reach that chunk.
std::optional<Chunks> chunksToEnd(const QByteArray& png)
{
    PngChunks::Walk walked = PngChunks::walk(png);
    const auto end = std::find_if(walked.chunks.begin(), walked.chunks.end(),
        [](const PngChunks::Chunk& chunk) { return chunk.type == kEndType; });
    if (end == walked.chunks.end()) {
        return std::nullopt;
    }
    walked.chunks.erase(end + 1, walked.chunks.end());
    return walked.chunks;
}

QByteArrayView whole(const QByteArray& png, const PngChunks::Chunk& chunk)
{
    return QByteArrayView(png).sliced(chunk.offset, chunk.size);
}

// Whether a kept chunk came back as the file held it. A colour profile
// (iCCP: name, method, zlib data) may come back compressed anew: the library
// writes the profile it read, and the Nikon D3 PNG's came back the same
// profile in other compressed bytes. (A profile that does not inflate to its
// end must come back byte for byte.)
bool sameChunk(
    const QByteArray& before, const PngChunks::Chunk& held, const QByteArray& after, const PngChunks::Chunk& saved)
{
    if (whole(before, held) == whole(after, saved)) {
        return true;
    }
    if (held.type != kProfileType || saved.type != kProfileType) {
        return false;
    }
    const qsizetype nameEnd = held.data.indexOf('\0');
    if (nameEnd < 0 || held.data.size() < nameEnd + 2
        || saved.data.first(std::min(saved.data.size(), nameEnd + 2)) != held.data.first(nameEnd + 2)) {
        return false;
    }
    const auto profile = PngChunks::inflated(held.data.sliced(nameEnd + 2), kMostProfileBytes);
    return profile && profile == PngChunks::inflated(saved.data.sliced(nameEnd + 2), kMostProfileBytes);
}

QString nameOf(const PngChunks::Chunk& chunk)
{
    const QString type = QString::fromLatin1(chunk.type);
    const auto keyword = PngChunks::keywordOf(chunk);
    return keyword ? QStringLiteral("%1 \"%2\"").arg(type, QString::fromLatin1(*keyword)) : type;
}

} // namespace

std::optional<QByteArray> PngKeptChunks::forLibrary(const QByteArray& png)
{
    const PngChunks::Walk walked = PngChunks::walk(png);
    if (std::none_of(walked.chunks.begin(), walked.chunks.end(), isLookalike)) {
        return std::nullopt;
    }
    QByteArray view = png.first(walked.chunks.front().offset);
    for (const PngChunks::Chunk& chunk : walked.chunks) {
        if (!isLookalike(chunk)) {
            view.append(whole(png, chunk));
        }
    }
    const PngChunks::Chunk& last = walked.chunks.back();
    view.append(QByteArrayView(png).sliced(last.offset + last.size));
    return view;
}

QByteArray PngKeptChunks::withKeptChunks(
    const QByteArray& written, const QByteArray& original, Cleared cleared, bool keepIptc)
{
    const auto writtenChunks = chunksToEnd(written);
    const auto originalChunks = chunksToEnd(original);
    if (!writtenChunks || !originalChunks) {
        return written;
    }
    QByteArray kept = original.first(originalChunks->front().offset);
    kept.reserve(original.size() + written.size() / 4);
    kept.append(whole(original, originalChunks->front()));
    for (const PngChunks::Chunk& chunk : *writtenChunks) {
        if (isMetadata(chunk, keepIptc)) {
            kept.append(whole(written, chunk));
        }
    }
    for (auto chunk = originalChunks->begin() + 1; chunk != originalChunks->end(); ++chunk) {
        if (!isMetadata(*chunk, keepIptc) && !isCleared(*chunk, cleared)) {
            kept.append(whole(original, *chunk));
        }
    }
    const PngChunks::Chunk& end = writtenChunks->back();
    kept.append(QByteArrayView(written).sliced(end.offset + end.size));
    return kept;
}

bool PngKeptChunks::holdsIptc(const QByteArray& png)
{
    const PngChunks::Walk walked = PngChunks::walk(png);
    return std::any_of(walked.chunks.begin(), walked.chunks.end(),
        [](const PngChunks::Chunk& chunk) { return isMetadata(chunk) && !isMetadata(chunk, true); });
}

QString PngKeptChunks::changeIn(const QByteArray& before, const QByteArray& after, Cleared cleared, bool keepIptc)
{
    if (!PngChunks::isPng(before) || !PngChunks::isPng(after)) {
        return QString();
    }
    // What the clear takes is not looked for; left in the file, it counts
    // as added.
    const auto keptOf = [keepIptc](const QByteArray& png, Cleared taken) {
        Chunks kept;
        for (const PngChunks::Chunk& chunk : PngChunks::walk(png).chunks) {
            if (!isMetadata(chunk, keepIptc) && !isCleared(chunk, taken)) {
                kept.push_back(chunk);
            }
        }
        return kept;
    };
    const Chunks held = keptOf(before, cleared);
    const Chunks saved = keptOf(after, Cleared::Nothing);
    // Each held chunk is looked for after the one found for the chunk before
    // it: what is not found was dropped, renamed or changed; what is passed
    // over was added.
    std::vector<bool> found(saved.size(), false);
    size_t next = 0;
    for (const PngChunks::Chunk& chunk : held) {
        // Photoshop resources holding the same IPTC as the IPTC chunk follow
        // the IPTC written; resources holding another stay as they are.
        const auto resources = PngPhotoshopChunk::resourcesOf(chunk);
        const auto inStep = resources ? PngPhotoshopChunk::resourcesInStep(*resources, after) : std::nullopt;
        const bool follows = inStep && PngPhotoshopChunk::holdsIptcOf(*resources, before) == true
            && PngPhotoshopChunk::holdsIptcOf(*resources, after) == false;
        size_t at = follows ? saved.size() : next;
        while (at < saved.size() && !sameChunk(before, chunk, after, saved[at])) {
            ++at;
        }
        if (inStep && at == saved.size() && inStep->isEmpty()) {
            continue;
        }
        if (inStep && at == saved.size()) {
            at = next;
            while (at < saved.size() && PngPhotoshopChunk::resourcesOf(saved[at]) != inStep) {
                ++at;
            }
        }
        if (at == saved.size()) {
            return QStringLiteral("the PNG chunk %1 would not be kept as the file holds it").arg(nameOf(chunk));
        }
        found[at] = true;
        next = at + 1;
    }
    const auto added = std::find(found.begin(), found.end(), false);
    return added == found.end()
        ? QString()
        : QStringLiteral("a PNG chunk %1 would be added").arg(nameOf(saved[size_t(added - found.begin())]));
}
