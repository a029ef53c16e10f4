#include "models/tables/TAVKeyLists.h"

#include "models/tables/TAVCVSParaser.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <initializer_list>
#include <string_view>
#include <unordered_set>

void TAVKeyLists::loadDefaultValues()
{
    loadExifTag();
    // Touch every list so that all of them exist before other threads read them.
    displayOnlyKeys();
    shownKeys();
    flashIcons();
    sensingMethodIcons();
    focusModeIcons();
    meteringModeIcons();
    exposureProgramIcons();
    whiteBalanceIcons();
    contrastIcons();
    saturationIcons();
    sharpnessIcons();
}

void TAVKeyLists::loadExifTag()
{
    TAVCVSParaser::loadCanEditTags();
}

const QStringList& TAVKeyLists::displayOnlyKeys()
{
    static const QStringList keys{QStringLiteral("Summary.ImageSize")};
    return keys;
}

const QString& TAVKeyLists::createDateKey()
{
    static const QString key = QStringLiteral("Exif.Image.CreateDate");
    return key;
}

const QString& TAVKeyLists::createTimeKey()
{
    static const QString key = QStringLiteral("Summary.CreateTime");
    return key;
}

bool TAVKeyLists::isDisplayOnlyKey(const QString& key)
{
    return displayOnlyKeys().contains(key);
}

const QStringList& TAVKeyLists::summaryKeys()
{
    static const QStringList keys{
        QStringLiteral("Exif.Image.DateTime"),
        QStringLiteral("Exif.Image.CreateDate"),
        QStringLiteral("Summary.CreateTime"),
        QStringLiteral("Summary.ImageSize"),
        QStringLiteral("Exif.Image.Make"),
        QStringLiteral("Iptc.Application2.Keywords"),
        QStringLiteral("Exif.Photo.LensMake"),
        QStringLiteral("Exif.Photo.LensModel"),
        QStringLiteral("Exif.Image.Model"),
        QStringLiteral("Exif.Image.Software"),
        QStringLiteral("Exif.Image.ImageDescription"),
        QStringLiteral("Exif.Image.Artist"),
        QStringLiteral("Exif.Image.Copyright"),
        QStringLiteral("Iptc.Application2.Caption"),
        QStringLiteral("Iptc.Application2.ObjectName"),
    };
    return keys;
}

const QStringList& TAVKeyLists::exposureKeys()
{
    static const QStringList keys{
        QStringLiteral("Exif.Photo.ExposureTime"),
        QStringLiteral("Exif.Photo.FNumber"),
        QStringLiteral("Exif.Photo.ISOSpeedRatings"),
        QStringLiteral("Exif.Photo.Flash"),
        QStringLiteral("Exif.Photo.ExposureProgram"),
        QStringLiteral("Exif.Photo.MeteringMode"),
        QStringLiteral("Exif.Photo.SubjectDistanceRange"),
        QStringLiteral("Exif.Photo.SensingMethod"),
        QStringLiteral("Exif.Photo.SubjectDistance"),
        QStringLiteral("Exif.Photo.FocalLength"),
        QStringLiteral("Exif.Photo.FocalLengthIn35mmFilm"),
        QStringLiteral("Exif.Photo.DigitalZoomRatio"),
        QStringLiteral("Exif.Photo.WhiteBalance"),
        QStringLiteral("Exif.Photo.Contrast"),
        QStringLiteral("Exif.Photo.Saturation"),
        QStringLiteral("Exif.Photo.Sharpness"),
    };
    return keys;
}

bool TAVKeyLists::isLocationKey(const QString& key)
{
    return key.startsWith(QLatin1String("Exif.GPSInfo.")) || key.startsWith(QLatin1String("Xmp.exif.GPS"))
        || gpsKeys().contains(key);
}

namespace {

bool startsWithAny(const QString& key, std::initializer_list<const char*> prefixes)
{
    return std::any_of(
        prefixes.begin(), prefixes.end(), [&key](const char* prefix) { return key.startsWith(QLatin1String(prefix)); });
}

} // namespace

