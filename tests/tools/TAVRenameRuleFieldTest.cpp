#include "tools/TAVRenameRuleField.h"
#include "tools/TAVRenameRootItem.h"

#include "foundation/KeyedArchive.h"

#include "support/QtPrinters.h"

#include <QSet>

#include <gtest/gtest.h>

namespace {

// The fields of `list` that are equal to `field`.
qsizetype countEqual(const QList<TAVRenameRuleFieldPtr>& list, const TAVRenameRuleField& field)
{
    return std::count_if(list.cbegin(), list.cend(), [&](const TAVRenameRuleFieldPtr& f) { return *f == field; });
}

} // namespace

TEST(TAVRenameRuleFieldTest, FieldsAreEqualByNameAndRootCategoryAndCopiedWhole)
{
    const auto exif = TAVRenameRootItem::create("Exif");
    const auto otherExif = TAVRenameRootItem::create("Exif");
    const auto iptc = TAVRenameRootItem::create("Iptc");
    const auto exifCopyright = TAVRenameRuleField::create("Copyright", exif);
    const auto iptcCopyright = TAVRenameRuleField::create("Copyright", iptc);

    EXPECT_TRUE(*exif == *otherExif);
    EXPECT_FALSE(*exif == *iptc);
    EXPECT_TRUE(*exifCopyright == *TAVRenameRuleField::create("Copyright", otherExif));
    EXPECT_FALSE(*exifCopyright == *iptcCopyright);
    EXPECT_EQ(qHash(*exifCopyright), qHash(*TAVRenameRuleField::create("Copyright", otherExif)));

    // A copy is equal, keeps the root and has its own attributes.
    exifCopyright->setAttrInfo("dateFormat", "YYYYMMDDHHMMSS");
    const auto copy = exifCopyright->copy();
    EXPECT_TRUE(*copy == *exifCopyright);
    EXPECT_EQ(copy->rootItem(), exif);
    copy->setAttrInfo("dateFormat", "changed");
    EXPECT_EQ(exifCopyright->attrInfo("dateFormat"), QString("YYYYMMDDHHMMSS"));
    EXPECT_TRUE(exifCopyright->attrInfo("start").isNull());

    // A copied setting holds copies of its fields, not the fields themselves.
    const auto setting = TAVRenameRootItem::create();
    setting->setSeperator("_");
    setting->setSubRuleFields({exifCopyright});
    const auto settingCopy = setting->copy();
    EXPECT_EQ(settingCopy->seperator(), QString("_"));
    ASSERT_EQ(settingCopy->subRuleFields().size(), 1);
    EXPECT_NE(settingCopy->subRuleFields()[0], exifCopyright);
    EXPECT_TRUE(*settingCopy->subRuleFields()[0] == *exifCopyright);
}

TEST(TAVRenameRuleFieldTest, ArchivedFieldsComeBackEqualEvenAfterTheirRootIsGone)
{
    TAVRenameRootItem::registerKeyedClasses();
    const auto iptc = TAVRenameRootItem::create("Iptc");
    const auto writer = TAVRenameRuleField::create("Writer", iptc);
    const auto city = TAVRenameRuleField::create("City", iptc);
    iptc->setSubRuleFields({writer, city});
    QList<TAVRenameRuleFieldPtr> tree = iptc->subRuleFields();

    // Dragging from the tree: the field's archive carries its root (and so the
    // root's fields); the decoded root lives only as long as the archive read.
    const QByteArray data = KeyedArchiver::archivedData(city);
    QString error;
    const auto decoded = KeyedUnarchiver::unarchive<TAVRenameRuleField>(data, &error);
    ASSERT_TRUE(decoded) << error.toStdString();
    EXPECT_EQ(decoded->field(), QString("City"));
    EXPECT_FALSE(decoded->attrInfos().has_value());
    EXPECT_EQ(decoded->rootCategory(), QString("Iptc"));
    EXPECT_EQ(countEqual(tree, *decoded), 1);

    // Dragging the decoded rule again within the rule list keeps it equal.
    decoded->setAttrInfo("customCharacters", "");
    const auto again = KeyedUnarchiver::unarchive<TAVRenameRuleField>(KeyedArchiver::archivedData(decoded), &error);
    ASSERT_TRUE(again) << error.toStdString();
    EXPECT_TRUE(*again == *city);
    ASSERT_TRUE(again->attrInfos().has_value());
    EXPECT_EQ(again->attrInfo("customCharacters"), QString(""));

    // A rename setting: no category is archived as "", the separator as it is.
    const auto setting = TAVRenameRootItem::create();
    setting->setSeperator("-");
    setting->setSubRuleFields({writer});
    const auto settingBack
        = KeyedUnarchiver::unarchive<TAVRenameRootItem>(KeyedArchiver::archivedData(setting), &error);
    ASSERT_TRUE(settingBack) << error.toStdString();
    EXPECT_EQ(settingBack->category(), QString(""));
    EXPECT_EQ(settingBack->seperator(), QString("-"));
    ASSERT_EQ(settingBack->subRuleFields().size(), 1);
    EXPECT_TRUE(*settingBack->subRuleFields()[0] == *writer);
}
