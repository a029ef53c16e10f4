#pragma once

#include "app/TAVThumbnailLoader.h"
#include "commlib/VXDropInTipsViewDelegate.h"
#include "commlib/VXKeyPressTableViewDelegate.h"
#include "models/image/TAVImageObject.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class QAction;
class QItemSelectionModel;
class QKeyEvent;
class QLineEdit;
class QMenu;
class QSlider;
class QToolButton;
class TAVImageBrowserView;
class TAVPhotoListModel;
class TAVPhotosViewCltrDelegate;
class TAVPreviewWindow;
class VXCustomBgColorView;
class VXDropInTipsView;
class VXKeyPressTableView;
class VXPopUpButton;

// The photo list: the imported images as thumbnails or as a table, with
// import (open panel and drops), search, zoom, sort, removal, reordering,
// reveal and a preview window. Every image is a working copy in the folder
// the controller is given; the user's files are only read.
//
// Import runs on the worker pool and hands its results to the GUI thread in
// batches; everything else runs on the GUI thread. The delegate hears of
// imports, selections and removals on the GUI thread.
class TAVPhotosViewCltr : public QWidget, public VXDropInTipsViewDelegate, public VXKeyPressTableViewDelegate {
    Q_OBJECT

public:
    enum FileSegment : int { SegmentAdd = 0, SegmentRemove = 1, SegmentClear = 2 };
    enum ViewMode : int { ModeBrowser = 0, ModeTable = 1 };

    // `tempSrcPath` is the folder of the working copies.
    explicit TAVPhotosViewCltr(
        const QString& tempSrcPath, QWidget* parent = nullptr, TAVThumbnailLoader::LoadFunction thumbnailLoad = {});
    ~TAVPhotosViewCltr() override;

    TAVPhotosViewCltrDelegate* customDelegate() const { return customDelegate_; }
    // Not owned; clear it when the delegate goes.
    void setCustomDelegate(TAVPhotosViewCltrDelegate* delegate) { customDelegate_ = delegate; }
    // Off: mode switches happen at once (tests, reduced motion).
    static void setAnimationsEnabled(bool enabled);

    // --- Import ---
    void startImportImages();
    // Dropped paths: folders, and files of an accepted type. True when some
    // were handed to the import.
    bool handleImportImages(const QStringList& paths);
    // Folders are expanded one level; false only for an empty list.
    bool addImagesFromDirectory(const QStringList& paths);
    bool isCancel() const { return isCancel_->load(); }
    // Stops a running import before its next file.
    void setIsCancel(bool cancel) { isCancel_->store(cancel); }

    // --- The list ---
    const QList<TAVImageObjectPtr>& maryDataSource() const { return maryDataSource_; }
    // The search result while a search is shown, else every image.
    const QList<TAVImageObjectPtr>& getDataSourceForCurrentState() const;
    bool isSearchState() const { return isSearchState_; }
    // Safe from any thread.
    QList<TAVImageObjectPtr> selectedImageObjects() const;
    // Rows of the shown list, ascending.
    QList<int> selectedIndexes() const;
    bool hasSelectedItems() const { return !selectedIndexes().isEmpty(); }
    static QString getStringFromModifyState(int32_t state);
    // Redraws the shown view later on the GUI thread; callable from any thread.
    void reload();
    void reloadViewByAutoDetectSegementSelected();
    // As reloadViewByAutoDetectSegementSelected, for a change of one image.
    void reloadImage(const TAVImageObject* image);
    void moveSelection(bool next);
    void selectIndexes(const QList<int>& rows);
    void defaultSelectFirst();

    // --- Actions ---
    void segCltrClicked(int segment);
    void clickShowType(int mode);
    int currentMode() const { return lastMode_; }
    void typeInSearchField(const QString& text);
    float zoomValue() const;
    void clickSmaller();
    void clickEnlarge();
    void zoomSliderDidChange(float value);
    void clickSortPop();
    // A header click: the column's key, ascending again for a new column.
    void clickTableHeader(int column);
    void tableViewSortDescriptorsDidChange(const QString& key, bool ascending);
    const QString& sortKey() const { return sortKey_; }
    bool sortAscending() const { return sortAscending_; }
    void clickDeleteItem() { removeSelectedImageObjects(); }
    void clickRevealInFinder();
    void removeSelectedImageObjects();
    // Removes every shown photo; their working copies are deleted and what
    // they held goes back to the system.
    void clearAllImageObjects();
    // The browser's delete key.
    void imageBrowserRemoveItemsAtIndexes(const QList<int>& indexes);
    // Takes the images out of the list, those the search hides included,
    // without asking (the caller answers for their edits).
    void removeImageObjects(const QList<TAVImageObjectPtr>& images);
    // Moves the images at `indexes` to before `destination`; refused during a search.
    bool imageBrowserMoveItemsAtIndexesToIndex(const QList<int>& indexes, int destination);
    void togglePreview();

    // "Shutter Speed" -> "shutterSpeed".
    static QString getSelectorNameFromTitle(const QString& title);
    static const QStringList& sortPopTitles();

