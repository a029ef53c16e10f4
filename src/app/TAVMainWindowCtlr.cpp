#include "app/TAVMainWindowCtlr.h"

#include "app/ENTabBarView.h"
#include "app/ENTabCell.h"
#include "app/TAVDetailViewCtlr.h"
#include "app/TAVExposureViewCtlr.h"
#include "app/TAVPhotosViewCltr.h"
#include "app/TAVSummaryViewCtlr.h"
#include "app/TAVToolbarIcons.h"
#include "commlib/TAVBaseTabViewCltr.h"
#include "commlib/VXCommonView.h"
#include "commlib/VXCustomBgColorView.h"
#include "commlib/VXDropDownButton.h"
#include "commlib/VXIntroWindowController.h"
#include "commlib/VXProgressWindowController.h"
#include "commlib/VXResizeCallbackView.h"
#include "foundation/HeapServices.h"
#include "gps/TAVGPSViewController.h"
#include "tools/TAVClonWindowController.h"
#include "tools/TAVExportWindowController.h"
#include "tools/TAVManangePresetsWindowController.h"
#include "tools/TAVNewPresetWindowCtlr.h"
#include "tools/TAVRenameWindowController.h"
#include "tools/TAVReplaceWindowController.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcMainWindow, "lumetta.app.mainwindow")

namespace {

const QColor kGrey60 = QColor::fromRgbF(0.6f, 0.6f, 0.6f);
const QColor kGrey68 = QColor::fromRgbF(0.68f, 0.68f, 0.68f);
const QColor kGrey53 = QColor::fromRgbF(0.53f, 0.53f, 0.53f);

QColor controlColour()
{
    return QApplication::palette().color(QPalette::Window);
}

VXCustomBgColorView* colouredView(const QColor& colour, QWidget* parent = nullptr)
{
    auto* view = new VXCustomBgColorView(parent);
    view->setBgColor(colour);
    return view;
}

// A picture button; the label under it names the command.
QToolButton* batchButton(const QString& name, const QString& text, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(text);
    button->setIcon(TAVToolbarIcons::icon(text));
    button->setIconSize(QSize(30, 30));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setAutoRaise(true);
    return button;
}

// Grey text with a white shadow up and to the left, at 11 points.
QLabel* batchLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = QApplication::font();
    font.setPointSize(11);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(22, 22, 22));
    label->setPalette(palette);
    auto* shadow = new QGraphicsDropShadowEffect(label);
    shadow->setColor(Qt::white);
    shadow->setOffset(-1, -1);
    shadow->setBlurRadius(0);
    label->setGraphicsEffect(shadow);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    return label;
}

// A button over its label, the way the batch area shows each command.
QWidget* labelledColumn(QWidget* control, QLabel* label, QWidget* parent)
{
    auto* column = new QWidget(parent);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(control, 0, Qt::AlignHCenter | Qt::AlignBottom);
    layout->addWidget(label, 0, Qt::AlignHCenter);
    return column;
}

} // namespace

const QStringList& TAVMainWindowCtlr::tabTitles()
{
    static const QStringList titles{
        QStringLiteral("Summary"), QStringLiteral("Exposure"), QStringLiteral("GPS"), QStringLiteral("Details")};
    return titles;
}

TAVMainWindowCtlr::TAVMainWindowCtlr(const QString& tempSrcPath, QObject* parent)
    : VXCommonWindowController(parent)
    , tempSrcPath_(tempSrcPath)
{
    // Before the first import or save: their workers pass every file's bytes
    // through the heap.
    HeapServices::giveLargeBlocksTheirOwnPages();
    VXCommonWindowController::window();
    initUI();
    setGpsTab(new TAVGPSViewController);
    reloadPresets();
    refreshPreset();
    updateDispByExifData(defaultSetting_);
    refreshButtonsEnable();
    NotificationHub::defaultHub().addObserver(this, TAVBaseTabViewCltr::kNotiFileMetadataHasChanged,
        [this](const Notification& notification) { handleHasModified(notification); });
}

TAVMainWindowCtlr::~TAVMainWindowCtlr()
{
    NotificationHub::defaultHub().removeObserver(this);
    // A loop still running stops before its next image and finds no window.
    isSaving_->store(false);
    cancelApplyFileNameToTitle_->store(true);
    if (photos_) {
        photos_->setCustomDelegate(nullptr);
        for (const auto& image : photos_->maryDataSource()) {
            if (image->delegate() == this)
                image->setDelegate(nullptr);
        }
    }
    if (tabBar_)
        tabBar_->setDelegate(nullptr);
    if (splitView_)
        splitView_->setEventsDelegate(nullptr);
    if (dropView_)
        dropView_->setWndDelegate(nullptr);
    if (newPresetWndCltr_)
        newPresetWndCltr_->setDelegate(nullptr);
    if (presetCltr_)
        presetCltr_->setDelegate(nullptr);
}

