#include "kit/core/Kitbase.h"
#include "kit/core/KBException.h"
#include "kit/support/KBFiles.h"
#include "kit/support/KBIdentifiers.h"
#include "kit/support/KBLog.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

namespace {

// Kits that write their name into a shared start order.
class KitbaseTest : public ::testing::Test {
protected:
    KBKitClass kit(const std::string& name, bool conforms = true)
    {
        auto descriptor = std::make_shared<KBKitDescriptor>();
        descriptor->className = name;
        if (conforms) {
            descriptor->kit = KBKitDescriptor::KitProtocol{
                "org.example." + name, name + "-1.0", "1", [this, name] { started.push_back(name); }};
        }
        registry->registerKit(descriptor);
        return descriptor;
    }

    KBKitClass legacyKit(const std::string& name, bool complete)
    {
        auto descriptor = std::make_shared<KBKitDescriptor>();
        descriptor->className = name;
        descriptor->sharedInstance = KBKitDescriptor::LegacyInstance{
            [this, name] { started.push_back(name); }, "org.legacy." + name, std::nullopt};
        if (complete) {
            descriptor->sharedInstance->version = "0.9";
        }
        return descriptor;
    }

    std::unique_ptr<Kitbase> makeKitbase(std::optional<nlohmann::json> info = defaultInfo())
    {
        Kitbase::Environment environment;
        environment.registry = registry;
        environment.defaults = std::make_shared<CWUserDefaults>(KBFiles::dataHome() + "/kitbase-" + suffix(), platform);
        environment.infoDictionary = [info] { return info; };
        environment.makeIdentity = [](const std::string& id) {
            return KBApplicationIdentiferModel::makeWithSlices(id, {{"x86_64", std::string(32, 'a')}});
        };
        return std::make_unique<Kitbase>(environment);
    }

    static nlohmann::json defaultInfo()
    {
        return {{"Kitbase",
            {{"APIKey", "key"},
                {"Kits", {{{"KitName", "Crashwatch"}, {"KitInfo", {{"a", 1}}}}, {{"KitName", "Bare"}}}}}}};
    }

    static std::string suffix() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

    std::shared_ptr<KBKitRegistry> registry = std::make_shared<KBKitRegistry>();
    std::shared_ptr<KBInMemoryUserDefaults> platform = std::make_shared<KBInMemoryUserDefaults>();
    std::vector<std::string> started;
    KBLogCapture log;
};

} // namespace

TEST_F(KitbaseTest, KitListIsCompletedOrderedAndStartedOnce)
{
    const auto crashwatch = kit("Crashwatch");
    kit("Tally");
    const auto appsee = kit("Appsee");
    const auto other = kit("Other");
    auto kitbase = makeKitbase();
    kitbase->start({KBKitObject{crashwatch}, other, appsee});
    EXPECT_EQ(started, (std::vector<std::string>{"Appsee", "Crashwatch", "Other", "Tally"}));
    EXPECT_EQ(kitbase->kitVersionsByKitBundleIdentifier(),
        (std::map<std::string, std::string>{{"org.example.Appsee", "Appsee-1.0"},
            {"org.example.Crashwatch", "Crashwatch-1.0"}, {"org.example.Other", "Other-1.0"},
            {"org.example.Tally", "Tally-1.0"}, {kb::kCoreIdentifier, "1.6.11"}}));

    EXPECT_EQ(&kitbase->start({kit("Late")}), kitbase.get());
    EXPECT_EQ(started.size(), 4u);
    EXPECT_TRUE(log.contains("[Kitbase] [Kitbase +with] called multiple times. Only the first call is honored"));
}

TEST_F(KitbaseTest, DigitsJoinsAndTallyNeedsCrashwatchInTheList)
{
    kit("Digits");
    kit("Tally");
    kit("Crashwatch");
    auto kitbase = makeKitbase();
    kitbase->start({kit("Solo")});
    EXPECT_EQ(started, (std::vector<std::string>{"Solo", "Digits"}));
}

TEST_F(KitbaseTest, KitConfigurationComesFromTheKitsEntries)
{
    const auto crashwatch = kit("Crashwatch");
    auto kitbase = makeKitbase();
    EXPECT_EQ(kitbase->configurationDictionaryForKit(KBKitObject{crashwatch}), (nlohmann::json{{"a", 1}}));
    EXPECT_EQ(kitbase->configurationDictionaryForKitClass(kit("Bare")), nlohmann::json::object());
    EXPECT_EQ(kitbase->configurationDictionaryForKitClass(kit("Unlisted")), std::nullopt);

    auto withoutKits = makeKitbase(nlohmann::json{{"Kitbase", {{"APIKey", "key"}}}});
    withoutKits->start({crashwatch});
    EXPECT_TRUE(log.contains("[Kitbase] [Kitbase] Value of Info.plist[Kitbase][Kits] should be a NSArray."));
    EXPECT_EQ(started, (std::vector<std::string>{"Crashwatch"}));
    EXPECT_EQ(withoutKits->configurationDictionaryForKitClass(crashwatch), std::nullopt);
}

