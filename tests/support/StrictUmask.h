#pragma once

#include <QFile>
#include <QString>

#include <sys/stat.h>

// A umask that lets nobody but the owner in (077) for as long as it lives: a
// file written under it has an open mode only when the writer gave it one.
class StrictUmask {
public:
    StrictUmask()
        : previous_(::umask(077))
    {
    }
    ~StrictUmask() { ::umask(previous_); }
    StrictUmask(const StrictUmask&) = delete;
    StrictUmask& operator=(const StrictUmask&) = delete;

    // The permission bits of the file at `path`, 0 when it cannot be read.
    static mode_t modeOf(const QString& path)
    {
        struct stat st { };
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : mode_t(0);
    }
    static bool setMode(const QString& path, mode_t mode)
    {
        return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
    }

private:
    mode_t previous_;
};
