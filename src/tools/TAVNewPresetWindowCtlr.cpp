#include "tools/TAVNewPresetWindowCtlr.h"

#include "tools/TAVNewPresetWindowCtlrDelegate.h"
#include "tools/TAVPrestManager.h"

#include "commlib/NotLossFoucsSearchField.h"
#include "commlib/TAVSearchableTagTableDelegate.h"
#include "commlib/TAVSearchableTagTableModel.h"
#include "commlib/VXCommonWindow.h"

#include "foundation/UiServices.h"
#include "models/tables/TAVKeyLists.h"
#include "views/GSGroupedTableView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

using Table = TAVSearchableTagTable;
using Column = TAVSearchableTagTableModel::Column;

constexpr int kCheckColumnWidth = 28;
constexpr int kTypeColumnWidth = 90;
constexpr int kTagColumnWidth = 260;
constexpr int kRowHeight = 22;

// Values only, hits are the rows themselves, no family row in a search.
Table::Policy presetPolicy()
{
    Table::Policy policy;
    policy.scope = Table::SearchScope::ValueOnly;
    policy.hits = Table::HitKind::SourceRows;
    policy.keepFamilyRows = false;
    return policy;
}

// Every user-set entry of the record, of all families, except the keys that
// are only ever shown, sorted by key. The entries themselves, not copies.
TAVEntityList presetRowsOfRecord(const TAVExifData& record)
{
    TAVEntityList rows;
    const TAVCategoryMaps& categories = record.mdicUserSetExifDataInfo();
    for (const TAVEntityMap& map : categories) {
        for (const TAVEntityPtr& entity : map) {
            if (entity && !TAVKeyLists::isDisplayOnlyKey(entity->key())) {
                rows.append(entity);
            }
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const TAVEntityPtr& a, const TAVEntityPtr& b) {
        return QString::compare(a->key(), b->key(), Qt::CaseSensitive) < 0;
    });
    return rows;
}

void setRed(QLabel* label)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    label->setPalette(palette);
}

} // namespace

const QString TAVNewPresetWindowCtlr::kOriginalColumn = QStringLiteral("Original");

TAVNewPresetWindowCtlr::TAVNewPresetWindowCtlr(const TAVExifDataPtr& record, QObject* parent)
    : VXCommonWindowController(parent)
{
    const QList<Column> columns = {
        {TAVSearchableTagTableModel::kCheckColumn, QString(), true},
        {TAVSearchableTagTableModel::kDataTypeColumn, tr("Type"), false},
        {TAVSearchableTagTableModel::kTagColumn, tr("Tag"), false},
        {kOriginalColumn, tr("Value"), false},
    };
    // A child of the controller: it outlives the window and its table, which
    // the base class deletes first.
    model_ = new TAVSearchableTagTableModel(presetPolicy(), columns, this);
    model_->setTagShowsDisplayKey(false);
    connect(model_, &TAVSearchableTagTableModel::rowCheckChanged, this, [this] { updateUI(); });
    setExifData(record);
}

TAVNewPresetWindowCtlr::~TAVNewPresetWindowCtlr()
{
    if (tableview_ != nullptr) {
        tableview_->setStickyRowDelegate(nullptr);
    }
}

void TAVNewPresetWindowCtlr::setExifData(const TAVExifDataPtr& record)
{
    exifData_ = record ? record->copy() : nullptr;
    model_->table().setRows(exifData_ ? presetRowsOfRecord(*exifData_) : TAVEntityList());
    reloadTable();
    if (isWindowLoaded()) {
        updateUI();
    }
}

