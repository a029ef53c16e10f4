// The export on real files: sidecars from the user's file, CSV tables from the
// working copy, byte for byte, and every file it could not write reported.
#include "tools/TAVExportOperation.h"

#include "foundation/FileServices.h"

#include "support/ExifTool.h"
#include "support/FakeUiServices.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <exiv2/exiv2.hpp>

#include <gtest/gtest.h>

namespace {

using Keys = TAVExportOperation::Keys;
using Tags = std::vector<ImageFixtures::Tag>;

// One layout of a table and the bytes it must give.
struct Case {
    const char* name;
    bool oneLine;
    Keys keys;
    QByteArray expected;
};

// Sorted, without the rows the library adds for the structure it writes
// (the pointer to the GPS directory, the IPTC character set).
QStringList withoutStructure(QStringList keys)
{
    keys.removeAll(QStringLiteral("Exif.Image.GPSTag"));
    keys.removeAll(QStringLiteral("Iptc.Envelope.CharacterSet"));
    keys.sort();
    return keys;
}

QByteArray contents(const QString& path)
{
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("<unreadable>");
}

class ExportOperationTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        UiServices::setShared(&ui_);
    }
    void TearDown() override { UiServices::setShared(nullptr); }

    // The user's file holds `tags`; its working copy then gets `edits` on top,
    // as an image whose changes are not saved yet.
    TAVImageObjectPtr image(const QString& name, const Tags& tags, const Tags& edits = {})
    {
        QDir().mkpath(tempPath("user"));
        QDir().mkpath(tempPath("work"));
        const QString user = tempPath("user/" + name);
        const QString work = tempPath("work/" + name);
        EXPECT_TRUE(ImageFixtures::makeImageWithTags(user, tags));
        EXPECT_TRUE(FileServices::copyItem(user, work));
        if (!edits.empty()) {
            EXPECT_TRUE(ImageFixtures::writeTags(work, edits));
        }
        const TAVImageObjectPtr result = TAVImageObject::create(work);
        result->setSrcPath(user);
        return result;
    }
    TAVImageObjectPtr camera(const QString& name, const QString& make)
    {
        return image(name,
            {{"Exif.Image.Make", "UserCam", std::nullopt}, {"Exif.Image.Orientation", "1", std::nullopt},
                {"Iptc.Application2.City", "Oslo", std::nullopt}},
            {{"Exif.Image.Make", make, std::nullopt}});
    }
    QString out() { return tempPath("out"); }
    QStringList written() { return QDir(out()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot); }
    QString mergedFile()
    {
        const QStringList csv = QDir(out()).entryList({"*.csv"}, QDir::Files);
        return csv.size() == 1 ? QDir(out()).filePath(csv.first()) : QString();
    }

    // Alerts answer their first button (Keep Both) unless told otherwise.
    FakeUiServices ui_;
};

TEST_F(ExportOperationTest, TypeNamesFollowTheExifTypeIdsAndUnknownIdsAreUndefined)
{
    const std::vector<std::pair<int32_t, const char*>> cases{{0, "UNDEFINED"}, {1, "BYTE"}, {2, "ASCII"},
        {7, "UNDEFINED"}, {9, "SLONG"}, {13, "IFD"}, {14, "UNDEFINED"}, {0x10000, "string"},
        {0x10009, "language alternative"}, {0x1fffe, "Invalid"}, {0x1ffff, "Last"}, {-1, "UNDEFINED"}};
    for (const auto& [code, name] : cases) {
        TAVEntity row;
        row.setDataType(code);
        EXPECT_EQ(TAVExportOperation::getEntityDataTypeName(row), QString::fromLatin1(name)) << code;
    }
    // A copied row carries no type id.
    TAVEntity read;
    read.setDataType(2);
    EXPECT_EQ(TAVExportOperation::getEntityDataTypeName(*read.copy()), QStringLiteral("UNDEFINED"));
}

