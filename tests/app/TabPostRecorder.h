#pragma once

#include "commlib/TAVBaseTabViewCltr.h"

#include "foundation/NotificationHub.h"

#include <QLabel>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

// Observes the tabs' change notification on the real default hub, as the main
// window does, and keeps (hasModify, needRefresh) of every post.
class TabPostRecorder {
public:
    using Post = std::pair<bool, bool>;

    TabPostRecorder()
    {
        TAVBaseTabViewCltr::setPendingEdits(false);
        NotificationHub::defaultHub().addObserver(
            this, TAVBaseTabViewCltr::kNotiFileMetadataHasChanged, [this](const Notification& note) {
                const bool needRefresh = note.userInfo.value("needRefresh").toBool();
                posts.emplace_back(note.userInfo.value("hasModify").toBool(), needRefresh);
                if (onPost)
                    onPost(needRefresh);
            });
    }
    ~TabPostRecorder()
    {
        NotificationHub::defaultHub().removeObserver(this);
        TAVBaseTabViewCltr::setPendingEdits(false);
    }

    std::vector<Post> posts;
    // Runs after each post is kept, like the main window's answer to it.
    std::function<void(bool needRefresh)> onPost;
};

// The label whose buddy is the control (each field's label names its field).
inline QLabel* labelOf(const QWidget* tab, const QWidget* control)
{
    for (QLabel* label : tab->findChildren<QLabel*>()) {
        if (label->buddy() == control)
            return label;
    }
    return nullptr;
}

inline bool isStyledModified(const QLabel* label)
{
    return label->font().bold() && label->font().italic() && label->font().pointSizeF() == 11.0
        && label->palette().color(QPalette::WindowText) == QColor(0, 0, 255);
}

inline bool isStyledPlain(const QLabel* label)
{
    return !label->font().bold() && !label->font().italic() && label->font().pointSizeF() == 11.0
        && label->palette().color(QPalette::WindowText) == QColor(0, 0, 0);
}
