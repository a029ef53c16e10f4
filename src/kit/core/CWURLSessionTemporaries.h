#pragma once

#include <string>

// The files download tasks write their bodies into, in the temporary folder.
// A file lives only as long as its task: it is removed when the task ends
// however it ends, at a normal exit, and (when a run ended abruptly) at the
// next run's first session. Names carry the owning process's id, so a run
// removes only the files of processes that are gone.
class CWURLSessionTemporaries {
public:
    // A new path, remembered until forgotten; the file is not created.
    static std::string newPath();
    // Removes the file and forgets it.
    static void remove(const std::string& path);
    // Removes the files of earlier runs; once per process, later calls do nothing.
    static void removeStaleOnce();
    // Removes the files of earlier runs in `folder` (the temporary folder unless given).
    static void removeStale(const std::string& folder);

    static constexpr const char* kPrefix = "CWURLSession-";
};
