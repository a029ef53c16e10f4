#include "app/TAVSummaryViewCtlr.h"

#include "TabPostRecorder.h"

#include "commlib/TFDatePicker.h"
#include "commlib/VXAboutWindowController.h"

#include "foundation/Dispatch.h"
#include "models/image/TAVImageObject.h"

#include "support/Gallery.h"
#include "support/ImageFixtures.h"
#include "support/Patience.h"
#include "support/TempFolder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using Post = TabPostRecorder::Post;

class SummaryTabTest : public TempFolderTest {
protected:
    template <typename T> T* child(const char* name) { return tab.findChild<T*>(QLatin1String(name)); }
    QLineEdit* field(const char* name) { return child<QLineEdit>(name); }

    // A record as the photo list has it for an image without metadata.
    TAVExifDataPtr emptyImageRecord()
    {
        images.push_back(TAVImageObject::create());
        return images.back()->exifData();
    }

    std::vector<TAVImageObjectPtr> images;
    TabPostRecorder recorder;
    TAVSummaryViewCtlr tab;
};

bool showsApplicationIcon(QLabel* view)
{
    const QImage icon = VXAboutWindowController::applicationIcon().scaled(TAVSummaryViewCtlr::kPreviewWidth,
        TAVSummaryViewCtlr::kPreviewHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return view->pixmap().toImage().convertToFormat(icon.format()) == icon;
}

} // namespace

TEST_F(SummaryTabTest, TypingMarksTheLabelAndPostsWhenTheEditingEndsWhileRebuildsStaySilent)
{
    tab.setImgExifData(nullptr);
    EXPECT_TRUE(field("fldCamera")->text().isEmpty());
    EXPECT_TRUE(child<TFDatePicker>("fldCreateDate")->isEmpty());
    EXPECT_TRUE(recorder.posts.empty());

    const TAVExifDataPtr record = emptyImageRecord();
    tab.setImgExifData(record);
    EXPECT_TRUE(recorder.posts.empty());
    QLineEdit* camera = field("fldCamera");
    QLabel* label = labelOf(&tab, camera);
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(isStyledPlain(label));

    QTest::keyClicks(camera, QStringLiteral("Nik"));
    EXPECT_TRUE(isStyledModified(label));
    EXPECT_TRUE(recorder.posts.empty());
    emit camera->editingFinished();
    EXPECT_EQ(recorder.posts, (std::vector<Post>{{true, false}}));
    EXPECT_EQ(record->getValueForKey("Exif.Image.Make", 0), QStringLiteral("Nik"));
    EXPECT_TRUE(isStyledModified(label));

    // A text view reports program-set text too; a rebuild must not read as an edit.
    TAVBaseTabViewCltr::setPendingEdits(false);
    record->setValue("A bay at dusk", "Exif.Image.ImageDescription", 0, false, false, true);
    tab.setImgExifData(record);
    EXPECT_EQ(child<QPlainTextEdit>("tvDescription")->toPlainText(), QStringLiteral("A bay at dusk"));
    EXPECT_EQ(recorder.posts.size(), 1u);
    EXPECT_FALSE(TAVBaseTabViewCltr::isPendingEdits());

    record->restore();
    tab.setImgExifData(record);
    EXPECT_TRUE(isStyledPlain(label));
    EXPECT_TRUE(camera->text().isEmpty());
}

TEST_F(SummaryTabTest, DatePickersWriteTheirPatternsOrEmptyText)
{
    const TAVExifDataPtr record = emptyImageRecord();
    record->setValue("2021-07-04", "Exif.Image.CreateDate", 0, false, false, true);
    record->removeModifyFlag();
    tab.setImgExifData(record);
    auto* time = child<TFDatePicker>("fldCreateTime");
    auto* date = child<TFDatePicker>("fldCreateDate");
    EXPECT_TRUE(time->isEmpty());
    EXPECT_EQ(date->dateValue().date(), QDate(2021, 7, 4));

    QTest::keyClicks(time, "18:30:05"); // the user types a time into the empty picker
    emit time->editingFinished();
    EXPECT_EQ(record->getValueForKey("Summary.CreateTime", 0), QStringLiteral("18:30:05"));
    EXPECT_TRUE(isStyledModified(labelOf(&tab, time)));
    EXPECT_EQ(recorder.posts.back(), Post(true, true));

    QTest::keyClick(date, Qt::Key_Delete);
    tab.commitTypedText();
    EXPECT_EQ(record->getValueForKey("Exif.Image.CreateDate", 0), QStringLiteral(""));
    EXPECT_FALSE(record->getValueForKey("Exif.Image.CreateDate", 0).isNull());
}

