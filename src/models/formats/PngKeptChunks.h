#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The chunks of a PNG that a save keeps byte for byte: all but those holding
// the EXIF, IPTC and XMP the edit writes (`eXIf`, and the text chunks whose
// keyword is exactly one the metadata library reads them from).
//
// PNG keywords are free text, but the library matches them by their first
// bytes alone. On reading it takes "Descriptions" for its comment and
// "XML:com.adobe.xmp.bak" for the XMP packet; on writing it drops every text
// chunk whose keyword begins like one of its own, or is the beginning of one
// ("XML", "Raw", "Desc", "Raw profile type exif2"), and writes its comment as
// a "Description" chunk of its own. So the library reads a PNG without such
// look-alike chunks, and the file is saved as it was but for its EXIF, IPTC
// and XMP chunks, which give way to the ones the library wrote.
class PngKeptChunks {
public:
    // The bytes the library is to read a PNG from: the PNG without the text
    // chunks it would take for others. Nothing when the bytes hold none (or
    // are no PNG): the library reads them as they are.
    static std::optional<QByteArray> forLibrary(const QByteArray& png);

    // What the library wrote from `original`, as the file is to be saved: the
    // original's chunks in their order and byte for byte, bar its EXIF, IPTC
    // and XMP chunks; the ones the library wrote follow the header chunk. The
    // bytes after the end chunk are the written ones. `written` itself when
    // either is no PNG or cannot be walked to its end chunk.
    static QByteArray withKeptChunks(const QByteArray& written, const QByteArray& original);

    // Why `after` does not keep the chunks of `before`: the first of them it
    // lacks in its place (dropped, renamed or changed), named by its type and
    // a text chunk's keyword, or else the first one it adds. Empty when it
    // keeps every one and adds none, bar EXIF, IPTC and XMP chunks (or when
    // either is no PNG).
    static QString changeIn(const QByteArray& before, const QByteArray& after);
};
