#pragma once

#include "foundation/KeyedCodable.h"

#include <QDateTime>

#include <cstdint>
#include <memory>

// A date and time shift that the summary tab sets on a record and that the save
// road adds to the creation date. Only positive counts shift anything.
// A plain value: copying carries all four fields. Archived inside records
// (presets) with the coding keys "dateUnit", "dateOffsetNum", "timeUnit" and
// "timeOffsetNum".
class TAVTimeOffsetInfo : public KeyedCodable {
public:
    enum DateUnit : uint64_t { Day = 0, Month = 1, Year = 2 };
    enum TimeUnit : uint64_t { Hour = 0, Minute = 1, Second = 2 };

    TAVTimeOffsetInfo() = default;

    uint64_t dateUnit() const { return dateUnit_; }
    void setDateUnit(uint64_t unit) { dateUnit_ = unit; }
    int32_t dateOffsetNum() const { return dateOffsetNum_; }
    void setDateOffsetNum(int32_t count) { dateOffsetNum_ = count; }
    uint64_t timeUnit() const { return timeUnit_; }
    void setTimeUnit(uint64_t unit) { timeUnit_ = unit; }
    int32_t timeOffsetNum() const { return timeOffsetNum_; }
    void setTimeOffsetNum(int32_t count) { timeOffsetNum_ = count; }

    // True when the shift moves the date or the time forward.
    bool isTimeOffsetVaild() const;
    // A wall-clock moment moved by the shift as one (23:30 plus one hour is
    // 00:30 of the next day): the date units when the moment names a day,
    // the time units when it names a time of day.
    QDateTime shifted(const QDateTime& moment, bool hasDate, bool hasTime) const;

    bool operator==(const TAVTimeOffsetInfo& other) const;

    QString className() const override;
    void encode(KeyedArchiver& archiver) const override;
    void decode(KeyedUnarchiver& unarchiver) override;
    // Lets archives that hold a shift be read back.
    static void registerKeyedClass();

private:
    uint64_t dateUnit_ = 0;
    int32_t dateOffsetNum_ = 0;
    uint64_t timeUnit_ = 0;
    int32_t timeOffsetNum_ = 0;
};

using TAVTimeOffsetInfoPtr = std::shared_ptr<TAVTimeOffsetInfo>;
