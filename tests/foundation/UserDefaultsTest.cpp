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
    QString settingsPath() const { return tempPath(QStringLiteral("defaults.ini")); }
};

}  // namespace

TEST_F(UserDefaultsTest, StoredBeatsRegisteredBeatsNothing)
{
    UserDefaults defaults(settingsPath());
    defaults.registerDefaults({{QStringLiteral("flag"), true},
                               {QStringLiteral("count"), 5},
                               {QStringLiteral("name"), QStringLiteral("registered")}});

    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("flag")));
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("count")), 5);
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("name")), QStringLiteral("registered"));
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("unknown")));
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("unknown")), 0);
    EXPECT_TRUE(defaults.stringForKey(QStringLiteral("unknown")).isNull());
    EXPECT_FALSE(defaults.objectForKey(QStringLiteral("unknown")).isValid());

    // An explicit NO and 0 override the registered values, also after a restart.
    defaults.setBool(false, QStringLiteral("flag"));
    defaults.setInteger(0, QStringLiteral("count"));
    defaults.setDouble(2.5, QStringLiteral("ratio"));
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("flag")));
    ASSERT_TRUE(defaults.synchronize());

    UserDefaults reopened(settingsPath());
    reopened.registerDefaults({{QStringLiteral("flag"), true}, {QStringLiteral("count"), 5}});
    EXPECT_FALSE(reopened.boolForKey(QStringLiteral("flag")));
    EXPECT_EQ(reopened.integerForKey(QStringLiteral("count")), 0);
    EXPECT_DOUBLE_EQ(reopened.doubleForKey(QStringLiteral("ratio")), 2.5);
    // Only the registration domain knew "name"; it was never written.
    EXPECT_TRUE(reopened.stringForKey(QStringLiteral("name")).isNull());

    // Removing the stored value uncovers the registered one again.
    reopened.removeObjectForKey(QStringLiteral("flag"));
    EXPECT_TRUE(reopened.boolForKey(QStringLiteral("flag")));
}

TEST_F(UserDefaultsTest, RegisteringWritesNothing)
{
    {
        UserDefaults defaults(settingsPath());
        defaults.registerDefaults({{QStringLiteral("flag"), true}});
        defaults.synchronize();
    }
    QFile file(settingsPath());
    EXPECT_TRUE(!file.exists() || (file.open(QIODevice::ReadOnly) && !file.readAll().contains("flag")));
}

TEST_F(UserDefaultsTest, WorkersReadWhileTheGuiThreadWrites)
{
    UserDefaults defaults(settingsPath());
    defaults.registerDefaults({{QStringLiteral("n"), 0}});
    std::atomic<bool> sawGarbage{false};
    std::thread reader([&] {
        for (int i = 0; i < 2000; ++i) {
            const int64_t n = defaults.integerForKey(QStringLiteral("n"));
            if (n < 0 || n >= 2000) {
                sawGarbage = true;
            }
        }
    });
    for (int i = 0; i < 2000; ++i) {
        defaults.setInteger(i, QStringLiteral("n"));
    }
    reader.join();
    EXPECT_FALSE(sawGarbage);
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("n")), 1999);
}

// Changes reach the disk through the GUI thread's event loop without an explicit
// synchronize, also when the defaults were first used on a worker thread (which
// runs no event loop of its own).
TEST_F(UserDefaultsTest, ChangesAreSavedByTheEventLoopWhicheverThreadMadeTheDefaults)
{
    std::unique_ptr<UserDefaults> defaults;
    std::thread worker([&] {
        defaults = std::make_unique<UserDefaults>(settingsPath());
        defaults->setString(QStringLiteral("from worker"), QStringLiteral("made"));
    });
    worker.join();
    defaults->setString(QStringLiteral("from gui"), QStringLiteral("changed"));
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
    defaults.registerDefaults({{QStringLiteral("registered"), 2.7}});
    defaults.setDouble(2.7, QStringLiteral("stored"));
    defaults.setDouble(-2.7, QStringLiteral("negative"));
    defaults.setString(QStringLiteral("2.7"), QStringLiteral("text"));
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("registered")), 2);
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("stored")), 2);
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("negative")), -2);
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("text")), 2);
    defaults.setDouble(1e30, QStringLiteral("huge"));
    EXPECT_EQ(defaults.integerForKey(QStringLiteral("huge")), std::numeric_limits<int64_t>::max());
}
