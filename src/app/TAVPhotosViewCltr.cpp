#include "app/TAVPhotosViewCltr.h"

#include "app/TAVImageBrowserView.h"
#include "app/TAVPhotoListModel.h"
#include "app/TAVPhotosViewCltrDelegate.h"
#include "app/TAVPreviewWindow.h"
#include "commlib/VXAutoResizeMidView.h"
#include "commlib/VXCustomBgColorView.h"
#include "commlib/VXDashedLine.h"
#include "commlib/VXDropInTipsView.h"
#include "commlib/VXKeyPressTableView.h"
#include "commlib/VXPopUpButton.h"
#include "foundation/Dispatch.h"
#include "foundation/UserDefaults.h"

#include <QAction>
#include <QButtonGroup>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

bool animationsEnabled = true;
constexpr int kModeSwitchMilliseconds = 400;
constexpr int kSliderSteps = 100; // the slider's integer range for zoom 0..1

const QColor kListGround(241, 241, 241);

QToolButton* segmentButton(const QString& text, const QString& tip, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(tip);
    button->setAutoRaise(false);
    button->setMinimumWidth(28);
    return button;
}

} // namespace

TAVPhotosViewCltr::TAVPhotosViewCltr(
    const QString& tempSrcPath, QWidget* parent, TAVThumbnailLoader::LoadFunction thumbnailLoad)
    : QWidget(parent)
    , tempSrcPath_(tempSrcPath)
    , isCancel_(std::make_shared<std::atomic<bool>>(false))
    , srcPaths_(std::make_shared<SrcPathRegistry>())
{
    maryDataSource_.reserve(10);
    marySearchDataSource_.reserve(10);
    thumbnailLoader_ = new TAVThumbnailLoader(std::move(thumbnailLoad), TAVThumbnailLoader::kDefaultMaxBytes, this);
    model_ = new TAVPhotoListModel(thumbnailLoader_, this);
    selection_ = new QItemSelectionModel(model_, this);
    model_->setDropHandlers({
        [this] { return !isSearchState_; },
        [this](const QStringList& paths) { return handleImportImages(paths); },
        [this](const QList<int>& rows, int destination) {
            return imageBrowserMoveItemsAtIndexesToIndex(rows, destination);
        },
    });
    makeViews();
    configureBrowserAndTable();
    readStartZoom();
    connect(selection_, &QItemSelectionModel::selectionChanged, this, &TAVPhotosViewCltr::selectionDidChange);
    clickShowType(ModeBrowser);
    checkAndShowTipsView();
}

TAVPhotosViewCltr::~TAVPhotosViewCltr()
{
    // A running import stops before its next file; its hand-overs find this
    // controller gone and drop their images.
    isCancel_->store(true);
    if (tipsView_ != nullptr) {
        tipsView_->setDelegate(nullptr);
    }
    tableView_->setKeyDelegate(nullptr);
    delete previewPanel_;
}

void TAVPhotosViewCltr::setAnimationsEnabled(bool enabled)
{
    animationsEnabled = enabled;
}

// --- Set-up ---

void TAVPhotosViewCltr::makeViews()
{
    setAutoFillBackground(true);
    QPalette ground = palette();
    ground.setColor(QPalette::Window, kListGround);
    setPalette(ground);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeTopBar());
    bgView_ = new VXCustomBgColorView(this);
    bgView_->setBgColor(kListGround);
    bgView_->installEventFilter(this);
    layout->addWidget(bgView_, 1);
    layout->addWidget(makeBottomBar());

    imageTypeView_ = new QWidget(bgView_);
    auto* browserLayout = new QVBoxLayout(imageTypeView_);
    browserLayout->setContentsMargins(0, 0, 0, 0);
    imageBrowser_ = new TAVImageBrowserView(imageTypeView_);
    browserLayout->addWidget(imageBrowser_);
    imageTypeView_->hide();

    tableTypeView_ = new QWidget(bgView_);
    auto* tableLayout = new QVBoxLayout(tableTypeView_);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    tableView_ = new VXKeyPressTableView(tableTypeView_);
    tableLayout->addWidget(tableView_);
    tableTypeView_->hide();

    rightClickMenu_ = new QMenu(this);
    deleteMenuItem_ = rightClickMenu_->addAction(QString());
    revealMenuItem_ = rightClickMenu_->addAction(QStringLiteral("Show in Folder"));
    connect(deleteMenuItem_, &QAction::triggered, this, &TAVPhotosViewCltr::clickDeleteItem);
    connect(revealMenuItem_, &QAction::triggered, this, &TAVPhotosViewCltr::clickRevealInFinder);

    previewPanel_ = new TAVPreviewWindow();
    connect(previewPanel_, &TAVPreviewWindow::closeRequested, previewPanel_, &QWidget::hide);
}

