#pragma once

#include <QString>

// The application's folders.
//
// Callers rely on: the home and support folders are the application's local
// data folder (~/.local/share/lumetta; a private one under Qt's test mode), the
// cache folder is its cache folder (~/.cache/lumetta), which backups skip: the
// place of working copies and every other throw-away file; each exists after
// the call; the helpers that take a folder name refuse a name with
// "/" or a ".." component (and paths with a ".." component) with a null text or
// false instead of leaving the folder.
class VXFileLocalManager {
public:
    static QString appHomeDirectory();
    static QString appSupportDirectory();
    static QString appCacheDirectory();
    // `folder`/`name`, created when missing; null when refused or not creatable.
    static QString makeSureCreatCustomDir(const QString& folder, const QString& name);
    // Creates the folder (and parents) when missing. True when it exists afterwards.
    static bool makeSureDirCreated(const QString& path);
    // The user's standard folder of that name ("Pictures", "Documents",
    // "Desktop", "Downloads", "Music", "Movies"); null for another name.
    static QString userUiDispAppDirectory(const QString& name);
};
