#pragma once

#include "models/image/TAVImageObject.h"

#include <QList>

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

    // The targets whose files now hold the source's metadata (or already held
    // it); the owner imports them again, so their working copies follow.
    virtual void didCloneWindowControllerFinishClone(const QList<TAVImageObjectPtr>& images) { (void)images; }
};
