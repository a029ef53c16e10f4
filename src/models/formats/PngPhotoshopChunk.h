#pragma once

#include <QByteArray>

// A PNG's Photoshop resources, kept as a text chunk "Raw profile type 8bim"
// (hex digits of the resource block after a line naming the profile and one
// giving its length), as an image converter writes a JPEG's Photoshop segment
// into a PNG. Readers find the IPTC block among those resources; the metadata
// library does not: it shows no IPTC for such a file, and an IPTC edit
// writes a second block, holding the edit alone, beside the file's own.
class PngPhotoshopChunk {
public:
    // Whether a PNG holds a Photoshop resources chunk with an IPTC block.
    static bool holdsIptc(const QByteArray& png);
};