TEST_F(ExportOperationTest, PerImageTablesInEveryLayout)
{
    const TAVImageObjectPtr a = camera("a.jpg", "WorkCam");
    const std::vector<Case> cases{
        {"three columns, no header", false, std::nullopt,
            "Exif.Image.Make,ASCII,WorkCam\nExif.Image.Orientation,SHORT,1\nIptc.Application2.City,string,Oslo\n"},
        {"one line without keys", true, std::nullopt, "a,WorkCam,1,Oslo\n"},
        {"three columns with keys, sorted", false, QStringList{"Iptc.Application2.City", "Exif.Image.Make"},
            "Field Name,Type,Value\nExif.Image.Make,ASCII,WorkCam\nIptc.Application2.City,string,Oslo\n"},
        // A key the image lacks keeps its empty column; the next stays under its own key.
        {"one line with a missing key", true,
            QStringList{"Exif.Image.Artist", "Exif.Image.Make", "Iptc.Application2.City"},
            "File Name,Exif.Image.Artist,Exif.Image.Make,Iptc.Application2.City\na,,WorkCam,Oslo\n"},
        // An empty list is no list.
        {"empty key list", false, QStringList(),
            "Exif.Image.Make,ASCII,WorkCam\nExif.Image.Orientation,SHORT,1\nIptc.Application2.City,string,Oslo\n"},
    };
    for (const Case& c : cases) {
        QDir(out()).removeRecursively();
        TAVExportOperation operation({a});
        EXPECT_TRUE(operation.exportExif(16, true, out(), c.oneLine, false, c.keys)) << c.name;
        EXPECT_TRUE(operation.failures().isEmpty()) << c.name;
        EXPECT_EQ(contents(out() + "/a.csv"), c.expected) << c.name;
    }
}

TEST_F(ExportOperationTest, RepeatedDatasetsFillTheirOneColumn)
{
    const TAVImageObjectPtr a = image("a.jpg", {{"Exif.Image.Make", "Acme", std::nullopt}});
    ASSERT_TRUE(ImageFixtures::writeKeywords(a->path(), {"sea", "boat"}));
    a->setPath(a->path());
    TAVExportOperation operation({a});
    operation.exportExif(16, true, out(), true, false, QStringList{"Iptc.Application2.Keywords"});
    EXPECT_EQ(contents(out() + "/a.csv"), QByteArray("File Name,Iptc.Application2.Keywords\na,\"sea, boat\"\n"));
}

TEST_F(ExportOperationTest, MergedTables)
{
    const TAVImageObjectPtr a = camera("a.jpg", "WorkA");
    const TAVImageObjectPtr b = image("b.jpg", {{"Exif.Image.Make", "UserB", std::nullopt}});
    const std::vector<Case> cases{
        // Without keys the one-line flag is not used: each image under its name.
        {"no keys", true, std::nullopt,
            "Field Name,Type,Value\n,,\n################ a ##############\n"
            "Exif.Image.Make,ASCII,WorkA\nExif.Image.Orientation,SHORT,1\nIptc.Application2.City,string,Oslo\n"
            ",,\n################ b ##############\nExif.Image.Make,ASCII,UserB\n"},
        {"keys, three columns", false, QStringList{"Exif.Image.Make", "Iptc.Application2.City"},
            "Field Name,Type,Value\nExif.Image.Make,ASCII,WorkA\nIptc.Application2.City,string,Oslo\n"
            "Exif.Image.Make,ASCII,UserB\n"},
        {"keys, one line", true, QStringList{"Exif.Image.Make", "Iptc.Application2.City"},
            "File Name,Exif.Image.Make,Iptc.Application2.City\na,WorkA,Oslo\nb,UserB,\n"},
    };
    for (const Case& c : cases) {
        QDir(out()).removeRecursively();
        TAVExportOperation operation({a, b});
        EXPECT_TRUE(operation.exportExif(16, true, out(), c.oneLine, true, c.keys)) << c.name;
        EXPECT_TRUE(operation.failures().isEmpty()) << c.name;
        EXPECT_EQ(contents(mergedFile()), c.expected) << c.name;
        EXPECT_EQ(written(), QStringList({mergedFile().section('/', -1), "a.exv", "b.exv"})) << c.name;
    }
}

TEST_F(ExportOperationTest, ThumbnailAloneAndAnEmptyPathWriteNoTable)
{
    const TAVImageObjectPtr a = camera("a.jpg", "WorkCam");
    TAVExportOperation thumbnail({a});
    EXPECT_TRUE(thumbnail.exportExif(8, true, out(), false, false, std::nullopt));
    EXPECT_EQ(written(), QStringList{"a.exv"});
    QDir(out()).removeRecursively();
    EXPECT_TRUE(thumbnail.exportExif(8, true, out(), false, true, std::nullopt));
    EXPECT_EQ(written(), QStringList{"a.exv"});

    TAVExportOperation nowhere({a});
    EXPECT_FALSE(nowhere.exportExif(15, true, QString(), false, false, std::nullopt));
    EXPECT_TRUE(nowhere.failures().isEmpty());
    EXPECT_EQ(QDir(tempFolder()).entryList(QDir::Files), QStringList());
}

