#include "webmapkit/GMKJsonNumber.h"

#include <QLocale>

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

// strtod honours the process locale's decimal point; JSON text never does.
locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
    return locale;
}

bool isIntegerLiteral(const QString& text)
{
    for (const QChar ch : text) {
        if (ch == QLatin1Char('.') || ch == QLatin1Char('e') || ch == QLatin1Char('E')) {
            return false;
        }
    }
    return true;
}

} // namespace

GMKJsonNumber::GMKJsonNumber(double value)
    : text_(QString::number(value, 'g', QLocale::FloatingPointShortest))
    , value_(value)
{
}

GMKJsonNumber::GMKJsonNumber(qint64 value)
    : text_(QString::number(value))
    , value_(static_cast<double>(value))
{
}

std::optional<GMKJsonNumber> GMKJsonNumber::fromLiteral(QByteArrayView literal)
{
    const std::string text(literal.data(), static_cast<std::size_t>(literal.size()));
    const double value = strtod_l(text.c_str(), nullptr, cLocale());
    // Underflow rounds toward zero and is still a value; overflow is not.
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    return GMKJsonNumber(QString::fromLatin1(literal.data(), literal.size()), value);
}

qint64 GMKJsonNumber::toInteger(bool* ok) const
{
    if (ok) {
        *ok = true;
    }
    if (isIntegerLiteral(text_)) {
        const QByteArray latin = text_.toLatin1();
        qint64 result = 0;
        const auto [end, error] = std::from_chars(latin.constData(), latin.constData() + latin.size(), result);
        if (error == std::errc() && end == latin.constData() + latin.size()) {
            return result;
        }
    }
    // 2^63 is exactly representable as a double: the range of qint64 is [-2^63, 2^63).
    constexpr double limit = 9223372036854775808.0;
    if (std::isfinite(value_) && value_ >= -limit && value_ < limit) {
        return static_cast<qint64>(std::trunc(value_));
    }
    if (ok) {
        *ok = false;
    }
    return 0;
}

bool GMKJsonNumber::isFinite() const
{
    return std::isfinite(value_);
}

bool GMKJsonNumber::operator==(const GMKJsonNumber& other) const
{
    return text_ == other.text_ || value_ == other.value_;
}
