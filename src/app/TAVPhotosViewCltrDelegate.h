#pragma once

#include "models/image/TAVImageObject.h"

#include <QList>

class TAVPhotosViewCltr;

// What the photo list tells its owner (the main window). Every operation has
// an empty default, so an owner overrides only what it wants to hear about.
// All of them arrive on the GUI thread, also while an import runs.
class TAVPhotosViewCltrDelegate {
public:
    virtual ~TAVPhotosViewCltrDelegate() = default;

    // Once per import, before the first file is handled.
    virtual void photosViewCltrStartImportImages(TAVPhotosViewCltr* /*cltr*/) { }
    // After each path of an import: 0, 1/N, ..., (N-1)/N (never 1).
    virtual void photosViewCltrImportImagesWithProgres(TAVPhotosViewCltr* /*cltr*/, float /*progress*/) { }
    // Once, after an import finished or was cancelled, with the whole list.
    virtual void photosViewCltrDidImportedImage(TAVPhotosViewCltr* /*cltr*/, const QList<TAVImageObjectPtr>& /*images*/)
    {
    }
    // After every selection change: the selected rows of the shown list, ascending.
    virtual void photosViewCltrDidSelectedImages(TAVPhotosViewCltr* /*cltr*/, const QList<int>& /*indexes*/) { }
    // Before the list asks whether to remove photos: text typed for them and
    // not yet taken must count as the unsaved edit it is.
    virtual void photosViewCltrWillRemoveImages(TAVPhotosViewCltr* /*cltr*/) { }
    // After every removal, with the images that left the list.
    virtual void photosViewCltrDidRemoveImages(TAVPhotosViewCltr* /*cltr*/, const QList<TAVImageObjectPtr>& /*images*/)
    {
    }
};
