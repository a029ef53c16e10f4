#include "tools/TAVManangePresetsWindowController.h"

#include "tools/TAVManangePresetsWindowControllerDelegate.h"
#include "tools/TAVPresetListModel.h"
#include "tools/TAVPresetNameEditDelegate.h"
#include "tools/TAVPrestManager.h"

#include "commlib/VXCommonWindow.h"
#include "commlib/VXCustomBgColorView.h"
#include "commlib/VXGradientView.h"

#include "foundation/UiServices.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kBarHeight = 44;
constexpr int kRowHeight = 28;

QColor rgb255(int red, int green, int blue)
{
    return QColor::fromRgbF(
        static_cast<float>(red / 255.0), static_cast<float>(green / 255.0), static_cast<float>(blue / 255.0), 1.0f);
}

} // namespace

TAVManangePresetsWindowController::TAVManangePresetsWindowController(QObject* parent)
    : VXCommonWindowController(parent)
{
    // A child of the controller: it outlives the table, which goes with the window.
    model_ = new TAVPresetListModel(this);
    model_->setRenameHandler([this](int row, const QString& name) { return renamePreset(row, name); });
}

TAVManangePresetsWindowController::~TAVManangePresetsWindowController()
{
    // The window goes in the base class's destructor; a name editor still open
    // then commits its text, which must not reach this half-destroyed sheet.
    model_->setRenameHandler({});
}

QWidget* TAVManangePresetsWindowController::makeWindow()
{
    auto* sheet = new VXCommonWindow();
    sheet->setWindowTitle(tr("Manage Presets"));
    sheet->resize(380, 340);
    buildBars(sheet);
    buildTable(sheet);

    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(topView_);
    layout->addWidget(tableView_, 1);
    layout->addWidget(bottomView_);

    connect(btnRename_, &QPushButton::clicked, this, [this] { clickRename(); });
    connect(btnDelete_, &QPushButton::clicked, this, [this] { clickDelete(); });
    connect(btnDone_, &QPushButton::clicked, this, [this] { clickDone(); });
    // Done is the one way out, so the owner always hears that the editing ended.
    sheet->setRejectHandler([this] { clickDone(); });
    return sheet;
}

void TAVManangePresetsWindowController::buildBars(QWidget* sheet)
{
    topView_ = new VXGradientView(sheet);
    topView_->setObjectName(QStringLiteral("_topView"));
    topView_->setFixedHeight(kBarHeight);
    auto* title = new QLabel(tr("Presets"), topView_);
    QPalette palette = title->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    title->setPalette(palette);
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    auto* topLayout = new QHBoxLayout(topView_);
    topLayout->setContentsMargins(12, 0, 12, 0);
    topLayout->addWidget(title);

    bottomView_ = new VXCustomBgColorView(sheet);
    bottomView_->setObjectName(QStringLiteral("_bottomVIew"));
    bottomView_->setFixedHeight(kBarHeight);
    btnRename_ = new QPushButton(tr("Rename"), bottomView_);
    btnRename_->setObjectName(QStringLiteral("_btnRename"));
    btnRename_->setAutoDefault(false);
    btnDelete_ = new QPushButton(tr("Delete"), bottomView_);
    btnDelete_->setObjectName(QStringLiteral("_btnDelete"));
    btnDelete_->setAutoDefault(false);
    btnDone_ = new QPushButton(tr("Done"), bottomView_);
    btnDone_->setObjectName(QStringLiteral("_btnDone"));
    btnDone_->setAutoDefault(false);
    auto* bottomLayout = new QHBoxLayout(bottomView_);
    bottomLayout->setContentsMargins(10, 0, 10, 0);
    bottomLayout->addWidget(btnRename_);
    bottomLayout->addWidget(btnDelete_);
    bottomLayout->addStretch(1);
    bottomLayout->addWidget(btnDone_);
}

void TAVManangePresetsWindowController::buildTable(QWidget* sheet)
{
    tableView_ = new QTableView(sheet);
    tableView_->setObjectName(QStringLiteral("_tableView"));
    tableView_->setModel(model_);
    nameDelegate_ = new TAVPresetNameEditDelegate(tableView_);
    tableView_->setItemDelegate(nameDelegate_);
    tableView_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView_->setSelectionMode(QAbstractItemView::SingleSelection);
    tableView_->setShowGrid(false);
    tableView_->setAlternatingRowColors(true);
    tableView_->horizontalHeader()->hide();
    tableView_->horizontalHeader()->setStretchLastSection(true);
    tableView_->verticalHeader()->hide();
    tableView_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tableView_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    connect(
        tableView_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { updateButtonsEnable(); });
    // A reset clears the selection without telling anyone.
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { updateButtonsEnable(); });
}

