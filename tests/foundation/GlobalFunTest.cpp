#include "foundation/GlobalFun.h"

#include "foundation/FileServices.h"
#include "foundation/UserDefaults.h"
#include "foundation/VXGlobalFunctions.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cmath>

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

} // namespace

TEST_F(GlobalFunTest, FreePathGrowsACounterOnTheBaseNameOnly)
{
    EXPECT_EQ(freePath("a.jpg", "jpg"), tempPath("a.jpg"));
    touch("a.jpg");
    EXPECT_EQ(freePath("a.jpg", "jpg"), tempPath("a(1).jpg"));
    touch("a(1).jpg");
    EXPECT_EQ(freePath("a.jpg", "jpg"), tempPath("a(2).jpg"));
    // A user's file already named with a counter.
    EXPECT_EQ(freePath("a(1).jpg", "jpg"), tempPath("a(2).jpg"));
    touch("a(5).jpg");
    EXPECT_EQ(freePath("a(5).jpg", "jpg"), tempPath("a(5)(1).jpg"));
    // The extension is compared exactly, case included.
    EXPECT_EQ(freePath("a.jpg", "JPG"), tempPath("a.jpg.JPG"));
    EXPECT_EQ(freePath("b", "png"), tempPath("b.png"));

    // The folder keeps its name even when it holds a counter text.
    ASSERT_TRUE(FileServices::createFolder(tempPath("x(1)")));
    touch("x(1)/a.jpg");
    EXPECT_EQ(VXGlobalFunctions::makeSureFullPathIdentical(tempPath("x(1)/a.jpg"), "jpg"), tempPath("x(1)/a(1).jpg"));
}

TEST_F(GlobalFunTest, FreePathRefusesNamesThatLeaveTheFolder)
{
    EXPECT_TRUE(freePath("../a.jpg", "jpg").isNull());
    EXPECT_TRUE(freePath("sub/../../a.jpg", "jpg").isNull());
    EXPECT_TRUE(freePath("a", "x/../../b").isNull());
    EXPECT_TRUE(GlobalFun::MakeSureFolderExsist(tempPath("new/deep")));
    EXPECT_FALSE(GlobalFun::MakeSureFolderExsist(tempPath("new/../../escape")));
    EXPECT_FALSE(GlobalFun::MakeSureFolderExsist(QString()));
}

TEST(GlobalFunTimeTest, TimeTextsBothWays)
{
    EXPECT_EQ(GlobalFun::getTimeStringBySecond(3725), " 1:2:05");
    EXPECT_EQ(GlobalFun::getTimeStringBySecond(65), "1:05");
    EXPECT_EQ(GlobalFun::getTimeStringBySecond(5.9), "00:05");
    EXPECT_EQ(GlobalFun::getTimeStringBySecond(36000), "10:00:00");

    EXPECT_EQ(GlobalFun::getEstimateStrBySecond(1), "1 second remaining");
    EXPECT_EQ(GlobalFun::getEstimateStrBySecond(30), "30 seconds remaining");
    EXPECT_EQ(GlobalFun::getEstimateStrBySecond(61), "1 minite 1 second remaining");
    EXPECT_EQ(GlobalFun::getEstimateStrBySecond(125), "2 minites 5 seconds remaining");
    EXPECT_EQ(GlobalFun::getEstimateStrBySecond(7260), "2 hours 1 minite remaining");
    // Counts no clock can show are no time, never undefined conversions.
    for (const double nonsense : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300, -5.0}) {
        EXPECT_EQ(GlobalFun::getTimeStringBySecond(nonsense), "00:00") << nonsense;
        EXPECT_EQ(GlobalFun::getEstimateStrBySecond(nonsense), "0 second remaining") << nonsense;
    }

    EXPECT_EQ(GlobalFun::getSecondsByTimeString("1:02:05"), 3725.0);
    EXPECT_EQ(GlobalFun::getSecondsByTimeString("2"), 7200.0);
    EXPECT_EQ(GlobalFun::getSecondsByTimeString("0:1:2:99"), 62.0);

    EXPECT_EQ(GlobalFun::encodedURLParameterString(QStringLiteral("a b/c=d&é")), "a%20b%2Fc%3Dd&%C3%A9");
}

TEST_F(GlobalFunTest, RecursiveListingAndStableIdentifier)
{
    touch("z.jpg");
    ASSERT_TRUE(FileServices::createFolder(tempPath("d")));
    touch("d/b.jpg");
    EXPECT_EQ(GlobalFun::fileListAtDirenctory(tempFolder()),
        (QStringList{tempPath("d"), tempPath("d/b.jpg"), tempPath("z.jpg")}));

    UserDefaults::standard().removeObjectForKey("guid");
    QString fromWorker;
    std::thread worker([&] { fromWorker = GlobalFun::getGUID(); });
    const QString fromHere = GlobalFun::getGUID();
    worker.join();
    EXPECT_EQ(fromHere, fromWorker);
    EXPECT_EQ(fromHere.size(), 36);
    EXPECT_EQ(UserDefaults::standard().stringForKey("guid"), fromHere);
    EXPECT_GT(GlobalFun::getCurrentOSVersion(), 0);
}
