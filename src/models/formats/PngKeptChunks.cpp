#include "models/formats/PngKeptChunks.h"

#include "models/formats/PngChunks.h"

#include <QByteArrayView>

#include <algorithm>
#include <array>
#include <vector>

namespace {

using Chunks = std::vector<PngChunks::Chunk>;

const QByteArray kEndType("IEND");
const QByteArray kExifType("eXIf");
const QByteArray kProfileType("iCCP");
// The library gives up on a profile that inflates past 16 MB.
constexpr qsizetype kMostProfileBytes = qsizetype(16) * 1024 * 1024;

// The keywords the library reads EXIF, IPTC and XMP from, and its comment.
const std::array<QByteArrayView, 6> kLibraryKeywords = {"Raw profile type exif", "Raw profile type APP1",
    "Raw profile type iptc", "Raw profile type xmp", "XML:com.adobe.xmp", "Description"};
// Of those, the ones a save writes anew from the edited metadata. The comment
// is never edited: its chunk is the file's.
constexpr size_t kMetadataKeywords = 5;

bool isMetadata(const PngChunks::Chunk& chunk)
{
    if (chunk.type == kExifType) {
        return true;
    }
    const auto keyword = PngChunks::keywordOf(chunk);
    return keyword
        && std::any_of(kLibraryKeywords.begin(), kLibraryKeywords.begin() + kMetadataKeywords,
            [&](QByteArrayView own) { return *keyword == own; });
}

// A keyword the library takes for one of its own: it begins like one, or one
// begins with it, and it is not that one.
bool isLookalike(const PngChunks::Chunk& chunk)
{
    const auto keyword = PngChunks::keywordOf(chunk);
    return keyword && !keyword->isEmpty()
        && std::any_of(kLibraryKeywords.begin(), kLibraryKeywords.end(), [&](QByteArrayView own) {
               return *keyword != own && (keyword->startsWith(own) || own.startsWith(*keyword));
           });
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

QByteArray PngKeptChunks::withKeptChunks(const QByteArray& written, const QByteArray& original)
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
        if (isMetadata(chunk)) {
            kept.append(whole(written, chunk));
        }
    }
    for (auto chunk = originalChunks->begin() + 1; chunk != originalChunks->end(); ++chunk) {
        if (!isMetadata(*chunk)) {
            kept.append(whole(original, *chunk));
        }
    }
    const PngChunks::Chunk& end = writtenChunks->back();
    kept.append(QByteArrayView(written).sliced(end.offset + end.size));
    return kept;
}

QString PngKeptChunks::changeIn(const QByteArray& before, const QByteArray& after)
{
    if (!PngChunks::isPng(before) || !PngChunks::isPng(after)) {
        return QString();
    }
    const auto keptOf = [](const QByteArray& png) {
        Chunks kept;
        for (const PngChunks::Chunk& chunk : PngChunks::walk(png).chunks) {
            if (!isMetadata(chunk)) {
                kept.push_back(chunk);
            }
        }
        return kept;
    };
    const Chunks held = keptOf(before);
    const Chunks saved = keptOf(after);
    // Each held chunk is looked for after the one found for the chunk before
    // it: what is not found was dropped, renamed or changed; what is passed
    // over was added.
    std::vector<bool> found(saved.size(), false);
    size_t next = 0;
    for (const PngChunks::Chunk& chunk : held) {
        size_t at = next;
        while (at < saved.size() && !sameChunk(before, chunk, after, saved[at])) {
            ++at;
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
