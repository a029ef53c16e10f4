#include "models/TAVKeyLists.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

TEST(TAVKeyListsTest, CategoryOfKeyFollowsTheSummaryExposureAndGpsLists)
{
    EXPECT_EQ(TAVKeyLists::categoryOfKey("Exif.Image.DateTime"), 0);
    EXPECT_EQ(TAVKeyLists::categoryOfKey("Exif.Image.CreateDate"), 0);
    EXPECT_EQ(TAVKeyLists::categoryOfKey("Summary.CreateTime"), 0);
    EXPECT_EQ(TAVKeyLists::categoryOfKey("Iptc.Application2.Keywords"), 0);
    EXPECT_EQ(TAVKeyLists::categoryOfKey("Exif.Photo.FNumber"), 1);
    EXPECT_EQ(TAVKeyLists::categoryOfKey("Exif.Photo.Sharpness"), 1);
    EXPECT_EQ(TAVKeyLists::categoryOfKey("Exif.GPSInfo.GPSLatitude"), 2);
    EXPECT_EQ(TAVKeyLists::categoryOfKey("Exif.Photo.LightSource"), 3);
    EXPECT_EQ(TAVKeyLists::categoryOfKey("Xmp.dc.title"), 3);
    EXPECT_EQ(TAVKeyLists::categoryOfKey(""), 3);

    // The image size is shown on the summary tab and still never cleared or applied.
    EXPECT_EQ(TAVKeyLists::categoryOfKey("Summary.ImageSize"), 0);
    EXPECT_TRUE(TAVKeyLists::isDisplayOnlyKey("Summary.ImageSize"));
    EXPECT_FALSE(TAVKeyLists::isDisplayOnlyKey("Summary.CreateTime"));
}

TEST(TAVKeyListsTest, ShownKeysJoinTheThreeTabListsInOrder)
{
    EXPECT_EQ(TAVKeyLists::summaryKeys().size(), 15);
    EXPECT_EQ(TAVKeyLists::exposureKeys().size(), 16);
    EXPECT_EQ(TAVKeyLists::gpsKeys().size(), 7);
    EXPECT_EQ(TAVKeyLists::shownKeys(),
              TAVKeyLists::summaryKeys() + TAVKeyLists::exposureKeys() + TAVKeyLists::gpsKeys());
    QStringList unique = TAVKeyLists::shownKeys();
    EXPECT_EQ(unique.removeDuplicates(), 0);
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
    EXPECT_EQ(TAVKeyLists::exposureProgramLabels().indexOf("Aperature Priority"), 4);
    EXPECT_EQ(TAVKeyLists::exposureProgramLabels().size(), 13);
    EXPECT_EQ(TAVKeyLists::focusModeIcons().count("focus_macro"), 2);
    EXPECT_EQ(TAVKeyLists::whiteBalanceIcons().last(), QString("flash_autoFired"));
}
