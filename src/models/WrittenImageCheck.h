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
//   (edited and untouched values alike; pointers the library recomputes are
//   not compared), and so is the XMP: its properties when the save edited
//   them, else the packet byte for byte;
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
