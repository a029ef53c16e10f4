#pragma once

#include <QString>

#include <sys/types.h>

// A step of a test run as a user without root's rights, as the application's
// user runs it: while it lives, the process acts as user "nobody" (effective
// user and group, for every thread). CI runs the tests as root, who may write
// any file; a test run by another user is already unprivileged, and then
// nothing changes. The files the step must reach are handed over first.
class UnprivilegedStep {
public:
    UnprivilegedStep();
    ~UnprivilegedStep();
    UnprivilegedStep(const UnprivilegedStep&) = delete;
    UnprivilegedStep& operator=(const UnprivilegedStep&) = delete;

    // False when the step could not drop root's rights.
    bool isUnprivileged() const;

    // Makes `path` and everything below it the unprivileged user's (when the
    // test runs as root), modes unchanged. False when that failed.
    static bool handOver(const QString& path);

    // Why the unprivileged user cannot reach `path`: the folder on its way it
    // may not enter (a TMPDIR closed to it). Empty when it can, or when the
    // test does not run as root.
    static QString unreachable(const QString& path);

private:
    bool switched_ = false;
};
