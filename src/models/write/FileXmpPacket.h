#pragma once

#include <QByteArray>

#include <optional>

// The XMP packet as the file holds it, padding included. The metadata library
// hands out another: reading a file it encodes the packet's properties again
// (its own toolkit name, no padding, and for a Windows photo tool's packet no
// rdf:about but an xmpMM:InstanceID in its place). A save that edits no XMP
// writes these bytes back instead.
class FileXmpPacket {
public:
    // A JPEG's first standard XMP segment, or the XMLPacket entry of a TIFF
    // structure's first directory; nothing for other files or without one.
    static std::optional<QByteArray> of(const QByteArray& bytes, int imageType);
};
