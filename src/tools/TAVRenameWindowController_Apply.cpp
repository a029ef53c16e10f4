// The rename sheet's Apply (copying the files under their new names), its
// output folder and its help page.
#include "tools/TAVRenameWindowController.h"

#include "tools/TAVRenameWindowControllerDelegate.h"

#include "foundation/FileServices.h"
#include "foundation/UiServices.h"
#include "foundation/VXFileLocalManager.h"
#include "foundation/VXGlobalFunctions.h"
#include "foundation/Workspace.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

// Resources of a static library are registered by hand, outside any namespace.
static void initRenameHelpResource()
{
    Q_INIT_RESOURCE(renamehelp);
}

const QString TAVRenameWindowController::kHelpPageName = QStringLiteral("Lumetta - Rename How To");

namespace {

const QString kOK = QStringLiteral("OK");

} // namespace

// --- Apply ---

QWidget* TAVRenameWindowController::alertParent()
{
    return window();
}

void TAVRenameWindowController::clickApply()
{
    UiServices* services = UiServices::shared();
    const bool allImages = isApplyToAll();
    if (delegate_ != nullptr && delegate_->hasUnsaveModified(allImages)) {
        if (services != nullptr) {
            services->showTipsAlert(QStringLiteral("Save the changes first"),
                QStringLiteral("You have unsaved exif changes for the image(s) to be renamed, please save them first."),
                kOK, QString(), alertParent());
        }
        return;
    }
    // A relative folder would put the copies wherever the program happens to
    // run (and the remove box would then delete the sources).
    const QString folder = outputPath_->text();
    if (!outputFolderIsUsable(folder)) {
        if (services != nullptr) {
            services->showTipsAlert(QStringLiteral("Error"),
                QStringLiteral("Please set the output path and try again."), kOK, QString(), alertParent());
        }
        return;
    }

    if (!confirmMovingWholeList(allImages)) {
        return;
    }
    const QList<TAVImageObjectPtr> images = delegate_ != nullptr
        ? delegate_->renameWndControllerAskForImagesToApply(allImages)
        : QList<TAVImageObjectPtr>();
    QList<TAVImageObjectPtr> renamed;
    const QStringList failures = renameImages(images, folder, &renamed);
    if (delegate_ != nullptr) {
        delegate_->reloadedAllRenamedFiles(renamed);
    }
    if (!failures.isEmpty() && services != nullptr) {
        services->showTipsAlert(QStringLiteral("Errors"),
            QStringLiteral("Some files could not be renamed:\n") + failures.join(QLatin1Char('\n')), kOK, QString(),
            alertParent());
    }
    clickClosePopover();
    endSheetOfSelfWindow();
    clickOpenFolder();
}

bool TAVRenameWindowController::confirmMovingWholeList(bool allImages)
{
    // Copies alone leave every file where it was; removing the originals
    // moves photos the list's search may hide, so the user is asked first.
    if (!allImages || !removeOrignailChk_->isChecked() || delegate_ == nullptr) {
        return true;
    }
    return delegate_->confirmWholeListChange(QStringLiteral("Move every photo in the list to its new name?"),
        QStringLiteral("This copies %1 into the output folder under their new names and removes the original files."),
        QStringLiteral("Rename"), QString());
}

bool TAVRenameWindowController::outputFolderIsUsable(const QString& folder)
{
    return !folder.isEmpty() && QDir::isAbsolutePath(folder);
}

QStringList TAVRenameWindowController::renameImages(
    const QList<TAVImageObjectPtr>& images, const QString& folder, QList<TAVImageObjectPtr>* renamed)
{
    const TAVRenameRootItemPtr setting = getherCurrentRenameSetting();
    const bool removeSource = removeOrignailChk_->isChecked();
    QStringList failures;
    // The index counts every image of the list, skipped ones included.
    for (int32_t index = 0; index < images.size(); ++index) {
        const TAVImageObjectPtr& image = images.at(index);
        if (!image) {
            continue;
        }
        bool copied = false;
        const QString failure = renameImage(image, index, setting, folder, removeSource, &copied);
        if (copied) {
            renamed->append(image);
        }
        if (!failure.isNull()) {
            qCWarning(lcRenameSheet, "%s", qUtf8Printable(failure));
            failures.append(failure);
        }
    }
    return failures;
}

