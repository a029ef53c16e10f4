#include "views/TokenAttributes.h"

TokenAttributes TokenAttributes::fromOrderedList(const QList<QPair<Key, QVariant>>& entries)
{
    TokenAttributes attributes;
    for (const auto& [key, value] : entries) {
        if (!value.isValid()) {
            break;
        }
        attributes.values_.insert(key, value);
    }
    return attributes;
}

std::optional<TokenAttributes::Shadow> TokenAttributes::textShadow() const
{
    if (!contains(Key::TextShadow)) {
        return std::nullopt;
    }
    return values_.value(Key::TextShadow).value<Shadow>();
}

std::optional<QColor> TokenAttributes::colour(Key key) const
{
    if (!contains(key)) {
        return std::nullopt;
    }
    return values_.value(key).value<QColor>();
}
