#include "tools/TAVRenameEngine.h"

#include "models/image/TAVImageObject.h"
#include "models/record/TAVEntity.h"
#include "models/record/TAVExifData.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <map>

namespace {

class TAVRenameEngineTest : public ::testing::Test {
protected:
    void SetUp() override { roots_ = TAVRenameEngine::getCanSelectExifTag(); }

    // The tree's field `name` under the root `category`.
    TAVRenameRuleFieldPtr field(const QString& category, const QString& name) const
    {
        for (const TAVRenameRootItemPtr& root : roots_) {
            if (root->category() != category) {
                continue;
            }
            for (const TAVRenameRuleFieldPtr& f : root->subRuleFields()) {
                if (f->field() == name) {
                    return f;
                }
            }
        }
        ADD_FAILURE() << "no field " << name.toStdString();
        return nullptr;
    }
    TAVRenameRuleFieldPtr exif(const QString& name) const { return field("Exif", name); }
    TAVRenameRuleFieldPtr filename() const { return field("File Details", "Filename"); }
    TAVRenameRuleFieldPtr counter() const { return field("Numerical Sequences", "Numerical Sequences"); }
    TAVRenameRuleFieldPtr custom() const { return field("Custom", "Custom Character(s)"); }

    // An image imported from `sourcePath` whose summary values are `values`.
    static std::shared_ptr<TAVImageObject> image(
        const QString& sourcePath, const std::map<QString, QString>& values = {})
    {
        auto image = std::make_shared<TAVImageObject>();
        image->setSrcPath(sourcePath);
        auto record = TAVExifData::create();
        TAVEntityMap summary;
        for (const auto& [key, value] : values) {
            summary.insert(key, TAVEntity::entityWithValue(value, key));
        }
        record->initImageExifData(summary, TAVExifData::CategorySummary);
        image->setExifData(record);
        return image;
    }

    QString name(
        const std::shared_ptr<TAVImageObject>& image, const QList<TAVRenameRuleFieldPtr>& rules, int32_t index = 0)
    {
        engine_.setEdittingRules(rules);
        return engine_.getRenamedNameString(image.get(), engine_.getherCurrentRenameSetting(), index);
    }

    void useSeparator(const QString& separator)
    {
        engine_.setSeparatorEnabled(true);
        engine_.setSeparatorText(separator);
    }

    QList<TAVRenameRootItemPtr> roots_;
    TAVRenameEngine engine_;
    const std::map<QString, QString> dated_{
        {"Exif.Image.CreateDate", "2020-01-02"}, {"Summary.CreateTime", "10:11:12"}};
};

} // namespace

TEST_F(TAVRenameEngineTest, FieldTreeHoldsTheFiveRootsInOrder)
{
    ASSERT_EQ(roots_.size(), 5);
    QStringList categories;
    for (const auto& root : roots_) {
        categories.append(root->category());
        for (const auto& f : root->subRuleFields()) {
            EXPECT_EQ(f->rootItem(), root);
        }
    }
    EXPECT_EQ(categories, QStringList({"Custom", "File Details", "Numerical Sequences", "Exif", "Iptc"}));
    EXPECT_EQ(roots_[3]->subRuleFields().size(), 13);
    EXPECT_EQ(TAVRenameEngine::getDispKeysForCategory("Iptc").count("Copyright"), 2);
    EXPECT_EQ(TAVRenameEngine::getFullKey("LensMake", "Exif"), QString("Exif.Photo.LensMake"));
    EXPECT_EQ(TAVRenameEngine::getFullKey("Caption", "Exif"), QString("Iptc.Application2.Caption"));
}

TEST_F(TAVRenameEngineTest, WithoutRulesTheSourceNameStays)
{
    useSeparator("_");
    EXPECT_EQ(name(image("/photos/IMG_1.JPG"), {}), QString("IMG_1.JPG"));
    EXPECT_TRUE(name(image(""), {filename()}).isNull());
    engine_.setEdittingRules({filename()});
    EXPECT_TRUE(engine_.getRenamedNameString(nullptr, engine_.getherCurrentRenameSetting(), 0).isNull());
}

