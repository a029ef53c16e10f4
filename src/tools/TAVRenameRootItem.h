#pragma once

#include "foundation/KeyedCodable.h"

#include <QList>
#include <QString>

#include <memory>

class TAVRenameRuleField;
using TAVRenameRuleFieldPtr = std::shared_ptr<TAVRenameRuleField>;
class TAVRenameRootItem;
using TAVRenameRootItemPtr = std::shared_ptr<TAVRenameRootItem>;

// A root of the rename field tree ("Custom", "File Details", "Numerical
// Sequences", "Exif", "Iptc") owning its fields, or, without a category, a
// rename setting: the separator put between fields and the rules in order.
class TAVRenameRootItem : public KeyedCodable {
public:
    TAVRenameRootItem() = default;
    static TAVRenameRootItemPtr create(const QString& category = QString());

    // Null in a rename setting.
    const QString& category() const { return category_; }
    void setCategory(const QString& category) { category_ = category; }
    // Null when the user switched separators off (it then counts as "").
    const QString& seperator() const { return seperator_; }
    void setSeperator(const QString& seperator) { seperator_ = seperator; }
    const QList<TAVRenameRuleFieldPtr>& subRuleFields() const { return subRuleFields_; }
    void setSubRuleFields(const QList<TAVRenameRuleFieldPtr>& fields) { subRuleFields_ = fields; }

    // Roots are equal when their categories are.
    bool operator==(const TAVRenameRootItem& other) const { return category_ == other.category_; }
    QString description() const { return category_; }
    // The same category and separator, with a copy of every field (the copies
    // keep the root of the field they were made from).
    TAVRenameRootItemPtr copy() const;

    QString className() const override;
    void encode(KeyedArchiver& archiver) const override;
    void decode(KeyedUnarchiver& unarchiver) override;
    // Registers both rename classes for reading archives.
    static void registerKeyedClasses();

private:
    QString category_;
    QString seperator_;
    QList<TAVRenameRuleFieldPtr> subRuleFields_;
};

size_t qHash(const TAVRenameRootItem& root, size_t seed = 0);