bool TAVKeyLists::isExifTwinInXmp(const QString& key)
{
    // The XMP schemas that mirror EXIF tag by tag. The dates, credits,
    // description and creator tool other schemas hold (xmp:CreateDate,
    // photoshop:DateCreated, dc:creator, dc:rights...) are IPTC's and XMP's
    // own too, and may be the only copy a photo has: they stay.
    return startsWithAny(key, {"Xmp.exif.", "Xmp.tiff.", "Xmp.exifEX.", "Xmp.aux."});
}

bool TAVKeyLists::isIptcTwinInXmp(const QString& key)
{
    // The schemas IPTC keeps in XMP for itself, Core and Extension, and the
    // properties of Photoshop's schema that stand for IPTC datasets no other
    // family holds (a city, a headline, a credit). Dublin Core's title,
    // caption, keywords, creator and rights are EXIF's and Windows' texts
    // too, Photoshop's creation date is EXIF's capture date, and the rest of
    // Photoshop's schema describes the picture: a clear of IPTC leaves those.
    static const std::unordered_set<std::string_view> photoshopIptcOnly
        = {"AuthorsPosition", "CaptionWriter", "Category", "City", "Country", "Credit", "Headline", "Instructions",
            "Source", "State", "SupplementalCategories", "TransmissionReference", "Urgency"};
    if (key.startsWith(QLatin1String("Xmp.photoshop."))) {
        const QByteArray name = key.mid(int(qstrlen("Xmp.photoshop.")))
                                    .section(QLatin1Char('/'), 0, 0)
                                    .section(QLatin1Char('['), 0, 0)
                                    .toLatin1();
        return photoshopIptcOnly.count(std::string_view(name.constData(), size_t(name.size()))) > 0;
    }
    return startsWithAny(key, {"Xmp.iptc.", "Xmp.iptcExt."});
}

bool TAVKeyLists::isFileStructureKey(const QString& key)
{
    if (!key.startsWith(QLatin1String("Exif."))) {
        return false;
    }
    // The library's notes on where the maker note sits, and tags it knows
    // only by number, whose layout nothing describes.
    if (key.startsWith(QLatin1String("Exif.MakerNote.")) || key.contains(QLatin1String(".0x"))) {
        return true;
    }
    // Directory pointers, offsets and lengths are worked out anew by every
    // save, and the embedded blocks are written from their own families.
    static const std::unordered_set<std::string_view> names = {"ExifTag", "GPSTag", "InteroperabilityTag", "SubIFDs",
        "JPEGInterchangeFormat", "JPEGInterchangeFormatLength", "StripOffsets", "StripByteCounts", "TileOffsets",
        "TileByteCounts", "MakerNote", "XMLPacket", "IPTCNAA", "ImageResources"};
    const QByteArray name = key.mid(key.lastIndexOf(QLatin1Char('.')) + 1).toLatin1();
    return names.count(std::string_view(name.constData(), size_t(name.size()))) > 0;
}

bool TAVKeyLists::isOtherFamilyBlockKey(const QString& key)
{
    return key == QLatin1String("Exif.Image.XMLPacket") || key == QLatin1String("Exif.Image.IPTCNAA")
        || key == QLatin1String("Exif.Image.ImageResources");
}

bool TAVKeyLists::isLibraryTextKey(const QString& key)
{
    try {
        // The library's notes on where the maker note sits and its byte order.
        if (key.startsWith(QLatin1String("Exif.MakerNote."))) {
            return false;
        }
        if (key.startsWith(QLatin1String("Exif."))) {
            const Exiv2::ExifKey exifKey(key.toStdString());
            // A tag the library does not know ("0x9a01") has no type to trust.
            if (exifKey.tagName().rfind("0x", 0) == 0) {
                return false;
            }
            const Exiv2::TypeId type = exifKey.defaultTypeId();
            return type == Exiv2::asciiString || type == Exiv2::comment;
        }
        if (key.startsWith(QLatin1String("Iptc."))) {
            const Exiv2::IptcKey iptcKey(key.toStdString());
            const Exiv2::TypeId type = Exiv2::IptcDataSets::dataSetType(iptcKey.tag(), iptcKey.record());
            return type == Exiv2::string || type == Exiv2::date || type == Exiv2::time;
        }
    } catch (const Exiv2::AnyError&) {
        // A name no tag of any file has: the record's own keys (its creation
        // date and time) hold text.
        return true;
    } catch (const std::exception&) {
        return false;
    }
    return false;
}

