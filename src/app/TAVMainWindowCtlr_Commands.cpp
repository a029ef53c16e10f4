// Commands, their enabling, the introduction and the split view's callbacks.
#include "app/TAVMainWindowCtlr.h"

#include "app/TAVDetailViewCtlr.h"
#include "app/TAVExposureViewCtlr.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSummaryViewCtlr.h"
#include "app/TAVToolbarIcons.h"
#include "commlib/TAVBaseTabViewCltr.h"
#include "commlib/VXCommonView.h"
#include "commlib/VXDropDownButton.h"
#include "commlib/VXIntroWindowController.h"
#include "commlib/VXQuestionsPage.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

namespace {

bool gIntroductionOffered = false;
int gIntroductionDelayMs = 1000;

} // namespace

void TAVMainWindowCtlr::resetIntroductionOffered()
{
    gIntroductionOffered = false;
}

void TAVMainWindowCtlr::setIntroductionDelayMs(int ms)
{
    gIntroductionDelayMs = ms;
}

bool TAVMainWindowCtlr::toolbarItemEnabled(const QString& identifier, int images, int selected)
{
    static const QStringList always{QStringLiteral("View"), QStringLiteral("Help"), QStringLiteral("Add Files")};
    static const QStringList needSelection{
        QStringLiteral("Export Exif"), QStringLiteral("Replace"), QStringLiteral("Filename to Tags")};
    if (always.contains(identifier))
        return true;
    if (needSelection.contains(identifier))
        return selected > 0;
    return images > 0;
}

bool TAVMainWindowCtlr::menuItemEnabled(const QString& title, int selected, bool prevOn, bool nextOn)
{
    static const QStringList needSelection{QStringLiteral("Clear"), QStringLiteral("Save"), QStringLiteral("Restore"),
        QStringLiteral("Clear All"), QStringLiteral("Save All"), QStringLiteral("Restore All")};
    if (needSelection.contains(title))
        return selected > 0;
    if (title == QLatin1String("Previous"))
        return prevOn;
    if (title == QLatin1String("Next"))
        return nextOn;
    return true;
}

std::pair<bool, bool> TAVMainWindowCtlr::prevNextEnabled(int position, int images, int selected)
{
    if (selected != 1 || position < 0 || position >= images)
        return {false, false};
    if (position == 0)
        return {false, images >= 2};
    if (position == images - 1)
        return {true, false};
    return {true, true};
}

bool TAVMainWindowCtlr::validateToolbarItem(const QString& identifier) const
{
    return toolbarItemEnabled(identifier, photos_->maryDataSource().size(), marySelectedImgs_.size());
}

bool TAVMainWindowCtlr::validateMenuItem(const QString& title)
{
    return menuItemEnabled(title, marySelectedImgs_.size(), btnPre_->isEnabled(), btnNext_->isEnabled());
}

bool TAVMainWindowCtlr::hasImportedImage() const
{
    return !photos_->maryDataSource().isEmpty();
}

void TAVMainWindowCtlr::refreshButtonsEnable()
{
    const bool hasImages = hasImportedImage();
    for (QToolButton* button : {btnClearAll_, btnClearAllType_, btnRestoreAll_, btnBatchSave_, btnApplyToAll_})
        button->setEnabled(hasImages);
    const bool one = marySelectedImgs_.size() == 1;
    for (QToolButton* button : {static_cast<QToolButton*>(btnClearOne_), static_cast<QToolButton*>(btnRestore_),
             static_cast<QToolButton*>(btnApply_)})
        button->setEnabled(one);

    const QList<TAVImageObjectPtr>& shown = photos_->getDataSourceForCurrentState();
    const int position = one ? shown.indexOf(marySelectedImgs_.first()) : -1;
    const auto [prevOn, nextOn] = prevNextEnabled(position, shown.size(), marySelectedImgs_.size());
    btnPre_->setEnabled(prevOn);
    btnNext_->setEnabled(nextOn);

    for (auto it = toolbarActions_.cbegin(); it != toolbarActions_.cend(); ++it)
        it.value()->setEnabled(validateToolbarItem(it.key()));

    const bool editable = hasImages && !marySelectedImgs_.isEmpty();
    for (TAVBaseTabViewCltr* tab : {static_cast<TAVBaseTabViewCltr*>(summary_),
             static_cast<TAVBaseTabViewCltr*>(exposure_), gps_, static_cast<TAVBaseTabViewCltr*>(detail_)}) {
        if (tab)
            tab->setEditEnable(editable);
    }
    refreshPresetButtons();
}

void TAVMainWindowCtlr::refreshModified()
{
    for (TAVBaseTabViewCltr* tab :
        {static_cast<TAVBaseTabViewCltr*>(summary_), static_cast<TAVBaseTabViewCltr*>(exposure_), gps_}) {
        if (tab)
            tab->refreshModifiedFields();
    }
}

