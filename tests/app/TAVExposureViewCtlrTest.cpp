#include "app/TAVExposureViewCtlr.h"

#include "TabPostRecorder.h"

#include "commlib/VXPopUpButton.h"

#include "models/image/TAVImageCacheManager.h"
#include "models/image/TAVImageObject.h"
#include "models/tables/TAVKeyLists.h"

#include "support/FakeUiServices.h"
#include "support/Gallery.h"
#include "support/ImageFixtures.h"
#include "support/TempFolder.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QStringList itemsOf(const QComboBox* popUp)
{
    QStringList items;
    for (int i = 0; i < popUp->count(); ++i)
        items.append(popUp->itemText(i));
    return items;
}

bool showsIcon(const QLabel* view, const QString& name)
{
    const QImage icon = TAVImageCacheManager::sharedInstance().getImage(name);
    if (icon.isNull() || view->pixmap().isNull())
        return false;
    const auto premultiplied = QImage::Format_ARGB32_Premultiplied;
    const QImage expected
        = icon.scaled(view->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation).convertToFormat(premultiplied);
    return view->pixmap().toImage().convertToFormat(premultiplied) == expected;
}

class ExposureTabTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        UiServices::setShared(&ui);
    }
    void TearDown() override { UiServices::setShared(nullptr); }

    QLineEdit* field(const char* name) { return tab.findChild<QLineEdit*>(QLatin1String(name)); }
    VXPopUpButton* popUp(const char* name) { return tab.findChild<VXPopUpButton*>(QLatin1String(name)); }
    QLabel* icon(const char* name) { return tab.findChild<QLabel*>(QLatin1String(name)); }

    TAVImageObjectPtr load(const QString& path)
    {
        images.push_back(TAVImageObject::create(path));
        return images.back();
    }
    TAVImageObjectPtr plainPhoto()
    {
        const QString path = tempPath(QStringLiteral("plain%1.jpg").arg(images.size()));
        EXPECT_TRUE(ImageFixtures::makeImageWithTags(path, {{"Exif.Image.Make", "Acme", std::nullopt}}));
        return load(path);
    }

    FakeUiServices ui;
    std::vector<TAVImageObjectPtr> images;
    TabPostRecorder recorder;
    TAVExposureViewCtlr tab;
};

} // namespace

TEST(ExposureRules, SplitJoinAndIconIndexes)
{
    using Tab = TAVExposureViewCtlr;
    const std::vector<std::tuple<QString, QString, QString>> splits
        = {{"1/250", "1", "250"}, {"0/0", "1", "1"}, {"250", "", ""}, {"", "", ""}, {"10/1/2", "10", "1"}};
    for (const auto& [value, numerator, denominator] : splits) {
        EXPECT_EQ(Tab::splitExposureTime(value), std::make_pair(numerator, denominator)) << qPrintable(value);
    }
    EXPECT_EQ(Tab::joinExposureTime("1", "60"), QStringLiteral("1/60"));
    EXPECT_EQ(Tab::joinExposureTime("", "60"), QStringLiteral("1/60"));
    EXPECT_EQ(Tab::joinExposureTime("2", ""), QStringLiteral("2/1"));
    EXPECT_EQ(Tab::joinExposureTime("", ""), QStringLiteral("/"));

    const std::vector<std::tuple<QString, QString, int>> speeds
        = {{"1", "1000", 1}, {"1", "250", 2}, {"1", "64", 3}, {"1", "60", 4}, {"1", "8", 5}, {"1", "4", 6},
            {"1", "", 7}, {"2", "", 8}, {"", "", 1}, {"1", "0", 1}, {"", "500", 2}};
    for (const auto& [numerator, denominator, index] : speeds) {
        EXPECT_EQ(Tab::shutterSpeedIconIndex(numerator, denominator), index)
            << qPrintable(numerator) << "/" << qPrintable(denominator);
    }
    const std::vector<std::pair<QString, int>> apertures
        = {{"", 1}, {"1.4", 1}, {"2.4", 1}, {"2.8", 2}, {"4", 2}, {"5.6", 3}, {"16", 4}, {"22", 5}};
    for (const auto& [text, index] : apertures)
        EXPECT_EQ(Tab::apertureIconIndex(text), index) << qPrintable(text);
    const std::vector<std::pair<QString, int>> isos
        = {{"", 1}, {"100", 1}, {"200", 2}, {"400", 3}, {"800", 4}, {"1600", 5}, {"3200", 6}};
    for (const auto& [text, index] : isos)
        EXPECT_EQ(Tab::sensitivityIconIndex(text), index) << qPrintable(text);
}