QWidget* TAVMainWindowCtlr::makeWindow()
{
    mainWindow_ = new QMainWindow;
    mainWindow_->setWindowTitle(QStringLiteral("Lumetta"));
    mainWindow_->resize(1280, 800);
    mainWindow_->installEventFilter(this);
    return mainWindow_;
}

QWidget* TAVMainWindowCtlr::window()
{
    return VXCommonWindowController::window();
}

void TAVMainWindowCtlr::showWindow()
{
    showNormalWindow();
}

void TAVMainWindowCtlr::initUI()
{
    makeToolbar();

    auto* central = new QWidget(mainWindow_);
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    // The drop view stays hidden: files are dropped on the photo list's views.
    dropView_ = new VXCommonView(central);
    dropView_->setEnableDragAndDrop(true);
    dropView_->setWndDelegate(this);

    splitView_ = new DMSplitView(central);
    splitView_->setEventsDelegate(this);
    splitView_->addWidget(makePhotoListPane());
    splitView_->addWidget(makeTabPane());
    splitView_->widget(0)->setMinimumWidth(DMSplitView::kMinimumLeft);
    splitView_->widget(1)->setMinimumWidth(DMSplitView::kMinimumRight);
    splitView_->setStretchFactor(0, 0);
    splitView_->setStretchFactor(1, 1);
    splitView_->setSizes({430, 850});
    centralLayout->addWidget(splitView_);
    mainWindow_->setCentralWidget(central);

    makePresetsPopUp();
    defaultSetting_ = getClearEmptyExifData();
    curExifData_ = defaultSetting_;
    refreshSettingByExifData(defaultSetting_);
    refreshButtonsEnable();

    dropView_->setGeometry(QRect());
    dropView_->hide();
    addTabKeys();
    restoreWindowPlace();
}

void TAVMainWindowCtlr::makeToolbar()
{
    toolbar_ = new QToolBar(QStringLiteral("Toolbar"), mainWindow_);
    toolbar_->setObjectName(QStringLiteral("MainToolbar"));
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setContextMenuPolicy(Qt::PreventContextMenu);
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar_->setIconSize(QSize(32, 32));
    mainWindow_->setContextMenuPolicy(Qt::NoContextMenu);
    mainWindow_->addToolBar(Qt::TopToolBarArea, toolbar_);

    auto add = [this](const QString& identifier, const QString& text, const QString& icon) {
        QAction* action = toolbar_->addAction(TAVToolbarIcons::icon(icon), text);
        action->setObjectName(identifier);
        // Toolbar buttons are for the pointer; the keyboard goes to the list and the tabs.
        toolbar_->widgetForAction(action)->setFocusPolicy(Qt::NoFocus);
        // Connected before the action's own command: the command sees the
        // text still being typed.
        connect(action, &QAction::triggered, this, [this] { commitTypedText(); });
        toolbarActions_.insert(identifier, action);
        return action;
    };
    QAction* view = add(QStringLiteral("View"), QStringLiteral("View"), QStringLiteral("drawer_open"));
    drawerIconName_ = QStringLiteral("drawer_open");
    connect(view, &QAction::triggered, this, [this] { clickTriggerDrawer(); });
    QAction* addFiles = add(QStringLiteral("Add Files"), QStringLiteral("Add Files"), QStringLiteral("Add Files"));
    connect(addFiles, &QAction::triggered, this, [this] { clickAddFiles(); });
    toolbar_->addSeparator();
    for (const QString& identifier : {QStringLiteral("Rename"), QStringLiteral("Replace"), QStringLiteral("Clone"),
             QStringLiteral("Export Exif"), QStringLiteral("Filename to Tags")})
        add(identifier, identifier, identifier);
    connect(toolbarActions_.value(QStringLiteral("Filename to Tags")), &QAction::triggered, this,
        [this] { clickFileNameToTag(); });
    connect(toolbarActions_.value(QStringLiteral("Rename")), &QAction::triggered, this, [this] { clickRenameFiles(); });
    connect(toolbarActions_.value(QStringLiteral("Replace")), &QAction::triggered, this, [this] { clickReplace(); });
    connect(
        toolbarActions_.value(QStringLiteral("Clone")), &QAction::triggered, this, [this] { clickCloneMetadata(); });
    connect(toolbarActions_.value(QStringLiteral("Export Exif")), &QAction::triggered, this,
        [this] { clickExportMetadata(); });
    auto* spacer = new QWidget(toolbar_);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar_->addWidget(spacer);
    QAction* help = add(QStringLiteral("Help"), QStringLiteral("Help"), QStringLiteral("Help"));
    connect(help, &QAction::triggered, this, [this] { clickHelp(); });
}

