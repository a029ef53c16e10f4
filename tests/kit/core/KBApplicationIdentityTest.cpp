#include "kit/core/KBAppIconUtility.h"
#include "kit/core/KBApplicationFacts.h"
#include "kit/core/KBApplicationIdentiferModel.h"
#include "kit/core/KBLoadedImages.h"
#include "kit/core/KBMainBundle.h"
#include "kit/support/KBDigest.h"

#include <gtest/gtest.h>

namespace {

// The first 24 bytes of a PNG: signature and the IHDR size fields.
std::string pngHeader(uint32_t width, uint32_t height)
{
    std::string bytes("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (uint32_t value : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<char>(value >> shift));
        }
    }
    return bytes + std::string("\x08\x06\0\0\0", 5);
}

class BundleScope {
public:
    explicit BundleScope(nlohmann::json info) { KBMainBundle::setInfoDictionary(std::move(info)); }
    ~BundleScope() { KBMainBundle::setInfoDictionary(std::nullopt); }
};

} // namespace

TEST(KBApplicationIdentityTest, InstanceIdentifierHashesTheSliceUUIDsInArchitectureOrder)
{
    const std::string intel32 = "00112233445566778899aabbccddeeff";
    const std::string intel64 = "ffeeddccbbaa99887766554433221100";
    const auto one = KBApplicationIdentiferModel::makeWithSlices("ID", {{"x86_64", intel64}});
    EXPECT_EQ(one->instanceIdentifier(), KBSHA1HexDigest(intel64));
    const auto two = KBApplicationIdentiferModel::makeWithSlices("ID", {{"x86_64", intel64}, {"i386", intel32}});
    EXPECT_EQ(two->instanceIdentifier(), KBSHA1HexDigest(intel32 + intel64));
    EXPECT_EQ(two->minimumSDKString(), "0.0.0");

    BundleScope bundle(nlohmann::json{{"CFBundleIdentifier", "a/b"}});
    const auto running = KBApplicationIdentiferModel::make("INSTALL");
    ASSERT_NE(running, nullptr);
    EXPECT_EQ(running->architectureUUIDMap().begin()->second, KBLoadedImages::executable()->uuid);
    EXPECT_EQ(running->installID(), "INSTALL");
    EXPECT_EQ(running->bundleIdentifier(), "a_b");
    EXPECT_FALSE(running->icon().has_value());
}

TEST(KBApplicationIdentityTest, ApplicationValuesFollowTheInfoDictionary)
{
    struct Case {
        nlohmann::json info;
        bool collect;
        int source;
        std::optional<std::string> name;
    };
    const std::vector<Case> cases = {
        {nlohmann::json::object(), true, 1, std::nullopt},
        {{{"Kitbase", {{"ReportIdentifiers", false}}}, {"CrashwatchCollectDeviceIdentifiers", true}}, false, 1,
            std::nullopt},
        {{{"Kitbase", {{"ReportIdentifiers", true}}}, {"CrashwatchCollectDeviceIdentifiers", false}}, true, 1,
            std::nullopt},
        {{{"CrashwatchCollectDeviceIdentifiers", false}, {"CFBundleVersion", "7"}}, false, 1, "7"},
        {{{"CrashwatchSignedForDistribution", true}, {"CFBundleName", "N"}, {"CFBundleVersion", "7"}}, true, 3, "N"},
        {{{"CFBundleDisplayName", "D"}, {"CFBundleName", "N"}}, true, 1, "D"},
    };
    for (const auto& test : cases) {
        BundleScope bundle(test.info);
        EXPECT_EQ(KBShouldCollectDeviceIdentifiers(), test.collect) << test.info;
        EXPECT_EQ(KBInstallationSource(), test.source) << test.info;
        EXPECT_EQ(KBApplicationName(), test.name) << test.info;
    }
}

TEST(KBApplicationIdentityTest, SystemVersions)
{
    const std::vector<std::pair<std::string, std::string>> releases
        = {{"6.1.0-18-amd64", "6.1.0"}, {"5.15", "5.15.0"}, {"4.19.0+", "4.19.0"}, {"", "0.0.0"}, {"x", "0.0.0"}};
    for (const auto& [release, expected] : releases) {
        const KBOSVersion version = KBParseKernelRelease(release);
        EXPECT_EQ(
            std::to_string(version.major) + "." + std::to_string(version.minor) + "." + std::to_string(version.patch),
            expected)
            << release;
    }
    EXPECT_EQ(KBOperatingSystemVersionNumber({10, 7, 0}), 1070);
    EXPECT_EQ(KBOperatingSystemVersionNumber({10, 12, 0}), 101200);
    EXPECT_EQ(KBOperatingSystemVersionNumber({10, 13, 0}), 0);
    EXPECT_EQ(KBOperatingSystemVersionNumber({6, 1, 0}), 0);
    EXPECT_EQ(KBSysctlString("kernel.ostype"), "Linux");
    EXPECT_EQ(KBSysctlString("kernel/../ostype"), std::nullopt);
    EXPECT_TRUE(KBHardwareModel().has_value());
}

TEST(KBApplicationIdentityTest, IconsComeFromPngBytesAndKnowTheirSurface)
{
    const auto square = KBIcon::fromImage(pngHeader(1024, 1024));
    ASSERT_TRUE(square.has_value());
    EXPECT_TRUE(square->isWithinMaxSurfaceArea());
    EXPECT_TRUE(square->prerendered());
    EXPECT_EQ(square->dataHash(), KBSHA1HexDigest(pngHeader(1024, 1024)));
    EXPECT_FALSE(KBIcon::fromImage(pngHeader(1025, 1024))->isWithinMaxSurfaceArea());
    EXPECT_TRUE(square->largerThanSize({1023, 1024}));
    EXPECT_FALSE(KBIcon::fromImage("GIF89a not a png at all").has_value());

    KBAppIconUtility::setIconProvider([] { return pngHeader(64, 32); });
    const auto model = KBApplicationIdentiferModel::makeWithSlices("ID", {});
    KBAppIconUtility::setIconProvider({});
    ASSERT_TRUE(model->icon().has_value());
    EXPECT_EQ(model->icon()->size().width, 64);
    EXPECT_EQ(model->icon()->size().height, 32);
}
