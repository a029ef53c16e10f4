// A camera file whose IPTC block an older program wrote in Windows-1251
// without declaring it: a Cyrillic title typed in the window would need the
// block's other texts re-encoded on a guess, so the save is refused with an
// alert that names the field and says why, and the file keeps every byte.
#include "MainWindowFixture.h"

#include "app/TAVPhotosViewCltr.h"
#include "commlib/VXKeyPressTableView.h"
#include "support/ExifTool.h"

#include <QFile>
#include <QJsonObject>
#include <QLineEdit>
#include <QTest>

#include <exiv2/exiv2.hpp>

namespace {

using MainWindowIptcCodePageTest = MainWindowTest;

// Typed as a Cyrillic keyboard layout sends it: each key carries its letter,
// its code the letter's capital.
void typeLetters(QWidget* field, const QString& text)
{
    for (const QChar letter : text) {
        const auto key = Qt::Key(letter.toUpper().unicode());
        QTest::sendKeyEvent(QTest::Press, field, key, QString(letter), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, field, key, QString(letter), Qt::NoModifier);
    }
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(MainWindowIptcCodePageTest, ACyrillicTitleForAWindows1251BlockIsRefusedNamingTheField)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    const QString path = samples({"gowebp-pentax.jpg"}).first();
    {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        Exiv2::IptcData& iptc = image->iptcData();
        iptc.erase(iptc.findKey(Exiv2::IptcKey("Iptc.Envelope.CharacterSet")));
        iptc["Iptc.Application2.City"] = std::string("\xCC\xEE\xF1\xEA\xE2\xE0"); // Москва
        image->writeMetadata();
    }
    const QByteArray before = contentsOf(path);
    ASSERT_TRUE(importAndWait({path}));

    QLineEdit* title = summaryField("fldTitle");
    title->setFocus(Qt::MouseFocusReason);
    typeLetters(title, QString::fromUtf8("Красная площадь"));
    ASSERT_EQ(title->text(), QString::fromUtf8("Красная площадь"));
    window().photosViewCltr()->tableView()->setFocus(Qt::MouseFocusReason);
    const qsizetype alerts = ui_.alerts().size();
    window().clickSave();
    ASSERT_TRUE(waitForLoop());

    ASSERT_GT(ui_.alerts().size(), alerts);
    EXPECT_EQ(ui_.alerts().last().title, QStringLiteral("An image could not be saved"));
    EXPECT_TRUE(ui_.alerts().last().message.startsWith(
        QStringLiteral("gowebp-pentax.jpg: The new metadata could not be written: the file's IPTC block does not "
                       "declare its character set, so the IPTC ObjectName (Iptc.Application2.ObjectName)")))
        << ui_.alerts().last().message.toStdString();
    EXPECT_EQ(contentsOf(path), before);
    EXPECT_EQ(
        ExifTool::read(path, {"-charset", "iptc=cp1251"}).value("IPTC:City").toString(), QString::fromUtf8("Москва"));
}

} // namespace
