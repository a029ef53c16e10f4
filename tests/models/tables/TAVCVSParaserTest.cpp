#include "models/tables/TAVCVSParaser.h"

#include "models/tables/CSVParser.h"
#include "models/tables/TAVKeyLists.h"

#include "foundation/FileServices.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <exiv2/exiv2.hpp>

#include <gtest/gtest.h>

namespace {

bool exivAcceptsKey(const QString& key)
{
    try {
        if (key.startsWith("Exif.")) {
            Exiv2::ExifKey exifKey(key.toStdString());
        } else if (key.startsWith("Iptc.")) {
            Exiv2::IptcKey iptcKey(key.toStdString());
        } else {
            return false;
        }
        return true;
    } catch (const Exiv2::AnyError&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

TEST(TAVCVSParaserTest, CompiledInTablesHoldOnlyKeysAndTypesTheLibraryKnows)
{
    TAVCVSParaser::loadCanEditTags();
    const auto& families = TAVCVSParaser::tagsByFamily();
    ASSERT_TRUE(families.contains("exif"));
    ASSERT_TRUE(families.contains("iptc"));
    EXPECT_GT(families["exif"].size(), 50);
    EXPECT_GT(families["iptc"].size(), 10);

    for (const QString& family : families.keys()) {
        const QString prefix = family == "exif" ? "Exif." : "Iptc.";
        for (const TAVExifTagPtr& tag : families[family]) {
            EXPECT_TRUE(tag->tagStr().startsWith(prefix)) << tag->tagStr().toStdString();
            EXPECT_TRUE(exivAcceptsKey(tag->tagStr())) << tag->tagStr().toStdString();
            EXPECT_TRUE(tag->explicitType()) << tag->tagStr().toStdString();
            EXPECT_FALSE(tag->strTooltips().isEmpty()) << tag->tagStr().toStdString();
            EXPECT_EQ(TAVCVSParaser::tagForKey(tag->tagStr()), tag);
        }
    }

    // Every real metadata key the tabs show can be edited.
    for (const QString& key : TAVKeyLists::shownKeys()) {
        if (exivAcceptsKey(key)) {
            EXPECT_TRUE(TAVCVSParaser::tagForKey(key) != nullptr) << key.toStdString();
        }
    }
    const TAVExifTagPtr fNumber = TAVCVSParaser::tagForKey("Exif.Photo.FNumber");
    ASSERT_TRUE(fNumber);
    EXPECT_EQ(fNumber->tagTypeStr(), QString("Rational"));
    EXPECT_EQ(fNumber->dataType(), 5);
    EXPECT_EQ(fNumber->tagType(), Exiv2::unsignedRational);
    // Loading again changes nothing: the tables are filled once.
    TAVCVSParaser::loadCanEditTags();
    EXPECT_EQ(TAVCVSParaser::tagForKey("Exif.Photo.FNumber"), fNumber);
}

class TAVCVSParaserFileTest : public TempFolderTest {
protected:
    QString writeTable(const QString& name, const QByteArray& text)
    {
        EXPECT_TRUE(FileServices::writeFileAtomically(tempPath(name), text));
        return tempPath(name);
    }

    CSVParser parser_;
    TAVCVSParaser::Tables tables_;
};

TEST_F(TAVCVSParaserFileTest, RowsTakeTheirCodesAndLibraryTypes)
{
    const QString path = writeTable("exif.csv",
        "key,type,tooltip\n"
        "Exif.Image.Artist,Ascii,Who\n"
        "Exif.Photo.Flash,Byte,Flash\n"
        "Exif.Image.Long,SLong,Known to the library only\n"
        "Exif.Image.Odd,Bogus,Known to nobody\n"
        "Exif.Image.Short,Short\n");
    TAVCVSParaser::loadTagForPath(path, "exif", parser_, tables_);

    const QList<TAVExifTagPtr> rows = tables_.tagsByFamily.value("exif");
    ASSERT_EQ(rows.size(), 4); // the record with two fields makes no row
    EXPECT_EQ(rows[0]->tagStr(), QString("Exif.Image.Artist"));
    EXPECT_EQ(rows[0]->strTooltips(), QString("Who"));
    EXPECT_EQ(rows[0]->dataType(), 0);
    EXPECT_EQ(rows[0]->tagType(), Exiv2::asciiString);
    EXPECT_EQ(rows[1]->dataType(), 4);

    EXPECT_EQ(rows[2]->dataType(), 0);
    EXPECT_EQ(rows[2]->tagType(), Exiv2::signedLong);
    EXPECT_TRUE(rows[2]->explicitType());

    EXPECT_EQ(rows[3]->tagTypeStr(), QString("Bogus"));
    EXPECT_EQ(rows[3]->dataType(), 0);
    EXPECT_EQ(rows[3]->tagType(), TAVExifTag::kInvalidTypeId);
    EXPECT_FALSE(rows[3]->explicitType());
    EXPECT_FALSE(tables_.tagsByKey.contains("Exif.Image.Short"));
}

TEST_F(TAVCVSParaserFileTest, AKeyInBothTablesKeepsTheLaterRow)
{
    TAVCVSParaser::loadTagForPath(
        writeTable("a.csv", "k,t,h\nIptc.Application2.City,String,first\n"), "exif", parser_, tables_);
    TAVCVSParaser::loadTagForPath(
        writeTable("b.csv", "k,t,h\nIptc.Application2.City,String,second\n"), "iptc", parser_, tables_);
    EXPECT_EQ(tables_.tagsByKey.value("Iptc.Application2.City")->strTooltips(), QString("second"));
    EXPECT_EQ(tables_.tagsByFamily.value("exif").size(), 1);
    EXPECT_EQ(tables_.tagsByFamily.value("iptc").size(), 1);
}

TEST_F(TAVCVSParaserFileTest, TablesWithoutRowsAddNoFamily)
{
    TAVCVSParaser::loadTagForPath(writeTable("header.csv", "key,type,tooltip\n"), "exif", parser_, tables_);
    TAVCVSParaser::loadTagForPath(tempPath("missing.csv"), "iptc", parser_, tables_);
    TAVCVSParaser::loadTagForPath(QString(), "iptc", parser_, tables_);
    EXPECT_TRUE(tables_.tagsByFamily.isEmpty());
    EXPECT_TRUE(tables_.tagsByKey.isEmpty());

    // One parser reads both tables, so the second is read with the delimiter
    // found in the first: its rows do not split and make no tags.
    TAVCVSParaser::loadTagForPath(
        writeTable("semi.csv", "k;t;h\nIptc.Application2.City;String;x\n"), "iptc", parser_, tables_);
    EXPECT_FALSE(tables_.tagsByFamily.contains("iptc"));
}
