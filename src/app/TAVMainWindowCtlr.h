#pragma once

#include "app/DMSplitView.h"
#include "app/ENTabBarViewDelegate.h"
#include "app/TAVMainWindowCommands.h"
#include "app/TAVPhotosViewCltrDelegate.h"
#include "commlib/VXCommonViewDelegate.h"
#include "commlib/VXCommonWindowController.h"
#include "foundation/NotificationHub.h"
#include "models/image/TAVImageObject.h"
#include "models/record/TAVExifData.h"
#include "tools/TAVClonWindowControllerDelegate.h"
#include "tools/TAVExportCallbackTarget.h"
#include "tools/TAVManangePresetsWindowControllerDelegate.h"
#include "tools/TAVNewPresetWindowCtlrDelegate.h"
#include "tools/TAVRenameWindowControllerDelegate.h"

#include <QHash>
#include <QList>
#include <QLoggingCategory>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

// The main window's tab and drag lines (debug: off unless the logging rules turn them on).
Q_DECLARE_LOGGING_CATEGORY(lcMainWindow)

class ENTabBarView;
class QAction;
class QComboBox;
class QLabel;

class QMenu;
class QPushButton;
class QStandardItemModel;
class QToolBar;
class QToolButton;
class TAVBaseTabViewCltr;
class TAVDetailViewCtlr;
class TAVExposureViewCtlr;
class TAVPhotosViewCltr;
class TAVSummaryViewCtlr;
class VXCommonView;
class VXCustomBgColorView;
class VXDropDownButton;
class VXIntroWindowController;
class VXProgressWindowController;
class TAVNewPresetWindowCtlr;
class TAVManangePresetsWindowController;
class TAVRenameWindowController;
class TAVReplaceWindowController;
class TAVClonWindowController;
class TAVExportWindowController;
class VXResizeCallbackView;

