#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

// A JSON number. A number read from text keeps that text exactly (so 1.50 and
// 1e3 are written back as they came); numbers made in code carry the shortest
// text that reads back to the same double. Conversions use the C locale.
class GMKJsonNumber {
public:
    GMKJsonNumber() = default;
    explicit GMKJsonNumber(double value);
    explicit GMKJsonNumber(qint64 value);

    // A number from a literal already checked against the JSON number grammar.
    // Nothing when its value lies outside the range of a double.
    static std::optional<GMKJsonNumber> fromLiteral(QByteArrayView literal);

    QString text() const { return text_; }
    double toDouble() const { return value_; }
    // The value as a whole number: integer literals exactly, others truncated
    // toward zero. `ok` is false (and 0 returned) when it does not fit.
    qint64 toInteger(bool* ok = nullptr) const;
    // NaN and the infinities can be held but have no JSON text.
    bool isFinite() const;

    bool operator==(const GMKJsonNumber& other) const;

private:
    GMKJsonNumber(const QString& text, double value)
        : text_(text)
        , value_(value)
    {
    }

    QString text_ = QStringLiteral("0");
    double value_ = 0.0;
};
