#include "tools/TAVReplaceWindowController.h"

#include "tools/TAVSheetTableLook.h"

#include "commlib/NotLossFoucsSearchField.h"
#include "commlib/TAVBaseTabViewCltr.h"
#include "commlib/TAVSearchableTagTableDelegate.h"
#include "commlib/TAVSearchableTagTableModel.h"
#include "commlib/VXCommonWindow.h"

#include "foundation/NotificationHub.h"
#include "foundation/UiServices.h"
#include "models/tables/TAVCVSParaser.h"
#include "models/tables/TAVKeyLists.h"
#include "models/values/TAVDateTagForms.h"
#include "models/write/TAVMetadataWritterMgr.h"
#include "views/GSGroupedTableView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

#include <algorithm>

namespace {

using Table = TAVSearchableTagTable;
using Column = TAVSearchableTagTableModel::Column;

constexpr int kTypeColumnWidth = 80;
constexpr int kTagColumnWidth = 230;
constexpr int kOriginalColumnWidth = 220;
// The tag tables' code of the text types (Ascii, Comment).
constexpr int32_t kTextDataType = 0;

// Values only, every hit a new entity (it carries the after-value), no
// family rows in a search.
Table::Policy replacePolicy()
{
    Table::Policy policy;
    policy.scope = Table::SearchScope::ValueOnly;
    policy.hits = Table::HitKind::NewEntities;
    policy.keepFamilyRows = false;
    return policy;
}

bool isTextTag(const QString& key)
{
    // A key without a tag-table row counts as text only when the library
    // keeps it as text: offsets, lengths and pointers of the file's
    // structure, numbers and binary blocks (maker notes) are never offered,
    // as replacing "132" in a thumbnail's length would break the file.
    const TAVExifTagPtr tag = TAVCVSParaser::tagForKey(key);
    return tag ? tag->dataType() == kTextDataType : TAVKeyLists::isLibraryTextKey(key);
}

bool isListedFamily(const QString& key)
{
    return key.startsWith(QLatin1String("Exif.")) || key.startsWith(QLatin1String("Iptc."));
}

} // namespace

const QString TAVReplaceWindowController::kOriginalColumn = QStringLiteral("Original");

TAVReplaceWindowController::TAVReplaceWindowController(const TAVExifDataPtr& record, QObject* parent)
    : VXCommonWindowController(parent)
{
    const QList<Column> columns = {
        {TAVSearchableTagTableModel::kDataTypeColumn, tr("Type"), false},
        {TAVSearchableTagTableModel::kTagColumn, tr("Tag"), false},
        {kOriginalColumn, tr("Original"), false},
        {TAVSearchableTagTableModel::kAfterColumn, tr("After"), true},
    };
    // A child of the controller, so it outlives the window and its table.
    model_ = new TAVSearchableTagTableModel(replacePolicy(), columns, this);
    model_->setTagShowsDisplayKey(false);
    model_->setEditHandler([this](const Table::Row& row, const QString& column, const QString& text) {
        return column == TAVSearchableTagTableModel::kAfterColumn && takeTypedAfterValue(row.entity, text);
    });
    setImgExifData(record);
}

TAVReplaceWindowController::~TAVReplaceWindowController()
{
    if (tableView_ != nullptr) {
        tableView_->setStickyRowDelegate(nullptr);
    }
}

TAVEntityList TAVReplaceWindowController::replaceableRowsOfRecord(const TAVExifData& record)
{
    TAVEntityList rows;
    if (record.strImagePath().isEmpty()) {
        return rows;
    }
    TAVCVSParaser::loadCanEditTags();
    // A tab shows some tags through others where the file lacks them (the
    // description shows the caption): such a value is the other tag's, and
    // replaced there it would be written into a tag the file never held. (The
    // capture date is the record's own, written to the file's dates.)
    QSet<QString> held;
    for (const TAVEntityPtr& row : record.maryOrgExifData()) {
        if (row && !row->value().trimmed().isEmpty()) {
            held.insert(row->key());
        }
    }
    for (const TAVEntityMap& category : record.mdicUserSetExifDataInfo()) {
        for (const TAVEntityPtr& entity : category) {
            if (entity && entity->key() != QLatin1String("Summary.ImageSize")
                && (held.contains(entity->key()) || entity->isModified()
                    || entity->key() == TAVKeyLists::createDateKey())) {
                rows.append(entity);
            }
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const TAVEntityPtr& a, const TAVEntityPtr& b) {
        return QString::compare(a->key(), b->key(), Qt::CaseSensitive) < 0;
    });
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                   [](const TAVEntityPtr& entity) {
                       return !isListedFamily(entity->key()) || !isTextTag(entity->key()) || entity->value().isEmpty();
                   }),
        rows.end());
    return rows;
}

