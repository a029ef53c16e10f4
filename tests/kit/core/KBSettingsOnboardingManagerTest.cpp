#include "kit/core/KBSettingsOnboardingManager.h"
#include "kit/core/KBAppIconUtility.h"
#include "kit/core/KBApplicationFacts.h"
#include "kit/core/KBMainBundle.h"
#include "kit/core/Kitbase.h"
#include "kit/core/SessionRecorder.h"
#include "kit/support/KBDigest.h"
#include "kit/support/KBFiles.h"
#include "kit/support/KBLog.h"
#include "kit/support/KBNotificationCenter.h"
#include "kit/support/harness/LoopbackServer.h"
#include "support/Patience.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

namespace {

const std::string kSettingsPath = "/spi/v2/platforms/linux/apps/org.example.app/settings";
const std::string kCreatePath = "/spi/v1/platforms/linux/apps";
const std::string kUpdatePath = "/spi/v1/platforms/linux/apps/org.example.app";
const std::string kUuid = "00112233445566778899aabbccddeeff";

class KBSettingsOnboardingManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        KBMainBundle::setInfoDictionary(nlohmann::json{{"CFBundleIdentifier", "org.example.app"},
            {"CFBundleName", "Example"}, {"CFBundleVersion", "42"}, {"CFBundleShortVersionString", "1.2"},
            {"Crashwatch", {{"SettingsEndpoint", server.baseUrl()}, {"ConfigureEndpoint", server.baseUrl()}}}});
        std::filesystem::remove_all(KBSettingsOnboardingManager::settingsDirectoryPath());
        observer = KBNotificationCenter::defaultCenter().addObserver(kKBSettingsAvailableNotification, nullptr,
            [this](const KBNotification&) { notifiedAt.push_back(server.requestCount()); });
    }
    void TearDown() override
    {
        KBNotificationCenter::defaultCenter().removeObserver(observer);
        KBMainBundle::setInfoDictionary(std::nullopt);
    }

    std::shared_ptr<KBSettingsOnboardingManager> run(
        std::optional<std::string> iconPng = std::nullopt, std::map<std::string, std::string> environment = {})
    {
        if (iconPng) {
            KBAppIconUtility::setIconProvider([iconPng] { return iconPng; });
        }
        auto model = KBApplicationIdentiferModel::makeWithSlices("INSTALL-ID", {{"x86_64", kUuid}});
        KBAppIconUtility::setIconProvider({});
        KBSettingsOnboardingManager::Environment managerEnvironment;
        managerEnvironment.environmentLookup = [environment](const std::string& key) -> std::optional<std::string> {
            const auto found = environment.find(key);
            return found != environment.end() ? std::optional(found->second) : std::nullopt;
        };
        managerEnvironment.advertisingToken = [] { return std::optional<std::string>("ad-token"); };
        managerEnvironment.networkClient = KBNetworkClient::make();
        auto manager = std::make_shared<KBSettingsOnboardingManager>(model, managerEnvironment);
        manager->beginSettingsAndOnboardingOperations(
            "API-KEY", {{"org.lumetta.kit.core", "1.6.11"}, {"org.example.kit", "2.0"}});
        EXPECT_TRUE(manager->waitUntilFinished(kPatientSeconds));
        return manager;
    }

    LoopbackServer server;
    KBNotificationCenter::Token observer = 0;
    std::vector<size_t> notifiedAt;
    KBLogCapture log;
};

std::vector<std::string> fieldNames(const LoopbackRequest& request)
{
    std::vector<std::string> names;
    for (const auto& part : request.multipart()) {
        names.push_back(part.name + "=" + (part.filename ? "<file>" : part.body));
    }
    return names;
}

} // namespace

