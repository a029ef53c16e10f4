#pragma once

#include <atomic>
#include <string>

// The analytics kit's diagnostic log, over the kit log. Its lines appear only
// in its own debug mode (set from the kit's debug flag at start).
class TYLogger {
public:
    static TYLogger& sharedLogger();

    // "[Tally] " and the text.
    void log(const std::string& text);
    // "[Tally:<label>] " and the text.
    void logWithLabel(const std::string& label, const std::string& text);
    // Lines that go out whatever the debug mode says.
    static void printAlways(const std::string& line);

    bool debugMode() const;
    void setDebugMode(bool debugMode);

private:
    void internalLog(const std::string& line);

    std::atomic<bool> debugMode_{false};
};
