#include "tools/TAVRenameWindowController.h"

#include "tools/TAVRenameFieldTreeModel.h"
#include "tools/TAVRenameRuleListModel.h"
#include "tools/TAVRenameWindowControllerDelegate.h"

#include "commlib/NotLossFoucsSearchField.h"
#include "commlib/VXCommonWindow.h"
#include "commlib/VXKeyPressTableView.h"
#include "foundation/VXFileLocalManager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcRenameSheet, "lumetta.tools.rename")

TAVRenameWindowController::TAVRenameWindowController(
    const TAVImageObjectPtr& demoImage, TAVRenameWindowControllerDelegate* delegate, QObject* parent)
    : VXCommonWindowController(parent)
    , imageObj_(demoImage)
    , delegate_(delegate)
    , rootRuleItems_(TAVRenameEngine::getCanSelectExifTag())
    , treeModel_(new TAVRenameFieldTreeModel(this))
    , ruleListModel_(new TAVRenameRuleListModel(this))
{
    treeModel_->setRoots(rootRuleItems_);
}

TAVRenameWindowController::~TAVRenameWindowController()
{
    // The views call back into this controller (key delegate, event filters,
    // signals): cut those ties before the window and its views go.
    if (!isWindowLoaded()) {
        return;
    }
    QWidget* sheet = window();
    for (QObject* part : sheet->findChildren<QObject*>()) {
        part->removeEventFilter(this);
        disconnect(part, nullptr, this, nullptr);
    }
    rightTableView_->setKeyDelegate(nullptr);
    leftOutlineView_ = nullptr;
    rightTableView_ = nullptr;
    previewTf_ = nullptr;
    delete sheet;
}

// --- Window ---

QWidget* TAVRenameWindowController::makeWindow()
{
    auto* sheet = new VXCommonWindow();
    sheet->setObjectName(QStringLiteral("TAVRenameWindowController"));
    sheet->setWindowTitle(QStringLiteral("Rename"));
    sheet->resize(780, 600);

    auto* lists = new QHBoxLayout();
    lists->addWidget(makeFieldColumn(sheet), 1);
    moveToRightBtn_ = new QPushButton(QStringLiteral("Add \u2192"), sheet);
    moveToRightBtn_->setToolTip(QStringLiteral("Add the chosen field to the end of the rule"));
    moveToRightBtn_->setAutoDefault(false);
    lists->addWidget(moveToRightBtn_, 0, Qt::AlignVCenter);
    lists->addWidget(makeRuleColumn(sheet), 1);

    auto* layout = new QVBoxLayout(sheet);
    layout->addLayout(lists, 1);
    layout->addWidget(makeOptions(sheet));
    layout->addWidget(makeButtonRow(sheet));
    makeHelpPopover(sheet);

    // Escape and the close button cancel like the Cancel button.
    sheet->setRejectHandler([this] { clickCancel(); });
    return sheet;
}

QWidget* TAVRenameWindowController::makeFieldColumn(QWidget* parent)
{
    auto* column = new QWidget(parent);
    searchTextField_ = new NotLossFoucsSearchField(column);
    searchTextField_->setPlaceholderText(QStringLiteral("Search fields"));

    leftOutlineView_ = new QTreeView(column);
    leftOutlineView_->setModel(treeModel_);
    leftOutlineView_->setHeaderHidden(true);
    leftOutlineView_->setSelectionMode(QAbstractItemView::SingleSelection);
    leftOutlineView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A double click adds a field; on a root it only beeps.
    leftOutlineView_->setExpandsOnDoubleClick(false);
    leftOutlineView_->setDragDropMode(QAbstractItemView::DragDrop);
    leftOutlineView_->setDefaultDropAction(Qt::CopyAction);

    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(searchTextField_);
    layout->addWidget(leftOutlineView_, 1);
    return column;
}

