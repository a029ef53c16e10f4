#include "foundation/DateServices.h"

#include <QDate>
#include <QLocale>
#include <QTime>
#include <QTimeZone>
#include <QtNumeric>

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

namespace {

const std::array<const char*, 12> kMonthNames = {"January", "February", "March", "April", "May", "June", "July",
    "August", "September", "October", "November", "December"};
const std::array<const char*, 7> kDayNames
    = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};

// One element of a pattern: a run of one field letter, or literal text.
struct Token {
    QChar letter; // null for literal text
    int count = 0;
    QString literal;
};

bool isFieldLetter(QChar c)
{
    switch (c.unicode()) {
    case u'y':
    case u'M':
    case u'd':
    case u'H':
    case u'h':
    case u'm':
    case u's':
    case u'S':
    case u'a':
    case u'E':
        return true;
    default:
        return false;
    }
}

bool isNumericField(const Token& t)
{
    return !t.letter.isNull() && t.letter != QLatin1Char('a') && t.letter != QLatin1Char('E')
        && !(t.letter == QLatin1Char('M') && t.count >= 3);
}

std::vector<Token> tokenize(const QString& pattern)
{
    std::vector<Token> tokens;
    const auto appendLiteral = [&tokens](const QString& text) {
        if (tokens.empty() || !tokens.back().letter.isNull()) {
            tokens.push_back(Token{});
        }
        tokens.back().literal += text;
    };
    for (int i = 0; i < pattern.size();) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('\'')) {
            if (i + 1 < pattern.size() && pattern.at(i + 1) == QLatin1Char('\'')) {
                appendLiteral(QStringLiteral("'"));
                i += 2;
                continue;
            }
            int end = i + 1;
            QString quoted;
            while (end < pattern.size()) {
                if (pattern.at(end) == QLatin1Char('\'')) {
                    if (end + 1 < pattern.size() && pattern.at(end + 1) == QLatin1Char('\'')) {
                        quoted += QLatin1Char('\'');
                        end += 2;
                        continue;
                    }
                    break;
                }
                quoted += pattern.at(end++);
            }
            appendLiteral(quoted);
            i = end + 1;
            continue;
        }
        if (isFieldLetter(c)) {
            int run = 1;
            while (i + run < pattern.size() && pattern.at(i + run) == c) {
                ++run;
            }
            tokens.push_back(Token{c, run, QString()});
            i += run;
            continue;
        }
        appendLiteral(QString(c));
        ++i;
    }
    return tokens;
}

QString padded(int value, int width)
{
    return QString::number(value).rightJustified(width, QLatin1Char('0'));
}

QString formatToken(const Token& t, const QDate& date, const QTime& time)
{
    const int n = t.count;
    switch (t.letter.unicode()) {
    case u'y':
        return n == 2 ? padded(date.year() % 100, 2) : padded(date.year(), n);
    case u'M':
        if (n >= 4) {
            return QString::fromLatin1(kMonthNames[date.month() - 1]);
        }
        if (n == 3) {
            return QString::fromLatin1(kMonthNames[date.month() - 1]).left(3);
        }
        return padded(date.month(), n);
    case u'd':
        return padded(date.day(), n);
    case u'H':
        return padded(time.hour(), n);
    case u'h':
        return padded(time.hour() % 12 == 0 ? 12 : time.hour() % 12, n);
    case u'm':
        return padded(time.minute(), n);
    case u's':
        return padded(time.second(), n);
    case u'S': {
        // Milliseconds as a fraction: the first n decimals.
        QString digits = padded(time.msec(), 3);
        return n <= 3 ? digits.left(n) : digits.leftJustified(n, QLatin1Char('0'));
    }
    case u'a':
        return time.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
    case u'E': {
        const QString name = QString::fromLatin1(kDayNames[date.dayOfWeek() - 1]);
        return n >= 4 ? name : name.left(3);
    }
    default:
        return t.literal;
    }
}

// The parser's running state: the fields read so far.
struct Fields {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int msec = 0;
    bool twelveHour = false;
    int pm = -1; // -1 no marker, 0 AM, 1 PM
};

