#pragma once

#include <QByteArray>
#include <QString>

// Damage in a file's EXIF block that the metadata library reads as "nothing
// there": a first directory at offset 0 or with no entries, a directory
// pointer (ExifTag, GPSTag, InteroperabilityTag, SubIFDs) of a type the
// library does not follow or pointing at no directory, a next-directory
// pointer out of bounds, a known tag whose type field reads as no TIFF type,
// an entry (or the thumbnail) whose bytes run past the block.
// The library then reads the directory, or the entry, as absent and writes
// the block back without it, while the bytes still hold it for other
// programs and for a repair (a Canon JPEG with IFD0's entry count set to 0
// lost its 111 EXIF and maker-note rows and its thumbnail on an IPTC edit).
// Found by walking the block's own bytes, apart from the library's read.
class ExifBlockDamage {
public:
    // What is damaged in the EXIF block of a JPEG (its first EXIF segment,
    // the one the library reads), a PNG (its eXIf chunk) or a TIFF-based
    // file, named for the user ("EXIF directory IFD0", "EXIF directory
    // Exif.Image.GPSTag", "EXIF entry Exif.Image.Make"); empty when the
    // block is sound or the file has none.
    static QString in(const QByteArray& file);
};
