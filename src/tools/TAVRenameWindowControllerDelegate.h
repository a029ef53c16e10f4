#pragma once

#include "models/image/TAVImageObject.h"

#include <QList>
#include <QString>

// What the rename sheet asks of the window that opened it (the main window).
// The sheet calls every operation without asking first, so each one must be
// answered.
class TAVRenameWindowControllerDelegate {
public:
    virtual ~TAVRenameWindowControllerDelegate() = default;

    // True when an image the rename would take (all images of the list when
    // `allImages` is set, else the selection) has unsaved changes.
    virtual bool hasUnsaveModified(bool allImages) = 0;
    // Asks before the rename moves the files of every photo of the list: how
    // many they are and how many of them the list's search hides. `what`
    // names the photos with "%1"; `consequence` follows the count. True to go on.
    virtual bool confirmWholeListChange(
        const QString& title, const QString& what, const QString& action, const QString& consequence)
        = 0;
    // The images to rename: the whole photo list when `allImages` is set,
    // else the selection.
    virtual QList<TAVImageObjectPtr> renameWndControllerAskForImagesToApply(bool allImages) = 0;
    // The images whose files were copied under their new names (possibly
    // none); each one's `renamedPath` names its copy.
    virtual void reloadedAllRenamedFiles(const QList<TAVImageObjectPtr>& renamedImages) = 0;
};
