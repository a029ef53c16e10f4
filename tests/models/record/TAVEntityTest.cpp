#include "models/record/TAVEntity.h"

#include "foundation/KeyedArchive.h"

#include "support/QtPrinters.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

// A byte value reads the same spelled text from the entity, a copy of it and
// its archive.
void expectReadBackEverywhere(const TAVEntityPtr& entity, const QString& spelled)
{
    EXPECT_EQ(entity->value(), spelled);
    EXPECT_EQ(entity->copy()->value(), spelled);
    QString error;
    const auto back = KeyedUnarchiver::unarchive<TAVEntity>(KeyedArchiver::archivedData(entity), &error);
    ASSERT_TRUE(back) << qPrintable(error);
    EXPECT_EQ(back->value(), spelled);
}

} // namespace

TEST(TAVEntityTest, AbsentArgumentsGiveEmptyTextsAndOverwriteIsOnByDefault)
{
    const auto entity = TAVEntity::entityWithValue(QString(), QString());
    EXPECT_FALSE(entity->value().isNull());
    EXPECT_FALSE(entity->key().isNull());
    EXPECT_EQ(entity->dispKey(), QString(""));
    EXPECT_TRUE(entity->isOverwrite());
    EXPECT_FALSE(entity->isModified() || entity->isClear() || entity->isGroup() || entity->isChecked());

    const TAVEntity plain;
    EXPECT_TRUE(plain.isOverwrite());
    EXPECT_TRUE(plain.key().isNull());
    EXPECT_TRUE(plain.value().isNull());
}

TEST(TAVEntityTest, DisplayKeyFollowsTheKey)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {"Exif.Photo.FNumber", "FNumber - Photo (Exif)"},
        {"Iptc.Application2.Keywords", "Keywords - Application2 (Iptc)"},
        {"A.B.C.D", "C - B (A)"},
        {"Summary.CreateTime", "Summary.CreateTime"},
        {"EXIF", "EXIF"},
        {"", ""},
        {"A..C", "C -  (A)"},
        {"Xmp.dc.title[1]", "title[1] - dc (Xmp)"},
    };
    for (const auto& [key, dispKey] : cases)
        EXPECT_EQ(TAVEntity::entityWithValue("", key)->dispKey(), dispKey) << qPrintable(key);

    const auto entity = TAVEntity::entityWithValue("2.8", "Exif.Photo.FNumber");
    entity->setKey(QString());
    EXPECT_TRUE(entity->dispKey().isNull());

    // A display key set by hand wins until the key is set again; copies take
    // whichever the source shows.
    entity->setKey("Exif.Photo.FNumber");
    entity->setDispKey("Aperture");
    TAVEntity custom;
    custom.copyValueFromEntity(*entity);
    EXPECT_EQ(custom.dispKey(), QString("Aperture"));
    custom.copyValueFromEntity(*TAVEntity::entityWithValue("", "Exif.Image.Make"));
    EXPECT_EQ(custom.dispKey(), QString("Make - Image (Exif)"));
    entity->setKey("Exif.Photo.ExposureTime");
    EXPECT_EQ(entity->dispKey(), QString("ExposureTime - Photo (Exif)"));
    entity->setDispKey(QString());
    EXPECT_TRUE(entity->dispKey().isNull());
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
    EXPECT_EQ(copy->value(), QString("Canon"));
    EXPECT_EQ(copy->dispKey(), QString("Camera maker"));
    EXPECT_EQ(copy->replaceAfterValue(), QString("Nikon"));
    EXPECT_TRUE(copy->isModified() && copy->isClear() && copy->isGroup() && copy->isChecked());
    EXPECT_FALSE(copy->isOverwrite());
    EXPECT_EQ(copy->type(), 0);
    EXPECT_EQ(copy->dataType(), 0);

    // A plain C++ copy is a whole copy, reader types included.
    const TAVEntity whole(*read);
    EXPECT_EQ(whole.dispKey(), QString("Camera maker"));
    EXPECT_EQ(whole.replaceAfterValue(), QString("Nikon"));
    EXPECT_EQ(whole.dataType(), 2);

    // Copying into an existing entity keeps that entity's reader types.
    TAVEntity target;
    target.setType(3);
    target.setDataType(7);
    target.copyValueFromEntity(*read);
    EXPECT_EQ(target.type(), 3);
    EXPECT_EQ(target.dataType(), 7);

    // A record applied onto itself copies each entry from itself.
    read->copyValueFromEntity(*read);
    EXPECT_EQ(read->dispKey(), QString("Camera maker"));
    EXPECT_EQ(read->value(), QString("Canon"));
}