TEST_F(KitbaseTest, FaultsEndTheStartWithTheirReasons)
{
    struct Case {
        std::optional<nlohmann::json> info;
        std::vector<KBKitReference> kits;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {std::nullopt, {}, "[Kitbase] Cannot find Info.plist."},
        {nlohmann::json{{"Kitbase", "text"}}, {},
            "[Kitbase] Value of Info.plist key \"Kitbase\" must be a NSDictionary."},
        {nlohmann::json{{"Kitbase", {{"APIKey", 5}}}}, {},
            "[Kitbase] Value of Info.plist[Kitbase][APIKey] must contain your Kitbase API Key."},
        {defaultInfo(), {kit("Good"), kit("Plain", false)},
            "[Kitbase] It appears that \"Plain\" is not a valid Kitbase Kit. Please make sure you only pass Kitbase "
            "Kits to [Kitbase with:]."},
        {defaultInfo(), {legacyKit("Half", false)}, "[Kitbase] It appears that \"Half\" is not a valid Kitbase Kit."},
    };
    for (const auto& test : cases) {
        auto kitbase = makeKitbase(test.info);
        try {
            kitbase->start(test.kits);
            ADD_FAILURE() << "no exception for " << test.reason;
        } catch (const KBException& exception) {
            EXPECT_EQ(exception.reason().substr(0, test.reason.size()), test.reason);
        }
        kitbase->start(test.kits);
        EXPECT_TRUE(log.contains("called multiple times"));
        log.clear();
    }
    EXPECT_TRUE(started.empty());

    // A complete legacy kit passes with a warning and is started.
    auto kitbase = makeKitbase();
    kitbase->start({legacyKit("Old", true)});
    EXPECT_TRUE(log.contains("[Kitbase] Please upgrade to the latest version of \"Old\""));
    EXPECT_EQ(started, (std::vector<std::string>{"Old"}));
    EXPECT_EQ(kitbase->kitVersionsByKitBundleIdentifier().at("org.legacy.Old"), "0.9");
}

TEST_F(KitbaseTest, TwoThreadsStartOnce)
{
    std::atomic<int> starts{0};
    auto counted = std::make_shared<KBKitDescriptor>();
    counted->className = "Counted";
    counted->kit = KBKitDescriptor::KitProtocol{"org.example.counted", "1", "1", [&] {
                                                    ++starts;
                                                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                                }};
    auto kitbase = makeKitbase();
    std::thread first([&] { kitbase->start({counted}); });
    std::thread second([&] { kitbase->start({counted}); });
    first.join();
    second.join();
    EXPECT_EQ(starts.load(), 1);
    EXPECT_EQ(log.count("called multiple times"), 1u);
}

TEST_F(KitbaseTest, InstallationIdentifierIsMadeOnceKeptAndMigrated)
{
    const std::regex canonical("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
    auto first = makeKitbase();
    EXPECT_TRUE(first->isFirstInstall());
    EXPECT_TRUE(std::regex_match(first->installID(), canonical)) << first->installID();
    EXPECT_TRUE(std::regex_match(first->executionIdentifier(), std::regex("[0-9a-f]{32}")));
    EXPECT_EQ(first->applicationIdentifierModel()->installID(), first->installID());

    auto second = makeKitbase();
    EXPECT_FALSE(second->isFirstInstall());
    EXPECT_EQ(second->installID(), first->installID());
    EXPECT_NE(second->executionIdentifier(), first->executionIdentifier());

    platform->setObject(kb::kInstallationUUIDKey, "11111111-2222-3333-4444-555555555555");
    ::setenv("XDG_DATA_HOME", (KBFiles::dataHome() + "/migrated").c_str(), 1);
    auto migrated = makeKitbase();
    ::setenv("XDG_DATA_HOME", (std::string(std::getenv("HOME")) + "/.local/share").c_str(), 1);
    EXPECT_FALSE(migrated->isFirstInstall());
    EXPECT_EQ(migrated->installID(), "11111111-2222-3333-4444-555555555555");
    EXPECT_EQ(platform->objectForKey(kb::kInstallationUUIDKey), std::nullopt);
}
