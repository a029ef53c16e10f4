#pragma once

#include "webmapkit/GMKJsonBase.h"
#include "webmapkit/GMKJsonValue.h"

#include <QString>

#include <optional>

// A strict JSON reader with a nesting limit and a chained error trace. It walks
// the UTF-8 form of the text in place; a NUL character ends the text, and a lone
// surrogate (which has no UTF-8 form) reads as '?'.
class GMKJsonParser : public GMKJsonBase {
public:
    // An array or an object; nothing on failure (see errorTrace()). Any other
    // valid value at the top fails with code 4. A null string fails with code 12.
    std::optional<GMKJsonValue> objectWithString(const QString& text);
    // Any JSON value, also a bare string, number, boolean or null.
    std::optional<GMKJsonValue> fragmentWithString(const QString& text);

private:
    std::optional<GMKJsonValue> scanValue();
    std::optional<GMKJsonValue> scanRestOfArray();
    std::optional<GMKJsonValue> scanRestOfDictionary();
    std::optional<QString> scanRestOfString();
    std::optional<GMKJsonValue> scanNumber();
    std::optional<GMKJsonValue> scanLiteral(const char* rest, const GMKJsonValue& value, const char* failure);
    bool scanUnicodeChar(QString& out);
    std::optional<char16_t> scanHexQuad();
    bool scanDigits();
    void skipWhitespace();
    bool atEnd() const { return c_ == end_; }
    bool next(char ch) const { return c_ != end_ && *c_ == ch; }
    std::nullopt_t fail(int code, const QString& message);

    // The read position and the end of the text; valid only during a run.
    const char* c_ = nullptr;
    const char* end_ = nullptr;
};
