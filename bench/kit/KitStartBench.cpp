// What the kit adds to the application's launch: making the identities
// (defaults store, installation identifier, executable build-id) and starting
// with a settings service that takes five seconds to answer. The start must
// return in milliseconds; the download goes on in the background.
#include "kit/core/KBMainBundle.h"
#include "kit/core/Kitbase.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A socket that listens on loopback and never answers: connections complete
// in the kernel's backlog and then hear nothing.
int silentServer(uint16_t* port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd, 16);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    return fd;
}

Kitbase::Environment environmentIn(const std::string& folder)
{
    auto environment = Kitbase::Environment::process();
    environment.registry = std::make_shared<KBKitRegistry>();
    environment.defaults = std::make_shared<CWUserDefaults>(folder, nullptr);
    return environment;
}

} // namespace

int main()
{
    // Never touch the user's own folders.
    std::string home = (std::filesystem::temp_directory_path() / "lumetta-kit-bench-XXXXXX").string();
    if (::mkdtemp(home.data()) == nullptr) {
        return 1;
    }
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);

    uint16_t port = 0;
    const int server = silentServer(&port);
    const std::string endpoint = "http://127.0.0.1:" + std::to_string(port);
    KBMainBundle::setInfoDictionary(nlohmann::json{{"CFBundleIdentifier", "org.lumetta.bench"},
        {"CFBundleVersion", "1"}, {"Kitbase", {{"APIKey", "bench"}, {"Kits", nlohmann::json::array()}}},
        {"Crashwatch", {{"SettingsEndpoint", endpoint}, {"ConfigureEndpoint", endpoint}}}});

    constexpr int kRounds = 50;
    double firstRun = 0;
    double laterRuns = 0;
    for (int round = 0; round < kRounds; ++round) {
        const std::string folder = home + "/defaults-" + std::to_string(round);
        auto start = Clock::now();
        Kitbase first(environmentIn(folder));
        firstRun += millisecondsSince(start);
        start = Clock::now();
        Kitbase later(environmentIn(folder));
        laterRuns += millisecondsSince(start);
    }
    std::printf("identities, first run (new installation identifier written): %.3f ms\n", firstRun / kRounds);
    std::printf("identities, later run (installation identifier read):        %.3f ms\n", laterRuns / kRounds);

    auto start = Clock::now();
    static Kitbase kitbase(environmentIn(home + "/started"));
    kitbase.start({});
    const double started = millisecondsSince(start);
    std::printf("start with a settings service silent for 5 s:                 %.3f ms (%s)\n", started,
        started < 100 ? "returns without waiting" : "WAITED ON THE NETWORK");

    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    // The settings download is still waiting; the process ends without it.
    std::fflush(stdout);
    ::close(server);
    std::_Exit(started < 100 ? 0 : 1);
}
