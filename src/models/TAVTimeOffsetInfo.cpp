#include "models/TAVTimeOffsetInfo.h"

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
