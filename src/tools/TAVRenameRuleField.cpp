#include "tools/TAVRenameRuleField.h"

#include "foundation/KeyedArchive.h"

#include <QHashFunctions>

TAVRenameRuleFieldPtr TAVRenameRuleField::create(const QString& field, const TAVRenameRootItemPtr& root)
{
    auto ruleField = std::make_shared<TAVRenameRuleField>();
    ruleField->setField(field);
    ruleField->setRootItem(root);
    return ruleField;
}

QString TAVRenameRuleField::attrInfo(const QString& key) const
{
    return attrInfos_ ? attrInfos_->value(key) : QString();
}

void TAVRenameRuleField::setAttrInfo(const QString& key, const QString& value)
{
    if (!attrInfos_) {
        attrInfos_.emplace();
    }
    attrInfos_->insert(key, value);
}

void TAVRenameRuleField::setRootItem(const TAVRenameRootItemPtr& root)
{
    rootItem_ = root;
    rootCategory_ = root ? root->category() : QString();
}

bool TAVRenameRuleField::operator==(const TAVRenameRuleField& other) const
{
    return field_ == other.field_ && rootCategory_ == other.rootCategory_;
}

TAVRenameRuleFieldPtr TAVRenameRuleField::copy() const
{
    auto field = std::make_shared<TAVRenameRuleField>(*this);
    return field;
}

QString TAVRenameRuleField::className() const
{
    return QStringLiteral("TAVRenameRuleField");
}

void TAVRenameRuleField::encode(KeyedArchiver& archiver) const
{
    archiver.encodeString(QStringLiteral("field"), field_.isNull() ? QStringLiteral("") : field_);
    if (attrInfos_) {
        archiver.encodeMap(QStringLiteral("attrInfos"), *attrInfos_);
    }
    TAVRenameRootItemPtr root = rootItem();
    if (!root && !rootCategory_.isNull()) {
        if (!standInRoot_) {
            standInRoot_ = TAVRenameRootItem::create(rootCategory_);
        }
        root = standInRoot_;
    }
    if (root) {
        archiver.encodeObject(QStringLiteral("rootItem"), root);
    }
}

void TAVRenameRuleField::decode(KeyedUnarchiver& unarchiver)
{
    field_ = unarchiver.decodeString(QStringLiteral("field"));
    attrInfos_.reset();
    if (unarchiver.containsValue(QStringLiteral("attrInfos"))) {
        attrInfos_ = unarchiver.decodeMap<AttrInfos>(QStringLiteral("attrInfos"));
    }
    setRootItem(unarchiver.decodeObject<TAVRenameRootItem>(QStringLiteral("rootItem")));
}

size_t qHash(const TAVRenameRuleField& field, size_t seed)
{
    return qHash(field.field(), seed) + qHash(field.rootCategory(), seed);
}
