#include "models/TAVImageObject.h"

#include "foundation/DateServices.h"
#include "foundation/Dispatch.h"
#include "foundation/FileServices.h"
#include "foundation/TextNumbers.h"
#include "foundation/UiServices.h"
#include "foundation/UserDefaults.h"
#include "models/ExivMemoryFile.h"
#include "models/TAVCVSParaser.h"
#include "models/TAVKeyLists.h"
#include "models/TAVMetadataHelper.h"
#include "models/TAVMetadataReaderMgr.h"
#include "models/TAVMetadataWritterMgr.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <future>
#include <limits>
#include <mutex>
#include <utility>

namespace {

const QString kCreateDateKey = QStringLiteral("Exif.Image.CreateDate");
const QString kCreateTimeKey = QStringLiteral("Summary.CreateTime");

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

void insertEntity(TAVEntityMap& map, const QString& key, const QString& value)
{
    map.insert(key, TAVEntity::entityWithValue(value, key));
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
    const QString& path, const TAVImageMetadatReaderBase::SharedImagePtr& parsed)
{
    auto reader
        = parsed ? std::make_unique<TAVMetadataReaderMgr>(path, parsed) : std::make_unique<TAVMetadataReaderMgr>(path);
    reader->readAllMetadata();
    return reader;
}

void TAVImageObject::takeImageMetadata(const QString& path, std::unique_ptr<TAVMetadataReaderMgr> reader)
{
    exifData_->setStrImagePath(path);
    exifData_->mutableOrgExifData().clear();
    exifData_->setCreatedDateTimeOffset(std::nullopt);
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
    TAVEntityMap map;
    insertEntity(map, kCreateDateKey, date);
    insertEntity(map, kCreateTimeKey, time);
    insertEntity(map, QStringLiteral("Summary.ImageSize"), textOf(reader, &TAVMetadataReaderMgr::getImageSize));
    insertEntity(map, QStringLiteral("Exif.Image.Make"), textOf(reader, &TAVMetadataReaderMgr::getCameraMake));
    insertEntity(map, QStringLiteral("Iptc.Application2.Keywords"), textOf(reader, &TAVMetadataReaderMgr::getKeywords));
    insertEntity(map, QStringLiteral("Exif.Photo.LensMake"), textOf(reader, &TAVMetadataReaderMgr::getLensMake));
    insertEntity(map, QStringLiteral("Exif.Photo.LensModel"), textOf(reader, &TAVMetadataReaderMgr::getLensModel));
    insertEntity(map, QStringLiteral("Iptc.Application2.Caption"), textOf(reader, &TAVMetadataReaderMgr::getCaption));
    insertEntity(map, QStringLiteral("Iptc.Application2.ObjectName"), textOf(reader, &TAVMetadataReaderMgr::getTitle));
    insertEntity(map, QStringLiteral("Exif.Image.Model"), textOf(reader, &TAVMetadataReaderMgr::getCameraModel));
    insertEntity(map, QStringLiteral("Exif.Image.Software"), textOf(reader, &TAVMetadataReaderMgr::getCameraSoftware));
    insertEntity(
        map, QStringLiteral("Exif.Image.ImageDescription"), textOf(reader, &TAVMetadataReaderMgr::getDescription));
    insertEntity(map, QStringLiteral("Exif.Image.Artist"), textOf(reader, &TAVMetadataReaderMgr::getPhotographer));
    insertEntity(map, QStringLiteral("Exif.Image.Copyright"), textOf(reader, &TAVMetadataReaderMgr::getCopyright));
    exifData_->initImageExifData(map, TAVExifData::CategorySummary);
}

void TAVImageObject::refreshExposure()
{
    const TAVMetadataReaderMgr* reader = readerMgr_.get();
    using R = TAVMetadataReaderMgr;
    TAVEntityMap map;
    insertEntity(map, QStringLiteral("Exif.Photo.ExposureTime"), textOf(reader, &R::getShutterSpeed));
    insertEntity(map, QStringLiteral("Exif.Photo.FNumber"), textOf(reader, &R::getAperture));
    insertEntity(map, QStringLiteral("Exif.Photo.ISOSpeedRatings"), textOf(reader, &R::getSensitivity));
    insertEntity(map, QStringLiteral("Exif.Photo.Flash"), textOf(reader, &R::getFlash));
    insertEntity(map, QStringLiteral("Exif.Photo.ExposureProgram"), textOf(reader, &R::getExposureProgram));
    insertEntity(map, QStringLiteral("Exif.Photo.MeteringMode"), textOf(reader, &R::getMeteringMode));
    insertEntity(map, QStringLiteral("Exif.Photo.SubjectDistanceRange"), textOf(reader, &R::getFocusMode));
    insertEntity(map, QStringLiteral("Exif.Photo.SensingMethod"), textOf(reader, &R::getSensor));
    insertEntity(map, QStringLiteral("Exif.Photo.SubjectDistance"), textOf(reader, &R::getSubjectDistance));
    insertEntity(map, QStringLiteral("Exif.Photo.FocalLength"), textOf(reader, &R::getFocalLength));
    insertEntity(map, QStringLiteral("Exif.Photo.FocalLengthIn35mmFilm"), textOf(reader, &R::getFocalLength35));
    insertEntity(map, QStringLiteral("Exif.Photo.DigitalZoomRatio"), textOf(reader, &R::getDigitalZoom));
    insertEntity(map, QStringLiteral("Exif.Photo.WhiteBalance"), labelOf(reader, &R::getWhitebalance));
    insertEntity(map, QStringLiteral("Exif.Photo.Contrast"), labelOf(reader, &R::getContrast));
    insertEntity(map, QStringLiteral("Exif.Photo.Saturation"), labelOf(reader, &R::getSaturation));
    insertEntity(map, QStringLiteral("Exif.Photo.Sharpness"), labelOf(reader, &R::getSharpness));
    exifData_->initImageExifData(map, TAVExifData::CategoryExposure);
}

void TAVImageObject::refreshGeoInfo()
{
    const TAVMetadataReaderMgr* reader = readerMgr_.get();
    using R = TAVMetadataReaderMgr;
    TAVEntityMap map;
    insertEntity(map, QStringLiteral("Exif.GPSInfo.GPSVersionID"), textOf(reader, &R::getGPSVersion));
    insertEntity(map, QStringLiteral("Exif.GPSInfo.GPSAltitudeRef"), textOf(reader, &R::getGPSAltitudeRef));
    insertEntity(map, QStringLiteral("Exif.GPSInfo.GPSAltitude"), textOf(reader, &R::getGPSAltitude));
    insertEntity(map, QStringLiteral("Exif.GPSInfo.GPSLatitudeRef"), textOf(reader, &R::getGPSLatitudeRef));
    insertEntity(map, QStringLiteral("Exif.GPSInfo.GPSLatitude"), textOf(reader, &R::getGPSLatitudeString));
    insertEntity(map, QStringLiteral("Exif.GPSInfo.GPSLongitudeRef"), textOf(reader, &R::getGPSLongitudeRef));
    insertEntity(map, QStringLiteral("Exif.GPSInfo.GPSLongitude"), textOf(reader, &R::getGPSLongitudeString));
    exifData_->initImageExifData(map, TAVExifData::CategoryGps);
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
    switch (exifData_->enuModifyState()) {
    case TAVExifData::StateModified:
        return QStringLiteral("modified.png");
    case TAVExifData::StateSaved:
        return QStringLiteral("finish.png");
    case TAVExifData::StateSaveFailed:
        return QStringLiteral("error.png");
    default:
        return QString();
    }
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
        return compareDate(getValueForKey(kCreateDateKey, 0), other.getValueForKey(kCreateDateKey, 0));
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

// ---------------------------------------------------------------------------
// The save road

namespace {

QString failureWithDetail(const QString& failure, const QString& detail)
{
    return detail.isEmpty() ? failure : failure + QStringLiteral(": ") + detail;
}

} // namespace

QString TAVImageObject::keptXmpNotice(const QStringList& names)
{
    return names.size() == 1
        ? QStringLiteral("The XMP metadata of this photo could not be read, so it was kept as it was: %1")
              .arg(names.first())
        : QStringLiteral("The XMP metadata of these photos could not be read, so it was kept as it was: %1")
              .arg(names.join(QStringLiteral(", ")));
}

bool TAVImageObject::saveMetadataToImage()
{
    bool written = false;
    bool success = false;
    noteSaveFailure(QString());
    fileError_.clear();
    const bool unshiftable = shiftFindsNoDate();
    shiftFoundNoDate_ = false;
    keptXmpOnClear_ = false;
    bool clears = exifData_->isClearAll();
    for (int32_t category = 0; category < 4 && !clears; ++category) {
        const TAVEntityList entities = exifData_->modifiedUserSetEntities(category);
        clears = std::any_of(
            entities.begin(), entities.end(), [](const TAVEntityPtr& entity) { return entity->isClear(); });
    }
    if (!userFileUnchanged()) {
        reportChangedUserFile();
    } else if (prepareWorkingCopy()) {
        // A fresh writer per save: edits of a failed save never linger in a
        // writer's memory to be written by a later save.
        writerMgr_ = std::make_unique<TAVMetadataWritterMgr>(path_);
        // The checked bytes go to the working copy and the user's file together.
        writerMgr_->setWritesFile(false);
        // A packet the library cannot decode keeps whatever twins of the
        // cleared tags it holds: the user is told. (The save lets the writer
        // go once its bytes are written.)
        const bool xmpUndecodable = writerMgr_->isXmpUndecodable();
        success = exifData_->isClearAll() ? saveClearAll() : saveChangedEntities(written);
        keptXmpOnClear_ = success && clears && xmpUndecodable;
        writerMgr_.reset();
        // New bytes that were not published are removed from beside the user's file.
        pendingUserFile_ = {};
    } else {
        reportSaveFailure(
            failureWithDetail(QStringLiteral("The working copy could not be made again from the file"), fileError_));
    }

    if (success) {
        if (written || exifData_->isClearAll())
            exifData_->setEnuModifyState(TAVExifData::StateSaved);
        else if (unshiftable)
            exifData_->setEnuModifyState(TAVExifData::StateUnchanged); // the shift was all it held
        if (unshiftable)
            reportUnshiftedPhoto();
        if (keptXmpOnClear_)
            nameInLoopAlert(&ChangedFilesAlert::keptXmpNames_, keptXmpNotice);
        reread();
    } else {
        if (lastSaveFailure().isEmpty())
            noteSaveFailure(QStringLiteral("The save failed"));
        exifData_->setEnuModifyState(TAVExifData::StateSaveFailed);
    }
    tellDelegate(&TAVImageObjectProtocol::imageObjectFinishSave);
    return success;
}

bool TAVImageObject::saveClearAll()
{
    if (!writerMgr_->clearAllMetadata()) {
        noteSaveFailure(
            failureWithDetail(QStringLiteral("The metadata could not be cleared"), writerMgr_->lastError()));
        return false;
    }
    // A clear-all whose library save failed shows no alert; a failed
    // replacement of the user's file does, like any other failed save.
    const Publication published = publish(std::nullopt);
    if (published != Published) {
        if (published == PublishFailed)
            reportSaveFailure(failureWithDetail(QStringLiteral("The file could not be replaced"), fileError_));
        return false;
    }
    for (int32_t category = 0; category < 4; ++category)
        exifData_->resetEnityModifyFlag(category);
    return true;
}

bool TAVImageObject::saveChangedEntities(bool& written)
{
    QStringList failedKeys;
    QList<int32_t> settled;
    pendingShift_.reset();
    for (int32_t category = 0; category < 4; ++category) {
        const QList<TAVEntityPtr> entities = getProcessedEntitiesForSave(category);
        if (entities.isEmpty())
            continue;
        written = true;
        if (category == TAVExifData::CategorySummary)
            writerMgr_->setDateShift(std::exchange(pendingShift_, std::nullopt));
        const QStringList failed = writerMgr_->batchWriteMetadata(entities, true);
        if (failed.isEmpty())
            settled.append(category);
        failedKeys.append(failed);
    }
    // A batch with failed keys is not saved into the working copy: half of a
    // failed save must not reach the user's file with a later save.
    const std::optional<QDateTime> fileDates = fileDatesAfterSave();
    writeBesideUserFileWhileChecked(fileDates);
    const bool saved = !written || (failedKeys.isEmpty() && writerMgr_->saveMetadataToImage());

    bool success = saved && failedKeys.isEmpty();
    QString reason;
    if (!failedKeys.isEmpty()) {
        qWarning("Save of %s failed for: %s", qPrintable(path_), qPrintable(failedKeys.join(QStringLiteral(", "))));
        reason = QStringLiteral("These values could not be written: ") + failedKeys.join(QStringLiteral(", "));
        // A file the writer could not open at all fails every key for one reason.
        if (!writerMgr_->lastError().isEmpty())
            reason = failureWithDetail(reason, writerMgr_->lastError());
    } else if (!saved) {
        reason = failureWithDetail(QStringLiteral("The new metadata could not be written"), writerMgr_->lastError());
    }
    if (success) {
        const Publication published = publish(fileDates);
        if (published == UserFileChanged)
            return false;
        success = published == Published;
        reason = failureWithDetail(QStringLiteral("The file could not be replaced"), fileError_);
    }
    if (!success) {
        reportSaveFailure(reason);
        return false;
    }
    // The edits count as saved only once they are in the user's file.
    for (int32_t category : settled)
        exifData_->resetEnityModifyFlag(category);
    return true;
}

bool TAVImageObject::userFileUnchanged() const
{
    return FileServices::identityOf(srcPath_) == srcIdentity_;
}

bool TAVImageObject::prepareWorkingCopy()
{
    // A failed save may have left its edits in the working copy: it goes
    // back to what the user's file holds, so only what the record shows as
    // edited can reach the user's file.
    if (!workingCopyStale_)
        return true;
    QString error;
    workingCopyStale_ = !FileServices::replaceFile(path_, srcPath_, &error);
    // After a failed replacement of the user's file, its cause is the one the
    // user is told.
    if (workingCopyStale_ && fileError_.isEmpty())
        fileError_ = error;
    if (workingCopyStale_)
        qWarning("Could not bring %s back to %s: %s", qPrintable(path_), qPrintable(srcPath_), qPrintable(error));
    return !workingCopyStale_;
}

TAVImageObject::Publication TAVImageObject::publish(const std::optional<QDateTime>& fileDates)
{
    // The working copy holds the new content now; until the user's file has
    // it too, the working copy is ahead of what the record read.
    workingCopyStale_ = true;
    // Another program may have written the file, or put a link in its place,
    // since it was imported or while this save ran: neither is overwritten.
    const Publication published = writeSavedContent(fileDates);
    if (published == UserFileChanged)
        reportChangedUserFile();
    else if (published == PublishFailed)
        prepareWorkingCopy();
    return published;
}

TAVImageObject::Publication TAVImageObject::settlePublication(
    FileServices::Publication result, const FileServices::Identity& published, const QString& error)
{
    switch (result) {
    case FileServices::Publication::Published:
        srcIdentity_ = published;
        return Published;
    case FileServices::Publication::Changed:
        qWarning("%s", qPrintable(error));
        return UserFileChanged;
    case FileServices::Publication::Failed:
        break;
    }
    fileError_ = error;
    qWarning("Could not replace %s: %s", qPrintable(srcPath_), qPrintable(error));
    return PublishFailed;
}

namespace {

std::mutex changedFilesMutex;
TAVImageObject::ChangedFilesAlert* activeChangedFilesAlert = nullptr;

QString changedFilesMessage(const QStringList& names)
{
    return names.size() == 1
        ? QStringLiteral("The file was changed by another program since it was imported: %1").arg(names.first())
        : QStringLiteral("The files were changed by another program since they were imported: %1")
              .arg(names.join(QStringLiteral(", ")));
}

QString goneFilesMessage(const QStringList& names)
{
    return names.size() == 1
        ? QStringLiteral("The file is gone: it was deleted or moved since it was imported: %1").arg(names.first())
        : QStringLiteral("The files are gone: they were deleted or moved since they were imported: %1")
              .arg(names.join(QStringLiteral(", ")));
}

QString unshiftedPhotosMessage(const QStringList& names)
{
    return names.size() == 1
        ? QStringLiteral("The photo has no date to shift and was left as it was: %1").arg(names.first())
        : QStringLiteral("These photos have no date to shift and were left as they were: %1")
              .arg(names.join(QStringLiteral(", ")));
}

} // namespace

TAVImageObject::ChangedFilesAlert::ChangedFilesAlert(bool showsAlert)
    : showsAlert_(showsAlert)
{
    // The loop's files are read into the memory the last one was read into.
    ExivMemoryFile::beginLoop();
    const std::lock_guard<std::mutex> lock(changedFilesMutex);
    previous_ = activeChangedFilesAlert;
    activeChangedFilesAlert = this;
}

TAVImageObject::ChangedFilesAlert::~ChangedFilesAlert()
{
    ExivMemoryFile::endLoop();
    {
        const std::lock_guard<std::mutex> lock(changedFilesMutex);
        activeChangedFilesAlert = previous_;
    }
    if (showsAlert_ && !names_.isEmpty())
        showAlert(changedFilesMessage(names_));
    if (showsAlert_ && !goneNames_.isEmpty())
        showAlert(goneFilesMessage(goneNames_));
    if (showsAlert_ && !unshiftedNames_.isEmpty())
        showAlert(unshiftedPhotosMessage(unshiftedNames_));
    if (showsAlert_ && !keptXmpNames_.isEmpty())
        showAlert(keptXmpNotice(keptXmpNames_));
}

void TAVImageObject::reportChangedUserFile()
{
    // Nothing at the path at all (not even a dangling link): the user deleted
    // or moved the file, which "changed" would hide.
    const FileServices::Identity now = FileServices::identityOf(srcPath_);
    if (!now.exists && !now.isLink) {
        noteSaveFailure(QStringLiteral("The file is gone: it was deleted or moved since it was imported"));
        qWarning("%s is gone since it was imported; not saved", qPrintable(srcPath_));
        nameInLoopAlert(&ChangedFilesAlert::goneNames_, goneFilesMessage);
        return;
    }
    noteSaveFailure(QStringLiteral("The file was changed by another program since it was imported"));
    qWarning("%s was changed by another program since it was imported; not saved", qPrintable(srcPath_));
    nameInLoopAlert(&ChangedFilesAlert::names_, changedFilesMessage);
}

void TAVImageObject::reportUnshiftedPhoto()
{
    shiftFoundNoDate_ = true;
    qWarning("%s holds no date to shift", qPrintable(srcPath_));
    nameInLoopAlert(&ChangedFilesAlert::unshiftedNames_, unshiftedPhotosMessage);
}

void TAVImageObject::nameInLoopAlert(QStringList ChangedFilesAlert::*list, QString (*message)(const QStringList&)) const
{
    const QString name = QFileInfo(srcPath_).fileName();
    {
        const std::lock_guard<std::mutex> lock(changedFilesMutex);
        if (activeChangedFilesAlert) {
            (activeChangedFilesAlert->*list).append(name);
            return;
        }
    }
    showAlert(message({name}));
}

void TAVImageObject::reportSaveFailure(const QString& reason)
{
    noteSaveFailure(reason);
    showAlert(QStringLiteral("Some error occurred when save modifications"));
}

void TAVImageObject::noteSaveFailure(const QString& reason)
{
    const std::lock_guard<std::mutex> lock(saveFailureMutex_);
    saveFailure_ = reason;
}

QString TAVImageObject::lastSaveFailure() const
{
    const std::lock_guard<std::mutex> lock(saveFailureMutex_);
    return saveFailure_;
}

void TAVImageObject::showAlert(const QString& message)
{
    if (UserDefaults::standard().boolForKey(QStringLiteral("save_continue_after_error")))
        return;
    UiServices* ui = UiServices::shared();
    if (!ui) {
        qWarning("%s", qPrintable(message));
        return;
    }
    // Modal: the save goes on only once the user has dismissed the alert.
    Dispatch::syncMain(
        [ui, message] { ui->showTipsAlert(QStringLiteral("Errors"), message, QStringLiteral("Dismiss")); });
}

void TAVImageObject::reread()
{
    // The rows of what the save wrote were read from its bytes in memory
    // (writeSavedContent); only a save that wrote nothing new reads the file.
    takeImageMetadata(path_, savedRows_ ? std::move(savedRows_) : readRows(path_, nullptr));
    refreshDispUIData();
    if (readerMgr_)
        readerMgr_->releaseFile();
}

QList<TAVEntityPtr> TAVImageObject::getProcessedEntitiesForSave(int32_t category)
{
    if (category == TAVExifData::CategorySummary)
        applyTimeOffsetSettingToDatetimeEntity();

    QList<TAVEntityPtr> entities;
    entities.reserve(10);
    for (const auto& entity : exifData_->modifiedUserSetEntities(category)) {
        const QString& key = entity->key();
        if (key == kCreateDateKey || key == kCreateTimeKey) {
            // Date and time travel together as one EXIF date.
            const QString dateTime = processModifiedDatetime();
            entities.append(TAVEntity::entityWithValue(
                dateTime.isNull() ? QStringLiteral("") : dateTime, QStringLiteral("Exif.Image.DateTime")));
        } else if (key == QLatin1String("Iptc.Application2.Keywords") && !entity->isOverwrite() && !entity->isClear()) {
            entities.append(mergedKeywords(entity));
        } else {
            entities.append(entity);
        }
    }
    return entities;
}

TAVEntityPtr TAVImageObject::mergedKeywords(const TAVEntityPtr& entity) const
{
    const QString key = entity->key();
    const QString oldText = exifData_->getValueFromOriginalDataForKey(key, TAVExifData::CategorySummary);
    QStringList oldWords;
    for (const QString& word : oldText.split(QLatin1Char(',')))
        oldWords.append(word.trimmed());

    QString merged = oldText.isNull() ? QStringLiteral("") : oldText;
    for (const QString& word : entity->value().split(QLatin1Char(','))) {
        const QString trimmed = word.trimmed();
        if (trimmed.isEmpty() || oldWords.contains(trimmed))
            continue;
        if (!merged.isEmpty())
            merged.append(QLatin1Char(','));
        merged.append(word);
    }
    auto result = TAVEntity::entityWithValue(merged, key);
    result->setIsOverwrite(entity->isOverwrite());
    result->setIsModified(entity->isModified());
    return result;
}

QString TAVImageObject::willWriteText(const QString& key) const
{
    return exifData_->isModifiedForKey(key, TAVExifData::CategorySummary)
        ? exifData_->getValueForKey(key, TAVExifData::CategorySummary)
        : exifData_->getValueFromOriginalDataForKey(key, TAVExifData::CategorySummary);
}

QString TAVImageObject::processModifiedDatetime() const
{
    return willWriteText(kCreateDateKey) + QLatin1Char(' ') + willWriteText(kCreateTimeKey);
}

QDateTime TAVImageObject::getWillWriteDatetime(bool date) const
{
    return DateServices::dateValue(willWriteText(date ? kCreateDateKey : kCreateTimeKey));
}

void TAVImageObject::applyTimeOffsetSettingToDatetimeEntity()
{
    const auto shift = exifData_->createdDateTimeOffset();
    if (!shift || !shift->isTimeOffsetVaild())
        return;
    const QDateTime date = getWillWriteDatetime(true);
    const QDateTime time = getWillWriteDatetime(false);
    if (!date.isValid() && !time.isValid()) {
        // Nothing to move, now or at a later save: the shift is used up too.
        exifData_->setCreatedDateTimeOffset(std::nullopt);
        return;
    }

    // The shift moves the date and time as one: 23:30 plus one hour is 00:30
    // of the next day.
    QDateTime moment = date.isValid() ? date : time;
    if (date.isValid() && time.isValid())
        moment = QDateTime(date.date(), time.time(), Qt::UTC);
    moment = shift->shifted(moment, date.isValid(), time.isValid());
    // A date the user did not edit is shifted in the file too: each of its
    // twins moves from its own value, none takes the capture date's.
    const bool edited = exifData_->isModifiedForKey(kCreateDateKey, TAVExifData::CategorySummary)
        || exifData_->isModifiedForKey(kCreateTimeKey, TAVExifData::CategorySummary);
    if (!edited)
        pendingShift_ = *shift;

    if (date.isValid())
        exifData_->setValue(DateServices::getStringFromDate(moment, TAVMetadataHelper::getAppDatetimeFormateString(1)),
            kCreateDateKey, TAVExifData::CategorySummary, true, true, true);
    if (time.isValid())
        exifData_->setValue(DateServices::getStringFromDate(moment, TAVMetadataHelper::getAppDatetimeFormateString(2)),
            kCreateTimeKey, TAVExifData::CategorySummary, true, true, true);
    // Used up: a retry after a failed save must not shift the date again.
    exifData_->setCreatedDateTimeOffset(std::nullopt);
}

bool TAVImageObject::shiftFindsNoDate() const
{
    const auto& shift = exifData_->createdDateTimeOffset();
    return shift && shift->isTimeOffsetVaild() && !getWillWriteDatetime(true).isValid()
        && !getWillWriteDatetime(false).isValid();
}

QDateTime TAVImageObject::getCreateDateTime(bool userSet) const
{
    const TAVCategoryMaps& maps = userSet ? exifData_->mdicUserSetExifDataInfo() : exifData_->mdicExifDataInfo();
    if (maps.isEmpty())
        return QDateTime();
    const TAVEntityMap summary = maps.value(TAVExifData::getKeyStrForType(TAVExifData::CategorySummary));
    QString text;
    if (const auto date = summary.value(kCreateDateKey))
        text = date->value();
    if (const auto time = summary.value(kCreateTimeKey))
        text += QLatin1Char(' ') + time->value();
    if (text.isEmpty())
        return QDateTime();
    return DateServices::dateValue(text);
}

std::optional<QDateTime> TAVImageObject::fileDatesAfterSave() const
{
    // Linux keeps no settable creation date: "the file's creation date" is
    // carried by the modification (and access) time.
    if (exifData_->isApplyToFileCreatedDateTime()) {
        QDateTime created = getCreateDateTime(true);
        if (!created.isValid())
            created = getCreateDateTime(false);
        if (created.isValid())
            return DateServices::instantOfWallClock(created);
        return std::nullopt;
    }
    if (!UserDefaults::standard().boolForKey(QStringLiteral("update_file_origine_open_create_modify_date")))
        return std::nullopt;
    // The creation date cannot be set here; modification and access both get
    // the modification date the file had at import.
    const QDateTime modified = fileOrignalModifiedDate_.isValid() ? fileOrignalModifiedDate_ : fileOrignalCreateDate_;
    if (modified.isValid())
        return modified;
    return std::nullopt;
}

TAVImageObject::Publication TAVImageObject::writeSavedContent(const std::optional<QDateTime>& fileDates)
{
    auto written = writerMgr_ ? writerMgr_->writtenImage() : nullptr;
    if (!written || srcPath_.isEmpty()) {
        // Nothing new was written: the working copy as it is goes to the user.
        if (fileDates)
            FileServices::setFileDates(path_, *fileDates, *fileDates);
        const Publication published = copyToDestFolder();
        workingCopyStale_ = published != Published;
        return published;
    }
    // The working copy and the user's file get the same checked bytes. While
    // the user's file is being written and flushed to disk, the working copy
    // is written and the rows of the new content are read for the record.
    struct UserFileOutcome {
        FileServices::Publication result = FileServices::Publication::Failed;
        FileServices::Identity published;
        QString error;
    };
    std::future<UserFileOutcome> userFile = std::async(std::launch::async,
        [pending = std::move(pendingUserFile_), path = srcPath_, expected = srcIdentity_, bytes = written->bytes,
            fileDates]() mutable {
            UserFileOutcome outcome;
            std::unique_ptr<FileServices::PendingWrite> write;
            if (pending.valid()) {
                EarlyWrite early = pending.get();
                write = std::move(early.pending);
                outcome.error = early.error;
            } else {
                write = FileServices::prepareFileWrite(path, bytes, fileDates, &outcome.error);
            }
            if (write)
                outcome.result
                    = FileServices::commitFileWrite(std::move(write), expected, &outcome.published, &outcome.error);
            return outcome;
        });
    QString error;
    const bool copied = FileServices::writeScratchFileAtomically(path_, written->bytes, &error)
        && (!fileDates || FileServices::setFileDates(path_, *fileDates, *fileDates));
    if (!copied)
        qWarning("Could not write the working copy %s: %s", qPrintable(path_), qPrintable(error));
    savedRows_ = readRows(path_, written);
    // The parsed images and the writer are let go while the disk is still
    // busy: the record needs only the rows now.
    savedRows_->releaseFile();
    written.reset();
    writerMgr_.reset();
    const UserFileOutcome outcome = userFile.get();
    const Publication published = settlePublication(outcome.result, outcome.published, outcome.error);
    if (published != Published) {
        savedRows_.reset();
        return published;
    }
    // A working copy that missed the new bytes is made again from the user's file.
    workingCopyStale_ = !copied;
    if (!copied)
        prepareWorkingCopy();
    return Published;
}

void TAVImageObject::writeBesideUserFileWhileChecked(const std::optional<QDateTime>& fileDates)
{
    if (srcPath_.isEmpty())
        return;
    writerMgr_->setOnBytesMade([this, fileDates](const QByteArray& bytes) {
        pendingUserFile_ = std::async(std::launch::async, [path = srcPath_, bytes, fileDates] {
            EarlyWrite early;
            early.pending = FileServices::prepareFileWrite(path, bytes, fileDates, &early.error);
            if (!early.pending)
                qWarning("Could not write the new content of %s: %s", qPrintable(path), qPrintable(early.error));
            return early;
        });
    });
}

TAVImageObject::Publication TAVImageObject::copyToDestFolder()
{
    if (srcPath_.isEmpty() || path_.isEmpty()) {
        qWarning("No user file to replace for %s", qPrintable(path_));
        return PublishFailed;
    }
    // A symbolic link stays a link: the file it points to gets the new content.
    QString error;
    FileServices::Identity published;
    const FileServices::Publication result
        = FileServices::replaceFile(srcPath_, path_, srcIdentity_, &published, &error);
    return settlePublication(result, published, error);
}