TEST_F(ExportOperationTest, TheSidecarHoldsTheUsersFileAndTheTableTheWorkingCopy)
{
    const TAVImageObjectPtr a = camera("a.jpg", "WorkCam");
    TAVExportOperation operation({a});
    ASSERT_TRUE(operation.exportExif(15, true, out(), true, false, std::nullopt));
    EXPECT_EQ(contents(out() + "/a.csv"), QByteArray("a,WorkCam,1,Oslo\n"));

    const auto sidecar = Exiv2::ImageFactory::open((out() + "/a.exv").toStdString());
    sidecar->readMetadata();
    EXPECT_EQ(sidecar->exifData()["Exif.Image.Make"].toString(), "UserCam");
    EXPECT_EQ(sidecar->iptcData()["Iptc.Application2.City"].toString(), "Oslo");
    if (ExifTool::available()) {
        EXPECT_EQ(ExifTool::read(out() + "/a.exv").value("IFD0:Make").toString(), QStringLiteral("UserCam"));
    }
}

TEST_F(ExportOperationTest, ImagesOfOneBaseNameGetFilesOfTheirOwn)
{
    const TAVImageObjectPtr jpeg = image("a.jpg", {{"Exif.Image.Make", "First", std::nullopt}});
    const TAVImageObjectPtr tiff = image("a.tif", {{"Exif.Image.Make", "Second", std::nullopt}});
    TAVExportOperation operation({jpeg, tiff});
    ASSERT_TRUE(operation.exportExif(2, true, out(), false, false, std::nullopt));
    EXPECT_TRUE(operation.failures().isEmpty());
    EXPECT_EQ(written(), QStringList({"a.csv", "a.exv", "a.tif.csv", "a.tif.exv"}));
    EXPECT_EQ(operation.outcome().written, QStringList({"a.exv", "a.csv", "a.tif.exv", "a.tif.csv"}));
    EXPECT_TRUE(contents(out() + "/a.csv").contains("Exif.Image.Make,ASCII,First\n"));
    EXPECT_TRUE(contents(out() + "/a.tif.csv").contains("Exif.Image.Make,ASCII,Second\n"));
    const auto sidecar = Exiv2::ImageFactory::open((out() + "/a.tif.exv").toStdString());
    sidecar->readMetadata();
    EXPECT_EQ(sidecar->exifData()["Exif.Image.Make"].toString(), "Second");
    EXPECT_TRUE(ui_.alerts().isEmpty());
}

// The EXIF and XMP boxes, and a custom choice of keys, decide what the
// sidecar and the table hold; IPTC has no box and goes with either family.
TEST_F(ExportOperationTest, TheSidecarAndTheTableHoldWhatTheBoxesChoose)
{
    const TAVImageObjectPtr a = image("a.jpg",
        {{"Exif.Image.Make", "UserCam", std::nullopt}, {"Exif.GPSInfo.GPSLatitudeRef", "N", std::nullopt},
            {"Iptc.Application2.City", "Oslo", std::nullopt}, {"Xmp.dc.source", "Harbour", std::nullopt}});
    struct Choice {
        const char* name;
        int32_t type;
        Keys keys;
        QStringList sidecarKeys;
    };
    const std::vector<Choice> choices{
        {"XMP alone", 4, std::nullopt, {"Iptc.Application2.City", "Xmp.dc.source"}},
        {"EXIF alone", 2, std::nullopt, {"Exif.GPSInfo.GPSLatitudeRef", "Exif.Image.Make", "Iptc.Application2.City"}},
        {"custom keys", 16, QStringList{"Exif.Image.Make"}, {"Exif.Image.Make"}},
    };
    for (const Choice& choice : choices) {
        SCOPED_TRACE(choice.name);
        QDir(out()).removeRecursively();
        TAVExportOperation operation({a});
        ASSERT_TRUE(operation.exportExif(choice.type, true, out(), false, false, choice.keys));
        const auto sidecar = Exiv2::ImageFactory::open((out() + "/a.exv").toStdString());
        sidecar->readMetadata();
        QStringList keys;
        for (const auto& datum : sidecar->exifData())
            keys.append(QString::fromStdString(datum.key()));
        for (const auto& datum : sidecar->iptcData())
            keys.append(QString::fromStdString(datum.key()));
        for (const auto& datum : sidecar->xmpData())
            keys.append(QString::fromStdString(datum.key()));
        EXPECT_EQ(withoutStructure(keys), choice.sidecarKeys);
        QStringList tableKeys;
        for (const QByteArray& line : contents(out() + "/a.csv").split('\n')) {
            if (!line.isEmpty() && line != "Field Name,Type,Value")
                tableKeys.append(QString::fromUtf8(line.split(',').first()));
        }
        EXPECT_EQ(withoutStructure(tableKeys), choice.sidecarKeys);
    }
}

