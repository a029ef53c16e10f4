#pragma once

#include <QByteArray>

// Photoshop keeps, beside a JPEG's IPTC block, the MD5 digest of that block
// (image resource 0x0425), and takes a block whose digest differs for one
// another program changed without its XMP. The metadata library rewrites the
// IPTC block but copies the digest as it was, so after an IPTC edit the file
// would say that its XMP is out of date.
class PhotoshopIptcDigest {
public:
    // When `written` (a JPEG the library wrote from `original`) holds a
    // digest and its IPTC block is not the original's, the digest becomes
    // that of the new block, in place (same length). Anything else, a file
    // whose resources do not parse included, is left as it is.
    static void refresh(QByteArray& written, const QByteArray& original);
};