QWidget* TAVRenameWindowController::makeRuleColumn(QWidget* parent)
{
    auto* column = new QWidget(parent);
    rightTableView_ = new VXKeyPressTableView(column);
    rightTableView_->setModel(ruleListModel_);
    rightTableView_->setKeyDelegate(this);
    rightTableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    rightTableView_->setSelectionMode(QAbstractItemView::SingleSelection);
    rightTableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rightTableView_->setDragDropMode(QAbstractItemView::DragDrop);
    rightTableView_->setDefaultDropAction(Qt::CopyAction);
    rightTableView_->verticalHeader()->hide();
    rightTableView_->verticalHeader()->setDefaultSectionSize(rightTableView_->fontMetrics().height() + 8);
    rightTableView_->setShowGrid(false);
    rightTableView_->setAlternatingRowColors(true);
    rightTableView_->horizontalHeader()->setStretchLastSection(true);
    rightTableView_->horizontalHeader()->resizeSection(0, 170);

    // The three segments: up, down, remove.
    auto* segmentRow = new QHBoxLayout();
    segmentRow->setSpacing(0);
    const struct {
        Qt::ArrowType arrow;
        const char* text;
        const char* tip;
    } kSegments[] = {{Qt::UpArrow, "", "Move the chosen rule up"}, {Qt::DownArrow, "", "Move the chosen rule down"},
        {Qt::NoArrow, "\u2212", "Remove the chosen rule"}};
    for (int segment = 0; segment < 3; ++segment) {
        auto* button = new QToolButton(column);
        button->setArrowType(kSegments[segment].arrow);
        button->setText(QString::fromUtf8(kSegments[segment].text));
        button->setToolTip(QString::fromUtf8(kSegments[segment].tip));
        button->setObjectName(QStringLiteral("segment%1").arg(segment));
        connect(button, &QToolButton::clicked, this, [this, segment] { clickSegment(segment); });
        segmentRow->addWidget(button);
        segments_.append(button);
    }
    segmentRow->addStretch(1);

    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("Rule:"), column));
    layout->addWidget(rightTableView_, 1);
    layout->addLayout(segmentRow);
    return column;
}

QWidget* TAVRenameWindowController::makeOptions(QWidget* parent)
{
    auto* options = new QWidget(parent);
    customCharacters_ = new QLineEdit(options);
    customCharacters_->setPlaceholderText(QStringLiteral("Text for the Custom Character(s) field"));
    numSeq_ = new QLineEdit(QStringLiteral("1"), options);
    increase_ = new QLineEdit(QStringLiteral("1"), options);
    dateFormat_ = new QComboBox(options);
    dateFormat_->addItems(TAVRenameEngine::dateFormatTitles());
    timeFormat_ = new QComboBox(options);
    timeFormat_->addItems(TAVRenameEngine::timeFormatTitles());
    separatorBtn_ = new QCheckBox(QStringLiteral("Separator:"), options);
    separatorBtn_->setChecked(true);
    separator_ = new QLineEdit(QStringLiteral("_"), options);
    outputPath_ = new QLineEdit(options);
    outputPathBtn_ = new QPushButton(QStringLiteral("Choose\u2026"), options);
    openFolderBtn_ = new QPushButton(QStringLiteral("Open"), options);
    removeOrignailChk_ = new QCheckBox(QStringLiteral("Remove the original files after copying"), options);
    applyToAllBtn_ = new QCheckBox(QStringLiteral("Rename all images, not only the selected ones"), options);
    previewTf_ = new QLineEdit(options);
    previewTf_->setReadOnly(true);
    for (QPushButton* button : {outputPathBtn_, openFolderBtn_}) {
        button->setAutoDefault(false);
    }

    auto* grid = new QGridLayout(options);
    grid->setContentsMargins(0, 0, 0, 0);
    int row = 0;
    grid->addWidget(new QLabel(QStringLiteral("Custom characters:"), options), row, 0);
    grid->addWidget(customCharacters_, row, 1, 1, 3);
    grid->addWidget(separatorBtn_, row, 4);
    grid->addWidget(separator_, row++, 5);
    grid->addWidget(new QLabel(QStringLiteral("Sequence start:"), options), row, 0);
    grid->addWidget(numSeq_, row, 1);
    grid->addWidget(new QLabel(QStringLiteral("Increase by:"), options), row, 2);
    grid->addWidget(increase_, row++, 3);
    grid->addWidget(new QLabel(QStringLiteral("Date format:"), options), row, 0);
    grid->addWidget(dateFormat_, row, 1);
    grid->addWidget(new QLabel(QStringLiteral("Time format:"), options), row, 2);
    grid->addWidget(timeFormat_, row++, 3);
    grid->addWidget(new QLabel(QStringLiteral("Output folder:"), options), row, 0);
    auto* folderRow = new QHBoxLayout();
    folderRow->addWidget(outputPath_, 1);
    folderRow->addWidget(outputPathBtn_);
    folderRow->addWidget(openFolderBtn_);
    grid->addLayout(folderRow, row++, 1, 1, 5);
    grid->addWidget(removeOrignailChk_, row++, 1, 1, 5);
    grid->addWidget(applyToAllBtn_, row++, 1, 1, 5);
    grid->addWidget(new QLabel(QStringLiteral("Preview:"), options), row, 0);
    grid->addWidget(previewTf_, row++, 1, 1, 5);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return options;
}