QWidget* TAVMainWindowCtlr::makePhotoListPane()
{
    photoListBg_ = colouredView(controlColour());
    auto* layout = new QVBoxLayout(photoListBg_);
    layout->setContentsMargins(0, 0, 0, 0);
    photos_ = new TAVPhotosViewCltr(tempSrcPath_, photoListBg_);
    photos_->setCustomDelegate(this);
    layout->addWidget(photos_);
    return photoListBg_;
}

QWidget* TAVMainWindowCtlr::makeTabPane()
{
    auto* pane = new QWidget;
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    makeTabBar();
    layout->addWidget(tabBar_);
    tabArea_ = new VXResizeCallbackView(pane);
    tabArea_->setAutoFillBackground(true);
    QPalette palette = tabArea_->palette();
    palette.setColor(QPalette::Window, controlColour());
    tabArea_->setPalette(palette);
    tabArea_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    layout->addWidget(tabArea_, 1);
    makeTabs();
    connect(tabArea_, &VXResizeCallbackView::resized, this, [this](const QSize&) { centreTabView(tabSelectedView()); });
    layout->addWidget(makeSingleImageArea());
    layout->addWidget(makeBatchArea());
    // Tab 0 is shown from the start.
    tabWillActive(tabBar_->selectedTab());
    return pane;
}

void TAVMainWindowCtlr::makeTabBar()
{
    tabBar_ = new ENTabBarView;
    tabBar_->setDelegate(this);
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPixelSize(12);
    tabBar_->setTabFont(font);
    tabBar_->setBgColor(kGrey60);
    tabBar_->setTabBGColor(kGrey68);
    tabBar_->setTabActivedBGColor(controlColour());
    tabBar_->setTabBorderColor(kGrey53);
    tabBar_->setTabTitleColor(Qt::black);
    tabBar_->setTabActivedTitleColor(Qt::blue);
    tabBar_->setSmallControlColor(kGrey53);
    // The four tabs are fixed: a stray click must not close one, a
    // double-click must not add a tab that has no view.
    tabBar_->setTabsClosable(false);
    tabBar_->setAddsUntitledTabOnDoubleClick(false);
    // Wide enough for all four before they are added, or a tab that does not
    // fit would trade places with the first.
    tabBar_->resize(4 * 180 + 40, tabBar_->sizeHint().height());
    for (const QString& title : tabTitles())
        tabBar_->addTabViewWithTitle(title);
    tabBar_->selectTab(TabSummary);
    tabBar_->redraw();
}

void TAVMainWindowCtlr::makeTabs()
{
    summary_ = new TAVSummaryViewCtlr(tabArea_);
    exposure_ = new TAVExposureViewCtlr(tabArea_);
    detail_ = new TAVDetailViewCtlr(tabArea_);
    // A table of every tag reads best with all the room there is.
    detail_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    gpsPlaceholder_ = new QWidget(tabArea_);
    gpsPlaceholder_->resize(1, 1);
    for (QWidget* view : {static_cast<QWidget*>(summary_), static_cast<QWidget*>(exposure_),
             static_cast<QWidget*>(detail_), gpsPlaceholder_})
        view->hide();
}

