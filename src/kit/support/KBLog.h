#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

// The kit's log. Every line starts with its bracketed tag ("[Kitbase] ...");
// debug lines appear only while the debug flag (set by Kitbase) is on. Lines go
// to standard error unless a sink captures them.
class KBLog {
public:
    enum class Level { Info, Debug };
    using Sink = std::function<void(Level, const std::string&)>;

    static void info(const std::string& line);
    static void debug(const std::string& line);
    // Joins tag and text with one space: tagged("[Kitbase]", "x") is "[Kitbase] x".
    static void tagged(const std::string& tag, const std::string& text);

    static void setDebugEnabled(bool enabled);
    static bool debugEnabled();

    // Replaces the output; an empty sink restores standard error.
    static void setSink(Sink sink);
};

// Captures every line logged while it lives (tests read them back).
class KBLogCapture {
public:
    KBLogCapture();
    ~KBLogCapture();
    KBLogCapture(const KBLogCapture&) = delete;
    KBLogCapture& operator=(const KBLogCapture&) = delete;

    std::vector<std::string> lines() const;
    bool contains(const std::string& fragment) const;
    size_t count(const std::string& fragment) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};