QWidget* TAVRenameWindowController::makeButtonRow(QWidget* parent)
{
    auto* row = new QWidget(parent);
    helpButton_ = new QPushButton(QStringLiteral("?"), row);
    helpButton_->setToolTip(QStringLiteral("How renaming works"));
    helpButton_->setFixedWidth(helpButton_->sizeHint().height());
    cancelBtn_ = new QPushButton(QStringLiteral("Cancel"), row);
    applyBtn_ = new QPushButton(QStringLiteral("Apply"), row);
    for (QPushButton* button : {helpButton_, cancelBtn_}) {
        button->setAutoDefault(false);
    }
    applyBtn_->setDefault(true);

    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(helpButton_);
    layout->addStretch(1);
    layout->addWidget(cancelBtn_);
    layout->addWidget(applyBtn_);
    return row;
}

void TAVRenameWindowController::connectControls()
{
    connect(moveToRightBtn_, &QPushButton::clicked, this, &TAVRenameWindowController::clickMoveToRight);
    connect(outputPathBtn_, &QPushButton::clicked, this, &TAVRenameWindowController::clickOutputPath);
    connect(openFolderBtn_, &QPushButton::clicked, this, &TAVRenameWindowController::clickOpenFolder);
    connect(helpButton_, &QPushButton::clicked, this, &TAVRenameWindowController::clickRenameHelp);
    connect(cancelBtn_, &QPushButton::clicked, this, &TAVRenameWindowController::clickCancel);
    connect(applyBtn_, &QPushButton::clicked, this, &TAVRenameWindowController::clickApply);
    connect(openInBrowserBtn_, &QPushButton::clicked, this, &TAVRenameWindowController::clickOpenInSafari);
    connect(closePopoverBtn_, &QPushButton::clicked, this, &TAVRenameWindowController::clickClosePopover);
    connect(searchTextField_, &QLineEdit::textChanged, this, &TAVRenameWindowController::textfieldChanged);
    for (QComboBox* popUp : {dateFormat_, timeFormat_}) {
        connect(popUp, &QComboBox::activated, this, &TAVRenameWindowController::datePopClicked);
    }
    for (QLineEdit* box : {customCharacters_, numSeq_, increase_, separator_, outputPath_}) {
        connect(box, &QLineEdit::textChanged, this, &TAVRenameWindowController::controlTextDidChange);
    }
    // The separator's on/off changes the name as much as its text does.
    connect(separatorBtn_, &QCheckBox::toggled, this, &TAVRenameWindowController::updateExample);
    connect(
        leftOutlineView_, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) { doubleClick(index); });
    connect(leftOutlineView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &TAVRenameWindowController::outlineSelectionDidChange);
    leftOutlineView_->installEventFilter(this);
    leftOutlineView_->viewport()->installEventFilter(this);
    rightTableView_->viewport()->installEventFilter(this);
}

