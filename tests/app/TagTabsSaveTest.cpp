#include "app/TAVExposureViewCtlr.h"
#include "app/TAVSummaryViewCtlr.h"

#include "commlib/TFDatePicker.h"

#include "models/image/TAVImageObject.h"

#include "foundation/FileServices.h"
#include "foundation/UserDefaults.h"

#include "support/ExifTool.h"
#include "support/FakeUiServices.h"
#include "support/ImageFixtures.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Typed text reaches the record when the field's editing ends.
void retype(QLineEdit* field, const QString& text)
{
    field->selectAll();
    QTest::keyClicks(field, text);
    emit field->editingFinished();
}

} // namespace

TEST(TagTabsSave, EditsMadeInBothTabsReachTheUsersFile)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    TempFolder temp;
    FakeUiServices ui;
    UiServices::setShared(&ui);
    UserDefaults::standard().setBool(false, "save_continue_after_error");
    UserDefaults::standard().setBool(false, "update_file_origine_open_create_modify_date");
    QDir().mkpath(temp.filePath("user"));
    QDir().mkpath(temp.filePath("work"));
    const QString user = temp.filePath("user/harbour.jpg");
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(user,
        {{"Exif.Image.Make", "Acme", std::nullopt}, {"Exif.Image.DateTime", "2021:07:04 18:30:05", std::nullopt},
            {"Exif.Photo.DateTimeOriginal", "2021:07:04 18:30:05", std::nullopt},
            {"Exif.Photo.ExposureTime", "1/250", std::nullopt}}));
    const QString work = temp.filePath("work/harbour.jpg");
    ASSERT_TRUE(FileServices::copyItem(user, work));
    const TAVImageObjectPtr image = TAVImageObject::create(work);
    image->setSrcPath(user);

    TAVSummaryViewCtlr summary;
    TAVExposureViewCtlr exposure;
    summary.setImgExifData(image->exifData());
    exposure.setImgExifData(image->exifData());
    retype(summary.findChild<QLineEdit*>("fldCamera"), QStringLiteral("Lumetta Cam"));
    auto* time = summary.findChild<TFDatePicker*>("fldCreateTime");
    ASSERT_EQ(time->dateValue().time(), QTime(18, 30, 5));
    QTest::keyClick(time, Qt::Key_Up); // the hour section steps on
    emit time->editingFinished();
    EXPECT_EQ(image->exifData()->getValueForKey("Summary.CreateTime", 0), QStringLiteral("19:30:05"));
    retype(exposure.findChild<QLineEdit*>("fldShutterSpeed"), QStringLiteral("1"));
    retype(exposure.findChild<QLineEdit*>("fldShutterSpeed2"), QStringLiteral("60"));
    retype(exposure.findChild<QLineEdit*>("fldAperture"), QStringLiteral("2.8"));
    EXPECT_EQ(ui.beeps(), 0);

    ASSERT_TRUE(image->saveMetadataToImage());
    const QJsonObject tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("IFD0:Make").toString(), QStringLiteral("Lumetta Cam"));
    EXPECT_EQ(tags.value("ExifIFD:ExposureTime").toString(), QStringLiteral("1/60"));
    EXPECT_EQ(tags.value("ExifIFD:FNumber").toDouble(), 2.8);
    EXPECT_EQ(tags.value("IFD0:ModifyDate").toString(), QStringLiteral("2021:07:04 19:30:05"));
    UiServices::setShared(nullptr);
}
