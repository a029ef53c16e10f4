#include "tools/TAVFiltExportFieldsWndCtlr.h"

#include "commlib/NotLossFoucsSearchField.h"
#include "commlib/TAVSearchableTagTableDelegate.h"
#include "commlib/TAVSearchableTagTableModel.h"
#include "commlib/VXCommonWindow.h"

#include "views/GSGroupedTableView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

using Table = TAVSearchableTagTable;
using Column = TAVSearchableTagTableModel::Column;

const QString kValueColumn = QStringLiteral("Value");
constexpr int kCheckColumnWidth = 28;
constexpr int kTypeColumnWidth = 90;
constexpr int kTagColumnWidth = 260;
constexpr int kRowHeight = 22;

bool hasValue(const TAVEntity& row)
{
    return !row.value().isEmpty() && row.value().toLower() != QLatin1String("unknown");
}

} // namespace

TAVFiltExportFieldsWndCtlr::TAVFiltExportFieldsWndCtlr(QObject* parent)
    : VXCommonWindowController(parent)
{
    const QList<Column> columns = {
        {TAVSearchableTagTableModel::kCheckColumn, QString(), true},
        {TAVSearchableTagTableModel::kDataTypeColumn, tr("Type"), false},
        {TAVSearchableTagTableModel::kTagColumn, tr("Tag"), false},
        {kValueColumn, tr("Value"), false},
    };
    // A child of the controller: it outlives the table, which goes with the window.
    model_ = new TAVSearchableTagTableModel(Table::Policy(), columns, this);
    connect(model_, &TAVSearchableTagTableModel::rowCheckChanged, this, [this] { updateTotalSelectedTips(); });
}

TAVFiltExportFieldsWndCtlr::~TAVFiltExportFieldsWndCtlr()
{
    if (tableView_ != nullptr) {
        tableView_->setStickyRowDelegate(nullptr);
    }
}

void TAVFiltExportFieldsWndCtlr::setImgExifData(const TAVExifDataPtr& record, const QStringList& selectedKeys)
{
    TAVEntityList rows;
    if (record) {
        for (const TAVEntityPtr& entity : Table::familyRowsOfRecord(*record)) {
            // Copies: ticks belong to this sheet, never to the record.
            TAVEntityPtr row = entity->copy();
            row->setIsChecked(selectedKeys.contains(row->key()));
            row->setIsModified(false);
            rows.append(row);
        }
    }
    model_->table().setRows(rows);
    model_->reload();
    if (isWindowLoaded()) {
        updateTotalSelectedTips();
    }
}

QWidget* TAVFiltExportFieldsWndCtlr::makeWindow()
{
    auto* sheet = new VXCommonWindow();
    sheet->setWindowTitle(tr("Choose Fields"));
    sheet->resize(720, 480);

    allChk_ = new QCheckBox(tr("Select All"), sheet);
    allChk_->setObjectName(QStringLiteral("allChk"));
    hasValueChk_ = new QCheckBox(tr("Has Value"), sheet);
    hasValueChk_->setObjectName(QStringLiteral("hasValueChk"));
    caseIgnoring_ = new QCheckBox(tr("Ignore case"), sheet);
    caseIgnoring_->setObjectName(QStringLiteral("caseIgnoring"));
    searchField_ = new NotLossFoucsSearchField(sheet);
    searchField_->setObjectName(QStringLiteral("searchField"));
    searchField_->setMinimumWidth(200);
    buildTable(sheet);
    totalSelectTips_ = new QLabel(sheet);
    totalSelectTips_->setObjectName(QStringLiteral("totalSelectTips"));
    cancelBtn_ = new QPushButton(tr("Cancel"), sheet);
    cancelBtn_->setAutoDefault(false);
    applyBtn_ = new QPushButton(tr("Apply"), sheet);
    applyBtn_->setDefault(true);

    auto* topRow = new QHBoxLayout();
    topRow->addWidget(allChk_);
    topRow->addWidget(hasValueChk_);
    topRow->addStretch(1);
    topRow->addWidget(caseIgnoring_);
    topRow->addWidget(searchField_);
    auto* buttonRow = new QHBoxLayout();
    buttonRow->addWidget(totalSelectTips_, 1);
    buttonRow->addWidget(cancelBtn_);
    buttonRow->addWidget(applyBtn_);
    auto* layout = new QVBoxLayout(sheet);
    layout->addLayout(topRow);
    layout->addWidget(tableView_, 1);
    layout->addLayout(buttonRow);

    // The search acts while the user types, as a platform search field does.
    connect(searchField_, &QLineEdit::textChanged, this, [this] { startSearch(searchField_); });
    connect(caseIgnoring_, &QCheckBox::clicked, this, [this] { clickIgnoringCase(); });
    connect(allChk_, &QCheckBox::clicked, this, [this] { clickSelectAall(); });
    connect(hasValueChk_, &QCheckBox::clicked, this, [this] { clickHasValue(); });
    connect(applyBtn_, &QPushButton::clicked, this, [this] { clickApply(); });
    connect(cancelBtn_, &QPushButton::clicked, this, [this] { clickCancel(); });
    // Escape and the close button hand the ticks over too, so the export
    // sheet is never left waiting for an answer.
    sheet->setRejectHandler([this] { clickCancel(); });
    return sheet;
}

