#include "models/TAVEntity.h"

#include "foundation/KeyedArchive.h"

#include "support/QtPrinters.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

TEST(TAVEntityTest, MadeFromValueAndKeyWithAbsentArgumentsGivingEmptyTexts)
{
    const auto entity = TAVEntity::entityWithValue(QString(), QString());
    EXPECT_FALSE(entity->value().isNull());
    EXPECT_EQ(entity->value(), QString(""));
    EXPECT_FALSE(entity->key().isNull());
    EXPECT_EQ(entity->key(), QString(""));
    EXPECT_EQ(entity->dispKey(), QString(""));
    EXPECT_TRUE(entity->isOverwrite());
    EXPECT_FALSE(entity->isModified() || entity->isClear() || entity->isGroup() || entity->isChecked());
    EXPECT_EQ(entity->type(), 0);
    EXPECT_EQ(entity->dataType(), 0);

    const TAVEntity plain;
    EXPECT_TRUE(plain.isOverwrite());
    EXPECT_TRUE(plain.key().isNull());
    EXPECT_TRUE(plain.value().isNull());
}

TEST(TAVEntityTest, DisplayKeyFollowsTheKey)
{
    const auto fNumber = TAVEntity::entityWithValue("2.8", "Exif.Photo.FNumber");
    EXPECT_EQ(fNumber->dispKey(), QString("FNumber - Photo (Exif)"));
    EXPECT_EQ(TAVEntity::entityWithValue("", "Iptc.Application2.Keywords")->dispKey(),
        QString("Keywords - Application2 (Iptc)"));
    EXPECT_EQ(TAVEntity::entityWithValue("", "A.B.C.D")->dispKey(), QString("C - B (A)"));
    EXPECT_EQ(TAVEntity::entityWithValue("", "Summary.CreateTime")->dispKey(), QString("Summary.CreateTime"));
    EXPECT_EQ(TAVEntity::entityWithValue("", "Summary.ImageSize")->dispKey(), QString("Summary.ImageSize"));
    EXPECT_EQ(TAVEntity::entityWithValue("", "EXIF")->dispKey(), QString("EXIF"));

    fNumber->setKey(QString());
    EXPECT_TRUE(fNumber->dispKey().isNull());
}

TEST(TAVEntityTest, CopyCarriesTheEditorFieldsButNotTheReaderTypes)
{
    const auto read = TAVEntity::entityWithValue("Canon", "Exif.Image.Make");
    read->setType(1);
    read->setDataType(2);
    read->setIsModified(true);
    read->setIsClear(true);
    read->setIsGroup(true);
    read->setIsChecked(true);
    read->setIsOverwrite(false);
    read->setReplaceAfterValue("Nikon");
    read->setDispKey("Camera maker");

    const auto copy = read->copy();
    EXPECT_NE(copy.get(), read.get());
    EXPECT_EQ(copy->key(), read->key());
    EXPECT_EQ(copy->value(), QString("Canon"));
    EXPECT_EQ(copy->dispKey(), QString("Camera maker"));
    EXPECT_EQ(copy->replaceAfterValue(), QString("Nikon"));
    EXPECT_TRUE(copy->isModified() && copy->isClear() && copy->isGroup() && copy->isChecked());
    EXPECT_FALSE(copy->isOverwrite());
    EXPECT_EQ(copy->type(), 0);
    EXPECT_EQ(copy->dataType(), 0);
    EXPECT_EQ(read->type(), 1);
    EXPECT_EQ(read->dataType(), 2);

    // Copying into an existing entity keeps that entity's reader types.
    TAVEntity target;
    target.setType(3);
    target.setDataType(7);
    target.copyValueFromEntity(*read);
    EXPECT_EQ(target.type(), 3);
    EXPECT_EQ(target.dataType(), 7);
    EXPECT_EQ(target.dispKey(), QString("Camera maker"));

    // A record applied onto itself copies each entry from itself.
    read->copyValueFromEntity(*read);
    EXPECT_EQ(read->dispKey(), QString("Camera maker"));
    EXPECT_EQ(read->value(), QString("Canon"));
}

namespace {

TAVEntityPtr roundTrip(const TAVEntityPtr& entity)
{
    TAVEntity::registerKeyedClass();
    QString error;
    const auto back = KeyedUnarchiver::unarchive<TAVEntity>(KeyedArchiver::archivedData(entity), &error);
    EXPECT_TRUE(error.isEmpty()) << qPrintable(error);
    return back;
}

}  // namespace

TEST(TAVEntityTest, ArchiveKeepsEditorFieldsButComesBackUnmodified)
{
    const auto entity = TAVEntity::entityWithValue("", "Iptc.Application2.Keywords");
    entity->setIsModified(true);
    entity->setIsClear(true);
    entity->setIsOverwrite(false);
    entity->setIsChecked(true);
    entity->setIsGroup(true);
    entity->setType(2);
    entity->setDataType(2);
    entity->setDispKey("Keywords");

    const auto back = roundTrip(entity);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->key(), QString("Iptc.Application2.Keywords"));
    EXPECT_FALSE(back->value().isNull());
    EXPECT_EQ(back->value(), QString(""));
    EXPECT_EQ(back->dispKey(), QString("Keywords"));
    EXPECT_TRUE(back->replaceAfterValue().isNull());
    EXPECT_FALSE(back->isModified());
    EXPECT_FALSE(back->isClear());
    EXPECT_FALSE(back->isOverwrite());
    EXPECT_TRUE(back->isChecked());
    EXPECT_TRUE(back->isGroup());
    EXPECT_EQ(back->type(), 0);
    EXPECT_EQ(back->dataType(), 0);
}

TEST(TAVEntityTest, ArchiveWithoutOverwriteFlagReadsItAsFalse)
{
    // An archive from before the flag existed: the written entity minus "isOverwrite".
    const auto entity = TAVEntity::entityWithValue("Canon", "Exif.Image.Make");
    QJsonObject document = QJsonDocument::fromJson(KeyedArchiver::archivedData(entity)).object();
    QJsonObject top = document.value("$top").toObject();
    ASSERT_TRUE(top.contains("isOverwrite"));
    EXPECT_FALSE(top.contains("isModified"));
    top.remove("isOverwrite");
    document.insert("$top", top);

    TAVEntity::registerKeyedClass();
    QString error;
    const auto back = KeyedUnarchiver::unarchive<TAVEntity>(QJsonDocument(document).toJson(), &error);
    ASSERT_TRUE(back) << qPrintable(error);
    EXPECT_FALSE(back->isOverwrite());
    EXPECT_EQ(back->value(), QString("Canon"));
    EXPECT_EQ(back->dispKey(), QString("Make - Image (Exif)"));
}
