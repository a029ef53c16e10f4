#pragma once

#include "foundation/FileServices.h"
#include "models/values/FDDataBit.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <exiv2/exif.hpp>
#include <exiv2/iptc.hpp>
#include <exiv2/xmp_exiv2.hpp>

#include <memory>

class FDMetadataContainer;
using FDMetadataContainerPtr = std::shared_ptr<FDMetadataContainer>;

// The complete EXIF, IPTC and XMP metadata of one image file, kept as the
// metadata library's own collections: read from a source image and written
// onto other images by the clone tool.
class FDMetadataContainer {
public:
    FDMetadataContainer() = default;

    // Reads the file's metadata; nothing when the file cannot be opened or read.
    static FDMetadataContainerPtr metadataForImageAtPath(const QString& path);

    // Every entry's key: the EXIF entries in their order, then IPTC, then XMP.
    // A repeated dataset (IPTC keywords) is listed once per entry.
    QStringList allKeys() const;

    // The typed value of the first entry with `key`, or nothing when the
    // collections have no such entry. Looking a key up never adds an entry.
    FDDataBitPtr valueForKey(const QString& key) const;
    FDDataBitPtr operator[](const QString& key) const { return valueForKey(key); }

    // Every key of allKeys() that has a value, with the value of its first entry.
    QMap<QString, FDDataBitPtr> dictionary() const;

    // Writes the held metadata onto the image file at `path` (the clone):
    // EXIF, IPTC and XMP replace the target's own and a family this container
    // lacks is removed from the target. The tags that describe a picture's own
    // pixels (dimensions, orientation, compression, strips, thumbnail, colour
    // space...) are the target's: it keeps its own and gets none of these. It
    // keeps its colour profile and comment too, and this container drops its
    // "Exif.Image.Orientation" for good. A PNG's Photoshop resources that
    // copy its IPTC take the cloned IPTC too; where they hold another block,
    // or the IPTC alone, the clone is refused (see PngPhotoshopChunk). The file is
    // replaced atomically; false leaves it untouched. With `imported` the
    // file is replaced only while it is still that file, up to the
    // replacement itself: what another program wrote is never written over.
    bool saveMetadataToFileAtPath(const QString& path, const FileServices::Identity* imported = nullptr);

    // Whether the file held XMP the library cannot decode (see
    // UnreadableXmpPacket): none of it is held here, so none is cloned.
    bool xmpUndecodable() const { return xmpUndecodable_; }

    const Exiv2::ExifData& exifData() const { return exifData_; }
    const Exiv2::IptcData& iptcData() const { return iptcData_; }
    const Exiv2::XmpData& xmpData() const { return xmpData_; }

private:
    Exiv2::ExifData exifData_;
    Exiv2::IptcData iptcData_;
    Exiv2::XmpData xmpData_;
    bool xmpUndecodable_ = false;
};
