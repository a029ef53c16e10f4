// The main() of the kit's test executables. The kit is Qt-free, so this one is
// too: GoogleTest plus a private home folder whose XDG folders stand in for the
// user's, so that no kit test reads or writes a real user's data, and a
// system bus address where there is none.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string makePrivateHome()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "lumetta-kit-home-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    return pattern;
}

void pointXdgFoldersAt(const std::string& home)
{
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
    const std::string runtime = home + "/runtime";
    ::mkdir(runtime.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const std::string home = makePrivateHome();
    if (home.empty()) {
        return 2;
    }
    pointXdgFoldersAt(home);
    // No kit test reaches the machine's system bus: the kit finds none, and a
    // test that wants one starts its own and names it.
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + home + "/no-system-bus").c_str(), 1);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return result;
}
