// The CSV writer: the text it produces for awkward fields, its delimiter rules,
// and how it treats the files it writes (nothing a user had is lost).
#include "tools/CSVWriter.h"

#include "support/QtPrinters.h"
#include "support/StrictUmask.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>

namespace {

QString written(const std::function<void(CSVWriter&)>& write)
{
    CSVWriter writer;
    write(writer);
    return writer.stringValue();
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool put(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

TEST(CSVWriter, QuotesFieldsThatNeedIt)
{
    const struct {
        QVariantList fields;
        const char* line;
    } rows[] = {
        {{"a", "b,c", "say \"hi\""}, "a,\"b,c\",\"say \"\"hi\"\"\"\n"},
        {{"one\ntwo", "x"}, "\"one\ntwo\",x\n"},
        {{"#1", "a#b"}, "\"#1\",a#b\n"},
        {{"a\\b", "q\"\\"}, "\"a\\\\b\",\"q\"\"\\\\\"\n"},
        {{QStringLiteral("line\u2028sep"), "cr\r"}, "\"line\u2028sep\",\"cr\r\"\n"},
        {{"", "x", QVariant()}, ",x,\n"},
        {{1.5, 42, true}, "1.5,42,1\n"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(written([&](CSVWriter& w) { w.writeLineWithFields(row.fields); }), QString::fromUtf8(row.line));
    }
}

TEST(CSVWriter, LinesCommentsAndAbsentFields)
{
    EXPECT_EQ(written([](CSVWriter& w) {
        w.writeField("a");
        w.writeCommentLine("note, \"unquoted\"");
        w.writeLineOfFields({"b", QVariant(), "ignored"});
        w.writeLineWithFields({});
        w.writeCommentLine("############### x ##############");
    }),
        "a\n#note, \"unquoted\"\nb\n\n################ x ##############\n");
    // A first absent field writes nothing at all, not even the line end.
    EXPECT_TRUE(written([](CSVWriter& w) { w.writeLineOfFields({QVariant(), "x"}); }).isNull());
    EXPECT_EQ(written([](CSVWriter& w) { w.writeFields({"a", "b"}); }), "a,b");
}

TEST(CSVWriter, DelimiterRules)
{
    CSVWriter writer;
    QString reason;
    for (const char* refused : {"#", "ab", "", "\n", "\"", "\\"}) {
        EXPECT_FALSE(writer.setDelimiter(QString::fromUtf8(refused), &reason)) << refused;
        EXPECT_EQ(reason, QString::fromUtf8(refused) + QStringLiteral(" cannot be used as a delimiter"));
    }
    EXPECT_FALSE(writer.setDelimiter(QStringLiteral("\u2029")));
    ASSERT_TRUE(writer.setDelimiter("\t"));
    EXPECT_EQ(writer.encoding(), 0u);
    writer.writeLineWithFields({"a,b", "c\td"});
    EXPECT_EQ(writer.encoding(), CSVWriter::UTF8StringEncoding);
    EXPECT_FALSE(writer.setDelimiter(";", &reason));
    EXPECT_EQ(reason, "You cannot set a delimiter after writing has started");
    EXPECT_EQ(writer.delimiter(), "\t");
    EXPECT_EQ(writer.stringValue(), "a,b\t\"c\td\"\n");
}

class CSVWriterFileTest : public TempFolderTest { };

TEST_F(CSVWriterFileTest, DirectModeReplacesAFileWithExactBytes)
{
    const QString path = tempPath("out.csv");
    ASSERT_TRUE(put(path, "old content that is longer than the new one\n"));
    {
        CSVWriter writer(path, false);
        writer.writeLineWithFields({"Field Name", "Value"});
        writer.writeLineWithFields({"Exif.Image.Make", QStringLiteral("Café")});
        EXPECT_TRUE(writer.closeFile());
        EXPECT_TRUE(writer.error().isNull());
        EXPECT_TRUE(writer.stringValue().isNull());
    }
    EXPECT_EQ(contents(path), QByteArray("Field Name,Value\nExif.Image.Make,Caf\xc3\xa9\n"));

    CSVWriter latin(path, false);
    latin.setEncoding(CSVWriter::ISOLatin1StringEncoding);
    latin.writeField(QStringLiteral("é"));
    EXPECT_TRUE(latin.closeFile());
    EXPECT_EQ(contents(path), QByteArray("\xe9"));
}

TEST_F(CSVWriterFileTest, AtomicModeReplacesTheDestinationOnlyAtClose)
{
    const QString path = tempPath("table.csv");
    ASSERT_TRUE(put(path, "old\n"));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    {
        CSVWriter writer(path, true);
        writer.writeLineWithFields({"new"});
        EXPECT_EQ(contents(path), QByteArray("old\n"));
    } // the writer closes itself when it goes
    EXPECT_EQ(contents(path), QByteArray("new\n"));
    // The private file stays private.
    EXPECT_FALSE(QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther));
    EXPECT_EQ(QDir(tempFolder()).entryList(QDir::Files | QDir::Hidden), QStringList({"table.csv"}));

    // A name at the file system's limit is written all the same.
    const QString longest = tempPath(QString(251, QLatin1Char('n')) + ".csv");
    CSVWriter writer(longest, true);
    writer.writeLineWithFields({"long"});
    EXPECT_TRUE(writer.closeFile()) << writer.error().toStdString();
    EXPECT_EQ(contents(longest), QByteArray("long\n"));
}

// A table others may read keeps that mode when it is written again.
TEST_F(CSVWriterFileTest, AtomicModeKeepsTheModeOfTheTableItReplaces)
{
    const StrictUmask strictUmask;
    const QString path = tempPath("shared.csv");
    for (const mode_t mode : {mode_t(0644), mode_t(0640)}) {
        ASSERT_TRUE(put(path, "old\n"));
        ASSERT_TRUE(StrictUmask::setMode(path, mode));
        CSVWriter writer(path, true);
        writer.writeLineWithFields({"new"});
        ASSERT_TRUE(writer.closeFile());
        EXPECT_EQ(StrictUmask::modeOf(path), mode);
    }
}

TEST_F(CSVWriterFileTest, FolderAtTheDestinationIsNeverRemoved)
{
    const QString path = tempPath("photos.csv");
    ASSERT_TRUE(QDir().mkpath(path));
    ASSERT_TRUE(put(path + QStringLiteral("/keep.jpg"), "jpeg"));

    CSVWriter direct(path, false);
    EXPECT_FALSE(direct.error().isNull());
    direct.writeLineWithFields({"x"});
    EXPECT_FALSE(direct.closeFile());
    EXPECT_TRUE(direct.stringValue().isNull());

    CSVWriter atomic(path, true);
    atomic.writeLineWithFields({"kept"});
    EXPECT_FALSE(atomic.closeFile());
    EXPECT_FALSE(atomic.error().isNull());
    EXPECT_FALSE(atomic.closeFile()); // closing again changes nothing

    EXPECT_EQ(contents(path + QStringLiteral("/keep.jpg")), QByteArray("jpeg"));
    EXPECT_TRUE(QDir(tempFolder()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(CSVWriterFileTest, FileThatCannotBeCreatedIsReported)
{
    for (const bool atomic : {false, true}) {
        CSVWriter writer(tempPath("missing/out.csv"), atomic);
        EXPECT_FALSE(writer.error().isNull()) << atomic;
        writer.writeLineWithFields({"lost"});
        EXPECT_FALSE(writer.closeFile()) << atomic;
        EXPECT_TRUE(writer.stringValue().isNull()) << atomic;
    }
    EXPECT_FALSE(QFile::exists(tempPath("missing")));
}