QWidget* TAVMainWindowCtlr::makeSingleImageArea()
{
    singleAreaBg_ = colouredView(kGrey60);
    singleAreaBg_->setFixedHeight(44);
    auto* layout = new QHBoxLayout(singleAreaBg_);
    layout->setContentsMargins(12, 6, 12, 6);
    btnPre_ = new QPushButton(QStringLiteral("Previous"), singleAreaBg_);
    btnNext_ = new QPushButton(QStringLiteral("Next"), singleAreaBg_);
    connect(btnPre_, &QPushButton::clicked, this, [this] { clickPre(); });
    connect(btnNext_, &QPushButton::clicked, this, [this] { clickNext(); });
    layout->addWidget(btnPre_);
    layout->addWidget(btnNext_);
    layout->addStretch(1);

    btnClearOne_ = new VXDropDownButton(singleAreaBg_);
    btnClearOne_->setText(QStringLiteral("Clear"));
    btnClearOne_->setToolTip(QStringLiteral("Click to clean selected image's metadata"));
    auto* clearMenu = new QMenu(btnClearOne_);
    clearMenu->setToolTip(QStringLiteral("Click to clean selected image's metadata (Exif, GPS, IPTC)"));
    clearMenu->setToolTipsVisible(true);
    const QStringList kinds{
        QStringLiteral("All"), QStringLiteral("Exif"), QStringLiteral("GPS"), QStringLiteral("IPTC")};
    for (int kind = 0; kind < kinds.size(); ++kind)
        connect(
            clearMenu->addAction(kinds.at(kind)), &QAction::triggered, this, [this, kind] { clickClearKind(kind); });
    btnClearOne_->setMenu(clearMenu);
    btnRestore_ = new VXDropDownButton(singleAreaBg_);
    btnRestore_->setText(QStringLiteral("Restore"));
    btnRestore_->setToolTip(QStringLiteral("Restore selected image's Exif change"));
    btnRestore_->setPopupMode(QToolButton::DelayedPopup);
    btnApply_ = new VXDropDownButton(singleAreaBg_);
    btnApply_->setText(QStringLiteral("Save"));
    btnApply_->setToolTip(QStringLiteral("Apply and save the current setting to selected images immediately"));
    btnApply_->setPopupMode(QToolButton::DelayedPopup);
    connect(btnClearOne_, &QToolButton::clicked, this, [this] { clickClear(); });
    connect(btnRestore_, &QToolButton::clicked, this, [this] { clickRestore(); });
    connect(btnApply_, &QToolButton::clicked, this, [this] { clickSave(); });
    for (QToolButton* button : {static_cast<QToolButton*>(btnClearOne_), static_cast<QToolButton*>(btnRestore_),
             static_cast<QToolButton*>(btnApply_)}) {
        button->setMinimumWidth(84);
        layout->addWidget(button);
    }
    return singleAreaBg_;
}

QWidget* TAVMainWindowCtlr::makeBatchArea()
{
    auto* area = colouredView(controlColour());
    area->setFrameLineColor(kGrey53);
    auto* layout = new QHBoxLayout(area);
    layout->setContentsMargins(16, 6, 16, 6);
    layout->setSpacing(22);

    btnClearAll_ = batchButton(QStringLiteral("ClearAll"), QStringLiteral("Clear All"), area);
    btnClearAllType_ = new QToolButton(area);
    btnClearAllType_->setObjectName(QStringLiteral("ClearAllType"));
    btnClearAllType_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    btnClearAllType_->setArrowType(Qt::DownArrow);
    btnClearAllType_->setAutoRaise(true);
    btnClearAllType_->setFixedSize(16, 36);
    connect(btnClearAllType_, &QToolButton::clicked, this, [this] { clickClearAllType(); });
    auto* clearPair = new QWidget(area);
    auto* pairLayout = new QHBoxLayout(clearPair);
    pairLayout->setContentsMargins(0, 0, 0, 0);
    pairLayout->setSpacing(0);
    pairLayout->addWidget(btnClearAll_);
    pairLayout->addWidget(btnClearAllType_);
    btnRestoreAll_ = batchButton(QStringLiteral("RestoreAll"), QStringLiteral("Restore All"), area);
    btnApplyToAll_ = batchButton(QStringLiteral("ApplyToAll"), QStringLiteral("Apply To All"), area);
    btnBatchSave_ = batchButton(QStringLiteral("BatchSave"), QStringLiteral("Batch Save"), area);
    connect(btnClearAll_, &QToolButton::clicked, this, [this] { clickClearAll(); });
    connect(btnRestoreAll_, &QToolButton::clicked, this, [this] { clickRestoreAll(); });
    connect(btnApplyToAll_, &QToolButton::clicked, this, [this] { clickApplyToAll(); });
    connect(btnBatchSave_, &QToolButton::clicked, this, [this] { clickSaveAll(); });
    btnPresets_ = new QComboBox(area);
    btnPresets_->setObjectName(QStringLiteral("Presets"));
    btnPresets_->setMinimumWidth(150);

    const QList<std::pair<QWidget*, QString>> columns{{clearPair, QStringLiteral("   Clear All")},
        {btnRestoreAll_, QStringLiteral(" Restore All")}, {btnApplyToAll_, QStringLiteral("Apply To All")},
        {btnBatchSave_, QStringLiteral("  Batch Save")}};
    for (const auto& [control, text] : columns) {
        QLabel* label = batchLabel(text, area);
        batchLabels_.append(label);
        layout->addWidget(labelledColumn(control, label, area));
    }
    layout->addStretch(1);
    QLabel* presetsLabel = batchLabel(QStringLiteral("  Presets"), area);
    batchLabels_.append(presetsLabel);
    layout->addWidget(labelledColumn(btnPresets_, presetsLabel, area));
    return area;
}