void TAVRenameWindowController::windowDidLoad()
{
    connectControls();
    updateSettingEnable();
    outputPath_->setText(VXFileLocalManager::userUiDispAppDirectory(QStringLiteral("Pictures")));
    // The tree has no rows to expand until the view has laid them out.
    QTimer::singleShot(0, this, [this] {
        if (leftOutlineView_ != nullptr) {
            leftOutlineView_->expandAll();
        }
    });
    updateExample();
}

// --- Controls ---

QTreeView* TAVRenameWindowController::leftOutlineView()
{
    window();
    return leftOutlineView_;
}

VXKeyPressTableView* TAVRenameWindowController::rightTableView()
{
    window();
    return rightTableView_;
}

QLineEdit* TAVRenameWindowController::searchTextField()
{
    window();
    return searchTextField_;
}

QLineEdit* TAVRenameWindowController::customCharacters()
{
    window();
    return customCharacters_;
}

QLineEdit* TAVRenameWindowController::numSeq()
{
    window();
    return numSeq_;
}

QLineEdit* TAVRenameWindowController::increase()
{
    window();
    return increase_;
}

QComboBox* TAVRenameWindowController::dateFormat()
{
    window();
    return dateFormat_;
}

QComboBox* TAVRenameWindowController::timeFormat()
{
    window();
    return timeFormat_;
}

QCheckBox* TAVRenameWindowController::separatorBtn()
{
    window();
    return separatorBtn_;
}

QLineEdit* TAVRenameWindowController::separator()
{
    window();
    return separator_;
}

QLineEdit* TAVRenameWindowController::outputPath()
{
    window();
    return outputPath_;
}

QCheckBox* TAVRenameWindowController::removeOrignailChk()
{
    window();
    return removeOrignailChk_;
}

QCheckBox* TAVRenameWindowController::applyToAllBtn()
{
    window();
    return applyToAllBtn_;
}

QLineEdit* TAVRenameWindowController::previewTf()
{
    window();
    return previewTf_;
}

QTextBrowser* TAVRenameWindowController::helpWebView()
{
    window();
    return helpWebView_;
}

QFrame* TAVRenameWindowController::helpPopover()
{
    window();
    return helpPopover_;
}

QPushButton* TAVRenameWindowController::helpButton()
{
    window();
    return helpButton_;
}

bool TAVRenameWindowController::isApplyToAll()
{
    return applyToAllBtn()->isChecked();
}

// --- Options and preview ---

void TAVRenameWindowController::datePopClicked()
{
    updateExample();
}

void TAVRenameWindowController::controlTextDidChange()
{
    updateExample();
}

void TAVRenameWindowController::updateSettingEnable()
{
    for (QWidget* control :
        std::initializer_list<QWidget*>{customCharacters_, numSeq_, increase_, dateFormat_, timeFormat_}) {
        if (control != nullptr) {
            control->setEnabled(true);
        }
    }
}

void TAVRenameWindowController::pushOptionsToEngine()
{
    window();
    engine_.setSeparatorEnabled(separatorBtn_->isChecked());
    engine_.setSeparatorText(separator_->text());
    engine_.setCustomCharacters(customCharacters_->text());
    engine_.setStartText(numSeq_->text());
    engine_.setIncreaseText(increase_->text());
    engine_.setDateFormatIndex(dateFormat_->currentIndex());
    engine_.setTimeFormatIndex(timeFormat_->currentIndex());
}

TAVRenameRootItemPtr TAVRenameWindowController::getherCurrentRenameSetting()
{
    pushOptionsToEngine();
    return engine_.getherCurrentRenameSetting();
}

void TAVRenameWindowController::updateExample()
{
    if (previewTf_ == nullptr) {
        return; // nothing shows a preview before the window is made
    }
    const TAVRenameRootItemPtr setting = getherCurrentRenameSetting();
    const QString name = imageObj_ ? engine_.getRenamedNameString(imageObj_.get(), setting, 0) : QString();
    previewTf_->setText(name.isNull() ? QStringLiteral("") : name);
}