bool TAVReplaceWindowController::testValueIsVaild(const QString& text, const QString& key)
{
    // The writer finds a tag's type in the tag tables.
    TAVCVSParaser::loadCanEditTags();
    return text.isEmpty() || TAVMetadataWritterMgr::testValueVaild(text, key);
}

void TAVReplaceWindowController::setImgExifData(const TAVExifDataPtr& record)
{
    imgExifData_ = record;
    model_->table().setRows(record ? replaceableRowsOfRecord(*record) : TAVEntityList());
    reloadTable();
}

QWidget* TAVReplaceWindowController::makeWindow()
{
    auto* sheet = new VXCommonWindow();
    sheet->setWindowTitle(tr("Search and Replace"));
    sheet->resize(820, 480);

    searchTextField_ = new NotLossFoucsSearchField(sheet);
    searchTextField_->setObjectName(QStringLiteral("searchTextField"));
    searchTextField_->setPlaceholderText(tr("Search values"));
    caseIgnor_ = new QCheckBox(tr("Ignore case"), sheet);
    caseIgnor_->setObjectName(QStringLiteral("caseIgnor"));
    auto* replaceLabel = new QLabel(tr("Replace with:"), sheet);
    replaceTextField_ = new QLineEdit(sheet);
    replaceTextField_->setObjectName(QStringLiteral("replaceTextField"));
    replaceLabel->setBuddy(replaceTextField_);
    replaceOneBtn_ = new QPushButton(tr("Replace"), sheet);
    replaceOneBtn_->setObjectName(QStringLiteral("replaceOneBtn"));
    replaceOneBtn_->setAutoDefault(false);
    replaceAllBtn_ = new QPushButton(tr("Replace All"), sheet);
    replaceAllBtn_->setObjectName(QStringLiteral("replaceAllBtn"));
    replaceAllBtn_->setAutoDefault(false);

    buildTable(sheet);

    cancelBtn_ = new QPushButton(tr("Cancel"), sheet);
    cancelBtn_->setAutoDefault(false);
    applyBtn_ = new QPushButton(tr("Apply"), sheet);
    applyBtn_->setObjectName(QStringLiteral("applyBtn"));
    applyBtn_->setDefault(true);

    auto* searchRow = new QHBoxLayout();
    searchRow->addWidget(searchTextField_, 1);
    searchRow->addWidget(caseIgnor_);
    auto* replaceRow = new QHBoxLayout();
    replaceRow->addWidget(replaceLabel);
    replaceRow->addWidget(replaceTextField_, 1);
    replaceRow->addWidget(replaceOneBtn_);
    replaceRow->addWidget(replaceAllBtn_);
    auto* buttonRow = new QHBoxLayout();
    buttonRow->addStretch(1);
    buttonRow->addWidget(cancelBtn_);
    buttonRow->addWidget(applyBtn_);
    auto* layout = new QVBoxLayout(sheet);
    layout->addLayout(searchRow);
    layout->addLayout(replaceRow);
    layout->addWidget(tableView_, 1);
    layout->addLayout(buttonRow);

    // The search acts while the user types.
    connect(searchTextField_, &QLineEdit::textChanged, this, [this] { startSearch(); });
    connect(replaceTextField_, &QLineEdit::textEdited, this, [this] { controlTextDidChange(); });
    connect(caseIgnor_, &QCheckBox::clicked, this, [this] { clickCaseIgnor(); });
    connect(replaceOneBtn_, &QPushButton::clicked, this, [this] { clickReplaceOne(); });
    connect(replaceAllBtn_, &QPushButton::clicked, this, [this] { clickReplaceAll(); });
    connect(applyBtn_, &QPushButton::clicked, this, [this] { clickApply(); });
    connect(cancelBtn_, &QPushButton::clicked, this, [this] { clickCancel(); });
    // Escape and the close button drop the after-values like Cancel.
    sheet->setRejectHandler([this] { clickCancel(); });
    updateButtons();
    return sheet;
}

