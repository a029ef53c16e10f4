#include "app/TAVPhotoListModel.h"

#include "app/TAVThumbnailLoader.h"
#include "commlib/VXDragFiles.h"
#include "foundation/DateServices.h"
#include "foundation/FileServices.h"
#include "models/image/TAVImageCacheManager.h"

#include <QFileInfo>
#include <QIcon>
#include <QMimeData>
#include <QPixmap>

#include <algorithm>

const QString TAVPhotoListModel::kRowsMimeType = QStringLiteral("application/x-lumetta-photo-rows");

TAVPhotoListModel::TAVPhotoListModel(TAVThumbnailLoader* loader, QObject* parent)
    : QAbstractTableModel(parent)
    , loader_(loader)
{
    connect(loader_, &TAVThumbnailLoader::thumbnailReady, this, &TAVPhotoListModel::thumbnailArrived);
}

const QStringList& TAVPhotoListModel::columnIdentifiers()
{
    static const QStringList identifiers
        = {QStringLiteral("State"), QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("DateModified")};
    return identifiers;
}

TAVImageObjectPtr TAVPhotoListModel::imageAt(int row) const
{
    return row >= 0 && row < rows_.size() ? rows_.at(row) : TAVImageObjectPtr();
}

void TAVPhotoListModel::appendRows(const QList<TAVImageObjectPtr>& images)
{
    if (images.isEmpty()) {
        return;
    }
    beginInsertRows(QModelIndex(), int(rows_.size()), int(rows_.size() + images.size() - 1));
    rows_.append(images);
    endInsertRows();
}

void TAVPhotoListModel::removeRowsAt(const QList<int>& rows)
{
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end(), std::greater<int>());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    // From the bottom up, one contiguous run at a time.
    for (qsizetype i = 0; i < sorted.size();) {
        const int last = sorted.at(i);
        int first = last;
        while (++i < sorted.size() && sorted.at(i) == first - 1) {
            first = sorted.at(i);
        }
        if (first < 0 || last >= rows_.size()) {
            continue;
        }
        beginRemoveRows(QModelIndex(), first, last);
        rows_.remove(first, last - first + 1);
        endRemoveRows();
    }
}

void TAVPhotoListModel::reorderRows(const QList<TAVImageObjectPtr>& order)
{
    emit layoutAboutToBeChanged();
    QHash<const TAVImageObject*, int> newRow;
    for (int row = 0; row < order.size(); ++row) {
        newRow.insert(order.at(row).get(), row);
    }
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before) {
        const TAVImageObject* image = imageAt(index.row()).get();
        const int row = newRow.value(image, -1);
        after.append(row < 0 ? QModelIndex() : createIndex(row, index.column()));
    }
    rows_ = order;
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

void TAVPhotoListModel::replaceRows(const QList<TAVImageObjectPtr>& images)
{
    if (!rows_.isEmpty()) {
        beginRemoveRows(QModelIndex(), 0, int(rows_.size() - 1));
        rows_.clear();
        endRemoveRows();
    }
    appendRows(images);
}

void TAVPhotoListModel::refreshAll()
{
    if (!rows_.isEmpty()) {
        emit dataChanged(index(0, 0), index(int(rows_.size() - 1), ColumnCount - 1));
    }
}

void TAVPhotoListModel::refreshImage(const TAVImageObject* image)
{
    // A row of its own: the browser sizes again only the cells it is told
    // of, and a save tells of every photo it saved.
    for (int row = 0; row < rows_.size(); ++row) {
        if (rows_.at(row).get() == image) {
            emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
        }
    }
}

void TAVPhotoListModel::showThumbnailsOfRows(const QList<int>& rows, int side)
{
    QStringList paths;
    paths.reserve(rows.size());
    for (const int row : rows) {
        if (const TAVImageObjectPtr image = imageAt(row)) {
            paths.append(image->path());
        }
    }
    loader_->setShownPaths(paths, side);
}

void TAVPhotoListModel::thumbnailArrived(const QString& path)
{
    bool shown = false;
    for (int row = 0; row < rows_.size(); ++row) {
        if (rows_.at(row)->path() == path) {
            shown = true;
            emit dataChanged(index(row, 0), index(row, 0), {ThumbnailRole});
        }
    }
    if (!shown) {
        loader_->forget(path); // its row went while it was being made
    }
}

