#pragma once

// Process-wide set-up of the metadata library: the XMP toolkit is initialised
// once with a lock (the library's XMP parser is not thread-safe on its own) and
// never terminated while the process runs; the library's own warnings go to our
// log instead of standard error.
class ExivRuntime {
public:
    // Safe to call any number of times from any thread.
    static void initialize();
};