// Reads between minDigits and maxDigits decimal digits at `pos`.
bool readNumber(const QString& text, int& pos, int minDigits, int maxDigits, int* value, int* digitsRead)
{
    int digits = 0;
    int result = 0;
    while (pos < text.size() && digits < maxDigits && text.at(pos).isDigit() && text.at(pos).unicode() < 128) {
        result = result * 10 + (text.at(pos).unicode() - '0');
        ++pos;
        ++digits;
    }
    *value = result;
    *digitsRead = digits;
    return digits >= minDigits;
}

// Matches one of the names (or their three-letter forms) ignoring case.
template <size_t N>
int readName(const QString& text, int& pos, const std::array<const char*, N>& names, bool abbreviated)
{
    for (size_t i = 0; i < N; ++i) {
        const QString name = abbreviated ? QString::fromLatin1(names[i]).left(3) : QString::fromLatin1(names[i]);
        if (text.mid(pos, name.size()).compare(name, Qt::CaseInsensitive) == 0) {
            pos += int(name.size());
            return int(i);
        }
    }
    return -1;
}

// Two-digit years fall within 80 years before and 20 years after today.
int expandTwoDigitYear(int twoDigits)
{
    const int thisYear = QDate::currentDate().year();
    int year = thisYear - thisYear % 100 + twoDigits;
    if (year > thisYear + 20) {
        year -= 100;
    } else if (year <= thisYear - 80) {
        year += 100;
    }
    return year;
}

bool parseToken(const Token& t, const Token* next, const QString& text, int& pos, Fields& f)
{
    if (t.letter.isNull()) {
        if (text.mid(pos, t.literal.size()) != t.literal) {
            return false;
        }
        pos += int(t.literal.size());
        return true;
    }
    const QChar letter = t.letter;
    if (letter == QLatin1Char('a')) {
        const QString marker = text.mid(pos, 2).toUpper();
        if (marker != QLatin1String("AM") && marker != QLatin1String("PM")) {
            return false;
        }
        f.pm = marker == QLatin1String("PM") ? 1 : 0;
        pos += 2;
        return true;
    }
    if (letter == QLatin1Char('E')) {
        return readName(text, pos, kDayNames, t.count < 4) >= 0;
    }
    if (letter == QLatin1Char('M') && t.count >= 3) {
        const int index = readName(text, pos, kMonthNames, t.count == 3);
        f.month = index + 1;
        return index >= 0;
    }
    // A numeric field directly followed by another takes exactly its width, so
    // "yyyyMMdd" splits; otherwise it takes as many digits as it may.
    const bool adjacent = next && isNumericField(*next);
    int maxDigits = letter == QLatin1Char('y') ? 4 : letter == QLatin1Char('S') ? 9 : 2;
    maxDigits = std::max(maxDigits, t.count);
    const int minDigits = adjacent ? t.count : 1;
    if (adjacent) {
        maxDigits = t.count;
    }
    int value = 0;
    int digits = 0;
    if (!readNumber(text, pos, minDigits, maxDigits, &value, &digits)) {
        return false;
    }
    switch (letter.unicode()) {
    case u'y':
        f.year = (t.count == 2 && digits == 2) ? expandTwoDigitYear(value) : value;
        return true;
    case u'M':
        f.month = value;
        return value >= 1 && value <= 12;
    case u'd':
        f.day = value;
        return value >= 1 && value <= 31;
    case u'H':
        f.hour = value;
        return value <= 23;
    case u'h':
        f.hour = value;
        f.twelveHour = true;
        return value >= 1 && value <= 12;
    case u'm':
        f.minute = value;
        return value <= 59;
    case u's':
        f.second = value;
        return value <= 59;
    case u'S': {
        // A fraction of a second: scale the digits read to milliseconds.
        int ms = value;
        for (int d = digits; d < 3; ++d) {
            ms *= 10;
        }
        for (int d = digits; d > 3; --d) {
            ms /= 10;
        }
        f.msec = ms;
        return true;
    }
    default:
        return false;
    }
}

// The date moved by count * unitSeconds seconds; no date when the product
// does not fit (it would wrap around to a plausible but wrong shift).
QDateTime addScaledSeconds(const QDateTime& date, int64_t count, int64_t unitSeconds)
{
    int64_t seconds = 0;
    if (qMulOverflow(count, unitSeconds, &seconds)) {
        return {};
    }
    return date.addSecs(seconds);
}

} // namespace