QWidget* TAVPhotosViewCltr::makeTopBar()
{
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(6, 5, 6, 5);
    row->setSpacing(6);

    auto* types = new QButtonGroup(bar);
    types->setExclusive(true);
    const QStringList typeTitles = {QStringLiteral("Thumbnails"), QStringLiteral("List")};
    for (int mode = 0; mode < typeTitles.size(); ++mode) {
        QToolButton* button = segmentButton(typeTitles.at(mode), typeTitles.at(mode), bar);
        button->setCheckable(true);
        types->addButton(button, mode);
        typeSegments_.append(button);
        row->addWidget(button);
    }
    typeSegments_.first()->setChecked(true);
    connect(types, &QButtonGroup::idClicked, this, &TAVPhotosViewCltr::clickShowType);

    searchField_ = new QLineEdit(bar);
    searchField_->setPlaceholderText(QStringLiteral("Search"));
    searchField_->setClearButtonEnabled(true);
    QSizePolicy keepPlace = searchField_->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    searchField_->setSizePolicy(keepPlace);
    connect(searchField_, &QLineEdit::textChanged, this, &TAVPhotosViewCltr::typeInSearchField);
    row->addWidget(searchField_, 1);

    popSort_ = new VXPopUpButton(bar);
    popSort_->addItems(sortPopTitles());
    popSort_->setToolTip(QStringLiteral("Sort by"));
    connect(popSort_, &QComboBox::activated, this, [this] { clickSortPop(); });
    row->addWidget(popSort_);
    return bar;
}

QWidget* TAVPhotosViewCltr::makeBottomBar()
{
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(6, 4, 6, 4);
    row->setSpacing(0);
    const QStringList fileTitles = {QStringLiteral("+"), QStringLiteral("\u2212"), QStringLiteral("Clear")};
    const QStringList fileTips = {QStringLiteral("Add images"), QStringLiteral("Remove the selected images"),
        QStringLiteral("Remove all images")};
    for (int segment = 0; segment < fileTitles.size(); ++segment) {
        QToolButton* button = segmentButton(fileTitles.at(segment), fileTips.at(segment), bar);
        connect(button, &QToolButton::clicked, this, [this, segment] { segCltrClicked(segment); });
        fileSegments_.append(button);
        row->addWidget(button);
    }
    setFileSegmentsEnabled(false);
    row->addStretch(1);

    btnSmall_ = segmentButton(QStringLiteral("\u2212"), QStringLiteral("Smaller thumbnails"), bar);
    btnSmall_->setAutoRaise(true);
    btnEnlarge_ = segmentButton(QStringLiteral("+"), QStringLiteral("Larger thumbnails"), bar);
    btnEnlarge_->setAutoRaise(true);
    slideZoom_ = new QSlider(Qt::Horizontal, bar);
    slideZoom_->setRange(0, kSliderSteps);
    slideZoom_->setFixedWidth(120);
    connect(btnSmall_, &QToolButton::clicked, this, &TAVPhotosViewCltr::clickSmaller);
    connect(btnEnlarge_, &QToolButton::clicked, this, &TAVPhotosViewCltr::clickEnlarge);
    connect(slideZoom_, &QSlider::valueChanged, this,
        [this](int value) { zoomSliderDidChange(float(value) / float(kSliderSteps)); });

    auto* toolbarBgView = new VXAutoResizeMidView();
    toolbarBgView->setMargin(2);
    toolbarBgView->setLeftView(btnSmall_);
    toolbarBgView->setMidView(slideZoom_);
    toolbarBgView->setRightView(btnEnlarge_);
    auto* sliderArea = new VXAutoResizeMidView(bar);
    sliderArea->setMargin(1);
    sliderArea->setLeftView(new VXDashedLine(VXDashedLine::Vertical));
    sliderArea->setMidView(toolbarBgView);
    sliderArea->setRightView(new VXDashedLine(VXDashedLine::Vertical));
    zoomRow_ = sliderArea;
    QSizePolicy keepPlace = zoomRow_->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    zoomRow_->setSizePolicy(keepPlace);
    row->addWidget(zoomRow_);
    return bar;
}