void TAVReplaceWindowController::buildTable(QWidget* sheet)
{
    tableView_ = new GSGroupedTableView(sheet);
    tableView_->setObjectName(QStringLiteral("tableView"));
    tableView_->setModel(model_);
    cellDelegate_ = new TAVSearchableTagTableDelegate(tableView_);
    tableView_->setItemDelegate(cellDelegate_);
    tableView_->setStickyRowDelegate(this);
    tableView_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    TAVSheetTableLook::apply(tableView_);
    tableView_->setColumnWidth(0, kTypeColumnWidth);
    tableView_->setColumnWidth(1, kTagColumnWidth);
    tableView_->setColumnWidth(2, kOriginalColumnWidth);
}

std::optional<bool> TAVReplaceWindowController::tableViewIsGroupRow(const GSStickyRowTableView*, int row) const
{
    return model_->isGroupRow(row);
}

// ---------------------------------------------------------------- controls

GSGroupedTableView* TAVReplaceWindowController::tableView()
{
    window();
    return tableView_;
}

NotLossFoucsSearchField* TAVReplaceWindowController::searchTextField()
{
    window();
    return searchTextField_;
}

QLineEdit* TAVReplaceWindowController::replaceTextField()
{
    window();
    return replaceTextField_;
}

QCheckBox* TAVReplaceWindowController::caseIgnor()
{
    window();
    return caseIgnor_;
}

QPushButton* TAVReplaceWindowController::replaceOneBtn()
{
    window();
    return replaceOneBtn_;
}

QPushButton* TAVReplaceWindowController::replaceAllBtn()
{
    window();
    return replaceAllBtn_;
}

QPushButton* TAVReplaceWindowController::applyBtn()
{
    window();
    return applyBtn_;
}

QPushButton* TAVReplaceWindowController::cancelBtn()
{
    window();
    return cancelBtn_;
}

// ---------------------------------------------------------------- search

Qt::CaseSensitivity TAVReplaceWindowController::caseSensitivity() const
{
    return caseIgnor_ != nullptr && caseIgnor_->isChecked() ? Qt::CaseInsensitive : Qt::CaseSensitive;
}

void TAVReplaceWindowController::startSearch()
{
    const QString text = searchTextField()->text();
    Table& table = model_->table();
    table.setCaseSensitivity(caseSensitivity());
    table.startSearch(text);
    reloadTable();
    if (table.isSearch() && !table.searchRows().isEmpty()) {
        selectRow(0);
    }
    replaceIndex_ = 0;
    updateButtons();
}

void TAVReplaceWindowController::clickCaseIgnor()
{
    startSearch();
}

void TAVReplaceWindowController::controlTextDidChange()
{
    const int64_t hits = model_->table().searchRows().size();
    if (replaceIndex_ < 0 || replaceIndex_ >= hits) {
        replaceIndex_ = 0;
    }
    if (hits > 0) {
        selectRow(0);
    }
}

void TAVReplaceWindowController::reloadTable()
{
    model_->reload();
}

void TAVReplaceWindowController::selectRow(int64_t row)
{
    if (tableView_ != nullptr && row >= 0 && row < model_->rowCount()) {
        tableView_->selectRow(static_cast<int>(row));
    }
}

void TAVReplaceWindowController::updateButtons()
{
    const bool hasHits = !model_->table().searchRows().isEmpty();
    if (replaceOneBtn_ != nullptr) {
        replaceOneBtn_->setEnabled(hasHits);
        replaceAllBtn_->setEnabled(hasHits);
    }
}

// ---------------------------------------------------------------- replace

QString TAVReplaceWindowController::replacementOf(const QString& value) const
{
    const QString search = searchTextField_ != nullptr ? searchTextField_->text() : QString();
    QString result = value;
    // An empty search text occurs nowhere: Qt would otherwise put the
    // replacement between every two characters of the value.
    if (search.isEmpty()) {
        return result;
    }
    const QString replace = replaceTextField_ != nullptr ? replaceTextField_->text() : QString();
    result.replace(search, replace, caseSensitivity());
    // Never null: an emptied value is the empty text, which Apply writes.
    return result.isNull() ? QStringLiteral("") : result;
}

