#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>

// The crasher (harness/Crasher.cpp) as a child process: started with
// posix_spawn on a report folder, no core files, and killed (only that child,
// by its pid) when it is still alive after ten seconds, which counts as a failure.
pid_t startCrasher(const std::string& mode, const std::string& folder);
// The child's wait status; -1 when it could not be started or did not end.
int waitForCrasher(pid_t child, const std::string& mode);
int runCrasher(const std::string& mode, const std::string& folder);

// The facts a crash mode wrote ("key value" lines): every value of each key, in the order written.
std::multimap<std::string, uint64_t> crasherFacts(const std::string& text);
