#include "MainWindowFixture.h"

#include "app/TAVSummaryViewCtlr.h"
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"

#include <QJsonObject>
#include <QLineEdit>
#include <QTest>

namespace {

// Windows' own texts follow the edits of their twins in the real window, on a
// copy of a file a Windows photo tool wrote (with an author added), read back
// by exiftool: the title, the photographer, and the caption, which Windows
// shows as the subject and the comments. A file without them gets none, and
// an emptied text takes its Windows twin along.
TEST_F(MainWindowTest, WindowsTextsTheFileHoldsFollowTheirTwinsAndGoWhenEmptied)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    const QString windows = samples({"npm-windows-xmp.jpg"}).value(0);
    const QString camera = samples({"npm-canon-s40.jpg"}).value(0);
    // "Old" in UTF-16LE with its closing NUL pair.
    ASSERT_TRUE(ImageFixtures::writeTags(windows, {{"Exif.Image.XPAuthor", "79 0 108 0 100 0 0 0", {}}}));
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

// The caption typed into the IPTC Caption field, not only the EXIF
// description, reaches the texts Windows shows first: its comments and its
// subject follow, beside the IPTC caption. XMP's description, a copy of the
// photo's description ("Title"), not of its caption, keeps that text.
TEST_F(MainWindowTest, AnIptcCaptionEditUpdatesWindowsComments)
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
    for (const char* tag : {"IFD0:XPComment", "IFD0:XPSubject", "IPTC:Caption-Abstract"})
        EXPECT_EQ(read.value(tag).toString(), "Boats leaving the quay") << tag;
    EXPECT_EQ(read.value("XMP-dc:Description").toString(), "Title");
}

} // namespace