TEST(ExposureRules, EveryIconNameIsInTheResources)
{
    TAVExposureViewCtlr tab; // registers the icons
    QStringList names;
    for (const QStringList* table :
        {&TAVKeyLists::flashIcons(), &TAVKeyLists::sensingMethodIcons(), &TAVKeyLists::focusModeIcons(),
            &TAVKeyLists::meteringModeIcons(), &TAVKeyLists::exposureProgramIcons(), &TAVKeyLists::whiteBalanceIcons(),
            &TAVKeyLists::contrastIcons(), &TAVKeyLists::saturationIcons(), &TAVKeyLists::sharpnessIcons()})
        names += table->mid(1);
    for (const auto& [stem, count] :
        {std::pair{"shutterSpeed_%1.png", 8}, {"aperture_%1.png", 5}, {"sensitivity_%1.png", 6}}) {
        for (int i = 1; i <= count; ++i)
            names.append(QString::fromLatin1(stem).arg(i));
    }
    for (const QString& name : names)
        EXPECT_FALSE(TAVImageCacheManager::sharedInstance().getImage(name).isNull()) << qPrintable(name);
}

TEST_F(ExposureTabTest, NumberFieldsRefuseNonNumbersAndWriteTheShutterAsAFraction)
{
    const TAVImageObjectPtr image = plainPhoto();
    const TAVExifDataPtr record = image->exifData();
    record->setValue("1/250", "Exif.Photo.ExposureTime", 1, false, false, true);
    record->removeModifyFlag();
    tab.setImgExifData(record);
    QLineEdit* numerator = field("fldShutterSpeed");
    QLineEdit* denominator = field("fldShutterSpeed2");
    EXPECT_EQ(numerator->text(), QStringLiteral("1"));
    EXPECT_EQ(denominator->text(), QStringLiteral("250"));
    EXPECT_TRUE(showsIcon(icon("imgViewShutterSpeed"), "shutterSpeed_2.png"));

    QTest::keyClick(denominator, Qt::Key_X);
    EXPECT_EQ(ui.beeps(), 1);
    EXPECT_EQ(denominator->text(), QStringLiteral("250"));
    EXPECT_EQ(record->getValueForKey("Exif.Photo.ExposureTime", 1), QStringLiteral("1/250"));
    EXPECT_FALSE(record->isModifiedForKey("Exif.Photo.ExposureTime", 1));
    EXPECT_TRUE(recorder.posts.empty());

    denominator->selectAll();
    QTest::keyClicks(denominator, QStringLiteral("60"));
    EXPECT_TRUE(showsIcon(icon("imgViewShutterSpeed"), "shutterSpeed_4.png"));
    EXPECT_TRUE(isStyledModified(labelOf(&tab, numerator)));
    EXPECT_TRUE(recorder.posts.empty()) << "the record takes the text when the editing ends";
    emit denominator->editingFinished();
    EXPECT_EQ(record->getValueForKey("Exif.Photo.ExposureTime", 1), QStringLiteral("1/60"));
    ASSERT_EQ(recorder.posts.size(), 1u);
    EXPECT_EQ(recorder.posts.back(), TabPostRecorder::Post(true, false));

    QLineEdit* aperture = field("fldAperture");
    QTest::keyClicks(aperture, QStringLiteral("2.8"));
    tab.commitTypedText();
    EXPECT_EQ(record->getValueForKey("Exif.Photo.FNumber", 1), QStringLiteral("2.8"));
    EXPECT_TRUE(showsIcon(icon("imgViewAperture"), "aperture_2.png"));
    QTest::keyClick(aperture, Qt::Key_E);
    EXPECT_EQ(aperture->text(), QStringLiteral("2.8"));
    EXPECT_EQ(ui.beeps(), 2);
    aperture->clear();
    emit aperture->textEdited(QString()); // clearing a field is allowed
    emit aperture->editingFinished();
    EXPECT_EQ(record->getValueForKey("Exif.Photo.FNumber", 1), QStringLiteral(""));
}

TEST_F(ExposureTabTest, ChoosingUnknownWritesItAndKeepsTheIcon)
{
    const TAVExifDataPtr record = plainPhoto()->exifData();
    tab.setImgExifData(record);
    VXPopUpButton* flash = popUp("popBtnFlash");
    flash->setCurrentIndex(2);
    emit flash->activated(2);
    EXPECT_EQ(record->getValueForKey("Exif.Photo.Flash", 1), QStringLiteral("Fired"));
    EXPECT_TRUE(showsIcon(icon("popBtnFlash"), "flash_autoFired"));
    EXPECT_EQ(recorder.posts.back(), TabPostRecorder::Post(true, true));

    flash->setCurrentIndex(0);
    emit flash->activated(0);
    EXPECT_EQ(record->getValueForKey("Exif.Photo.Flash", 1), QStringLiteral("Unknown"));
    EXPECT_TRUE(showsIcon(icon("popBtnFlash"), "flash_autoFired"));

    // A value outside the table leaves the pop-up without a selection.
    record->setValue("Strobe", "Exif.Photo.Flash", 1, false, false, true);
    tab.setImgExifData(record);
    EXPECT_EQ(flash->currentIndex(), -1);
    EXPECT_EQ(tab.genDictionayFromSetting()->value("Exif.Photo.Flash")->value(), QStringLiteral(""));
}

