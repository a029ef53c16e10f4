// Clear, restore, apply to all, the save loop and the progress sheet that
// the save, import and filename loops share.
#include "app/TAVMainWindowCtlr.h"

#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSaveFailureReport.h"
#include "app/TAVSummaryViewCtlr.h"
#include "commlib/TAVBaseTabViewCltr.h"
#include "commlib/VXProgressWindowController.h"
#include "foundation/Dispatch.h"
#include "foundation/UiServices.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>

namespace {

const QString kNoDateToShift = QStringLiteral("It holds no date, so its time was not shifted");

} // namespace

void TAVMainWindowCtlr::clickClear()
{
    doClear(false, 0);
}

void TAVMainWindowCtlr::clickClearKind(int kind)
{
    doClear(false, kind);
}

void TAVMainWindowCtlr::clickClearAll()
{
    doClear(true, 0);
}

void TAVMainWindowCtlr::onMenuClick(QAction* item)
{
    if (item)
        doClear(true, item->data().toInt());
}

void TAVMainWindowCtlr::clickRestore()
{
    doRestore(false);
}

void TAVMainWindowCtlr::clickRestoreAll()
{
    doRestore(true);
}

void TAVMainWindowCtlr::doClear(bool wholeList, int kind)
{
    const QList<TAVImageObjectPtr> images = wholeList ? photos_->maryDataSource() : marySelectedImgs_;
    for (const auto& image : images)
        image->clear(static_cast<uint64_t>(kind));
    refreshUI();
    TAVBaseTabViewCltr::setPendingEdits(false);
}

void TAVMainWindowCtlr::doRestore(bool wholeList)
{
    const QList<TAVImageObjectPtr> images = wholeList ? photos_->maryDataSource() : marySelectedImgs_;
    for (const auto& image : images)
        image->restore();
    refreshUI();
    TAVBaseTabViewCltr::setPendingEdits(false);
}

void TAVMainWindowCtlr::clickApplyToAll()
{
    // One copy made before the loop: every image gets the same entries, also
    // when the shown record is one of the images' own.
    const TAVExifDataPtr copy = curExifData_->copy();
    for (const auto& image : photos_->maryDataSource()) {
        if (image->exifData())
            image->exifData()->applyChangeValueFromExifData(*copy);
    }
    refreshUI();
    TAVBaseTabViewCltr::setPendingEdits(false);
}

void TAVMainWindowCtlr::clickSave()
{
    applyModifyToSelectedImages(true);
    saveImagesMetadata(marySelectedImgs_);
}

void TAVMainWindowCtlr::clickSaveAll()
{
    saveImagesMetadata(photos_->maryDataSource());
}

void TAVMainWindowCtlr::saveImagesMetadata(const QList<TAVImageObjectPtr>& images)
{
    doSave(images);
}

void TAVMainWindowCtlr::doSave(const QList<TAVImageObjectPtr>& images)
{
    if (loopRunning_)
        return;
    showSaveProgressWindow();
    isSaving_->store(true);
    loopRunning_ = true;
    // The sheet covers the summary tab, so its choice cannot change meanwhile.
    const bool applyToFileDate = summary_->isApplyToFileCreatedDatetime();
    const QPointer<TAVMainWindowCtlr> self(this);
    const std::shared_ptr<std::atomic<bool>> saving = isSaving_;
    const auto failures = std::make_shared<TAVSaveFailureReport>();
    Dispatch::async([images, self, saving, applyToFileDate, failures] {
        {
            // Files changed by another program are named, with the other
            // failures, in the loop's one alert at the end.
            TAVImageObject::ChangedFilesAlert changedFiles(false);
            const qsizetype count = images.size();
            for (qsizetype i = 0; i < count && saving->load(); ++i) {
                const TAVImageObjectPtr& image = images.at(i);
                image->exifData()->setIsApplyToFileCreatedDateTime(applyToFileDate);
                if (!image->saveMetadataToImage())
                    failures->add(QFileInfo(image->srcPath()).fileName(), image->lastSaveFailure());
                else if (image->lastSaveFoundNoDateToShift())
                    failures->add(QFileInfo(image->srcPath()).fileName(), kNoDateToShift);
                Dispatch::syncMain([self, i, count] {
                    if (self)
                        self->updateSaveProgress(double(i) / double(count));
                });
            }
        }
        Dispatch::syncMain([self, failures] {
            if (!self)
                return;
            // The engine used each saved image's time shift up. The common
            // record of several images takes its shift from the summary tab:
            // turn the tab's shift off first, or the next edit would hand it
            // out again and a retry would move the dates a second time.
            if (self->marySelectedImgs_.size() > 1 && self->curExifData_) {
                self->curExifData_->setCreatedDateTimeOffset(std::nullopt);
                self->summary_->setImgExifData(self->curExifData_);
            }
            self->refreshUI();
            self->photos_->reloadViewByAutoDetectSegementSelected();
            self->endProgressWindow();
            // Each failure is told once, after the sheet is gone; the list's
            // State cell keeps the reason in its tooltip.
            failures->show(self->mainWindow_);
            self->finishLoop();
        });
    });
}

VXProgressWindowController* TAVMainWindowCtlr::progressWindowController()
{
    if (!progress_)
        progress_ = std::make_unique<VXProgressWindowController>();
    return progress_.get();
}

