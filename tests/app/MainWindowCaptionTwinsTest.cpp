// The Summary's Caption and Description are two fields, typed in the real
// window on copies of camera files and read back by exiftool: a text typed
// into one reaches the other, and XMP's description, only where they held the
// text the field showed, or nothing.
#include "MainWindowFixture.h"

#include "app/TAVSummaryViewCtlr.h"
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"

#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

namespace {

class MainWindowCaptionTwinsTest : public MainWindowExifToolTest {
protected:
    // Selects the photo and types `text` over what the field showed.
    void retype(const QString& path, const char* field, const QString& text)
    {
        select({rowOf(path)});
        QWidget* widget = window().summaryTab()->findChild<QWidget*>(QLatin1String(field));
        widget->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(widget, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(widget, text);
    }

    QString shownDescription()
    {
        return window().summaryTab()->findChild<QPlainTextEdit*>("tvDescription")->toPlainText();
    }

    static QStringList texts(const QString& path)
    {
        const QJsonObject read = ExifTool::read(path);
        QStringList found;
        for (const char* tag : {"IPTC:Caption-Abstract", "IFD0:ImageDescription", "XMP-dc:Description"})
            found << read.value(tag).toString();
        return found;
    }
};

// A Nikon photo whose description the test makes a photographer's credit,
// beside its caption and XMP description, which are one text; and a Sony
// photo whose description is blank, given a caption by the test.
TEST_F(MainWindowCaptionTwinsTest, ACaptionAndADescriptionHoldingTwoTextsKeepEachOther)
{
    const QString credit = QStringLiteral("(c)2016 Someone 2033335");
    const QStringList paths = samples({"npm-nikon-d90-photometric.jpg", "npm-sony-a6000.jpg"});
    const QString& nikon = paths.at(0);
    const QString& sony = paths.at(1);
    ASSERT_TRUE(ImageFixtures::writeTags(nikon, {{"Exif.Image.ImageDescription", credit, std::nullopt}}));
    ASSERT_TRUE(ImageFixtures::writeTags(sony, {{"Iptc.Application2.Caption", "Boats", std::nullopt}}));
    ASSERT_TRUE(importAndWait(paths));

    retype(nikon, "fldCaption", QStringLiteral("Harbour at dusk"));
    ASSERT_TRUE(saveSelected());
    EXPECT_EQ(texts(nikon), QStringList({"Harbour at dusk", credit, "Harbour at dusk"}));
    EXPECT_EQ(shownDescription(), credit);

    retype(nikon, "tvDescription", QStringLiteral("(c)2026 Ann Lee"));
    ASSERT_TRUE(saveSelected());
    EXPECT_EQ(texts(nikon), QStringList({"Harbour at dusk", "(c)2026 Ann Lee", "Harbour at dusk"}));
    EXPECT_EQ(summaryField("fldCaption")->text(), "Harbour at dusk");

    // A blank description is no text of its own: it takes the caption.
    retype(sony, "fldCaption", QStringLiteral("Boats at dawn"));
    ASSERT_TRUE(saveSelected());
    EXPECT_EQ(ExifTool::read(sony).value("IFD0:ImageDescription").toString(), "Boats at dawn");
    EXPECT_EQ(shownDescription(), "Boats at dawn");
}

} // namespace
