#include "models/image/TAVImageObject.h"

#include "foundation/DateServices.h"
#include "foundation/Dispatch.h"
#include "foundation/FileServices.h"
#include "foundation/TextNumbers.h"
#include "models/read/TAVMetadataReaderMgr.h"
#include "models/tables/TAVCVSParaser.h"
#include "models/tables/TAVKeyLists.h"
#include "models/values/TAVMetadataHelper.h"
#include "models/write/TAVMetadataWritterMgr.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

// -1, 0 or 1 for a three-way comparison result.
int64_t signOf(double difference)
{
    return difference > 0 ? 1 : (difference < 0 ? -1 : 0);
}

int64_t signOf(int difference)
{
    return difference > 0 ? 1 : (difference < 0 ? -1 : 0);
}

// Coordinates in degrees; an image without a position sorts first.
int64_t comparePositions(float first, float second)
{
    if (std::isnan(first) || std::isnan(second))
        return std::isnan(first) == std::isnan(second) ? 0 : (std::isnan(first) ? -1 : 1);
    return signOf(double(first) - double(second));
}

int64_t compareTexts(const QString& first, const QString& second)
{
    return signOf(QString::compare(first, second, Qt::CaseInsensitive));
}

// A text of the reader manager, or "" when there is no manager or no value.
template <typename Getter> QString textOf(const TAVMetadataReaderMgr* reader, Getter getter)
{
    if (!reader)
        return QStringLiteral("");
    const QString value = (reader->*getter)();
    return value.isNull() ? QStringLiteral("") : value;
}

QString labelOf(
    const TAVMetadataReaderMgr* reader, TAVMetadataReaderMgr::LabelAndIcon (TAVMetadataReaderMgr::*getter)() const)
{
    if (!reader)
        return QStringLiteral("");
    const QString label = (reader->*getter)().value(QString::fromLatin1(TAVMetadataReaderMgr::kValueKey));
    return label.isNull() ? QStringLiteral("") : label;
}

// The read value of a category: the row read with the key when it holds the
// same text (as the other tags' read values are their rows), so that a
// photo keeps a value it shows once, else an entity of its own.
void insertEntity(TAVEntityMap& map, const TAVMetadataReaderMgr* reader, const QString& key, const QString& value)
{
    TAVEntityPtr row = reader && !value.isEmpty() ? reader->readRowWithKey(key) : nullptr;
    map.insert(key, row && row->value() == value ? std::move(row) : TAVEntity::entityWithValue(value, key));
}

// A category's read values, key by key.
TAVEntityMap readValues(const TAVMetadataReaderMgr* reader, std::initializer_list<std::pair<QString, QString>> values)
{
    TAVEntityMap map;
    for (const auto& [key, value] : values)
        insertEntity(map, reader, key, value);
    return map;
}

} // namespace

TAVImageObject::TAVImageObject(const QString& path)
    : selfRef_(std::make_shared<TAVRecordOwner*>(this))
{
    setExifData(TAVExifData::create());
    readImageOriginalDatetimeInfo(path);
    setPath(path);
}

TAVImageObject::~TAVImageObject()
{
    // The record and its copies may outlive this object (a tab holds them).
    *selfRef_ = nullptr;
}

void TAVImageObject::setExifData(const TAVExifDataPtr& record)
{
    if (exifData_ && exifData_->accessImgObjRef() == selfRef_)
        exifData_->setAccessImgObj(nullptr);
    exifData_ = record;
    if (exifData_)
        exifData_->setAccessImgObj(selfRef_);
}

void TAVImageObject::setPath(const QString& path)
{
    path_ = path;
    loadImageMetadata(path);
    refreshDispUIData();
    if (readerMgr_)
        readerMgr_->releaseFile();
}

void TAVImageObject::loadImageMetadata(const QString& path)
{
    takeImageMetadata(path, path.isEmpty() ? nullptr : readRows(path, nullptr));
}