TEST(TAVEntityTest, ArchiveKeepsEditorFieldsAndClearsButComesBackUnmodified)
{
    TAVEntity::registerKeyedClass();
    const auto entity = TAVEntity::entityWithValue("", "Iptc.Application2.Keywords");
    entity->setIsModified(true);
    entity->setIsClear(true);
    entity->setIsOverwrite(false);
    entity->setIsChecked(true);
    entity->setIsGroup(true);
    entity->setType(2);
    entity->setDispKey("Keywords");

    QString error;
    const auto back = KeyedUnarchiver::unarchive<TAVEntity>(KeyedArchiver::archivedData(entity), &error);
    ASSERT_TRUE(back) << qPrintable(error);
    EXPECT_EQ(back->key(), QString("Iptc.Application2.Keywords"));
    EXPECT_FALSE(back->value().isNull());
    EXPECT_EQ(back->dispKey(), QString("Keywords"));
    EXPECT_TRUE(back->replaceAfterValue().isNull());
    EXPECT_FALSE(back->isModified() || back->isOverwrite());
    EXPECT_TRUE(back->isClear()) << "a stored clear stays a clear";
    EXPECT_TRUE(back->isChecked() && back->isGroup());
    EXPECT_EQ(back->type(), 0);

    // An archive from before the overwrite flag existed reads it as false.
    entity->setIsOverwrite(true);
    QJsonObject document = QJsonDocument::fromJson(KeyedArchiver::archivedData(entity)).object();
    QJsonObject top = document.value("$top").toObject();
    EXPECT_FALSE(top.contains("isModified"));
    ASSERT_TRUE(top.contains("isOverwrite"));
    top.remove("isOverwrite");
    document.insert("$top", top);
    const auto old = KeyedUnarchiver::unarchive<TAVEntity>(QJsonDocument(document).toJson(), &error);
    ASSERT_TRUE(old) << qPrintable(error);
    EXPECT_FALSE(old->isOverwrite());
}

TEST(TAVEntityTest, ALatin1ValueReadsAsTextThroughCopiesArchivesAndEdits)
{
    TAVEntity::registerKeyedClass();
    const auto entity = TAVEntity::entityWithValue("", "Exif.Photo.MakerNote");
    entity->setLatin1Value("65 112 112 108 233");
    EXPECT_EQ(entity->value(), QString("65 112 112 108 233"));
    EXPECT_EQ(entity->copy()->value(), QString("65 112 112 108 233"));
    QString error;
    const auto back = KeyedUnarchiver::unarchive<TAVEntity>(KeyedArchiver::archivedData(entity), &error);
    ASSERT_TRUE(back) << qPrintable(error);
    EXPECT_EQ(back->value(), QString("65 112 112 108 233"));

    TAVEntity target;
    target.copyValueFromEntity(*entity);
    target.setValue("edited");
    EXPECT_EQ(target.value(), QString("edited"));
    EXPECT_EQ(entity->value(), QString("65 112 112 108 233"));
    target.copyValueFromEntity(*TAVEntity::entityWithValue("", "Exif.Image.Make"));
    EXPECT_EQ(target.value(), QString(""));
    entity->setLatin1Value(QByteArray());
    EXPECT_TRUE(entity->value().isNull());
}

