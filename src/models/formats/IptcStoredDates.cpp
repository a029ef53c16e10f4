#include "models/formats/IptcStoredDates.h"

#include "models/formats/JpegSegments.h"

#include <QByteArray>
#include <QByteArrayView>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace {

const QByteArray kPhotoshopHeader("Photoshop 3.0\0", 14);
constexpr uint8_t kPhotoshopMarker = 0xED;
constexpr uint8_t kDatasetMarker = 0x1C;

using DatasetId = std::pair<uint16_t, uint16_t>; // record, dataset

bool isDateOrTime(Exiv2::TypeId type)
{
    return type == Exiv2::date || type == Exiv2::time;
}

// Types the library reads into a value of its own, which a save encodes
// anew: dates, times and numbers. Texts and binary data keep their bytes.
bool isReadIntoValue(Exiv2::TypeId type)
{
    return type != Exiv2::string && type != Exiv2::undefined;
}

bool standsForValue(uint16_t record, uint16_t dataset)
{
    return isReadIntoValue(Exiv2::IptcDataSets::dataSetType(dataset, record));
}

// Whether a number's stored bytes are what the library holds of them: it
// reads a number of two bytes from each pair and drops an odd byte, so
// "SPO" of a supplemental category whose record byte was damaged, read as
// the envelope's two-byte file format, would be written back as "SP".
bool holdsWhole(Exiv2::TypeId type, size_t size)
{
    return type != Exiv2::unsignedShort || size % 2 == 0;
}

// The IPTC resources of Photoshop image resources, joined as the library
// joins them.
QByteArray iptcOfResources(QByteArrayView resources)
{
    QByteArray iptc;
    const auto* at = reinterpret_cast<const Exiv2::byte*>(resources.data());
    const auto* const end = at + resources.size();
    const Exiv2::byte* record = nullptr;
    uint32_t sizeHeader = 0;
    uint32_t sizeData = 0;
    while (at < end && Exiv2::Photoshop::locateIptcIrb(at, long(end - at), &record, &sizeHeader, &sizeData) == 0) {
        iptc.append(reinterpret_cast<const char*>(record + sizeHeader), qsizetype(sizeData));
        at = record + sizeHeader + sizeData + (sizeData & 1);
    }
    return iptc;
}

// A JPEG's Photoshop segments hold its IPTC.
std::optional<QByteArray> iptcOfJpeg(Exiv2::Image& image)
{
    Exiv2::BasicIo& io = image.io();
    if (io.open() != 0) {
        return std::nullopt;
    }
    const Exiv2::IoCloser closer(io);
    const Exiv2::byte* data = io.mmap(false);
    if (data == nullptr) {
        return std::nullopt;
    }
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(io.size()));
    const auto header = JpegSegments::header(bytes);
    if (!header) {
        return std::nullopt;
    }
    // Copied out of the mapping, which the closer undoes.
    QByteArray resources;
    for (const JpegSegments::Segment& segment : header->segments) {
        const QByteArrayView payload = QByteArrayView(bytes).sliced(segment.dataOffset(), segment.dataSize());
        if (segment.marker == kPhotoshopMarker && payload.startsWith(kPhotoshopHeader)) {
            resources.append(payload.sliced(kPhotoshopHeader.size()));
        }
    }
    return iptcOfResources(resources);
}

// A TIFF's IPTC tag holds it, else its Photoshop image resources.
std::optional<QByteArray> iptcOfTiff(const Exiv2::Image& image)
{
    const Exiv2::ExifData& exif = image.exifData();
    for (const char* key : {"Exif.Image.IPTCNAA", "Exif.Image.ImageResources"}) {
        const auto found = exif.findKey(Exiv2::ExifKey(key));
        if (found == exif.end()) {
            continue;
        }
        QByteArray bytes(qsizetype(found->size()), '\0');
        found->copy(reinterpret_cast<Exiv2::byte*>(bytes.data()), image.byteOrder());
        return std::strcmp(key, "Exif.Image.IPTCNAA") == 0 ? bytes : iptcOfResources(bytes);
    }
    return std::nullopt;
}