std::unique_ptr<TAVMetadataReaderMgr> TAVImageObject::readRows(
    const QString& path, const TAVImageMetadatReaderBase::SharedImagePtr& parsed, const TAVMetadataReaderMgr* earlier)
{
    auto reader
        = parsed ? std::make_unique<TAVMetadataReaderMgr>(path, parsed) : std::make_unique<TAVMetadataReaderMgr>(path);
    if (earlier)
        reader->shareLongValuesOf(earlier->keptRows());
    reader->readAllMetadata();
    return reader;
}

void TAVImageObject::takeImageMetadata(const QString& path, std::unique_ptr<TAVMetadataReaderMgr> reader)
{
    exifData_->setStrImagePath(path);
    // The other tags are made again from the new rows (refreshOtherInfo):
    // copies of them still owed from the old rows would be built only to
    // be dropped.
    exifData_->initImageExifData(std::nullopt, TAVExifData::CategoryOther);
    exifData_->mutableOrgExifData().clear();
    exifData_->setCreatedDateTimeOffset(std::nullopt);
    pendingShift_.reset();
    if (path.isEmpty() || !reader)
        return;

    readerMgr_ = std::move(reader);
    // Shared with the reading manager until the editable tags are added.
    exifData_->mutableOrgExifData() = readerMgr_->keptRows();

    TAVCVSParaser::loadCanEditTags();
    const auto& families = TAVCVSParaser::tagsByFamily();
    const TAVEntityList exifRest = _leftTagInExist(families.value(QStringLiteral("exif")));
    const TAVEntityList iptcRest = _leftTagInExist(families.value(QStringLiteral("iptc")));
    // The record keeps its rows as long as the photo is listed: one copy,
    // sized exactly, not one grown row by row.
    TAVEntityList& rows = exifData_->mutableOrgExifData();
    rows.reserve(rows.size() + exifRest.size() + iptcRest.size() + (rows.isEmpty() ? 3 : 0));
    _composeAllEditEntities(exifRest, iptcRest);
    readerMgr_->keepRecordRows(rows);
}

bool TAVImageObject::_isTag(const TAVExifTagPtr& tag, const TAVEntityList& rows) const
{
    if (!tag || rows.isEmpty())
        return false;
    return std::any_of(
        rows.cbegin(), rows.cend(), [&](const TAVEntityPtr& row) { return row && row->key() == tag->tagStr(); });
}

TAVEntityList TAVImageObject::_leftTagInExist(const QList<TAVExifTagPtr>& tags) const
{
    // While the rows are the reading manager's own, its index of their keys
    // answers: the editable tags are about a hundred, the rows a few hundred.
    const TAVEntityList& rows = exifData_->maryOrgExifData();
    const bool indexed = readerMgr_ && readerMgr_->rowsAre(rows);
    TAVEntityList rest;
    for (const auto& tag : tags) {
        if (!tag)
            continue;
        const bool read = indexed ? readerMgr_->hasRowWithKey(tag->tagStr()) : _isTag(tag, rows);
        if (!read)
            rest.append(TAVEntity::entityWithValue(QStringLiteral(""), tag->tagStr()));
    }
    return rest;
}

void TAVImageObject::_composeAllEditEntities(const TAVEntityList& exifRest, const TAVEntityList& iptcRest)
{
    TAVEntityList& rows = exifData_->mutableOrgExifData();
    if (rows.isEmpty()) {
        // The file could not be read: the sections still get their headings.
        for (const char* family : {"EXIF", "IPTC", "XMP"}) {
            auto group = std::make_shared<TAVEntity>();
            group->setKey(QString::fromLatin1(family));
            group->setIsGroup(true);
            rows.append(group);
        }
    }
    // The empty EXIF rows end the EXIF section, just before the IPTC heading.
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows.at(i) && rows.at(i)->isGroup() && rows.at(i)->key() == QLatin1String("IPTC")) {
            for (qsizetype j = 0; j < exifRest.size(); ++j)
                rows.insert(i + j, exifRest.at(j));
            break;
        }
    }
    rows.append(iptcRest);
}

void TAVImageObject::refreshDispUIData()
{
    refreshSummary();
    refreshExposure();
    refreshGeoInfo();
    refreshOtherInfo();
}

