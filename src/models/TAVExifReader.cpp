#include "models/TAVExifReader.h"

#include <QFileInfo>
#include <QLocale>

#include <exiv2/exiv2.hpp>

TAVExifReader::TAVExifReader(const QString& path, SharedImagePtr shared)
    : TAVImageMetadatReaderBase(path, std::move(shared))
{
    openImage();
}

Exiv2::ExifData TAVExifReader::getExifData()
{
    reopenIfReleased();
    if (!image()) {
        return Exiv2::ExifData();
    }
    try {
        readMetadataOnce();
        return image()->exifData();
    } catch (const Exiv2::AnyError& error) {
        printCaughtException(error.what());
    } catch (const std::exception& error) {
        printCaughtException(error.what());
    }
    return Exiv2::ExifData();
}

std::string TAVExifReader::valueText(const Exiv2::Exifdatum& datum, const Exiv2::ExifData& exifData)
{
    // XPTitle, XPComment, XPAuthor, XPKeywords and XPSubject hold UCS-2 bytes;
    // their raw text would be a list of byte numbers.
    if (datum.groupName() == "Image" && datum.tagName().rfind("XP", 0) == 0) {
        return datum.print(&exifData);
    }
    return datum.toString();
}

std::optional<QList<TAVEntityPtr>> TAVExifReader::doReadImageMeatadata()
{
    return readFamily(QStringLiteral("EXIF"), [this](Exiv2::Image& image, QList<TAVEntityPtr>& rows) {
        pixelWidth_ = image.pixelWidth();
        pixelHeight_ = image.pixelHeight();
        const Exiv2::ExifData& exifData = image.exifData();
        const auto textOf = [&exifData](const Exiv2::Exifdatum& datum) { return valueText(datum, exifData); };
        forEachTextDatum(exifData, "Exif", textOf, [&rows](const QString& key, const QString& value, int32_t typeId) {
            rows.append(makeRow(1, typeId, key, value));
        });
    });
}

std::optional<qint64> TAVExifReader::sizedFileBytes() const
{
    if (pixelWidth_ < 1 || pixelHeight_ < 1) {
        return std::nullopt;
    }
    return QFileInfo(filePath()).size();
}

QString TAVExifReader::getImageSize() const
{
    const std::optional<qint64> bytes = sizedFileBytes();
    if (!bytes) {
        return QString();
    }
    const QLocale locale;
    return QStringLiteral("%1 x %2 (%3 MB)")
        .arg(locale.toString(qlonglong(pixelWidth_)), locale.toString(qlonglong(pixelHeight_)),
            QString::asprintf("%.1f", double(*bytes) / 1000000.0));
}

float TAVExifReader::getImageSizeByte() const
{
    return float(sizedFileBytes().value_or(0));
}
