#pragma once

#include <QString>

// Global helpers of the application library.
//
// Callers rely on: getFolderNameForCurrentTime gives a file-name-safe name of
// the local date and time ("2024-05-06_07-08-09"); makeSureFullPathIdentical is
// the free-path rule of GlobalFun (same implementation, same refusals).
class VXGlobalFunctions {
public:
    static QString getFolderNameForCurrentTime();
    static QString makeSureFullPathIdentical(const QString& path, const QString& extension);
};
