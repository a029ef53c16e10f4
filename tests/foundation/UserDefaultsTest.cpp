#include "foundation/UserDefaults.h"

#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <memory>
#include <thread>

namespace {

class UserDefaultsTest : public TempFolderTest {
protected:
    QString settingsPath() const { return tempPath("defaults.ini"); }
};

} // namespace

TEST_F(UserDefaultsTest, StoredBeatsRegisteredBeatsNothing)
{
    UserDefaults defaults(settingsPath());
    defaults.registerDefaults({{"flag", true}, {"count", 5}, {"name", "registered"}});

    EXPECT_TRUE(defaults.boolForKey("flag"));
    EXPECT_EQ(defaults.integerForKey("count"), 5);
    EXPECT_EQ(defaults.stringForKey("name"), "registered");
    EXPECT_FALSE(defaults.boolForKey("unknown"));
    EXPECT_EQ(defaults.integerForKey("unknown"), 0);
    EXPECT_TRUE(defaults.stringForKey("unknown").isNull());
    EXPECT_FALSE(defaults.objectForKey("unknown").isValid());

    // An explicit NO and 0 override the registered values, also after a restart.
    defaults.setBool(false, "flag");
    defaults.setInteger(0, "count");
    defaults.setDouble(2.5, "ratio");
    EXPECT_FALSE(defaults.boolForKey("flag"));
    ASSERT_TRUE(defaults.synchronize());

    UserDefaults reopened(settingsPath());
    reopened.registerDefaults({{"flag", true}, {"count", 5}});
    EXPECT_FALSE(reopened.boolForKey("flag"));
    EXPECT_EQ(reopened.integerForKey("count"), 0);
    EXPECT_DOUBLE_EQ(reopened.doubleForKey("ratio"), 2.5);
    // Registering writes nothing: only the registration domain knew "name".
    EXPECT_TRUE(reopened.stringForKey("name").isNull());

    // Removing the stored value uncovers the registered one again.
    reopened.removeObjectForKey("flag");
    EXPECT_TRUE(reopened.boolForKey("flag"));
}

TEST_F(UserDefaultsTest, WorkersReadWhileTheGuiThreadWrites)
{
    UserDefaults defaults(settingsPath());
    defaults.registerDefaults({{"n", 0}});
    std::atomic<bool> sawGarbage{false};
    std::thread reader([&] {
        for (int i = 0; i < 2000; ++i) {
            const int64_t n = defaults.integerForKey("n");
            if (n < 0 || n >= 2000) {
                sawGarbage = true;
            }
        }
    });
    for (int i = 0; i < 2000; ++i) {
        defaults.setInteger(i, "n");
    }
    reader.join();
    EXPECT_FALSE(sawGarbage);
    EXPECT_EQ(defaults.integerForKey("n"), 1999);
}

// Changes reach the disk through the GUI thread's event loop without an explicit
// synchronize, also when the defaults were first used on a worker thread (which
// runs no event loop of its own).
TEST_F(UserDefaultsTest, ChangesAreSavedByTheEventLoopWhicheverThreadMadeTheDefaults)
{
    std::unique_ptr<UserDefaults> defaults;
    std::thread worker([&] {
        defaults = std::make_unique<UserDefaults>(settingsPath());
        defaults->setString("from worker", "made");
    });
    worker.join();
    defaults->setString("from gui", "changed");
    QCoreApplication::sendPostedEvents();

    // The file itself: another QSettings in this process would share the unsaved state.
    QFile file(settingsPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray onDisk = file.readAll();
    EXPECT_TRUE(onDisk.contains("made=from worker")) << onDisk.toStdString();
    EXPECT_TRUE(onDisk.contains("changed=from gui")) << onDisk.toStdString();
}

// A fractional number read as an integer drops its fraction, the way the same
// value reads once it has been saved and read back as text after a restart.
TEST_F(UserDefaultsTest, FractionsReadAsIntegersAreCutNotRounded)
{
    UserDefaults defaults(settingsPath());
    defaults.registerDefaults({{"registered", 2.7}});
    defaults.setDouble(2.7, "stored");
    defaults.setDouble(-2.7, "negative");
    defaults.setString("2.7", "text");
    EXPECT_EQ(defaults.integerForKey("registered"), 2);
    EXPECT_EQ(defaults.integerForKey("stored"), 2);
    EXPECT_EQ(defaults.integerForKey("negative"), -2);
    EXPECT_EQ(defaults.integerForKey("text"), 2);
    defaults.setDouble(1e30, "huge");
    EXPECT_EQ(defaults.integerForKey("huge"), std::numeric_limits<int64_t>::max());
}
