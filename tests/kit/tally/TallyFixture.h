#pragma once

#include "kit/core/CWUserDefaults.h"
#include "kit/core/KBPlatformUserDefaults.h"
#include "kit/core/Kitbase.h"
#include "kit/support/KBFiles.h"
#include "kit/support/KBLog.h"
#include "kit/support/harness/LoopbackServer.h"
#include "kit/tally/TYFileUtils.h"
#include "kit/tally/TYLogger.h"
#include "kit/tally/TYTallyController.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

// Settings the test hands out as if the kit had downloaded them.
class FakeSettings : public KBSettingsOnboarding {
public:
    void beginSettingsAndOnboardingOperations(const std::string&, const std::map<std::string, std::string>&) override {
    }
    std::optional<nlohmann::json> settingsDictionary() override
    {
        std::lock_guard lock(mutex);
        return dictionary;
    }
    void set(std::optional<nlohmann::json> value)
    {
        std::lock_guard lock(mutex);
        dictionary = std::move(value);
    }

private:
    std::mutex mutex;
    std::optional<nlohmann::json> dictionary;
};

// A batch file read back: its one part, gunzipped, split into lines.
struct DecodedBatch {
    bool parsed = false;
    std::string fileName;
    std::string contentType;
    std::vector<std::string> lines;
    bool wholeLines = false;

    static DecodedBatch read(const std::string& path)
    {
        DecodedBatch batch;
        const auto bytes = KBFiles::read(path);
        if (!bytes) {
            return batch;
        }
        LoopbackRequest request;
        request.headerLines = {"Content-Type: multipart/form-data; boundary=" + TYFileUtils::baseName(path)};
        request.body = *bytes;
        const auto parts = request.multipart();
        if (parts.size() != 1) {
            return batch;
        }
        batch.fileName = parts[0].filename.value_or("");
        batch.contentType = parts[0].contentType.value_or("");
        LoopbackRequest gz;
        gz.body = parts[0].body;
        const std::string text = gz.gunzippedBody();
        batch.parsed = !text.empty();
        batch.wholeLines = !text.empty() && text.back() == '\n';
        for (size_t start = 0; start < text.size();) {
            const size_t end = text.find('\n', start);
            batch.lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
            start = end == std::string::npos ? text.size() : end + 1;
        }
        return batch;
    }

    // A line's second field.
    static std::string name(const std::string& line)
    {
        const size_t a = line.find('\t');
        return a == std::string::npos ? std::string() : line.substr(a + 1, line.find('\t', a + 1) - a - 1);
    }
    // A line whose third field is the byte count of its JSON fourth field.
    static bool wellFormed(const std::string& line)
    {
        const size_t a = line.find('\t');
        const size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
        const size_t c = b == std::string::npos ? b : line.find('\t', b + 1);
        if (c == std::string::npos) {
            return false;
        }
        const std::string json = line.substr(c + 1);
        return std::to_string(json.size()) == line.substr(b + 1, c - b - 1)
            && !nlohmann::json::parse(json, nullptr, false).is_discarded();
    }
    static nlohmann::ordered_json payload(const std::string& line)
    {
        size_t at = 0;
        for (int i = 0; i < 3 && at != std::string::npos; ++i) {
            at = line.find('\t', at + (i == 0 ? 0 : 1));
        }
        return nlohmann::ordered_json::parse(line.substr(at + 1), nullptr, false);
    }
};

// A controller whose upload step only records the batch it was given.
class RecordingController : public TYTallyController {
public:
    struct Upload {
        std::string batch;
        std::string boundary;
        bool existed = false;
    };

    using TYTallyController::TYTallyController;

    std::shared_ptr<KBOperation> uploadOperationForFileAtURL(
        const std::string& batch, const std::string& boundary) override
    {
        return std::make_shared<KBBlockOperation>([this, batch, boundary] {
            std::lock_guard lock(mutex_);
            uploads_.push_back({batch, boundary, TYFileUtils::isRegularFile(batch)});
        });
    }
    std::vector<Upload> uploads() const
    {
        std::lock_guard lock(mutex_);
        return uploads_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Upload> uploads_;
};

// A temporary root, a Kitbase of its own and the settings it serves.
class TallyFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = KBFiles::cacheHome() + "/tally-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(root);
        events = TYTallyController::eventDirectoryForRootDirectory(root);
        TYLogger::sharedLogger().setDebugMode(true);
    }
    void TearDown() override
    {
        TYLogger::sharedLogger().setDebugMode(false);
        TYFileUtils::setCreationDateReader(nullptr);
    }

    std::unique_ptr<Kitbase> makeKitbase()
    {
        Kitbase::Environment environment;
        environment.registry = std::make_shared<KBKitRegistry>();
        environment.defaults = std::make_shared<CWUserDefaults>(root + "/defaults", platform);
        environment.infoDictionary = [] { return nlohmann::json{{"Kitbase", {{"APIKey", "test-key"}}}}; };
        environment.makeIdentity = [](const std::string& id) {
            return KBApplicationIdentiferModel::makeWithSlices(id, {{"x86_64", std::string(32, 'b')}});
        };
        environment.makeSettingsManager = [this](Kitbase& kitbase) -> std::shared_ptr<KBSettingsOnboarding> {
            return settingsMaker ? settingsMaker(kitbase) : settings;
        };
        auto kitbase = std::make_unique<Kitbase>(environment);
        kitbase->setAPIKey("test-key");
        return kitbase;
    }

    // A started controller on the root; not the first install unless asked.
    template <typename Controller = RecordingController>
    std::shared_ptr<Controller> startController(bool firstInstall = false)
    {
        if (!firstInstall) {
            makeKitbase();
        }
        kitbases.push_back(makeKitbase());
        auto controller = std::make_shared<Controller>(std::nullopt, root, *kitbases.back());
        controller->start();
        controller->eventQueue()->waitUntilAllOperationsAreFinished();
        return controller;
    }

    void runOnQueue(const std::shared_ptr<TYTallyController>& controller, std::function<void()> block)
    {
        controller->eventQueue()->addOperationWithBlock(std::move(block));
        controller->eventQueue()->waitUntilAllOperationsAreFinished();
    }

    std::set<std::string> filesWithExtension(const std::string& extension) const
    {
        return TYFileUtils::filesWithExtension(extension, events);
    }

    std::string root;
    std::string events;
    std::shared_ptr<KBInMemoryUserDefaults> platform = std::make_shared<KBInMemoryUserDefaults>();
    std::shared_ptr<FakeSettings> settings = std::make_shared<FakeSettings>();
    // The kit core's own settings manager where a test wants the real download.
    std::function<std::shared_ptr<KBSettingsOnboarding>(Kitbase&)> settingsMaker;
    std::vector<std::unique_ptr<Kitbase>> kitbases;
    KBLogCapture log;
};