QString TAVRenameWindowController::renameImage(const TAVImageObjectPtr& image, int32_t index,
    const TAVRenameRootItemPtr& setting, const QString& folder, bool removeSource, bool* copied)
{
    const QString source = image->srcPath();
    if (source.isEmpty() || !FileServices::fileExists(source) || FileServices::isFolder(source)) {
        return QStringLiteral("%1: the file is missing").arg(source);
    }
    const QString name = engine_.getRenamedNameString(image.get(), setting, index);
    QString path = QDir(folder).filePath(name);
    const QString extension = QFileInfo(path).suffix();
    // A name without extension ends in "."; the free-path rule adds that dot
    // itself, so it must not be there twice.
    if (extension.isEmpty() && path.endsWith(QLatin1Char('.'))) {
        path.chop(1);
    }
    const QString target = VXGlobalFunctions::makeSureFullPathIdentical(path, extension);
    if (target.isNull()) {
        return QStringLiteral("%1: not copied (the name \"%2\" is not allowed)").arg(source, name);
    }
    QString error;
    if (!FileServices::copyFileContent(source, target, &error)) {
        return QStringLiteral("%1: not copied (%2)").arg(source, error);
    }
    image->setRenamedPath(target);
    *copied = true;
    // Only a plain file goes, and only after its copy is complete.
    if (removeSource && (!QFileInfo(source).isFile() || !QFile::remove(source))) {
        return QStringLiteral("%1: copied to %2, but the original could not be removed").arg(source, target);
    }
    return QString();
}

void TAVRenameWindowController::clickCancel()
{
    clickClosePopover();
    if (isSheetUp()) {
        endSheetOfSelfWindow();
    } else if (isWindowLoaded()) {
        window()->hide(); // shown on its own, the window still closes
    }
}

// --- Output folder ---

void TAVRenameWindowController::clickOutputPath()
{
    UiServices* services = UiServices::shared();
    if (services == nullptr) {
        return;
    }
    const QStringList chosen = services->chooseFolder(QStringLiteral("Choose the output folder"), window());
    if (!chosen.isEmpty()) {
        outputPath_->setText(chosen.first());
    }
}

void TAVRenameWindowController::clickOpenFolder()
{
    if (Workspace* workspace = Workspace::shared()) {
        workspace->openFile(outputPath()->text());
    }
}

// --- Help ---

void TAVRenameWindowController::makeHelpPopover(QWidget* parent)
{
    helpPopover_ = new QFrame(parent, Qt::Popup);
    helpPopover_->setObjectName(QStringLiteral("renameHelpPopover"));
    helpPopover_->setFrameShape(QFrame::StyledPanel);
    // A click on the help button while the page shows only closes it.
    helpPopover_->setAttribute(Qt::WA_NoMouseReplay);
    helpPopover_->resize(460, 400);

    helpWebView_ = new QTextBrowser(helpPopover_);
    helpWebView_->setOpenLinks(false);
    openInBrowserBtn_ = new QPushButton(QStringLiteral("Open in Browser"), helpPopover_);
    closePopoverBtn_ = new QPushButton(QStringLiteral("Close"), helpPopover_);

    auto* buttons = new QHBoxLayout();
    buttons->addWidget(openInBrowserBtn_);
    buttons->addStretch(1);
    buttons->addWidget(closePopoverBtn_);
    auto* layout = new QVBoxLayout(helpPopover_);
    layout->addWidget(helpWebView_, 1);
    layout->addLayout(buttons);
}

QString TAVRenameWindowController::helpPageHtml() const
{
    initRenameHelpResource();
    QFile page(QStringLiteral(":/help/%1.html").arg(kHelpPageName));
    if (!page.open(QIODevice::ReadOnly)) {
        qCWarning(lcRenameSheet, "The rename help page is missing from the resources");
        return QString();
    }
    return QString::fromUtf8(page.readAll());
}

void TAVRenameWindowController::clickRenameHelp()
{
    QFrame* popover = helpPopover();
    if (popover->isVisible()) {
        popover->hide();
        return;
    }
    helpWebView_->setHtml(helpPageHtml());
    // Above the help button, its lower edge on the button's upper edge (placed
    // once shown, when its layout has settled its size).
    popover->show();
    const QPoint buttonTop = helpButton_->mapToGlobal(QPoint(0, 0));
    popover->move(buttonTop.x(), buttonTop.y() - popover->frameGeometry().height());
}

void TAVRenameWindowController::clickClosePopover()
{
    if (helpPopover_) {
        helpPopover_->hide();
    }
}

void TAVRenameWindowController::clickOpenInSafari()
{
    // A compiled-in page has no path the desktop can open: write it out first.
    const QString folder
        = VXFileLocalManager::makeSureCreatCustomDir(VXFileLocalManager::appCacheDirectory(), QStringLiteral("Temp"));
    const QString html = helpPageHtml();
    if (folder.isNull() || html.isNull()) {
        return;
    }
    const QString path = QDir(folder).filePath(kHelpPageName + QStringLiteral(".html"));
    QString error;
    if (!FileServices::writeFileAtomically(path, html.toUtf8(), &error)) {
        qCWarning(
            lcRenameSheet, "Cannot write the rename help page %s: %s", qUtf8Printable(path), qUtf8Printable(error));
        return;
    }
    if (Workspace* workspace = Workspace::shared()) {
        workspace->openFile(path);
    }
}