TEST(TAVEntityTest, ABytesValueReadsSpelledThroughCopiesArchivesAndEdits)
{
    TAVEntity::registerKeyedClass();
    const auto entity = TAVEntity::entityWithValue("", "Exif.Sony1.0x9400");
    entity->setBytesValue(QByteArray("\x00\x09\x0a\x63\x64\xff", 6));
    const QString spelled = QStringLiteral("0 9 10 99 100 255");
    expectReadBackEverywhere(entity, spelled);

    // Each way of setting a value replaces the one before, whatever its form.
    TAVEntity target;
    target.copyValueFromEntity(*entity);
    EXPECT_EQ(target.value(), spelled);
    target.setLatin1Value("1 2 3");
    EXPECT_EQ(target.value(), QString("1 2 3"));
    target.setBytesValue(QByteArray("\x07", 1));
    EXPECT_EQ(target.value(), QString("7"));
    target.setValue("edited");
    EXPECT_EQ(target.value(), QString("edited"));
    target.setBytesValue(QByteArray());
    EXPECT_EQ(target.value(), QString(""));
    EXPECT_FALSE(target.value().isNull());
    EXPECT_EQ(TAVEntity::spelledBytes(nullptr, 0), QString(""));
}

// Long bytes are kept packed where that saves room: they still read spelled
// exactly, whatever their length, through copies, archives and a copied
// value, and a later value of any form is never read as packed.
TEST(TAVEntityTest, LongBytesKeptPackedReadBackExactly)
{
    TAVEntity::registerKeyedClass();
    QByteArray table;
    for (int i = 0; i < 4096; ++i)
        table.append(char(i % 7 == 0 ? 0 : i % 5));
    QByteArray noise;
    for (int i = 0; i < 1024; ++i)
        noise.append(char((i * 2654435761u) >> 13));
    // Longer than a short value's compressor takes, between two short ones.
    QByteArray longTable;
    for (int i = 0; i < 40000; ++i)
        longTable.append(char(i % 11 == 0 ? (i >> 8) : i % 3));
    for (const QByteArray& bytes : {table, longTable, noise}) {
        const QString spelled
            = TAVEntity::spelledBytes(reinterpret_cast<const uchar*>(bytes.constData()), bytes.size());
        const auto entity = TAVEntity::entityWithValue("", "Exif.Sony1.0x940e");
        entity->setBytesValue(bytes);
        expectReadBackEverywhere(entity, spelled);
        TAVEntity target;
        target.setBytesValue(QByteArray("\x07", 1));
        target.copyValueFromEntity(*entity);
        EXPECT_EQ(target.value(), spelled);

        entity->setBytesValue(QByteArray("\x01\x02", 2));
        EXPECT_EQ(entity->value(), QString("1 2"));
        entity->setBytesValue(bytes);
        entity->setLatin1Value("3 4");
        EXPECT_EQ(entity->value(), QString("3 4"));
    }
}

// A value read again shares an earlier row's packed bytes only when they are
// the very same bytes: a change of one byte, of the length, or an earlier row
// that holds them unpacked or as text gives the new bytes.
TEST(TAVEntityTest, LongBytesReadAgainShareOnlyTheSameBytes)
{
    QByteArray table;
    for (int i = 0; i < 3000; ++i)
        table.append(char(i % 9 == 0 ? 0 : i % 4));
    const auto spelled = [](const QByteArray& bytes) {
        return TAVEntity::spelledBytes(reinterpret_cast<const uchar*>(bytes.constData()), bytes.size());
    };
    TAVEntity earlier;
    earlier.setBytesValue(table);

    TAVEntity same;
    same.setBytesValue(table, earlier);
    EXPECT_EQ(same.value(), spelled(table));

    QByteArray oneByteOff = table;
    oneByteOff[1500] = char(oneByteOff[1500] + 1);
    QByteArray longer = table + QByteArray(1, '\0');
    for (const QByteArray& changed : {oneByteOff, longer, table.left(2999)}) {
        TAVEntity row;
        row.setBytesValue(changed, earlier);
        EXPECT_EQ(row.value(), spelled(changed));
    }

    TAVEntity asText;
    asText.setLatin1Value(spelled(table).toLatin1());
    TAVEntity short_;
    short_.setBytesValue(QByteArray("\x01\x02", 2));
    for (const TAVEntity* other : {&asText, &short_}) {
        TAVEntity row;
        row.setBytesValue(table, *other);
        EXPECT_EQ(row.value(), spelled(table));
    }
}