TEST_F(KBSettingsOnboardingManagerTest, NewApplicationIsCreatedOnceThenSettingsAreAnnounced)
{
    server.script(kSettingsPath, LoopbackReply::json(R"({"app":{"status":"new"}})"));
    server.script(kCreatePath, LoopbackReply::answer(201));
    auto manager = run();

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target,
        kSettingsPath + "?build_version=42&display_version=1.2&instance=" + KBSHA1HexDigest(kUuid) + "&source=1");
    EXPECT_EQ(requests[0].header("Accept"), "application/json");
    EXPECT_EQ(requests[0].header("X-Crashwatch-Installation-ID"), "INSTALL-ID");
    EXPECT_EQ(requests[0].header("X-Crashwatch-API-Client-Version"), "1.6.11");
    EXPECT_EQ(requests[0].header("X-Crashwatch-Advertising-Token"), "ad-token");
    EXPECT_EQ(requests[0].header("X-Crashwatch-API-Key"), "API-KEY");
    EXPECT_EQ(requests[0].header("X-Crashwatch-OS-Display-Version"), KBOSDisplayVersion());

    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].path, kCreatePath);
    EXPECT_EQ(requests[1].header("Content-Length"), std::to_string(requests[1].body.size()));
    EXPECT_EQ(fieldNames(requests[1]),
        (std::vector<std::string>{"app[identifier]=org.example.app",
            "app[instance_identifier]=" + KBSHA1HexDigest(kUuid), "app[name]=Example", "app[build_version]=42",
            "app[display_version]=1.2", "app[source]=1", "app[minimum_sdk_version]=0.0.0",
            "app[built_sdk_version]=0.0.0", "app[build][libraries][org.example.kit]=2.0",
            "app[build][libraries][org.lumetta.kit.core]=1.6.11", "app[slices][][arch]=x86_64",
            "app[slices][][uuid]=" + kUuid}));
    EXPECT_EQ(requests[2].method, "GET");
    EXPECT_EQ(notifiedAt, (std::vector<size_t>{3}));
    EXPECT_EQ(manager->settingsDictionary(), (nlohmann::json{{"app", {{"status", "new"}}}}));
}

TEST_F(KBSettingsOnboardingManagerTest, UpdateIsAnnouncedBeforeItIsSentAndIconsTravelWithIt)
{
    server.script(kSettingsPath, LoopbackReply::json(R"({"app":{"status":"known","update_required":true}})"));
    server.script(kUpdatePath, LoopbackReply::answer(200));
    std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x10\0\0\0\x08", 24);
    run(png);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].query.find("&icon_hash=" + KBSHA1HexDigest(png) + "&source=1"), std::string::npos);
    EXPECT_EQ(requests[1].method, "PUT");
    EXPECT_EQ(notifiedAt, (std::vector<size_t>{1}));
    const auto names = fieldNames(requests[1]);
    const std::vector<std::string> iconFields(names.end() - 5, names.end());
    EXPECT_EQ(iconFields,
        (std::vector<std::string>{"app[icon][hash]=" + KBSHA1HexDigest(png), "app[icon][prerendered]=true",
            "app[icon][width]=16", "app[icon][height]=8", "app[icon][data]=<file>"}));
    EXPECT_EQ(requests[1].multipart().back().body, png);
}

