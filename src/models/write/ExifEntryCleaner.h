#pragma once

namespace Exiv2 {
class ExifData;
}

// Entries whose TIFF type the library does not know (type 0, for instance,
// left by some converters) cannot be read as anything. Written back, such an
// entry can make other readers give up on the whole directory it sits in, so
// that a camera's make, model and maker notes seem to vanish after a save.
class ExifEntryCleaner {
public:
    // Erases every such entry before a write; returns how many went.
    static int removeEntriesOfUnknownType(Exiv2::ExifData& exifData);
};
