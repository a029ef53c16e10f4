#include "kit/support/KBFiles.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/tmp";
}

// The XDG rules: a variable counts only when it holds an absolute path.
std::string xdgFolder(const char* variable, const char* fallback)
{
    if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') {
        return value;
    }
    return homeFolder() + "/" + fallback;
}

// The value of `key` in a user-dirs file: a quoted "$HOME/..." or absolute
// path, one assignment per line, "#" comments. Empty when absent or unusable.
std::string userDirsValue(const std::string& file, const std::string& key)
{
    std::ifstream dirs(file);
    std::string line;
    std::string found;
    while (std::getline(dirs, line)) {
        const std::string prefix = key + "=\"";
        if (line.rfind(prefix, 0) != 0 || line.size() < prefix.size() + 1 || line.back() != '"') {
            continue;
        }
        std::string value = line.substr(prefix.size(), line.size() - prefix.size() - 1);
        if (value == "$HOME" || value.rfind("$HOME/", 0) == 0) {
            value = homeFolder() + value.substr(5);
        }
        if (!value.empty() && value[0] == '/') {
            found = value; // the last assignment wins, as in the shell
        }
    }
    return found;
}

void setError(std::string* error, const std::string& text)
{
    if (error != nullptr) {
        *error = text;
    }
}

bool writeAll(int fd, std::string_view bytes)
{
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string KBFiles::dataHome()
{
    return xdgFolder("XDG_DATA_HOME", ".local/share");
}

std::string KBFiles::cacheHome()
{
    return xdgFolder("XDG_CACHE_HOME", ".cache");
}

std::string KBFiles::configHome()
{
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

std::string KBFiles::documentsFolder()
{
    if (std::string named = userDirsValue(configHome() + "/user-dirs.dirs", "XDG_DOCUMENTS_DIR"); !named.empty()) {
        return named;
    }
    const std::string home = homeFolder();
    const std::string candidate = home + "/Documents";
    std::error_code ignored;
    return std::filesystem::is_directory(candidate, ignored) ? candidate : home;
}

bool KBFiles::writeAtomically(const std::string& path, std::string_view bytes, std::string* error)
{
    const std::filesystem::path target(path);
    const std::string folder = target.parent_path().empty() ? "." : target.parent_path().string();
    std::string temporary = folder + "/." + target.filename().string() + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        setError(error, "cannot create a temporary file in " + folder + ": " + std::strerror(errno));
        return false;
    }
    ::fchmod(fd, 0644);
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!written) {
        ::unlink(temporary.c_str());
        setError(error, "cannot write " + temporary + ": " + std::strerror(savedErrno));
        return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int renameErrno = errno;
        ::unlink(temporary.c_str());
        setError(error, "cannot replace " + path + ": " + std::strerror(renameErrno));
        return false;
    }
    syncFolder(folder);
    return true;
}

std::optional<std::string> KBFiles::read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    return content.str();
}

bool KBFiles::makeFolders(const std::string& path, std::string* error)
{
    std::error_code code;
    std::filesystem::create_directories(path, code);
    if (std::filesystem::is_directory(path)) {
        return true;
    }
    setError(error, code ? code.message() : "not a folder: " + path);
    return false;
}

bool KBFiles::syncFolder(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}