TEST_F(SummaryTabTest, TimeShiftFollowsTheBoxUnitsAndCounts)
{
    const TAVExifDataPtr record = emptyImageRecord();
    tab.setImgExifData(record);
    auto* shift = child<QCheckBox>("btnTimeOffset");
    auto* dateCount = field("fldOffsetDateValue");
    auto* dayUnit = child<QComboBox>("popupDayUnit");
    EXPECT_FALSE(dateCount->isEnabled());
    EXPECT_FALSE(tab.getDatetimeOffsetInfo().has_value());

    shift->click();
    EXPECT_TRUE(dateCount->isEnabled());
    QTest::keyClicks(dateCount, QStringLiteral("3")); // after the "0" shown
    dayUnit->setCurrentIndex(1);
    emit dayUnit->activated(1);
    ASSERT_TRUE(record->createdDateTimeOffset().has_value());
    EXPECT_EQ(record->createdDateTimeOffset()->dateOffsetNum(), 3);
    EXPECT_EQ(record->createdDateTimeOffset()->dateUnit(), 1u);

    shift->click();
    EXPECT_FALSE(tab.getDatetimeOffsetInfo().has_value());
    EXPECT_FALSE(record->createdDateTimeOffset().has_value());
    EXPECT_FALSE(dateCount->isEnabled());

    // A unit code the pop-up does not have leaves its selection as it was.
    TAVTimeOffsetInfo odd;
    odd.setDateUnit(5);
    odd.setDateOffsetNum(2);
    record->setCreatedDateTimeOffset(odd);
    tab.setImgExifData(record);
    EXPECT_TRUE(shift->isChecked());
    EXPECT_EQ(dayUnit->currentIndex(), 1);
    EXPECT_EQ(dateCount->text(), QStringLiteral("2"));
}

TEST_F(SummaryTabTest, ACountIsStoredOnceWhenItsEditingEndsAndSurvivesARebuild)
{
    const TAVExifDataPtr record = emptyImageRecord();
    tab.setImgExifData(record);
    recorder.onPost = [&](bool needRefresh) {
        if (needRefresh)
            tab.setImgExifData(record); // the main window hands the record back
    };
    tab.show();
    tab.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&tab, kPatientMs));
    child<QCheckBox>("btnTimeOffset")->click();
    QLineEdit* count = field("fldOffsetTimeValue");
    count->setFocus();
    ASSERT_TRUE(count->hasFocus());
    count->selectAll();
    const size_t before = recorder.posts.size();

    QTest::keyClicks(count, QStringLiteral("15"));
    EXPECT_EQ(count->text(), QStringLiteral("15"));
    EXPECT_EQ(recorder.posts.size(), before) << "no rebuild per keystroke";
    QTest::keyClick(count, Qt::Key_Return);
    ASSERT_TRUE(record->createdDateTimeOffset().has_value());
    EXPECT_EQ(record->createdDateTimeOffset()->timeOffsetNum(), 15);
    EXPECT_EQ(
        std::vector<Post>(recorder.posts.begin() + before, recorder.posts.end()), (std::vector<Post>{{true, true}}));

    count->clearFocus();
    tab.setImgExifData(record);
    EXPECT_EQ(count->text(), QStringLiteral("15"));
}

TEST_F(SummaryTabTest, OverwriteBoxSetsTheKeywordsFlagAndKeepsTheText)
{
    const TAVExifDataPtr record = emptyImageRecord();
    tab.setImgExifData(record);
    QTest::keyClicks(child<QPlainTextEdit>("tvKeywords"), QStringLiteral("sea, boat"));
    auto* overwrite = child<QCheckBox>("chkOverwrite");
    const bool wasOn = overwrite->isChecked();
    TAVBaseTabViewCltr::setPendingEdits(false);

    overwrite->click();
    const TAVEntityPtr keywords = record->userSetEntity("Iptc.Application2.Keywords", 0);
    ASSERT_NE(keywords, nullptr);
    EXPECT_EQ(keywords->isOverwrite(), !wasOn);
    EXPECT_EQ(keywords->value(), QStringLiteral("sea, boat"));
    EXPECT_EQ(recorder.posts.back(), Post(true, true));

    const TAVEntityMap collected = *tab.genDictionayFromSetting();
    EXPECT_EQ(collected.size(), 14);
    EXPECT_EQ(collected.value("Iptc.Application2.Keywords")->isOverwrite(), !wasOn);
    EXPECT_TRUE(collected.value("Iptc.Application2.Keywords")->isModified());
    EXPECT_FALSE(collected.value("Exif.Image.Make")->isModified());
    EXPECT_EQ(collected.value("Exif.Image.CreateDate")->value(), QStringLiteral(""));
}

// The fields whose text IPTC cuts say how much of it IPTC keeps.
TEST_F(SummaryTabTest, TextsIptcCutsSayWhatIptcKeeps)
{
    EXPECT_TRUE(child<QLineEdit>("fldTitle")->toolTip().contains(QLatin1String("IPTC keeps the first 64 bytes")));
    EXPECT_TRUE(child<QLineEdit>("fldCaption")->toolTip().contains(QLatin1String("first 2000 bytes")));
    EXPECT_TRUE(child<QPlainTextEdit>("tvKeywords")->toolTip().contains(QLatin1String("of each keyword")));
}

