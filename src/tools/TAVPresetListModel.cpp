#include "tools/TAVPresetListModel.h"

TAVPresetListModel::TAVPresetListModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void TAVPresetListModel::setPresets(const QList<TAVExifDataPtr>& presets)
{
    beginResetModel();
    presets_ = presets;
    endResetModel();
}

TAVExifDataPtr TAVPresetListModel::presetAt(int row) const
{
    return row >= 0 && row < presets_.size() ? presets_.at(row) : nullptr;
}

int TAVPresetListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(presets_.size());
}

int TAVPresetListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant TAVPresetListModel::data(const QModelIndex& index, int role) const
{
    const TAVExifDataPtr preset = presetAt(index.row());
    if (!preset || index.column() != 0 || (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    return preset->strName();
}

Qt::ItemFlags TAVPresetListModel::flags(const QModelIndex& index) const
{
    if (!presetAt(index.row()) || index.column() != 0) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool TAVPresetListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !presetAt(index.row()) || index.column() != 0 || !renameHandler_) {
        return false;
    }
    // An absent name counts as the empty one; the handler refuses both.
    if (!renameHandler_(index.row(), value.toString())) {
        return false;
    }
    if (presetAt(index.row())) {
        emit dataChanged(index, index);
    }
    return true;
}
