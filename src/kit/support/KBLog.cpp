#include "kit/support/KBLog.h"

#include <atomic>
#include <cstdio>

namespace {

std::atomic<bool> debugFlag{false};
std::mutex sinkMutex;

KBLog::Sink& currentSink()
{
    static KBLog::Sink sink;
    return sink;
}

void emit(KBLog::Level level, const std::string& line)
{
    std::lock_guard lock(sinkMutex);
    if (currentSink()) {
        currentSink()(level, line);
        return;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

} // namespace

void KBLog::info(const std::string& line)
{
    emit(Level::Info, line);
}

void KBLog::debug(const std::string& line)
{
    if (debugFlag.load()) {
        emit(Level::Debug, line);
    }
}

void KBLog::tagged(const std::string& tag, const std::string& text)
{
    info(tag + " " + text);
}

void KBLog::setDebugEnabled(bool enabled)
{
    debugFlag.store(enabled);
}

bool KBLog::debugEnabled()
{
    return debugFlag.load();
}

void KBLog::setSink(Sink sink)
{
    std::lock_guard lock(sinkMutex);
    currentSink() = std::move(sink);
}

KBLogCapture::KBLogCapture()
{
    KBLog::setSink([this](KBLog::Level, const std::string& line) {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
    });
}

KBLogCapture::~KBLogCapture()
{
    KBLog::setSink({});
}

std::vector<std::string> KBLogCapture::lines() const
{
    std::lock_guard lock(mutex_);
    return lines_;
}

bool KBLogCapture::contains(const std::string& fragment) const
{
    return count(fragment) > 0;
}

size_t KBLogCapture::count(const std::string& fragment) const
{
    std::lock_guard lock(mutex_);
    size_t found = 0;
    for (const auto& line : lines_) {
        if (line.find(fragment) != std::string::npos) {
            ++found;
        }
    }
    return found;
}

void KBLogCapture::clear()
{
    std::lock_guard lock(mutex_);
    lines_.clear();
}
