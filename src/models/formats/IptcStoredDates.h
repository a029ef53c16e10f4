#pragma once

namespace Exiv2 {
class Image;
}

// IPTC dates, times and numbers as the file stores them. The library reads a
// damaged one leniently into another day or time ("2017102" and a stray byte
// became 2 October 2017, "08385" and a stray byte 08:38:05), or a number
// from all but a stray byte, and every save then wrote that plausible value
// back. Kept as the file's bytes, as text, it is shown as stored, written
// back byte for byte, and never taken for a date.
class IptcStoredDates {
public:
    // After the image's metadata is read: each IPTC date or time dataset the
    // library read as a date or time but whose bytes are not that value in
    // the dataset's form, and each number with a byte the library dropped,
    // gets its stored bytes back, as a string value. Only
    // where the image's IPTC block can be found as the library read it (a
    // JPEG's Photoshop segments, a TIFF's IPTC tag); elsewhere nothing
    // changes.
    static void keepDamaged(Exiv2::Image& image);
};
