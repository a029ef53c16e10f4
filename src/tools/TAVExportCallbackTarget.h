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

    virtual ~TAVExportCallbackTarget() = default;

    // Exports the selected images with the user's choices. False only when
    // `path` is empty (nothing was done); every file that could not be
    // written is added to `failures`, so a partial export never reads as a
    // complete one. `customSelectedKeys` is set only for a custom export.
    virtual bool exportExif(int32_t type, bool cvs, const QString& path, bool oneLineOneFileMode, bool isMergeInOneFile,
        const std::optional<QStringList>& customSelectedKeys, QList<Failure>& failures)
        = 0;
};
