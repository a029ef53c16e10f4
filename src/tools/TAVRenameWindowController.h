#pragma once

#include "tools/TAVRenameEngine.h"
#include "tools/TAVRenameRootItem.h"
#include "tools/TAVRenameRuleField.h"

#include "commlib/VXCommonWindowController.h"
#include "commlib/VXKeyPressTableViewDelegate.h"
#include "models/image/TAVImageObject.h"

#include <QList>
#include <QLoggingCategory>
#include <QModelIndex>
#include <QPointer>
#include <QString>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QFrame;
class QLineEdit;
class QMimeData;
class QPushButton;
class QTextBrowser;
class QTreeView;
class TAVRenameFieldTreeModel;
class TAVRenameRuleListModel;
class TAVRenameWindowControllerDelegate;
class VXKeyPressTableView;

// "lumetta.tools.rename": the sheet's own log lines.
Q_DECLARE_LOGGING_CATEGORY(lcRenameSheet)

// The rename sheet: composes a rename rule from the fields of a tree, previews
// the new name of one demonstration image and copies the chosen images' files
// into an output folder under their new names.
//
// A new sheet is made for each opening, so the rule list starts empty and the
// option boxes show their initial values; nothing of the sheet is stored.
//
// Callers rely on:
// - The rule list never holds two equal fields (same name under the same root
//   category): inserting an equal field again moves it instead.
// - Apply copies, never moves: a source file goes only when the remove box is
//   on and its copy succeeded. Every file not copied and every source not
//   removed is named in one "Errors" alert. An empty or relative output folder
//   is refused before anything is copied.
// - The delegate is not owned and must outlive the sheet.
class TAVRenameWindowController : public VXCommonWindowController, public VXKeyPressTableViewDelegate {
    Q_OBJECT
public:
    static const QString kHelpPageName;

    TAVRenameWindowController(
        const TAVImageObjectPtr& demoImage, TAVRenameWindowControllerDelegate* delegate, QObject* parent = nullptr);
    ~TAVRenameWindowController() override;

    // --- Controls (the window is made on first use) ---
    QTreeView* leftOutlineView();
    VXKeyPressTableView* rightTableView();
    QLineEdit* searchTextField();
    QLineEdit* customCharacters();
    QLineEdit* numSeq();
    QLineEdit* increase();
    QComboBox* dateFormat();
    QComboBox* timeFormat();
    QCheckBox* separatorBtn();
    QLineEdit* separator();
    QLineEdit* outputPath();
    QCheckBox* removeOrignailChk();
    QCheckBox* applyToAllBtn();
    QLineEdit* previewTf();
    QTextBrowser* helpWebView();
    QFrame* helpPopover();
    QPushButton* helpButton();

    // --- State ---
    const TAVImageObjectPtr& imageObj() const { return imageObj_; }
    const QList<TAVRenameRootItemPtr>& rootRuleItems() const { return rootRuleItems_; }
    const QList<TAVRenameRuleFieldPtr>& edittingRules() const { return engine_.edittingRules(); }
    const TAVRenameRuleFieldPtr& selectedField() const { return selectedField_; }
    TAVRenameFieldTreeModel* treeModel() const { return treeModel_; }
    TAVRenameRuleListModel* ruleListModel() const { return ruleListModel_; }
    bool isApplyToAll();

    // --- Actions ---
    void clickApply();
    void clickCancel();
    void clickMoveToRight();
    // 0 moves the selected rule up, 1 down, 2 removes it.
    void clickSegment(int segment);
    void clickOutputPath();
    void clickOpenFolder();
    void clickOpenInSafari();
    void clickRenameHelp();
    void clickClosePopover();
    // The search field's action.
    void textfieldChanged();
    // A choice in either format pop-up.
    void datePopClicked();
    // The tree's double action (also the Return key on the tree); `clicked` is
    // the item under the pointer, or invalid for the selection.
    void doubleClick(const QModelIndex& clicked = QModelIndex());
    // An edit in any text box.
    void controlTextDidChange();

    // --- Key-press table callbacks ---
    void deleteSelectionFromTableView(VXKeyPressTableView* view) override;
    void didClickCommondUpKeys(VXKeyPressTableView* view) override;
    void didClickCommondDownKeys(VXKeyPressTableView* view) override;
    bool preventEnterEditingTableView(VXKeyPressTableView* view) override;

