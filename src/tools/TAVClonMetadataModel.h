#pragma once

#include "models/image/FDMetadataContainer.h"

#include <QAbstractTableModel>
#include <QStringList>

// The clone sheet's table of the source's metadata: one row per shown key.
// The "Tag" column shows the key, any other column the text of the
// container's value for it, or the empty text when there is no container.
class TAVClonMetadataModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static const QString kTagColumn; // "Tag"
    static const QString kValueColumn; // "Value"

    explicit TAVClonMetadataModel(QObject* parent = nullptr);

    // Keys and container together; a null container keeps the keys, whose
    // values then show empty.
    void setMetadata(const FDMetadataContainerPtr& metadata, const QStringList& keys);
    void setMetadata(const FDMetadataContainerPtr& metadata);
    const QStringList& keys() const { return keys_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    FDMetadataContainerPtr metadata_;
    QStringList keys_;
};
