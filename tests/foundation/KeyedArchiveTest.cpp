#include "foundation/KeyedArchive.h"

#include "foundation/FileServices.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

// A class using every kind of value an archive carries, including a list,
// a map of objects and a back reference that closes a cycle.
class Sample : public KeyedCodable {
public:
    QString className() const override { return "TestSample"; }

    void encode(KeyedArchiver& a) const override
    {
        if (flagPresent) {
            a.encodeBool("flag", flag);
        }
        a.encodeInt32("small", small);
        a.encodeInt64("big", big);
        a.encodeDouble("real", real);
        a.encodeString("text", text);
        a.encodeObject("child", child);
        a.encodeObject("parent", parent.lock());
        a.encodeList("children", children);
        a.encodeMap("byName", byName);
        a.encodeMap("nested", nested);
        a.encodeMap("attributes", attributes);
    }

    void decode(KeyedUnarchiver& u) override
    {
        flagPresent = u.containsValue("flag");
        flag = u.decodeBool("flag");
        small = u.decodeInt32("small");
        big = u.decodeInt64("big");
        real = u.decodeDouble("real");
        text = u.decodeString("text");
        child = u.decodeObject<Sample>("child");
        parent = u.decodeObject<Sample>("parent");
        children = u.decodeList<QList<std::shared_ptr<Sample>>>("children");
        byName = u.decodeMap<QMap<QString, std::shared_ptr<Sample>>>("byName");
        nested = u.decodeMap<QMap<QString, QMap<QString, std::shared_ptr<Sample>>>>("nested");
        attributes = u.decodeMap<QMap<QString, QString>>("attributes");
    }

    bool flagPresent = true;
    bool flag = false;
    int32_t small = 0;
    int64_t big = 0;
    double real = 0;
    QString text;
    std::shared_ptr<Sample> child;
    std::weak_ptr<Sample> parent;
    QList<std::shared_ptr<Sample>> children;
    QMap<QString, std::shared_ptr<Sample>> byName;
    QMap<QString, QMap<QString, std::shared_ptr<Sample>>> nested;
    QMap<QString, QString> attributes;
};

// Writes two short-lived objects through plain pointers; they may well share
// an address, yet they are different objects.
class Temporaries : public KeyedCodable {
public:
    QString className() const override { return "TestTemporaries"; }
    void encode(KeyedArchiver& a) const override
    {
        for (int i = 0; i < 2; ++i) {
            Sample temporary;
            temporary.small = i + 1;
            a.encodeObject(QStringLiteral("t%1").arg(i), &temporary);
        }
    }
    void decode(KeyedUnarchiver& u) override
    {
        first = u.decodeObject<Sample>("t0");
        second = u.decodeObject<Sample>("t1");
    }
    std::shared_ptr<Sample> first;
    std::shared_ptr<Sample> second;
};

class KeyedArchiveTest : public TempFolderTest {
protected:
    static void SetUpTestSuite()
    {
        KeyedClassRegistry::registerClass<Sample>("TestSample");
        KeyedClassRegistry::registerClass<Temporaries>("TestTemporaries");
    }

    static std::shared_ptr<Sample> roundTrip(const std::shared_ptr<Sample>& sample)
    {
        QString error;
        auto back = KeyedUnarchiver::unarchive<Sample>(KeyedArchiver::archivedData(sample), &error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return back;
    }
};

} // namespace

