#include "commlib/TAVSearchableTagTableModel.h"

#include "models/tables/TAVCVSParaser.h"

#include <QApplication>
#include <QColor>
#include <QFont>

namespace {

constexpr qreal kModifiedPointSize = 13.0;

QFont modifiedFont()
{
    QFont font = QApplication::font();
    font.setPointSizeF(kModifiedPointSize);
    font.setBold(true);
    font.setItalic(true);
    return font;
}

QFont familyFont()
{
    QFont font = QApplication::font();
    font.setBold(true);
    return font;
}

} // namespace

const QString TAVSearchableTagTableModel::kTagColumn = QStringLiteral("Tag");
const QString TAVSearchableTagTableModel::kDataTypeColumn = QStringLiteral("data_type");
const QString TAVSearchableTagTableModel::kCheckColumn = QStringLiteral("check");
const QString TAVSearchableTagTableModel::kAfterColumn = QStringLiteral("After");

TAVSearchableTagTableModel::TAVSearchableTagTableModel(
    const TAVSearchableTagTable::Policy& policy, const QList<Column>& columns, QObject* parent)
    : QAbstractTableModel(parent)
    , table_(policy)
    , columns_(columns)
{
    // Type names, tooltips and the Byte code come from the tag tables.
    TAVCVSParaser::loadCanEditTags();
}

void TAVSearchableTagTableModel::reload()
{
    beginResetModel();
    table_.getReadDataSource();
    endResetModel();
}

QString TAVSearchableTagTableModel::columnIdentifier(int column) const
{
    return column >= 0 && column < columns_.size() ? columns_.at(column).identifier : QString();
}

int TAVSearchableTagTableModel::columnOf(const QString& identifier) const
{
    for (int column = 0; column < columns_.size(); ++column) {
        if (columns_.at(column).identifier == identifier) {
            return column;
        }
    }
    return -1;
}

QString TAVSearchableTagTableModel::cellText(const TAVSearchableTagTable::Row& row, const QString& column) const
{
    const TAVEntity& entity = *row.entity;
    if (column == kDataTypeColumn) {
        const TAVExifTagPtr tag = TAVCVSParaser::tagForKey(entity.key());
        return tag ? tag->tagTypeStr() : QString();
    }
    if (column == kTagColumn) {
        return tagShowsDisplayKey_ ? entity.dispKey() : entity.key();
    }
    if (column == kAfterColumn) {
        return entity.replaceAfterValue();
    }
    return entity.value();
}

int TAVSearchableTagTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(table_.shownCount());
}

int TAVSearchableTagTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant TAVSearchableTagTableModel::textData(
    const TAVSearchableTagTable::Row& row, const QString& column, int role) const
{
    const bool family = TAVSearchableTagTable::isFamilyRow(*row.entity);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cellText(row, column);
    case Qt::FontRole:
        if (family) {
            return familyFont();
        }
        return row.entity->isModified() ? QVariant(modifiedFont()) : QVariant();
    case Qt::ForegroundRole:
        return !family && row.entity->isModified() ? QVariant(QColor(Qt::blue)) : QVariant();
    case HighlightRole: {
        TAVSearchableTagTable::Range stored;
        if (column == kTagColumn && tagShowsDisplayKey_) {
            stored = row.keyMatch;
        } else if (column != kTagColumn && column != kDataTypeColumn && column != kAfterColumn) {
            stored = row.valueMatch;
        }
        const bool searchable = column != kDataTypeColumn;
        return QVariant::fromValue(
            searchable ? table_.highlightInText(row, cellText(row, column), stored) : TAVSearchableTagTable::Range());
    }
    default:
        return {};
    }
}

QVariant TAVSearchableTagTableModel::data(const QModelIndex& index, int role) const
{
    const TAVSearchableTagTable::Row* row = table_.shownRow(index.row());
    if (row == nullptr || index.column() >= columns_.size()) {
        return {};
    }
    const bool family = TAVSearchableTagTable::isFamilyRow(*row->entity);
    if (role == GroupRowRole) {
        return family;
    }
    if (role == Qt::ToolTipRole) {
        const TAVExifTagPtr tag = TAVCVSParaser::tagForKey(row->entity->key());
        return tag ? QVariant(tag->strTooltips()) : QVariant();
    }
    if (role == Qt::BackgroundRole && family) {
        return QColor(0xe8, 0xea, 0xee);
    }
    const QString column = columns_.at(index.column()).identifier;
    if (column == kCheckColumn) {
        if (role == Qt::CheckStateRole && !family) {
            return row->entity->isChecked() ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    }
    return textData(*row, column, role);
}

QVariant TAVSearchableTagTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < columns_.size()) {
        return columns_.at(section).title;
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TAVSearchableTagTableModel::flags(const QModelIndex& index) const
{
    const TAVSearchableTagTable::Row* row = table_.shownRow(index.row());
    if (row == nullptr || index.column() >= columns_.size()) {
        return Qt::NoItemFlags;
    }
    if (TAVSearchableTagTable::isFamilyRow(*row->entity)) {
        return Qt::ItemIsEnabled;
    }
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const Column& column = columns_.at(index.column());
    if (column.identifier == kCheckColumn) {
        result |= Qt::ItemIsUserCheckable;
    } else if (column.editable) {
        result |= Qt::ItemIsEditable;
    }
    return result;
}

bool TAVSearchableTagTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const TAVSearchableTagTable::Row* row = table_.shownRow(index.row());
    if (row == nullptr || TAVSearchableTagTable::isFamilyRow(*row->entity) || index.column() >= columns_.size()) {
        return false;
    }
    const QString column = columns_.at(index.column()).identifier;
    const QModelIndex first = this->index(index.row(), 0);
    const QModelIndex last = this->index(index.row(), columnCount() - 1);
    if (column == kCheckColumn) {
        if (role != Qt::CheckStateRole) {
            return false;
        }
        const bool checked = value.value<Qt::CheckState>() == Qt::Checked;
        table_.setShownRowChecked(index.row(), checked);
        emit dataChanged(first, last);
        emit rowCheckChanged(index.row(), checked);
        return true;
    }
    if (role != Qt::EditRole || !columns_.at(index.column()).editable || !editHandler_) {
        return false;
    }
    // A copy: the handler may end up replacing the shown list.
    const TAVSearchableTagTable::Row edited = *row;
    if (!editHandler_(edited, column, value.toString())) {
        return false;
    }
    if (table_.shownRow(index.row()) != nullptr) {
        emit dataChanged(first, last);
    }
    return true;
}
