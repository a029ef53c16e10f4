#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// What the export sheet calls when the user presses Export: the main window,
// which exports its selected images. A sheet without a target exports nothing.
class TAVExportCallbackTarget {
public:
    // A file the export could not write, and why.
    struct Failure {
        QString file;
        QString reason;
        bool operator==(const Failure&) const = default;
    };
    // What an export did, for the sheet to tell the user.
    struct Outcome {
        QList<Failure> failures;
        // The names of the files written, in the order they were written.
        QStringList written;
        // The user chose Cancel when asked about files already in the
        // folder: nothing was written.
        bool cancelled = false;
    };

    virtual ~TAVExportCallbackTarget() = default;

    // Exports the selected images with the user's choices. False only when
    // `path` is empty (nothing was done); every file written and every file
    // that could not be written is in `outcome`, so a partial export never
    // reads as a complete one. `customSelectedKeys` is set only for a custom
    // export.
    virtual bool exportExif(int32_t type, bool cvs, const QString& path, bool oneLineOneFileMode, bool isMergeInOneFile,
        const std::optional<QStringList>& customSelectedKeys, Outcome& outcome)
        = 0;
};
