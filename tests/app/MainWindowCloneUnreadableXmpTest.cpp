// Clone from a camera file whose XMP the library cannot read, the damage made
// by the test, driven over the real main window and read back by exiftool:
// the question says the source's XMP will not be cloned, with Cancel the
// default, and the result does not call the clone whole.
#include "MainWindowFixture.h"

#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/Patience.h"
#include "tools/TAVClonWindowController.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTest>

namespace {

class MainWindowCloneUnreadableXmpTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        if (!ExifTool::available())
            GTEST_SKIP() << "exiftool missing";
    }

    static QByteArray bytesOf(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The Pentax file, whose XMP holds its creator, keywords and rating,
    // damaged in place as `from` becomes `to` (same length).
    QString damagedPentax(const QString& name, const QByteArray& from, const QByteArray& to)
    {
        EXPECT_TRUE(QDir().mkpath(tempPath("sources")));
        const QString path = ImageFixtures::copySample("gowebp-pentax.jpg", tempPath("sources"), name);
        QByteArray bytes = bytesOf(path);
        const qsizetype at = bytes.indexOf(from);
        EXPECT_GT(at, 0);
        bytes.replace(at, from.size(), to);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path;
    }

    TAVClonWindowController* openClone(const QString& source)
    {
        window().toolbarAction("Clone")->trigger();
        TAVClonWindowController* sheet = window().cloneWindowCtlr();
        EXPECT_NE(sheet, nullptr);
        EXPECT_TRUE(sheet->doImportFile(QUrl::fromLocalFile(source)));
        return sheet;
    }
};

TEST_F(MainWindowCloneUnreadableXmpTest, TheQuestionSaysTheSourcesXmpCannotBeReadAndWillNotBeCloned)
{
    const struct {
        const char* name;
        QByteArray from;
        QByteArray to;
    } sources[] = {
        {"repeated.jpg", "xmp:ModifyDate=", "xmp:CreateDate="},
        {"signature.jpg", QByteArray("http://ns.adobe.com/xap/1.0/\0", 29),
            QByteArray("http://ns.adobe.com/xap/1.O/\0", 29)},
    };
    const QString target = samples({"npm-nikon-d90-photometric.jpg"}).first();
    ASSERT_TRUE(importAndWait({target}));
    for (const auto& damage : sources) {
        SCOPED_TRACE(damage.name);
        const QString source = damagedPentax(damage.name, damage.from, damage.to);
        ASSERT_TRUE(ExifTool::read(source).contains("XMP-dc:Creator")) << "other readers read the damaged XMP";
        const QByteArray before = bytesOf(target);

        // Return takes the default: Cancel, and nothing is written.
        ui_.answerAlerts({UiServices::SecondButton});
        openClone(source)->clickClone();
        const auto question = ui_.alerts().last();
        EXPECT_EQ(
            question.title, QStringLiteral("Clone the metadata of %1 onto the selected photos?").arg(damage.name));
        EXPECT_TRUE(question.message.contains(
            QStringLiteral("The XMP metadata of %1 cannot be read and will not be cloned").arg(damage.name)))
            << question.message.toStdString();
        EXPECT_EQ(question.buttons.value(question.defaultButton), "Cancel");
        EXPECT_EQ(bytesOf(target), before);

        ui_.answerAlerts({UiServices::FirstButton});
        openClone(source)->clickClone();
        EXPECT_EQ(ui_.alerts().last().message,
            QStringLiteral("The metadata was cloned to 1 file without the XMP metadata of %1, which cannot be read")
                .arg(damage.name));
        ASSERT_TRUE(QTest::qWaitFor([&] { return images().size() == 1 && !window().isLoopRunning(); }, kPatientMs));
        const QJsonObject tags = ExifTool::read(target);
        EXPECT_EQ(tags.value("IFD0:Model").toString(), "PENTAX K-3 II");
        EXPECT_FALSE(tags.contains("XMP-dc:Creator"));
    }
}

} // namespace
