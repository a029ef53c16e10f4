#include "foundation/DateServices.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>

namespace {

QString reformat(const QString& text, const QString& pattern)
{
    return DateServices::getStringFromDate(DateServices::dateWithDateFormateString(text, pattern), pattern);
}

QString shifted(const QString& text, int64_t count, int32_t unit)
{
    const QString pattern = "yyyy-MM-dd HH:mm:ss";
    return DateServices::getStringFromDate(
        DateServices::dateByAddMore(DateServices::dateWithDateFormateString(text, pattern), count, unit), pattern);
}

void checkWallClockArithmetic()
{
    const struct {
        const char* text;
        const char* pattern;
    } roundTrips[] = {
        {"2021-03-28 02:30:00", "yyyy-MM-dd HH:mm:ss"}, // does not exist in Berlin local time
        {"2021-03-14 02:30:00", "yyyy-MM-dd HH:mm:ss"}, // nor in New York
        {"2020-02-29", "yyyy-MM-dd"},
        {"23:59:59", "HH:mm:ss"},
        {"2019:12:31 23:59:59", "yyyy:MM:dd HH:mm:ss"},
        {"2019/01/02 03:04:05", "yyyy/MM/dd HH:mm:ss"},
        {"20190102", "yyyyMMdd"},
        {"030405", "HHmmss"},
        {"03.04.05", "HH.mm.ss"},
        {"03-04-05", "HH-mm-ss"},
        {"15:04:05 PM", "HH:mm:ss a"},
        {"03:04:05 AM", "hh:mm:ss a"},
        {"2019-01-02T03:04:05.250", "yyyy-MM-dd'T'HH:mm:ss.SSS"},
        {"Jan 02 2019", "MMM dd yyyy"},
    };
    for (const auto& r : roundTrips) {
        EXPECT_EQ(reformat(r.text, r.pattern), r.text) << r.pattern;
    }
    EXPECT_EQ(shifted("2021-01-31 10:00:00", 1, DateServices::Month), "2021-02-28 10:00:00");
    EXPECT_EQ(shifted("2020-01-31 10:00:00", 1, DateServices::Month), "2020-02-29 10:00:00");
    EXPECT_EQ(shifted("2020-02-29 10:00:00", 1, DateServices::Year), "2021-02-28 10:00:00");
    EXPECT_EQ(shifted("2021-12-31 23:30:00", 1, DateServices::Hour), "2022-01-01 00:30:00");
    EXPECT_EQ(shifted("2021-03-28 01:30:00", 1, DateServices::Hour), "2021-03-28 02:30:00");
    EXPECT_EQ(shifted("2021-10-31 02:30:00", 1, DateServices::Day), "2021-11-01 02:30:00");
    EXPECT_EQ(shifted("2021-03-27 02:30:00", 24 * 60, DateServices::Minute), "2021-03-28 02:30:00");
    EXPECT_EQ(shifted("2021-01-01 00:00:00", -1, DateServices::Second), "2020-12-31 23:59:59");
    EXPECT_EQ(shifted("2021-01-01 00:00:00", 5, 2), "2021-01-01 00:00:00"); // no such unit
}

} // namespace

// Metadata dates are wall-clock texts: no zone and no daylight-saving change moves them.
TEST(DateServicesTest, PatternsRoundTripAndShiftByCalendarUnitsInAnyZone)
{
    const QByteArray previous = qgetenv("TZ");
    for (const char* zone : {"UTC", "Europe/Berlin", "America/New_York"}) {
        SCOPED_TRACE(zone);
        qputenv("TZ", zone);
        tzset();
        checkWallClockArithmetic();
    }
    if (previous.isNull()) {
        qunsetenv("TZ");
    } else {
        qputenv("TZ", previous);
    }
    tzset();
}

TEST(DateServicesTest, UnreadableTextsGiveNoDate)
{
    const QString pattern = "yyyy:MM:dd HH:mm:ss";
    for (const char* bad :
        {"", "0000:00:00 00:00:00", "2021:02:29 10:00:00", "2021:13:01 10:00:00", "2021:01:01 24:00:00",
            "2021:01:01 10:00:00 trailing", "2021-01-01 10:00:00", "2021:01:01", "    :  :     :  :  "}) {
        EXPECT_FALSE(DateServices::dateWithDateFormateString(QString::fromLatin1(bad), pattern).isValid()) << bad;
    }
    EXPECT_FALSE(DateServices::dateValue(QString()).isValid());
    EXPECT_FALSE(DateServices::dateValue("2021:01:01 10:00:00").isValid());
    EXPECT_TRUE(DateServices::getStringFromDate(QDateTime(), pattern).isNull());
}

TEST(DateServicesTest, ApplicationFormsAndFileTimes)
{
    EXPECT_EQ(DateServices::dateValue("2021-05-06 07:08:09"), QDateTime(QDate(2021, 5, 6), QTime(7, 8, 9), Qt::UTC));
    EXPECT_EQ(DateServices::dateValue("2021-05-06"), QDateTime(QDate(2021, 5, 6), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(DateServices::dateValue("07:08:09").time(), QTime(7, 8, 9));

    // A file time (an instant) and the wall clock it shows locally.
    const QDateTime wall(QDate(2021, 7, 1), QTime(12, 0), Qt::UTC);
    const QDateTime instant = DateServices::instantOfWallClock(wall);
    EXPECT_EQ(instant.toLocalTime().time(), QTime(12, 0));
    EXPECT_EQ(DateServices::wallClockOf(instant), wall);

    EXPECT_FALSE(DateServices::getStringFromDateWithLocalizeDateFormate(wall, 1).isEmpty());
    EXPECT_TRUE(DateServices::getStringFromDateWithLocalizeDateFormate(QDateTime(), 4).isNull());
}

// A count too large for any date gives no date, never one wrapped around to a
// plausible but wrong time.
TEST(DateServicesTest, ShiftsBeyondTheCalendarGiveNoDate)
{
    const QDateTime date(QDate(2021, 5, 6), QTime(7, 8, 9), Qt::UTC);
    for (const int32_t unit : {DateServices::Year, DateServices::Month, DateServices::Day, DateServices::Hour,
             DateServices::Minute, DateServices::Second}) {
        for (const int64_t count : {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min(),
                 std::numeric_limits<int64_t>::max() / 60 + 1}) {
            EXPECT_FALSE(DateServices::dateByAddMore(date, count, unit).isValid()) << unit << " " << count;
        }
    }
    // Forward never lands in the past.
    const QDateTime later = DateServices::dateByAddMore(date, std::numeric_limits<int32_t>::max(), DateServices::Month);
    EXPECT_TRUE(!later.isValid() || later > date) << later.toString().toStdString();
}
