#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

// The pictures a JPEG stores after its own (a camera's large preview), listed
// by a multi-picture index (APP2 "MPF"): each by its size and its offset from
// the index's TIFF header. The metadata library does not read the index, so
// nothing moves its offsets: they stay right only while the bytes between the
// index and the stored pictures keep their size, which a block put back after
// the index (a damaged EXIF segment kept as the file held it) does not.
class MultiPictureIndex {
public:
    // The stored pictures the index names, the file's own picture (offset 0)
    // left out, each as the bytes it names; empty when there is no index.
    // A picture named past the file's end is left out.
    static std::vector<QByteArrayView> storedPicturesIn(const QByteArray& jpeg);
};