bool TAVKeyLists::isPixelDescriptionKey(const QString& key)
{
    // The thumbnail's directory and the sub-images describe pictures of their own.
    if (key.startsWith(QLatin1String("Exif.Thumbnail.")) || key.startsWith(QLatin1String("Exif.SubImage"))) {
        return true;
    }
    // The interoperability directory names the size of the picture it belongs to.
    if (key == QLatin1String("Exif.Iop.RelatedImageWidth") || key == QLatin1String("Exif.Iop.RelatedImageLength")) {
        return true;
    }
    static const QStringList groups = {QStringLiteral("Exif.Image."), QStringLiteral("Exif.Photo."),
        QStringLiteral("Xmp.tiff."), QStringLiteral("Xmp.exif.")};
    static const std::unordered_set<std::string_view> names = {"ImageWidth", "ImageLength", "PixelXDimension",
        "PixelYDimension", "Orientation", "Compression", "PhotometricInterpretation", "StripOffsets", "RowsPerStrip",
        "StripByteCounts", "TileWidth", "TileLength", "TileOffsets", "TileByteCounts", "BitsPerSample",
        "SamplesPerPixel", "PlanarConfiguration", "SampleFormat", "ExtraSamples", "FillOrder", "YCbCrSubSampling",
        "YCbCrPositioning", "YCbCrCoefficients", "ColorSpace", "InterColorProfile", "NewSubfileType", "SubfileType",
        "SubIFDs", "JPEGInterchangeFormat", "JPEGInterchangeFormatLength", "CompressedBitsPerPixel"};
    for (const QString& group : groups) {
        if (key.startsWith(group)) {
            const QByteArray name = key.mid(group.size()).toLatin1();
            return names.count(std::string_view(name.constData(), size_t(name.size()))) > 0;
        }
    }
    return false;
}

const QStringList& TAVKeyLists::gpsKeys()
{
    static const QStringList keys{
        QStringLiteral("Exif.GPSInfo.GPSVersionID"),
        QStringLiteral("Exif.GPSInfo.GPSAltitudeRef"),
        QStringLiteral("Exif.GPSInfo.GPSAltitude"),
        QStringLiteral("Exif.GPSInfo.GPSLatitudeRef"),
        QStringLiteral("Exif.GPSInfo.GPSLatitude"),
        QStringLiteral("Exif.GPSInfo.GPSLongitudeRef"),
        QStringLiteral("Exif.GPSInfo.GPSLongitude"),
    };
    return keys;
}

const QStringList& TAVKeyLists::shownKeys()
{
    static const QStringList keys = summaryKeys() + exposureKeys() + gpsKeys();
    return keys;
}

bool TAVKeyLists::isShownKey(const QString& key)
{
    // Views of the texts of the list, which lives as long as the process;
    // the standard hash costs a fraction of Qt's string hash.
    const auto view = [](const QString& text) {
        return std::u16string_view(reinterpret_cast<const char16_t*>(text.constData()), size_t(text.size()));
    };
    static const std::unordered_set<std::u16string_view> keys = [&view] {
        std::unordered_set<std::u16string_view> views;
        for (const QString& shown : shownKeys()) {
            views.insert(view(shown));
        }
        return views;
    }();
    return keys.count(view(key)) > 0;
}

int TAVKeyLists::categoryOfKey(const QString& key)
{
    if (summaryKeys().contains(key)) {
        return 0;
    }
    if (exposureKeys().contains(key)) {
        return 1;
    }
    if (gpsKeys().contains(key)) {
        return 2;
    }
    return 3;
}

const QStringList& TAVKeyLists::flashLabels()
{
    static const QStringList labels{"Unknown", "Did not fire", "Fired", "Forced", "Suppressed", "Red eye"};
    return labels;
}

