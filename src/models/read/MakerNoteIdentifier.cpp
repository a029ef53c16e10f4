#include "models/read/MakerNoteIdentifier.h"

#include <exiv2/exif.hpp>
#include <exiv2/tags.hpp>

#include <map>

namespace {

// The library's pseudo group that holds the maker note's offset and byte order.
const char* const kMakerNoteGroup = "MakerNote";

} // namespace

int32_t MakerNoteIdentifier::fromGroupName(const std::string& groupName)
{
    static const std::map<std::string, int32_t> numbers = {
        {"Canon", Canon},
        {"CanonCs", CanonCs},
        {"CanonFi", CanonFi},
        {"Fujifilm", Fujifilm},
        {"Nikon1", Nikon1},
        {"Nikon3", Nikon3},
        {"Sigma", Sigma},
    };
    if (groupName.empty() || groupName == kMakerNoteGroup || !Exiv2::ExifTags::isMakerGroup(groupName)) {
        return None;
    }
    const auto found = numbers.find(groupName);
    return found == numbers.end() ? Other : found->second;
}

int32_t MakerNoteIdentifier::fromExifData(const Exiv2::ExifData& exifData)
{
    for (const Exiv2::Exifdatum& datum : exifData) {
        const std::string group = datum.groupName();
        if (group == kMakerNoteGroup) {
            continue;
        }
        if (Exiv2::ExifTags::isMakerGroup(group)) {
            return fromGroupName(group);
        }
    }
    return None;
}

bool MakerNoteIdentifier::isCanon(int32_t identifier)
{
    return identifier == Canon || identifier == CanonCs || identifier == CanonFi;
}