void TAVPhotosViewCltr::configureBrowserAndTable()
{
    imageBrowser_->installEventFilter(this);
    tableView_->installEventFilter(this);
    imageBrowser_->setModel(model_);
    imageBrowser_->setSelectionModel(selection_);
    imageBrowser_->setEnableSpacePreview(true);
    imageBrowser_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(imageBrowser_, &VXKeyPressImageBrowserView::previewRequested, this, &TAVPhotosViewCltr::togglePreview);
    connect(imageBrowser_, &TAVImageBrowserView::shownRowsChanged, model_, &TAVPhotoListModel::showThumbnailsOfRows);
    connect(imageBrowser_, &VXKeyPressImageBrowserView::removeSelectionRequested, this,
        [this] { imageBrowserRemoveItemsAtIndexes(selectedIndexes()); });
    connect(imageBrowser_, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& position) { showContextMenu(imageBrowser_, position); });

    tableView_->setModel(model_);
    tableView_->setSelectionModel(selection_);
    tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView_->setEnableSpacePreview(true);
    tableView_->setKeyDelegate(this);
    tableView_->setIconSize(QSize(18, 18));
    tableView_->verticalHeader()->hide();
    tableView_->setShowGrid(false);
    tableView_->setAlternatingRowColors(true);
    // One line per photo: a narrow column cuts its text short instead of
    // wrapping a date over two lines.
    tableView_->setWordWrap(false);
    tableView_->setAcceptDrops(true);
    tableView_->setDragDropMode(QAbstractItemView::DropOnly);
    tableView_->setContextMenuPolicy(Qt::CustomContextMenu);
    QHeaderView* header = tableView_->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setStretchLastSection(true);
    header->resizeSection(TAVPhotoListModel::ColumnState, 48);
    header->resizeSection(TAVPhotoListModel::ColumnName, 200);
    header->resizeSection(TAVPhotoListModel::ColumnType, 60);
    connect(header, &QHeaderView::sectionClicked, this, &TAVPhotosViewCltr::clickTableHeader);
    connect(tableView_, &VXKeyPressTableView::previewRequested, this, &TAVPhotosViewCltr::togglePreview);
    connect(tableView_, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& position) { showContextMenu(tableView_, position); });
}

void TAVPhotosViewCltr::readStartZoom()
{
    // Only a zoom the user stored counts; "remember" is registered on by
    // default, so without a stored value the list starts at the middle.
    UserDefaults& defaults = UserDefaults::standard();
    const QString zoomKey = QStringLiteral("PhotoRescaleKey");
    double zoom = 0.5;
    if (defaults.boolForKey(QStringLiteral("remember_photo_list_size")) && defaults.hasStoredValueForKey(zoomKey)) {
        zoom = defaults.doubleForKey(zoomKey);
    }
    zoom = std::clamp(zoom, 0.0, 1.0);
    imageBrowser_->setZoomValue(zoom);
    const QSignalBlocker quiet(slideZoom_);
    slideZoom_->setValue(int(std::lround(zoom * kSliderSteps)));
}

// --- Layout of the two views and the tips view ---

void TAVPhotosViewCltr::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The invitation covers the list area; the bars stay usable.
    if (tipsView_ != nullptr) {
        tipsView_->setGeometry(bgView_->geometry());
    }
}