const QStringList& TAVKeyLists::flashIcons()
{
    static const QStringList icons{
        "", "flash_didNotFire", "flash_autoFired", "flash_forced", "flash_suppressed", "flash_redEye"};
    return icons;
}

const QStringList& TAVKeyLists::sensingMethodLabels()
{
    static const QStringList labels{
        "Unknown", "One chip area", "Two chip area", "Three chip area", "Sequential", "Trilinear", "Linear sequential"};
    return labels;
}

const QStringList& TAVKeyLists::sensingMethodIcons()
{
    static const QStringList icons{"", "sensor_oneChipArea", "sensor_twoChipArea", "sensor_threeChipArea",
        "sensor_colorSequentialArea", "sensor_trilinear", "sensor_colorSequential"};
    return icons;
}

const QStringList& TAVKeyLists::focusModeLabels()
{
    static const QStringList labels{"Unknown", "Auto", "Manual", "Macro", "Close View", "Infinity"};
    return labels;
}

const QStringList& TAVKeyLists::focusModeIcons()
{
    static const QStringList icons{"", "focus_auto", "focus_manual", "focus_macro", "focus_macro", "focus_infinity"};
    return icons;
}

const QStringList& TAVKeyLists::meteringModeLabels()
{
    static const QStringList labels{"Unknown", "Average", "Center Weighted", "Spot", "Multi-Spot", "Partial", "Matrix"};
    return labels;
}

const QStringList& TAVKeyLists::meteringModeIcons()
{
    static const QStringList icons{"", "metering_average", "metering_centerWeighted", "metering_spot",
        "metering_multiSpot", "metering_partial", "metering_matrix"};
    return icons;
}

const QStringList& TAVKeyLists::exposureProgramLabels()
{
    static const QStringList labels{"Unknown", "Manual", "Automatic", "Flexible Automatic", "Aperture Priority",
        "Shutter Priority", "Creative", "Action", "Portrait", "Landscape", "Night Portrait", "Night Scene", "Close Up"};
    return labels;
}

const QStringList& TAVKeyLists::exposureProgramIcons()
{
    static const QStringList icons{"", "exposurePrgm_manual", "exposurePrgm_auto", "exposurePrgm_flexibleAuto",
        "exposurePrgm_aperture", "exposurePrgm_shutter", "exposurePrgm_other", "exposurePrgm_action",
        "exposurePrgm_portrait", "exposurePrgm_landscape", "exposurePrgm_nightPortrait", "exposurePrgm_nightScene",
        "exposurePrgm_closeUp"};
    return icons;
}

const QStringList& TAVKeyLists::whiteBalanceLabels()
{
    static const QStringList labels{"Unknown", "Auto", "Daylight", "Shade", "Incandescent", "Fluorescent", "Flash"};
    return labels;
}

const QStringList& TAVKeyLists::whiteBalanceIcons()
{
    static const QStringList icons{"", "whiteBalance_auto", "whiteBalance_daylight", "whiteBalance_shade",
        "whiteBalance_incandescent", "whiteBalance_fluorescent", "flash_autoFired"};
    return icons;
}

const QStringList& TAVKeyLists::contrastLabels()
{
    static const QStringList labels{"Unknown", "Soft", "Normal", "Hard"};
    return labels;
}

const QStringList& TAVKeyLists::contrastIcons()
{
    static const QStringList icons{"", "contrast", "contrast", "contrast"};
    return icons;
}

const QStringList& TAVKeyLists::saturationLabels()
{
    static const QStringList labels{"Unknown", "Low", "Normal", "High"};
    return labels;
}

const QStringList& TAVKeyLists::saturationIcons()
{
    static const QStringList icons{"", "saturation", "saturation", "saturation"};
    return icons;
}

const QStringList& TAVKeyLists::sharpnessLabels()
{
    static const QStringList labels{"Unknown", "Soft", "Normal", "Hard"};
    return labels;
}

const QStringList& TAVKeyLists::sharpnessIcons()
{
    static const QStringList icons{"", "sharpness_soft", "sharpness_normal", "sharpness_hard"};
    return icons;
}
