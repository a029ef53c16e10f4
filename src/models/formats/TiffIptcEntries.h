#pragma once

#include <QByteArray>

#include <optional>

// A TIFF's IPTC block, which its first directory keeps in the IPTC-NAA entry
// and among its Photoshop resources (ImageResources). The metadata library
// writes both anew on every save, from the datasets it read: sorted by
// record, without the padding after them, the IPTC-NAA entry made LONGs.
class TiffIptcEntries {
public:
    // The two entries of the first directory as the file holds them: the
    // byte order, then the tag, type, count and value bytes of each one
    // there is. Empty when there is neither; nothing when the directory or
    // a value cannot be read.
    static std::optional<QByteArray> of(const QByteArray& tiff);

    // `written` (a TIFF the library wrote from `original`, in its byte
    // order) holding those entries as `original` does: each one's type and
    // count put back, and its value in the entry where it fits, else after
    // the written bytes. Nothing when either cannot be read, the byte orders
    // differ or `written` lacks an entry `original` has.
    static std::optional<QByteArray> withEntriesOf(const QByteArray& written, const QByteArray& original);
};
