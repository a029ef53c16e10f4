#include "tools/TAVRenameRuleListModel.h"

#include "tools/TAVRenameRootItem.h"

#include "foundation/KeyedArchive.h"

#include <QMimeData>

#include <algorithm>

const QString TAVRenameRuleListModel::kDragType = QStringLiteral("DragID");

namespace {

enum Column { FieldsColumn = 0, CategoryColumn = 1, ColumnCount = 2 };

QMimeData* dragData(const QByteArray& archive)
{
    auto* data = new QMimeData();
    data->setData(TAVRenameRuleListModel::kDragType, archive);
    return data;
}

} // namespace

TAVRenameRuleListModel::TAVRenameRuleListModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void TAVRenameRuleListModel::setRules(const QList<TAVRenameRuleFieldPtr>& rules)
{
    beginResetModel();
    rules_ = rules;
    endResetModel();
}

int TAVRenameRuleListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rules_.size());
}

int TAVRenameRuleListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TAVRenameRuleListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rules_.size()) {
        return {};
    }
    const TAVRenameRuleFieldPtr& rule = rules_.at(index.row());
    if (!rule) {
        return QString();
    }
    switch (index.column()) {
    case FieldsColumn:
        return rule->field();
    case CategoryColumn:
        return rule->rootCategory();
    default:
        return QString();
    }
}

QVariant TAVRenameRuleListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
    case FieldsColumn:
        return QStringLiteral("Fields");
    case CategoryColumn:
        return QStringLiteral("Category");
    default:
        return QString();
    }
}

Qt::ItemFlags TAVRenameRuleListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList TAVRenameRuleListModel::mimeTypes() const
{
    return {kDragType};
}

QMimeData* TAVRenameRuleListModel::mimeData(const QModelIndexList& indexes) const
{
    int last = -1;
    for (const QModelIndex& index : indexes) {
        if (index.isValid() && index.row() < rules_.size()) {
            last = std::max(last, index.row());
        }
    }
    return last < 0 ? nullptr : dragDataForField(rules_.at(last));
}

QMimeData* TAVRenameRuleListModel::dragDataForField(const TAVRenameRuleFieldPtr& field)
{
    return field ? dragData(KeyedArchiver::archivedData(field)) : nullptr;
}

QMimeData* TAVRenameRuleListModel::dragDataForFields(const QList<TAVRenameRuleFieldPtr>& fields)
{
    if (fields.isEmpty()) {
        return nullptr;
    }
    // The archive's root is one object, so a root item without category
    // carries the list.
    TAVRenameRootItemPtr carrier = TAVRenameRootItem::create();
    carrier->setSubRuleFields(fields);
    return dragData(KeyedArchiver::archivedData(carrier));
}

std::optional<QList<TAVRenameRuleFieldPtr>> TAVRenameRuleListModel::fieldsFromDragData(const QMimeData* data)
{
    if (data == nullptr || !data->hasFormat(kDragType)) {
        return std::nullopt;
    }
    TAVRenameRootItem::registerKeyedClasses();
    const KeyedCodablePtr object = KeyedUnarchiver::unarchiveObject(data->data(kDragType));
    if (auto field = std::dynamic_pointer_cast<TAVRenameRuleField>(object)) {
        return QList<TAVRenameRuleFieldPtr>{field};
    }
    auto carrier = std::dynamic_pointer_cast<TAVRenameRootItem>(object);
    if (!carrier || !carrier->category().isEmpty()) {
        return std::nullopt;
    }
    QList<TAVRenameRuleFieldPtr> fields;
    for (const TAVRenameRuleFieldPtr& field : carrier->subRuleFields()) {
        if (field) {
            fields.append(field);
        }
    }
    return fields;
}
