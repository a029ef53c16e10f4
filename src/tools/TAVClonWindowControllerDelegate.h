#pragma once

#include "models/image/TAVImageObject.h"

#include <QList>
#include <QString>

#include <optional>

class TAVClonWindowController;

// What the clone sheet asks of the window that made it (the main window).
class TAVClonWindowControllerDelegate {
public:
    virtual ~TAVClonWindowControllerDelegate() = default;

    // True when a target image (every image of the list when `allImages` is
    // set, else the selection) has unsaved changes. Always asked.
    virtual bool hasUnsaveModified(bool allImages) = 0;

    // The target images: the whole photo list when `allImages` is set, else
    // the selection. No answer means nothing is cloned.
    virtual std::optional<QList<TAVImageObjectPtr>> didCloneWindowControllerAskForApplyImage(bool allImages)
    {
        (void)allImages;
        return std::nullopt;
    }

    // Asks before the clone writes the files of every photo of the list: how
    // many they are and how many of them the list's search hides. `what`
    // names the photos with "%1"; `consequence` follows the count. True to go
    // on; a delegate that does not ask writes nothing.
    virtual bool confirmWholeListChange(
        const QString& title, const QString& what, const QString& action, const QString& consequence)
    {
        (void)title;
        (void)what;
        (void)action;
        (void)consequence;
        return false;
    }

    // The targets whose files now hold the source's metadata (or already held
    // it); the owner imports them again, so their working copies follow.
    virtual void didCloneWindowControllerFinishClone(const QList<TAVImageObjectPtr>& images) { (void)images; }
};
