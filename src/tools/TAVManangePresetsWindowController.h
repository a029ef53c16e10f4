#pragma once

#include "commlib/VXCommonWindowController.h"

#include "models/record/TAVExifData.h"

#include <QList>

class QLabel;
class QPushButton;
class QTableView;
class TAVManangePresetsWindowControllerDelegate;
class TAVPresetListModel;
class TAVPresetNameEditDelegate;
class VXCustomBgColorView;
class VXGradientView;

// The sheet that lists the stored presets and renames or deletes them. A name
// is edited in place; the store renames the file, and a name that is empty,
// unusable or another preset's is refused with a beep, keeping the old one.
// Delete removes the preset at once. Every change reads the list from the
// store again. Done (also Escape and the close button) stores a name being
// edited, ends the sheet, then tells the delegate.
class TAVManangePresetsWindowController : public VXCommonWindowController {
    Q_OBJECT
public:
    explicit TAVManangePresetsWindowController(QObject* parent = nullptr);
    ~TAVManangePresetsWindowController() override;

    TAVManangePresetsWindowControllerDelegate* delegate() const { return delegate_; }
    void setDelegate(TAVManangePresetsWindowControllerDelegate* delegate) { delegate_ = delegate; }

    // Replaces the shown list.
    void updatePresets(const QList<TAVExifDataPtr>& presets);
    const QList<TAVExifDataPtr>& maryPresets() const;
    // Rename and Delete need a selected row.
    void updateButtonsEnable();

    // Actions.
    void clickRename();
    void clickDelete();
    void clickDone();

    VXGradientView* topView();
    VXCustomBgColorView* bottomView();
    QTableView* tableView();
    QPushButton* btnRename();
    QPushButton* btnDelete();
    QPushButton* btnDone();
    TAVPresetListModel* model() const { return model_; }

protected:
    QWidget* makeWindow() override;
    void windowDidLoad() override;

private:
    void buildBars(QWidget* sheet);
    void buildTable(QWidget* sheet);
    int selectedRow();
    bool renamePreset(int row, const QString& name);
    void reloadFromStore();
    void refuse();

    TAVPresetListModel* model_ = nullptr;
    VXGradientView* topView_ = nullptr;
    VXCustomBgColorView* bottomView_ = nullptr;
    QTableView* tableView_ = nullptr;
    TAVPresetNameEditDelegate* nameDelegate_ = nullptr;
    QPushButton* btnRename_ = nullptr;
    QPushButton* btnDelete_ = nullptr;
    QPushButton* btnDone_ = nullptr;
    TAVManangePresetsWindowControllerDelegate* delegate_ = nullptr;
};
