#include "models/write/RepeatedExifBlocks.h"

#include "models/formats/JpegSegments.h"

#include <QtEndian>

#include <exiv2/exiv2.hpp>

#include <set>
#include <string>

namespace {

const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);

int pngExifChunks(const QByteArray& bytes)
{
    int count = 0;
    for (qsizetype at = kPngSignature.size(); at + 12 <= bytes.size();) {
        const qsizetype length = qsizetype(qFromBigEndian<quint32>(bytes.constData() + at));
        if (length < 0 || length > bytes.size()) {
            break;
        }
        count += bytes.mid(at + 4, 4) == "eXIf" ? 1 : 0;
        at += 12 + length;
    }
    return count;
}

// Every later datum of a key the data already holds goes.
void dropLaterRepeats(Exiv2::ExifData& exifData)
{
    std::set<std::string> seen;
    for (auto datum = exifData.begin(); datum != exifData.end();) {
        if (seen.insert(datum->key()).second) {
            ++datum;
        } else {
            datum = exifData.erase(datum);
        }
    }
}

} // namespace

int RepeatedExifBlocks::countIn(const QByteArray& bytes)
{
    if (bytes.startsWith(kPngSignature)) {
        return pngExifChunks(bytes);
    }
    return int(JpegSegments::exifSegments(bytes).size());
}

void RepeatedExifBlocks::mergeInto(const QByteArray& original, Exiv2::Image& image)
{
    if (countIn(original) < 2) {
        return;
    }
    Exiv2::ExifData& exifData = image.exifData();
    const auto segments = JpegSegments::exifSegments(original);
    for (size_t i = 1; i < segments.size(); ++i) {
        const qsizetype start = JpegSegments::tiffStart(segments[i]);
        const qsizetype end = segments[i].offset + segments[i].size;
        Exiv2::ExifData later;
        Exiv2::ExifParser::decode(
            later, reinterpret_cast<const Exiv2::byte*>(original.constData() + start), uint32_t(end - start));
        for (const auto& datum : later) {
            exifData.add(datum);
        }
    }
    dropLaterRepeats(exifData);
}

QByteArray RepeatedExifBlocks::withoutLaterBlocks(const QByteArray& written)
{
    const auto segments = JpegSegments::exifSegments(written);
    if (segments.size() < 2) {
        return written;
    }
    QByteArray kept = written;
    for (size_t i = segments.size() - 1; i >= 1; --i) {
        kept.remove(segments[i].offset, segments[i].size);
    }
    return kept;
}