TEST_F(ExportOperationTest, ANewNestedFolderIsMadeBeforeTheFirstSidecar)
{
    const TAVImageObjectPtr a = camera("a.jpg", "WorkA");
    const TAVImageObjectPtr b = camera("b.jpg", "WorkB");
    const QString nested = tempPath("new/deeper/out");
    TAVExportOperation operation({a, b});
    ASSERT_TRUE(operation.exportExif(2, false, nested, false, false, std::nullopt));
    EXPECT_TRUE(operation.failures().isEmpty());
    EXPECT_EQ(QDir(nested).entryList(QDir::Files), QStringList({"a.exv", "b.exv"}));
}

TEST_F(ExportOperationTest, FilesThatCannotBeWrittenAreReportedAndNothingStandingIsHarmed)
{
    const TAVImageObjectPtr a = camera("a.jpg", "WorkA");
    const TAVImageObjectPtr b = camera("b.jpg", "WorkB");

    // A folder where a table should go: reported, left as it was; b still written.
    ASSERT_TRUE(QDir().mkpath(out() + "/a.csv"));
    ASSERT_TRUE(QFile(out() + "/a.csv/keep.txt").open(QIODevice::WriteOnly));
    // Asked about the folder standing there, the user chose Replace.
    ui_.answerAlerts({UiServices::SecondButton});
    TAVExportOperation blocked({a, b});
    EXPECT_TRUE(blocked.exportExif(2, true, out(), false, false, std::nullopt));
    ASSERT_EQ(blocked.failures().size(), 1);
    EXPECT_EQ(blocked.failures().first().file, out() + "/a.csv");
    EXPECT_FALSE(blocked.failures().first().reason.isEmpty());
    EXPECT_TRUE(QFileInfo(out() + "/a.csv/keep.txt").isFile());
    EXPECT_TRUE(QFileInfo(out() + "/b.csv").isFile());

    // An output folder under a regular file cannot be made: reported, nothing written.
    ASSERT_TRUE(QFile(tempPath("plain")).open(QIODevice::WriteOnly));
    TAVExportOperation impossible({a, b});
    EXPECT_TRUE(impossible.exportExif(2, true, tempPath("plain/out"), false, true, std::nullopt));
    EXPECT_FALSE(impossible.failures().isEmpty());
    EXPECT_EQ(contents(tempPath("plain")), QByteArray());

    // A user's file gone: its sidecar is reported, the old one stays.
    ASSERT_TRUE(QFile::remove(a->srcPath()));
    const QByteArray before = contents(out() + "/a.exv");
    ui_.answerAlerts({UiServices::SecondButton});
    TAVExportOperation missing({a});
    missing.exportExif(2, false, out(), false, false, std::nullopt);
    ASSERT_EQ(missing.failures().size(), 1);
    EXPECT_EQ(missing.failures().first().file, out() + "/a.exv");
    EXPECT_EQ(contents(out() + "/a.exv"), before);
}

} // namespace