QDateTime DateServices::dateValue(const QString& text)
{
    static const QString kPatterns[]
        = {QStringLiteral("yyyy-MM-dd HH:mm:ss"), QStringLiteral("yyyy-MM-dd"), QStringLiteral("HH:mm:ss")};
    for (const QString& pattern : kPatterns) {
        const QDateTime date = dateWithDateFormateString(text, pattern);
        if (date.isValid()) {
            return date;
        }
    }
    return {};
}

QDateTime DateServices::dateWithDateFormateString(const QString& text, const QString& pattern)
{
    if (text.isEmpty() || pattern.isEmpty()) {
        return {};
    }
    const std::vector<Token> tokens = tokenize(pattern);
    Fields fields;
    int pos = 0;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token* next = i + 1 < tokens.size() ? &tokens[i + 1] : nullptr;
        if (!parseToken(tokens[i], next, text, pos, fields)) {
            return {};
        }
    }
    if (pos != text.size()) {
        return {};
    }
    int hour = fields.hour;
    if (fields.pm >= 0) {
        // With a marker, hours read 12-hour style ("12 AM" is midnight); a 24-hour
        // field with a marker keeps its value ("HH:mm a" with 14:00 PM).
        if (fields.twelveHour || hour <= 12) {
            hour = hour % 12 + (fields.pm == 1 ? 12 : 0);
        }
    } else if (fields.twelveHour) {
        hour = hour % 12;
    }
    const QDate date(fields.year, fields.month, fields.day);
    const QTime time(hour, fields.minute, fields.second, fields.msec);
    if (!date.isValid() || !time.isValid()) {
        return {};
    }
    return QDateTime(date, time, Qt::UTC);
}

QString DateServices::getStringFromDate(const QDateTime& date, const QString& pattern)
{
    if (!date.isValid()) {
        return QString();
    }
    const QDate day = date.date();
    const QTime time = date.time();
    QString result = QStringLiteral("");
    for (const Token& token : tokenize(pattern)) {
        result += formatToken(token, day, time);
    }
    return result;
}

QString DateServices::getStringFromDateWithLocalizeDateFormate(const QDateTime& date, int componentType)
{
    if (!date.isValid()) {
        return QString();
    }
    const QLocale locale;
    const QString datePart = locale.toString(date.date(), QLocale::ShortFormat);
    const QString timePart = locale.toString(date.time(), QLocale::ShortFormat);
    switch (componentType) {
    case 1:
        return datePart;
    case 2:
        return timePart;
    default:
        return datePart + QLatin1Char(' ') + timePart;
    }
}

QDateTime DateServices::dateByAddMore(const QDateTime& date, int64_t count, int32_t unit)
{
    if (!date.isValid()) {
        return {};
    }
    // Counts beyond these limits are hundreds of millions of years, past any
    // date; the calendar's own arithmetic would wrap them around instead.
    constexpr int64_t kMaxMonths = std::numeric_limits<int>::max() - 12;
    constexpr int64_t kMaxYears = std::numeric_limits<int>::max() / 12;
    switch (unit) {
    case Year:
        return count > kMaxYears || count < -kMaxYears ? QDateTime() : date.addYears(int(count));
    case Month:
        return count > kMaxMonths || count < -kMaxMonths ? QDateTime() : date.addMonths(int(count));
    case Day:
        return date.addDays(count);
    case Hour:
        return addScaledSeconds(date, count, 3600);
    case Minute:
        return addScaledSeconds(date, count, 60);
    case Second:
        return date.addSecs(count);
    default:
        return date;
    }
}

QDateTime DateServices::wallClockOf(const QDateTime& instant)
{
    if (!instant.isValid()) {
        return {};
    }
    const QDateTime local = instant.toLocalTime();
    return QDateTime(local.date(), local.time(), Qt::UTC);
}

QDateTime DateServices::instantOfWallClock(const QDateTime& wallClock)
{
    if (!wallClock.isValid()) {
        return {};
    }
    return QDateTime(wallClock.date(), wallClock.time(), Qt::LocalTime);
}