    // --- Tree ---
    void outlineSelectionDidChange();
    // Items are never edited; a request is logged and refused.
    bool outlineShouldEditItem(const QModelIndex& index);
    // Drops on the tree: refused when they come from this window, offered
    // otherwise, and accepting one always fails.
    Qt::DropActions outlineValidateDrop(const QMimeData* data, int row, QObject* source);
    bool outlineAcceptDrop(const QMimeData* data, int row, QObject* source);

    // --- Rule list ---
    // A drop is offered (as a copy, above `row`) only from the rule list or the tree.
    Qt::DropAction tableValidateDrop(const QMimeData* data, int row, QObject* source);
    // Inserts the dragged fields at `row`; false for another source or data
    // that do not decode.
    bool tableAcceptDrop(const QMimeData* data, int row, QObject* source);

    // Inserts the k-th field at row + k; earlier equal fields go, so a field
    // inserted again moves. Nothing happens for no fields or a negative row.
    void doInsertFieldToTable(const QList<TAVRenameRuleFieldPtr>& fields, int row);

    // The rename setting of the current rules and options.
    TAVRenameRootItemPtr getherCurrentRenameSetting();
    // Refreshes the preview of the demonstration image.
    void updateExample();
    void updateSettingEnable();
    void updateOutlineViewSearch();

protected:
    QWidget* makeWindow() override;
    void windowDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Window parts.
    QWidget* makeFieldColumn(QWidget* parent);
    QWidget* makeRuleColumn(QWidget* parent);
    QWidget* makeOptions(QWidget* parent);
    QWidget* makeButtonRow(QWidget* parent);
    void makeHelpPopover(QWidget* parent);
    void connectControls();

    // Rule list arranging.
    int selectedRuleRow();
    void reloadRules(int selectRow);
    void moveSelectedRule(int step, bool followRule);
    void removeSelectedRule();
    void beep();
    // Option values into the engine.
    void pushOptionsToEngine();

    // Drops routed from the views.
    bool handleDragEvent(QObject* watched, QEvent* event);
    int tableDropRow(const QPoint& position);
    bool isOwnView(QObject* source) const;
    // The row the tree shows `index` in (expanded roots count their fields).
    int visibleTreeRow(const QModelIndex& index);

    // Apply.
    bool outputFolderIsUsable(const QString& folder);
    // Asks before the originals of the whole list would go; true to go on.
    bool confirmMovingWholeList(bool allImages);
    QStringList renameImages(
        const QList<TAVImageObjectPtr>& images, const QString& folder, QList<TAVImageObjectPtr>* renamed);
    QString renameImage(const TAVImageObjectPtr& image, int32_t index, const TAVRenameRootItemPtr& setting,
        const QString& folder, bool removeSource, bool* copied);
    QWidget* alertParent();

    // Help.
    QString helpPageHtml() const;

    TAVImageObjectPtr imageObj_;
    TAVRenameWindowControllerDelegate* delegate_ = nullptr;
    QList<TAVRenameRootItemPtr> rootRuleItems_;
    TAVRenameRuleFieldPtr selectedField_;
    TAVRenameEngine engine_;

    TAVRenameFieldTreeModel* treeModel_ = nullptr;
    TAVRenameRuleListModel* ruleListModel_ = nullptr;

    QTreeView* leftOutlineView_ = nullptr;
    VXKeyPressTableView* rightTableView_ = nullptr;
    QLineEdit* searchTextField_ = nullptr;
    QPushButton* moveToRightBtn_ = nullptr;
    QList<QWidget*> segments_;
    QLineEdit* customCharacters_ = nullptr;
    QLineEdit* numSeq_ = nullptr;
    QLineEdit* increase_ = nullptr;
    QComboBox* dateFormat_ = nullptr;
    QComboBox* timeFormat_ = nullptr;
    QCheckBox* separatorBtn_ = nullptr;
    QLineEdit* separator_ = nullptr;
    QLineEdit* outputPath_ = nullptr;
    QPushButton* outputPathBtn_ = nullptr;
    QPushButton* openFolderBtn_ = nullptr;
    QCheckBox* removeOrignailChk_ = nullptr;
    QCheckBox* applyToAllBtn_ = nullptr;
    QLineEdit* previewTf_ = nullptr;
    QPushButton* helpButton_ = nullptr;
    QPushButton* cancelBtn_ = nullptr;
    QPushButton* applyBtn_ = nullptr;
    QPointer<QFrame> helpPopover_;
    QTextBrowser* helpWebView_ = nullptr;
    QPushButton* openInBrowserBtn_ = nullptr;
    QPushButton* closePopoverBtn_ = nullptr;
};
