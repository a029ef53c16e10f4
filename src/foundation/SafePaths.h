#pragma once

#include <QString>

// Checks for names and paths that come from users or from metadata, so that
// they never reach outside their folder.
//
// Callers rely on: a safe name is a single path component (no "/", no NUL),
// not "." or ".."; a path is acceptable when none of its components is "..".
class SafePaths {
public:
    static bool isSafeName(const QString& name);
    static bool hasParentComponent(const QString& path);
};
