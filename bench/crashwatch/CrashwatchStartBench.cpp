// Times the crash kit's start as the application runs it, against a report
// service that accepts connections and never answers: with no earlier report
// and with one left by a crashed launch. The start must not wait for the upload.
#include "kit/core/KBKitRegistry.h"
#include "kit/core/KBMainBundle.h"
#include "kit/core/Kitbase.h"
#include "kit/crash/Crashwatch.h"
#include "kit/tally/Tally.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

void startKit()
{
    KBMainBundle::setInfoDictionary(nlohmann::json{{"CFBundleIdentifier", "org.lumetta.bench.crashwatch"},
        {"Kitbase", {{"APIKey", "0123456789abcdef0123456789abcdef01234567"}, {"Kits", nlohmann::json::array()}}}});
    KBKitRegistry::shared()->registerKit(Crashwatch::kitDescriptor());
    KBKitRegistry::shared()->registerKit(Tally::kitDescriptor());
    Kitbase::with({Crashwatch::kitDescriptor(), Tally::kitDescriptor()});
}

// A service that lets clients connect and send but never answers.
int silentService(int& port)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(listener, 64) != 0
        || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return -1;
    }
    port = ntohs(address.sin_port);
    return listener;
}

double runChild(const std::string& self, const std::string& cache, int port, const char* mode)
{
    const std::string command = "XDG_CACHE_HOME=" + cache + " XDG_DATA_HOME=" + cache + "/data HOME=" + cache
        + " CrashwatchReportsEndpoint=http://127.0.0.1:" + std::to_string(port) + " " + self + " " + mode
        + " 2>/dev/null";
    FILE* child = popen(command.c_str(), "r");
    double milliseconds = -1.0;
    if (child != nullptr) {
        if (std::fscanf(child, "%lf", &milliseconds) != 1) {
            milliseconds = -1.0;
        }
        pclose(child);
    }
    return milliseconds;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "start" || mode == "crash") {
        const auto begin = std::chrono::steady_clock::now();
        startKit();
        const double elapsed
            = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
        if (mode == "crash") {
            // After the first main turn, so the next launch is not urgent.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            __builtin_trap();
        }
        std::printf("%f\n", elapsed);
        std::fflush(stdout);
        _exit(0);
    }
    int port = 0;
    const int service = silentService(port);
    if (service < 0) {
        std::fprintf(stderr, "no loopback service\n");
        return 1;
    }
    const std::string self = "/proc/" + std::to_string(getpid()) + "/exe";
    std::vector<double> fresh;
    std::vector<double> earlier;
    for (int run = 0; run < 7; ++run) {
        char pattern[] = "/tmp/crashwatch-bench-XXXXXX";
        const std::string cache = mkdtemp(pattern);
        fresh.push_back(runChild(self, cache, port, "start"));
        runChild(self, cache, port, "crash");
        earlier.push_back(runChild(self, cache, port, "start"));
        std::error_code ignored;
        std::filesystem::remove_all(cache, ignored);
    }
    std::printf("kit start, no earlier report:  median %.1f ms\n", median(fresh));
    std::printf("kit start, one earlier report: median %.1f ms (upload to a silent service in the background)\n",
        median(earlier));
    close(service);
    return 0;
}
