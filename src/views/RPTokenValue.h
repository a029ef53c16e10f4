#pragma once

#include "views/RPCountedToken.h"

#include <QList>
#include <QMap>
#include <QMetaType>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// The value of a token field: a collection of tokens or a marker.
//
// Callers rely on:
// - A default value is the no-tokens marker ("QVNNoTokensMarker").
// - Arrays keep order and duplicates; sets keep each text once (in the order
//   first added); a counted set maps each text to how often it occurs (text
//   order). Token arrays and sets hold RPCountedToken, equal by text.
// - A counted set is a kind of set: tokensSet() of a counted set is itself, so
//   adding a text already there counts it once more.
// - Any other QVariant can be held (kind Other); it is not a collection.
class RPTokenValue {
public:
    enum class Kind {
        NoTokensMarker,
        NoSelectionMarker,
        MultipleValuesMarker,
        NotApplicableMarker,
        Array,
        Set,
        CountedSet,
        TokenArray,
        TokenSet,
        Other,
    };

    static const QString& noTokensMarkerText();

    RPTokenValue() = default;
    static RPTokenValue marker(Kind kind);
    static RPTokenValue array(const QStringList& texts);
    static RPTokenValue set(const QStringList& texts);
    // Every occurrence of a text in `texts` counts once.
    static RPTokenValue countedSet(const QStringList& texts);
    static RPTokenValue countedSet(const QMap<QString, qint64>& counts);
    static RPTokenValue tokenArray(const QList<RPCountedToken>& tokens);
    static RPTokenValue tokenSet(const QList<RPCountedToken>& tokens);
    static RPTokenValue other(const QVariant& value);

    Kind kind() const { return kind_; }
    bool isCollection() const;
    bool isMarker() const;
    // Array-like kinds keep duplicates; the others are sets.
    bool isArray() const { return kind_ == Kind::Array || kind_ == Kind::TokenArray; }
    qsizetype count() const;

    // The texts of the elements; nullopt when not a collection.
    std::optional<QSet<QString>> extractStrings() const;
    // Element texts: every element of an array, each distinct text of a set.
    QStringList texts() const;
    // One counted token per element (counted sets: per text, count at least 1).
    QList<RPCountedToken> countedTokens() const;
    qint64 countForText(const QString& text) const;
    const QVariant& otherValue() const { return other_; }

    // The collection as a set (a counted set stays one); an empty set when
    // there is no collection.
    RPTokenValue tokensSet() const;
    // The collection itself, or an empty array when there is none.
    RPTokenValue collectionOrEmptyArray() const;

    // One more occurrence (arrays append, sets add when absent, counted sets count).
    void add(const QString& text);
    // Arrays lose every equal text, sets the text, counted sets one occurrence.
    void removeOne(const QString& text);
    // Every occurrence, also all counts of a counted set.
    void removeAll(const QString& text);

    bool operator==(const RPTokenValue& other) const;

private:
    explicit RPTokenValue(Kind kind)
        : kind_(kind)
    {
    }

    Kind kind_ = Kind::NoTokensMarker;
    QStringList strings_; // Array, Set
    QMap<QString, qint64> counts_; // CountedSet
    QList<RPCountedToken> tokens_; // TokenArray, TokenSet
    QVariant other_; // Other
};

Q_DECLARE_METATYPE(RPTokenValue)