QImage TAVPhotoListModel::stateImage(const QString& name)
{
    if (name.isEmpty()) {
        return QImage();
    }
    // The badges are compiled into this library; a static library needs them
    // registered by hand.
    static const bool registered = [] {
        Q_INIT_RESOURCE(photolist);
        return true;
    }();
    (void)registered;
    static QHash<QString, QImage> pictures;
    auto found = pictures.find(name);
    if (found == pictures.end()) {
        found = pictures.insert(name, TAVImageCacheManager::sharedInstance().getImage(name));
    }
    return found.value();
}

int TAVPhotoListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int TAVPhotoListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TAVPhotoListModel::data(const QModelIndex& index, int role) const
{
    const TAVImageObjectPtr image = imageAt(index.row());
    if (!image) {
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    }
    switch (role) {
    case Qt::DisplayRole:
        return tableText(*image, index.column());
    case Qt::DecorationRole:
        if (index.column() == ColumnState) {
            // An icon, so the table shows it at its icon size.
            const QImage badge = stateImage(image->getImageForImageState());
            return badge.isNull() ? QVariant() : QVariant(QIcon(QPixmap::fromImage(badge)));
        }
        return QVariant();
    case Qt::ToolTipRole:
        // A failed save shows only a mark: the State cell says why.
        if (index.column() == ColumnState && image->exifData()
            && image->exifData()->enuModifyState() == TAVExifData::StateSaveFailed) {
            return image->lastSaveFailure();
        }
        return image->srcPath();
    case ImageObjectRole:
        return QVariant::fromValue(static_cast<void*>(image.get()));
    case ThumbnailRole: {
        const QImage thumbnail = loader_->thumbnail(image->path());
        return thumbnail.isNull() ? TAVThumbnailLoader::placeholder() : thumbnail;
    }
    case StateImageRole:
        return stateImage(image->getImageForImageState());
    case TitleRole:
        return image->imageTitle();
    default:
        return QVariant();
    }
}

QVariant TAVPhotoListModel::tableText(const TAVImageObject& image, int column) const
{
    // Named as the user's file is, whatever the working copy is called.
    const QFileInfo file(image.imageTitle());
    switch (column) {
    case ColumnName:
        return file.completeBaseName();
    case ColumnType:
        return file.suffix();
    case ColumnDateModified: {
        const QDateTime modified = FileServices::modificationDate(image.path());
        return modified.isValid() ? DateServices::getStringFromDateWithLocalizeDateFormate(modified, 4) : QString();
    }
    default:
        return QString();
    }
}

QVariant TAVPhotoListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const QStringList titles
        = {QStringLiteral("State"), QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Date Modified")};
    return titles.at(section);
}

Qt::ItemFlags TAVPhotoListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        return Qt::ItemIsDropEnabled;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

QStringList TAVPhotoListModel::mimeTypes() const
{
    return {kRowsMimeType, QStringLiteral("text/uri-list")};
}

QMimeData* TAVPhotoListModel::mimeData(const QModelIndexList& indexes) const
{
    QList<int> rows;
    for (const QModelIndex& index : indexes) {
        rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QStringList texts;
    for (const int row : rows) {
        texts.append(QString::number(row));
    }
    auto* data = new QMimeData();
    data->setData(kRowsMimeType, texts.join(QLatin1Char(',')).toLatin1());
    return data;
}

QList<int> TAVPhotoListModel::rowsOf(const QMimeData* data)
{
    QList<int> rows;
    const QList<QByteArray> texts = data->data(kRowsMimeType).split(',');
    for (const QByteArray& text : texts) {
        bool ok = false;
        const int row = text.toInt(&ok);
        if (ok) {
            rows.append(row);
        }
    }
    return rows;
}

bool TAVPhotoListModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex&) const
{
    if (data == nullptr || !drops_.acceptsDrops || !drops_.acceptsDrops()) {
        return false;
    }
    return data->hasFormat(kRowsMimeType) || VXDragFiles::carriesFiles(data);
}

bool TAVPhotoListModel::dropMimeData(
    const QMimeData* data, Qt::DropAction action, int row, int column, const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent)) {
        return false;
    }
    if (data->hasFormat(kRowsMimeType)) {
        const int destination = row >= 0 ? row : (parent.isValid() ? parent.row() : int(rows_.size()));
        return drops_.rowsMoved && drops_.rowsMoved(rowsOf(data), destination);
    }
    return drops_.filesDropped && drops_.filesDropped(VXDragFiles::localPaths(data));
}

Qt::DropActions TAVPhotoListModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

Qt::DropActions TAVPhotoListModel::supportedDragActions() const
{
    return Qt::MoveAction;
}