std::optional<QByteArray> storedIptc(Exiv2::Image& image)
{
    const int type = image.imageType();
    if (type == Exiv2::ImageType::jpeg) {
        return iptcOfJpeg(image);
    }
    if (type == Exiv2::ImageType::tiff || type == Exiv2::ImageType::cr2 || type == Exiv2::ImageType::orf
        || type == Exiv2::ImageType::rw2) {
        return iptcOfTiff(image);
    }
    return std::nullopt;
}

// The stored bytes of each dataset read into a value, in the order the library
// reads them: its walk is followed step by step (bytes before a marker
// skipped, a dataset running past the end not read), so that the n-th
// value here is the library's n-th of that dataset.
std::map<DatasetId, std::vector<QByteArray>> storedValues(const QByteArray& iptc)
{
    std::map<DatasetId, std::vector<QByteArray>> stored;
    const auto* at = reinterpret_cast<const uint8_t*>(iptc.constData());
    const auto* const end = at + iptc.size();
    while (end - at >= 6) {
        if (*at++ != kDatasetMarker) {
            continue;
        }
        const uint16_t record = *at++;
        const uint16_t dataset = *at++;
        uint32_t size = 0;
        if ((*at & 0x80) != 0) {
            int sizeOfSize = ((at[0] << 8) | at[1]) & 0x7FFF;
            at += 2;
            if (sizeOfSize > 4 || sizeOfSize > end - at) {
                break;
            }
            for (; sizeOfSize > 0; --sizeOfSize) {
                size = (size << 8) | *at++;
            }
        } else {
            size = (at[0] << 8) | at[1];
            at += 2;
        }
        if (size > uint32_t(end - at)) {
            break;
        }
        if (standsForValue(record, dataset)) {
            stored[{record, dataset}].emplace_back(reinterpret_cast<const char*>(at), qsizetype(size));
        }
        at += size;
    }
    return stored;
}

// Whether the stored bytes are the value in the dataset's form, which a save
// writes back as they are: a date as "20171027", a time as "083852+0200",
// or without a zone as "083852" (which the save keeps so).
bool isInItsForm(const Exiv2::Value& value, const QByteArray& stored)
{
    QByteArray form(qsizetype(value.size()), '\0');
    form.truncate(qsizetype(value.copy(reinterpret_cast<Exiv2::byte*>(form.data()), Exiv2::bigEndian)));
    const bool zonelessTime
        = value.typeId() == Exiv2::time && stored.size() == 6 && form.endsWith("+0000") && form.startsWith(stored);
    return stored == form || zonelessTime;
}

} // namespace

void IptcStoredDates::keepDamaged(Exiv2::Image& image)
{
    Exiv2::IptcData& iptc = image.iptcData();
    // Only a value the library read as a date, time or number can have been
    // read leniently; one it could not read is its string of stored bytes
    // already.
    if (std::none_of(
            iptc.begin(), iptc.end(), [](const Exiv2::Iptcdatum& datum) { return isReadIntoValue(datum.typeId()); })) {
        return;
    }
    const std::optional<QByteArray> block = storedIptc(image);
    if (!block) {
        return;
    }
    const std::map<DatasetId, std::vector<QByteArray>> stored = storedValues(*block);
    std::map<DatasetId, size_t> read;
    for (const Exiv2::Iptcdatum& datum : iptc) {
        ++read[{datum.record(), datum.tag()}];
    }
    std::map<DatasetId, size_t> seen;
    for (Exiv2::Iptcdatum& datum : iptc) {
        const DatasetId id{datum.record(), datum.tag()};
        const size_t index = seen[id]++;
        const auto found = stored.find(id);
        // Where the walk and the library disagree on the count, which bytes
        // are whose is not certain: the values stay as read.
        if (!isReadIntoValue(datum.typeId()) || found == stored.end() || found->second.size() != read[id]) {
            continue;
        }
        const QByteArray& bytes = found->second[index];
        const bool damaged = isDateOrTime(datum.typeId()) ? !isInItsForm(datum.value(), bytes)
                                                          : !holdsWhole(datum.typeId(), size_t(bytes.size()));
        if (damaged) {
            const Exiv2::StringValue text(bytes.toStdString());
            datum.setValue(&text);
        }
    }
}
