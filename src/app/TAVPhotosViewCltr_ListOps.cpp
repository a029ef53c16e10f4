// The photo list's operations on its images: sorting, removal with its
// question about unsaved edits, reordering by dragging and revealing files.
#include "app/TAVPhotosViewCltr.h"

#include "app/TAVPhotoListModel.h"
#include "app/TAVPhotosViewCltrDelegate.h"
#include "commlib/VXKeyPressTableView.h"
#include "commlib/VXPopUpButton.h"
#include "foundation/HeapServices.h"
#include "foundation/UiServices.h"
#include "foundation/Utils.h"
#include "foundation/Workspace.h"
#include "models/image/TAVImageCacheManager.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSet>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace {

// The sort keys of the table's columns; the state column does not sort.
QString columnSortKey(int column)
{
    switch (column) {
    case TAVPhotoListModel::ColumnName:
        return QStringLiteral("name");
    case TAVPhotoListModel::ColumnType:
        return QStringLiteral("type");
    case TAVPhotoListModel::ColumnDateModified:
        return QStringLiteral("modifydate");
    default:
        return QString();
    }
}

QString squeezed(const QString& text)
{
    QString result = text;
    result.remove(QLatin1Char(' '));
    return result.toLower();
}

} // namespace

void TAVPhotosViewCltr::segCltrClicked(int segment)
{
    switch (segment) {
    case SegmentAdd:
        startImportImages();
        break;
    case SegmentRemove:
        removeSelectedImageObjects();
        break;
    default:
        clearAllImageObjects();
        break;
    }
}

// --- Sorting ---

const QStringList& TAVPhotosViewCltr::sortPopTitles()
{
    // Each title, without spaces and lower-cased, is a sort key of the image.
    static const QStringList titles = {
        QStringLiteral("Name"),
        QStringLiteral("Type"),
        QStringLiteral("Create Date Time"),
        QStringLiteral("Modify Date"),
        QStringLiteral("Camera"),
        QStringLiteral("Image Size"),
        QStringLiteral("Shutter Speed"),
        QStringLiteral("Aperture"),
        QStringLiteral("Sensitivity"),
        QStringLiteral("Subject Distance"),
        QStringLiteral("Focal Length"),
        QStringLiteral("35mm Equiv"),
        QStringLiteral("Digital Zoom"),
        QStringLiteral("GPS Latitude"),
        QStringLiteral("GPS Longitude"),
    };
    return titles;
}

QString TAVPhotosViewCltr::getSelectorNameFromTitle(const QString& title)
{
    QString name = title;
    name.remove(QLatin1Char(' '));
    return name.isEmpty() ? name : Utils::lowercaseStringInRange(name, 0, 1);
}

void TAVPhotosViewCltr::clickSortPop()
{
    const QString key = getSelectorNameFromTitle(popSort_->currentText());
    // Keys compare without case: the pop-up says "modifyDate", the header "modifydate".
    const bool sameKey = !sortKey_.isEmpty() && sortKey_.compare(key, Qt::CaseInsensitive) == 0;
    tableViewSortDescriptorsDidChange(key, !(sameKey && sortAscending_));
}

void TAVPhotosViewCltr::clickTableHeader(int column)
{
    const QString key = columnSortKey(column);
    if (key.isEmpty()) {
        showSortIndicator(); // the header flipped its own arrow; put it back
        return;
    }
    const bool sameKey = sortKey_.compare(key, Qt::CaseInsensitive) == 0;
    tableViewSortDescriptorsDidChange(key, sameKey ? !sortAscending_ : true);
}

void TAVPhotosViewCltr::tableViewSortDescriptorsDidChange(const QString& key, bool ascending)
{
    if (key.isEmpty() || (key == sortKey_ && ascending == sortAscending_)) {
        showSortIndicator();
        return;
    }
    sortKey_ = key;
    sortAscending_ = ascending;
    sortUseSortDescriptors(key, ascending);
}

QList<TAVImageObjectPtr> TAVPhotosViewCltr::sortedBy(
    QList<TAVImageObjectPtr> images, const QString& key, bool ascending)
{
    std::stable_sort(images.begin(), images.end(), [&](const TAVImageObjectPtr& a, const TAVImageObjectPtr& b) {
        const int64_t order = a->compareWithObj(*b, key);
        return ascending ? order < 0 : order > 0;
    });
    return images;
}

