#pragma once

#include "commlib/VXCommonWindowController.h"

#include "models/record/TAVExifData.h"
#include "views/GSStickyRowTableViewDelegate.h"

#include <QString>

#include <cstdint>

class GSGroupedTableView;
class NotLossFoucsSearchField;
class QCheckBox;
class QLineEdit;
class QPushButton;
class TAVSearchableTagTableDelegate;
class TAVSearchableTagTableModel;

// The search-and-replace sheet over the shown record. Its table lists the
// record's text values; a search narrows it to the rows whose value holds the
// search text, each hit a new entity that carries its after-value ("After"):
// null for none, "" for "write the empty text". Replace-one fills the hits one
// at a time and wraps, replace-all fills them all, an after-value can also be
// typed. Only Apply writes into the record (the very record handed in, not a
// copy); Cancel drops the after-values.
//
// Callers rely on:
// - A record without an image path (several images selected) gives no rows.
// - Only "Exif." and "Iptc." values of a text type are listed, never empty ones.
// - Every after-value that reaches the record passed the writer's check.
// - After-values live on hits only: typing one while no search is active is
//   refused with a beep, so nothing typed is silently dropped by Apply.
// - Apply raises the tabs' pending-edits flag when it wrote a value and posts
//   "notiFileMetadataHasChanged" {"hasModify": true, "needRefresh": true}.
class TAVReplaceWindowController : public VXCommonWindowController, public GSStickyRowTableViewDelegate {
    Q_OBJECT
public:
    static const QString kOriginalColumn; // "Original"

    explicit TAVReplaceWindowController(const TAVExifDataPtr& record, QObject* parent = nullptr);
    ~TAVReplaceWindowController() override;

    // Stores the record and rebuilds the rows.
    void setImgExifData(const TAVExifDataPtr& record);
    const TAVExifDataPtr& imgExifData() const { return imgExifData_; }

    // The rows a record offers: its user-set values sorted by key, less those
    // that are empty, of another family, or of a non-text type, and less
    // those a tab shows only through another tag (a description showing the
    // caption of a file without one) that the user did not edit.
    static TAVEntityList replaceableRowsOfRecord(const TAVExifData& record);
    // An empty text always passes; anything else as the writer would take it.
    static bool testValueIsVaild(const QString& text, const QString& key);

    // Actions.
    void startSearch();
    void clickCaseIgnor();
    void clickReplaceOne();
    void clickReplaceAll();
    void clickApply();
    void clickCancel();
    void controlTextDidChange();

    // Posts "notiFileMetadataHasChanged" with this sheet as sender.
    void notiFileMetadataChanged(bool needRefresh);

    int64_t replaceIndex() const { return replaceIndex_; }
    TAVSearchableTagTableModel* model() const { return model_; }

    GSGroupedTableView* tableView();
    NotLossFoucsSearchField* searchTextField();
    QLineEdit* replaceTextField();
    QCheckBox* caseIgnor();
    QPushButton* replaceOneBtn();
    QPushButton* replaceAllBtn();
    QPushButton* applyBtn();
    QPushButton* cancelBtn();

    std::optional<bool> tableViewIsGroupRow(const GSStickyRowTableView* tableView, int row) const override;

protected:
    QWidget* makeWindow() override;

private:
    void buildTable(QWidget* sheet);
    void reloadTable();
    void selectRow(int64_t row);
    void updateButtons();
    Qt::CaseSensitivity caseSensitivity() const;
    // The hit's value with every occurrence of the search text replaced.
    QString replacementOf(const QString& value) const;
    bool takeTypedAfterValue(const TAVEntityPtr& row, const QString& text);
    void showInvalidValueAlert(const QString& key);

    GSGroupedTableView* tableView_ = nullptr;
    NotLossFoucsSearchField* searchTextField_ = nullptr;
    QLineEdit* replaceTextField_ = nullptr;
    QCheckBox* caseIgnor_ = nullptr;
    QPushButton* replaceOneBtn_ = nullptr;
    QPushButton* replaceAllBtn_ = nullptr;
    QPushButton* applyBtn_ = nullptr;
    QPushButton* cancelBtn_ = nullptr;
    TAVSearchableTagTableModel* model_ = nullptr;
    TAVSearchableTagTableDelegate* cellDelegate_ = nullptr;
    TAVExifDataPtr imgExifData_;
    int64_t replaceIndex_ = 0;
};
