#pragma once

#include <QByteArray>
#include <QHash>

#include <optional>

#include "models/read/TAVImageMetadatReaderBase.h"

#include <exiv2/exif.hpp>

// Reads the EXIF rows of one file; also answers the image's pixel and file
// size and hands out the raw EXIF data for the maker-note rules.
class TAVExifReader : public TAVImageMetadatReaderBase {
public:
    // Opens the file; metadata is read only when asked for.
    explicit TAVExifReader(const QString& path, SharedImagePtr shared = nullptr);

    // The file's EXIF data as it is on disk now; empty without an image or
    // when the library cannot read it.
    Exiv2::ExifData getExifData();

    // Group row "EXIF", then one row per datum with a key and a value text.
    std::optional<QList<TAVEntityPtr>> doReadImageMeatadata() override;

    // "<width> x <height> (<size> MB)" with the pixel size of the last read
    // (digits grouped as the user's locale does) and the file size in decimal
    // megabytes; nothing without an image or before a read found a size.
    QString getImageSize() const;

    // The file size in bytes; 0 in the cases where getImageSize gives nothing.
    float getImageSizeByte() const;

    // The maker-note identifier (see MakerNoteIdentifier) of the EXIF data the
    // last read of the rows parsed; nothing before a read.
    std::optional<int32_t> makerNoteOfLastRead() const { return makerNote_; }

    // The text shown for an EXIF datum: the value's raw text, except for the
    // Windows text tags, whose UCS-2 bytes are decoded into text.
    static std::string valueText(const Exiv2::Exifdatum& datum, const Exiv2::ExifData& exifData);
    // Whether an image-directory tag with this number may be named "XP...":
    // XPosition and the Windows text tags XPTitle to XPSubject.
    static constexpr bool hasWindowsTextNumber(uint16_t tag)
    {
        return tag == 0x011e || (tag >= 0x9c9b && tag <= 0x9c9f);
    }
    // valueText as the row's text (null when not UTF-8). Byte values, camera
    // maker notes among them, are formatted here directly: they are the
    // longest texts of a file and the library's stream formatting dominated
    // the reading of a photo.
    static QString rowText(const Exiv2::Exifdatum& datum, const Exiv2::ExifData& exifData);

    // Long byte values read the same as one of `rows` (an earlier read of
    // the photo) share its packed bytes instead of being packed again.
    void shareLongValuesOf(const QList<TAVEntityPtr>& rows);

private:
    static bool isWindowsText(const Exiv2::Exifdatum& datum);
    // The rows of the parsed EXIF data, in the file's order.
    void appendRows(Exiv2::Image& image, QList<TAVEntityPtr>& rows);
    // The raw bytes of a plain byte value long enough to be worth keeping
    // unspelled (maker notes, padding, binary blocks); none otherwise.
    static std::optional<QByteArray> longByteValue(const Exiv2::Exifdatum& datum);
    // The file size in bytes when the last read found a pixel size.
    std::optional<qint64> sizedFileBytes() const;

    // The pixel size of the last read; kept when the opened file is let go.
    long pixelWidth_ = 0;
    long pixelHeight_ = 0;
    std::optional<int32_t> makerNote_;
    // The EXIF rows of an earlier read by key, until the next read is done.
    QHash<QString, TAVEntityPtr> earlierByKey_;
};
