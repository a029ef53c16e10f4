#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

// The folder and file facts the event pipeline asks for.
class TYFileUtils {
public:
    using CreationDateReader = std::function<std::optional<double>(const std::string&)>;

    // Paths of the folder's entries (not recursive); empty, with a log line,
    // when the folder cannot be listed.
    static std::set<std::string> allFilesInDirectory(const std::string& directory);
    static std::set<std::string> filesWithExtension(const std::string& extension, const std::string& directory);
    // 0 when the size cannot be read.
    static uint64_t fileSizeAtURL(const std::string& path);
    // Seconds since 1970: the birth time where the file system keeps one,
    // else the modification time; the default when neither can be read.
    static double fileCreatedDateAtURL(const std::string& path, double defaultDate);
    // Linux cannot set birth times, so tests give their own dates; an empty
    // reader restores the file system's.
    static void setCreationDateReader(CreationDateReader reader);

    // The last extension without its dot ("" when none) and the name without it.
    static std::string extension(const std::string& path);
    static std::string baseName(const std::string& path);
    static std::string fileName(const std::string& path);
    static std::string folderOf(const std::string& path);
    static std::string replacingExtension(const std::string& path, const std::string& extension);
    static bool isRegularFile(const std::string& path);
};