TEST_F(KBSettingsOnboardingManagerTest, CacheSurvivesFailuresAndUnreadableCachesGo)
{
    server.script(kSettingsPath, LoopbackReply::json(R"({"app":{"status":"known"},"v":1})"));
    auto first = run();
    EXPECT_TRUE(server.requests()[0].query.find("icon_hash") == std::string::npos);
    const std::string path = first->settingsPath();
    EXPECT_EQ(KBFiles::read(path), R"({"app":{"status":"known"},"v":1})");
    EXPECT_EQ(notifiedAt.size(), 1u);

    server.script(kSettingsPath, LoopbackReply::answer(404));
    auto failed = run();
    EXPECT_TRUE(log.contains("[Kitbase] failed to download settings"));
    EXPECT_EQ(KBFiles::read(path), R"({"app":{"status":"known"},"v":1})");
    EXPECT_EQ(failed->settingsDictionary()->value("v", 0), 1);

    KBFiles::writeAtomically(path, "not json");
    KBSettings settings(path);
    EXPECT_EQ(settings.settingsDictionary(), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(log.contains("[Kitbase] Could not load settings with error: "));
}

TEST_F(KBSettingsOnboardingManagerTest, EnvironmentBeatsAppInfo)
{
    LoopbackServer other;
    other.script(kSettingsPath, LoopbackReply::json("{}"));
    run(std::nullopt, {{"SettingsEndpoint", other.baseUrl()}});
    EXPECT_EQ(other.requestCount(), 1u);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(KBSettingsOnboardingManagerTest, KilledWhileReplacingTheCacheLeavesValidJson)
{
    const std::string folder = KBSettingsOnboardingManager::settingsDirectoryPath();
    const std::string path = folder + "/settings.json";
    ASSERT_TRUE(KBFiles::makeFolders(folder));
    ASSERT_TRUE(KBFiles::writeAtomically(path, R"({"old":true})"));
    const std::string sources = KBFiles::dataHome() + "/downloads";
    KBFiles::makeFolders(sources);
    KBFiles::writeAtomically(sources + "/a", nlohmann::json{{"new", std::string(100000, 'a')}}.dump());
    KBFiles::writeAtomically(sources + "/b", nlohmann::json{{"new", std::string(50, 'b')}}.dump());
    const pid_t child = ::fork();
    if (child == 0) {
        for (int round = 0;; ++round) {
            KBDownloadAndSaveSettingsOperation::replaceSettingsFile(sources + (round % 2 ? "/a" : "/b"), folder, path);
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const auto text = KBFiles::read(path);
    ASSERT_TRUE(text.has_value());
    const auto parsed = nlohmann::json::parse(*text, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << text->substr(0, 80);
}

TEST_F(KBSettingsOnboardingManagerTest, WithoutEndpointsStartReturnsAndOneFailureIsLogged)
{
    KBMainBundle::setInfoDictionary(nlohmann::json{{"CFBundleIdentifier", "org.example.app"},
        {"Kitbase", {{"APIKey", "key"}, {"Kits", nlohmann::json::array()}}},
        {"Crashwatch", {{"SettingsEndpoint", ""}}}});
    auto environment = Kitbase::Environment::process();
    environment.registry = std::make_shared<KBKitRegistry>();
    environment.defaults = std::make_shared<CWUserDefaults>(KBFiles::dataHome() + "/no-endpoints", nullptr);
    Kitbase kitbase(environment);
    const auto started = std::chrono::steady_clock::now();
    kitbase.start({});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    auto manager = std::dynamic_pointer_cast<KBSettingsOnboardingManager>(kitbase.settingsAndOnboardingManager());
    ASSERT_TRUE(manager);
    EXPECT_TRUE(manager->waitUntilFinished(kPatientSeconds));
    EXPECT_EQ(log.count("[Kitbase] failed to download settings"), 1u);
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_EQ(kitbase.settings(), std::nullopt);
}

TEST_F(KBSettingsOnboardingManagerTest, AnswersThatAreNoSettingsKeepTheCache)
{
    const std::string good = R"({"app":{"status":"known"},"v":7})";
    server.script(kSettingsPath, LoopbackReply::json(good));
    const std::string path = run()->settingsPath();
    ASSERT_EQ(KBFiles::read(path), good);

    std::string gzipped(
        "\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\x4b\x4c\x4a\x06\x00\xc2\x41\x24\x35\x03\x00\x00\x00", 23);
    LoopbackReply spaces = LoopbackReply::with(LoopbackReply::Behaviour::Endless);
    spaces.headers = {{"Content-Type", "application/json"}};
    spaces.body = std::string(65536, ' ');
    LoopbackServer elsewhere;
    elsewhere.script(kSettingsPath, LoopbackReply::json(R"({"app":{"status":"stolen"}})"));
    const std::vector<std::pair<std::string, LoopbackReply>> hostile{
        {"malformed", LoopbackReply::json(R"({"app":{"status":)")},
        {"brackets", LoopbackReply::json(std::string(200000, '['))},
        {"gzip bytes", LoopbackReply::json(gzipped)},
        {"an array", LoopbackReply::json("[1,2,3]")},
        {"endless spaces", spaces},
        {"another origin", LoopbackReply::answer(302, "", {{"Location", elsewhere.url(kSettingsPath)}})},
    };
    for (const auto& [name, reply] : hostile) {
        server.script(kSettingsPath, reply);
        auto manager = run();
        EXPECT_EQ(KBFiles::read(path), good) << name;
        EXPECT_EQ(manager->settingsDictionary()->value("v", 0), 7) << name;
        EXPECT_EQ(notifiedAt.size(), 1u) << name;
    }
    EXPECT_EQ(elsewhere.requestCount(), 0u);
}
