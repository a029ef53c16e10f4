#include "models/read/TAVMetadataReaderMgr.h"

#include "models/read/SidecarExporter.h"
#include "models/read/TAVExifReader.h"
#include "models/read/TAVIPTCReader.h"
#include "models/read/TAVXmpReader.h"
#include "models/values/TAVMetadataHelper.h"

#include "foundation/DateServices.h"

#include <QRegularExpression>
#include <QStringList>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <utility>

namespace {

const char* const kDateTimeOriginal = "Exif.Photo.DateTimeOriginal";
const char* const kDateTimeDigitized = "Exif.Photo.DateTimeDigitized";
const char* const kDateTime = "Exif.Image.DateTime";
const char* const kIptcDateCreated = "Iptc.Application2.DateCreated";
const char* const kIptcTimeCreated = "Iptc.Application2.TimeCreated";
const char* const kXmpPhotoshopDateCreated = "Xmp.photoshop.DateCreated";
const char* const kXmpCreateDate = "Xmp.xmp.CreateDate";
const char* const kXmpDateTimeOriginal = "Xmp.exif.DateTimeOriginal";

// The record's "yyyy-MM-dd HH:mm:ss" of an IPTC date ("2003-08-30") and time
// ("10:00:00-07:00"): the wall-clock time, as EXIF keeps it; midnight when
// the time is missing. Null when the date is not a full date.
QString iptcDateTimeText(const QString& date, const QString& time)
{
    static const QRegularExpression datePattern(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    static const QRegularExpression timePattern(QStringLiteral("^(\\d{2}:\\d{2}:\\d{2})"));
    if (!datePattern.match(date).hasMatch()) {
        return QString();
    }
    const QRegularExpressionMatch clock = timePattern.match(time);
    return date + QLatin1Char(' ') + (clock.hasMatch() ? clock.captured(1) : QStringLiteral("00:00:00"));
}

// The same of an XMP date ("2003-08-30T10:00:00-07:00", "2003-08-30T10:00Z",
// "2003-08-30"); null for a year or a month alone.
QString xmpDateTimeText(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})(?:T(\\d{2}:\\d{2})(:\\d{2})?(?:\\.\\d+)?)?(?:Z|[+-]\\d{2}:\\d{2})?$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch()) {
        return QString();
    }
    if (match.captured(2).isEmpty()) {
        return match.captured(1) + QStringLiteral(" 00:00:00");
    }
    const QString seconds = match.captured(3).isEmpty() ? QStringLiteral(":00") : match.captured(3);
    return match.captured(1) + QLatin1Char(' ') + match.captured(2) + seconds;
}

bool hasText(const QString& text)
{
    return !text.isEmpty();
}

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
    : TAVMetadataReaderMgr(path, std::make_shared<TAVImageMetadatReaderBase::SharedImage>())
{
}

TAVMetadataReaderMgr::TAVMetadataReaderMgr(const QString& path, TAVImageMetadatReaderBase::SharedImagePtr shared)
{
    // One open and one parse of the file serve all three families and the
    // derived values.
    exifReader_ = std::make_unique<TAVExifReader>(path, shared);
    iptcReader_ = std::make_unique<TAVIPTCReader>(path, shared);
    xmpReader_ = std::make_unique<TAVXmpReader>(path, shared);
}

TAVMetadataReaderMgr::~TAVMetadataReaderMgr() = default;

void TAVMetadataReaderMgr::shareLongValuesOf(const QList<TAVEntityPtr>& rows)
{
    exifReader_->shareLongValuesOf(rows);
}

size_t TAVMetadataReaderMgr::keyHash(const QString& key)
{
    // The standard hash: Qt's own string hash costs several times as much.
    const std::u16string_view text(reinterpret_cast<const char16_t*>(key.constData()), size_t(key.size()));
    return std::hash<std::u16string_view>()(text);
}

const TAVEntityPtr* TAVMetadataReaderMgr::indexedRow(const QString& key) const
{
    const size_t hash = keyHash(key);
    auto candidate = std::lower_bound(rowsByKeyHash_.cbegin(), rowsByKeyHash_.cend(), hash,
        [](const std::pair<size_t, qsizetype>& entry, size_t wanted) { return entry.first < wanted; });
    for (; candidate != rowsByKeyHash_.cend() && candidate->first == hash; ++candidate) {
        const TAVEntityPtr& row = indexedRows_.at(candidate->second);
        if (row->key() == key) {
            return &row;
        }
    }
    return nullptr;
}

