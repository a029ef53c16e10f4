#include "models/tables/CSVParser.h"

#include "foundation/FileServices.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

using Records = CSVParser::Records;

Records parse(const QByteArray& bytes, uint64_t bufferSize = 2049)
{
    CSVParser parser;
    parser.setBufferSize(bufferSize);
    return parser.parseData(bytes);
}

} // namespace

TEST(CSVParserTest, QuotedFieldKeepsDelimitersLineBreaksAndFoldsDoubledQuotes)
{
    const QByteArray text = "key,type,tooltip\n"
                            "Exif.Image.Artist,Ascii,\"Who, where\r\nand \"\"why\"\"\"\n"
                            "\"\",,last,\n";
    const Records records = parse(text);
    ASSERT_EQ(records.size(), 3);
    EXPECT_EQ(records[1], QStringList({"Exif.Image.Artist", "Ascii", "Who, where\r\nand \"why\""}));
    // Empty fields at the start of a record and after a delimiter are "".
    EXPECT_EQ(records[2], QStringList({"", "", "last", ""}));
}

TEST(CSVParserTest, ChunkBoundariesDoNotChangeTheResult)
{
    const QByteArray text = "a;b;c\r\n"
                            "\"long quoted; field\r\nwith \"\"quotes\"\" inside\";x;y\r\n"
                            "\r\n\r\n"
                            "1;\"\";3";
    CSVParser reference;
    const Records expected = reference.parseData(text);
    ASSERT_EQ(expected.size(), 3);
    EXPECT_EQ(expected[1][0], QString("long quoted; field\r\nwith \"quotes\" inside"));
    EXPECT_EQ(expected[2], QStringList({"1", "", "3"}));
    EXPECT_EQ(reference.endOfLine(), QString("\r\n"));

    // Every split point of the input, including one between CR and LF.
    for (uint64_t size = 2; size < 12; ++size) {
        CSVParser parser;
        parser.setBufferSize(size);
        EXPECT_EQ(parser.parseData(text), expected) << "buffer size " << size;
        EXPECT_EQ(parser.endOfLine(), QString("\r\n")) << "buffer size " << size;
    }
}

TEST(CSVParserTest, DelimiterFoundOnlyInALaterChunkSplitsEarlierTextAndStays)
{
    CSVParser parser;
    parser.setBufferSize(5);
    const Records records = parser.parseData("abcdefghij|k\nl|m\n");
    EXPECT_EQ(parser.delimiterString(), QString("|"));
    EXPECT_EQ(records, Records({{"abcdefghij", "k"}, {"l", "m"}}));

    CSVParser plain;
    EXPECT_EQ(plain.parseData("one field\nanother, maybe\n"), Records({{"one field"}, {"another", " maybe"}}));
    // Without any delimiter the fields are not split.
    CSVParser none;
    EXPECT_EQ(none.parseData("no delimiter here\nat all"), Records({{"no delimiter here"}, {"at all"}}));
    EXPECT_TRUE(none.delimiterString().isNull());
    EXPECT_EQ(none.endOfLine(), QString("\n"));

    // A detected delimiter stays for the next input.
    EXPECT_EQ(parser.parseData("c,d|e\n"), Records({{"c,d", "e"}}));
}

TEST(CSVParserTest, BytesInvalidInTheEncodingAreReadAsLatin1WithANote)
{
    const Records records = parse("caf\xe9,ok\n");
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0][0], QString::fromUtf8("café (**encoding or data invalid**)"));
    EXPECT_EQ(records[0][1], QString("ok"));

    CSVParser latin;
    latin.setEncoding(QStringConverter::Latin1);
    EXPECT_EQ(latin.parseData("caf\xe9,ok\n")[0][0], QString::fromUtf8("café"));
}

TEST(CSVParserTest, NothingToParseGivesNoRecords)
{
    CSVParser parser;
    EXPECT_TRUE(parser.parseData(QByteArray()).isEmpty());
    EXPECT_TRUE(parser.parseData("").isEmpty());
    EXPECT_TRUE(parser.parseData("\r\n\n\r").isEmpty());
    EXPECT_TRUE(parser.parseFile().isEmpty());
    // A buffer size that would read nothing per chunk still reads everything.
    EXPECT_EQ(parse("x,y", 0), Records({{"x", "y"}}));
}

class CSVParserFileTest : public TempFolderTest { };

TEST_F(CSVParserFileTest, ReadsAFileWithWindowsLineEndings)
{
    const QString path = tempPath("table.csv");
    ASSERT_TRUE(
        FileServices::writeFileAtomically(path, "key,type,tooltip\r\nIptc.Application2.City,String,\"City\"\r\n\r\n"));

    CSVParser parser;
    ASSERT_TRUE(parser.openFile(path));
    EXPECT_GT(parser.fileHandle(), 0);
    const Records records = parser.parseFile();
    parser.closeFile();
    EXPECT_EQ(parser.fileHandle(), 0);
    EXPECT_EQ(records, Records({{"key", "type", "tooltip"}, {"Iptc.Application2.City", "String", "City"}}));
    EXPECT_EQ(parser.endOfLine(), QString("\r\n"));

    EXPECT_FALSE(parser.openFile(tempPath("missing.csv")));
    EXPECT_TRUE(parser.parseFile().isEmpty());
}
