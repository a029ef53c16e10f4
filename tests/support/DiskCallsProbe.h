#pragma once

#include "foundation/FileServices.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <mutex>
#include <vector>

// Watches the file services' flushes and exchanges for one test, and lets
// the test step in at either moment (as another program would); gives the
// system's own calls back when it goes.
class DiskCallsProbe {
public:
    // One flush: what was flushed (a file or a folder) and what `watched`
    // held at that moment.
    struct Flush {
        QString flushed;
        QByteArray watchedHeld;
    };

    // `watched` is the file whose content each flush records.
    explicit DiskCallsProbe(const QString& watched);
    ~DiskCallsProbe();
    DiskCallsProbe(const DiskCallsProbe&) = delete;
    DiskCallsProbe& operator=(const DiskCallsProbe&) = delete;

    // Runs before the flush of a file (not of a folder), once.
    void atNextFileFlush(std::function<void()> step);
    // Runs before the next exchange, once; when `unsupported`, every
    // exchange then fails as on a file system that has none.
    void atNextExchange(std::function<void()> step, bool unsupported = false);
    // The exchange after the next one fails with an I/O error.
    void failSecondExchange() { failSecondExchange_ = true; }

    std::vector<Flush> flushes() const;
    int exchanges() const;

private:
    int sync(int fd);
    int exchange(const char* first, const char* second);

    QString watched_;
    mutable std::mutex mutex_;
    std::vector<Flush> flushes_;
    std::function<void()> atFileFlush_;
    std::function<void()> atExchange_;
    bool exchangeUnsupported_ = false;
    bool failSecondExchange_ = false;
    int exchanges_ = 0;
};
