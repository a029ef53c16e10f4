#pragma once

#include "commlib/VXCommonWindowController.h"

#include "models/record/TAVExifData.h"
#include "views/GSStickyRowTableViewDelegate.h"

#include <QStringList>

#include <functional>

class GSGroupedTableView;
class NotLossFoucsSearchField;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TAVSearchableTagTableModel;

// The sheet, over the export sheet, on which the user ticks the EXIF and IPTC
// fields a custom export writes into its CSV tables. Its rows are copies of
// the record's values, so ticking never reaches the record.
//
// Callers rely on:
// - Only keys of offered rows come back, each once, sorted by plain comparison.
// - Apply, Cancel, Escape and the close button all end the sheet and hand the
//   ticked keys to the apply block: the export sheet always hears back.
// - A tick made on a search hit ticks the field itself and stays after the search.
class TAVFiltExportFieldsWndCtlr : public VXCommonWindowController, public GSStickyRowTableViewDelegate {
    Q_OBJECT
public:
    using ApplyBlock = std::function<void(const QStringList& keys)>;

    explicit TAVFiltExportFieldsWndCtlr(QObject* parent = nullptr);
    ~TAVFiltExportFieldsWndCtlr() override;

    // Offers the record's EXIF and IPTC values, ticking those with a given key.
    void setImgExifData(const TAVExifDataPtr& record, const QStringList& selectedKeys);

    const ApplyBlock& applyBlock() const { return applyBlock_; }
    void setApplyBlock(const ApplyBlock& block) { applyBlock_ = block; }

    // Actions.
    void clickApply();
    void clickCancel();
    void startSearch(QLineEdit* sender);
    void clickIgnoringCase();
    void clickSelectAall();
    void clickHasValue();

    QStringList getSelectedFields() const;
    void updateTotalSelectedTips();

    NotLossFoucsSearchField* searchField();
    GSGroupedTableView* tableView();
    QCheckBox* caseIgnoring();
    QLabel* totalSelectTips();
    QCheckBox* hasValueChk();
    QCheckBox* allChk();
    QPushButton* applyBtn();
    QPushButton* cancelBtn();
    TAVSearchableTagTableModel* model() const { return model_; }

    std::optional<bool> tableViewIsGroupRow(const GSStickyRowTableView* tableView, int row) const override;

protected:
    QWidget* makeWindow() override;
    void windowDidLoad() override;

private:
    void buildTable(QWidget* sheet);
    void finish();
    // Shows the full list's ticks again, in the hits too while searching.
    void reloadTable();

    NotLossFoucsSearchField* searchField_ = nullptr;
    GSGroupedTableView* tableView_ = nullptr;
    QCheckBox* caseIgnoring_ = nullptr;
    QLabel* totalSelectTips_ = nullptr;
    QCheckBox* hasValueChk_ = nullptr;
    QCheckBox* allChk_ = nullptr;
    QPushButton* applyBtn_ = nullptr;
    QPushButton* cancelBtn_ = nullptr;
    TAVSearchableTagTableModel* model_ = nullptr;
    ApplyBlock applyBlock_;
};
