#include "tools/TAVRenameFieldTreeModel.h"

#include "tools/TAVRenameRuleListModel.h"

#include <QBrush>
#include <QColor>
#include <QMimeData>

TAVRenameFieldTreeModel::TAVRenameFieldTreeModel(QObject* parent)
    : QAbstractItemModel(parent)
{
}

void TAVRenameFieldTreeModel::setRoots(const QList<TAVRenameRootItemPtr>& roots)
{
    beginResetModel();
    roots_ = roots;
    endResetModel();
}

TAVRenameRootItemPtr TAVRenameFieldTreeModel::rootAt(const QModelIndex& index) const
{
    if (!index.isValid() || index.internalId() != kRootId || index.row() >= roots_.size()) {
        return nullptr;
    }
    return roots_.at(index.row());
}

TAVRenameRuleFieldPtr TAVRenameFieldTreeModel::fieldAt(const QModelIndex& index) const
{
    if (!index.isValid() || index.internalId() == kRootId) {
        return nullptr;
    }
    const qsizetype rootRow = static_cast<qsizetype>(index.internalId() - 1);
    if (rootRow >= roots_.size() || !roots_.at(rootRow)) {
        return nullptr;
    }
    const QList<TAVRenameRuleFieldPtr>& fields = roots_.at(rootRow)->subRuleFields();
    return index.row() < fields.size() ? fields.at(index.row()) : nullptr;
}

QModelIndex TAVRenameFieldTreeModel::indexOfRoot(int rootRow) const
{
    return index(rootRow, 0);
}

QModelIndex TAVRenameFieldTreeModel::indexOfField(int rootRow, int fieldRow) const
{
    return index(fieldRow, 0, indexOfRoot(rootRow));
}

QString TAVRenameFieldTreeModel::description(const QModelIndex& index) const
{
    if (const TAVRenameRootItemPtr root = rootAt(index)) {
        return root->description();
    }
    if (const TAVRenameRuleFieldPtr field = fieldAt(index)) {
        return field->description();
    }
    return QString();
}

QModelIndex TAVRenameFieldTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column != 0) {
        return {};
    }
    if (!parent.isValid()) {
        return row < roots_.size() ? createIndex(row, column, kRootId) : QModelIndex();
    }
    const TAVRenameRootItemPtr root = rootAt(parent);
    if (!root || row >= root->subRuleFields().size()) {
        return {};
    }
    return createIndex(row, column, static_cast<quintptr>(parent.row()) + 1);
}

QModelIndex TAVRenameFieldTreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || child.internalId() == kRootId) {
        return {};
    }
    return createIndex(static_cast<int>(child.internalId() - 1), 0, kRootId);
}

int TAVRenameFieldTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid()) {
        return static_cast<int>(roots_.size());
    }
    const TAVRenameRootItemPtr root = rootAt(parent);
    return root ? static_cast<int>(root->subRuleFields().size()) : 0;
}

int TAVRenameFieldTreeModel::columnCount(const QModelIndex& /*parent*/) const
{
    return 1;
}

QVariant TAVRenameFieldTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid()) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return description(index);
    case Qt::ForegroundRole:
        return QBrush(index.internalId() == kRootId ? QColor(Qt::gray) : QColor(Qt::black));
    default:
        return {};
    }
}

Qt::ItemFlags TAVRenameFieldTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.internalId() != kRootId) {
        flags |= Qt::ItemIsDragEnabled;
    }
    return flags;
}

QStringList TAVRenameFieldTreeModel::mimeTypes() const
{
    return {TAVRenameRuleListModel::kDragType};
}

QMimeData* TAVRenameFieldTreeModel::mimeData(const QModelIndexList& indexes) const
{
    if (indexes.isEmpty() || rootAt(indexes.first())) {
        return nullptr;
    }
    QList<TAVRenameRuleFieldPtr> fields;
    for (const QModelIndex& index : indexes) {
        if (const TAVRenameRuleFieldPtr field = fieldAt(index)) {
            fields.append(field);
        }
    }
    return TAVRenameRuleListModel::dragDataForFields(fields);
}