void TAVFiltExportFieldsWndCtlr::buildTable(QWidget* sheet)
{
    tableView_ = new GSGroupedTableView(sheet);
    tableView_->setObjectName(QStringLiteral("tableView"));
    tableView_->setModel(model_);
    tableView_->setItemDelegate(new TAVSearchableTagTableDelegate(tableView_));
    tableView_->setStickyRowDelegate(this);
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView_->setSelectionMode(QAbstractItemView::SingleSelection);
    tableView_->setWordWrap(false);
    tableView_->verticalHeader()->hide();
    tableView_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tableView_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    tableView_->horizontalHeader()->setStretchLastSection(true);
    tableView_->setColumnWidth(0, kCheckColumnWidth);
    tableView_->setColumnWidth(1, kTypeColumnWidth);
    tableView_->setColumnWidth(2, kTagColumnWidth);
    // Headings are not spanned: spanned, they would show the empty check
    // cell; this way the family's name stands in the "Tag" column.
}

void TAVFiltExportFieldsWndCtlr::windowDidLoad()
{
    searchField_->setEnabled(true);
    searchField_->setFocus();
    model_->reload();
    updateTotalSelectedTips();
}

std::optional<bool> TAVFiltExportFieldsWndCtlr::tableViewIsGroupRow(
    const GSStickyRowTableView* tableView, int row) const
{
    (void)tableView;
    return model_->isGroupRow(row);
}

void TAVFiltExportFieldsWndCtlr::clickApply()
{
    finish();
}

void TAVFiltExportFieldsWndCtlr::clickCancel()
{
    finish();
}

void TAVFiltExportFieldsWndCtlr::finish()
{
    endSheetOfSelfWindow();
    if (applyBlock_) {
        // A copy: the block may set a new one.
        const ApplyBlock block = applyBlock_;
        block(getSelectedFields());
    }
}

void TAVFiltExportFieldsWndCtlr::startSearch(QLineEdit* sender)
{
    model_->table().startSearch(sender != nullptr ? sender->text() : QString());
    model_->reload();
}

void TAVFiltExportFieldsWndCtlr::clickIgnoringCase()
{
    model_->table().setCaseSensitivity(caseIgnoring()->isChecked() ? Qt::CaseInsensitive : Qt::CaseSensitive);
    startSearch(searchField());
}

void TAVFiltExportFieldsWndCtlr::clickSelectAall()
{
    hasValueChk()->setChecked(false);
    const bool on = allChk()->isChecked();
    for (const TAVEntityPtr& row : model_->table().allRows()) {
        row->setIsChecked(on);
    }
    reloadTable();
    updateTotalSelectedTips();
}

void TAVFiltExportFieldsWndCtlr::clickHasValue()
{
    allChk()->setChecked(false);
    const bool on = hasValueChk()->isChecked();
    for (const TAVEntityPtr& row : model_->table().allRows()) {
        row->setIsChecked(on && hasValue(*row));
    }
    reloadTable();
    updateTotalSelectedTips();
}

void TAVFiltExportFieldsWndCtlr::reloadTable()
{
    Table& table = model_->table();
    // Hits are copies: they take the new ticks from a fresh search.
    table.setRows(TAVEntityList(table.allRows()));
    model_->reload();
}

QStringList TAVFiltExportFieldsWndCtlr::getSelectedFields() const
{
    QStringList keys;
    for (const TAVEntityPtr& row : model_->table().allRows()) {
        if (!Table::isFamilyRow(*row) && row->isChecked() && !keys.contains(row->key())) {
            keys.append(row->key());
        }
    }
    std::sort(keys.begin(), keys.end(),
        [](const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseSensitive) < 0; });
    return keys;
}

void TAVFiltExportFieldsWndCtlr::updateTotalSelectedTips()
{
    const TAVEntityList& rows = model_->table().allRows();
    const auto count = std::count_if(rows.cbegin(), rows.cend(),
        [](const TAVEntityPtr& row) { return !Table::isFamilyRow(*row) && row->isChecked(); });
    totalSelectTips()->setText(tr("%1 fields selected").arg(count));
}

NotLossFoucsSearchField* TAVFiltExportFieldsWndCtlr::searchField()
{
    window();
    return searchField_;
}

GSGroupedTableView* TAVFiltExportFieldsWndCtlr::tableView()
{
    window();
    return tableView_;
}

QCheckBox* TAVFiltExportFieldsWndCtlr::caseIgnoring()
{
    window();
    return caseIgnoring_;
}

QLabel* TAVFiltExportFieldsWndCtlr::totalSelectTips()
{
    window();
    return totalSelectTips_;
}

QCheckBox* TAVFiltExportFieldsWndCtlr::hasValueChk()
{
    window();
    return hasValueChk_;
}

QCheckBox* TAVFiltExportFieldsWndCtlr::allChk()
{
    window();
    return allChk_;
}

QPushButton* TAVFiltExportFieldsWndCtlr::applyBtn()
{
    window();
    return applyBtn_;
}

QPushButton* TAVFiltExportFieldsWndCtlr::cancelBtn()
{
    window();
    return cancelBtn_;
}
