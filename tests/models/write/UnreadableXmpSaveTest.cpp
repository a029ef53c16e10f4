// Saves of a real photo whose XMP packet the metadata library cannot decode,
// damaged in place by the test: the packet is kept byte for byte, so a title
// or keyword longer than its IPTC dataset, which only XMP would keep whole,
// is refused and says why instead of being cut unseen.

#include "models/write/DamagedSamples.h"

#include "models/formats/JpegSegments.h"

using namespace DamagedSamples;

namespace {

class UnreadableXmpSaveTest : public DamagedFilesSaveTest { };

} // namespace

TEST_F(UnreadableXmpSaveTest, ATextIptcWouldCutIsRefusedWhenOnlyAnUnreadablePacketCouldKeepItWhole)
{
    struct Damage {
        const char* what;
        QByteArray from;
        QByteArray to;
    };
    const Damage damages[] = {
        {"a repeated property", "xmp:ModifyDate=", "xmp:CreateDate="},
        {"a broken closing tag", "</rdf:Description>", "</rdf:Descriptiom>"},
    };
    const char* const why = "the file's XMP cannot be read, so the whole text, which IPTC cuts to 64 bytes";
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        const QString user = damagedSample("npm-nikon-d90-photometric.jpg", [&](QByteArray& bytes) {
            const qsizetype at = bytes.indexOf(damage.from);
            ASSERT_GT(at, 0);
            bytes.replace(at, damage.from.size(), damage.to);
        });
        const auto packet = JpegSegments::xmpPacket(WrittenFileProbe::bytes(user));
        ASSERT_TRUE(packet.has_value());

        expectEditRefused(user, "Iptc.Application2.ObjectName", TAVExifData::CategorySummary, why, QString(80, 't'));
        expectEditRefused(
            user, "Iptc.Application2.Keywords", TAVExifData::CategorySummary, why, "harbour, " + QString(70, 'k'));

        const auto image = openWorkingCopy(user);
        image->exifData()->setValue("Harbour", "Iptc.Application2.ObjectName", 0, false, false, true);
        ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
        EXPECT_EQ(ExifTool::read(user).value("IPTC:ObjectName").toString(), QString("Harbour"));
        EXPECT_EQ(JpegSegments::xmpPacket(WrittenFileProbe::bytes(user)), packet);
        ASSERT_TRUE(QFile::remove(tempPath("work/npm-nikon-d90-photometric.jpg")));
        QFile::remove(user);
    }
}
