// What an urgent report costs the next launch, which prepares it on the launch
// thread before the window shows: moving, symbolicating, compressing and
// packaging a report of 21 threads of 200 frames with 300 image records.
// Timed against the floor of reading and copying the same files.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kit/core/KBLoadedImages.h"
#include "kit/crash/CWReportsController.h"
#include "kit/crash/crashpath/CWFile.h"
#include "kit/support/KBLog.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kThreads = 21;
constexpr int kFrames = 200;
constexpr int kImages = 300;
constexpr int kRuns = 9;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void writeLine(const std::string& path, const std::function<void(CWFile*)>& body)
{
    CWFile file;
    CWFileInit(&file, path.c_str(), true);
    body(&file);
    CWFileWriteObjectClose(&file);
    CWFileWriteLineEnd(&file);
    CWFileClose(&file);
}

void writeLoad(const std::string& path, const std::string& image, const std::string& uuid, uint64_t base, uint64_t size)
{
    writeLine(path, [&](CWFile* file) {
        CWFileWriteRecordStart(file, "load");
        CWFileWriteObjectOpen(file);
        CWFileWriteHashString(file, "path", image.c_str());
        CWFileWriteHashString(file, "uuid", uuid.c_str());
        CWFileWriteHashUnsigned(file, "base", base);
        CWFileWriteHashUnsigned(file, "size", size);
        CWFileWriteObjectClose(file);
    });
}

// The report a crashed launch leaves: the images loaded here plus synthetic
// ones up to 300, and stacks through named functions of this program and libc.
void writeReport(const std::string& folder)
{
    fs::create_directories(folder);
    writeLine(folder + "/metadata.cwrecord", [](CWFile* file) {
        CWFileWriteRecordStart(file, "identity");
        CWFileWriteObjectOpen(file);
        CWFileWriteHashString(file, "api_key", "0123456789abcdef0123456789abcdef01234567");
        CWFileWriteHashString(file, "session_id", "bench-session");
        CWFileWriteHashUnsigned(file, "started_at", 1700000000);
        CWFileWriteObjectClose(file);
    });
    const std::string images = folder + "/binary_images.cwrecord";
    int count = 0;
    for (const KBLoadedImage& image : KBLoadedImages::all()) {
        writeLoad(images, image.path, image.uuid, image.base, image.textSize);
        ++count;
    }
    for (; count < kImages; ++count) {
        char uuid[33];
        std::snprintf(uuid, sizeof uuid, "%032x", count);
        writeLoad(images, "/opt/plugins/libplugin" + std::to_string(count) + ".so", uuid,
            0x100000000ull + static_cast<uint64_t>(count) * 0x100000, 0x80000);
    }
    const std::vector<uint64_t> functions{reinterpret_cast<uint64_t>(&CWFileWriteRecordStart),
        reinterpret_cast<uint64_t>(&CWFileWriteHashString), reinterpret_cast<uint64_t>(&KBLog::info),
        reinterpret_cast<uint64_t>(&::write), reinterpret_cast<uint64_t>(&::strlen),
        0x100000000ull + 7 * 0x100000 + 0x40};
    const std::string signal = folder + "/signal.cwrecord";
    writeLine(signal, [](CWFile* file) {
        CWFileWriteRecordStart(file, "signal");
        CWFileWriteObjectOpen(file);
        CWFileWriteHashUnsigned(file, "time", 1700000100);
        CWFileWriteObjectClose(file);
    });
    writeLine(signal, [&](CWFile* file) {
        CWFileWriteRecordStart(file, "threads");
        CWFileWriteArrayOpen(file);
        for (int thread = 0; thread < kThreads; ++thread) {
            CWFileWriteObjectOpen(file);
            CWFileWriteKey(file, "stacktrace");
            CWFileWriteArrayOpen(file);
            for (int frame = 0; frame < kFrames; ++frame) {
                CWFileWriteArrayUnsigned(file, functions[(thread + frame) % functions.size()] + 1 + frame % 13);
            }
            CWFileWriteArrayClose(file);
            CWFileWriteObjectClose(file);
        }
        CWFileWriteArrayClose(file);
    });
}

double copyFloor(const std::string& from, const std::string& to)
{
    const auto start = Clock::now();
    fs::create_directories(to);
    for (const auto& entry : fs::directory_iterator(from)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::ofstream(to + "/" + entry.path().filename().string(), std::ios::binary) << in.rdbuf();
    }
    return millisecondsSince(start);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main()
{
    KBLog::setSink([](KBLog::Level, const std::string&) {});
    const std::string root = fs::temp_directory_path() / ("lumetta-crash-bench-" + std::to_string(::getpid()));
    auto files = std::make_shared<CWFileManager>(root);
    files->prepareForNewLaunch();
    CWReportsController controller(nullptr, files, [](const std::string&, bool) { return true; });

    std::vector<double> pipeline;
    std::vector<double> floor;
    uintmax_t packageSize = 0;
    for (int run = 0; run < kRuns; ++run) {
        const std::string folder = files->activePath() + "/launch-" + std::to_string(run);
        writeReport(folder);
        floor.push_back(copyFloor(folder, root + "/copy-" + std::to_string(run)));
        auto report = CWInternalReport::reportWithPath(folder);
        const auto start = Clock::now();
        const bool prepared = controller.prepareAndSubmitReport(report, true, true);
        pipeline.push_back(millisecondsSince(start));
        if (!prepared) {
            std::fprintf(stderr, "the report was not packaged\n");
            return 1;
        }
        for (const std::string& package : files->preparedPathContents()) {
            packageSize = fs::file_size(package);
            fs::remove(package);
        }
    }
    fs::remove_all(root);
    const double pipelineMs = median(pipeline);
    const double floorMs = median(floor);
    std::printf("crash report: %d threads x %d frames, %d images; package %ju bytes\n", kThreads, kFrames, kImages,
        packageSize);
    std::printf("process + package (median of %d): %.2f ms\n", kRuns, pipelineMs);
    std::printf("floor, copying the files:        %.2f ms (ratio %.1f)\n", floorMs, pipelineMs / floorMs);
    return 0;
}
