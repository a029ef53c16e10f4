#pragma once

#include "models/image/TAVImageObject.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QImage>
#include <QList>

#include <functional>

class TAVThumbnailLoader;

// The shown list of the photo list (all images, or the search result) as one
// table shared by the thumbnail browser and the table view, so both share one
// selection. The list changes only through row insertions, removals and
// layout changes, never a reset, so the selection survives sorting and
// moving. The owner keeps the lists and tells the model what changed.
class TAVPhotoListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column : int { ColumnState = 0, ColumnName, ColumnType, ColumnDateModified, ColumnCount };
    enum Role : int {
        ImageObjectRole = Qt::UserRole + 1, // the TAVImageObject* of the row
        ThumbnailRole, // QImage; the placeholder until it is made
        StateImageRole, // QImage of the state badge; null for none
        TitleRole, // the working copy's file name
    };
    // What a drop asks of the owner.
    struct DropHandlers {
        std::function<bool()> acceptsDrops;
        std::function<bool(const QStringList& paths)> filesDropped;
        std::function<bool(const QList<int>& rows, int destination)> rowsMoved;
    };
    // The drag type of rows moved inside the browser.
    static const QString kRowsMimeType;

    explicit TAVPhotoListModel(TAVThumbnailLoader* loader, QObject* parent = nullptr);

    static const QStringList& columnIdentifiers();
    void setDropHandlers(DropHandlers handlers) { drops_ = std::move(handlers); }

    const QList<TAVImageObjectPtr>& rows() const { return rows_; }
    TAVImageObjectPtr imageAt(int row) const;
    void appendRows(const QList<TAVImageObjectPtr>& images);
    // Rows of the current list, in any order.
    void removeRowsAt(const QList<int>& rows);
    // The same images in a new order; persistent indexes (the selection) follow them.
    void reorderRows(const QList<TAVImageObjectPtr>& order);
    // Another list altogether (a search shown or cleared).
    void replaceRows(const QList<TAVImageObjectPtr>& images);
    // Every cell may show something new (states, dates).
    void refreshAll();
    // The cells of one image's row may show something new.
    void refreshImage(const TAVImageObject* image);
    // The rows whose thumbnails are on screen (or about to be), at `side`
    // pixels: the loader keeps theirs only.
    void showThumbnailsOfRows(const QList<int>& rows, int side);

    // The badge picture of a state image name ("modified.png", ...), null for none.
    static QImage stateImage(const QString& name);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(
        const QMimeData* data, Qt::DropAction action, int row, int column, const QModelIndex& parent) const override;
    bool dropMimeData(
        const QMimeData* data, Qt::DropAction action, int row, int column, const QModelIndex& parent) override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;

private:
    void thumbnailArrived(const QString& path);
    QVariant tableText(const TAVImageObject& image, int column) const;
    static QList<int> rowsOf(const QMimeData* data);

    TAVThumbnailLoader* loader_;
    QList<TAVImageObjectPtr> rows_;
    DropHandlers drops_;
};
