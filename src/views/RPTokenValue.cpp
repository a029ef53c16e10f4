#include "views/RPTokenValue.h"

const QString& RPTokenValue::noTokensMarkerText()
{
    static const QString text = QStringLiteral("QVNNoTokensMarker");
    return text;
}

RPTokenValue RPTokenValue::marker(Kind kind)
{
    return RPTokenValue(kind);
}

RPTokenValue RPTokenValue::array(const QStringList& texts)
{
    RPTokenValue value(Kind::Array);
    value.strings_ = texts;
    return value;
}

RPTokenValue RPTokenValue::set(const QStringList& texts)
{
    RPTokenValue value(Kind::Set);
    for (const QString& text : texts) {
        value.add(text);
    }
    return value;
}

RPTokenValue RPTokenValue::countedSet(const QStringList& texts)
{
    RPTokenValue value(Kind::CountedSet);
    for (const QString& text : texts) {
        value.add(text);
    }
    return value;
}

RPTokenValue RPTokenValue::countedSet(const QMap<QString, qint64>& counts)
{
    RPTokenValue value(Kind::CountedSet);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > 0) {
            value.counts_.insert(it.key(), it.value());
        }
    }
    return value;
}

RPTokenValue RPTokenValue::tokenArray(const QList<RPCountedToken>& tokens)
{
    RPTokenValue value(Kind::TokenArray);
    value.tokens_ = tokens;
    return value;
}

RPTokenValue RPTokenValue::tokenSet(const QList<RPCountedToken>& tokens)
{
    RPTokenValue value(Kind::TokenSet);
    for (const RPCountedToken& token : tokens) {
        if (!value.tokens_.contains(token)) {
            value.tokens_.append(token);
        }
    }
    return value;
}

RPTokenValue RPTokenValue::other(const QVariant& value)
{
    RPTokenValue made(Kind::Other);
    made.other_ = value;
    return made;
}

bool RPTokenValue::isCollection() const
{
    switch (kind_) {
    case Kind::Array:
    case Kind::Set:
    case Kind::CountedSet:
    case Kind::TokenArray:
    case Kind::TokenSet:
        return true;
    default:
        return false;
    }
}

bool RPTokenValue::isMarker() const
{
    return kind_ == Kind::NoTokensMarker || kind_ == Kind::NoSelectionMarker || kind_ == Kind::MultipleValuesMarker
        || kind_ == Kind::NotApplicableMarker;
}

qsizetype RPTokenValue::count() const
{
    switch (kind_) {
    case Kind::Array:
    case Kind::Set:
        return strings_.size();
    case Kind::CountedSet:
        return counts_.size();
    case Kind::TokenArray:
    case Kind::TokenSet:
        return tokens_.size();
    default:
        return 0;
    }
}

std::optional<QSet<QString>> RPTokenValue::extractStrings() const
{
    if (!isCollection()) {
        return std::nullopt;
    }
    const QStringList all = texts();
    return QSet<QString>(all.cbegin(), all.cend());
}

QStringList RPTokenValue::texts() const
{
    switch (kind_) {
    case Kind::Array:
    case Kind::Set:
        return strings_;
    case Kind::CountedSet:
        return counts_.keys();
    case Kind::TokenArray:
    case Kind::TokenSet: {
        QStringList result;
        result.reserve(tokens_.size());
        for (const RPCountedToken& token : tokens_) {
            result.append(token.text());
        }
        return result;
    }
    default:
        return {};
    }
}

QList<RPCountedToken> RPTokenValue::countedTokens() const
{
    QList<RPCountedToken> result;
    switch (kind_) {
    case Kind::Array:
    case Kind::Set:
        for (const QString& text : strings_) {
            result.append(RPCountedToken(text, 1));
        }
        break;
    case Kind::CountedSet:
        for (auto it = counts_.cbegin(); it != counts_.cend(); ++it) {
            result.append(RPCountedToken(it.key(), std::max<qint64>(1, it.value())));
        }
        break;
    case Kind::TokenArray:
    case Kind::TokenSet:
        result = tokens_;
        break;
    default:
        break;
    }
    return result;
}

qint64 RPTokenValue::countForText(const QString& text) const
{
    if (kind_ == Kind::CountedSet) {
        return counts_.value(text, 0);
    }
    return texts().count(text);
}

RPTokenValue RPTokenValue::tokensSet() const
{
    switch (kind_) {
    case Kind::Set:
    case Kind::CountedSet:
    case Kind::TokenSet:
        return *this;
    case Kind::Array:
        return set(strings_);
    case Kind::TokenArray:
        return tokenSet(tokens_);
    default:
        return set({});
    }
}

RPTokenValue RPTokenValue::collectionOrEmptyArray() const
{
    return isCollection() ? *this : array({});
}

void RPTokenValue::add(const QString& text)
{
    switch (kind_) {
    case Kind::Array:
        strings_.append(text);
        break;
    case Kind::Set:
        if (!strings_.contains(text)) {
            strings_.append(text);
        }
        break;
    case Kind::CountedSet:
        counts_[text] += 1;
        break;
    case Kind::TokenArray:
        tokens_.append(RPCountedToken(text, 1));
        break;
    case Kind::TokenSet:
        if (!tokens_.contains(RPCountedToken(text, 1))) {
            tokens_.append(RPCountedToken(text, 1));
        }
        break;
    default:
        break;
    }
}

void RPTokenValue::removeOne(const QString& text)
{
    if (kind_ == Kind::CountedSet) {
        auto it = counts_.find(text);
        if (it != counts_.end() && --it.value() <= 0) {
            counts_.erase(it);
        }
        return;
    }
    removeAll(text);
}

void RPTokenValue::removeAll(const QString& text)
{
    switch (kind_) {
    case Kind::Array:
    case Kind::Set:
        strings_.removeAll(text);
        break;
    case Kind::CountedSet:
        counts_.remove(text);
        break;
    case Kind::TokenArray:
    case Kind::TokenSet:
        tokens_.removeIf([&](const RPCountedToken& token) { return token.text() == text; });
        break;
    default:
        break;
    }
}

bool RPTokenValue::operator==(const RPTokenValue& other) const
{
    if (kind_ != other.kind_) {
        return false;
    }
    switch (kind_) {
    case Kind::Array:
    case Kind::Set:
        return strings_ == other.strings_;
    case Kind::CountedSet:
        return counts_ == other.counts_;
    case Kind::TokenArray:
    case Kind::TokenSet: {
        if (tokens_.size() != other.tokens_.size()) {
            return false;
        }
        for (qsizetype i = 0; i < tokens_.size(); ++i) {
            if (tokens_[i].text() != other.tokens_[i].text() || tokens_[i].count() != other.tokens_[i].count()) {
                return false;
            }
        }
        return true;
    }
    case Kind::Other:
        return other_ == other.other_;
    default:
        return true;
    }
}
