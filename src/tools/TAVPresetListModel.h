#pragma once

#include "models/record/TAVExifData.h"

#include <QAbstractTableModel>
#include <QList>

#include <functional>

// The manage-presets table: one column, the preset's name, edited in place.
// What an edited name does is the owner's choice: the model hands it to the
// rename handler and shows the new name only when the handler took it.
class TAVPresetListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // True when the rename was stored.
    using RenameHandler = std::function<bool(int row, const QString& name)>;

    explicit TAVPresetListModel(QObject* parent = nullptr);

    // Replaces the list (the table reloads).
    void setPresets(const QList<TAVExifDataPtr>& presets);
    const QList<TAVExifDataPtr>& presets() const { return presets_; }
    // Null outside the list.
    TAVExifDataPtr presetAt(int row) const;

    void setRenameHandler(const RenameHandler& handler) { renameHandler_ = handler; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    QList<TAVExifDataPtr> presets_;
    RenameHandler renameHandler_;
};