void TAVImageObject::refreshSummary()
{
    const TAVMetadataReaderMgr* reader = readerMgr_.get();
    // The record keeps the creation date in fixed forms; only the interface
    // shows it in the user's locale.
    QString date = QStringLiteral("");
    QString time = QStringLiteral("");
    const QDateTime created = DateServices::dateValue(textOf(reader, &TAVMetadataReaderMgr::getCreateDateAndTime));
    if (created.isValid()) {
        date = DateServices::getStringFromDate(created, TAVMetadataHelper::getAppDatetimeFormateString(1));
        time = DateServices::getStringFromDate(created, TAVMetadataHelper::getAppDatetimeFormateString(2));
    }
    exifData_->initImageExifData(
        readValues(reader,
            {
                {TAVKeyLists::createDateKey(), date},
                {TAVKeyLists::createTimeKey(), time},
                {QStringLiteral("Summary.ImageSize"), textOf(reader, &TAVMetadataReaderMgr::getImageSize)},
                {QStringLiteral("Exif.Image.Make"), textOf(reader, &TAVMetadataReaderMgr::getCameraMake)},
                {QStringLiteral("Iptc.Application2.Keywords"), textOf(reader, &TAVMetadataReaderMgr::getKeywords)},
                {QStringLiteral("Exif.Photo.LensMake"), textOf(reader, &TAVMetadataReaderMgr::getLensMake)},
                {QStringLiteral("Exif.Photo.LensModel"), textOf(reader, &TAVMetadataReaderMgr::getLensModel)},
                {QStringLiteral("Iptc.Application2.Caption"), textOf(reader, &TAVMetadataReaderMgr::getCaption)},
                {QStringLiteral("Iptc.Application2.ObjectName"), textOf(reader, &TAVMetadataReaderMgr::getTitle)},
                {QStringLiteral("Exif.Image.Model"), textOf(reader, &TAVMetadataReaderMgr::getCameraModel)},
                {QStringLiteral("Exif.Image.Software"), textOf(reader, &TAVMetadataReaderMgr::getCameraSoftware)},
                {QStringLiteral("Exif.Image.ImageDescription"), textOf(reader, &TAVMetadataReaderMgr::getDescription)},
                {QStringLiteral("Exif.Image.Artist"), textOf(reader, &TAVMetadataReaderMgr::getPhotographer)},
                {QStringLiteral("Exif.Image.Copyright"), textOf(reader, &TAVMetadataReaderMgr::getCopyright)},
            }),
        TAVExifData::CategorySummary);
}

void TAVImageObject::refreshExposure()
{
    const TAVMetadataReaderMgr* reader = readerMgr_.get();
    using R = TAVMetadataReaderMgr;
    exifData_->initImageExifData(
        readValues(reader,
            {
                {QStringLiteral("Exif.Photo.ExposureTime"), textOf(reader, &R::getShutterSpeed)},
                {QStringLiteral("Exif.Photo.FNumber"), textOf(reader, &R::getAperture)},
                {QStringLiteral("Exif.Photo.ISOSpeedRatings"), textOf(reader, &R::getSensitivity)},
                {QStringLiteral("Exif.Photo.Flash"), textOf(reader, &R::getFlash)},
                {QStringLiteral("Exif.Photo.ExposureProgram"), textOf(reader, &R::getExposureProgram)},
                {QStringLiteral("Exif.Photo.MeteringMode"), textOf(reader, &R::getMeteringMode)},
                {QStringLiteral("Exif.Photo.SubjectDistanceRange"), textOf(reader, &R::getFocusMode)},
                {QStringLiteral("Exif.Photo.SensingMethod"), textOf(reader, &R::getSensor)},
                {QStringLiteral("Exif.Photo.SubjectDistance"), textOf(reader, &R::getSubjectDistance)},
                {QStringLiteral("Exif.Photo.FocalLength"), textOf(reader, &R::getFocalLength)},
                {QStringLiteral("Exif.Photo.FocalLengthIn35mmFilm"), textOf(reader, &R::getFocalLength35)},
                {QStringLiteral("Exif.Photo.DigitalZoomRatio"), textOf(reader, &R::getDigitalZoom)},
                {QStringLiteral("Exif.Photo.WhiteBalance"), labelOf(reader, &R::getWhitebalance)},
                {QStringLiteral("Exif.Photo.Contrast"), labelOf(reader, &R::getContrast)},
                {QStringLiteral("Exif.Photo.Saturation"), labelOf(reader, &R::getSaturation)},
                {QStringLiteral("Exif.Photo.Sharpness"), labelOf(reader, &R::getSharpness)},
            }),
        TAVExifData::CategoryExposure);
}

