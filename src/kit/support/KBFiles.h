#pragma once

#include <optional>
#include <string>
#include <string_view>

// The user's XDG folders and the kit's way of writing files that must never be
// seen half written.
class KBFiles {
public:
    // $XDG_DATA_HOME, else ~/.local/share (the kit's "Application Support").
    static std::string dataHome();
    // $XDG_CACHE_HOME, else ~/.cache.
    static std::string cacheHome();
    // $XDG_CONFIG_HOME, else ~/.config.
    static std::string configHome();
    // The user's Documents folder as the desktop names it in
    // <configHome>/user-dirs.dirs (XDG_DOCUMENTS_DIR="$HOME/..." or an
    // absolute path), else ~/Documents when it exists, else the home folder.
    static std::string documentsFolder();

    // Writes the bytes to a temporary file in the same folder, flushes it,
    // renames it over the path and flushes the folder. Either the old or the
    // new content is at the path afterwards, never a mix. On failure returns
    // false, leaves the old file and fills the error text.
    static bool writeAtomically(const std::string& path, std::string_view bytes, std::string* error = nullptr);

    // The whole file, or nothing when it cannot be read.
    static std::optional<std::string> read(const std::string& path);

    // Creates the folder and its parents; true when it exists afterwards.
    static bool makeFolders(const std::string& path, std::string* error = nullptr);

    // Flushes a folder's entries (after a rename into it).
    static bool syncFolder(const std::string& path);
};