TEST_F(ExposureTabTest, FocusListNarrowsToWhatTheCameraAllowsUntilAChoiceOrTheNextRecord)
{
    tab.show();
    VXPopUpButton* focus = popUp("popBtnFocus");
    const QStringList all = TAVKeyLists::focusModeLabels();

    const TAVExifDataPtr plain = plainPhoto()->exifData();
    tab.setImgExifData(plain);
    focus->showPopup();
    focus->hidePopup();
    EXPECT_EQ(itemsOf(focus), (QStringList{"Unknown", "Macro", "Close View", "Infinity"}));
    EXPECT_EQ(focus->currentText(), QStringLiteral("Unknown"));

    // The next record's value is outside the narrowed list: the rebuild must still show it.
    const TAVImageObjectPtr canon = load(ImageFixtures::copySample("npm-canon-s40.jpg", tempFolder()));
    canon->exifData()->setValue("Auto", "Exif.Photo.SubjectDistanceRange", 1, false, false, true);
    tab.setImgExifData(canon->exifData());
    EXPECT_EQ(itemsOf(focus), all);
    EXPECT_EQ(focus->currentText(), QStringLiteral("Auto"));
    focus->showPopup();
    focus->hidePopup();
    EXPECT_EQ(itemsOf(focus), all) << "the camera's maker notes allow all six";

    tab.setImgExifData(plain);
    focus->showPopup();
    focus->hidePopup();
    focus->setCurrentIndex(focus->findText("Macro"));
    emit focus->activated(focus->currentIndex());
    EXPECT_EQ(itemsOf(focus), all);
    EXPECT_EQ(focus->currentText(), QStringLiteral("Macro"));
    EXPECT_EQ(plain->getValueForKey("Exif.Photo.SubjectDistanceRange", 1), QStringLiteral("Macro"));

    // No image behind the record, or one never read (it allows nothing): the list stays whole.
    for (const TAVExifDataPtr& record : {TAVExifData::create(), load(QString())->exifData()}) {
        tab.setImgExifData(record);
        focus->showPopup();
        focus->hidePopup();
        EXPECT_EQ(itemsOf(focus), all);
    }
}

TEST_F(ExposureTabTest, CollectedSettingsAreAllModified)
{
    const TAVExifDataPtr record = plainPhoto()->exifData();
    record->setValue("1/125", "Exif.Photo.ExposureTime", 1, false, false, true);
    record->setValue("f/4", "Exif.Photo.FNumber", 1, false, false, true);
    record->removeModifyFlag();
    tab.setImgExifData(record);
    EXPECT_EQ(field("fldAperture")->text(), QStringLiteral("4"));
    const TAVEntityMap collected = *tab.genDictionayFromSetting();
    EXPECT_EQ(collected.size(), 16);
    for (const TAVEntityPtr& entity : collected)
        EXPECT_TRUE(entity->isModified()) << qPrintable(entity->key());
    EXPECT_EQ(collected.value("Exif.Photo.ExposureTime")->value(), QStringLiteral("1/125"));
    EXPECT_EQ(collected.value("Exif.Photo.FNumber")->value(), QStringLiteral("4"));
    EXPECT_EQ(collected.value("Exif.Photo.WhiteBalance")->value(), QStringLiteral("Unknown"));
}

TEST_F(ExposureTabTest, GalleryWithIconsAndDisabled)
{
    const TAVExifDataPtr record = plainPhoto()->exifData();
    const std::vector<std::pair<QString, QString>> values = {{"Exif.Photo.ExposureTime", "1/60"},
        {"Exif.Photo.FNumber", "f/2.8"}, {"Exif.Photo.ISOSpeedRatings", "400"}, {"Exif.Photo.FocalLength", "35"},
        {"Exif.Photo.Flash", "Fired"}, {"Exif.Photo.ExposureProgram", "Aperture Priority"},
        {"Exif.Photo.MeteringMode", "Multi-Spot"}, {"Exif.Photo.SubjectDistanceRange", "Macro"},
        {"Exif.Photo.SensingMethod", "One chip area"}, {"Exif.Photo.WhiteBalance", "Daylight"},
        {"Exif.Photo.Contrast", "Normal"}, {"Exif.Photo.Saturation", "High"}, {"Exif.Photo.Sharpness", "Hard"}};
    for (const auto& [key, value] : values)
        record->setValue(value, key, 1, false, false, true);
    record->removeModifyFlag();
    record->setValue("2", "Exif.Photo.DigitalZoomRatio", 1, false, false, true);
    tab.resize(720, 400);
    tab.setImgExifData(record);
    EXPECT_TRUE(showsIcon(icon("popBtnMetering"), "metering_multiSpot"));
    EXPECT_TRUE(showsIcon(icon("imgViewSensitity"), "sensitivity_3.png"));
    EXPECT_TRUE(Gallery::capture(&tab, "exposure-tab"));
    tab.setEditEnable(false);
    EXPECT_FALSE(popUp("popBtnSharpness")->isEnabled());
    EXPECT_FALSE(field("fldDigitalZoom")->isEnabled());
    EXPECT_TRUE(Gallery::capture(&tab, "exposure-tab-disabled"));
}
