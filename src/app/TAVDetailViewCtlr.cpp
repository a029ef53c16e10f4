#include "app/TAVDetailViewCtlr.h"

#include "commlib/NotLossFoucsSearchField.h"
#include "commlib/TAVSearchableTagTableDelegate.h"
#include "commlib/TAVSearchableTagTableModel.h"

#include "foundation/UiServices.h"

#include "models/tables/TAVCVSParaser.h"
#include "models/tables/TAVKeyLists.h"
#include "models/write/TAVMetadataWritterMgr.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The tag tables' code of the Byte type, whose values this version cannot edit.
constexpr int32_t kByteDataType = 4;

constexpr int kTagColumnWidth = 240;
constexpr int kTypeColumnWidth = 90;
constexpr int kRowHeight = 24;

} // namespace

const QString TAVDetailViewCtlr::kValueColumn = QStringLiteral("Value");

TAVDetailViewCtlr::TAVDetailViewCtlr(QWidget* parent)
    : TAVBaseTabViewCltr(parent)
{
    buildForm();
}

TAVDetailViewCtlr::~TAVDetailViewCtlr() = default;

void TAVDetailViewCtlr::buildForm()
{
    popType_ = new QComboBox(this);
    popType_->setObjectName(QStringLiteral("_popType"));
    // Besides "All", the items are key prefixes: the filter matches them against keys.
    popType_->addItems({TAVSearchableTagTable::kAllFamilies, QStringLiteral("Exif"), QStringLiteral("Iptc")});

    ignoringCase_ = new QCheckBox(tr("Ignore case"), this);
    ignoringCase_->setObjectName(QStringLiteral("ignoringCase"));
    searchField_ = new NotLossFoucsSearchField(this);
    searchField_->setObjectName(QStringLiteral("_searchField"));
    searchField_->setMinimumWidth(200);

    // Only the value is editable: the record takes the edited text as the
    // row's value whatever the column.
    const QList<TAVSearchableTagTableModel::Column> columns = {
        {TAVSearchableTagTableModel::kTagColumn, tr("Tag"), false},
        {TAVSearchableTagTableModel::kDataTypeColumn, tr("Type"), false},
        {kValueColumn, tr("Value"), true},
    };
    model_ = new TAVSearchableTagTableModel(TAVSearchableTagTable::Policy(), columns, this);
    model_->setEditHandler([this](const TAVSearchableTagTable::Row& row, const QString&, const QString& text) {
        return commitValue(row, text);
    });
    delegate_ = new TAVSearchableTagTableDelegate(this);

    tableView_ = new TagTableView(this);
    tableView_->setObjectName(QStringLiteral("_tableView"));
    tableView_->setModel(model_);
    tableView_->setItemDelegate(delegate_);
    tableView_->mayEdit = [this](const QModelIndex& index) { return shouldEditRow(index); };
    tableView_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView_->setSelectionMode(QAbstractItemView::SingleSelection);
    tableView_->setWordWrap(false);
    tableView_->verticalHeader()->hide();
    // One height for all rows, tall enough for the larger font of modified rows.
    tableView_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tableView_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    tableView_->horizontalHeader()->setStretchLastSection(true);
    tableView_->setColumnWidth(0, kTagColumnWidth);
    tableView_->setColumnWidth(1, kTypeColumnWidth);

    auto* bar = new QHBoxLayout;
    bar->addWidget(popType_);
    bar->addStretch(1);
    bar->addWidget(ignoringCase_);
    bar->addWidget(searchField_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(tableView_, 1);

    connect(model_, &QAbstractItemModel::modelReset, this,
        [this] { TAVSearchableTagTableDelegate::spanGroupRows(tableView_); });
    // The search acts while the user types, as a platform search field does.
    connect(searchField_, &QLineEdit::textChanged, this, [this] { startSearch(searchField_); });
    connect(ignoringCase_, &QCheckBox::clicked, this, &TAVDetailViewCtlr::clickCaseIgnor);
    connect(popType_, &QComboBox::currentIndexChanged, this, &TAVDetailViewCtlr::clickType);
    connect(delegate_, &TAVSearchableTagTableDelegate::editorTextEdited, this, [this](QObject* editor) {
        typedEditor_ = qobject_cast<QWidget*>(editor);
        controlTextDidChange(editor);
    });
}

void TAVDetailViewCtlr::showEvent(QShowEvent* event)
{
    TAVBaseTabViewCltr::showEvent(event);
    if (!focusedOnce_) {
        focusedOnce_ = true;
        searchField_->setEnabled(true);
        searchField_->setFocus(Qt::OtherFocusReason);
    }
}

void TAVDetailViewCtlr::setImgExifData(const TAVExifDataPtr& record)
{
    TAVBaseTabViewCltr::setImgExifData(record);
    // Stepping through photos on another tab would otherwise make every
    // viewed photo keep a copy of all its tags.
    rowsOwed_ = isHidden() && record;
    // Setting the rows runs an active search again, so no match of the
    // previous record stays on screen under this one.
    model_->table().setRows(
        record && !rowsOwed_ ? TAVSearchableTagTable::familyRowsOfRecord(*record) : TAVEntityList());
    model_->reload();
}

void TAVDetailViewCtlr::setVisible(bool visible)
{
    TAVBaseTabViewCltr::setVisible(visible);
    if (visible && rowsOwed_) {
        setImgExifData(imgExifData());
    }
}

void TAVDetailViewCtlr::setEditEnable(bool enable)
{
    popType_->setEnabled(enable);
}

std::optional<TAVEntityMap> TAVDetailViewCtlr::genDictionayFromSetting()
{
    return std::nullopt;
}

void TAVDetailViewCtlr::startSearch(NotLossFoucsSearchField* sender)
{
    model_->table().startSearch(sender != nullptr ? sender->text() : QString());
    model_->reload();
}

void TAVDetailViewCtlr::clickCaseIgnor()
{
    model_->table().setCaseSensitivity(ignoringCase_->isChecked() ? Qt::CaseInsensitive : Qt::CaseSensitive);
    startSearch(searchField_);
}

void TAVDetailViewCtlr::clickType()
{
    model_->table().setFamilyFilter(popType_->currentText());
    model_->reload();
}

bool TAVDetailViewCtlr::testValueIsVaild(const QString& text, const QString& key)
{
    return text.isEmpty() || TAVMetadataWritterMgr::testValueVaild(text, key);
}

bool TAVDetailViewCtlr::shouldEditRow(const QModelIndex& index)
{
    const TAVSearchableTagTable::Row* row = model_->table().shownRow(index.row());
    if (row == nullptr || TAVSearchableTagTable::isFamilyRow(*row->entity)) {
        return false;
    }
    // A save would write the file's own layout over an edit of these, so an
    // edit would show as saved and never reach the file.
    if (TAVKeyLists::isFileStructureKey(row->entity->key())) {
        if (UiServices* ui = UiServices::shared()) {
            ui->showInformation(QStringLiteral("This tag cannot be edited"),
                QStringLiteral("This tag is part of the file's structure, which every save writes anew: it cannot "
                               "be edited."),
                QStringLiteral("OK"), this);
        }
        return false;
    }
    const TAVExifTagPtr tag = TAVCVSParaser::tagForKey(row->entity->key());
    if (tag && tag->dataType() == kByteDataType) {
        if (UiServices* ui = UiServices::shared()) {
            ui->showInformation(QStringLiteral("This tag cannot be edited"),
                QStringLiteral("This version dose not support for editing Byte type tag."), QStringLiteral("OK"), this);
        }
        return false;
    }
    return true;
}

bool TAVDetailViewCtlr::commitValue(const TAVSearchableTagTable::Row& row, const QString& text)
{
    // A modal alert takes the focus from the cell editor, and the editor
    // commits its text again while the first commit is still being answered.
    if (committing_) {
        return false;
    }
    const QScopedValueRollback<bool> guard(committing_, true);
    const QString key = row.entity->key();
    if (!testValueIsVaild(text, key)) {
        if (UiServices* ui = UiServices::shared()) {
            ui->showTipsAlert(QStringLiteral("Error"), TAVSearchableTagTable::invalidValueMessage(key),
                QStringLiteral("OK"), QString(), this);
        }
        return false;
    }
    const TAVExifDataPtr& record = imgExifData();
    if (!record) {
        return false;
    }
    record->setValue(text, key, TAVExifData::getLocalShowKeyType(key), false, false, true);
    // The main window answers the announcement by handing a record back,
    // which resets the model; that must not happen while the view is still
    // inside this commit.
    announcementOwed_ = true;
    QTimer::singleShot(0, this, &TAVDetailViewCtlr::afterAcceptedEdit);
    return true;
}

void TAVDetailViewCtlr::afterAcceptedEdit()
{
    if (!announcementOwed_) {
        return;
    }
    announcementOwed_ = false;
    notiFileMetadataChanged(true);
    startSearch(searchField_);
}

void TAVDetailViewCtlr::commitTypedText()
{
    tableView_->commitOpenEditor(typedEditor_);
    // The window acts on the photos next: the edit reaches them first, not
    // after the window has moved on to others.
    afterAcceptedEdit();
}

void TAVDetailViewCtlr::TagTableView::commitOpenEditor(QWidget* editor)
{
    if (state() != EditingState || editor == nullptr || editor->parentWidget() != viewport()) {
        return;
    }
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

bool TAVDetailViewCtlr::TagTableView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    if (mayEdit && wouldOpenEditor(index, trigger, event) && !mayEdit(index)) {
        return false;
    }
    return QTableView::edit(index, trigger, event);
}

bool TAVDetailViewCtlr::TagTableView::wouldOpenEditor(
    const QModelIndex& index, EditTrigger trigger, QEvent* event) const
{
    if (!index.isValid() || state() == EditingState || !index.flags().testFlag(Qt::ItemIsEditable)) {
        return false;
    }
    if (trigger == AllEditTriggers) {
        return true;
    }
    // A click on a selected cell starts a timer that comes back here with
    // AllEditTriggers; the question is asked then.
    if (trigger == SelectedClicked || !editTriggers().testFlag(trigger)) {
        return false;
    }
    if (trigger == AnyKeyPressed) {
        const auto* key = dynamic_cast<const QKeyEvent*>(event);
        return key != nullptr && !key->text().isEmpty();
    }
    return true;
}