TEST_F(TAVRenameEngineTest, CounterIsPaddedToTheWidthOfTheStartText)
{
    const auto img = image("/photos/IMG_1.JPG");
    useSeparator("_");
    engine_.setStartText("007");
    engine_.setIncreaseText("5");
    EXPECT_EQ(name(img, {filename(), counter()}, 2), QString("IMG_1_017.JPG"));

    engine_.setStartText("9");
    engine_.setIncreaseText("1");
    EXPECT_EQ(name(img, {counter()}, 3), QString("12.JPG")); // a longer text is not cut

    engine_.setStartText("");
    EXPECT_EQ(name(img, {counter()}, 4), QString("4.JPG"));

    engine_.setStartText("100");
    engine_.setIncreaseText("-105");
    EXPECT_EQ(name(img, {counter()}, 1), QString("0-5.JPG"));
}

TEST_F(TAVRenameEngineTest, EmptyFieldsDropOutWithTheirSeparators)
{
    const auto img = image("/photos/IMG_1.JPG");
    useSeparator("_");
    engine_.setCustomCharacters("");
    EXPECT_EQ(name(img, {custom(), filename()}), QString("IMG_1.JPG"));
    EXPECT_EQ(name(img, {filename(), custom()}), QString("IMG_1.JPG"));
    engine_.setCustomCharacters("trip");
    EXPECT_EQ(name(img, {custom(), filename()}), QString("trip_IMG_1.JPG"));

    engine_.setSeparatorEnabled(false);
    EXPECT_EQ(name(img, {custom(), filename()}), QString("tripIMG_1.JPG"));
}

TEST_F(TAVRenameEngineTest, DateAndTimeFollowTheChosenPattern)
{
    const auto img = image("/photos/IMG_1.jpg", dated_);
    useSeparator("_");
    engine_.setTimeFormatIndex(0);
    engine_.setDateFormatIndex(4); // "YYYY-MM-DD HH-MM-SS"
    EXPECT_EQ(name(img, {exif("CreateDate"), exif("CreateTime")}), QString("2020-01-02 10-11-12.jpg"));
    EXPECT_EQ(
        name(img, {filename(), exif("CreateDate"), exif("CreateTime")}), QString("IMG_1_2020-01-02 10-11-12.jpg"));
    EXPECT_EQ(name(img, {filename(), exif("CreateTime")}), QString("IMG_1_10-11-12.jpg"));

    engine_.setDateFormatIndex(2); // "YYYY-MM-DD-HHhMMmSS"
    EXPECT_EQ(name(img, {exif("CreateDate"), exif("CreateTime")}), QString("2020-01-02-10h11m12.jpg"));
    engine_.setDateFormatIndex(0); // "YYYYMMDDHHMMSS": no date-time separator
    EXPECT_EQ(name(img, {exif("CreateDate"), exif("CreateTime")}), QString("20200102101112.jpg"));

    // A 12-hour choice keeps the 24-hour digits and adds the marker.
    const auto evening = image("/photos/IMG_2.jpg", {{"Summary.CreateTime", "22:11:12"}});
    engine_.setTimeFormatIndex(1);
    EXPECT_EQ(name(evening, {exif("CreateTime")}), QString("221112 PM.jpg"));

    // An empty date gives neither date nor time; a time after a date that gives
    // nothing takes the ordinary separator.
    engine_.setDateFormatIndex(4);
    engine_.setTimeFormatIndex(0);
    const auto undated = image("/photos/IMG_1.jpg", {{"Exif.Image.CreateDate", ""}, {"Summary.CreateTime", ""}});
    EXPECT_EQ(name(undated, {filename(), exif("CreateDate"), exif("CreateTime")}), QString("IMG_1.jpg"));
    const auto timeOnly = image("/photos/IMG_1.jpg", {{"Summary.CreateTime", "10:11:12"}});
    EXPECT_EQ(name(timeOnly, {filename(), exif("CreateDate"), exif("CreateTime")}), QString("IMG_1_10-11-12.jpg"));
}

