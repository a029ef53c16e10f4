#include "models/values/TAVTimeOffsetInfo.h"

#include "foundation/KeyedArchive.h"

#include <gtest/gtest.h>

TEST(TAVTimeOffsetInfoTest, OnlyPositiveCountsShift)
{
    TAVTimeOffsetInfo shift;
    EXPECT_FALSE(shift.isTimeOffsetVaild());
    shift.setDateOffsetNum(-1);
    EXPECT_FALSE(shift.isTimeOffsetVaild());
    shift.setTimeOffsetNum(1);
    EXPECT_TRUE(shift.isTimeOffsetVaild());
    shift.setTimeOffsetNum(0);
    shift.setDateOffsetNum(2);
    EXPECT_TRUE(shift.isTimeOffsetVaild());
}

TEST(TAVTimeOffsetInfoTest, ArchiveKeepsAllFourFields)
{
    TAVTimeOffsetInfo::registerKeyedClass();
    TAVTimeOffsetInfo shift;
    shift.setDateUnit(TAVTimeOffsetInfo::Year);
    shift.setDateOffsetNum(-3);
    shift.setTimeUnit(TAVTimeOffsetInfo::Second);
    shift.setTimeOffsetNum(45);

    const QByteArray data = KeyedArchiver::archivedData(&shift);
    for (const char* key : {"dateUnit", "dateOffsetNum", "timeUnit", "timeOffsetNum"}) {
        EXPECT_TRUE(data.contains(QByteArray("\"") + key + "\"")) << key;
    }
    QString error;
    const auto back = KeyedUnarchiver::unarchive<TAVTimeOffsetInfo>(data, &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(*back, shift);
}