void TAVMainWindowCtlr::makePresetsPopUp()
{
    presetsModel_ = new QStandardItemModel(btnPresets_);
    btnPresets_->setModel(presetsModel_);
    const QStringList fixed{QStringLiteral("Presets"), QString(), QStringLiteral("Save Preset As..."),
        QStringLiteral("Delete Preset..."), QStringLiteral("Update Presets..."), QStringLiteral("Edit Presets...")};
    for (int tag = 0; tag < fixed.size(); ++tag) {
        auto* item = new QStandardItem(fixed.at(tag));
        item->setData(tag, Qt::UserRole);
        presetsModel_->appendRow(item);
    }
    btnPresets_->setItemData(1, QStringLiteral("separator"), Qt::AccessibleDescriptionRole);
    btnPresets_->setCurrentIndex(0);
    connect(btnPresets_, &QComboBox::activated, this, [this](int index) { clickPresets(index); });
}

void TAVMainWindowCtlr::setGpsTab(TAVBaseTabViewCltr* tab)
{
    const bool shown = tabBar_->selectedTabIndex() == TabGps;
    gps_ = tab;
    if (gps_) {
        gps_->setParent(tabArea_);
        gps_->hide();
        gps_->setImgExifData(curExifData_);
        gps_->setEditEnable(hasImportedImage() && !marySelectedImgs_.isEmpty());
    }
    if (shown)
        tabWillActive(tabBar_->selectedTab());
}

QWidget* TAVMainWindowCtlr::tabViewForIndex(int index) const
{
    switch (index) {
    case TabSummary:
        return summary_;
    case TabExposure:
        return exposure_;
    case TabGps:
        return gps_ ? static_cast<QWidget*>(gps_) : gpsPlaceholder_;
    case TabDetail:
        return detail_;
    default:
        return nullptr;
    }
}

QWidget* TAVMainWindowCtlr::tabSelectedView() const
{
    return tabViewForIndex(tabBar_ ? tabBar_->selectedTabIndex() : -1);
}

// A form keeps the size it asks for (never more than the area has); a view
// that grows in a direction (the detail tab's table) takes the area's extent
// less a margin. Either is centred on whole pixels, so its text stays sharp.
void TAVMainWindowCtlr::centreTabView(QWidget* view)
{
    if (!view || !tabArea_)
        return;
    constexpr int kMargin = 16;
    const QSize area = tabArea_->size();
    QSize hint = view->sizeHint().expandedTo(view->minimumSizeHint());
    if (view->sizePolicy().horizontalPolicy() & QSizePolicy::ExpandFlag)
        hint.setWidth(qMax(hint.width(), area.width() - 2 * kMargin));
    if (view->sizePolicy().verticalPolicy() & QSizePolicy::ExpandFlag)
        hint.setHeight(qMax(hint.height(), area.height() - 2 * kMargin));
    const QSize size(qMin(hint.width(), area.width()), qMin(hint.height(), area.height()));
    view->setGeometry(
        (area.width() - size.width()) / 2, (area.height() - size.height()) / 2, size.width(), size.height());
}

void TAVMainWindowCtlr::tabWillActive(ENTabCell* cell)
{
    if (!cell)
        return;
    qCDebug(lcMainWindow, "Tab will active with title: %s", qUtf8Printable(cell->title()));
    QWidget* view = tabViewForIndex(tabTitles().indexOf(cell->title()));
    if (!view || view->isVisibleTo(tabArea_))
        return;
    commitTypedText();
    centreTabView(view);
    for (QWidget* child : tabArea_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        child->hide();
    view->show();
    view->raise();
    tabArea_->update();
}

void TAVMainWindowCtlr::tabDidActived(ENTabCell* cell)
{
    if (cell)
        qCDebug(lcMainWindow, "Tab did actived with title: %s", qUtf8Printable(cell->title()));
}

void TAVMainWindowCtlr::tabWillClose(ENTabCell* cell)
{
    if (cell)
        qCDebug(lcMainWindow, "Tab will close with title: %s", qUtf8Printable(cell->title()));
}

void TAVMainWindowCtlr::tabDidClosed(ENTabCell* cell)
{
    if (cell)
        qCDebug(lcMainWindow, "Tab did closed with title: %s", qUtf8Printable(cell->title()));
}