void TAVImageObject::refreshGeoInfo()
{
    const TAVMetadataReaderMgr* reader = readerMgr_.get();
    using R = TAVMetadataReaderMgr;
    exifData_->initImageExifData(
        readValues(reader,
            {
                {QStringLiteral("Exif.GPSInfo.GPSVersionID"), textOf(reader, &R::getGPSVersion)},
                {QStringLiteral("Exif.GPSInfo.GPSAltitudeRef"), textOf(reader, &R::getGPSAltitudeRef)},
                {QStringLiteral("Exif.GPSInfo.GPSAltitude"), textOf(reader, &R::getGPSAltitude)},
                {QStringLiteral("Exif.GPSInfo.GPSLatitudeRef"), textOf(reader, &R::getGPSLatitudeRef)},
                {QStringLiteral("Exif.GPSInfo.GPSLatitude"), textOf(reader, &R::getGPSLatitudeString)},
                {QStringLiteral("Exif.GPSInfo.GPSLongitudeRef"), textOf(reader, &R::getGPSLongitudeRef)},
                {QStringLiteral("Exif.GPSInfo.GPSLongitude"), textOf(reader, &R::getGPSLongitudeString)},
            }),
        TAVExifData::CategoryGps);
}

void TAVImageObject::refreshOtherInfo()
{
    // The read values share the row entities: neither is ever changed after
    // the read (edits go to the record's user-set copies), so a second copy
    // of every row would only cost memory. The record builds the category
    // when something first reaches it: most imported photos are never shown
    // with their other tags.
    exifData_->initOtherFromRows();
}

void TAVImageObject::readImageOriginalDatetimeInfo(const QString& path)
{
    if (path.isEmpty() || !FileServices::fileExists(path))
        return;
    fileOrignalCreateDate_ = FileServices::creationDate(path);
    fileOrignalModifiedDate_ = FileServices::modificationDate(path);
}

void TAVImageObject::setSrcPath(const QString& path)
{
    srcPath_ = path;
    srcIdentity_ = FileServices::identityOf(path);
    if (!path.isEmpty() && FileServices::fileExists(path))
        fileOrignalCreateDate_ = FileServices::creationDate(path);
}

QList<TAVEntityPtr> TAVImageObject::readAllMetadata(uint64_t exportType) const
{
    return readerMgr_ ? readerMgr_->readAllMetadata(exportType) : QList<TAVEntityPtr>();
}

QString TAVImageObject::getValueForKey(const QString& key, int32_t category) const
{
    return exifData_->getValueForKey(key, category);
}

void TAVImageObject::restore()
{
    exifData_->restore();
}

void TAVImageObject::clear(uint64_t kind)
{
    // Kinds beyond the known ones clear everything without "clear all".
    exifData_->clear(kind > uint64_t(TAVExifData::ClearIptc) ? INT32_MAX : int32_t(kind));
}

void TAVImageObject::applyToNewExifDataSetting(const TAVExifData& source)
{
    restore();
    exifData_->applyToNewExifDataSetting(source);
}

TAVImageObject* TAVImageObject::ownerOf(const TAVExifData& record)
{
    return dynamic_cast<TAVImageObject*>(record.accessImgObj());
}

void TAVImageObject::notiRefreshUIWhenModified()
{
    tellDelegate(&TAVImageObjectProtocol::imageObjectHasModified);
}

