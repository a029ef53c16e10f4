#include "webmapkit/GMKJsonParser.h"

#include "webmapkit/GMKJsonObject.h"

#include <QByteArray>

#include <array>
#include <cstring>

namespace {

// Bytes that end a run of ordinary string characters: the quote, the backslash
// and the control characters (NUL never occurs: it ends the text).
constexpr std::array<bool, 256> makeStopSet()
{
    std::array<bool, 256> set{};
    for (int byte = 0x01; byte <= 0x1F; ++byte) {
        set[byte] = true;
    }
    set['"'] = true;
    set['\\'] = true;
    return set;
}

constexpr std::array<bool, 256> stopSet = makeStopSet();

bool isStop(char ch)
{
    return stopSet[static_cast<unsigned char>(ch)];
}

bool isDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

bool isWhitespace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

int hexValue(char ch)
{
    if (ch >= '0' && ch <= '9') {
        return ch - '0';
    }
    if (ch >= 'a' && ch <= 'f') {
        return ch - 'a' + 10;
    }
    if (ch >= 'A' && ch <= 'F') {
        return ch - 'A' + 10;
    }
    return -1;
}

bool isHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

QString byteCode(char ch)
{
    return QString::number(static_cast<unsigned char>(ch), 16);
}

} // namespace

std::optional<GMKJsonValue> GMKJsonParser::objectWithString(const QString& text)
{
    std::optional<GMKJsonValue> value = fragmentWithString(text);
    if (value && !value->isArray() && !value->isObject()) {
        return fail(4, QStringLiteral("Valid fragment, but not JSON"));
    }
    return value;
}

std::optional<GMKJsonValue> GMKJsonParser::fragmentWithString(const QString& text)
{
    clearErrorTrace();
    if (text.isNull()) {
        return fail(12, QStringLiteral("Input was 'nil'"));
    }
    const QByteArray utf8 = text.toUtf8();
    depth_ = 0;
    c_ = utf8.constData();
    end_ = c_ + std::strlen(c_);

    std::optional<GMKJsonValue> value = scanValue();
    if (value) {
        skipWhitespace();
        if (!atEnd()) {
            value = fail(10, QStringLiteral("Garbage after JSON"));
        }
    }
    c_ = end_ = nullptr;
    return value;
}

std::nullopt_t GMKJsonParser::fail(int code, const QString& message)
{
    addErrorWithCode(code, message);
    return std::nullopt;
}

void GMKJsonParser::skipWhitespace()
{
    while (c_ != end_ && isWhitespace(*c_)) {
        ++c_;
    }
}

std::optional<GMKJsonValue> GMKJsonParser::scanValue()
{
    skipWhitespace();
    if (atEnd()) {
        return fail(11, QStringLiteral("Unexpected end of string"));
    }
    const char ch = *c_++;
    switch (ch) {
    case '"': {
        std::optional<QString> text = scanRestOfString();
        return text ? std::optional<GMKJsonValue>(*text) : std::nullopt;
    }
    case '[':
        return scanRestOfArray();
    case '{':
        return scanRestOfDictionary();
    case 't':
        return scanLiteral("rue", true, "Expected 'true'");
    case 'f':
        return scanLiteral("alse", false, "Expected 'false'");
    case 'n':
        return scanLiteral("ull", GMKJsonValue(), "Expected 'null'");
    case '+':
        return fail(2, QStringLiteral("Leading + disallowed in number"));
    default:
        break;
    }
    if (ch == '-' || isDigit(ch)) {
        --c_;
        return scanNumber();
    }
    return fail(3, QStringLiteral("Unrecognised leading character"));
}

// Only the letters of the literal are compared; what follows them is for the
// caller to judge (so "truex" fails later as garbage or a missing separator).
std::optional<GMKJsonValue> GMKJsonParser::scanLiteral(const char* rest, const GMKJsonValue& value, const char* failure)
{
    const std::size_t length = std::strlen(rest);
    if (static_cast<std::size_t>(end_ - c_) < length || std::memcmp(c_, rest, length) != 0) {
        return fail(3, QString::fromLatin1(failure));
    }
    c_ += length;
    return value;
}

std::optional<GMKJsonValue> GMKJsonParser::scanRestOfArray()
{
    if (!enterNesting()) {
        return std::nullopt;
    }
    GMKJsonArray array;
    array.reserve(8);
    // The comma between elements is taken when present but not required.
    while (!atEnd()) {
        skipWhitespace();
        if (next(']')) {
            ++c_;
            leaveNesting();
            return GMKJsonValue(std::move(array));
        }
        std::optional<GMKJsonValue> element = scanValue();
        if (!element) {
            return fail(3, QStringLiteral("Expected value while parsing array"));
        }
        array.push_back(std::move(*element));
        skipWhitespace();
        if (next(',')) {
            ++c_;
            skipWhitespace();
            if (next(']')) {
                return fail(9, QStringLiteral("Trailing comma disallowed in array"));
            }
        }
    }
    return fail(11, QStringLiteral("End of input while parsing array"));
}

