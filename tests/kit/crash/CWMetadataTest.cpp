#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "CrashReportFolder.h"
#include "kit/core/KBMainBundle.h"
#include "kit/crash/CWApplication.h"
#include "kit/crash/CWRecordReader.h"

namespace {

// The build-id of this test program as readelf prints it.
std::string buildIdFromReadelf()
{
    const std::string command = "readelf -n " + std::filesystem::read_symlink("/proc/self/exe").string();
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string id;
    char line[512];
    while (pipe != nullptr && std::fgets(line, sizeof(line), pipe) != nullptr) {
        const std::string text = line;
        const size_t at = text.find("Build ID: ");
        if (at != std::string::npos) {
            id = text.substr(at + 10);
            id.erase(id.find_last_not_of(" \n") + 1);
        }
    }
    if (pipe != nullptr) {
        pclose(pipe);
    }
    return id;
}

} // namespace

TEST(CWMetadataTest, SetUpRecordsWhoWhereAndWhatRan)
{
    KBMainBundle::setInfoDictionary(nlohmann::json{{"CFBundleIdentifier", "org.lumetta/Lumetta"},
        {"CFBundleVersion", "42"}, {"CFBundleShortVersionString", "1.2.3"}});
    CrashReportFolder folder;
    const auto records = CWFileReadSections(folder.file("metadata.cwrecord").c_str(), false);
    ASSERT_TRUE(records.has_value());
    ASSERT_EQ(records->size(), 4u);
    const char* kinds[] = {"identity", "host", "application", "executable"};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(records->at(i).contains(kinds[i])) << records->at(i).dump();
    }
    const nlohmann::json& identity = records->at(0)["identity"];
    EXPECT_EQ(identity["generator"], "Crashwatch Linux SDK/3.8.4");
    EXPECT_EQ(identity["session_id"], CrashReportFolder::defaultConfiguration().reportIdentifier);
    EXPECT_EQ(identity["install_id"], CrashReportFolder::defaultConfiguration().installIdentifier);
    EXPECT_TRUE(identity["beta_token"].is_null());
    EXPECT_EQ(identity["absolute_log_timestamps"], true);

    const nlohmann::json& host = records->at(1)["host"];
    EXPECT_EQ(host["platform"], "linux");
    EXPECT_EQ(host["machine"], "x86_64");
    EXPECT_FALSE(host["cpu"].get<std::string>().empty());

    const nlohmann::json& application = records->at(2)["application"];
    EXPECT_EQ(application["bundle_id"], "org.lumetta_Lumetta");
    EXPECT_EQ(application["build_version"], "42");
    EXPECT_EQ(application["display_version"], "1.2.3");
    EXPECT_TRUE(application["custom_bundle_id"].is_null());
    EXPECT_TRUE(application["extension_id"].is_null());

    const nlohmann::json& executable = records->at(3)["executable"];
    const std::string buildId = buildIdFromReadelf();
    ASSERT_GE(buildId.size(), 32u);
    EXPECT_EQ(executable["uuid"], buildId.substr(0, 32));
    const auto function = reinterpret_cast<uintptr_t>(&buildIdFromReadelf);
    const auto base = executable["base"].get<uint64_t>();
    EXPECT_GE(function, base);
    EXPECT_LT(function, base + executable["size"].get<uint64_t>());
    EXPECT_EQ(executable["encrypted"], false);
    EXPECT_EQ(executable["minimum_sdk_version"], "0.0.0");
    KBMainBundle::setInfoDictionary(std::nullopt);
}

TEST(CWMetadataTest, ExtensionIdentifierComesOnlyFromAWellFormedEntry)
{
    CrashReportFolder folder;
    const std::vector<std::pair<nlohmann::json, std::optional<std::string>>> cases = {
        {nlohmann::json::object(), std::nullopt},
        {{{"NSExtension", "not a dictionary"}}, std::nullopt},
        {{{"NSExtension", {{"NSExtensionPointIdentifier", 7}}}}, std::nullopt},
        {{{"NSExtension", {{"NSExtensionPointIdentifier", "org.lumetta.preview"}}}}, "org.lumetta.preview"},
    };
    for (const auto& [info, expected] : cases) {
        KBMainBundle::setInfoDictionary(info);
        EXPECT_EQ(CWApplication::extensionPointIdentifier(), expected) << info.dump();
        EXPECT_EQ(CWApplication::isExtension(), expected.has_value());
    }
    KBMainBundle::setInfoDictionary(std::nullopt);
    const std::string log = folder.read("sdk.log");
    EXPECT_NE(log.find("] Error: NSExtension Info.plist entry is mal-formed\n"), std::string::npos);
    EXPECT_NE(log.find("] Error: NSExtensionPointIdentifier Info.plist entry is mal-formed\n"), std::string::npos);
}
