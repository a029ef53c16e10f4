#include "kit/core/KBLoadedImages.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <memory>

namespace {

// The build-id as readelf prints it for the running test executable.
std::string buildIdFromReadelf(const std::string& path)
{
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(("readelf -n " + path + " 2>/dev/null").c_str(), "r"), pclose);
    char line[512];
    while (pipe && fgets(line, sizeof line, pipe.get()) != nullptr) {
        const std::string text(line);
        const auto at = text.find("Build ID: ");
        if (at != std::string::npos) {
            return text.substr(at + 10, 40);
        }
    }
    return {};
}

} // namespace

TEST(KBLoadedImagesTest, ExecutableIsNamedByItsBuildIdAndHoldsItsCode)
{
    const auto executable = KBLoadedImages::executable();
    ASSERT_TRUE(executable.has_value());
    const std::string readelf = buildIdFromReadelf(executable->path);
    ASSERT_EQ(readelf.size(), 40u) << "readelf found no build-id in " << executable->path;
    EXPECT_EQ(executable->uuid, readelf.substr(0, 32));
    EXPECT_TRUE(executable->contains(reinterpret_cast<uintptr_t>(&buildIdFromReadelf)));
    EXPECT_NE(executable->ehFrameHeader, 0u);
    EXPECT_EQ(executable->architecture,
        KBLoadedImages::architectureName(
#if defined(__x86_64__)
            62
#elif defined(__aarch64__)
            183
#else
            0
#endif
            ));

    // A library function lies in its library's image, not the executable's.
    const auto libc = KBLoadedImages::containing(reinterpret_cast<uintptr_t>(&getpid));
    ASSERT_TRUE(libc.has_value());
    EXPECT_FALSE(libc->isExecutable);
    EXPECT_NE(libc->path.find("libc"), std::string::npos);
}
