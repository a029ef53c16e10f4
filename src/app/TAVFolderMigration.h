#pragma once

#include <QString>

// Earlier versions kept everything under ~/.local/share/Lumetta/Lumetta (the
// organisation and the application were both named "Lumetta") and their
// settings in ~/.config/Lumetta/Lumetta.conf. From the start of this version
// the folders are ~/.local/share/lumetta, ~/.config/lumetta and, for working
// copies, ~/.cache/lumetta. A user's settings and presets are carried over by
// copying them to the new place the first time it is still empty; the old
// files stay where they were, so an older version still finds them.
class TAVFolderMigration {
public:
    struct Folders {
        QString oldData; // the old data folder
        QString newData; // the new data folder
        QString oldSettings; // the old settings file
        QString newSettings; // the new settings file
    };

    // The folders of this user (Qt's standard places; private ones in Qt's test mode).
    static Folders standardFolders();
    // Runs before the user defaults are first read.
    static void adoptOldFolders(const Folders& folders);

    // The entries of the old data folder that are not carried over: the
    // working copies, the written-out help page and the instance lock.
    static bool isThrowAway(const QString& name);

private:
    static void adoptSettings(const QString& oldFile, const QString& newFile);
    static void adoptData(const QString& oldFolder, const QString& newFolder);
};