bool TAVPhotosViewCltr::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == tableView_ || watched == imageBrowser_) && event->type() == QEvent::KeyPress
        && moveToEndOfList(*static_cast<QKeyEvent*>(event))) {
        return true;
    }
    if (watched == bgView_ && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
        placeCurrentContainer();
        if (tipsView_ != nullptr) {
            tipsView_->setGeometry(bgView_->geometry());
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TAVPhotosViewCltr::placeCurrentContainer()
{
    QWidget* container = lastMode_ == ModeTable ? tableTypeView_ : imageTypeView_;
    container->setGeometry(bgView_->rect());
}

QWidget* TAVPhotosViewCltr::currentView() const
{
    return lastMode_ == ModeTable ? static_cast<QWidget*>(tableView_) : static_cast<QWidget*>(imageBrowser_);
}

void TAVPhotosViewCltr::clickShowType(int mode)
{
    if (mode == lastMode_ || (mode != ModeBrowser && mode != ModeTable)) {
        return;
    }
    lastMode_ = mode;
    typeSegments_.at(mode)->setChecked(true);
    const QRect bounds = bgView_->rect();
    const int width = bounds.width();
    // Table slides in from the right, the browser from the left; the other
    // container slides out the opposite way. The shared selection model
    // carries the selection across.
    QWidget* incoming = mode == ModeTable ? tableTypeView_ : imageTypeView_;
    QWidget* outgoing = mode == ModeTable ? imageTypeView_ : tableTypeView_;
    const int direction = mode == ModeTable ? 1 : -1;
    incoming->setGeometry(bounds.translated(direction * width, 0));
    incoming->show();
    incoming->raise();
    reloadViewByAutoDetectSegementSelected();
    zoomRow_->setVisible(mode == ModeBrowser);
    previewPanel_->setKeyTarget(currentView());

    const QRect outgoingEnd = outgoing->geometry().translated(-direction * width, 0);
    if (!animationsEnabled || !isVisible()) {
        incoming->setGeometry(bounds);
        outgoing->setGeometry(outgoingEnd);
        outgoing->hide();
        return;
    }
    auto* group = new QParallelAnimationGroup(this);
    auto* in = new QPropertyAnimation(incoming, "geometry", group);
    in->setDuration(kModeSwitchMilliseconds);
    in->setEndValue(bounds);
    auto* out = new QPropertyAnimation(outgoing, "geometry", group);
    out->setDuration(kModeSwitchMilliseconds);
    out->setEndValue(outgoingEnd);
    const QPointer<QWidget> leaving(outgoing);
    connect(group, &QAbstractAnimation::finished, this, [this, leaving, mode] {
        if (leaving && lastMode_ == mode) {
            leaving->hide();
        }
        placeCurrentContainer();
    });
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void TAVPhotosViewCltr::checkAndShowTipsView()
{
    if (maryDataSource_.isEmpty()) {
        if (tipsView_ == nullptr) {
            tipsView_ = new VXDropInTipsView(this);
            tipsView_->setDelegate(this);
            tipsView_->setStrPromot(QStringLiteral("Drag Image(s) Here To Edit"));
            tipsView_->setClrNorBg(kListGround);
        }
        tipsView_->setGeometry(bgView_->geometry());
        tipsView_->show();
        tipsView_->raise();
        imageTypeView_->hide();
        tableTypeView_->hide();
        searchField_->hide();
        return;
    }
    placeCurrentContainer();
    (lastMode_ == ModeTable ? tableTypeView_ : imageTypeView_)->show();
    reloadViewByAutoDetectSegementSelected();
    if (tipsView_ != nullptr) {
        tipsView_->hide();
    }
    searchField_->show();
}

void TAVPhotosViewCltr::showList()
{
    if (tipsView_ != nullptr) {
        tipsView_->hide();
    }
    placeCurrentContainer();
    (lastMode_ == ModeTable ? tableTypeView_ : imageTypeView_)->show();
    reloadViewByAutoDetectSegementSelected();
}

void TAVPhotosViewCltr::setFileSegmentsEnabled(bool enabled)
{
    fileSegments_.at(SegmentRemove)->setEnabled(enabled);
    fileSegments_.at(SegmentClear)->setEnabled(enabled);
}

// --- Shown list, reload, selection ---

const QList<TAVImageObjectPtr>& TAVPhotosViewCltr::getDataSourceForCurrentState() const
{
    return isSearchState_ ? marySearchDataSource_ : maryDataSource_;
}

void TAVPhotosViewCltr::setShownList(const QList<TAVImageObjectPtr>& images)
{
    model_->replaceRows(images);
}

void TAVPhotosViewCltr::reload()
{
    const QPointer<TAVPhotosViewCltr> self(this);
    Dispatch::asyncMain([self] {
        if (self) {
            self->reloadViewByAutoDetectSegementSelected();
        }
    });
}

void TAVPhotosViewCltr::reloadViewByAutoDetectSegementSelected()
{
    model_->refreshAll();
    if (lastMode_ == ModeTable) {
        tableView_->viewport()->update();
    } else {
        imageBrowser_->reloadData();
    }
    refreshPreview();
}

void TAVPhotosViewCltr::reloadImage(const TAVImageObject* image)
{
    model_->refreshImage(image);
    refreshPreview();
}

QList<int> TAVPhotosViewCltr::selectedIndexes() const
{
    QList<int> rows;
    for (const QModelIndex& index : selection_->selectedIndexes()) {
        rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

QList<TAVImageObjectPtr> TAVPhotosViewCltr::selectedImageObjects() const
{
    std::lock_guard<std::mutex> lock(selectedMutex_);
    return selectedImageObjects_;
}

void TAVPhotosViewCltr::selectIndexes(const QList<int>& rows)
{
    QItemSelection wanted;
    for (const int row : rows) {
        if (row >= 0 && row < model_->rowCount()) {
            wanted.select(model_->index(row, 0), model_->index(row, TAVPhotoListModel::ColumnCount - 1));
        }
    }
    selection_->select(wanted, QItemSelectionModel::ClearAndSelect);
    if (!rows.isEmpty() && rows.first() >= 0 && rows.first() < model_->rowCount()) {
        selection_->setCurrentIndex(model_->index(rows.first(), 0), QItemSelectionModel::NoUpdate);
        imageBrowser_->scrollTo(model_->index(rows.first(), 0));
        tableView_->scrollTo(model_->index(rows.first(), 0));
    }
}

bool TAVPhotosViewCltr::moveToEndOfList(const QKeyEvent& key)
{
    // Home and End go to the first and the last photo (with Shift, selecting
    // from the first selected one), in both views: the table's own Home would
    // only move along the row.
    const bool home = key.key() == Qt::Key_Home;
    if ((!home && key.key() != Qt::Key_End)
        || (key.modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) != Qt::NoModifier) {
        return false;
    }
    const int count = model_->rowCount();
    if (count == 0) {
        return true;
    }
    const int target = home ? 0 : count - 1;
    const QList<int> selected = selectedIndexes();
    QList<int> rows{target};
    if (key.modifiers().testFlag(Qt::ShiftModifier) && !selected.isEmpty()) {
        rows.clear();
        const int anchor = home ? selected.last() : selected.first();
        for (int row = std::min(anchor, target); row <= std::max(anchor, target); ++row) {
            rows.append(row);
        }
    }
    selectIndexes(rows);
    selection_->setCurrentIndex(model_->index(target, 0), QItemSelectionModel::NoUpdate);
    imageBrowser_->scrollTo(model_->index(target, 0));
    tableView_->scrollTo(model_->index(target, 0));
    return true;
}

void TAVPhotosViewCltr::selectionDidChange()
{
    const QList<int> rows = selectedIndexes();
    QList<TAVImageObjectPtr> images;
    for (const int row : rows) {
        images.append(model_->imageAt(row));
    }
    {
        std::lock_guard<std::mutex> lock(selectedMutex_);
        selectedImageObjects_ = images;
    }
    deleteMenuItem_->setText(QStringLiteral("Delete %1 image").arg(rows.size()));
    refreshPreview();
    if (customDelegate_ != nullptr) {
        customDelegate_->photosViewCltrDidSelectedImages(this, rows);
    }
}

void TAVPhotosViewCltr::defaultSelectFirst()
{
    if (!selection_->hasSelection() && model_->rowCount() > 0) {
        selectIndexes({0});
    }
}

void TAVPhotosViewCltr::moveSelection(bool next)
{
    const QList<int> rows = selectedIndexes();
    if (rows.isEmpty()) {
        return;
    }
    const int target = rows.first() + (next ? 1 : -1);
    if (target >= 0 && target < model_->rowCount()) {
        selectIndexes({target});
    }
}

QString TAVPhotosViewCltr::getStringFromModifyState(int32_t state)
{
    switch (state) {
    case 1:
        return QStringLiteral("N");
    case 2:
        return QStringLiteral("M");
    case 3:
        return QStringLiteral("S");
    case 4:
        return QStringLiteral("E");
    case 5:
        return QStringLiteral("C");
    default:
        return QString();
    }
}

// --- Search and zoom ---

bool TAVPhotosViewCltr::isImageObjectContainSearchStr(const TAVImageObject& image, const QString& text)
{
    // The name the list shows: the user's file, not its working copy's "(1)".
    return QFileInfo(image.imageTitle()).completeBaseName().contains(text, Qt::CaseInsensitive);
}

void TAVPhotosViewCltr::typeInSearchField(const QString& text)
{
    searchText_ = text;
    if (text.isEmpty()) {
        isSearchState_ = false;
        marySearchDataSource_.clear();
    } else {
        marySearchDataSource_.clear();
        isSearchState_ = true;
        for (const TAVImageObjectPtr& image : std::as_const(maryDataSource_)) {
            if (isImageObjectContainSearchStr(*image, text)) {
                marySearchDataSource_.append(image);
            }
        }
    }
    setShownList(getDataSourceForCurrentState());
    // Photos imported while the search hid them are in reach again.
    setFileSegmentsEnabled(!getDataSourceForCurrentState().isEmpty());
    reloadViewByAutoDetectSegementSelected();
    defaultSelectFirst();
}

float TAVPhotosViewCltr::zoomValue() const
{
    return float(imageBrowser_->zoomValue());
}

void TAVPhotosViewCltr::clickSmaller()
{
    stepZoom(-0.1);
}

void TAVPhotosViewCltr::clickEnlarge()
{
    stepZoom(0.1);
}

void TAVPhotosViewCltr::stepZoom(double step)
{
    const double zoom = std::clamp(imageBrowser_->zoomValue() + step, 0.0, 1.0);
    {
        const QSignalBlocker quiet(slideZoom_);
        slideZoom_->setValue(int(std::lround(zoom * kSliderSteps)));
    }
    // Kept like a zoom set with the slider.
    zoomSliderDidChange(float(zoom));
}

void TAVPhotosViewCltr::zoomSliderDidChange(float value)
{
    imageBrowser_->setZoomValue(value);
    UserDefaults& defaults = UserDefaults::standard();
    if (defaults.boolForKey(QStringLiteral("remember_photo_list_size"))) {
        defaults.setDouble(double(value), QStringLiteral("PhotoRescaleKey"));
    }
}

// --- Preview, context menu, keys ---

void TAVPhotosViewCltr::togglePreview()
{
    if (previewPanel_->isVisible()) {
        previewPanel_->hide();
        return;
    }
    const QList<TAVImageObjectPtr> selected = selectedImageObjects();
    if (selected.isEmpty()) {
        return;
    }
    previewPanel_->setKeyTarget(currentView());
    previewPanel_->showImages(selected);
    previewPanel_->show();
    previewPanel_->raise();
    previewPanel_->activateWindow();
}

void TAVPhotosViewCltr::refreshPreview()
{
    if (!previewPanel_->isVisible()) {
        return;
    }
    previewPanel_->showImages(selectedImageObjects());
}

void TAVPhotosViewCltr::showContextMenu(QWidget* view, const QPoint& position)
{
    deleteMenuItem_->setText(QStringLiteral("Delete %1 image").arg(selectedIndexes().size()));
    rightClickMenu_->popup(static_cast<QAbstractScrollArea*>(view)->viewport()->mapToGlobal(position));
}

void TAVPhotosViewCltr::deleteSelectionFromTableView(VXKeyPressTableView*)
{
    imageBrowserRemoveItemsAtIndexes(selectedIndexes());
}

bool TAVPhotosViewCltr::didVXDropInTipsViewAcceptDrag(VXDropInTipsView*, const QStringList& paths)
{
    return handleImportImages(paths);
}
