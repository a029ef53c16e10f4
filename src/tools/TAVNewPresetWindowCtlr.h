#pragma once

#include "commlib/VXCommonWindowController.h"

#include "models/record/TAVExifData.h"
#include "views/GSStickyRowTableViewDelegate.h"

class GSGroupedTableView;
class NotLossFoucsSearchField;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TAVNewPresetWindowCtlrDelegate;
class TAVSearchableTagTableDelegate;
class TAVSearchableTagTableModel;

// The sheet that saves the current setting as a new preset: a name, and a
// table of the setting's values in which the user ticks those the preset
// keeps. The table searches values only; its hits are the rows themselves, so
// ticks made while searching are ticks of the rows, and a hit's red run is
// display data that never reaches the saved record.
//
// OK needs a name and a tick. A missing, unusable or taken name shows a red
// message with a beep and the sheet stays; otherwise the delegate gets the
// sheet's own copy of the record, named and holding only the ticked values,
// and the sheet ends. Cancel, Escape and the close button tell the delegate
// (cancelled, null) and end the sheet.
class TAVNewPresetWindowCtlr : public VXCommonWindowController, public GSStickyRowTableViewDelegate {
    Q_OBJECT
public:
    static const QString kOriginalColumn; // "Original"

    explicit TAVNewPresetWindowCtlr(const TAVExifDataPtr& record, QObject* parent = nullptr);
    ~TAVNewPresetWindowCtlr() override;

    // Takes a copy of the record (null for none) and rebuilds the rows.
    void setExifData(const TAVExifDataPtr& record);
    const TAVExifDataPtr& exifData() const { return exifData_; }

    TAVNewPresetWindowCtlrDelegate* delegate() const { return delegate_; }
    void setDelegate(TAVNewPresetWindowCtlrDelegate* delegate) { delegate_ = delegate; }

    // Actions.
    void clickOK();
    void clickCancel();
    void clickCaseIgnor();
    void startSearch(QLineEdit* sender);
    void clickSelectAll();
    void controlTextDidChange();

    // OK needs a tick and a name; the select-all title says what a click does.
    void updateUI();
    // Leaves in the record only the ticked values.
    void updateData();

    QLabel* tips();
    QLineEdit* presetNameField();
    GSGroupedTableView* tableview();
    QCheckBox* searchIgnore();
    NotLossFoucsSearchField* searchField();
    QPushButton* selectAllBtn();
    QPushButton* okBtn();
    QPushButton* cancelBtn();
    TAVSearchableTagTableModel* model() const { return model_; }

    std::optional<bool> tableViewIsGroupRow(const GSStickyRowTableView* tableView, int row) const override;

protected:
    QWidget* makeWindow() override;
    void windowDidLoad() override;

private:
    void buildTable(QWidget* sheet);
    void fitTagColumn();
    void showTips(const QString& message);
    void reloadTable();

    QLabel* tips_ = nullptr;
    QLineEdit* presetNameField_ = nullptr;
    GSGroupedTableView* tableview_ = nullptr;
    QCheckBox* searchIgnore_ = nullptr;
    NotLossFoucsSearchField* searchField_ = nullptr;
    QPushButton* selectAllBtn_ = nullptr;
    QPushButton* okBtn_ = nullptr;
    QPushButton* cancelBtn_ = nullptr;
    TAVSearchableTagTableModel* model_ = nullptr;
    TAVSearchableTagTableDelegate* cellDelegate_ = nullptr;
    TAVExifDataPtr exifData_;
    TAVNewPresetWindowCtlrDelegate* delegate_ = nullptr;
};
