#pragma once

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

// Damage in a file's EXIF block that the metadata library reads as "nothing
// there" or as other bytes: a first directory at offset 0, a directory whose
// entry count was damaged to 0 (entries follow it), a directory
// pointer (ExifTag, GPSTag, InteroperabilityTag, SubIFDs) of a type the
// library does not follow or pointing at no directory, a next-directory
// pointer out of bounds, a known tag whose type field reads as no TIFF type,
// an entry (or the thumbnail) whose bytes run past the block, a value whose
// offset names the block's header or a directory (0, or a place in its own
// directory), an IFD0 entry that names a thumbnail where no JPEG lies (another
// tag's number damaged into 0x0201), an IFD1 thumbnail offset or length the
// library reads in part or not at all (a count other than 1, a type narrower
// than its number), an IFD0 entry the library leaves out of a JPEG's or PNG's
// block (strips, tiles, rows per strip, the IPTC, XMP and Photoshop blocks: an
// Orientation damaged into StripOffsets), a TIFF's Photoshop resources that do
// not read as whole resources (the library writes them as nothing), in the
// block's directories and in those of the maker
// notes the library takes apart (Canon, Nikon, Sony). An Exif,
// GPS or Interoperability directory that ends the block without its next
// pointer is whole: it has no successor to lose.
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

    // What the library's messages while it read a file say is damaged in its
    // EXIF block, named as `in` names it; empty when they say nothing of the
    // kind. The library reports, as it reads them, the entries it reads in
    // part or not at all (an offset or a value out of bounds, "truncating
    // the entry"; an entry of an impossible size, "skipping entry") and the
    // directories it cannot read ("exceeds data buffer", "entries considered
    // invalid; not read", a next pointer out of bounds, a sub-IFD pointer to
    // no directory), also in maker notes of any make. A tag of no TIFF type, a directory read before (a
    // loop) and a next pointer missing after a directory with no successor
    // lose nothing the walk does not see, and are not counted here.
    static QString fromLibraryMessages(const std::vector<std::string>& messages);

    // Whether the EXIF block of a JPEG holds an entry whose value lies in the
    // file at `from` or after it (a maker note's preview stored after the
    // picture), wherever in the block it stands: a damaged block cannot be
    // walked with certainty (a maker note whose header lost a byte is read by
    // no one), but its entries still stand where its writer put them. Any
    // twelve bytes that read as a tag, a TIFF type and a value of more than
    // four bytes lying there, within the file, count (the bytes of a maker
    // note's coded blobs that read so name values far past the file).
    static bool namesBytesFrom(const QByteArray& jpeg, qsizetype from);
};
