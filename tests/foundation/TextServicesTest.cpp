#include "foundation/TextServices.h"

#include "foundation/VXFileLocalManager.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QStandardPaths>

#include <gtest/gtest.h>

TEST(TextServicesTest, TypedNumbersAreJudgedCharacterByCharacter)
{
    for (const char* ok : {"", "0", "0123"}) {
        EXPECT_TRUE(TextServices::isAllNumberic(QString::fromLatin1(ok))) << ok;
    }
    for (const char* bad : {"1.5", "-1", " 1", "1a", "\xd9\xa3"}) {
        EXPECT_FALSE(TextServices::isAllNumberic(QString::fromUtf8(bad))) << bad;
    }
    for (const char* ok : {"", "2", "2.", "2.8", ".5", "."}) {
        EXPECT_TRUE(TextServices::isUnsiginedFloatNumber(QString::fromLatin1(ok))) << ok;
    }
    for (const char* bad : {"-2", "+2", "1.2.3", "1e5", "2,8", "2 "}) {
        EXPECT_FALSE(TextServices::isUnsiginedFloatNumber(QString::fromLatin1(bad))) << bad;
    }
    EXPECT_EQ(TextServices::stringByTrimmingLeadingAndTrailingWhitespaceAndNewlineCharacters(" \n\tCanon EOS \r\n"),
        "Canon EOS");
    EXPECT_EQ(TextServices::sizeStringWithBytes(512), "512 bytes");
    EXPECT_EQ(TextServices::sizeStringWithBytes(1500), "1.5 KB");
    EXPECT_EQ(TextServices::sizeStringWithBytes(3200000), "3.2 MB");
}

TEST(TextServicesTest, CoordinatesAreSignedDecimalsWithinTheirAxis)
{
    for (const char* ok : {"", "-", ".", "-.", "90", "-90", "45.5", "-0.25", "89.999999", "7."}) {
        EXPECT_TRUE(TextServices::isVaildGPS(QString::fromLatin1(ok), true)) << ok;
    }
    for (const char* bad : {"90.000001", "-91", "1-", "--1", "4a", "1.2.3", "+5", " 5", "1e1"}) {
        EXPECT_FALSE(TextServices::isVaildGPS(QString::fromLatin1(bad), true)) << bad;
    }
    EXPECT_TRUE(TextServices::isVaildGPS("-180", false));
    EXPECT_FALSE(TextServices::isVaildGPS("180.5", false));
    EXPECT_FALSE(TextServices::isVaildGPS("95", true));
    EXPECT_TRUE(TextServices::isVaildGPS("95", false));
    // At the end of editing, the steps on the way to a number are refused.
    for (const char* partial : {"-", ".", "-."}) {
        EXPECT_FALSE(TextServices::isVaildGPS(QString::fromLatin1(partial), true, true)) << partial;
    }
    EXPECT_TRUE(TextServices::isVaildGPS("", true, true));
    EXPECT_TRUE(TextServices::isVaildGPS("-.5", false, true));
}

TEST(VXFileLocalManagerTest, FoldersStayInsideTheirParent)
{
    const QString home = VXFileLocalManager::appHomeDirectory();
    ASSERT_FALSE(home.isEmpty());
    EXPECT_TRUE(QDir(home).exists());
    // Tests never touch a real user's folders.
    EXPECT_TRUE(home.startsWith(QDir::homePath()));

    const QString temp = VXFileLocalManager::makeSureCreatCustomDir(home, "Temp");
    EXPECT_EQ(temp, home + QStringLiteral("/Temp"));
    EXPECT_TRUE(QDir(temp).exists());
    EXPECT_TRUE(VXFileLocalManager::makeSureCreatCustomDir(home, "..").isNull());
    EXPECT_TRUE(VXFileLocalManager::makeSureCreatCustomDir(home, "a/b").isNull());
    EXPECT_TRUE(VXFileLocalManager::makeSureCreatCustomDir(home, "").isNull());
    EXPECT_FALSE(VXFileLocalManager::makeSureDirCreated(home + QStringLiteral("/x/../../y")));

    EXPECT_EQ(VXFileLocalManager::userUiDispAppDirectory("Pictures"),
        QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    EXPECT_TRUE(VXFileLocalManager::userUiDispAppDirectory("../etc").isNull());
}