void TAVMainWindowCtlr::beginProgressSheet(const QString& message, void (TAVMainWindowCtlr::*onCancel)())
{
    VXProgressWindowController* sheet = progressWindowController();
    sheet->tfPrgTips()->setText(message);
    disconnect(progressCancel_);
    progressCancel_
        = connect(sheet->btnCancel(), &QPushButton::clicked, this, [this, onCancel] { (this->*onCancel)(); });
    sheet->setProgressValue(0);
    beginSheetWindow(sheet->window());
}

void TAVMainWindowCtlr::showSaveProgressWindow()
{
    beginProgressSheet(QStringLiteral("Image's metadata is Saving..."), &TAVMainWindowCtlr::clickSaveCancel);
}

void TAVMainWindowCtlr::updateSaveProgress(double progress)
{
    if (progress_)
        progress_->setProgressValue(progress);
}

void TAVMainWindowCtlr::endProgressWindow()
{
    // Ending a sheet that is not up does nothing.
    if (progress_ && progress_->isWindowLoaded())
        endSheetWindow(progress_->window());
}

void TAVMainWindowCtlr::clickSaveCancel()
{
    // The image being saved finishes; the loop's last step ends the sheet.
    isSaving_->store(false);
}

void TAVMainWindowCtlr::clickImportCancel()
{
    photos_->setIsCancel(true);
    endProgressWindow();
}

void TAVMainWindowCtlr::photosViewCltrStartImportImages(TAVPhotosViewCltr*)
{
    beginProgressSheet(QStringLiteral("Importing images..."), &TAVMainWindowCtlr::clickImportCancel);
}

void TAVMainWindowCtlr::photosViewCltrImportImagesWithProgres(TAVPhotosViewCltr*, float progress)
{
    progressWindowController()->setProgressValue(progress);
}

void TAVMainWindowCtlr::photosViewCltrDidImportedImage(TAVPhotosViewCltr*, const QList<TAVImageObjectPtr>& images)
{
    refreshButtonsEnable();
    for (const auto& image : images)
        image->setDelegate(this);
    endProgressWindow();
    reselectImportedAgain();
}

void TAVMainWindowCtlr::reselectImportedAgain()
{
    if (reselectAfterImport_.isEmpty())
        return;
    QList<int> rows;
    const QList<TAVImageObjectPtr>& shown = photos_->getDataSourceForCurrentState();
    for (int row = 0; row < shown.size(); ++row) {
        if (reselectAfterImport_.contains(shown.at(row)->srcPath()))
            rows.append(row);
    }
    reselectAfterImport_.clear();
    if (!rows.isEmpty())
        photos_->selectIndexes(rows);
}

// Both arrive through the image's synchronous hand-over while a loop's worker
// waits: the list reads the records now, not later while the next one is written.
void TAVMainWindowCtlr::imageObjectHasModified(TAVImageObject*)
{
    photos_->reloadViewByAutoDetectSegementSelected();
}

void TAVMainWindowCtlr::imageObjectFinishSave(TAVImageObject*)
{
    photos_->reloadViewByAutoDetectSegementSelected();
}

void TAVMainWindowCtlr::finishLoop()
{
    loopRunning_ = false;
    if (closeAfterLoop_) {
        closeAfterLoop_ = false;
        mainWindow_->close();
    }
    // Closes only when the save left nothing unsaved: after a failure or a
    // cancel the window stays, with the edits.
    if (closeAfterSave_) {
        closeAfterSave_ = false;
        if (imagesWithUnsavedEdits().isEmpty())
            mainWindow_->close();
    }
}

QList<TAVImageObjectPtr> TAVMainWindowCtlr::imagesWithUnsavedEdits() const
{
    QList<TAVImageObjectPtr> unsaved;
    for (const auto& image : photos_->maryDataSource()) {
        const auto state = image->exifData() ? image->exifData()->enuModifyState() : TAVExifData::StateUnchanged;
        if (state == TAVExifData::StateModified || state == TAVExifData::StateSaveFailed)
            unsaved.append(image);
    }
    return unsaved;
}

bool TAVMainWindowCtlr::closeRequestedWithUnsavedEdits(QEvent* event)
{
    if (event->type() != QEvent::Close)
        return false;
    // An edit typed into a field but not yet handed to the images counts too.
    applyModifyToSelectedImages(true);
    const QList<TAVImageObjectPtr> unsaved = imagesWithUnsavedEdits();
    UiServices* ui = UiServices::shared();
    if (unsaved.isEmpty() || !ui)
        return false;
    UiServices::AlertRequest question;
    question.title = unsaved.size() == 1
        ? QStringLiteral("Do you want to save the changes you made to 1 image?")
        : QStringLiteral("Do you want to save the changes you made to %1 images?").arg(unsaved.size());
    question.message = QStringLiteral("Your changes will be lost if you don't save them.");
    question.buttons = {QStringLiteral("Save"), QStringLiteral("Don't Save"), QStringLiteral("Cancel")};
    question.parent = mainWindow_;
    const int answer = ui->runAlert(question);
    if (answer == UiServices::SecondButton)
        return false;
    event->ignore();
    if (answer == UiServices::FirstButton) {
        closeAfterSave_ = true;
        doSave(unsaved);
    }
    return true;
}

// Closing the window while a loop runs cancels the loop; the window closes
// after the loop's last step instead of under a worker still using it.
bool TAVMainWindowCtlr::closeRequestedDuringLoop(QEvent* event)
{
    if (event->type() != QEvent::Close || !loopRunning_)
        return false;
    isSaving_->store(false);
    cancelApplyFileNameToTitle_->store(true);
    closeAfterLoop_ = true;
    event->ignore();
    return true;
}