TEST_F(SummaryTabTest, PreviewShowsThePhotoOrTheApplicationIcon)
{
    auto* view = child<QLabel>("imageView");
    const TAVExifDataPtr none = emptyImageRecord();
    tab.setImgExifData(none);
    EXPECT_TRUE(showsApplicationIcon(view));

    const QString photo = tempPath("photo.png");
    ASSERT_TRUE(ImageFixtures::makeImage(photo, QSize(400, 300)));
    const TAVExifDataPtr record = emptyImageRecord();
    record->setStrImagePath(photo);
    tab.setImgExifData(record);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !showsApplicationIcon(view); }, kPatientMs));
    EXPECT_EQ(view->pixmap().width(), TAVSummaryViewCtlr::kPreviewWidth);

    const QString broken = tempPath("broken.jpg");
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    const TAVExifDataPtr unreadable = emptyImageRecord();
    unreadable->setStrImagePath(broken);
    tab.setImgExifData(unreadable);
    ASSERT_TRUE(QTest::qWaitFor([&] { return showsApplicationIcon(view); }, kPatientMs));
}

TEST_F(SummaryTabTest, GalleryWithAPhotoAndDisabled)
{
    const QString photo = tempPath("harbour.jpg");
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(photo,
        {{"Exif.Image.Make", "Canon", std::nullopt}, {"Exif.Image.Model", "Canon PowerShot S40", std::nullopt},
            {"Exif.Image.Artist", "Ann Lee", std::nullopt},
            {"Exif.Image.DateTime", "2021:07:04 18:30:05", std::nullopt},
            {"Exif.Image.ImageDescription", "Boats in the harbour at dusk", std::nullopt}},
        QSize(480, 320)));
    images.push_back(TAVImageObject::create(photo));
    const TAVExifDataPtr record = images.back()->exifData();
    record->setValue("Lumetta Tester", "Exif.Image.Artist", 0, false, false, true);
    TAVTimeOffsetInfo shift;
    shift.setTimeOffsetNum(2);
    record->setCreatedDateTimeOffset(shift);
    tab.resize(760, 560);
    tab.setImgExifData(record);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !showsApplicationIcon(child<QLabel>("imageView")); }, kPatientMs));
    EXPECT_TRUE(Gallery::capture(&tab, "summary-tab"));

    tab.setEditEnable(false);
    EXPECT_FALSE(field("fldCamera")->isEnabled());
    EXPECT_TRUE(child<QPlainTextEdit>("tvKeywords")->isReadOnly());
    EXPECT_FALSE(field("fldOffsetDateValue")->isEnabled());
    EXPECT_TRUE(Gallery::capture(&tab, "summary-tab-disabled"));
}

// Photos stepped through faster than their pictures decode (large ones
// between small ones, the next one decoded ahead as the main window asks):
// whenever the tab says it shows a photo's picture it is that photo's, and
// once the pictures are in it is the last photo's.
TEST_F(SummaryTabTest, SteppingFasterThanPicturesDecodeNeverShowsAnotherPhotosPicture)
{
    auto* view = child<QLabel>("imageView");
    constexpr int kPhotos = 8;
    QStringList paths;
    std::vector<TAVExifDataPtr> records;
    std::vector<QColor> colours;
    for (int i = 0; i < kPhotos; ++i) {
        colours.push_back(QColor::fromHsv(i * 360 / kPhotos, 220, 220));
        QImage picture(i % 2 == 0 ? QSize(3000, 2000) : QSize(300, 200), QImage::Format_RGB32);
        picture.fill(colours.back());
        paths.append(tempPath(QStringLiteral("step%1.jpg").arg(i)));
        ASSERT_TRUE(picture.save(paths.last()));
        records.push_back(emptyImageRecord());
        records.back()->setStrImagePath(paths.last());
    }
    auto showsPhoto = [&](int i) {
        const QImage shot = view->pixmap().toImage();
        const QColor centre = shot.pixelColor(shot.width() / 2, shot.height() / 2);
        const int hueApart = std::abs(centre.hue() - colours.at(i).hue());
        return tab.shownPreviewPath() == paths.at(i) && std::min(hueApart, 360 - hueApart) <= 6;
    };
    for (const int pauseMs : {0, 3}) {
        for (int i = 0; i < kPhotos; ++i) {
            tab.setImgExifData(records.at(i));
            tab.preparePreview({paths.value(i + 1), paths.value(i + 2)});
            if (pauseMs > 0) {
                QTest::qWait(pauseMs);
            }
            EXPECT_TRUE(tab.shownPreviewPath().isEmpty() || showsPhoto(i)) << pauseMs << " ms, photo " << i;
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return showsPhoto(kPhotos - 1); }, kPatientMs)) << pauseMs << " ms";
        // The loads of the photos passed over end without a trace.
        Dispatch::waitForWorkers(kPatientMs);
        QTest::qWait(20);
        EXPECT_TRUE(showsPhoto(kPhotos - 1)) << pauseMs << " ms";
        tab.setImgExifData(nullptr);
    }
}
