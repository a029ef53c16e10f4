// The dates a save writes: the creation date and time the user set, moved by
// the time shift where one is set, and the dates the saved file keeps.
#include "models/image/TAVImageObject.h"

#include "foundation/DateServices.h"
#include "foundation/UserDefaults.h"
#include "models/tables/TAVKeyLists.h"
#include "models/values/TAVMetadataHelper.h"

QString TAVImageObject::processModifiedDatetime() const
{
    return willWriteText(TAVKeyLists::createDateKey()) + QLatin1Char(' ') + willWriteText(TAVKeyLists::createTimeKey());
}

bool TAVImageObject::savesTimeWithoutDate() const
{
    const bool edited = exifData_->isModifiedForKey(TAVKeyLists::createDateKey(), TAVExifData::CategorySummary)
        || exifData_->isModifiedForKey(TAVKeyLists::createTimeKey(), TAVExifData::CategorySummary);
    return edited && willWriteText(TAVKeyLists::createDateKey()).trimmed().isEmpty()
        && !willWriteText(TAVKeyLists::createTimeKey()).trimmed().isEmpty();
}

QDateTime TAVImageObject::getWillWriteDatetime(bool date) const
{
    return DateServices::dateValue(willWriteText(date ? TAVKeyLists::createDateKey() : TAVKeyLists::createTimeKey()));
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
    // A date the user did not edit is shifted in the file too: each date the
    // file holds moves from its own value, none takes the capture date's,
    // and none the file lacks is made.
    const bool edited = exifData_->isModifiedForKey(TAVKeyLists::createDateKey(), TAVExifData::CategorySummary)
        || exifData_->isModifiedForKey(TAVKeyLists::createTimeKey(), TAVExifData::CategorySummary);

    if (date.isValid())
        exifData_->setValue(DateServices::getStringFromDate(moment, TAVMetadataHelper::getAppDatetimeFormateString(1)),
            TAVKeyLists::createDateKey(), TAVExifData::CategorySummary, true, true, true);
    if (time.isValid())
        exifData_->setValue(DateServices::getStringFromDate(moment, TAVMetadataHelper::getAppDatetimeFormateString(2)),
            TAVKeyLists::createTimeKey(), TAVExifData::CategorySummary, true, true, true);
    if (edited)
        pendingShift_.reset();
    else
        pendingShift_ = PendingShift{
            *shift, willWriteText(TAVKeyLists::createDateKey()), willWriteText(TAVKeyLists::createTimeKey())};
    // Used up: a retry after a failed save must not shift the date again.
    exifData_->setCreatedDateTimeOffset(std::nullopt);
}

std::optional<TAVTimeOffsetInfo> TAVImageObject::shiftOfUnsavedDate() const
{
    if (!pendingShift_ || willWriteText(TAVKeyLists::createDateKey()) != pendingShift_->date
        || willWriteText(TAVKeyLists::createTimeKey()) != pendingShift_->time)
        return std::nullopt;
    return pendingShift_->shift;
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
    if (const auto date = summary.value(TAVKeyLists::createDateKey()))
        text = date->value();
    if (const auto time = summary.value(TAVKeyLists::createTimeKey()))
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
