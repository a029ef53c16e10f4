#include "models/tables/TAVKeyLists.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

TEST(TAVKeyListsTest, CategoryOfKeyFollowsTheSummaryExposureAndGpsLists)
{
    for (const char* key : {"Exif.Image.DateTime", "Exif.Image.CreateDate", "Summary.CreateTime",
             "Iptc.Application2.Keywords", "Summary.ImageSize"}) {
        EXPECT_EQ(TAVKeyLists::categoryOfKey(key), 0) << key;
    }
    EXPECT_EQ(TAVKeyLists::categoryOfKey("Exif.Photo.Sharpness"), 1);
    EXPECT_EQ(TAVKeyLists::categoryOfKey("Exif.GPSInfo.GPSLatitude"), 2);
    for (const char* key : {"Exif.Photo.LightSource", "Xmp.dc.title", ""}) {
        EXPECT_EQ(TAVKeyLists::categoryOfKey(key), 3) << key;
    }
    // The image size is shown on the summary tab and still never cleared or applied.
    EXPECT_TRUE(TAVKeyLists::isDisplayOnlyKey("Summary.ImageSize"));
    EXPECT_FALSE(TAVKeyLists::isDisplayOnlyKey("Summary.CreateTime"));

    // 15 summary, 16 exposure and 7 GPS keys, none on two lists.
    QStringList shown = TAVKeyLists::shownKeys();
    EXPECT_EQ(shown.size(), 38);
    EXPECT_EQ(shown.removeDuplicates(), 0);
}

TEST(TAVKeyListsTest, EveryLabelTableMatchesItsIconTable)
{
    const std::vector<std::pair<const QStringList*, const QStringList*>> tables = {
        {&TAVKeyLists::flashLabels(), &TAVKeyLists::flashIcons()},
        {&TAVKeyLists::sensingMethodLabels(), &TAVKeyLists::sensingMethodIcons()},
        {&TAVKeyLists::focusModeLabels(), &TAVKeyLists::focusModeIcons()},
        {&TAVKeyLists::meteringModeLabels(), &TAVKeyLists::meteringModeIcons()},
        {&TAVKeyLists::exposureProgramLabels(), &TAVKeyLists::exposureProgramIcons()},
        {&TAVKeyLists::whiteBalanceLabels(), &TAVKeyLists::whiteBalanceIcons()},
        {&TAVKeyLists::contrastLabels(), &TAVKeyLists::contrastIcons()},
        {&TAVKeyLists::saturationLabels(), &TAVKeyLists::saturationIcons()},
        {&TAVKeyLists::sharpnessLabels(), &TAVKeyLists::sharpnessIcons()},
    };
    for (const auto& [labels, icons] : tables) {
        ASSERT_EQ(labels->size(), icons->size()) << labels->join(",").toStdString();
        EXPECT_EQ(labels->first(), QString("Unknown"));
        EXPECT_EQ(icons->first(), QString(""));
        for (qsizetype i = 1; i < icons->size(); ++i) {
            EXPECT_FALSE(icons->at(i).isEmpty()) << labels->at(i).toStdString();
        }
    }
    // The writer matches on these words as they are spelled.
    EXPECT_EQ(TAVKeyLists::exposureProgramLabels().indexOf("Aperture Priority"), 4);
    EXPECT_EQ(TAVKeyLists::exposureProgramLabels().size(), 13);
    EXPECT_EQ(TAVKeyLists::focusModeIcons().count("focus_macro"), 2);
    EXPECT_EQ(TAVKeyLists::whiteBalanceIcons().last(), QString("flash_autoFired"));
}
