#include "models/values/TAVTimeOffsetInfo.h"

#include "foundation/DateServices.h"
#include "foundation/KeyedArchive.h"

namespace {

const QString kDateUnit = QStringLiteral("dateUnit");
const QString kDateOffsetNum = QStringLiteral("dateOffsetNum");
const QString kTimeUnit = QStringLiteral("timeUnit");
const QString kTimeOffsetNum = QStringLiteral("timeOffsetNum");

} // namespace

bool TAVTimeOffsetInfo::isTimeOffsetVaild() const
{
    return dateOffsetNum_ > 0 || timeOffsetNum_ >= 1;
}

QDateTime TAVTimeOffsetInfo::shifted(const QDateTime& moment, bool hasDate, bool hasTime) const
{
    static const int32_t dateUnits[] = {DateServices::Day, DateServices::Month, DateServices::Year};
    static const int32_t timeUnits[] = {DateServices::Hour, DateServices::Minute, DateServices::Second};
    QDateTime result = moment;
    if (dateOffsetNum_ > 0 && hasDate && dateUnit_ < 3) {
        result = DateServices::dateByAddMore(result, dateOffsetNum_, dateUnits[dateUnit_]);
    }
    if (timeOffsetNum_ > 0 && hasTime && timeUnit_ < 3) {
        result = DateServices::dateByAddMore(result, timeOffsetNum_, timeUnits[timeUnit_]);
    }
    return result;
}

bool TAVTimeOffsetInfo::operator==(const TAVTimeOffsetInfo& other) const
{
    return dateUnit_ == other.dateUnit_ && dateOffsetNum_ == other.dateOffsetNum_ && timeUnit_ == other.timeUnit_
        && timeOffsetNum_ == other.timeOffsetNum_;
}

QString TAVTimeOffsetInfo::className() const
{
    return QStringLiteral("TAVTimeOffsetInfo");
}

void TAVTimeOffsetInfo::encode(KeyedArchiver& archiver) const
{
    archiver.encodeInt64(kDateUnit, static_cast<int64_t>(dateUnit_));
    archiver.encodeInt32(kDateOffsetNum, dateOffsetNum_);
    archiver.encodeInt64(kTimeUnit, static_cast<int64_t>(timeUnit_));
    archiver.encodeInt32(kTimeOffsetNum, timeOffsetNum_);
}

void TAVTimeOffsetInfo::decode(KeyedUnarchiver& unarchiver)
{
    dateUnit_ = static_cast<uint64_t>(unarchiver.decodeInt64(kDateUnit));
    dateOffsetNum_ = unarchiver.decodeInt32(kDateOffsetNum);
    timeUnit_ = static_cast<uint64_t>(unarchiver.decodeInt64(kTimeUnit));
    timeOffsetNum_ = unarchiver.decodeInt32(kTimeOffsetNum);
}

void TAVTimeOffsetInfo::registerKeyedClass()
{
    KeyedClassRegistry::registerClass<TAVTimeOffsetInfo>(QStringLiteral("TAVTimeOffsetInfo"));
}
