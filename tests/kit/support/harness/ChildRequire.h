#pragma once

#include <cstdio>
#include <cstdlib>

// For a case that runs in a child process of its own (a death test): ends the
// child with status 1 and says what did not hold, so the parent's check fails.
inline void requireInChild(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "not so: %s\n", what);
        std::fflush(stderr);
        std::_Exit(1);
    }
}