// The one main window: the photo list on the left of a split view; on the
// right a tab bar over the summary, exposure, GPS and detail tabs, the
// single-image buttons and the batch area with the presets pop-up.
//
// The selection of the photo list decides the record the tabs show: the
// default setting with nothing selected, an image's own record for one
// image, a fresh common record for several. Edits the tabs make reach the
// selected images through the tabs' notification and the pending-edits flag.
// GUI thread only.
class TAVMainWindowCtlr : public VXCommonWindowController,
                          public TAVMainWindowCommands,
                          public TAVPhotosViewCltrDelegate,
                          public ENTabBarViewDelegate,
                          public VXCommonViewDelegate,
                          public DMSplitViewDelegate,
                          public TAVImageObjectProtocol,
                          public TAVNewPresetWindowCtlrDelegate,
                          public TAVManangePresetsWindowControllerDelegate,
                          public TAVRenameWindowControllerDelegate,
                          public TAVClonWindowControllerDelegate,
                          public TAVExportCallbackTarget {
    Q_OBJECT
public:
    enum TabIndex : int { TabSummary = 0, TabExposure = 1, TabGps = 2, TabDetail = 3 };

    // `tempSrcPath` is the folder of the photo list's working copies.
    explicit TAVMainWindowCtlr(const QString& tempSrcPath, QObject* parent = nullptr);
    ~TAVMainWindowCtlr() override;

    // "Summary", "Exposure", "GPS", "Details": the position is the tab index.
    static const QStringList& tabTitles();

    // Enabling rules, as pure functions of the list's state.
    static bool toolbarItemEnabled(const QString& identifier, int images, int selected);
    static bool menuItemEnabled(const QString& title, int selected, bool prevOn, bool nextOn);
    // Previous and Next for `selected` images, the one at `position` of `images`.
    static std::pair<bool, bool> prevNextEnabled(int position, int images, int selected);

    // Off: the introduction is offered again at the next activation (tests).
    static void resetIntroductionOffered();
    // The delay between the first activation and the introduction.
    static void setIntroductionDelayMs(int ms);

    // TAVMainWindowCommands.
    QWidget* window() override;
    void showWindow() override;
    void clickPre() override;
    void clickNext() override;
    void clickClear() override;
    void clickRestore() override;
    void clickSave() override;
    void clickClearAll() override;
    void clickRestoreAll() override;
    void clickSaveAll() override;
    void clickImportFiles() override;
    bool validateMenuItem(const QString& title) override;

    // Commands of the window's own controls.
    void clickAddFiles() { clickImportFiles(); }
    void clickTriggerDrawer();
    void clickHelp();
    // Pops up the batch area's clear-kind menu ("All", "Exif", "GPS", "IPTC",
    // data 0 to 3) beside its button.
    void clickClearAllType();
    QMenu* clearKindMenu() const { return clearKindMenu_; }

    // Whole-record commands and the save loop (TAVMainWindowCtlr_Save.cpp).
    // The Clear button's menu item `kind` (0 all, 1 EXIF, 2 GPS, 3 IPTC) on the selection.
    void clickClearKind(int kind);
    // The batch clear-kind menu: the item's data is the kind, for the whole list.
    void onMenuClick(QAction* item);
    void clickApplyToAll();
    // Every tab hands over what was typed into a field still being edited.
    void commitTypedText();
    // A clear of the whole list (its clear-kind menu included) asks first,
    // as Apply To All does: both change photos the list's search may hide.
    void doClear(bool wholeList, int kind);
    void doRestore(bool wholeList);
    void saveImagesMetadata(const QList<TAVImageObjectPtr>& images);
    // Saves those of `images` that have something to write, in their order.
    void doSave(const QList<TAVImageObjectPtr>& images);
    void showSaveProgressWindow();
    void updateSaveProgress(double progress);
    void endProgressWindow();
    void clickSaveCancel();
    void clickImportCancel();
    // The progress sheet, made on first use and kept.
    VXProgressWindowController* progressWindowController();
    // True from the start of a save or filename loop until its last step ran.
    bool isLoopRunning() const { return loopRunning_; }
    // The listed images whose edits are not in their files yet (edited, or
    // their last save failed).
    QList<TAVImageObjectPtr> imagesWithUnsavedEdits() const;

    // Filename to tags (TAVMainWindowCtlr_FilenameToTags.cpp).
    void clickFileNameToTag();
    void doApplyFileNameToTitleField();
    void startShowProgressWhenApplyingFilenameToTitleFile();
    void clickCancelApplyFilenameToTitleField();

    // Presets (TAVMainWindowCtlr_Presets.cpp). `clickPresets` takes the
    // position of the item the user chose.
    void clickPresets(int index);
    void reloadPresets();
    void refreshPreset();
    void refreshPresetButtons();
    TAVExifDataPtr collectCurrentSettingToExifData();
    // Null restores the selected images to their read values.
    void updateSelectedImageToPreset(const TAVExifDataPtr& preset);
    void clickCancelSavePresetName();
    const QList<TAVExifDataPtr>& presets() const { return maryPresets_; }
    TAVNewPresetWindowCtlr* newPresetWindowCtlr() const { return newPresetWndCltr_.get(); }
    TAVManangePresetsWindowController* managePresetsWindowCtlr() const { return presetCltr_.get(); }
    void didNewPresetWindowCltrFinished(bool cancelled, const TAVExifDataPtr& result) override;
    void managePresetsWindowCtlrDidFinishEdit(TAVManangePresetsWindowController* sheet) override;
    void managePresetsWindowCtlrDidRenameOld(const QString& oldName, const QString& newName) override;
    void managePresetsWindowCtlrDidDeletePreset(const TAVExifDataPtr& preset) override;

    // Tool sheets (TAVMainWindowCtlr_Tools.cpp).
    void clickRenameFiles();
    void clickReplace();
    void clickCloneMetadata();
    void clickExportMetadata();
    // Takes every image of the list out and imports the files their
    // `renamedPath`s name; false for an empty list.
    bool reimportRenamedImages(const QList<TAVImageObjectPtr>& images);
    TAVRenameWindowController* renameWindowCtlr() const { return renameViewCtlr_.get(); }
    TAVReplaceWindowController* replaceWindowCtlr() const { return replaceViewCtlr_.get(); }
    TAVClonWindowController* cloneWindowCtlr() const { return cloneWndCltr_.get(); }
    TAVExportWindowController* exportWindowCtlr() const { return exportViewCtlr_.get(); }
    // The tools' delegate operations (rename and clone ask the same question).
    bool hasUnsaveModified(bool allImages) override;
    QList<TAVImageObjectPtr> renameWndControllerAskForImagesToApply(bool allImages) override;
    void reloadedAllRenamedFiles(const QList<TAVImageObjectPtr>& renamedImages) override;
    std::optional<QList<TAVImageObjectPtr>> didCloneWindowControllerAskForApplyImage(bool allImages) override;
    void didCloneWindowControllerFinishClone(const QList<TAVImageObjectPtr>& images) override;
    // Asks before a command changes every photo of the list: how many, and
    // how many of them the list's search hides (Clear All, Apply To All and
    // the tools). `what` names the photos with "%1". True to go on.
    bool confirmWholeListChange(
        const QString& title, const QString& what, const QString& action, const QString& consequence) override;
    bool exportExif(int32_t type, bool cvs, const QString& path, bool oneLineOneFileMode, bool isMergeInOneFile,
        const std::optional<QStringList>& customSelectedKeys, Outcome& outcome) override;

    // TAVImageObjectProtocol: both arrive while the loop's worker waits.
    void imageObjectHasModified(TAVImageObject* imageObject) override;
    void imageObjectFinishSave(TAVImageObject* imageObject) override;

    bool validateToolbarItem(const QString& identifier) const;
    void refreshButtonsEnable();
    void refreshModified();

    // Selection and the shown record.
    void handleSelectedImages(const QList<TAVImageObjectPtr>& images);
    void refreshUI();
    void updateDispByExifData(const TAVExifDataPtr& record);
    void refreshSettingByExifData(const TAVExifDataPtr& record);
    TAVExifDataPtr extractCommExifDataFromImages(const QList<TAVImageObjectPtr>& images) const;
    // The common value of `key` in `category` of `images`, or none; `modified`
    // is set only when there is an answer to give.
    static std::optional<QString> isValueTheSame(
        const QString& key, int32_t category, const QList<TAVImageObjectPtr>& images, bool* modified);
    static TAVExifDataPtr getClearEmptyExifData();
    void applyModifyToSelectedImages(bool refresh);
    void handleHasModified(const Notification& notification);
    bool hasImportedImage() const;

    // The GPS tab, placed in its slot by its owner; null leaves the tab empty.
    void setGpsTab(TAVBaseTabViewCltr* tab);
    // The record shown with nothing selected; an empty record until presets exist.
    void setDefaultSetting(const TAVExifDataPtr& setting);

    // TAVPhotosViewCltrDelegate.
    void photosViewCltrStartImportImages(TAVPhotosViewCltr* cltr) override;
    void photosViewCltrImportImagesWithProgres(TAVPhotosViewCltr* cltr, float progress) override;
    void photosViewCltrDidImportedImage(TAVPhotosViewCltr* cltr, const QList<TAVImageObjectPtr>& images) override;
    void photosViewCltrDidSelectedImages(TAVPhotosViewCltr* cltr, const QList<int>& indexes) override;
    void photosViewCltrWillRemoveImages(TAVPhotosViewCltr* cltr) override;
    void photosViewCltrDidRemoveImages(TAVPhotosViewCltr* cltr, const QList<TAVImageObjectPtr>& images) override;

    // ENTabBarViewDelegate.
    void tabWillActive(ENTabCell* cell) override;
    void tabDidActived(ENTabCell* cell) override;
    void tabWillClose(ENTabCell* cell) override;
    void tabDidClosed(ENTabCell* cell) override;
    QWidget* tabSelectedView() const;
    QWidget* tabViewForIndex(int index) const;

    // VXCommonViewDelegate.
    bool didWindowAccepteDragFiles(QWidget* window, const QStringList& paths) override;

    // DMSplitViewDelegate.
    void splitViewIsAnimating(DMSplitView* splitView, bool animating) override;
    void splitViewSubviewStateChanged(DMSplitView* splitView, int index, bool collapsed) override;

    // Parts, for the application and tests.
    QMainWindow* mainWindow() const { return mainWindow_; }
    TAVPhotosViewCltr* photosViewCltr() const { return photos_; }
    TAVSummaryViewCtlr* summaryTab() const { return summary_; }
    TAVExposureViewCtlr* exposureTab() const { return exposure_; }
    TAVDetailViewCtlr* detailTab() const { return detail_; }
    ENTabBarView* tabBar() const { return tabBar_; }
    VXResizeCallbackView* tabArea() const { return tabArea_; }
    DMSplitView* splitView() const { return splitView_; }
    QToolBar* toolbar() const { return toolbar_; }
    QAction* toolbarAction(const QString& identifier) const { return toolbarActions_.value(identifier); }
    QString drawerIconName() const { return drawerIconName_; }
    VXDropDownButton* btnClearOne() const { return btnClearOne_; }
    VXDropDownButton* btnRestore() const { return btnRestore_; }
    VXDropDownButton* btnApply() const { return btnApply_; }
    QToolButton* btnClearAll() const { return btnClearAll_; }
    QToolButton* btnClearAllType() const { return btnClearAllType_; }
    QToolButton* btnRestoreAll() const { return btnRestoreAll_; }
    QToolButton* btnApplyToAll() const { return btnApplyToAll_; }
    QToolButton* btnBatchSave() const { return btnBatchSave_; }
    QComboBox* btnPresets() const { return btnPresets_; }
    QPushButton* btnPre() const { return btnPre_; }
    QPushButton* btnNext() const { return btnNext_; }
    VXCommonView* dropView() const { return dropView_; }
    VXIntroWindowController* introWindowController() const { return intro_.get(); }
    const QList<TAVImageObjectPtr>& selectedImages() const { return marySelectedImgs_; }
    const TAVExifDataPtr& curExifData() const { return curExifData_; }
    const TAVExifDataPtr& defaultSetting() const { return defaultSetting_; }

protected:
    QWidget* makeWindow() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Set-up, in the order the window is built.
    void initUI();
    void makeToolbar();
    QWidget* makePhotoListPane();
    QWidget* makeTabPane();
    QWidget* makeSingleImageArea();
    QWidget* makeBatchArea();
    void makeTabBar();
    void makeTabs();
    void makePresetsPopUp();
    void setDrawerIcon(const QString& name);
    void centreTabView(QWidget* view);
    void windowDidBecomeKey();
    // Shows the progress sheet with `message`, its Cancel running `onCancel`.
    void beginProgressSheet(const QString& message, void (TAVMainWindowCtlr::*onCancel)());
    // A loop's last step on the GUI thread; closes the window when the user
    // asked for that while the loop ran.
    void finishLoop();
    bool closeRequestedDuringLoop(QEvent* event);
    // Asks "Save", "Don't Save" or "Cancel" before a window with unsaved
    // edits closes; true when the close was stopped (for now or for good).
    bool closeRequestedWithUnsavedEdits(QEvent* event);
    void addTabKeys();
    // Activates the tab `step` places on, round the ends.
    void selectNeighbourTab(int step);
    // The window's size and place as the user left them at the last start.
    void restoreWindowPlace();
    void rememberWindowPlace(const QEvent* event);
    void openNewPresetSheet();
    // Takes out of a preset about to be made from the selected photos the
    // values they show as read on a guess (TAVEntity::isReadOnAGuess), which
    // the user did not edit, and tells the user which.
    void leaveGuessesOutOfPreset(TAVExifData& setting);
    // Names the photos whose XMP packet a saved clear could not change.
    // The photos whose unreadable XMP a clear kept, and those of them whose
    // position was cleared.
    struct KeptXmp {
        QStringList names;
        QStringList positionNames;
    };
    void tellKeptXmp(const KeptXmp& kept);
    // The photos of `listed` a save writes: those with unsaved work, or every
    // one when each file is to take its photo's date; never one whose failed
    // edits were taken back.
    static QList<TAVImageObjectPtr> imagesWithWorkToSave(const QList<TAVImageObjectPtr>& listed, bool applyToFileDate);
    // Asks before a command changes `concerned`, adding to `message` how many
    // of them the search hides; Cancel is the default. True to go on.
    bool askBeforeChanging(const QList<TAVImageObjectPtr>& concerned, const QString& title, QString message,
        const QString& action, const QString& consequence);
    qsizetype hiddenBySearch(const QList<TAVImageObjectPtr>& images) const;
    // Restore All asks first when it would throw away unsaved edits.
    bool confirmRestoreAll();
    TAVExifDataPtr presetUpdateFromShownRecord() const;
    QList<TAVImageObjectPtr> imagesToApply(bool allImages) const;
    // Selects again the images a rename or clone imported afresh, by their files.
    void reselectImportedAgain();

    QPointer<QMainWindow> mainWindow_;
    QString tempSrcPath_;
    TAVPhotosViewCltr* photos_ = nullptr;
    TAVSummaryViewCtlr* summary_ = nullptr;
    TAVExposureViewCtlr* exposure_ = nullptr;
    TAVBaseTabViewCltr* gps_ = nullptr;
    TAVDetailViewCtlr* detail_ = nullptr;
    QWidget* gpsPlaceholder_ = nullptr;
    ENTabBarView* tabBar_ = nullptr;
    VXResizeCallbackView* tabArea_ = nullptr;
    DMSplitView* splitView_ = nullptr;
    VXCommonView* dropView_ = nullptr;
    VXCustomBgColorView* photoListBg_ = nullptr;
    VXCustomBgColorView* singleAreaBg_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    QHash<QString, QAction*> toolbarActions_;
    QString drawerIconName_;
    VXDropDownButton* btnClearOne_ = nullptr;
    VXDropDownButton* btnRestore_ = nullptr;
    VXDropDownButton* btnApply_ = nullptr;
    QToolButton* btnClearAll_ = nullptr;
    QToolButton* btnClearAllType_ = nullptr;
    QToolButton* btnRestoreAll_ = nullptr;
    QToolButton* btnApplyToAll_ = nullptr;
    QToolButton* btnBatchSave_ = nullptr;
    QList<QLabel*> batchLabels_;
    QComboBox* btnPresets_ = nullptr;
    QStandardItemModel* presetsModel_ = nullptr;
    QPushButton* btnPre_ = nullptr;
    QPushButton* btnNext_ = nullptr;
    std::unique_ptr<VXIntroWindowController> intro_;
    QMenu* clearKindMenu_ = nullptr;
    std::unique_ptr<VXProgressWindowController> progress_;
    QMetaObject::Connection progressCancel_;
    // Shared with the loop's worker, which may outlive a window closed under it.
    std::shared_ptr<std::atomic<bool>> isSaving_ = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> cancelApplyFileNameToTitle_ = std::make_shared<std::atomic<bool>>(false);
    QList<TAVExifDataPtr> maryPresets_;
    std::unique_ptr<TAVNewPresetWindowCtlr> newPresetWndCltr_;
    std::unique_ptr<TAVManangePresetsWindowController> presetCltr_;
    std::unique_ptr<TAVRenameWindowController> renameViewCtlr_;
    std::unique_ptr<TAVReplaceWindowController> replaceViewCtlr_;
    std::unique_ptr<TAVClonWindowController> cloneWndCltr_;
    std::unique_ptr<TAVExportWindowController> exportViewCtlr_;
    bool loopRunning_ = false;
    bool closeAfterLoop_ = false;
    // The user chose Save when closing: the window closes once every image saved.
    bool closeAfterSave_ = false;
    // The files of the images selected when a rename or clone imported some afresh.
    QStringList reselectAfterImport_;

    QList<TAVImageObjectPtr> marySelectedImgs_;
    TAVExifDataPtr curExifData_;
    TAVExifDataPtr defaultSetting_;
};