    // --- Views ---
    TAVImageBrowserView* imageBrowser() const { return imageBrowser_; }
    VXKeyPressTableView* tableView() const { return tableView_; }
    TAVPhotoListModel* listModel() const { return model_; }
    QItemSelectionModel* selectionModel() const { return selection_; }
    VXDropInTipsView* tipsView() const { return tipsView_; }
    VXPopUpButton* popSort() const { return popSort_; }
    QLineEdit* searchField() const { return searchField_; }
    QSlider* slideZoom() const { return slideZoom_; }
    QToolButton* fileSegment(int segment) const { return fileSegments_.value(segment); }
    QToolButton* typeSegment(int segment) const { return typeSegments_.value(segment); }
    QMenu* rightClickMenu() const { return rightClickMenu_; }
    QAction* deleteMenuItem() const { return deleteMenuItem_; }
    TAVPreviewWindow* previewWindow() const { return previewPanel_; }
    TAVThumbnailLoader* thumbnailLoader() const { return thumbnailLoader_; }

    bool didVXDropInTipsViewAcceptDrag(VXDropInTipsView* view, const QStringList& paths) override;
    void deleteSelectionFromTableView(VXKeyPressTableView* view) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct ImportItem {
        int index = 0;
        TAVImageObjectPtr image; // null when the path was skipped
    };
    // The user's files in the list or being imported: the duplicate rule
    // without the worker ever reading the GUI's list.
    struct SrcPathRegistry {
        std::mutex mutex;
        QSet<QString> paths;
        bool claim(const QString& path);
        void release(const QString& path);
    };
    struct ImportJob;
    class ImportAdmissions;

    // Set-up.
    void makeViews();
    QWidget* makeTopBar();
    QWidget* makeBottomBar();
    void configureBrowserAndTable();
    void readStartZoom();
    void placeCurrentContainer();

    // Import.
    static void runImport(const std::shared_ptr<ImportJob>& job, QPointer<TAVPhotosViewCltr> self);
    // Whether a file comes in: its working-copy path, or a null text.
    static QString admitOne(const ImportJob& job, const QString& path, QStringList* notCopied);
    static QString reserveWorkingCopyPath(const QString& folder, const QString& name);
    // Copies an admitted file and reads it; null when the copy failed.
    static TAVImageObjectPtr importOne(
        const ImportJob& job, const QString& path, const QString& copyPath, QStringList* notCopied);
    void importImagesArrived(const QList<ImportItem>& batch, int total);
    void doImportFinish(const QStringList& notCopied, const QStringList& xmpUndecodable);
    static QStringList expandFolders(const QStringList& paths);
    static QStringList acceptedDropPaths(const QStringList& paths);
    void showList();

    // List operations.
    void checkAndShowTipsView();
    void setFileSegmentsEnabled(bool enabled);
    void selectionDidChange();
    void sortUseSortDescriptors(const QString& key, bool ascending);
    static QList<TAVImageObjectPtr> sortedBy(QList<TAVImageObjectPtr> images, const QString& key, bool ascending);
    void showSortIndicator();
    void removeImages(const QList<int>& indexes);
    // Home / End (with Shift) in either view; false for other keys.
    bool moveToEndOfList(const QKeyEvent& key);
    // The zoom moved by `step` within 0..1, on the slider and kept.
    void stepZoom(double step);
    void autoSelectNextAfterRemoveImages(const QList<int>& indexes);
    // The owner takes text still typed in a field before a removal asks.
    void takeTypedTextBeforeRemoval();
    // Asks before images with unsaved edits go; true to go on.
    bool confirmRemoval(const QList<TAVImageObjectPtr>& images);
    static bool isImageObjectContainSearchStr(const TAVImageObject& image, const QString& text);
    void showContextMenu(QWidget* view, const QPoint& position);
    void setShownList(const QList<TAVImageObjectPtr>& images);
    QWidget* currentView() const;
    void refreshPreview();

    const QString tempSrcPath_;
    TAVPhotosViewCltrDelegate* customDelegate_ = nullptr;

    QList<TAVImageObjectPtr> maryDataSource_;
    QList<TAVImageObjectPtr> marySearchDataSource_;
    bool isSearchState_ = false;
    QString searchText_; // what the search result was made for

    mutable std::mutex selectedMutex_;
    QList<TAVImageObjectPtr> selectedImageObjects_;
    std::shared_ptr<std::atomic<bool>> isCancel_;
    std::shared_ptr<SrcPathRegistry> srcPaths_;

    int lastMode_ = -1;
    QString sortKey_; // empty: not sorted yet
    bool sortAscending_ = true;

    TAVThumbnailLoader* thumbnailLoader_ = nullptr;
    TAVPhotoListModel* model_ = nullptr;
    QItemSelectionModel* selection_ = nullptr;
    VXCustomBgColorView* bgView_ = nullptr;
    QWidget* imageTypeView_ = nullptr;
    QWidget* tableTypeView_ = nullptr;
    TAVImageBrowserView* imageBrowser_ = nullptr;
    VXKeyPressTableView* tableView_ = nullptr;
    QList<QToolButton*> typeSegments_;
    QList<QToolButton*> fileSegments_;
    QLineEdit* searchField_ = nullptr;
    VXPopUpButton* popSort_ = nullptr;
    QToolButton* btnSmall_ = nullptr;
    QSlider* slideZoom_ = nullptr;
    QToolButton* btnEnlarge_ = nullptr;
    QWidget* zoomRow_ = nullptr;
    QMenu* rightClickMenu_ = nullptr;
    QAction* deleteMenuItem_ = nullptr;
    QAction* revealMenuItem_ = nullptr;
    VXDropInTipsView* tipsView_ = nullptr;
    TAVPreviewWindow* previewPanel_ = nullptr;
};
