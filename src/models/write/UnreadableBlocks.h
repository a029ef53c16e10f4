#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Metadata blocks the library cannot read, which other programs still read.
// The library reads such a block as empty and writes it back empty, whatever
// the edit, so the save would delete it unseen (its reading lacks the block
// before and after). Two kinds are known:
// - an IPTC block with a dataset declared longer than the block: the library
//   then drops every dataset of the block (9 datasets of a Pentax file went on
//   an edit of its EXIF artist), or one whose marker is damaged, or a second
//   dataset of one that may not repeat (the library reads only the first);
// - an EXIF block with a directory or entry the library reads as absent (see
//   ExifBlockDamage): a directory pointer of the EXIF block turned UNDEFINED
//   made a Canon file lose its 25 EXIF and 60 maker-note tags.
// - a JPEG's ICC profile whose size field is not the size of the profile its
//   APP2 segments hold: the library cuts the profile to the size field (an
//   sRGB profile lost its device model and its tone curves on an IPTC edit).
// A save keeps such a block byte for byte when its edit does not reach it, and
// fails otherwise.
class UnreadableBlocks {
public:
    // The payloads of a JPEG's Photoshop APP13 segments, joined as readers
    // join them; nothing when there is none.
    static std::optional<QByteArray> photoshopBlock(const QByteArray& jpeg);

    // Whether a JPEG's IPTC block holds a dataset that runs past the end of
    // its resource, whose marker is damaged or that repeats a dataset which
    // may not repeat, or a resource that runs past the end of the segments.
    static bool hasDamagedIptc(const QByteArray& jpeg);

    // Whether a JPEG's ICC profile declares another size than its APP2
    // segments hold.
    static bool hasDamagedProfile(const QByteArray& jpeg);
    // A JPEG's ICC profile segments, whole and joined; empty when it has none.
    static QByteArray profileSegments(const QByteArray& jpeg);

    // `written` with its Photoshop APP13 segments (or its first EXIF APP1
    // segment, or its ICC profile's APP2 segments) replaced by those of `original`, put where the written ones
    // were, or else before the first segment that is no application segment
    // (the EXIF segment: after the JFIF segments that lead the file).
    // Nothing when either file's structure cannot be walked.
    static std::optional<QByteArray> withPhotoshopSegmentsOf(const QByteArray& written, const QByteArray& original);
    static std::optional<QByteArray> withExifSegmentOf(const QByteArray& written, const QByteArray& original);
    static std::optional<QByteArray> withProfileSegmentsOf(const QByteArray& written, const QByteArray& original);
};
