#include "tools/TAVRenameRootItem.h"

#include "tools/TAVRenameRuleField.h"

#include "foundation/KeyedArchive.h"

#include <QHashFunctions>

TAVRenameRootItemPtr TAVRenameRootItem::create(const QString& category)
{
    auto root = std::make_shared<TAVRenameRootItem>();
    root->setCategory(category);
    return root;
}

TAVRenameRootItemPtr TAVRenameRootItem::copy() const
{
    auto root = create(category_);
    root->setSeperator(seperator_);
    QList<TAVRenameRuleFieldPtr> fields;
    fields.reserve(subRuleFields_.size());
    for (const TAVRenameRuleFieldPtr& field : subRuleFields_) {
        fields.append(field ? field->copy() : nullptr);
    }
    root->setSubRuleFields(fields);
    return root;
}

QString TAVRenameRootItem::className() const
{
    return QStringLiteral("TAVRenameRootItem");
}

void TAVRenameRootItem::encode(KeyedArchiver& archiver) const
{
    archiver.encodeString(QStringLiteral("category"), category_.isNull() ? QStringLiteral("") : category_);
    archiver.encodeList(QStringLiteral("subRuleFields"), subRuleFields_);
    archiver.encodeString(QStringLiteral("seperator"), seperator_);
}

void TAVRenameRootItem::decode(KeyedUnarchiver& unarchiver)
{
    category_ = unarchiver.decodeString(QStringLiteral("category"));
    subRuleFields_ = unarchiver.decodeList<QList<TAVRenameRuleFieldPtr>>(QStringLiteral("subRuleFields"));
    seperator_ = unarchiver.decodeString(QStringLiteral("seperator"));
}

void TAVRenameRootItem::registerKeyedClasses()
{
    KeyedClassRegistry::registerClass<TAVRenameRootItem>(QStringLiteral("TAVRenameRootItem"));
    KeyedClassRegistry::registerClass<TAVRenameRuleField>(QStringLiteral("TAVRenameRuleField"));
}

size_t qHash(const TAVRenameRootItem& root, size_t seed)
{
    return qHash(root.category(), seed);
}