// A photo from a Czech Windows program: its IPTC caption in Windows-1250,
// undeclared, beside a city in ASCII and an EXIF description in Latin-1
// bytes. The ".exv" sidecar keeps the caption's bytes; the XMP sidecar and
// the table, which would turn them into UTF-8 on a guess (the library wrote
// U+0092 and U+0096 for ’ and –), leave the caption and the description out
// and say so, and hold the city.
TEST_F(ExportOperationTest, TextsReadOnAGuessGoOutOnlyAsTheirBytes)
{
    const std::string caption("P\xf8\xed\x62\xec\x68 \x96 Karl\xf9v most, Praha\x92s best");
    const TAVImageObjectPtr photo = image(
        "praha.jpg", {{"Exif.Image.Make", "UserCam", std::nullopt}, {"Iptc.Application2.City", "Praha", std::nullopt}});
    for (const QString& path : {photo->srcPath(), photo->path()}) {
        auto file = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        file->readMetadata();
        Exiv2::StringValue text(caption);
        file->iptcData().add(Exiv2::IptcKey("Iptc.Application2.Caption"), &text);
        Exiv2::AsciiValue description("Caf\xe9");
        file->exifData()["Exif.Image.ImageDescription"].setValue(&description);
        file->writeMetadata();
    }
    const TAVImageObjectPtr reread = TAVImageObject::create(photo->path());
    reread->setSrcPath(photo->srcPath());

    TAVExportOperation operation({reread});
    ASSERT_TRUE(operation.exportExif(1, true, out(), false, false, std::nullopt));
    const auto sidecar = Exiv2::ImageFactory::open((out() + "/praha.exv").toStdString());
    sidecar->readMetadata();
    const auto kept = sidecar->iptcData().findKey(Exiv2::IptcKey("Iptc.Application2.Caption"));
    ASSERT_NE(kept, sidecar->iptcData().end());
    EXPECT_EQ(kept->toString(), caption);

    const QByteArray xmp = contents(out() + "/praha.xmp");
    EXPECT_TRUE(xmp.contains("Praha</photoshop:City>") || xmp.contains("photoshop:City=\"Praha\"")) << xmp.constData();
    EXPECT_FALSE(xmp.contains("Karl")) << xmp.constData();
    EXPECT_FALSE(xmp.contains("\xc2\x92") || xmp.contains("\xc2\x96")) << xmp.constData();
    EXPECT_FALSE(xmp.contains("Caf")) << xmp.constData();
    const QByteArray table = contents(out() + "/praha.csv");
    EXPECT_TRUE(table.contains("Iptc.Application2.City")) << table.constData();
    EXPECT_FALSE(table.contains("Iptc.Application2.Caption")) << table.constData();

    QStringList told;
    for (const auto& failure : operation.failures())
        told.append(failure.reason);
    const QString notes = told.join(QLatin1Char('\n'));
    EXPECT_TRUE(notes.contains("does not declare the character set")) << qPrintable(notes);
    EXPECT_TRUE(notes.contains("Iptc.Application2.Caption")) << qPrintable(notes);
    EXPECT_TRUE(notes.contains("Exif.Image.ImageDescription")) << qPrintable(notes);
}

// An undeclared block whose bytes are all UTF-8 reads so on a guess where
// another set reads a text too: a Chinese Windows program's By-line 一 in
// GBK (D2 BB) is UTF-8's "һ". The XMP sidecar and the table leave it out and
// say so; a caption only UTF-8 reads ("Café au lait") goes out as its text.
TEST_F(ExportOperationTest, AReadingOtherSetsShareIsAGuessToo)
{
    const TAVImageObjectPtr photo = image("gbk.jpg", {{"Exif.Image.Make", "UserCam", std::nullopt}});
    for (const QString& path : {photo->srcPath(), photo->path()}) {
        auto file = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        file->readMetadata();
        Exiv2::StringValue byline(std::string("\xd2\xbb"));
        file->iptcData().add(Exiv2::IptcKey("Iptc.Application2.Byline"), &byline);
        Exiv2::StringValue caption(std::string("Caf\xc3\xa9 au lait"));
        file->iptcData().add(Exiv2::IptcKey("Iptc.Application2.Caption"), &caption);
        file->writeMetadata();
    }
    const TAVImageObjectPtr reread = TAVImageObject::create(photo->path());
    reread->setSrcPath(photo->srcPath());

    TAVExportOperation operation({reread});
    ASSERT_TRUE(operation.exportExif(1, true, out(), false, false, std::nullopt));
    const QByteArray xmp = contents(out() + "/gbk.xmp");
    EXPECT_FALSE(xmp.contains("\xd2\xbb")) << xmp.constData();
    EXPECT_TRUE(xmp.contains("Caf\xc3\xa9 au lait")) << xmp.constData();
    const QByteArray table = contents(out() + "/gbk.csv");
    EXPECT_FALSE(table.contains("Iptc.Application2.Byline")) << table.constData();
    EXPECT_TRUE(table.contains("Caf\xc3\xa9 au lait")) << table.constData();

    QStringList told;
    for (const auto& failure : operation.failures())
        told.append(failure.reason);
    const QString notes = told.join(QLatin1Char('\n'));
    EXPECT_TRUE(notes.contains("Iptc.Application2.Byline")) << qPrintable(notes);
    EXPECT_FALSE(notes.contains("Iptc.Application2.Caption")) << qPrintable(notes);
}
