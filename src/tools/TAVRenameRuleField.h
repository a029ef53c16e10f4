#pragma once

#include "tools/TAVRenameRootItem.h"

#include "foundation/KeyedCodable.h"

#include <QMap>
#include <QString>

#include <memory>
#include <optional>

// One field of the rename rules: its name as the tree and the rule list show
// it, the attributes the sheet gathers for it (custom text, counter start and
// increase, date and time formats) and the root it stands under.
//
// The root owns its fields, so a field only refers back to it. A field also
// remembers its root's category, so fields read back from an archive (drag and
// drop) compare and look up values the same way after that root is gone.
class TAVRenameRuleField : public KeyedCodable {
public:
    using AttrInfos = QMap<QString, QString>;

    TAVRenameRuleField() = default;
    static TAVRenameRuleFieldPtr create(const QString& field, const TAVRenameRootItemPtr& root = nullptr);

    const QString& field() const { return field_; }
    void setField(const QString& field) { field_ = field; }
    // Absent until the sheet gathers its setting.
    const std::optional<AttrInfos>& attrInfos() const { return attrInfos_; }
    void setAttrInfos(const std::optional<AttrInfos>& infos) { attrInfos_ = infos; }
    // One attribute; null when absent.
    QString attrInfo(const QString& key) const;
    void setAttrInfo(const QString& key, const QString& value);

    // The root while it exists.
    TAVRenameRootItemPtr rootItem() const { return rootItem_.lock(); }
    void setRootItem(const TAVRenameRootItemPtr& root);
    // The category of the root this field was given (null without one).
    const QString& rootCategory() const { return rootCategory_; }

    // Same name under a root of the same category.
    bool operator==(const TAVRenameRuleField& other) const;
    QString description() const { return field_; }
    // The same name and root, with its own copy of the attributes.
    TAVRenameRuleFieldPtr copy() const;

    QString className() const override;
    void encode(KeyedArchiver& archiver) const override;
    void decode(KeyedUnarchiver& unarchiver) override;

private:
    QString field_;
    std::optional<AttrInfos> attrInfos_;
    std::weak_ptr<TAVRenameRootItem> rootItem_;
    QString rootCategory_;
    // Written in place of a root that is gone, so that an archive of a field read
    // back from an archive still names its category.
    mutable TAVRenameRootItemPtr standInRoot_;
};

size_t qHash(const TAVRenameRuleField& field, size_t seed = 0);
