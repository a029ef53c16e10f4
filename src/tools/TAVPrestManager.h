#pragma once

#include "models/record/TAVExifData.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// The presets on disk: one keyed archive per preset, "<name>.data" in the
// Presets folder of the application's support folder, whose root object is
// the preset's record. Nothing is kept in memory: every query reads the
// folder again, so the presets pop-up and the sheets always see the disk.
//
// Callers rely on:
// - Loading never deletes. Only "*.data" files that do not begin with "." are
//   read; an unreadable one, or one whose root is not a record, is skipped
//   (with a log line) and stays on disk for a version that can read it.
// - The listing order is the file name ignoring case, ties by exact
//   comparison, so lists built from it are stable.
// - Names that are not valid preset names (isValidPresetName) are refused, so
//   nothing is read, written or deleted outside the folder.
// - A file is replaced only by a complete new one, and a rename writes the
//   new file before it removes the old one.
// Main thread only.
class TAVPrestManager {
public:
    static TAVPrestManager* sharedInstance();

    TAVPrestManager(const TAVPrestManager&) = delete;
    TAVPrestManager& operator=(const TAVPrestManager&) = delete;

    // The folder, created when missing; null when it cannot be made.
    QString presetsDataSavePath() const;

    // nullopt when the folder is missing or holds nothing at all; otherwise
    // the readable presets (possibly none), in listing order.
    std::optional<QList<TAVExifDataPtr>> loadPresets() const;

    // Stores the record under its name, replacing a file of that name. The
    // record's entries lose their modified and clear marks first (state 1),
    // and values of nothing but white space become empty.
    bool addPreset(const TAVExifDataPtr& record) const;
    // Removes the file of that name; a missing file or a refused name does nothing.
    void deletePreset(const QString& name) const;
    // Stores the record under `newName` and then removes its old file. False,
    // with nothing changed on disk or in the record, for an absent record, a
    // refused name, a name another preset file holds, or a failed write.
    // Renaming to its own name rewrites the file.
    bool updatePreset(const TAVExifDataPtr& record, const QString& newName) const;
    // The first preset in listing order whose record carries that name.
    TAVExifDataPtr presetWithName(const QString& name) const;

    // Not empty, one path component, not beginning with "." (it would be hidden
    // from every later load), and "<name>.data" fits in a file name.
    static bool isValidPresetName(const QString& name);

private:
    TAVPrestManager();

    // The file of a preset name in `folder`.
    static QString presetFilePath(const QString& folder, const QString& name);
    static bool writePreset(const TAVExifData& record, const QString& path);
    static QString folderPath();
    // Hands the readable presets to `visit` in listing order until it answers
    // false. False when the folder is missing or holds nothing at all.
    static bool readPresets(const std::function<bool(const TAVExifDataPtr&)>& visit);
};
