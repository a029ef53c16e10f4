#include "MainWindowFixture.h"

#include "app/TAVSummaryViewCtlr.h"
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"

#include <QJsonObject>
#include <QLineEdit>
#include <QTest>

namespace {

// Windows' own texts that are copies of the form's follow the edits of their
// twins in the real window, on a copy of a file a Windows photo tool wrote
// (with an author, and subject and comments holding its description, added),
// read back by exiftool: the title, the photographer, and the description,
// which Windows shows as the subject and the comments. A file without them
// gets none, and an emptied text takes its Windows twin along.
TEST_F(MainWindowTest, WindowsTextsTheFileHoldsFollowTheirTwinsAndGoWhenEmptied)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    const QString windows = samples({"npm-windows-xmp.jpg"}).value(0);
    const QString camera = samples({"npm-canon-s40.jpg"}).value(0);
    // "Old" and "Title" in UTF-16LE with their closing NUL pair.
    const char* const title = "84 0 105 0 116 0 108 0 101 0 0 0";
    ASSERT_TRUE(ImageFixtures::writeTags(windows,
        {{"Exif.Image.XPAuthor", "79 0 108 0 100 0 0 0", {}}, {"Exif.Image.Artist", "Old", {}},
            {"Exif.Image.XPSubject", title, {}}, {"Exif.Image.XPComment", title, {}}}));
    ASSERT_TRUE(importAndWait({windows, camera}));
    const auto retype = [this](const char* name, const QString& text) {
        QWidget* field = window().summaryTab()->findChild<QWidget*>(QLatin1String(name));
        field->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    };
    const auto typeAndSave = [&](const QString& path, const QString& title, const QString& caption) {
        select({rowOf(path)});
        retype("fldTitle", title);
        retype("fldPhotographer", title.isEmpty() ? QString() : QStringLiteral("Ann Lee"));
        retype("tvDescription", caption);
        window().clickSave();
        return waitForLoop();
    };
    const QStringList tags = {"IFD0:XPTitle", "IFD0:XPAuthor", "IFD0:XPSubject", "IFD0:XPComment"};

    ASSERT_TRUE(typeAndSave(windows, QStringLiteral("Harbour at dusk"), QStringLiteral("The quay")));
    ASSERT_TRUE(typeAndSave(camera, QStringLiteral("Harbour at dusk"), QStringLiteral("The quay")));
    QJsonObject read = ExifTool::read(windows);
    QStringList texts;
    for (const QString& tag : tags)
        texts << read.value(tag).toString();
    EXPECT_EQ(texts, QStringList({"Harbour at dusk", "Ann Lee", "The quay", "The quay"}));
    EXPECT_EQ(read.value("IFD0:XPKeywords").toString(), "tag1;tag2");
    read = ExifTool::read(camera);
    EXPECT_EQ(read.value("IPTC:ObjectName").toString(), "Harbour at dusk");
    for (const QString& tag : tags)
        EXPECT_FALSE(read.contains(tag)) << tag.toStdString();

    // An emptied title would otherwise be read back from Windows' one.
    ASSERT_TRUE(typeAndSave(windows, QString(), QString()));
    read = ExifTool::read(windows);
    for (const QString& tag : tags)
        EXPECT_FALSE(read.contains(tag)) << tag.toStdString();
    select({rowOf(camera)});
    select({rowOf(windows)});
    EXPECT_EQ(window().summaryTab()->findChild<QLineEdit*>("fldTitle")->text(), QString());
}

// A caption typed into the IPTC Caption field of a file a Windows photo tool
// wrote leaves the texts Windows holds of its own, which the form never
// shows: its comments and its subject keep theirs beside the new IPTC
// caption. XMP's description, a copy of the photo's description ("Title"),
// not of its caption, keeps that text.
TEST_F(MainWindowTest, AnIptcCaptionEditLeavesWindowsOwnCommentsAndSubject)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    const QString windows = samples({"npm-windows-xmp.jpg"}).value(0);
    ASSERT_EQ(ExifTool::read(windows).value("IFD0:XPComment").toString(), "Comments");
    ASSERT_TRUE(importAndWait({windows}));
    QLineEdit* caption = summaryField("fldCaption");
    ASSERT_NE(caption, nullptr);
    caption->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(caption, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(caption, QStringLiteral("Boats leaving the quay"));
    window().clickSave();
    ASSERT_TRUE(waitForLoop());

    const QJsonObject read = ExifTool::read(windows);
    EXPECT_EQ(read.value("IPTC:Caption-Abstract").toString(), "Boats leaving the quay");
    EXPECT_EQ(read.value("IFD0:XPComment").toString(), "Comments");
    EXPECT_EQ(read.value("IFD0:XPSubject").toString(), "Subject");
    EXPECT_EQ(read.value("XMP-dc:Description").toString(), "Title");
}

} // namespace
