// Filename to tags: each selected image's file name becomes its title tags.
#include "app/TAVMainWindowCtlr.h"

#include "commlib/VXProgressWindowController.h"
#include "foundation/Dispatch.h"
#include "foundation/UiServices.h"

#include <QFileInfo>
#include <QTimer>

namespace {

const QString kXpTitle = QStringLiteral("Exif.Image.XPTitle");
const QString kObjectName = QStringLiteral("Iptc.Application2.ObjectName");

} // namespace

void TAVMainWindowCtlr::clickFileNameToTag()
{
    UiServices* ui = UiServices::shared();
    if (!ui)
        return;
    const QPointer<TAVMainWindowCtlr> self(this);
    ui->showSheetModalForWindow(
        mainWindow_, QStringLiteral("Apply the file names to the Title field?"),
        QStringLiteral("Do you really want to apply the name of file(s) to the Title field?"),
        UiServices::AlertStyle::Informational, QStringLiteral("Cancel"), {QStringLiteral("OK")},
        [self](int) {
            // The progress sheet goes up once the alert is down.
            QTimer::singleShot(0, self, [self] {
                if (self)
                    self->doApplyFileNameToTitleField();
            });
        },
        nullptr);
}

void TAVMainWindowCtlr::startShowProgressWhenApplyingFilenameToTitleFile()
{
    beginProgressSheet(QStringLiteral("Apply Filename to the Title field...."),
        &TAVMainWindowCtlr::clickCancelApplyFilenameToTitleField);
}

void TAVMainWindowCtlr::clickCancelApplyFilenameToTitleField()
{
    cancelApplyFileNameToTitle_->store(true);
    endProgressWindow();
}

// The worker only paces the loop: each image's record is written on the GUI
// thread in its hand-over, never while the window may be reading it.
void TAVMainWindowCtlr::doApplyFileNameToTitleField()
{
    if (marySelectedImgs_.isEmpty() || loopRunning_)
        return;
    cancelApplyFileNameToTitle_->store(false);
    startShowProgressWhenApplyingFilenameToTitleFile();
    loopRunning_ = true;
    const QList<TAVImageObjectPtr> images = marySelectedImgs_;
    const QPointer<TAVMainWindowCtlr> self(this);
    const std::shared_ptr<std::atomic<bool>> cancel = cancelApplyFileNameToTitle_;
    Dispatch::async([images, self, cancel] {
        const qsizetype count = images.size();
        for (qsizetype i = 0; i < count && !cancel->load(); ++i) {
            Dispatch::syncMain([&images, self, i, count] {
                if (!self)
                    return;
                const TAVImageObjectPtr& image = images.at(i);
                // The user's file name: a working copy made beside an older
                // one carries a "(1)" the user never chose.
                const QString name = QFileInfo(image->imageTitle()).completeBaseName();
                if (!name.isEmpty() && image->exifData()) {
                    image->exifData()->setValue(name, kXpTitle, TAVExifData::CategoryOther, true, true, true);
                    image->exifData()->setValue(name, kObjectName, TAVExifData::CategorySummary, true, true, true);
                }
                self->updateSaveProgress(double(i + 1) / double(count));
            });
        }
        Dispatch::asyncMain([self] {
            if (!self)
                return;
            self->endProgressWindow();
            self->refreshUI();
            self->finishLoop();
        });
    });
}