QWidget* TAVNewPresetWindowCtlr::makeWindow()
{
    auto* sheet = new VXCommonWindow();
    sheet->setWindowTitle(tr("New Preset"));
    sheet->resize(720, 480);

    auto* nameLabel = new QLabel(tr("Preset Name:"), sheet);
    presetNameField_ = new QLineEdit(sheet);
    presetNameField_->setObjectName(QStringLiteral("presetNameField"));
    nameLabel->setBuddy(presetNameField_);
    tips_ = new QLabel(sheet);
    tips_->setObjectName(QStringLiteral("tips"));
    setRed(tips_);

    selectAllBtn_ = new QPushButton(tr("Select All"), sheet);
    selectAllBtn_->setObjectName(QStringLiteral("selectAllBtn"));
    selectAllBtn_->setCheckable(true);
    selectAllBtn_->setAutoDefault(false);
    searchIgnore_ = new QCheckBox(tr("Ignore case"), sheet);
    searchIgnore_->setObjectName(QStringLiteral("searchIgnore"));
    searchField_ = new NotLossFoucsSearchField(sheet);
    searchField_->setObjectName(QStringLiteral("searchField"));
    searchField_->setMinimumWidth(200);

    buildTable(sheet);

    cancelBtn_ = new QPushButton(tr("Cancel"), sheet);
    cancelBtn_->setAutoDefault(false);
    okBtn_ = new QPushButton(tr("OK"), sheet);
    okBtn_->setObjectName(QStringLiteral("okBtn"));
    okBtn_->setDefault(true);

    auto* nameRow = new QHBoxLayout();
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(presetNameField_, 1);
    auto* searchRow = new QHBoxLayout();
    searchRow->addWidget(selectAllBtn_);
    searchRow->addStretch(1);
    searchRow->addWidget(searchIgnore_);
    searchRow->addWidget(searchField_);
    auto* buttonRow = new QHBoxLayout();
    buttonRow->addWidget(tips_, 1);
    buttonRow->addWidget(cancelBtn_);
    buttonRow->addWidget(okBtn_);
    auto* layout = new QVBoxLayout(sheet);
    layout->addLayout(nameRow);
    layout->addLayout(searchRow);
    layout->addWidget(tableview_, 1);
    layout->addLayout(buttonRow);

    connect(presetNameField_, &QLineEdit::textChanged, this, [this] { controlTextDidChange(); });
    // The search acts while the user types, as a platform search field does.
    connect(searchField_, &QLineEdit::textChanged, this, [this] { startSearch(searchField_); });
    connect(searchIgnore_, &QCheckBox::clicked, this, [this] { clickCaseIgnor(); });
    connect(selectAllBtn_, &QPushButton::clicked, this, [this] { clickSelectAll(); });
    connect(okBtn_, &QPushButton::clicked, this, [this] { clickOK(); });
    connect(cancelBtn_, &QPushButton::clicked, this, [this] { clickCancel(); });
    // Escape and the close button must not end the sheet behind the owner's back.
    sheet->setRejectHandler([this] { clickCancel(); });
    return sheet;
}

void TAVNewPresetWindowCtlr::buildTable(QWidget* sheet)
{
    tableview_ = new GSGroupedTableView(sheet);
    tableview_->setObjectName(QStringLiteral("tableview"));
    tableview_->setModel(model_);
    cellDelegate_ = new TAVSearchableTagTableDelegate(tableview_);
    tableview_->setItemDelegate(cellDelegate_);
    tableview_->setStickyRowDelegate(this);
    tableview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableview_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableview_->setSelectionMode(QAbstractItemView::SingleSelection);
    tableview_->setWordWrap(false);
    tableview_->verticalHeader()->hide();
    tableview_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tableview_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    tableview_->horizontalHeader()->setStretchLastSection(true);
    tableview_->setColumnWidth(0, kCheckColumnWidth);
    tableview_->setColumnWidth(1, kTypeColumnWidth);
    tableview_->setColumnWidth(2, kTagColumnWidth);
    TAVSearchableTagTableDelegate::spanGroupRows(tableview_);
    fitTagColumn();
    connect(model_, &QAbstractItemModel::modelReset, tableview_, [this] {
        TAVSearchableTagTableDelegate::spanGroupRows(tableview_);
        fitTagColumn();
    });
}

void TAVNewPresetWindowCtlr::fitTagColumn()
{
    // Tag names are never cut: the column grows to the longest (in the
    // edited rows' bold font), and never below its usual width.
    QFont bold = tableview_->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    int widest = kTagColumnWidth;
    for (int row = 0; row < model_->rowCount(); ++row) {
        const QString tag = model_->index(row, 2).data().toString();
        widest = std::max(widest, metrics.horizontalAdvance(tag) + 16);
    }
    tableview_->setColumnWidth(2, widest);
}

void TAVNewPresetWindowCtlr::windowDidLoad()
{
    // OK and the select-all title are right from the first look, not only
    // after the first change.
    updateUI();
}

std::optional<bool> TAVNewPresetWindowCtlr::tableViewIsGroupRow(const GSStickyRowTableView* tableView, int row) const
{
    (void)tableView;
    return model_->isGroupRow(row);
}

void TAVNewPresetWindowCtlr::reloadTable()
{
    model_->reload();
}

void TAVNewPresetWindowCtlr::showTips(const QString& message)
{
    tips()->setText(message);
    if (UiServices* ui = UiServices::shared()) {
        ui->beep();
    }
}

