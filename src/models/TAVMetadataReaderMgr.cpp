#include "models/TAVMetadataReaderMgr.h"

#include "models/TAVExifReader.h"
#include "models/TAVIPTCReader.h"
#include "models/TAVMetadataHelper.h"
#include "models/TAVXmpReader.h"

#include "foundation/DateServices.h"

#include <QStringList>

#include <array>

namespace {

const char* const kDateTimeOriginal = "Exif.Photo.DateTimeOriginal";
const char* const kDateTimeDigitized = "Exif.Photo.DateTimeDigitized";
const char* const kDateTime = "Exif.Image.DateTime";

bool hasText(const QString& text)
{
    return !text.isEmpty();
}

// Camera dates are wall-clock times without a zone: the date services keep
// them as they are, so no daylight-saving change can move them.
QString reformatDate(const QString& text, const QString& pattern)
{
    const QDateTime date = DateServices::dateWithDateFormateString(text, pattern);
    if (!date.isValid()) {
        return QString();
    }
    return DateServices::getStringFromDate(date, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

TAVMetadataReaderMgr::TAVMetadataReaderMgr(const QString& path)
    : exifReader_(std::make_unique<TAVExifReader>(path))
    , iptcReader_(std::make_unique<TAVIPTCReader>(path))
    , xmpReader_(std::make_unique<TAVXmpReader>(path))
{
}

TAVMetadataReaderMgr::~TAVMetadataReaderMgr() = default;

QList<TAVEntityPtr> TAVMetadataReaderMgr::readAllFamilies()
{
    QList<TAVEntityPtr> rows;
    const std::array<TAVImageMetadatReaderBase*, 3> readers{exifReader_.get(), iptcReader_.get(), xmpReader_.get()};
    for (TAVImageMetadatReaderBase* reader : readers) {
        if (std::optional<QList<TAVEntityPtr>> family = reader->doReadImageMeatadata()) {
            rows.append(*family);
        }
    }
    return rows;
}

QList<TAVEntityPtr> TAVMetadataReaderMgr::readAllMetadata(uint64_t exportType)
{
    // Every family is exported whatever the type asks for: the export sheet's
    // bits choose files, not families.
    Q_UNUSED(exportType);
    return readAllFamilies();
}

QList<TAVEntityPtr> TAVMetadataReaderMgr::readAllMetadata()
{
    aryMetadata_ = readAllFamilies();
    modifyDateFormat();
    return aryMetadata_;
}

QString TAVMetadataReaderMgr::getConvertDatetimeString(const QString& text)
{
    if (text.isEmpty()) {
        return QStringLiteral("");
    }
    for (const QString& format : {QStringLiteral("yyyy:MM:dd HH:mm:ss"), QStringLiteral("yyyy/MM/dd HH:mm:ss")}) {
        const QString converted = reformatDate(text, format);
        if (!converted.isNull()) {
            return converted;
        }
    }
    return text;
}

void TAVMetadataReaderMgr::modifyDateFormat()
{
    for (const TAVEntityPtr& row : std::as_const(aryMetadata_)) {
        const QString& key = row->key();
        if (key != QLatin1String(kDateTimeOriginal) && key != QLatin1String(kDateTimeDigitized)
            && key != QLatin1String(kDateTime)) {
            continue;
        }
        const QString converted = getConvertDatetimeString(row->value());
        if (key == QLatin1String(kDateTimeOriginal) || !converted.isEmpty()) {
            row->setValue(converted);
        }
    }
}

QString TAVMetadataReaderMgr::getCreateDateAndTime() const
{
    for (const char* key : {kDateTimeOriginal, kDateTimeDigitized, kDateTime}) {
        const QString value = getOneValueForKey(QLatin1String(key));
        if (hasText(value)) {
            return value;
        }
    }
    return QString();
}

QString TAVMetadataReaderMgr::getCameraMakeAndModel() const
{
    QString make;
    QString model;
    for (const TAVEntityPtr& row : aryMetadata_) {
        if (row->key() == QLatin1String("Exif.Image.Make")) {
            make = row->value();
        } else if (row->key() == QLatin1String("Exif.Image.Model")) {
            model = row->value();
        }
    }
    if (hasText(make) && hasText(model)) {
        return make + QLatin1Char(' ') + model;
    }
    if (hasText(make)) {
        return make;
    }
    return hasText(model) ? model : QStringLiteral("");
}

QString TAVMetadataReaderMgr::firstValueOf(std::initializer_list<const char*> keys) const
{
    QString value;
    for (const char* key : keys) {
        value = getOneValueForKey(QLatin1String(key));
        if (hasText(value)) {
            return value;
        }
    }
    return value;
}

QString TAVMetadataReaderMgr::getKeywords() const
{
    return firstValueOf({"Iptc.Application2.Keywords"});
}

QString TAVMetadataReaderMgr::getLensMake() const
{
    return firstValueOf({"Exif.Photo.LensMake"});
}

QString TAVMetadataReaderMgr::getLensModel() const
{
    return firstValueOf({"Exif.Photo.LensModel"});
}

QString TAVMetadataReaderMgr::getCameraMake() const
{
    return firstValueOf({"Exif.Image.Make"});
}

QString TAVMetadataReaderMgr::getCaption() const
{
    return firstValueOf({"Iptc.Application2.Caption"});
}

QString TAVMetadataReaderMgr::getTitle() const
{
    return firstValueOf(
        {"Exif.Image.XPTitle", "Iptc.Application2.BylineTitle", "Iptc.Application2.ObjectName", "Xmp.dc.title"});
}

QString TAVMetadataReaderMgr::getCameraModel() const
{
    return firstValueOf({"Exif.Image.Model"});
}

QString TAVMetadataReaderMgr::getCameraSoftware() const
{
    return firstValueOf({"Exif.Image.Software"});
}

QString TAVMetadataReaderMgr::getPhotographer() const
{
    return firstValueOf({"Exif.Image.Artist"});
}

QString TAVMetadataReaderMgr::getCopyright() const
{
    return firstValueOf({"Exif.Image.Copyright", "Iptc.Application2.Copyright", "Xmp.dc.copyright"});
}

QString TAVMetadataReaderMgr::getDescription() const
{
    return firstValueOf({"Exif.Image.ImageDescription", "Iptc.Application2.Caption", "Xmp.dc.description"});
}

QString TAVMetadataReaderMgr::getGPSAltitudeRef() const
{
    return firstValueOf({"Exif.GPSInfo.GPSAltitudeRef"});
}

QString TAVMetadataReaderMgr::getGPSAltitude() const
{
    return firstValueOf({"Exif.GPSInfo.GPSAltitude"});
}

QString TAVMetadataReaderMgr::getGPSLatitudeRef() const
{
    return firstValueOf({"Exif.GPSInfo.GPSLatitudeRef", "Exif.GPSInfo.GPSDestLatitudeRef"});
}

QString TAVMetadataReaderMgr::getGPSLatitudeString() const
{
    return firstValueOf({"Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSDestLatitude"});
}

QString TAVMetadataReaderMgr::getGPSLongitudeRef() const
{
    return firstValueOf({"Exif.GPSInfo.GPSLongitudeRef", "Exif.GPSInfo.GPSDestLongitudeRef"});
}

QString TAVMetadataReaderMgr::getGPSLongitudeString() const
{
    return firstValueOf({"Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSDestLongitude"});
}

QString TAVMetadataReaderMgr::getGPSVersion() const
{
    const QString value = getOneValueForKey(QStringLiteral("Exif.GPSInfo.GPSVersionID"));
    if (!hasText(value)) {
        return QString();
    }
    return QStringLiteral("version ") + value.split(QLatin1Char(' ')).join(QLatin1Char('.'));
}

QString TAVMetadataReaderMgr::getImageSize() const
{
    return exifReader_ ? exifReader_->getImageSize() : QString();
}

float TAVMetadataReaderMgr::getImageSizeByte() const
{
    return exifReader_ ? exifReader_->getImageSizeByte() : 0.0f;
}

bool TAVMetadataReaderMgr::getGPSLatitudeDecimalValue(double& degree, double& minutes, double& secondes) const
{
    const QString text = getGPSLatitudeString();
    return hasText(text) && TAVMetadataHelper::paraseGpsInfoFromString(text, &degree, &minutes, &secondes);
}

bool TAVMetadataReaderMgr::getGPSLongitudeDecimalValue(double& degree, double& minutes, double& secondes) const
{
    const QString text = getGPSLongitudeString();
    return hasText(text) && TAVMetadataHelper::paraseGpsInfoFromString(text, &degree, &minutes, &secondes);
}

bool TAVMetadataReaderMgr::isString(const QString& text, const QString& part, bool ignoreCase)
{
    if (text.isEmpty() || part.isEmpty()) {
        return false;
    }
    return text.contains(part, ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive);
}

QString TAVMetadataReaderMgr::getOneValueForKey(const QString& key) const
{
    if (key.isEmpty()) {
        return QString();
    }
    for (const TAVEntityPtr& row : aryMetadata_) {
        if (row->key() == key) {
            return row->value();
        }
    }
    return QString();
}
