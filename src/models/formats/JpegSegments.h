#pragma once

#include <QByteArray>

#include <optional>
#include <vector>

// The marker segments of a JPEG before its first scan, found by walking the
// segment lengths (no metadata library involved).
class JpegSegments {
public:
    struct Segment {
        uint8_t marker = 0;
        qsizetype offset = 0; // of the 0xFF marker byte
        qsizetype size = 0; // marker, length field and data
        qsizetype dataOffset() const { return offset + 4; }
        qsizetype dataSize() const { return size - 4; }
    };

    // The segments up to the first scan and where the scan starts (the end of
    // the bytes when there is none); nothing when the bytes are not a JPEG or
    // a segment runs past their end.
    struct Header {
        std::vector<Segment> segments;
        qsizetype scanStart = 0;
        bool hasScan = false;
    };
    static std::optional<Header> header(const QByteArray& bytes);

    // Where the first picture ends: just after the end marker that closes its
    // scans (what follows, a preview a camera stored there, is the file's
    // trailer). Nothing when the bytes hold no scan or no such marker.
    static std::optional<qsizetype> pictureEnd(const QByteArray& bytes);

    // The APP1 segments that hold an EXIF block ("Exif\0\0" then a TIFF
    // header), in file order.
    static std::vector<Segment> exifSegments(const QByteArray& bytes);

    // The XMP packet of the first standard XMP segment, as the file holds it
    // (padding included); nothing when there is none.
    static std::optional<QByteArray> xmpPacket(const QByteArray& bytes);
    // Whether the segment is a standard XMP segment (APP1 with the XMP
    // namespace as its header), and where its packet starts.
    static bool isXmp(const QByteArray& bytes, const Segment& segment);
    static qsizetype xmpPacketStart(const Segment& xmpSegment);

    // Where the TIFF header of an EXIF segment starts.
    static qsizetype tiffStart(const Segment& exifSegment) { return exifSegment.dataOffset() + 6; }
};
