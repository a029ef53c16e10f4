#pragma once

#include <QByteArray>

namespace Exiv2 {
class Image;
}

// Files that hold their EXIF block more than once: a PNG with several `eXIf`
// chunks, a JPEG with several EXIF APP1 segments. Readers disagree on them:
// the metadata library reads every `eXIf` chunk of a PNG (so each tag comes
// once per chunk, and an edit reaches only the first) but only the first EXIF
// segment of a JPEG (the others it copies through unread, stale), and other
// programs list every copy. A save writes one block that every reader finds:
// the first block's values, which the user saw and edited, merged with the
// tags that only a later block holds; the later repeats of a tag go.
class RepeatedExifBlocks {
public:
    // How many EXIF blocks the file holds (0 or 1 for most files).
    static int countIn(const QByteArray& bytes);

    // Before a write: the values of the JPEG's later EXIF segments are added
    // to the image's EXIF, then every later repeat of a key is dropped. Does
    // nothing to a file with one block.
    static void mergeInto(const QByteArray& original, Exiv2::Image& image);

    // After a write: the JPEG's EXIF segments after the first (the ones the
    // library copied through) are cut out. Other bytes are returned as given.
    static QByteArray withoutLaterBlocks(const QByteArray& written);
};
