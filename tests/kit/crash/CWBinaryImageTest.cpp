#include <gtest/gtest.h>

#include <dlfcn.h>
#include <gnu/libc-version.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "CrashReportFolder.h"
#include "kit/crash/CWBinaryImages.h"
#include "kit/crash/CWContextInitialize.h"
#include "kit/crash/crashpath/CWBinaryImage.h"
#include "kit/support/KBSerialQueue.h"

namespace {

CWBinaryImageDetails synthetic(int index)
{
    CWBinaryImageDetails details{};
    std::snprintf(details.path, sizeof(details.path), "/synthetic/%d", index);
    details.base = 0x100000000000 + uint64_t(index) * 0x10000;
    details.size = 0x1000;
    return details;
}

void drainImagesQueue()
{
    CWContextBinaryImagesQueue()->sync([] {});
}

std::string hex(uint64_t value)
{
    char text[32];
    std::snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

// The first 32 hex digits of a file's build-id as readelf shows it.
std::string buildIdPrefix(const std::string& path)
{
    const std::string command = "readelf -n " + path;
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string id;
    char line[512];
    while (pipe != nullptr && std::fgets(line, sizeof(line), pipe) != nullptr) {
        const char* at = std::strstr(line, "Build ID: ");
        if (at != nullptr) {
            id = std::string(at + 10, 32);
        }
    }
    if (pipe != nullptr) {
        pclose(pipe);
    }
    return id;
}

} // namespace

TEST(CWBinaryImageTest, AFullTableStillRecordsEveryImage)
{
    CrashReportFolder folder;
    for (int i = 0; i < 513; ++i) {
        CWBinaryImages::storeAndRecord(true, synthetic(i));
    }
    drainImagesQueue();
    const std::string log = folder.read("sdk.log");
    EXPECT_NE(log.find("] Error: Unable to track a loaded node " + hex(synthetic(512).base) + "\n"), std::string::npos);
    const auto loads = folder.records("binary_images.cwrecord", "load");
    ASSERT_FALSE(loads.empty());
    EXPECT_EQ(loads.back()["path"], "/synthetic/512");
    EXPECT_EQ(loads.back()["base"], synthetic(512).base);

    CWBinaryImageRange range;
    const CWBinaryImageDetails first = synthetic(0);
    EXPECT_TRUE(CWBinaryImageSafeFindImageForAddress(first.base, &range));
    EXPECT_TRUE(CWBinaryImageSafeFindImageForAddress(first.base + first.size - 1, &range));
    EXPECT_EQ(range.base, first.base);
    EXPECT_FALSE(CWBinaryImageSafeFindImageForAddress(first.base + first.size, &range));
    EXPECT_FALSE(CWBinaryImageSafeFindImageForAddress(0, &range));

    CWBinaryImageDetails unknown = synthetic(9999);
    CWBinaryImages::storeAndRecord(false, unknown);
    drainImagesQueue();
    EXPECT_NE(folder.read("sdk.log").find("] Error: Unable to track a unloaded node " + hex(unknown.base) + "\n"),
        std::string::npos);
    CWBinaryImages::storeAndRecord(false, first);
    EXPECT_FALSE(CWBinaryImageSafeFindImageForAddress(first.base, &range));
}

TEST(CWBinaryImageTest, ALibraryLoadedAfterSetUpIsFoundAtCrashTime)
{
    CrashReportFolder folder;
    void* library = dlopen(TEST_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto function = reinterpret_cast<uintptr_t>(dlsym(library, "lumettaTestPluginValue"));
    ASSERT_NE(function, 0u);
    CWBinaryImageRange range;
    EXPECT_FALSE(CWBinaryImageSafeFindImageForAddress(function, &range));

    CWBinaryImageReconcile();
    ASSERT_TRUE(CWBinaryImageSafeFindImageForAddress(function, &range));
    EXPECT_GE(range.ehFrameHeader, range.base);
    auto loads = folder.records("binary_images.cwrecord", "load");
    ASSERT_FALSE(loads.empty());
    EXPECT_EQ(loads.back()["path"], TEST_PLUGIN_PATH);
    EXPECT_EQ(loads.back()["uuid"], buildIdPrefix(TEST_PLUGIN_PATH));
    EXPECT_EQ(loads.back()["base"], range.base);
    // Nothing else changed since set-up.
    EXPECT_EQ(folder.records("binary_images.cwrecord", "unload").size(), 0u);

    ASSERT_EQ(dlclose(library), 0);
    CWBinaryImageReconcile();
    EXPECT_FALSE(CWBinaryImageSafeFindImageForAddress(function, &range));
    const auto unloads = folder.records("binary_images.cwrecord", "unload");
    ASSERT_EQ(unloads.size(), 1u);
    EXPECT_EQ(unloads[0]["base"], loads.back()["base"]);
}

TEST(CWBinaryImageTest, ImagesAreFoundByTheirBuildId)
{
    const std::string libc = "/lib/x86_64-linux-gnu/libc.so.6";
    const std::string uuid = buildIdPrefix(libc);
    ASSERT_EQ(uuid.size(), 32u);
    const auto found = CWBinaryImages::findImageForUUID(uuid.c_str());
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(std::filesystem::canonical(found->path), std::filesystem::canonical(libc));
    // A function only libc has (a sanitizer may stand in for the common ones).
    const auto version = reinterpret_cast<uintptr_t>(&gnu_get_libc_version);
    EXPECT_GE(version, found->base);
    EXPECT_LT(version, found->base + found->size);
    EXPECT_FALSE(CWBinaryImages::findImageForUUID("00000000000000000000000000000000").has_value());
    EXPECT_FALSE(CWBinaryImages::findImageForUUID(nullptr).has_value());
}