void TAVReplaceWindowController::clickReplaceOne()
{
    window();
    const QList<Table::Row>& hits = model_->table().searchRows();
    if (hits.isEmpty() || replaceIndex_ < 0 || replaceIndex_ >= hits.size()) {
        UiServices::shared()->beep();
        return;
    }
    const TAVEntityPtr hit = hits.at(replaceIndex_).entity;
    const QString after = replacementOf(hit->value());
    if (!testValueIsVaild(after, hit->key())) {
        showInvalidValueAlert(hit->key());
        return;
    }
    hit->setReplaceAfterValue(after);
    notiFileMetadataChanged(true);
    reloadTable();
    ++replaceIndex_;
    if (replaceIndex_ >= model_->table().searchRows().size()) {
        replaceIndex_ = 0;
    }
    selectRow(replaceIndex_);
}

void TAVReplaceWindowController::clickReplaceAll()
{
    window();
    const QList<Table::Row>& hits = model_->table().searchRows();
    if (hits.isEmpty()) {
        UiServices::shared()->beep();
        return;
    }
    QStringList refused;
    for (const Table::Row& hit : hits) {
        const QString after = replacementOf(hit.entity->value());
        if (testValueIsVaild(after, hit.entity->key())) {
            hit.entity->setReplaceAfterValue(after);
        } else if (!refused.contains(hit.entity->key())) {
            refused.append(hit.entity->key());
        }
    }
    notiFileMetadataChanged(true);
    reloadTable();
    // A text a tag cannot take is passed over, but not without a word: the
    // user would otherwise take the untouched values for replaced ones.
    if (!refused.isEmpty()) {
        QStringList lines{QStringLiteral("These values were left as they are: the replacement is not valid for them.")};
        for (const QString& key : std::as_const(refused)) {
            const QString form = TAVDateTagForms::formHint(key);
            lines.append(form.isEmpty() ? key : QStringLiteral("%1 (it takes %2)").arg(key, form));
        }
        UiServices::shared()->showTipsAlert(
            QStringLiteral("Error"), lines.join(QLatin1Char('\n')), QStringLiteral("OK"), QString(), window());
    }
}

bool TAVReplaceWindowController::takeTypedAfterValue(const TAVEntityPtr& row, const QString& text)
{
    // Without a search the rows are the record's own entities: Apply would
    // never write a value typed there, and it would stay on the record.
    if (!model_->table().isSearch()) {
        UiServices::shared()->beep();
        return false;
    }
    const QString after = text.isNull() ? QStringLiteral("") : text;
    if (!testValueIsVaild(after, row->key())) {
        showInvalidValueAlert(row->key());
        return false;
    }
    row->setReplaceAfterValue(after);
    notiFileMetadataChanged(true);
    return true;
}

void TAVReplaceWindowController::showInvalidValueAlert(const QString& key)
{
    UiServices::shared()->showTipsAlert(QStringLiteral("Error"), TAVSearchableTagTable::invalidValueMessage(key),
        QStringLiteral("OK"), QString(), window());
}

// ---------------------------------------------------------------- apply

void TAVReplaceWindowController::clickApply()
{
    bool wrote = false;
    for (const Table::Row& hit : model_->table().searchRows()) {
        const TAVEntityPtr& entity = hit.entity;
        const QString after = entity->replaceAfterValue();
        if (after.isNull() || !testValueIsVaild(after, entity->key())) {
            continue;
        }
        if (imgExifData_) {
            imgExifData_->setValue(
                after, entity->key(), TAVExifData::getLocalShowKeyType(entity->key()), false, false, true);
            wrote = true;
        }
        entity->setReplaceAfterValue(QString());
    }
    // The main window takes a change only while the pending-edits flag is up,
    // as it is after an edit in a tab; without it the tabs would keep showing
    // the old values.
    if (wrote) {
        TAVBaseTabViewCltr::setPendingEdits(true);
    }
    notiFileMetadataChanged(true);
    reloadTable();
    endSheetOfSelfWindow();
}

void TAVReplaceWindowController::clickCancel()
{
    for (const Table::Row& hit : model_->table().searchRows()) {
        hit.entity->setReplaceAfterValue(QString());
    }
    reloadTable();
    endSheetOfSelfWindow();
}

void TAVReplaceWindowController::notiFileMetadataChanged(bool needRefresh)
{
    const QVariantMap userInfo{
        {QStringLiteral("hasModify"), true},
        {QStringLiteral("needRefresh"), needRefresh},
    };
    NotificationHub::defaultHub().post(TAVBaseTabViewCltr::kNotiFileMetadataHasChanged, this, userInfo);
}
