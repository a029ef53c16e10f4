#pragma once

#include "models/formats/PngKeptChunks.h"

#include <QByteArray>
#include <QString>

#include <exiv2/exif.hpp>
#include <exiv2/image.hpp>
#include <exiv2/iptc.hpp>
#include <exiv2/xmp_exiv2.hpp>

#include <memory>
#include <optional>
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
// - a Sony JPEG's maker-note preview still names the same bytes (one whose length runs past
//   the file keeps that length), and a JPEG's damaged EXIF block, kept as it was, still
//   lies as far from the data stored after the picture that it points at;
// - the image data is unchanged: a JPEG's tables, frame and scans, a PNG's image chunks, the
//   strips or tiles of a TIFF-based file (as the library reads them and as the user's file's
//   own bytes place them; a place or length those bytes do not tell with certainty, or an
//   entry whose value lies within them, refuses the save), and the size other formats
//   decode to; a TIFF document of more pages than the library keeps (four) keeps them all;
// - every chunk of a PNG but its EXIF, IPTC and XMP is there byte for byte and in its place,
//   and none is added, but for exactly those the save's clear takes (see PngKeptChunks);
// - an IPTC block that no edit changed is there byte for byte.
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
        // A TIFF structure's strip and tile offsets and byte counts as the
        // library read `before`, when the caller has that read (see
        // pictureTagsOf): `before` is then not read again.
        const Exiv2::ExifData* beforePictureTags = nullptr;
        // What is damaged in `before`'s EXIF block as the caller read it,
        // the library's own reports included (see ExifBlockDamage); when
        // absent, the check walks `before`'s block itself.
        std::optional<QString> beforeExifDamage = std::nullopt;
        // What the save's clear takes of a PNG's chunks besides its EXIF,
        // IPTC and XMP.
        PngKeptChunks::Cleared pngCleared = PngKeptChunks::Cleared::Nothing;
        // The save changes no IPTC dataset: the file's IPTC block comes back
        // byte for byte (a JPEG's Photoshop segments, a TIFF's IPTC entry and
        // Photoshop resources, a PNG's IPTC chunk in its place).
        bool iptcKept = false;
    };

    // The values that locate a TIFF structure's picture: every directory's
    // strip and tile offsets and byte counts.
    static Exiv2::ExifData pictureTagsOf(const Exiv2::ExifData& exifData);

    // The parse of the written bytes a passing check made, for the caller to
    // read the new rows from without reading the file again.
    struct ReadBack {
        // What the image reads from when it is not the written bytes: a JPEG's
        // segments that changed, without the XMP segments the save kept as
        // they were (the image holds the XMP read from them before); a PNG
        // without the text chunks the library would take for its own (see
        // PngKeptChunks). Declared first, so they outlive the image.
        QByteArray parsedBytes;
        std::unique_ptr<Exiv2::Image> image;
    };

    // True when `after` may replace `before`; otherwise false with the reason.
    // A JPEG's XMP segments that no edit reached (expected.xmpEdited false;
    // expected.xmpData is then the library's read of `before`'s XMP) and that
    // came back byte for byte are not parsed again; every other metadata
    // segment is. On success `readBack` (when given) receives the check's parse.
    static bool confirm(
        const QByteArray& before, const QByteArray& after, const Expected& expected, QString* why, ReadBack* readBack);
    // As above; `readBack` receives a parse of the whole of `after`, which
    // reads from `after`'s bytes: they must outlive it.
    static bool confirm(const QByteArray& before, const QByteArray& after, const Expected& expected, QString* why,
        std::unique_ptr<Exiv2::Image>* readBack = nullptr);

    // Why a file other than a JPEG whose EXIF block holds `damage` (see
    // ExifBlockDamage) is not saved: only a JPEG's block, a segment of its
    // own, can be kept as it is beside what the library writes.
    static QString unkeptDamage(const QString& damage);

    // Whether the library reads the format as a TIFF structure (TIFF, DNG and
    // the TIFF-based raw formats), where lost metadata means lost image data.
    static bool isTiffBased(int imageType);

private:
    // The check, reading `parsed` (see ReadBack::parsedBytes) when given,
    // else the whole of `after`.
    static bool check(const QByteArray& before, const QByteArray& after, const Expected& expected, QString* why,
        ReadBack* readBack, const std::optional<QByteArray>& parsed);
};
