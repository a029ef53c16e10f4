#include "foundation/GlobalFun.h"

#include "foundation/FileServices.h"
#include "foundation/UserDefaults.h"
#include "foundation/VXGlobalFunctions.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <thread>

namespace {

class GlobalFunTest : public TempFolderTest {
protected:
    void touch(const QString& name)
    {
        QFile file(tempPath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QString freePath(const QString& name, const QString& extension)
    {
        return GlobalFun::makeSureFullPathIdentical(tempPath(name), extension);
    }
};

}  // namespace

TEST_F(GlobalFunTest, FreePathGrowsACounterOnTheBaseNameOnly)
{
    EXPECT_EQ(freePath(QStringLiteral("a.jpg"), QStringLiteral("jpg")), tempPath(QStringLiteral("a.jpg")));
    touch(QStringLiteral("a.jpg"));
    EXPECT_EQ(freePath(QStringLiteral("a.jpg"), QStringLiteral("jpg")), tempPath(QStringLiteral("a(1).jpg")));
    touch(QStringLiteral("a(1).jpg"));
    EXPECT_EQ(freePath(QStringLiteral("a.jpg"), QStringLiteral("jpg")), tempPath(QStringLiteral("a(2).jpg")));
    // A user's file already named with a counter.
    EXPECT_EQ(freePath(QStringLiteral("a(1).jpg"), QStringLiteral("jpg")), tempPath(QStringLiteral("a(2).jpg")));
    touch(QStringLiteral("a(5).jpg"));
    EXPECT_EQ(freePath(QStringLiteral("a(5).jpg"), QStringLiteral("jpg")), tempPath(QStringLiteral("a(5)(1).jpg")));
    // The extension is compared exactly, case included.
    EXPECT_EQ(freePath(QStringLiteral("a.jpg"), QStringLiteral("JPG")), tempPath(QStringLiteral("a.jpg.JPG")));
    EXPECT_EQ(freePath(QStringLiteral("b"), QStringLiteral("png")), tempPath(QStringLiteral("b.png")));

    // The folder keeps its name even when it holds a counter text.
    ASSERT_TRUE(FileServices::createFolder(tempPath(QStringLiteral("x(1)"))));
    touch(QStringLiteral("x(1)/a.jpg"));
    EXPECT_EQ(VXGlobalFunctions::makeSureFullPathIdentical(tempPath(QStringLiteral("x(1)/a.jpg")),
                                                           QStringLiteral("jpg")),
              tempPath(QStringLiteral("x(1)/a(1).jpg")));
}

TEST_F(GlobalFunTest, FreePathRefusesNamesThatLeaveTheFolder)
{
    EXPECT_TRUE(freePath(QStringLiteral("../a.jpg"), QStringLiteral("jpg")).isNull());
    EXPECT_TRUE(freePath(QStringLiteral("sub/../../a.jpg"), QStringLiteral("jpg")).isNull());
    EXPECT_TRUE(freePath(QStringLiteral("a"), QStringLiteral("x/../../b")).isNull());
    EXPECT_TRUE(GlobalFun::MakeSureFolderExsist(tempPath(QStringLiteral("new/deep"))));
    EXPECT_FALSE(GlobalFun::MakeSureFolderExsist(tempPath(QStringLiteral("new/../../escape"))));
    EXPECT_FALSE(GlobalFun::MakeSureFolderExsist(QString()));
}

TEST(GlobalFunTimeTest, TimeTextsBothWays)
{
    EXPECT_EQ(GlobalFun::getTimeStringBySecond(3725), QStringLiteral(" 1:2:05"));
    EXPECT_EQ(GlobalFun::getTimeStringBySecond(65), QStringLiteral("1:05"));
    EXPECT_EQ(GlobalFun::getTimeStringBySecond(5.9), QStringLiteral("00:05"));
    EXPECT_EQ(GlobalFun::getTimeStringBySecond(36000), QStringLiteral("10:00:00"));

    EXPECT_EQ(GlobalFun::getEstimateStrBySecond(1), QStringLiteral("1 second remaining"));
    EXPECT_EQ(GlobalFun::getEstimateStrBySecond(30), QStringLiteral("30 seconds remaining"));
    EXPECT_EQ(GlobalFun::getEstimateStrBySecond(61), QStringLiteral("1 minite 1 second remaining"));
    EXPECT_EQ(GlobalFun::getEstimateStrBySecond(125), QStringLiteral("2 minites 5 seconds remaining"));
    EXPECT_EQ(GlobalFun::getEstimateStrBySecond(7260), QStringLiteral("2 hours 1 minite remaining"));

    EXPECT_EQ(GlobalFun::getSecondsByTimeString(QStringLiteral("1:02:05")), 3725.0);
    EXPECT_EQ(GlobalFun::getSecondsByTimeString(QStringLiteral("2")), 7200.0);
    EXPECT_EQ(GlobalFun::getSecondsByTimeString(QStringLiteral("0:1:2:99")), 62.0);

    EXPECT_EQ(GlobalFun::encodedURLParameterString(QStringLiteral("a b/c=d&é")), QStringLiteral("a%20b%2Fc%3Dd&%C3%A9"));
}

TEST_F(GlobalFunTest, RecursiveListingAndStableIdentifier)
{
    touch(QStringLiteral("z.jpg"));
    ASSERT_TRUE(FileServices::createFolder(tempPath(QStringLiteral("d"))));
    touch(QStringLiteral("d/b.jpg"));
    EXPECT_EQ(GlobalFun::fileListAtDirenctory(tempFolder()),
              (QStringList{tempPath(QStringLiteral("d")), tempPath(QStringLiteral("d/b.jpg")),
                           tempPath(QStringLiteral("z.jpg"))}));

    UserDefaults::standard().removeObjectForKey(QStringLiteral("guid"));
    QString fromWorker;
    std::thread worker([&] { fromWorker = GlobalFun::getGUID(); });
    const QString fromHere = GlobalFun::getGUID();
    worker.join();
    EXPECT_EQ(fromHere, fromWorker);
    EXPECT_EQ(fromHere.size(), 36);
    EXPECT_EQ(UserDefaults::standard().stringForKey(QStringLiteral("guid")), fromHere);
    EXPECT_GT(GlobalFun::getCurrentOSVersion(), 0);
}
