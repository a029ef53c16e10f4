// What logging analytics events costs the caller: 10,000 events logged from
// one thread (the application's GUI thread) only admit operations, so the
// caller's time is the admission; writing, rotating, compressing and
// packaging happen on the kit's event queue. Prints the caller's time, the
// slowest single call and the time until everything is on disk.
#include "kit/core/Kitbase.h"
#include "kit/support/KBFiles.h"
#include "kit/tally/TYCustomEvent.h"
#include "kit/tally/TYTallyController.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kEvents = 10000;

double millisecondsBetween(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// Settings as the kit would have cached them: collecting, nowhere to send,
// so the batches stay on disk and the run never leaves the machine.
class CachedSettings : public KBSettingsOnboarding {
public:
    void beginSettingsAndOnboardingOperations(const std::string&, const std::map<std::string, std::string>&) override {
    }
    std::optional<nlohmann::json> settingsDictionary() override { return nlohmann::json{{"analytics", {{"url", ""}}}}; }
};

} // namespace

int main()
{
    // Never touch the user's own folders.
    std::string home = (std::filesystem::temp_directory_path() / "lumetta-tally-bench-XXXXXX").string();
    if (::mkdtemp(home.data()) == nullptr) {
        return 1;
    }
    ::setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);

    Kitbase::Environment environment;
    environment.registry = std::make_shared<KBKitRegistry>();
    environment.defaults = std::make_shared<CWUserDefaults>(home + "/defaults", nullptr);
    environment.infoDictionary = [] { return nlohmann::json{{"Kitbase", {{"APIKey", "bench"}}}}; };
    environment.makeSettingsManager = [](Kitbase&) { return std::make_shared<CachedSettings>(); };
    Kitbase kitbase(environment);

    auto controller = std::make_shared<TYTallyController>(std::nullopt, home + "/root", kitbase);
    controller->start();
    controller->eventQueue()->waitUntilAllOperationsAreFinished();

    double slowest = 0.0;
    const auto begin = Clock::now();
    for (int i = 0; i < kEvents; ++i) {
        const auto before = Clock::now();
        controller->logEvent(std::make_shared<TYCustomEvent>("bench", nlohmann::ordered_json{{"index", i}}));
        slowest = std::max(slowest, millisecondsBetween(before, Clock::now()));
    }
    const auto admitted = Clock::now();
    controller->eventQueue()->waitUntilAllOperationsAreFinished();
    const auto written = Clock::now();

    const double admit = millisecondsBetween(begin, admitted);
    const double disk = millisecondsBetween(begin, written);
    std::printf("tally: %d events admitted by the caller in %.1f ms (%.2f us each, slowest call %.3f ms)\n", kEvents,
        admit, admit * 1000.0 / kEvents, slowest);
    std::printf(
        "tally: all written, rotated, compressed and packaged after %.1f ms; caller/disk = %.2f\n", disk, admit / disk);

    controller.reset();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return 0;
}
