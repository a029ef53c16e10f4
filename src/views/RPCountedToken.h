#pragma once

#include <QCollator>
#include <QString>

#include <cstdint>

// One token of a token field with the number of times it occurs. A count of 0
// marks the ellipsis token that stands for the tokens a layout could not show.
class RPCountedToken {
public:
    RPCountedToken() = default;
    RPCountedToken(const QString& text, int64_t count);

    static RPCountedToken ellipsisToken();

    const QString& text() const { return text_; }
    int64_t count() const { return count_; }
    void incCount() { ++count_; }

    // "text [count]".
    QString textWithCountAppended() const;
    bool isEllipsisToken() const { return count_ == 0; }

    // Localized, case-insensitive order of the texts (<0, 0, >0).
    int textCompare(const RPCountedToken& other) const;
    // Higher count first; equal counts in text order.
    int countCompare(const RPCountedToken& other) const;
    static int compareTexts(const QString& a, const QString& b);
    // The collator of that order, for the default locale of the moment.
    static const QCollator& textCollator();

    // Tokens are equal when their texts are; the count takes no part.
    bool operator==(const RPCountedToken& other) const { return text_ == other.text_; }
    bool operator==(const QString& text) const { return text_ == text; }

    QString description() const;

private:
    QString text_;
    int64_t count_ = 0;
};

size_t qHash(const RPCountedToken& token, size_t seed = 0);