void TAVMainWindowCtlr::clickPre()
{
    // Commands also arrive from the menu's shortcuts: each checks again.
    if (!btnPre_->isEnabled())
        return;
    photos_->moveSelection(false);
    qCDebug(lcMainWindow, "drag frame:{{%d, %d}, {%d, %d}}", dropView_->x(), dropView_->y(), dropView_->width(),
        dropView_->height());
}

void TAVMainWindowCtlr::clickNext()
{
    if (!btnNext_->isEnabled())
        return;
    photos_->moveSelection(true);
}

void TAVMainWindowCtlr::clickImportFiles()
{
    photos_->startImportImages();
}

void TAVMainWindowCtlr::clickTriggerDrawer()
{
    splitView_->toggleSubviewZero();
}

void TAVMainWindowCtlr::clickClearAllType()
{
    if (!clearKindMenu_) {
        clearKindMenu_ = new QMenu(mainWindow_);
        const QStringList kinds{
            QStringLiteral("All"), QStringLiteral("Exif"), QStringLiteral("GPS"), QStringLiteral("IPTC")};
        for (int kind = 0; kind < kinds.size(); ++kind)
            clearKindMenu_->addAction(kinds.at(kind))->setData(kind);
        connect(clearKindMenu_, &QMenu::triggered, this, [this](QAction* item) { onMenuClick(item); });
    }
    // Below the arrow and 100 px to its right, with no item chosen in advance.
    const QPoint origin = btnClearAllType_->mapToGlobal(QPoint(0, btnClearAllType_->height()));
    clearKindMenu_->popup(origin + QPoint(100, 0));
}

void TAVMainWindowCtlr::setDrawerIcon(const QString& name)
{
    drawerIconName_ = name;
    if (QAction* view = toolbarActions_.value(QStringLiteral("View")))
        view->setIcon(TAVToolbarIcons::icon(name));
}

void TAVMainWindowCtlr::splitViewIsAnimating(DMSplitView* splitView, bool animating)
{
    if (animating)
        return;
    setDrawerIcon(splitView->isSubviewCollapsed(0) ? QStringLiteral("drawer_close") : QStringLiteral("drawer_open"));
    // The list lays its tips view out again once it has its width back.
    photos_->reload();
}

// The icon follows the pane's state: a pane dragged open shows the open
// drawer, a pane dragged shut the closed one.
void TAVMainWindowCtlr::splitViewSubviewStateChanged(DMSplitView*, int index, bool collapsed)
{
    if (index == 0)
        setDrawerIcon(collapsed ? QStringLiteral("drawer_close") : QStringLiteral("drawer_open"));
}

bool TAVMainWindowCtlr::didWindowAccepteDragFiles(QWidget*, const QStringList& paths)
{
    if (paths.isEmpty())
        return true;
    return photos_->handleImportImages(paths);
}

bool TAVMainWindowCtlr::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mainWindow_ && event->type() == QEvent::WindowActivate)
        windowDidBecomeKey();
    if (watched == mainWindow_)
        rememberWindowPlace(event);
    if (watched == mainWindow_ && (closeRequestedDuringLoop(event) || closeRequestedWithUnsavedEdits(event)))
        return true;
    return VXCommonWindowController::eventFilter(watched, event);
}

void TAVMainWindowCtlr::windowDidBecomeKey()
{
    if (gIntroductionOffered)
        return;
    gIntroductionOffered = true;
    if (VXIntroWindowController::checkNextTimeNotShowAgain()) {
        mainWindow_->raise();
        mainWindow_->activateWindow();
        return;
    }
    QTimer::singleShot(gIntroductionDelayMs, this, [this] {
        // Not offered once the main window was closed meanwhile.
        if (mainWindow_ != nullptr && mainWindow_->isVisible()) {
            clickHelp();
        }
    });
}

void TAVMainWindowCtlr::clickHelp()
{
    if (!intro_) {
        Q_INIT_RESOURCE(intro);
        QList<QImage> pages;
        for (int i = 1; i <= 6; ++i)
            pages.append(QImage(QStringLiteral(":/images/lumetta_%1.png").arg(i)));
        intro_ = std::make_unique<VXIntroWindowController>(pages, QStringLiteral("Tips"));
    }
    intro_->window()->setWindowTitle(QStringLiteral("Introduction"));
    Q_INIT_RESOURCE(apphelp);
    intro_->freqAskQuestions()->setUrl(QUrl(QStringLiteral("qrc:/help/Frequently Asked Questions.html")),
        QStringLiteral("Frequently Asked Questions"));
    intro_->clickShow();
    intro_->window()->raise();
    intro_->window()->activateWindow();
}
