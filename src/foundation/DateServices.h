#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

// Dates from text and text from dates with explicit patterns, and calendar
// arithmetic.
//
// Callers rely on:
// - Metadata dates are wall-clock times without a zone. They are parsed into a
//   QDateTime in UTC that only carries the wall clock, shifted and formatted
//   without any zone conversion, so daylight-saving changes never move them.
//   Formatting uses the fields of the QDateTime as given (a local file time
//   formats as its local wall clock). Use wallClockOf/instantOfWallClock to go
//   between file times (instants) and wall-clock dates.
// - Patterns use the letters y, M, d, H, h, m, s, S, a, E with the usual
//   meanings ("yyyy:MM:dd HH:mm:ss", "yyyyMMdd", "HH.mm.ss", "HH:mm:ss a"),
//   other characters literally and 'quoted text'. Month and weekday names and
//   AM/PM are the POSIX (English) ones: the result never depends on the user's
//   locale. Fields the pattern lacks default to 2000-01-01 00:00:00.
// - Parsing must consume the whole text and every field must be in range
//   (month 13, 31 February, hour 24 fail); it gives an invalid QDateTime for an
//   empty or unreadable text.
class DateServices {
public:
    // Calendar unit codes of dateByAddMore.
    enum Unit : int32_t { Year = 4, Month = 8, Day = 16, Hour = 32, Minute = 64, Second = 128 };

    // A text in the application's forms: "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd" or "HH:mm:ss".
    static QDateTime dateValue(const QString& text);
    static QDateTime dateWithDateFormateString(const QString& text, const QString& pattern);

    // Null text without a (valid) date.
    static QString getStringFromDate(const QDateTime& date, const QString& pattern);
    // The user's locale's short display text for the interface only, never for
    // metadata: component 1 the date part, 2 the time part, anything else both.
    static QString getStringFromDateWithLocalizeDateFormate(const QDateTime& date, int componentType);

    // The date moved by `count` units (negative counts move back). Months and
    // years clamp to the end of the month (Jan 31 + 1 month = Feb 28 or 29).
    // An unknown unit leaves the date as it is.
    static QDateTime dateByAddMore(const QDateTime& date, int64_t count, int32_t unit);

    // The wall clock of an instant in the local zone, as a UTC carrier.
    static QDateTime wallClockOf(const QDateTime& instant);
    // The local-zone instant showing the given wall clock.
    static QDateTime instantOfWallClock(const QDateTime& wallClock);
};
