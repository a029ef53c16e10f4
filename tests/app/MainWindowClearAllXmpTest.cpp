// Clear > All over the real main window on copies of the Pentax file whose XMP
// segment signature the test damages, read back by exiftool: a segment that
// is an XMP packet whole goes with the rest; one that is not XMP for certain
// is kept, and the window says so.
#include "MainWindowFixture.h"

#include "support/ExifTool.h"
#include "support/ImageFixtures.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>

namespace {

class MainWindowClearAllXmpTest : public MainWindowExifToolTest { };

TEST_F(MainWindowClearAllXmpTest, ClearAllTakesADamagedSignaturesPacketOrSaysItKeptIt)
{
    const struct {
        const char* what;
        const char* name;
        QByteArray wrapper;
        bool taken;
    } segments[] = {
        {"an XMP packet whole", "whole.jpg", "<?xpacket begin=", true},
        {"its packet wrapper damaged too", "kept.jpg", "<?xpacket bexin=", false},
    };
    ASSERT_TRUE(QDir().mkpath(tempPath("in")));
    for (const auto& segment : segments) {
        SCOPED_TRACE(segment.what);
        const QString path = ImageFixtures::copySample("gowebp-pentax.jpg", tempPath("in"), segment.name);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        file.close();
        const qsizetype packet = bytes.indexOf("<?xpacket begin=");
        ASSERT_GT(packet, 0);
        bytes.replace(packet, 16, segment.wrapper);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
        file.close();
        const QByteArray damagedSegment = ImageFixtures::damageXmpSignature(path);
        ASSERT_FALSE(damagedSegment.isEmpty());
        ASSERT_TRUE(importAndWait({path}));
        select({rowOf(path)});
        window().clickClearKind(0);
        const qsizetype alerts = ui_.alerts().size();
        ASSERT_TRUE(saveSelected());

        const QJsonObject tags = ExifTool::read(path);
        for (const char* gone : {"IFD0:Make", "ExifIFD:DateTimeOriginal", "IPTC:DateCreated"})
            EXPECT_FALSE(tags.contains(gone)) << gone;
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll().contains(damagedSegment), !segment.taken);
        file.close();
        if (segment.taken) {
            EXPECT_EQ(ui_.alerts().size(), alerts);
            EXPECT_FALSE(tags.contains("XMP-xmp:CreateDate"));
        } else {
            ASSERT_EQ(ui_.alerts().size(), alerts + 1);
            EXPECT_EQ(ui_.alerts().last().title, "XMP metadata kept");
            // Clear All clears the position too: the window adds, as for Clear GPS, that XMP may keep it.
            EXPECT_TRUE(ui_.alerts().last().message.startsWith(
                "The XMP metadata of this photo could not be read, so it was kept as it was: kept.jpg."))
                << ui_.alerts().last().message.toStdString();
        }
    }
}

} // namespace
