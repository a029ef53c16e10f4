#pragma once

#include "views/FDDropViewDelegate.h"

#include <QStringList>
#include <QWidget>

#include <optional>

class QMimeData;

// A drop target for files: it accepts a drag of local files while it is
// enabled, the number of files is allowed and every file's type (by its
// extension) is one of the allowed MIME types, and tells its delegate when
// such a drag enters, when any drag leaves and when files are dropped. It
// always draws a dashed box with a downward arrow and a prompt.
//
// Allowed types are MIME names; "image/*" (any "major/*") stands for every
// type of that major kind. No list accepts every file.
class FDDropView : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* promptText = "Drop some images to clone metadata";

    explicit FDDropView(QWidget* parent = nullptr);

    const std::optional<QStringList>& allowedFileTypes() const { return allowedFileTypes_; }
    void setAllowedFileTypes(const std::optional<QStringList>& types) { allowedFileTypes_ = types; }
    FDDropViewDelegate* delegate() const { return delegate_; }
    void setDelegate(FDDropViewDelegate* delegate) { delegate_ = delegate; }
    bool multipleFilesAllowed() const { return multipleFilesAllowed_; }
    void setMultipleFilesAllowed(bool allowed) { multipleFilesAllowed_ = allowed; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }

    // Whether a drag of these paths would be accepted now.
    bool isDragAllowed(const QStringList& paths) const;
    // The local file paths a drag carries; empty when it carries anything else.
    static std::optional<QStringList> filePaths(const QMimeData* data);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool conforms(const QString& path) const;

    bool multipleFilesAllowed_ = true;
    bool enabled_ = true;
    std::optional<QStringList> allowedFileTypes_;
    FDDropViewDelegate* delegate_ = nullptr;
    // Qt's leave event carries no data: the paths of the last enter or move.
    QStringList lastPaths_;
};