TEST_F(TAVRenameEngineTest, TagValuesComeFromTheRecord)
{
    useSeparator("_");
    const auto img = image("/photos/DSC_9",
        {{"Summary.ImageSize", "4000 x 3000 (5.2 MB)"}, {"Exif.Photo.LensMake", "Lensmaker"},
            {"Iptc.Application2.Caption", "Harbour"}});
    EXPECT_EQ(
        name(img, {exif("ImageSize"), exif("LensMake"), exif("Caption")}), QString("4000 x 3000_Lensmaker_Harbour."));
    // A size without "W x H" before its "(" gives nothing, and no separator.
    EXPECT_EQ(
        name(image("/p/a.jpg", {{"Summary.ImageSize", "(5 MB)"}}), {exif("ImageSize"), filename()}), QString("a.jpg"));
}

TEST_F(TAVRenameEngineTest, NamesNeverLeaveTheOutputFolder)
{
    const auto img = image("/photos/IMG_1.JPG", {{"Exif.Image.Model", "EOS 5D/II"}});
    useSeparator("_");
    EXPECT_EQ(name(img, {exif("Model"), filename()}), QString("EOS 5D-II_IMG_1.JPG"));
    engine_.setCustomCharacters(QString("../up") + QChar(0) + "x");
    EXPECT_EQ(name(img, {custom()}), QString("-up-x.JPG"));
    // The separator box is typed by the user as well.
    useSeparator("/../");
    EXPECT_EQ(name(img, {filename(), exif("Model")}), QString("IMG_1-..-EOS 5D-II.JPG"));
    useSeparator("_");

    // A tag value of any length still gives a name the file system takes:
    // the stem is cut to fit with its extension, never inside a character.
    const auto wordy = image("/photos/IMG_2.JPEG", {{"Exif.Image.Model", QString(300, QChar(0x20AC))}});
    const QString cut = name(wordy, {exif("Model")});
    EXPECT_EQ(cut.toUtf8().size(), 254);
    EXPECT_EQ(cut, QString(83, QChar(0x20AC)) + ".JPEG");

    const auto bare = image("/photos/README");
    // "." and ".." would name the output folder or its parent.
    engine_.setCustomCharacters(".");
    EXPECT_EQ(name(bare, {custom()}), QString("README."));
    engine_.setCustomCharacters("..");
    EXPECT_EQ(name(bare, {custom()}), QString("README."));
}

// Photos the rule's fields say nothing about (no capture date, no tags) still
// get visible names of their own, never ".jpg", "_100.tif" or "IMG.jpg.jpg".
TEST_F(TAVRenameEngineTest, NamesAreNeverHiddenEmptyOrDoubledAndFallBackToThePhotosOwnName)
{
    useSeparator("_");
    engine_.setDateFormatIndex(4);
    engine_.setTimeFormatIndex(0);
    const auto undated = image("/photos/IMG_7.jpg", {{"Exif.Image.CreateDate", ""}, {"Summary.CreateTime", ""}});
    EXPECT_EQ(name(undated, {exif("CreateDate"), exif("CreateTime")}), QString("IMG_7.jpg"));
    EXPECT_EQ(name(undated, {exif("CreateDate"), exif("Model")}), QString("IMG_7.jpg"));

    engine_.setStartText("100");
    engine_.setIncreaseText("1");
    EXPECT_EQ(name(image("/photos/scan.tif"), {exif("CreateDate"), counter()}), QString("100.tif"));
    EXPECT_EQ(name(undated, {exif("CreateDate"), exif("CreateTime"), counter()}, 2), QString("102.jpg"));

    // Texts that would hide the file or repeat its extension.
    engine_.setCustomCharacters(".hidden");
    EXPECT_EQ(name(undated, {custom()}), QString("hidden.jpg"));
    engine_.setCustomCharacters("_. trip");
    EXPECT_EQ(name(undated, {custom()}), QString("trip.jpg"));
    engine_.setCustomCharacters(".jpg");
    EXPECT_EQ(name(undated, {custom()}), QString("IMG_7.jpg"));
    const auto titled = image("/photos/IMG_8.JPG", {{"Iptc.Application2.ObjectName", "Harbour.jpg"}});
    EXPECT_EQ(name(titled, {exif("ObjectName")}), QString("Harbour.JPG"));
    EXPECT_EQ(name(titled, {filename(), exif("ObjectName")}), QString("IMG_8_Harbour.JPG"));

    // A separator the user typed as "." starts no name either.
    useSeparator(".");
    EXPECT_EQ(name(undated, {exif("CreateDate"), filename()}), QString("IMG_7.jpg"));
}
