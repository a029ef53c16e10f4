#include "tools/TAVClonMetadataModel.h"

const QString TAVClonMetadataModel::kTagColumn = QStringLiteral("Tag");
const QString TAVClonMetadataModel::kValueColumn = QStringLiteral("Value");

namespace {

const QStringList& columnIdentifiers()
{
    static const QStringList identifiers{TAVClonMetadataModel::kTagColumn, TAVClonMetadataModel::kValueColumn};
    return identifiers;
}

} // namespace

TAVClonMetadataModel::TAVClonMetadataModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void TAVClonMetadataModel::setMetadata(const FDMetadataContainerPtr& metadata, const QStringList& keys)
{
    beginResetModel();
    metadata_ = metadata;
    keys_ = keys;
    endResetModel();
}

void TAVClonMetadataModel::setMetadata(const FDMetadataContainerPtr& metadata)
{
    setMetadata(metadata, keys_);
}

int TAVClonMetadataModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(keys_.size());
}

int TAVClonMetadataModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(columnIdentifiers().size());
}

QVariant TAVClonMetadataModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) {
        return {};
    }
    if (index.row() < 0 || index.row() >= keys_.size() || index.column() >= columnIdentifiers().size()) {
        return {};
    }
    const QString& key = keys_.at(index.row());
    if (columnIdentifiers().at(index.column()) == kTagColumn) {
        return key;
    }
    const FDDataBitPtr value = metadata_ ? metadata_->valueForKey(key) : nullptr;
    return value ? value->description() : QStringLiteral("");
}

QVariant TAVClonMetadataModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0
        && section < columnIdentifiers().size()) {
        return columnIdentifiers().at(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}
