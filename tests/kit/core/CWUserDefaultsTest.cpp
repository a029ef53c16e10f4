#include "kit/core/CWUserDefaults.h"
#include "kit/core/KBMainBundle.h"
#include "kit/core/KBPropertyList.h"
#include "kit/support/KBFiles.h"
#include "kit/support/KBLog.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

class CWUserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = KBFiles::dataHome() + "/defaults-" + info->name();
        platform = std::make_shared<KBInMemoryUserDefaults>();
    }

    std::shared_ptr<CWUserDefaults> open() { return std::make_shared<CWUserDefaults>(folder, platform); }

    std::string folder;
    std::shared_ptr<KBInMemoryUserDefaults> platform;
    KBLogCapture log;
};

} // namespace

TEST_F(CWUserDefaultsTest, ValuesPersistOnlyWhenSynchronisedAndAbsentValuesRemoveKeys)
{
    auto store = open();
    store->setString("s", "text");
    store->setBool(true, "flag");
    store->setObject(nlohmann::json{{"n", 3}, {"list", {1, 2.5, "x"}}}, "nested");
    EXPECT_FALSE(std::filesystem::exists(store->fileURL()));
    ASSERT_TRUE(store->synchronize());

    auto reopened = open();
    EXPECT_EQ(reopened->stringForKey("text"), "s");
    EXPECT_TRUE(reopened->boolForKey("flag"));
    EXPECT_FALSE(reopened->boolForKey("text"));
    EXPECT_EQ(reopened->stringForKey("flag"), std::nullopt);
    EXPECT_EQ(reopened->objectForKey("nested"), (nlohmann::json{{"n", 3}, {"list", {1, 2.5, "x"}}}));

    reopened->setObject(std::nullopt, "text");
    EXPECT_EQ(reopened->objectForKey("text"), std::nullopt);
    EXPECT_EQ(reopened->dictionaryRepresentation().size(), 2u);
}

TEST_F(CWUserDefaultsTest, MigratingReadMovesThePlatformValueOnlyAfterAGoodWrite)
{
    platform->setObject("install", "ABC");
    auto store = open();
    EXPECT_EQ(store->objectForKeyByMigratingFromNSUserDefaults("install"), "ABC");
    EXPECT_EQ(platform->objectForKey("install"), std::nullopt);
    EXPECT_EQ(open()->stringForKey("install"), "ABC");
    EXPECT_EQ(store->objectForKeyByMigratingFromNSUserDefaults(std::nullopt), std::nullopt);
    EXPECT_EQ(store->objectForKeyByMigratingFromNSUserDefaults("absent"), std::nullopt);

    // A store that cannot be written (its folder would sit under a file).
    KBFiles::writeAtomically(folder + "/blocker", "file");
    auto unwritable = std::make_shared<CWUserDefaults>(folder + "/blocker/kit", platform);
    platform->setObject("install", "DEF");
    EXPECT_EQ(unwritable->objectForKeyByMigratingFromNSUserDefaults("install"), "DEF");
    EXPECT_EQ(platform->objectForKey("install"), "DEF") << "the only copy must survive";
    EXPECT_TRUE(log.contains("[Kitbase:UserDefaults] Unable to open file for writing at path " + folder
        + "/blocker/kit/CWUserDefaults.plist"));

    platform->setObject("a", 1);
    platform->setObject("b", 2);
    unwritable->migrateFromNSUserDefaults({"a", "b"});
    EXPECT_EQ(platform->objectForKey("a"), 1);
    store->migrateFromNSUserDefaults({"a", "b", "c"});
    EXPECT_EQ(platform->objectForKey("a"), std::nullopt);
    EXPECT_EQ(platform->objectForKey("b"), std::nullopt);
    EXPECT_EQ(open()->objectForKey("b"), 2);
}

TEST_F(CWUserDefaultsTest, UnreadableFilesAndFoldersInTheWayLeaveAnEmptyStore)
{
    std::filesystem::create_directories(folder + "/CWUserDefaults.plist/inner");
    EXPECT_TRUE(open()->dictionaryRepresentation().empty());
    EXPECT_FALSE(std::filesystem::exists(folder + "/CWUserDefaults.plist"));
    EXPECT_TRUE(log.contains("found directory where file expected. Removing conflicting directory"));

    for (const std::string& text : {std::string("not a property list"), KBPropertyList::toXml({1, 2})}) {
        KBFiles::writeAtomically(folder + "/CWUserDefaults.plist", text);
        auto store = open();
        EXPECT_TRUE(store->dictionaryRepresentation().empty());
        store->setString("v", "k");
        ASSERT_TRUE(store->synchronize());
        EXPECT_EQ(open()->stringForKey("k"), "v");
    }
    EXPECT_EQ(log.count("[Kitbase:UserDefaults] failed to read existing UserDefaults file"), 2u);
}

TEST_F(CWUserDefaultsTest, FolderFollowsTheBundleIdentifier)
{
    KBMainBundle::setInfoDictionary(nlohmann::json{{"CFBundleIdentifier", "org.example/App"}});
    EXPECT_EQ(CWUserDefaults::generateDirectoryURL(), KBFiles::dataHome() + "/org.example_App/org.lumetta.kit");
    KBMainBundle::setInfoDictionary(nlohmann::json::object());
    EXPECT_EQ(CWUserDefaults::generateDirectoryURL(), KBFiles::dataHome() + "/org.lumetta.kit");
    KBMainBundle::setInfoDictionary(std::nullopt);
}

TEST_F(CWUserDefaultsTest, KilledWhileSynchronisingLeavesAWholeDictionary)
{
    auto seed = open();
    seed->setString("old", "state");
    ASSERT_TRUE(seed->synchronize());
    const pid_t child = ::fork();
    if (child == 0) {
        CWUserDefaults store(folder, nullptr);
        for (int round = 0;; ++round) {
            store.setString(std::string(static_cast<size_t>(round % 4000), 'x'), "state");
            store.setObject(round, "round");
            store.synchronize();
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const auto text = KBFiles::read(folder + "/CWUserDefaults.plist");
    ASSERT_TRUE(text.has_value());
    const auto value = KBPropertyList::fromXml(*text);
    ASSERT_TRUE(value && value->is_object());
    EXPECT_TRUE(value->contains("state"));
    EXPECT_TRUE(value->contains("round"));
}
