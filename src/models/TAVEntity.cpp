#include "models/TAVEntity.h"

#include "foundation/KeyedArchive.h"

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
    // Copying from itself (a record applied onto itself) would only derive
    // the display key again and lose a custom one.
    if (&other == this)
        return;
    // The display key comes with the rest; deriving it from the key first
    // would only be thrown away.
    key_ = other.key_;
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

void TAVEntity::registerKeyedClass()
{
    KeyedClassRegistry::registerClass<TAVEntity>(QString::fromLatin1(kClassName));
}

void TAVEntity::encode(KeyedArchiver& archiver) const
{
    // Empty texts are written, absent ones are not; key and value are always
    // present on rows the engine makes.
    archiver.encodeString(QStringLiteral("key"), key_);
    archiver.encodeString(QStringLiteral("value"), value_);
    archiver.encodeBool(QStringLiteral("isGroup"), isGroup_);
    archiver.encodeBool(QStringLiteral("isOverwrite"), isOverwrite_);
    archiver.encodeString(QStringLiteral("dispKey"), dispKey_);
    archiver.encodeBool(QStringLiteral("isChecked"), isChecked_);
    archiver.encodeString(QStringLiteral("replaceAfterValue"), replaceAfterValue_);
}

void TAVEntity::decode(KeyedUnarchiver& unarchiver)
{
    setKey(unarchiver.decodeString(QStringLiteral("key")));
    value_ = unarchiver.decodeString(QStringLiteral("value"));
    isGroup_ = unarchiver.decodeBool(QStringLiteral("isGroup"));
    isModified_ = unarchiver.decodeBool(QStringLiteral("isModified"));
    isOverwrite_ = unarchiver.decodeBool(QStringLiteral("isOverwrite"));
    // The archived display key replaces the derived one, so a custom one survives.
    dispKey_ = unarchiver.decodeString(QStringLiteral("dispKey"));
    replaceAfterValue_ = unarchiver.decodeString(QStringLiteral("replaceAfterValue"));
    isChecked_ = unarchiver.decodeBool(QStringLiteral("isChecked"));
}
