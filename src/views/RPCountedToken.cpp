#include "views/RPCountedToken.h"

#include <QCollator>
#include <QHash>
#include <QLocale>

#include <optional>

RPCountedToken::RPCountedToken(const QString& text, int64_t count)
    : text_(text)
    , count_(count)
{
}

RPCountedToken RPCountedToken::ellipsisToken()
{
    return RPCountedToken(QString(QChar(0x2026)), 0);
}

QString RPCountedToken::textWithCountAppended() const
{
    return QStringLiteral("%1 [%2]").arg(text_).arg(count_);
}

const QCollator& RPCountedToken::textCollator()
{
    // Building a collator is costly and layout sorts often: one per thread,
    // made again only when the default locale changes.
    thread_local std::optional<QCollator> collator;
    const QLocale locale;
    if (!collator || collator->locale() != locale) {
        collator.emplace(locale);
        collator->setCaseSensitivity(Qt::CaseInsensitive);
    }
    return *collator;
}

int RPCountedToken::compareTexts(const QString& a, const QString& b)
{
    return textCollator().compare(a, b);
}

int RPCountedToken::textCompare(const RPCountedToken& other) const
{
    return compareTexts(text_, other.text_);
}

int RPCountedToken::countCompare(const RPCountedToken& other) const
{
    if (count_ > other.count_) {
        return -1;
    }
    if (count_ < other.count_) {
        return 1;
    }
    return textCompare(other);
}

QString RPCountedToken::description() const
{
    return QStringLiteral("<RPCountedToken %1> _count=%2 _text=%3")
        .arg(QString::number(reinterpret_cast<quintptr>(this), 16))
        .arg(count_)
        .arg(text_);
}

size_t qHash(const RPCountedToken& token, size_t seed)
{
    return qHash(token.text(), seed);
}