void TAVNewPresetWindowCtlr::clickOK()
{
    const QString name = presetNameField()->text();
    if (name.isEmpty()) {
        showTips(tr("Please input preset name."));
        return;
    }
    // The name becomes a file name: one that would leave the folder, hide the
    // file or not fit is refused here rather than failing later.
    if (!TAVPrestManager::isValidPresetName(name)) {
        showTips(tr("Preset name is not valid."));
        return;
    }
    if (TAVPrestManager::sharedInstance()->presetWithName(name)) {
        showTips(tr("Preset name has exist."));
        return;
    }
    if (!exifData_) {
        return;
    }
    exifData_->setStrName(name);
    updateData();
    // The delegate may end the sheet itself, or even let go of this controller.
    const QPointer<TAVNewPresetWindowCtlr> self(this);
    if (delegate_ != nullptr) {
        delegate_->didNewPresetWindowCltrFinished(false, exifData_);
    }
    if (self) {
        endSheetOfSelfWindow();
    }
}

void TAVNewPresetWindowCtlr::clickCancel()
{
    const QPointer<TAVNewPresetWindowCtlr> self(this);
    if (delegate_ != nullptr) {
        delegate_->didNewPresetWindowCltrFinished(true, nullptr);
    }
    if (self) {
        endSheetOfSelfWindow();
    }
}

void TAVNewPresetWindowCtlr::clickCaseIgnor()
{
    model_->table().setCaseSensitivity(searchIgnore()->isChecked() ? Qt::CaseInsensitive : Qt::CaseSensitive);
    startSearch(searchField());
}

void TAVNewPresetWindowCtlr::startSearch(QLineEdit* sender)
{
    Table& table = model_->table();
    const QString text = sender != nullptr ? sender->text() : QString();
    table.startSearch(text);
    if (!table.isSearch()) {
        // Ending a search drops the hits, so no stale run stays behind.
        table.loadSearchData(text);
    }
    reloadTable();
    if (table.isSearch() && model_->rowCount() > 0) {
        tableview()->selectRow(0);
    }
}

void TAVNewPresetWindowCtlr::clickSelectAll()
{
    // What the title promised: tick all when one is unticked, else untick all.
    bool anyUnticked = false;
    for (const TAVEntityPtr& row : model_->table().allRows()) {
        anyUnticked = anyUnticked || (!Table::isFamilyRow(*row) && !row->isChecked());
    }
    for (const TAVEntityPtr& row : model_->table().allRows()) {
        if (!Table::isFamilyRow(*row)) {
            row->setIsChecked(anyUnticked);
        }
    }
    updateUI();
    reloadTable();
}

void TAVNewPresetWindowCtlr::controlTextDidChange()
{
    tips()->clear();
    updateUI();
}

void TAVNewPresetWindowCtlr::updateUI()
{
    bool anyTicked = false;
    bool anyUnticked = false;
    for (const TAVEntityPtr& row : model_->table().allRows()) {
        if (Table::isFamilyRow(*row)) {
            continue;
        }
        anyTicked = anyTicked || row->isChecked();
        anyUnticked = anyUnticked || !row->isChecked();
    }
    okBtn()->setEnabled(anyTicked && !presetNameField()->text().isEmpty());
    selectAllBtn()->setText(anyUnticked ? tr("Select All") : tr("Unselect All"));
    selectAllBtn()->setChecked(!anyUnticked);
}

void TAVNewPresetWindowCtlr::updateData()
{
    if (!exifData_) {
        return;
    }
    // Walks the record rather than the rows: keys that are only ever shown
    // are no rows, and must not be saved either.
    QStringList dropped;
    for (const TAVEntityMap& map : exifData_->mdicUserSetExifDataInfo()) {
        for (const TAVEntityPtr& entity : map) {
            if (entity
                && (Table::isFamilyRow(*entity) || !entity->isChecked()
                    || TAVKeyLists::isDisplayOnlyKey(entity->key()))) {
                entity->setValue(QString());
                dropped.append(entity->key());
            }
        }
    }
    for (const QString& key : std::as_const(dropped)) {
        exifData_->removeExifTag(key);
    }
}

QLabel* TAVNewPresetWindowCtlr::tips()
{
    window();
    return tips_;
}

QLineEdit* TAVNewPresetWindowCtlr::presetNameField()
{
    window();
    return presetNameField_;
}

GSGroupedTableView* TAVNewPresetWindowCtlr::tableview()
{
    window();
    return tableview_;
}

QCheckBox* TAVNewPresetWindowCtlr::searchIgnore()
{
    window();
    return searchIgnore_;
}

NotLossFoucsSearchField* TAVNewPresetWindowCtlr::searchField()
{
    window();
    return searchField_;
}

QPushButton* TAVNewPresetWindowCtlr::selectAllBtn()
{
    window();
    return selectAllBtn_;
}

QPushButton* TAVNewPresetWindowCtlr::okBtn()
{
    window();
    return okBtn_;
}

QPushButton* TAVNewPresetWindowCtlr::cancelBtn()
{
    window();
    return cancelBtn_;
}
