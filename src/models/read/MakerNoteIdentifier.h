#pragma once

#include <cstdint>
#include <string>

namespace Exiv2 {
class ExifData;
}

// Which camera maker's notes an image carries, as the small numbers the
// exposure rules compare with. The numbers are fixed here once and for all and
// never taken from the library's IFD ids, which change between library versions.
class MakerNoteIdentifier {
public:
    static constexpr int32_t None = 0; // no maker note at all
    static constexpr int32_t Canon = 21;
    static constexpr int32_t CanonCs = 22;
    static constexpr int32_t CanonFi = 28;
    static constexpr int32_t Fujifilm = 32;
    static constexpr int32_t Nikon1 = 38;
    static constexpr int32_t Nikon3 = 40;
    static constexpr int32_t Sigma = 94;
    // A maker note of another maker (Olympus, Sony, Nikon2, ...): matches none
    // of the numbers above, and differs from None.
    static constexpr int32_t Other = -1;

    // The identifier of the first datum that lies in a maker-note group. The
    // library's synthetic "MakerNote" group (offset and byte order of the note)
    // is passed over, as it always comes first and names no maker.
    static int32_t fromExifData(const Exiv2::ExifData& exifData);

    // The identifier a maker-note group name stands for: Other for maker-note
    // groups without a number of their own, None for groups outside maker notes.
    static int32_t fromGroupName(const std::string& groupName);

    // 21, 22 and 28 all mean a Canon maker note.
    static bool isCanon(int32_t identifier);
};