void TAVImageObject::tellDelegate(void (TAVImageObjectProtocol::*call)(TAVImageObject*))
{
    if (!delegate_)
        return;
    // The delegate is a window: it hears from us on the GUI thread only.
    Dispatch::syncMain([this, call] {
        if (delegate_)
            (delegate_->*call)(this);
    });
}

std::vector<bool> TAVImageObject::getVaildFocusSetting() const
{
    if (!readerMgr_)
        return std::vector<bool>(TAVKeyLists::focusModeLabels().size(), false);
    const auto valid = readerMgr_->validFocusSettings();
    return std::vector<bool>(valid.begin(), valid.end());
}

std::vector<bool> TAVImageObject::getVaildExposurePrgmSetting() const
{
    if (!readerMgr_)
        return std::vector<bool>(TAVKeyLists::exposureProgramLabels().size(), false);
    const auto valid = readerMgr_->validExposureProgramSettings();
    return std::vector<bool>(valid.begin(), valid.end());
}

QString TAVImageObject::getImageForImageState() const
{
    const TAVExifData::ModifyState state = TAVExifData::ModifyState(exifData_->enuModifyState());
    if (state == TAVExifData::StateModified)
        return QStringLiteral("modified.png");
    if (state == TAVExifData::StateSaveFailed)
        return QStringLiteral("error.png");
    // An edit that Apply To All left under an unchanged state is still owed:
    // Save All writes it and quitting asks about it. A record a save is
    // rewriting is not looked into; the save's end marks the row again.
    const std::unique_lock<std::recursive_mutex> record(recordInSave_, std::try_to_lock);
    if (record.owns_lock() && exifData_->hasUnsavedWork())
        return QStringLiteral("modified.png");
    return state == TAVExifData::StateSaved ? QStringLiteral("finish.png") : QString();
}

QString TAVImageObject::imageTitle() const
{
    // The user's file: a working copy made beside an older one carries a
    // "(1)" the user never chose.
    return QFileInfo(srcPath_.isEmpty() ? path_ : srcPath_).fileName();
}

bool TAVImageObject::removeWorkingCopy()
{
    if (path_.isEmpty() || path_ == srcPath_)
        return false;
    // Nothing read from the copy is kept open past it.
    readerMgr_.reset();
    writerMgr_.reset();
    QFile copy(path_);
    if (copy.exists() && !copy.remove()) {
        qWarning("Could not remove the working copy %s: %s", qPrintable(path_), qPrintable(copy.errorString()));
        return false;
    }
    return true;
}

double TAVImageObject::sortNumber(const QString& key, int32_t category) const
{
    return TextNumbers::doubleValue(getValueForKey(key, category));
}

int64_t TAVImageObject::compareWithObj(const TAVImageObject& other, const QString& sortKey) const
{
    const QString key = sortKey.toLower();
    if (key == QLatin1String("name"))
        return compareTexts(imageTitle(), other.imageTitle());
    if (key == QLatin1String("type"))
        return compareTexts(QFileInfo(imageTitle()).suffix(), QFileInfo(other.imageTitle()).suffix());
    if (key == QLatin1String("createdatetime"))
        return compareDate(
            getValueForKey(TAVKeyLists::createDateKey(), 0), other.getValueForKey(TAVKeyLists::createDateKey(), 0));
    if (key == QLatin1String("modifydate")) {
        const QDateTime mine = FileServices::modificationDate(path_);
        const QDateTime theirs = FileServices::modificationDate(other.path_);
        if (!mine.isValid() || !theirs.isValid())
            return 0;
        return signOf(double(theirs.msecsTo(mine)));
    }
    if (key == QLatin1String("camera"))
        return compareTexts(getValueForKey(QStringLiteral("Exif.Image.Model"), 0),
            other.getValueForKey(QStringLiteral("Exif.Image.Model"), 0));
    if (key == QLatin1String("imagesize")) {
        const float mine = readerMgr_ ? readerMgr_->getImageSizeByte() : 0;
        const float theirs = other.readerMgr_ ? other.readerMgr_->getImageSizeByte() : 0;
        return signOf(double(mine) - double(theirs));
    }
    if (key == QLatin1String("shutterspeed"))
        return signOf(double(getShutterSpeed()) - double(other.getShutterSpeed()));
    // The greater f-number comes first.
    if (key == QLatin1String("aperture"))
        return signOf(double(other.getAperture()) - double(getAperture()));
    if (key == QLatin1String("gpslatitude"))
        return comparePositions(getGPSFloat(true), other.getGPSFloat(true));
    if (key == QLatin1String("gpslongitude"))
        return comparePositions(getGPSFloat(false), other.getGPSFloat(false));

    static const QMap<QString, QString> exposureNumbers = {
        {QStringLiteral("sensitivity"), QStringLiteral("Exif.Photo.ISOSpeedRatings")},
        {QStringLiteral("subjectdistance"), QStringLiteral("Exif.Photo.SubjectDistance")},
        {QStringLiteral("focallength"), QStringLiteral("Exif.Photo.FocalLength")},
        {QStringLiteral("35mmequiv"), QStringLiteral("Exif.Photo.FocalLengthIn35mmFilm")},
        {QStringLiteral("digitalzoom"), QStringLiteral("Exif.Photo.DigitalZoomRatio")},
    };
    const QString numberKey = exposureNumbers.value(key);
    if (numberKey.isNull())
        return 0;
    return signOf(sortNumber(numberKey, 1) - other.sortNumber(numberKey, 1));
}