std::optional<GMKJsonValue> GMKJsonParser::scanRestOfDictionary()
{
    if (!enterNesting()) {
        return std::nullopt;
    }
    GMKJsonObject object;
    object.reserve(7);
    // As in arrays, the comma between members is optional.
    for (;;) {
        if (atEnd()) {
            return fail(11, QStringLiteral("End of input while parsing object"));
        }
        skipWhitespace();
        if (next('}')) {
            ++c_;
            leaveNesting();
            return GMKJsonValue(std::move(object));
        }
        if (!next('"')) {
            return fail(3, QStringLiteral("Object key string expected"));
        }
        ++c_;
        const std::optional<QString> key = scanRestOfString();
        if (!key) {
            return fail(3, QStringLiteral("Object key string expected"));
        }
        skipWhitespace();
        if (!next(':')) {
            return fail(3, QStringLiteral("Expected ':' separating key and value"));
        }
        ++c_;
        std::optional<GMKJsonValue> value = scanValue();
        if (!value) {
            return fail(3, QStringLiteral("Object value expected for key: %1").arg(*key));
        }
        object.insert(*key, *value);
        skipWhitespace();
        if (next(',')) {
            ++c_;
            skipWhitespace();
            if (next('}')) {
                return fail(9, QStringLiteral("Trailing comma disallowed in object"));
            }
        }
    }
}

std::optional<QString> GMKJsonParser::scanRestOfString()
{
    QString text;
    text.reserve(16);
    for (;;) {
        const char* run = c_;
        while (c_ != end_ && !isStop(*c_)) {
            ++c_;
        }
        if (c_ != run) {
            text.append(QString::fromUtf8(run, c_ - run));
        }
        if (atEnd()) {
            // The text ended inside the string: report the NUL that ends it.
            return fail(5, QStringLiteral("Unescaped control character '0x0'"));
        }
        if (*c_ == '"') {
            ++c_;
            return text;
        }
        if (*c_ != '\\') {
            return fail(5, QStringLiteral("Unescaped control character '0x%1'").arg(byteCode(*c_)));
        }
        ++c_;
        const char escape = atEnd() ? '\0' : *c_++;
        switch (escape) {
        case '"':
        case '\\':
        case '/':
            text.append(QLatin1Char(escape));
            break;
        case 'b':
            text.append(QChar(0x08));
            break;
        case 'f':
            text.append(QChar(0x0C));
            break;
        case 'n':
            text.append(QChar(0x0A));
            break;
        case 'r':
            text.append(QChar(0x0D));
            break;
        case 't':
            text.append(QChar(0x09));
            break;
        case 'u':
            if (!scanUnicodeChar(text)) {
                return fail(6, QStringLiteral("Broken unicode character"));
            }
            break;
        default:
            return fail(8, QStringLiteral("Illegal escape sequence '0x%1'").arg(byteCode(escape)));
        }
        if (atEnd()) {
            return fail(11, QStringLiteral("Unexpected EOF while parsing string"));
        }
    }
}

std::optional<char16_t> GMKJsonParser::scanHexQuad()
{
    char16_t unit = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = atEnd() ? -1 : hexValue(*c_);
        if (digit < 0) {
            return fail(6, QStringLiteral("Missing hex digit in quad"));
        }
        unit = static_cast<char16_t>(unit * 16 + digit);
        ++c_;
    }
    return unit;
}

// After "\u": one unit, or a high and a low surrogate that together stand for
// one character outside the basic plane (kept as its two UTF-16 units).
bool GMKJsonParser::scanUnicodeChar(QString& out)
{
    const std::optional<char16_t> high = scanHexQuad();
    if (!high) {
        addErrorWithCode(6, QStringLiteral("Missing hex quad"));
        return false;
    }
    if (isLowSurrogate(*high)) {
        addErrorWithCode(6, QStringLiteral("Invalid high character in surrogate pair"));
        return false;
    }
    if (!isHighSurrogate(*high)) {
        out.append(QChar(*high));
        return true;
    }
    if (end_ - c_ < 2 || c_[0] != '\\' || c_[1] != 'u') {
        addErrorWithCode(6, QStringLiteral("Missing low character in surrogate pair"));
        return false;
    }
    c_ += 2;
    const std::optional<char16_t> low = scanHexQuad();
    if (!low) {
        addErrorWithCode(6, QStringLiteral("Missing low character in surrogate pair"));
        return false;
    }
    if (!isLowSurrogate(*low)) {
        addErrorWithCode(6, QStringLiteral("Invalid low surrogate char"));
        return false;
    }
    out.append(QChar(*high));
    out.append(QChar(*low));
    return true;
}

bool GMKJsonParser::scanDigits()
{
    if (atEnd() || !isDigit(*c_)) {
        return false;
    }
    while (c_ != end_ && isDigit(*c_)) {
        ++c_;
    }
    return true;
}

std::optional<GMKJsonValue> GMKJsonParser::scanNumber()
{
    const char* start = c_;
    if (next('-')) {
        ++c_;
    }
    if (next('0')) {
        ++c_;
        if (!atEnd() && isDigit(*c_)) {
            return fail(2, QStringLiteral("Leading 0 disallowed in number"));
        }
    } else if (!scanDigits()) {
        return fail(2, QStringLiteral("No digits after initial minus"));
    }
    if (next('.')) {
        ++c_;
        if (!scanDigits()) {
            return fail(2, QStringLiteral("No digits after decimal point"));
        }
    }
    if (next('e') || next('E')) {
        ++c_;
        if (next('+') || next('-')) {
            ++c_;
        }
        if (!scanDigits()) {
            return fail(2, QStringLiteral("No digits after exponent"));
        }
    }
    const std::optional<GMKJsonNumber> number = GMKJsonNumber::fromLiteral(QByteArrayView(start, c_ - start));
    if (!number) {
        return fail(2, QStringLiteral("Failed creating decimal instance"));
    }
    return GMKJsonValue(*number);
}
