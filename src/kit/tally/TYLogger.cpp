#include "kit/tally/TYLogger.h"

#include "kit/support/KBLog.h"

TYLogger& TYLogger::sharedLogger()
{
    static TYLogger logger;
    return logger;
}

void TYLogger::log(const std::string& text)
{
    internalLog("[Tally] " + text);
}

void TYLogger::logWithLabel(const std::string& label, const std::string& text)
{
    internalLog("[Tally:" + label + "] " + text);
}

void TYLogger::printAlways(const std::string& line)
{
    KBLog::info(line);
}

bool TYLogger::debugMode() const
{
    return debugMode_.load();
}

void TYLogger::setDebugMode(bool debugMode)
{
    debugMode_.store(debugMode);
}

void TYLogger::internalLog(const std::string& line)
{
    if (debugMode_.load()) {
        KBLog::info(line);
    }
}
