#include "models/TAVEntity.h"

#include <QStringList>

TAVEntity::TAVEntity() = default;

TAVEntityPtr TAVEntity::entityWithValue(const QString& value, const QString& key)
{
    auto entity = std::make_shared<TAVEntity>();
    // An absent argument becomes the empty text, never an absent one.
    entity->setKey(key.isNull() ? QStringLiteral("") : key);
    entity->setValue(value.isNull() ? QStringLiteral("") : value);
    return entity;
}

QString TAVEntity::displayKeyFor(const QString& key)
{
    if (key.isNull())
        return QString();
    const QStringList parts = key.split(QLatin1Char('.'));
    if (parts.size() < 3)
        return key;
    return QStringLiteral("%1 - %2 (%3)").arg(parts.at(2), parts.at(1), parts.at(0));
}

void TAVEntity::setKey(const QString& key)
{
    key_ = key;
    dispKey_ = displayKeyFor(key);
}

void TAVEntity::copyValueFromEntity(const TAVEntity& other)
{
    setKey(other.key_);
    value_ = other.value_;
    isGroup_ = other.isGroup_;
    isModified_ = other.isModified_;
    isClear_ = other.isClear_;
    replaceAfterValue_ = other.replaceAfterValue_;
    dispKey_ = other.dispKey_;
    isOverwrite_ = other.isOverwrite_;
    isChecked_ = other.isChecked_;
}

TAVEntityPtr TAVEntity::copy() const
{
    auto entity = std::make_shared<TAVEntity>();
    entity->copyValueFromEntity(*this);
    return entity;
}

QString TAVEntity::description() const
{
    return QStringLiteral("key = %1, value = %2, isModified = %3, isgroup = %4, replaceAfterValue = %5")
        .arg(key_, value_, QString::number(int(isModified_)), QString::number(int(isGroup_)), replaceAfterValue_);
}