void TAVManangePresetsWindowController::windowDidLoad()
{
    updatePresets(TAVPrestManager::sharedInstance()->loadPresets().value_or(QList<TAVExifDataPtr>()));
    topView_->setAryBgColors({rgb255(65, 65, 67), rgb255(59, 59, 61), rgb255(52, 52, 54), rgb255(50, 50, 52)});
    bottomView_->setBgColor(rgb255(240, 239, 240));
    updateButtonsEnable();
}

void TAVManangePresetsWindowController::updatePresets(const QList<TAVExifDataPtr>& presets)
{
    model_->setPresets(presets);
}

const QList<TAVExifDataPtr>& TAVManangePresetsWindowController::maryPresets() const
{
    return model_->presets();
}

int TAVManangePresetsWindowController::selectedRow()
{
    const QModelIndexList rows = tableView()->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TAVManangePresetsWindowController::updateButtonsEnable()
{
    const bool selected = model_->presetAt(selectedRow()) != nullptr;
    btnRename()->setEnabled(selected);
    btnDelete()->setEnabled(selected);
}

void TAVManangePresetsWindowController::clickRename()
{
    const int row = selectedRow();
    if (row < 0) {
        return;
    }
    // The view selects the editor's whole text as the edit starts.
    tableView()->edit(model_->index(row, 0));
}

void TAVManangePresetsWindowController::clickDelete()
{
    const TAVExifDataPtr preset = model_->presetAt(selectedRow());
    if (!preset) {
        return;
    }
    TAVPrestManager::sharedInstance()->deletePreset(preset->strName());
    const QPointer<TAVManangePresetsWindowController> self(this);
    if (delegate_ != nullptr) {
        delegate_->managePresetsWindowCtlrDidDeletePreset(preset);
    }
    if (self) {
        reloadFromStore();
        updateButtonsEnable();
    }
}

void TAVManangePresetsWindowController::clickDone()
{
    // A name still in its editor is stored before the sheet goes.
    if (nameDelegate_ != nullptr) {
        nameDelegate_->commitOpenEditor();
    }
    endSheetOfSelfWindow();
    if (delegate_ != nullptr) {
        delegate_->managePresetsWindowCtlrDidFinishEdit(this);
    }
}

bool TAVManangePresetsWindowController::renamePreset(int row, const QString& name)
{
    const TAVExifDataPtr preset = model_->presetAt(row);
    if (!preset) {
        return false;
    }
    const QString oldName = preset->strName();
    // The store refuses an empty or unusable name and another preset's name,
    // and keeps the old file when the new one cannot be written.
    if (name.isEmpty() || !TAVPrestManager::sharedInstance()->updatePreset(preset, name)) {
        refuse();
        return false;
    }
    const QPointer<TAVManangePresetsWindowController> self(this);
    if (delegate_ != nullptr) {
        delegate_->managePresetsWindowCtlrDidRenameOld(oldName, name);
    }
    // The view is still inside the edit: the list is read again once it is done.
    if (self) {
        QTimer::singleShot(0, this, [this] { reloadFromStore(); });
    }
    return true;
}

void TAVManangePresetsWindowController::reloadFromStore()
{
    updatePresets(TAVPrestManager::sharedInstance()->loadPresets().value_or(QList<TAVExifDataPtr>()));
}

void TAVManangePresetsWindowController::refuse()
{
    if (UiServices* ui = UiServices::shared()) {
        ui->beep();
    }
}

VXGradientView* TAVManangePresetsWindowController::topView()
{
    window();
    return topView_;
}

VXCustomBgColorView* TAVManangePresetsWindowController::bottomView()
{
    window();
    return bottomView_;
}

QTableView* TAVManangePresetsWindowController::tableView()
{
    window();
    return tableView_;
}

QPushButton* TAVManangePresetsWindowController::btnRename()
{
    window();
    return btnRename_;
}

QPushButton* TAVManangePresetsWindowController::btnDelete()
{
    window();
    return btnDelete_;
}

QPushButton* TAVManangePresetsWindowController::btnDone()
{
    window();
    return btnDone_;
}
