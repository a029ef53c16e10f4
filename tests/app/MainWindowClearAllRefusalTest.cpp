// Clear All through the main window on a photo whose clear the engine
// refuses: the user is told as for any other refused save, and the file is
// left as it was.
#include "MainWindowFixture.h"

#include "foundation/FileServices.h"
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"

#include <QFile>
#include <QTest>
#include <QtEndian>

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class MainWindowClearAllRefusalTest : public MainWindowTest { };

} // namespace

// A TIFF whose strip length is typed BYTE cannot be written without losing
// its picture: Clear All and Save All raise the save error alert and the
// loop's report naming the photo, and a cleared JPEG beside it is saved.
TEST_F(MainWindowClearAllRefusalTest, ARefusedClearAllIsTold)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    const QStringList paths = samples({"goexif.tif", "npm-lumia.jpg"});
    QByteArray tiff = bytesOf(paths.at(0));
    const qsizetype ifd0 = qFromLittleEndian<quint32>(tiff.constData() + 4);
    for (int i = 0; i < qFromLittleEndian<quint16>(tiff.constData() + ifd0); ++i) {
        const qsizetype entry = ifd0 + 2 + 12 * i;
        if (qFromLittleEndian<quint16>(tiff.constData() + entry) == 0x0117)
            qToLittleEndian<quint16>(1, tiff.data() + entry + 2);
    }
    ASSERT_TRUE(FileServices::writeFileAtomically(paths.at(0), tiff));
    ASSERT_TRUE(importAndWait(paths));

    ui_.answerAlerts({UiServices::FirstButton});
    window().clickClearAll();
    const qsizetype asked = ui_.alerts().size();
    window().clickSaveAll();
    ASSERT_TRUE(waitForLoop());

    EXPECT_EQ(bytesOf(paths.at(0)), tiff);
    EXPECT_TRUE(ExifTool::read(paths.at(1)).value("IFD0:Make").isUndefined());
    ASSERT_EQ(ui_.alerts().size(), asked + 2);
    EXPECT_EQ(ui_.alerts().at(asked).message, QString("Some error occurred when save modifications"));
    EXPECT_EQ(ui_.alerts().last().title, QString("An image could not be saved"));
    EXPECT_TRUE(ui_.alerts().last().message.startsWith(
        "goexif.tif: The metadata could not be cleared: the EXIF entry Exif.Image.StripByteCounts"))
        << qPrintable(ui_.alerts().last().message);
}