void TAVPhotosViewCltr::sortUseSortDescriptors(const QString& key, bool ascending)
{
    const QList<TAVImageObjectPtr> remembered = selectedImageObjects();
    const QList<TAVImageObjectPtr> sorted = sortedBy(getDataSourceForCurrentState(), key, ascending);
    // Sorting a search result reorders the result only.
    (isSearchState_ ? marySearchDataSource_ : maryDataSource_) = sorted;
    model_->reorderRows(sorted);
    reloadViewByAutoDetectSegementSelected();

    for (int item = 0; item < popSort_->count(); ++item) {
        if (squeezed(popSort_->itemText(item)) == key.toLower()) {
            const QSignalBlocker quiet(popSort_);
            popSort_->setCurrentIndex(item);
            break;
        }
    }
    showSortIndicator();

    QList<int> rows;
    for (const TAVImageObjectPtr& image : remembered) {
        const qsizetype row = sorted.indexOf(image);
        if (row >= 0) {
            rows.append(int(row));
        }
    }
    if (!rows.isEmpty()) {
        std::sort(rows.begin(), rows.end());
        selectIndexes(rows);
        selectionDidChange(); // same images, new rows
    }
}

void TAVPhotosViewCltr::showSortIndicator()
{
    QHeaderView* header = tableView_->horizontalHeader();
    const QSignalBlocker quiet(header);
    for (int column = 0; column < TAVPhotoListModel::ColumnCount; ++column) {
        if (!sortKey_.isEmpty() && columnSortKey(column).compare(sortKey_, Qt::CaseInsensitive) == 0) {
            header->setSortIndicatorShown(true);
            header->setSortIndicator(column, sortAscending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
            return;
        }
    }
    header->setSortIndicatorShown(false);
}

// --- Removal ---

void TAVPhotosViewCltr::takeTypedTextBeforeRemoval()
{
    if (customDelegate_ != nullptr) {
        customDelegate_->photosViewCltrWillRemoveImages(this);
    }
}

bool TAVPhotosViewCltr::confirmRemoval(const QList<TAVImageObjectPtr>& images)
{
    // What Save All would write is what a removal throws away: a failed save's
    // edits and an edit left under an unchanged state count too.
    const bool unsaved = std::any_of(images.begin(), images.end(), [](const TAVImageObjectPtr& image) {
        return image && image->exifData() && image->exifData()->hasUnsavedWork();
    });
    UiServices* ui = UiServices::shared();
    if (!unsaved || ui == nullptr) {
        return true;
    }
    UiServices::AlertRequest question;
    question.title = QStringLiteral("Remove photos with unsaved changes?");
    question.message = QStringLiteral("Some Image(s) contains unsaved change, do you really want to remove?");
    question.buttons = {QStringLiteral("Remove"), QStringLiteral("Cancel")};
    // The changes cannot be had back once their photos left the list.
    question.defaultButton = 1;
    question.parent = window();
    return ui->runAlert(question) == UiServices::FirstButton;
}

void TAVPhotosViewCltr::removeSelectedImageObjects()
{
    takeTypedTextBeforeRemoval();
    const QList<int> rows = selectedIndexes();
    if (confirmRemoval(selectedImageObjects())) {
        removeImages(rows);
    }
}

void TAVPhotosViewCltr::clearAllImageObjects()
{
    takeTypedTextBeforeRemoval();
    const QList<TAVImageObjectPtr> shown = getDataSourceForCurrentState();
    if (!confirmRemoval(shown)) {
        return;
    }
    if (shown.isEmpty()) {
        if (UiServices::shared() != nullptr) {
            UiServices::shared()->beep();
        }
        return;
    }
    QList<int> all;
    for (int row = 0; row < shown.size(); ++row) {
        all.append(row);
    }
    removeImages(all);
}

void TAVPhotosViewCltr::imageBrowserRemoveItemsAtIndexes(const QList<int>& indexes)
{
    takeTypedTextBeforeRemoval();
    QList<TAVImageObjectPtr> images;
    for (const int row : indexes) {
        images.append(model_->imageAt(row));
    }
    if (confirmRemoval(images)) {
        removeImages(indexes);
    }
}

void TAVPhotosViewCltr::removeImages(const QList<int>& indexes)
{
    QList<TAVImageObjectPtr> images;
    for (const int row : indexes) {
        if (row >= 0 && row < model_->rowCount()) {
            images.append(model_->imageAt(row));
        }
    }
    if (images.isEmpty()) {
        if (UiServices::shared() != nullptr) {
            UiServices::shared()->beep();
        }
        return;
    }
    removeImageObjects(images);
}

void TAVPhotosViewCltr::removeImageObjects(const QList<TAVImageObjectPtr>& images)
{
    QList<TAVImageObjectPtr> removed;
    QSet<const TAVImageObject*> going;
    for (const TAVImageObjectPtr& image : images) {
        if (image && !going.contains(image.get()) && maryDataSource_.contains(image)) {
            removed.append(image);
            going.insert(image.get());
        }
    }
    if (removed.isEmpty()) {
        return;
    }
    // The shown rows of the images; those the search hides have none.
    QList<int> rows;
    for (int row = 0; row < model_->rowCount(); ++row) {
        if (going.contains(model_->imageAt(row).get())) {
            rows.append(row);
        }
    }
    maryDataSource_.removeIf([&](const TAVImageObjectPtr& image) { return going.contains(image.get()); });
    if (isSearchState_) {
        marySearchDataSource_.removeIf([&](const TAVImageObjectPtr& image) { return going.contains(image.get()); });
    }
    for (const TAVImageObjectPtr& image : std::as_const(removed)) {
        TAVImageCacheManager::sharedInstance().removeImageFromCache(image->path());
        thumbnailLoader_->forget(image->path());
        srcPaths_->release(image->srcPath());
    }
    model_->removeRowsAt(rows);
    reloadViewByAutoDetectSegementSelected();
    autoSelectNextAfterRemoveImages(rows);
    setFileSegmentsEnabled(!getDataSourceForCurrentState().isEmpty());
    checkAndShowTipsView();
    if (customDelegate_ != nullptr) {
        customDelegate_->photosViewCltrDidRemoveImages(this, removed);
    }
    for (const TAVImageObjectPtr& image : std::as_const(removed)) {
        image->removeWorkingCopy();
    }
    removed.clear();
    // Once the views have let go of the rows too (they do on the next turns
    // of the event loop).
    // The photos' records and pictures were many small blocks spread over the
    // heap; without a trim the process would keep their pages after a Clear.
    QTimer::singleShot(0, this, &HeapServices::returnFreedMemory);
}

void TAVPhotosViewCltr::autoSelectNextAfterRemoveImages(const QList<int>& indexes)
{
    if (indexes.isEmpty()) {
        return;
    }
    const int count = model_->rowCount();
    if (count == 0) {
        setFileSegmentsEnabled(false);
        return;
    }
    // The image before the last one removed, kept inside the shorter list.
    const int last = *std::max_element(indexes.begin(), indexes.end());
    selectIndexes({std::clamp(last - 1, 0, count - 1)});
    fileSegments_.at(SegmentRemove)->setEnabled(true);
}

// --- Reordering and revealing ---

bool TAVPhotosViewCltr::imageBrowserMoveItemsAtIndexesToIndex(const QList<int>& indexes, int destination)
{
    if (isSearchState_) {
        return false;
    }
    QList<int> rows;
    for (const int row : indexes) {
        if (row >= 0 && row < maryDataSource_.size() && !rows.contains(row)) {
            rows.append(row);
        }
    }
    if (rows.isEmpty()) {
        return false;
    }
    std::sort(rows.begin(), rows.end());
    destination = std::clamp(destination, 0, int(maryDataSource_.size()));
    QList<TAVImageObjectPtr> moving;
    for (const int row : rows) {
        moving.append(maryDataSource_.at(row));
    }
    const int below = int(std::count_if(rows.begin(), rows.end(), [&](int row) { return row < destination; }));
    QList<TAVImageObjectPtr> order;
    for (int row = 0; row < maryDataSource_.size(); ++row) {
        if (!rows.contains(row)) {
            order.append(maryDataSource_.at(row));
        }
    }
    const int insertAt = destination - below;
    for (int i = 0; i < moving.size(); ++i) {
        order.insert(insertAt + i, moving.at(i));
    }
    maryDataSource_ = order;
    model_->reorderRows(order);
    reloadViewByAutoDetectSegementSelected();
    if (selection_->hasSelection()) {
        selectionDidChange(); // the selection moved with its images
    }
    return true;
}

void TAVPhotosViewCltr::clickRevealInFinder()
{
    Workspace* workspace = Workspace::shared();
    if (workspace == nullptr) {
        return;
    }
    for (const TAVImageObjectPtr& image : selectedImageObjects()) {
        workspace->revealFile(image->srcPath());
    }
}
