#include "models/read/SidecarExporter.h"

#include "foundation/FileServices.h"
#include "models/write/WrittenFileProbe.h"
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/StrictUmask.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>

#include <exiv2/exiv2.hpp>

#include <gtest/gtest.h>

namespace {

class SidecarExporterTest : public TempFolderTest {
protected:
    // A real file with EXIF, XMP and a comment, given IPTC keywords as well,
    // in a folder whose name has blanks and non-ASCII letters.
    QString richSource(const QString& name)
    {
        const QString folder = tempPath(QStringLiteral("Fotos März 2024"));
        EXPECT_TRUE(QDir().mkpath(folder));
        const QString path = ImageFixtures::copySample("1x1_exif_xmp.jpg", folder, name);
        EXPECT_TRUE(ImageFixtures::writeKeywords(path, {QStringLiteral("Küste"), "boat"}));
        return path;
    }

    QString outputFolder()
    {
        const QString folder = tempPath(QStringLiteral("Export ü"));
        QDir().mkpath(folder);
        return folder;
    }
};

} // namespace

TEST_F(SidecarExporterTest, EveryTypeWritesOneSidecarWithAllFamilies)
{
    const QString source = richSource("Hafen am Abend.v2.jpg");
    const auto original = WrittenFileProbe::open(source);
    const StrictUmask strictUmask;
    for (uint64_t type : {1, 2, 8, 16}) {
        const QString folder = outputFolder() + QString::number(type);
        const QString sidecar = QDir(folder).filePath("Hafen am Abend.v2.exv");
        ASSERT_TRUE(QDir().mkpath(folder));
        // An older sidecar is replaced, and keeps the mode it had.
        ASSERT_TRUE(FileServices::writeFileAtomically(sidecar, QByteArray(100000, 'x')));
        const mode_t mode = type % 2 ? 0644 : 0640;
        ASSERT_TRUE(StrictUmask::setMode(sidecar, mode));
        ASSERT_EQ(SidecarExporter::exportMetadata(type, source, folder), 0) << type;
        EXPECT_EQ(StrictUmask::modeOf(sidecar), mode);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"Hafen am Abend.v2.exv"});
        const auto written = WrittenFileProbe::open(sidecar);
        EXPECT_EQ(written->exifData().count(), original->exifData().count());
        EXPECT_EQ(written->iptcData().count(), 2);
        EXPECT_EQ(written->xmpData().count(), original->xmpData().count());
        EXPECT_EQ(written->comment(), "Created with GIMP");
    }

    const QJsonObject tags = ExifTool::read(QDir(outputFolder() + "8").filePath("Hafen am Abend.v2.exv"));
    EXPECT_EQ(tags.value("File:FileType").toString(), "EXV");
    EXPECT_EQ(tags.value("IPTC:Keywords").toArray().last().toString(), "boat");
    EXPECT_EQ(tags.value("XMP-dc:Title").toString(), "test");
    EXPECT_EQ(tags.value("ExifIFD:UserComment").toString(), "Created with GIMP");
    EXPECT_EQ(tags.value("File:Comment").toString(), "Created with GIMP");
}

TEST_F(SidecarExporterTest, FailuresAreReportedAndWriteNothing)
{
    const QString source = richSource("photo.jpg");
    EXPECT_NE(SidecarExporter::exportMetadata(1, source, QString()), 0);
    EXPECT_NE(SidecarExporter::exportMetadata(1, QString(), outputFolder()), 0);
    EXPECT_NE(SidecarExporter::exportMetadata(1, tempPath("missing.jpg"), outputFolder()), 0);
    EXPECT_NE(SidecarExporter::exportMetadata(1, source, tempPath("no such folder")), 0);
    EXPECT_TRUE(QDir(outputFolder()).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(QDir(QDir::currentPath()).entryList({"*.exv"}, QDir::Files).isEmpty());
}

TEST_F(SidecarExporterTest, ArgumentVectorRunsEveryFileAndKeepsTheFirstFailure)
{
    const QString source = richSource("photo.jpg");
    const QByteArray folder = outputFolder().toUtf8();
    const QByteArray missing = tempPath("missing.jpg").toUtf8();
    const QByteArray present = source.toUtf8();

    const char* both[] = {"exiv2", "-e", "a", "-l", folder.constData(), missing.constData(), present.constData()};
    EXPECT_EQ(SidecarExporter::doExportMetadata(7, both), 1);
    EXPECT_TRUE(QFile::exists(QDir(outputFolder()).filePath("photo.exv")));

    const char* otherTarget[] = {"exiv2", "-et", "-l", folder.constData(), present.constData()};
    EXPECT_EQ(SidecarExporter::doExportMetadata(5, otherTarget), 1);
    const char* noFolder[] = {"exiv2", "-ea", present.constData()};
    EXPECT_EQ(SidecarExporter::doExportMetadata(3, noFolder), 1);
    const char* noFile[] = {"exiv2", "-ea", "-l", folder.constData()};
    EXPECT_EQ(SidecarExporter::doExportMetadata(4, noFile), 1);
}
