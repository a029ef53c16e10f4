#pragma once

#include <QColor>
#include <QList>
#include <QMap>
#include <QPair>
#include <QPointF>
#include <QVariant>

#include <optional>

// How one token is drawn: box colours, corner and padding factors, and for
// selected tokens the text colour and text shadow. Built from an ordered list
// of (key, value) pairs that ends at the first missing (invalid) value, so a
// token without a fill also has no outline and no text shadow after it.
class TokenAttributes {
public:
    enum class Key {
        TextColor,
        CornerRadiusFactor,
        WidthPaddingMultiplier,
        FillColor,
        StrokeColor,
        TextShadow,
    };

    struct Shadow {
        QPointF offset; // y-down points
        double blur = 0.0;
        QColor colour;
    };

    static TokenAttributes fromOrderedList(const QList<QPair<Key, QVariant>>& entries);

    bool contains(Key key) const { return values_.contains(key); }

    // 0 when absent.
    float cornerRadiusFactor() const { return values_.value(Key::CornerRadiusFactor).toFloat(); }
    float widthPaddingMultiplier() const { return values_.value(Key::WidthPaddingMultiplier).toFloat(); }
    std::optional<QColor> fillColor() const { return colour(Key::FillColor); }
    std::optional<QColor> strokeColor() const { return colour(Key::StrokeColor); }
    // Black when absent.
    QColor textColor() const { return colour(Key::TextColor).value_or(QColor(Qt::black)); }
    std::optional<Shadow> textShadow() const;

private:
    std::optional<QColor> colour(Key key) const;

    QMap<Key, QVariant> values_;
};

Q_DECLARE_METATYPE(TokenAttributes::Shadow)