TEST_F(KeyedArchiveTest, ValuesComeBackWithAbsentAndFalseKeptApart)
{
    auto sample = std::make_shared<Sample>();
    sample->flag = false; // written as false
    sample->small = -7;
    sample->big = (int64_t(1) << 60) + 3; // beyond what a JSON number holds exactly
    sample->real = 0.1;
    sample->text = ""; // present but empty
    sample->attributes = {{"k", "v"}};

    auto back = roundTrip(sample);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->flagPresent);
    EXPECT_FALSE(back->flag);
    EXPECT_EQ(back->small, -7);
    EXPECT_EQ(back->big, (int64_t(1) << 60) + 3);
    EXPECT_EQ(back->real, 0.1);
    EXPECT_FALSE(back->text.isNull());
    EXPECT_TRUE(back->text.isEmpty());
    EXPECT_EQ(back->attributes.value("k"), "v");
    EXPECT_EQ(back->child, nullptr);

    // Not written at all: absent, and the reads give their defaults.
    sample->flagPresent = false;
    sample->text = QString();
    back = roundTrip(sample);
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->flagPresent);
    EXPECT_FALSE(back->flag);
    EXPECT_TRUE(back->text.isNull());
}

TEST_F(KeyedArchiveTest, ObjectGraphsKeepSharingAndCycles)
{
    auto root = std::make_shared<Sample>();
    auto shared = std::make_shared<Sample>();
    shared->text = "shared";
    shared->parent = root; // back reference to the root: a cycle
    root->child = shared;
    root->children = {shared, std::make_shared<Sample>()};
    root->byName = {{"s", shared}};
    root->nested = {{"0", {{"Exif.Image.Make", shared}}}};

    auto back = roundTrip(root);
    ASSERT_TRUE(back);
    ASSERT_TRUE(back->child);
    EXPECT_EQ(back->child->text, "shared");
    EXPECT_EQ(back->child->parent.lock(), back);
    ASSERT_EQ(back->children.size(), 2);
    EXPECT_EQ(back->children.first(), back->child);
    EXPECT_EQ(back->byName.value("s"), back->child);
    EXPECT_EQ(back->nested.value("0").value("Exif.Image.Make"), back->child);

    Temporaries temporaries;
    auto copies = KeyedUnarchiver::unarchive<Temporaries>(KeyedArchiver::archivedData(&temporaries));
    ASSERT_TRUE(copies && copies->first && copies->second);
    EXPECT_EQ(copies->first->small, 1);
    EXPECT_EQ(copies->second->small, 2);
}

TEST_F(KeyedArchiveTest, DamagedOrForeignDataFailsWithAReason)
{
    QString error;
    EXPECT_EQ(KeyedUnarchiver::unarchiveObject(QByteArray("not json"), &error), nullptr);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(KeyedUnarchiver::unarchiveObject(QByteArray("{\"a\":1}"), &error), nullptr);
    EXPECT_FALSE(error.isEmpty());

    auto sample = std::make_shared<Sample>();
    QByteArray data = KeyedArchiver::archivedData(sample);
    data.replace("TestSample", "NoSuchClass");
    EXPECT_EQ(KeyedUnarchiver::unarchiveObject(data, &error), nullptr);
    EXPECT_TRUE(error.contains("NoSuchClass"));

    // An archive of nothing reads as nothing, without an error.
    EXPECT_EQ(KeyedUnarchiver::unarchiveObject(KeyedArchiver::archivedData(nullptr), &error), nullptr);
    EXPECT_TRUE(error.isEmpty());
}

TEST_F(KeyedArchiveTest, FilesAreReplacedWholeOrNotAtAll)
{
    auto sample = std::make_shared<Sample>();
    sample->small = 1;
    const QString path = tempPath("preset.data");
    ASSERT_TRUE(KeyedArchiver::archiveRootObject(sample.get(), path));
    sample->small = 2;
    ASSERT_TRUE(KeyedArchiver::archiveRootObject(sample.get(), path));
    auto back = std::dynamic_pointer_cast<Sample>(KeyedUnarchiver::unarchiveObjectWithFile(path));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->small, 2);
    EXPECT_EQ(FileServices::contentsOfFolder(tempFolder()), QStringList{"preset.data"});

    QString error;
    EXPECT_FALSE(KeyedArchiver::archiveRootObject(sample.get(), path + QStringLiteral("/inside.data"), &error));
    EXPECT_FALSE(error.isEmpty());
}
