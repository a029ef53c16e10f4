// Opening the tool sheets and answering what they ask of the window.
#include "app/TAVMainWindowCtlr.h"

#include "app/TAVPhotosViewCltr.h"
#include "tools/TAVClonWindowController.h"
#include "tools/TAVExportOperation.h"
#include "tools/TAVExportWindowController.h"
#include "tools/TAVRenameWindowController.h"
#include "tools/TAVReplaceWindowController.h"

void TAVMainWindowCtlr::clickRenameFiles()
{
    const TAVImageObjectPtr example = marySelectedImgs_.isEmpty() ? nullptr : marySelectedImgs_.first();
    renameViewCtlr_ = std::make_unique<TAVRenameWindowController>(example, this);
    beginSheetWindow(renameViewCtlr_->window());
}

void TAVMainWindowCtlr::clickReplace()
{
    replaceViewCtlr_ = std::make_unique<TAVReplaceWindowController>(curExifData_);
    replaceViewCtlr_->setImgExifData(curExifData_);
    beginSheetWindow(replaceViewCtlr_->window());
}

void TAVMainWindowCtlr::clickCloneMetadata()
{
    if (!cloneWndCltr_)
        cloneWndCltr_ = std::make_unique<TAVClonWindowController>(this);
    beginSheetWindow(cloneWndCltr_->window());
}

void TAVMainWindowCtlr::clickExportMetadata()
{
    if (!exportViewCtlr_)
        exportViewCtlr_ = std::make_unique<TAVExportWindowController>();
    exportViewCtlr_->setupCallbackTarget(this, static_cast<uint64_t>(marySelectedImgs_.size()), curExifData_);
    beginSheetWindow(exportViewCtlr_->window());
}

bool TAVMainWindowCtlr::exportExif(int32_t type, bool cvs, const QString& path, bool oneLineOneFileMode,
    bool isMergeInOneFile, const std::optional<QStringList>& customSelectedKeys, Outcome& outcome)
{
    TAVExportOperation operation(marySelectedImgs_);
    const bool done = operation.exportExif(type, cvs, path, oneLineOneFileMode, isMergeInOneFile, customSelectedKeys);
    outcome = operation.outcome();
    return done;
}

QList<TAVImageObjectPtr> TAVMainWindowCtlr::imagesToApply(bool allImages) const
{
    return allImages ? photos_->maryDataSource() : marySelectedImgs_;
}

QList<TAVImageObjectPtr> TAVMainWindowCtlr::renameWndControllerAskForImagesToApply(bool allImages)
{
    return imagesToApply(allImages);
}

std::optional<QList<TAVImageObjectPtr>> TAVMainWindowCtlr::didCloneWindowControllerAskForApplyImage(bool allImages)
{
    return imagesToApply(allImages);
}

// An apply from a record without a time shift leaves the state at 1 while
// entries stay modified: the entries are asked too, or a re-import would drop
// those edits without a word.
bool TAVMainWindowCtlr::hasUnsaveModified(bool allImages)
{
    for (const TAVImageObjectPtr& image : imagesToApply(allImages)) {
        const TAVExifDataPtr& record = image->exifData();
        if (!record)
            continue;
        if (record->enuModifyState() == TAVExifData::StateModified
            || record->enuModifyState() == TAVExifData::StateShown)
            return true;
        if (record->hasEditedEntries())
            return true;
    }
    return false;
}

void TAVMainWindowCtlr::reloadedAllRenamedFiles(const QList<TAVImageObjectPtr>& renamedImages)
{
    reimportRenamedImages(renamedImages);
}

bool TAVMainWindowCtlr::reimportRenamedImages(const QList<TAVImageObjectPtr>& images)
{
    if (images.isEmpty())
        return false;
    // A copy: the list may be the photo list's own, which the removal changes.
    const QList<TAVImageObjectPtr> handled = images;
    QStringList paths;
    // The selection follows its images to their files imported again.
    reselectAfterImport_.clear();
    for (const TAVImageObjectPtr& image : std::as_const(marySelectedImgs_)) {
        const bool again = handled.contains(image) && !image->renamedPath().isEmpty();
        reselectAfterImport_.append(again ? image->renamedPath() : image->srcPath());
    }
    for (const TAVImageObjectPtr& image : handled) {
        if (!image->renamedPath().isEmpty())
            paths.append(image->renamedPath());
        // Its file is imported afresh: what the old copy held goes with it,
        // so the list has nothing unsaved to ask about.
        image->restore();
    }
    // Those the search hides go too: each file gets one row, made afresh.
    photos_->removeImageObjects(handled);
    if (!paths.isEmpty())
        photos_->addImagesFromDirectory(paths);
    photos_->reload();
    return true;
}

void TAVMainWindowCtlr::didCloneWindowControllerFinishClone(const QList<TAVImageObjectPtr>& images)
{
    for (const TAVImageObjectPtr& image : images)
        image->setRenamedPath(image->srcPath());
    reimportRenamedImages(images);
}
