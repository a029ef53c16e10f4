#pragma once

#include <QByteArray>
#include <QString>

#include <exiv2/exif.hpp>
#include <exiv2/image.hpp>
#include <exiv2/iptc.hpp>
#include <exiv2/xmp_exiv2.hpp>

#include <memory>
#include <string>

// Checks the bytes the metadata library wrote before they may replace a file.
// The library does not report every failure: on some damaged files it drops
// the image data, cuts values short or writes nothing at all, and says
// nothing. New bytes pass only when
// - they parse as the same image type;
// - every EXIF and IPTC value the save meant to write is there as written
//   (edited and untouched values alike). What the library is known to change
//   on a write is accepted, each difference named in the source with the
//   experiment that showed it: directory pointers are followed to their
//   entries, offsets compared by the bytes they point to, and the image
//   structure tags it drops from a JPEG's or PNG's EXIF block are not asked
//   for;
// - the XMP holds the same properties, values, languages and array orders,
//   compared as parsed properties (a packet the library cannot parse: byte for
//   byte);
// - a Sony JPEG's maker-note preview still names the same bytes;
// - the image data is unchanged: a JPEG's tables, frame and scans, a PNG's image chunks, the
//   strips or tiles of a TIFF-based file, and the size other formats decode to.
class WrittenImageCheck {
public:
    // What the save meant the file to hold.
    struct Expected {
        Exiv2::ExifData exifData;
        Exiv2::IptcData iptcData;
        Exiv2::XmpData xmpData;
        bool xmpEdited = false;
        std::string xmpPacket;
        // The save clears all IPTC data: an IPTC block the library cannot
        // read may go with it.
        bool iptcCleared = false;
    };

    // True when `after` may replace `before`; otherwise false with the reason.
    // On success `readBack` (when given) receives the parse of `after` the
    // check made: it reads from `after`'s bytes, which must outlive it.
    static bool confirm(const QByteArray& before, const QByteArray& after, const Expected& expected, QString* why,
        std::unique_ptr<Exiv2::Image>* readBack = nullptr);

    // Whether the library reads the format as a TIFF structure (TIFF, DNG and
    // the TIFF-based raw formats), where lost metadata means lost image data.
    static bool isTiffBased(int imageType);
};
