#include "kit/support/KBDigest.h"
#include "kit/support/KBFiles.h"
#include "kit/support/KBLog.h"
#include "kit/support/KBNotificationCenter.h"
#include "kit/support/KBProcessActivities.h"
#include "kit/support/KBRandom.h"
#include "kit/support/KBSerialQueue.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

TEST(KBSupportTest, DigestsAndIdentifiers)
{
    EXPECT_EQ(KBSHA1HexDigest("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(KBSHA1HexDigest(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");

    std::string all(256, '\0');
    for (int i = 0; i < 256; ++i) {
        all[static_cast<size_t>(i)] = static_cast<char>(i);
    }
    const std::string hex = KBHexStringFromData(all);
    ASSERT_EQ(hex.size(), 512u);
    EXPECT_EQ(hex.substr(0, 6), "000102");
    EXPECT_EQ(hex.substr(0x7f * 2, 4), "7f80");
    EXPECT_EQ(hex.substr(506), "fdfeff");

    const std::regex canonical("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    const std::string first = KBCreateUUIDString();
    EXPECT_TRUE(std::regex_match(first, canonical)) << first;
    EXPECT_NE(first, KBCreateUUIDString());
}

TEST(KBSupportTest, EveryProcessDrawsItsOwnRandomNumbers)
{
    // Two fresh processes (as two installations would be) must not share a
    // sequence, or their retries would fall on the same moments.
    std::vector<double> firsts;
    for (int i = 0; i < 2; ++i) {
        int channel[2];
        ASSERT_EQ(::pipe(channel), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            const double value = KBRandom::uniform();
            ::write(channel[1], &value, sizeof value);
            ::_exit(0);
        }
        double value = -1;
        ::read(channel[0], &value, sizeof value);
        ::waitpid(child, nullptr, 0);
        ::close(channel[0]);
        ::close(channel[1]);
        EXPECT_GE(value, 0.0);
        EXPECT_LT(value, 1.0);
        firsts.push_back(value);
    }
    EXPECT_NE(firsts[0], firsts[1]);
    KBRandom::setSource([] { return 0.25; });
    EXPECT_EQ(KBRandom::uniform(), 0.25);
    KBRandom::setSource({});
}

TEST(KBSupportTest, AtomicWriteReplacesWholeFilesAndKeepsTheOldOneOnFailure)
{
    const std::string folder = KBFiles::dataHome() + "/atomic";
    ASSERT_TRUE(KBFiles::makeFolders(folder));
    const std::string path = folder + "/file.txt";
    ASSERT_TRUE(KBFiles::writeAtomically(path, "first"));
    ASSERT_TRUE(KBFiles::writeAtomically(path, "second and longer"));
    EXPECT_EQ(KBFiles::read(path), "second and longer");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1) << "no temporary file left";

    std::string error;
    EXPECT_FALSE(KBFiles::writeAtomically(folder + "/missing/file.txt", "x", &error));
    EXPECT_FALSE(error.empty());
    if (::geteuid() != 0) { // root writes into read-only folders anyway
        ::chmod(folder.c_str(), 0500);
        EXPECT_FALSE(KBFiles::writeAtomically(path, "third"));
        ::chmod(folder.c_str(), 0700);
        EXPECT_EQ(KBFiles::read(path), "second and longer");
    }
}

TEST(KBSupportTest, TheDocumentsFolderIsTheOneTheUserDirsFileNames)
{
    const std::string home = std::getenv("HOME");
    const std::string dirs = KBFiles::configHome() + "/user-dirs.dirs";
    ASSERT_TRUE(KBFiles::makeFolders(KBFiles::configHome()));
    // A variable of that name in the environment is no desktop setting.
    ::setenv("XDG_DOCUMENTS_DIR", "/elsewhere", 1);

    EXPECT_EQ(KBFiles::documentsFolder(), home) << "no file and no ~/Documents";
    ASSERT_TRUE(KBFiles::makeFolders(home + "/Documents"));
    EXPECT_EQ(KBFiles::documentsFolder(), home + "/Documents");

    ASSERT_TRUE(KBFiles::writeAtomically(dirs,
        "# written by xdg-user-dirs-update\n"
        "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
        "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"));
    EXPECT_EQ(KBFiles::documentsFolder(), home + "/Dokumente");
    ASSERT_TRUE(KBFiles::writeAtomically(dirs, "XDG_DOCUMENTS_DIR=\"/srv/papers\"\n"));
    EXPECT_EQ(KBFiles::documentsFolder(), "/srv/papers");
    // A relative or unquoted value is not a folder the desktop would use.
    ASSERT_TRUE(KBFiles::writeAtomically(dirs, "XDG_DOCUMENTS_DIR=\"papers\"\nXDG_DOCUMENTS_DIR=/srv/x\n"));
    EXPECT_EQ(KBFiles::documentsFolder(), home + "/Documents");

    ::unsetenv("XDG_DOCUMENTS_DIR");
    std::filesystem::remove(dirs);
    std::filesystem::remove(home + "/Documents");
}

TEST(KBSupportTest, NotificationsReachMatchingObserversAndRemovalDuringDeliveryHolds)
{
    KBNotificationCenter center;
    int sender = 0;
    int other = 0;
    std::vector<std::string> calls;
    KBNotificationCenter::Token second = 0;
    center.addObserver("N", nullptr, [&](const KBNotification&) {
        calls.push_back("first");
        center.removeObserver(second);
    });
    second = center.addObserver("N", nullptr, [&](const KBNotification&) { calls.push_back("second"); });
    center.addObserver("N", &sender, [&](const KBNotification& n) { calls.push_back(n.userInfo.value("k", "")); });
    center.addObserver("Other", nullptr, [&](const KBNotification&) { calls.push_back("other name"); });

    center.post("N", &other);
    center.post("N", &sender, {{"k", "from sender"}});
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "first", "from sender"}));
}

TEST(KBSupportTest, ActivitiesDisableTerminationForTheBlockOnly)
{
    int sudden = -1;
    int automatic = -1;
    KBProcessActivities::perform(0xC000, "writing", [&] {
        sudden = KBProcessActivities::suddenTerminationDisabledCount();
        automatic = KBProcessActivities::automaticTerminationDisabledCount();
    });
    EXPECT_EQ(sudden, 1);
    EXPECT_EQ(automatic, 1);
    auto only = KBProcessActivities::begin(KBProcessActivities::kSuddenTerminationDisabled, "x");
    EXPECT_EQ(KBProcessActivities::automaticTerminationDisabledCount(), 0);
    KBProcessActivities::end(only);
    KBProcessActivities::end(std::nullopt);
    EXPECT_EQ(KBProcessActivities::suddenTerminationDisabledCount(), 0);
}

TEST(KBSupportTest, DebugLinesNeedTheDebugFlag)
{
    KBLogCapture capture;
    KBLog::debug("[Kitbase] hidden");
    KBLog::setDebugEnabled(true);
    KBLog::debug("[Kitbase] shown");
    KBLog::setDebugEnabled(false);
    KBLog::tagged("[Kitbase]", "plain");
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"[Kitbase] shown", "[Kitbase] plain"}));
}

TEST(KBSupportDeathTest, SyncOntoTheCurrentSerialQueueAborts)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            KBSerialQueue queue("self");
            queue.sync([&] { queue.sync([] {}); });
        },
        "would deadlock");
}