QList<TAVEntityPtr> TAVMetadataReaderMgr::readAllFamilies()
{
    const std::array<TAVImageMetadatReaderBase*, 3> readers{exifReader_.get(), iptcReader_.get(), xmpReader_.get()};
    std::array<std::optional<QList<TAVEntityPtr>>, 3> families;
    qsizetype count = 0;
    for (size_t i = 0; i < readers.size(); ++i) {
        families[i] = readers[i]->doReadImageMeatadata();
        count += families[i] ? families[i]->size() : 0;
    }
    // The rows are kept as long as the photo is listed: sized exactly, not
    // with the room a growing list leaves.
    QList<TAVEntityPtr> rows;
    rows.reserve(count);
    for (const std::optional<QList<TAVEntityPtr>>& family : families) {
        if (family) {
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
    xmpUndecodable_ = xmpReader_->xmpUndecodable();
    modifyDateFormat();
    rowsByKeyHash_.clear();
    rowsByKeyHash_.reserve(size_t(aryMetadata_.size()));
    indexedRows_ = aryMetadata_;
    for (qsizetype i = 0; i < indexedRows_.size(); ++i) {
        rowsByKeyHash_.emplace_back(keyHash(indexedRows_.at(i)->key()), i);
    }
    // Stable: the first row of a key stays ahead of its later ones.
    std::stable_sort(
        rowsByKeyHash_.begin(), rowsByKeyHash_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return aryMetadata_;
}

void TAVMetadataReaderMgr::releaseFile()
{
    // What the rules need beyond the rows is kept first.
    makerNoteIdentifier();
    if (exifReader_) {
        exifReader_->releaseImage();
    }
    // Assigning {} would keep the index's room, some 16 bytes a row.
    std::vector<std::pair<size_t, qsizetype>>().swap(rowsByKeyHash_);
    indexedRows_ = QList<TAVEntityPtr>();
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
    // Only a text that is a date counts: a blanked DateTimeOriginal must not
    // hide the IPTC or XMP date behind it.
    const auto dated = [](const QString& text) { return DateServices::dateValue(text).isValid(); };
    for (const char* key : {kDateTimeOriginal, kDateTimeDigitized}) {
        const QString value = getOneValueForKey(QLatin1String(key));
        if (dated(value)) {
            return value;
        }
    }
    const QString iptc = iptcDateTimeText(
        getOneValueForKey(QLatin1String(kIptcDateCreated)), getOneValueForKey(QLatin1String(kIptcTimeCreated)));
    if (dated(iptc)) {
        return iptc;
    }
    // XMP's copy of the EXIF capture date is the capture date, as EXIF's own
    // is.
    for (const char* key : {kXmpDateTimeOriginal, kXmpPhotoshopDateCreated, kXmpCreateDate}) {
        const QString value = xmpDateTimeText(getOneValueForKey(QLatin1String(key)));
        if (dated(value)) {
            return value;
        }
    }
    const QString modified = getOneValueForKey(QLatin1String(kDateTime));
    return hasText(modified) ? modified : QString();
}

QString TAVMetadataReaderMgr::getCameraMakeAndModel() const
{
    QString make;
    QString model;
    for (const TAVEntityPtr& row : aryMetadata_) {
        if (row->key() == QLatin1String("Exif.Image.Make")) {
            make = keptValue(*row).value_or(make);
        } else if (row->key() == QLatin1String("Exif.Image.Model")) {
            model = keptValue(*row).value_or(model);
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

QString TAVMetadataReaderMgr::wholeTextOf(const char* iptcKey, const char* xmpKey) const
{
    // IPTC keeps only the start of a long title, caption or keyword; its XMP
    // twin then holds the whole text, which begins with the IPTC copy. A
    // keyword list compares word by word.
    const QString iptc = getOneValueForKey(QLatin1String(iptcKey));
    const QString xmp = getOneValueForKey(QLatin1String(xmpKey));
    if (hasText(iptc) && hasText(xmp) && xmp != iptc) {
        const QString separator = QStringLiteral(", ");
        const QStringList cut = iptc.split(separator);
        const QStringList whole = xmp.split(separator);
        bool prefixes = cut.size() == whole.size();
        for (qsizetype i = 0; prefixes && i < cut.size(); ++i) {
            prefixes = whole.at(i).startsWith(cut.at(i));
        }
        if (prefixes) {
            return xmp;
        }
    }
    return hasText(iptc) ? iptc : xmp;
}

QString TAVMetadataReaderMgr::getKeywords() const
{
    // Many programs keep keywords only in XMP; a keyword edit writes both.
    return wholeTextOf("Iptc.Application2.Keywords", "Xmp.dc.subject");
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
    const QString caption = getOneValueForKey(QStringLiteral("Iptc.Application2.Caption"));
    return hasText(caption) ? wholeTextOf("Iptc.Application2.Caption", "Xmp.dc.description") : caption;
}

QString TAVMetadataReaderMgr::getTitle() const
{
    // The image's own titles first, the one a title edit writes leading; the
    // By-line Title is the photographer's job title, shown only for want of
    // any other.
    const QString title = wholeTextOf("Iptc.Application2.ObjectName", "Xmp.dc.title");
    return hasText(title) ? title : firstValueOf({"Exif.Image.XPTitle", "Iptc.Application2.BylineTitle"});
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
    return TAVMetadataHelper::isGpsCoordinate(text)
        && TAVMetadataHelper::paraseGpsInfoFromString(text, &degree, &minutes, &secondes);
}

bool TAVMetadataReaderMgr::getGPSLongitudeDecimalValue(double& degree, double& minutes, double& secondes) const
{
    const QString text = getGPSLongitudeString();
    return TAVMetadataHelper::isGpsCoordinate(text)
        && TAVMetadataHelper::paraseGpsInfoFromString(text, &degree, &minutes, &secondes);
}

bool TAVMetadataReaderMgr::isString(const QString& text, const QString& part, bool ignoreCase)
{
    if (text.isEmpty() || part.isEmpty()) {
        return false;
    }
    return text.contains(part, ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive);
}

// ---- derived camera values ----

int32_t TAVMetadataReaderMgr::exportMetadata(uint64_t type, const QString& srcPath, const QString& folder)
{
    return SidecarExporter::exportMetadata(type, srcPath, folder);
}

int32_t TAVMetadataReaderMgr::doExportMetadata(int32_t argc, const char* const argv[])
{
    return SidecarExporter::doExportMetadata(argc, argv);
}

QString TAVMetadataReaderMgr::getOneValueForKey(const QString& key) const
{
    if (key.isEmpty()) {
        return QString();
    }
    if (!rowsByKeyHash_.empty()) {
        const TAVEntityPtr* row = indexedRow(key);
        return row ? (*row)->value() : QString();
    }
    for (const TAVEntityPtr& row : aryMetadata_) {
        if (row->key() == key) {
            if (std::optional<QString> value = keptValue(*row)) {
                return *value;
            }
        }
    }
    return QString();
}

TAVEntityPtr TAVMetadataReaderMgr::readRowWithKey(const QString& key) const
{
    const TAVEntityPtr* row = rowsByKeyHash_.empty() ? nullptr : indexedRow(key);
    return row ? *row : nullptr;
}

bool TAVMetadataReaderMgr::hasRowWithKey(const QString& key) const
{
    if (!rowsByKeyHash_.empty()) {
        return indexedRow(key) != nullptr;
    }
    return std::any_of(aryMetadata_.cbegin(), aryMetadata_.cend(),
        [&key](const TAVEntityPtr& row) { return row->key() == key && keptValue(*row); });
}

std::optional<QString> TAVMetadataReaderMgr::keptValue(const TAVEntity& row)
{
    QString value = row.value();
    if (value.isEmpty() && !value.isNull()) {
        return std::nullopt; // an editable tag's row of the record
    }
    return value;
}

void TAVMetadataReaderMgr::keepRecordRows(const QList<TAVEntityPtr>& rows)
{
    aryMetadata_ = rows;
}