int64_t TAVImageObject::compareDate(const QString& first, const QString& second)
{
    const QDateTime a = first.isEmpty() ? QDateTime() : DateServices::dateValue(first);
    const QDateTime b = second.isEmpty() ? QDateTime() : DateServices::dateValue(second);
    if (!a.isValid() && !b.isValid())
        return 0;
    if (!a.isValid())
        return -1;
    if (!b.isValid())
        return 1;
    return signOf(double(b.msecsTo(a)));
}

float TAVImageObject::getAperture() const
{
    // "f/2.8" sorts by 2.8.
    const QString value = getValueForKey(QStringLiteral("Exif.Photo.FNumber"), 1);
    const QStringList parts = value.split(QLatin1Char('/'));
    return TextNumbers::floatValue(parts.size() > 1 ? parts.at(1) : value);
}

float TAVImageObject::getShutterSpeed() const
{
    // "1/200", "1/128 sec" and "3/1" sort by the time they stand for.
    const QString value = getValueForKey(QStringLiteral("Exif.Photo.ExposureTime"), 1);
    const qsizetype slash = value.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return TextNumbers::floatValue(value);
    const double numerator = TextNumbers::doubleValue(value.left(slash));
    double denominator = TextNumbers::doubleValue(value.mid(slash + 1));
    if (denominator == 0)
        denominator = 1;
    return float(numerator / denominator);
}

float TAVImageObject::getGPSFloat(bool latitude) const
{
    const QString refKey
        = latitude ? QStringLiteral("Exif.GPSInfo.GPSLatitudeRef") : QStringLiteral("Exif.GPSInfo.GPSLongitudeRef");
    const QString valueKey
        = latitude ? QStringLiteral("Exif.GPSInfo.GPSLatitude") : QStringLiteral("Exif.GPSInfo.GPSLongitude");
    const QString direction = TAVMetadataHelper::getGpsFullDirction(getValueForKey(refKey, 2)).toLower();
    // No position is not 0 degrees, a real place: it is NaN, and sorts first.
    const QString coordinate = getValueForKey(valueKey, 2);
    if (!TAVMetadataHelper::isGpsCoordinate(coordinate))
        return std::numeric_limits<float>::quiet_NaN();
    double degrees = 0;
    double minutes = 0;
    double seconds = 0;
    if (!TAVMetadataHelper::paraseGpsInfoFromString(coordinate, &degrees, &minutes, &seconds))
        return 0;
    const bool negative = direction == (latitude ? QLatin1String("south") : QLatin1String("west"));
    const double value = degrees + minutes / 60 + seconds / 3600;
    return float(negative ? -value : value);
}
