// Clear, restore, apply to all, the save loop and the progress sheet that
// the save, import and filename loops share.
#include "app/TAVMainWindowCtlr.h"

#include "app/TAVDetailViewCtlr.h"
#include "app/TAVExposureViewCtlr.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSaveFailureReport.h"
#include "app/TAVSummaryViewCtlr.h"
#include "commlib/TAVBaseTabViewCltr.h"
#include "commlib/VXProgressWindowController.h"
#include "foundation/Dispatch.h"
#include "foundation/HeapServices.h"
#include "foundation/UiServices.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <iterator>

namespace {

// A photo whose failed edits were taken back has nothing to save: saving it
// again would only repeat a failure the user already dealt with.
bool restoredAfterFailedSave(const TAVImageObjectPtr& image)
{
    return image->exifData() && image->exifData()->enuModifyState() == TAVExifData::StateUnchanged
        && !image->lastSaveFailure().isEmpty();
}

QString savingMakesItPermanent()
{
    return QStringLiteral(" Saving then makes the change permanent.");
}

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

bool TAVMainWindowCtlr::confirmWholeListChange(
    const QString& title, const QString& what, const QString& action, const QString& consequence)
{
    const qsizetype count = photos_->maryDataSource().size();
    if (!UiServices::shared() || count == 0)
        return count > 0;
    return askBeforeChanging(photos_->maryDataSource(), title,
        what.arg(count == 1 ? QStringLiteral("the one photo") : QStringLiteral("all %1 photos").arg(count)), action,
        consequence);
}

bool TAVMainWindowCtlr::askBeforeChanging(const QList<TAVImageObjectPtr>& concerned, const QString& title,
    QString message, const QString& action, const QString& consequence)
{
    // The list's search shows only part of the list, but the command changes
    // photos of all of it: say how many of them the user cannot see.
    const qsizetype hidden = hiddenBySearch(concerned);
    if (hidden > 0) {
        message += hidden == 1
            ? QStringLiteral(" 1 of them is hidden by the search \"%1\".").arg(photos_->searchField()->text())
            : QStringLiteral(" %1 of them are hidden by the search \"%2\".")
                  .arg(hidden)
                  .arg(photos_->searchField()->text());
    }
    message += consequence;
    UiServices::AlertRequest question;
    question.title = title;
    question.message = message;
    question.buttons = {action, QStringLiteral("Cancel")};
    // Return must not change photos the user may not even see.
    question.defaultButton = 1;
    question.parent = mainWindow_;
    return UiServices::shared()->runAlert(question) == UiServices::FirstButton;
}

qsizetype TAVMainWindowCtlr::hiddenBySearch(const QList<TAVImageObjectPtr>& images) const
{
    if (!photos_->isSearchState())
        return 0;
    QSet<const TAVImageObject*> shown;
    for (const TAVImageObjectPtr& image : photos_->getDataSourceForCurrentState())
        shown.insert(image.get());
    return std::count_if(images.cbegin(), images.cend(),
        [&shown](const TAVImageObjectPtr& image) { return !shown.contains(image.get()); });
}

void TAVMainWindowCtlr::doClear(bool wholeList, int kind)
{
    commitTypedText();
    if (wholeList) {
        static const QStringList parts = {QStringLiteral("all metadata"), QStringLiteral("the Exif metadata"),
            QStringLiteral("the GPS metadata"), QStringLiteral("the IPTC metadata")};
        const QString part = parts.value(kind, parts.first());
        if (!confirmWholeListChange(QStringLiteral("Clear %1 of every photo in the list?").arg(part),
                QStringLiteral("This clears %1 of %2.").arg(part, QStringLiteral("%1")), QStringLiteral("Clear All"),
                savingMakesItPermanent()))
            return;
    }
    const QList<TAVImageObjectPtr> images = wholeList ? photos_->maryDataSource() : marySelectedImgs_;
    for (const auto& image : images)
        image->clear(static_cast<uint64_t>(kind));
    refreshUI();
    TAVBaseTabViewCltr::setPendingEdits(false);
}

void TAVMainWindowCtlr::doRestore(bool wholeList)
{
    commitTypedText();
    if (wholeList && !confirmRestoreAll())
        return;
    const QList<TAVImageObjectPtr> images = wholeList ? photos_->maryDataSource() : marySelectedImgs_;
    for (const auto& image : images)
        image->restore();
    refreshUI();
    TAVBaseTabViewCltr::setPendingEdits(false);
}

bool TAVMainWindowCtlr::confirmRestoreAll()
{
    const QList<TAVImageObjectPtr> unsaved = imagesWithUnsavedEdits();
    // Nothing to lose: the restore goes ahead without a question.
    if (unsaved.isEmpty() || !UiServices::shared())
        return true;
    const qsizetype listed = photos_->maryDataSource().size();
    QString whose;
    if (unsaved.size() == listed)
        whose = listed == 1 ? QStringLiteral("the one photo") : QStringLiteral("all %1 photos").arg(listed);
    else
        whose = QStringLiteral("%1 of the %2 photos").arg(unsaved.size()).arg(listed);
    return askBeforeChanging(unsaved, QStringLiteral("Restore every photo in the list?"),
        QStringLiteral("This throws away the unsaved changes of %1 in the list.").arg(whose),
        QStringLiteral("Restore All"), QStringLiteral(" This cannot be undone."));
}

void TAVMainWindowCtlr::clickApplyToAll()
{
    commitTypedText();
    if (!confirmWholeListChange(QStringLiteral("Apply the changes shown to every photo in the list?"),
            QStringLiteral("This applies the changes shown to %1."), QStringLiteral("Apply To All"),
            savingMakesItPermanent()))
        return;
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

void TAVMainWindowCtlr::commitTypedText()
{
    // Typed text reaches the photos only when its field's editing ends; the
    // buttons, menus and keys that act on the photos do not take the focus
    // from the field, so each takes the text first.
    for (TAVBaseTabViewCltr* tab : {static_cast<TAVBaseTabViewCltr*>(summary_),
             static_cast<TAVBaseTabViewCltr*>(exposure_), gps_, static_cast<TAVBaseTabViewCltr*>(detail_)}) {
        if (tab)
            tab->commitTypedText();
    }
}

void TAVMainWindowCtlr::clickSave()
{
    commitTypedText();
    applyModifyToSelectedImages(true);
    saveImagesMetadata(marySelectedImgs_);
}

void TAVMainWindowCtlr::clickSaveAll()
{
    commitTypedText();
    saveImagesMetadata(photos_->maryDataSource());
}

void TAVMainWindowCtlr::saveImagesMetadata(const QList<TAVImageObjectPtr>& images)
{
    doSave(images);
}

void TAVMainWindowCtlr::doSave(const QList<TAVImageObjectPtr>& listed)
{
    if (loopRunning_)
        return;
    // The sheet covers the summary tab, so its choice cannot change meanwhile.
    const bool applyToFileDate = summary_->isApplyToFileCreatedDatetime();
    const QList<TAVImageObjectPtr> images = imagesWithWorkToSave(listed, applyToFileDate);
    showSaveProgressWindow();
    isSaving_->store(true);
    loopRunning_ = true;
    const QPointer<TAVMainWindowCtlr> self(this);
    const std::shared_ptr<std::atomic<bool>> saving = isSaving_;
    const auto failures = std::make_shared<TAVSaveFailureReport>();
    const auto keptXmp = std::make_shared<KeptXmp>();
    Dispatch::async([images, self, saving, applyToFileDate, failures, keptXmp] {
        {
            // Files changed by another program are named, with the other
            // failures, in the loop's one alert at the end.
            TAVImageObject::ChangedFilesAlert changedFiles(false);
            const qsizetype count = images.size();
            for (qsizetype i = 0; i < count && saving->load(); ++i) {
                const TAVImageObjectPtr& image = images.at(i);
                image->exifData()->setIsApplyToFileCreatedDateTime(applyToFileDate);
                const bool clearsPosition = image->exifData()->isGpsClear();
                if (!image->saveMetadataToImage())
                    failures->add(QFileInfo(image->srcPath()).fileName(), image->lastSaveFailure());
                else if (image->lastSaveFoundNoDateToShift())
                    failures->addUnshifted(QFileInfo(image->srcPath()).fileName());
                if (image->lastSaveKeptXmp()) {
                    keptXmp->names.append(QFileInfo(image->srcPath()).fileName());
                    if (clearsPosition)
                        keptXmp->positionNames.append(keptXmp->names.last());
                }
                // Waits for the report, where the sheet takes a Cancel: a
                // cancel stops the loop before the next file is written.
                Dispatch::syncMain([self, i, count] {
                    if (self)
                        self->updateSaveProgress(double(i) / double(count));
                });
            }
        }
        Dispatch::asyncMain([self, failures, keptXmp] {
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
            self->tellKeptXmp(*keptXmp);
            self->finishLoop();
        });
    });
}

QList<TAVImageObjectPtr> TAVMainWindowCtlr::imagesWithWorkToSave(
    const QList<TAVImageObjectPtr>& listed, bool applyToFileDate)
{
    // Picked here, on the GUI thread, before the loop starts: a save of a
    // photo with nothing to write still replaced its file by the same bytes,
    // read it again and waited for the window, so a Save All of a few edited
    // photos among thousands took as long as saving them all. A file that is
    // to take its photo's date has that much to write, edited or not.
    QList<TAVImageObjectPtr> images;
    std::copy_if(
        listed.begin(), listed.end(), std::back_inserter(images), [applyToFileDate](const TAVImageObjectPtr& image) {
            return image->exifData() && !restoredAfterFailedSave(image)
                && (applyToFileDate || image->exifData()->hasUnsavedWork());
        });
    return images;
}

void TAVMainWindowCtlr::tellKeptXmp(const KeptXmp& kept)
{
    UiServices* ui = UiServices::shared();
    if (kept.names.isEmpty() || !ui)
        return;
    UiServices::AlertRequest notice;
    notice.title = QStringLiteral("XMP metadata kept");
    notice.message = TAVImageObject::keptXmpNotice(kept.names);
    // A cleared position is gone from EXIF, but a packet that could not be
    // read keeps its own copy: the user must not think the place is gone.
    if (kept.positionNames.size() == 1 && kept.names.size() == 1)
        notice.message += QStringLiteral(
            ". Its GPS position was cleared from EXIF only: the position its XMP holds is still in the file.");
    else if (!kept.positionNames.isEmpty())
        notice.message += QStringLiteral(". The GPS position of %1 was cleared from EXIF only: the position the XMP "
                                         "holds is still in each file.")
                              .arg(kept.positionNames.join(QStringLiteral(", ")));
    notice.buttons = {QStringLiteral("Dismiss")};
    notice.style = UiServices::AlertStyle::Informational;
    notice.parent = mainWindow_;
    ui->runAlert(notice);
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
// Only the image's own row is read again: the whole list, told of every photo
// a loop saves, cost a walk of every row each time (about 1 ms with 5,000
// photos, twice a photo, the worker waiting).
void TAVMainWindowCtlr::imageObjectHasModified(TAVImageObject* imageObject)
{
    photos_->reloadImage(imageObject);
}

void TAVMainWindowCtlr::imageObjectFinishSave(TAVImageObject* imageObject)
{
    photos_->reloadImage(imageObject);
}

void TAVMainWindowCtlr::finishLoop()
{
    loopRunning_ = false;
    // A loop keeps nothing once it has ended: the many small blocks its
    // workers freed go back to the system once the views have taken the new
    // rows (its large ones went as they were freed).
    QTimer::singleShot(0, this, &HeapServices::returnFreedMemory);
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
    // The same rule as Save All's: an edit an Apply To All left under an
    // unchanged state is still unsaved, and quitting must not drop it unasked.
    for (const auto& image : photos_->maryDataSource()) {
        if (image->exifData() && image->exifData()->hasUnsavedWork())
            unsaved.append(image);
    }
    return unsaved;
}

bool TAVMainWindowCtlr::closeRequestedWithUnsavedEdits(QEvent* event)
{
    if (event->type() != QEvent::Close)
        return false;
    // An edit typed into a field but not yet handed to the images counts too.
    commitTypedText();
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
