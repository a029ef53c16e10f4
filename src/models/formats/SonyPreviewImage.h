#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Keeps a Sony JPEG's maker-note preview where other programs find it.
//
// Sony's maker note ("SONY DSC " header) names its preview image (tag 0x2001)
// by an offset from the EXIF block's TIFF header that points past the EXIF
// segment, into the file's trailer. The metadata library cannot read that far
// and writes the entry back empty (no bytes, offset 0), although the preview's
// bytes stay in the file, moved by the change of the metadata's size. The
// entry is set again to where the bytes now are, in the written bytes and
// before they are checked. In an EXIF block whose directories are damaged,
// kept byte for byte, the entry is found by the maker note's header and left
// as it is; the check then refuses a save that moved the preview.
class SonyPreviewImage {
public:
    // The preview's bytes in a JPEG, as its maker note names them; nothing
    // when there is no such entry or it points outside the file.
    static std::optional<QByteArrayView> previewIn(const QByteArray& jpeg);

    // Whether a JPEG's maker note has a preview entry at all (an empty one too).
    static bool hasPreviewEntry(const QByteArray& jpeg);

    // The length a JPEG's preview entry states, whether or not the file holds
    // that many bytes; nothing when there is no such entry.
    static std::optional<uint32_t> storedLengthIn(const QByteArray& jpeg);

    // Points the written file's preview entry at the preview's bytes again;
    // one whose length runs past the file keeps that length, moved as the
    // bytes after the picture moved.
    // True when `before` names no preview, `after` has no entry for it (the
    // maker note was cleared), its entry is in a damaged block kept as it was,
    // or the entry was set; false with `why` when the
    // preview's bytes cannot be found in `after`.
    static bool keepPreview(const QByteArray& before, QByteArray& after, QString* why);
};
