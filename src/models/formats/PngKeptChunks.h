#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The chunks of a PNG that a save keeps byte for byte: all but those holding
// the EXIF, IPTC and XMP the edit writes (`eXIf`, and the text chunks whose
// keyword is exactly one the metadata library reads them from, holding what
// it reads there), and those a clear takes.
//
// PNG keywords are free text, but the library matches them by their first
// bytes alone. On reading it takes "Descriptions" for its comment and
// "XML:com.adobe.xmp.bak" for the XMP packet; on writing it drops every text
// chunk whose keyword begins like one of its own, or is the beginning of one
// ("XML", "Raw", "Desc", "Raw profile type exif2"), and writes its comment as
// a "Description" chunk of its own. So the library reads a PNG without such
// look-alike chunks, nor chunks keyed as its own that hold other text (it
// would drop those too), and the file is saved as it was but for its EXIF, IPTC
// and XMP chunks, which give way to the ones the library wrote.
class PngKeptChunks {
public:
    // What a clear takes of a PNG's chunks besides the EXIF, IPTC and XMP
    // the library writes anew: nothing; the text chunks that copy the GPS
    // tags ("exif:GPSLatitude"), for a clear of the GPS; those that copy
    // the EXIF tags ("exif:Artist", the GPS tags' too), for a clear of the
    // EXIF; every text chunk but the Photoshop resources, and the
    // modification time, for a clear of everything. Each takes what the
    // ones before it take.
    enum class Cleared { Nothing, Gps, Exif, All };

    // The bytes the library is to read a PNG from: the PNG without the text
    // chunks it would take for others. Nothing when the bytes hold none (or
    // are no PNG): the library reads them as they are.
    static std::optional<QByteArray> forLibrary(const QByteArray& png);

    // What the library wrote from `original`, as the file is to be saved: the
    // original's chunks in their order and byte for byte, bar its EXIF, IPTC
    // and XMP chunks and those `cleared` takes; the ones the library wrote
    // follow the header chunk. The bytes after the end chunk are the written
    // ones. `written` itself when either is no PNG or cannot be walked to its
    // end chunk. With `keepIptc` (a save that changes no IPTC dataset) the
    // original's IPTC chunk is kept as the others are, in its place, and the
    // library's is left out.
    static QByteArray withKeptChunks(const QByteArray& written, const QByteArray& original,
        Cleared cleared = Cleared::Nothing, bool keepIptc = false);

    // Why `after` does not keep the chunks of `before`: the first of them it
    // lacks in its place (dropped, renamed or changed), named by its type and
    // a text chunk's keyword, or else the first one it adds. Empty when it
    // keeps every one and adds none, bar EXIF, IPTC and XMP chunks, and
    // holds none of those `cleared` takes (or when either is no PNG). With
    // `keepIptc` the IPTC chunks count among those kept.
    static QString changeIn(
        const QByteArray& before, const QByteArray& after, Cleared cleared = Cleared::Nothing, bool keepIptc = false);

    // Whether a PNG holds an IPTC chunk the library reads.
    static bool holdsIptc(const QByteArray& png);
};
