#include "tools/TAVClonWindowController.h"

#include "tools/TAVClonMetadataModel.h"
#include "tools/TAVClonWindowControllerDelegate.h"
#include "tools/TAVSheetTableLook.h"

#include "commlib/VXCommonView.h"
#include "commlib/VXCommonWindow.h"

#include "foundation/FileServices.h"
#include "foundation/TextServices.h"
#include "foundation/UiServices.h"
#include "foundation/Utils.h"
#include "foundation/Workspace.h"
#include "gps/FDStaticMapView.h"
#include "models/values/FDNumberDataBit.h"
#include "views/GSGroupedTableView.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kMapWidth = 240;
constexpr int kMapHeight = 170;
constexpr int kTagColumnWidth = 300;

const QString kLatitude = QStringLiteral("Exif.GPSInfo.GPSLatitude");
const QString kLongitude = QStringLiteral("Exif.GPSInfo.GPSLongitude");
const QString kLatitudeRef = QStringLiteral("Exif.GPSInfo.GPSLatitudeRef");
const QString kLongitudeRef = QStringLiteral("Exif.GPSInfo.GPSLongitudeRef");

QString valueText(const FDMetadataContainer& metadata, const QString& key)
{
    const FDDataBitPtr value = metadata.valueForKey(key);
    return value ? value->description() : QString();
}

// Degrees, minutes and seconds as a coordinate; nothing unless the value is
// a list of exactly three numbers. Single precision, as the map is asked.
std::optional<float> coordinateOf(const FDDataBitPtr& value)
{
    if (!value || value->kind() != FDDataBit::Kind::Number) {
        return std::nullopt;
    }
    const QList<float>& parts = static_cast<const FDNumberDataBit&>(*value).values();
    if (parts.size() != 3) {
        return std::nullopt;
    }
    return parts.at(0) + parts.at(1) / 60.0f + parts.at(2) / 3600.0f;
}

QLabel* makeLabel(QWidget* parent, const QString& name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

TAVClonWindowController::TAVClonWindowController(TAVClonWindowControllerDelegate* delegate, QObject* parent)
    : VXCommonWindowController(parent)
    , delegete_(delegate)
{
    model_ = new TAVClonMetadataModel(this);
}

TAVClonWindowController::~TAVClonWindowController()
{
    if (dropView_ != nullptr) {
        dropView_->setWndDelegate(nullptr);
    }
}

const QStringList& TAVClonWindowController::cameraDetailKeys()
{
    static const QStringList keys{QStringLiteral("Exif.Image.Model"), QStringLiteral("Exif.Image.DateTime"),
        QStringLiteral("Exif.Photo.LensModel"), QStringLiteral("Exif.Image.Artist")};
    return keys;
}

// ---------------------------------------------------------------- window

QWidget* TAVClonWindowController::makeWindow()
{
    auto* sheet = new VXCommonWindow();
    sheet->setWindowTitle(tr("Clone Metadata"));
    sheet->resize(780, 600);

    QWidget* preview = buildPreview(sheet);
    buildTable(sheet);

    applyToAll_ = new QCheckBox(tr("Apply to all images"), sheet);
    applyToAll_->setObjectName(QStringLiteral("applyToAll"));
    cancelBtn_ = new QPushButton(tr("Cancel"), sheet);
    cancelBtn_->setAutoDefault(false);
    cloneBtn_ = new QPushButton(tr("Clone"), sheet);
    cloneBtn_->setObjectName(QStringLiteral("cloneBtn"));
    cloneBtn_->setDefault(true);

    auto* buttonRow = new QHBoxLayout();
    buttonRow->addWidget(applyToAll_);
    buttonRow->addStretch(1);
    buttonRow->addWidget(cancelBtn_);
    buttonRow->addWidget(cloneBtn_);
    auto* layout = new QVBoxLayout(sheet);
    layout->addWidget(preview);
    layout->addWidget(tableView_, 1);
    layout->addLayout(buttonRow);

    connect(openBtn_, &QPushButton::clicked, this, [this] { clickOpenFile(); });
    connect(cloneBtn_, &QPushButton::clicked, this, [this] { clickClone(); });
    connect(cancelBtn_, &QPushButton::clicked, this, [this] { clickCancel(); });
    sheet->setRejectHandler([this] { clickCancel(); });
    return sheet;
}

QWidget* TAVClonWindowController::buildPreview(QWidget* sheet)
{
    dropView_ = new VXCommonView(sheet);
    dropView_->setObjectName(QStringLiteral("dropView"));
    dropView_->setEnableDragAndDrop(true);
    dropView_->setWndDelegate(this);
    dropView_->setToolTip(tr("Drop the source image here"));

    thumbnailView_ = new QLabel(dropView_);
    thumbnailView_->setObjectName(QStringLiteral("thumbnailView"));
    thumbnailView_->setFixedSize(kThumbnailSize, kThumbnailSize);
    thumbnailView_->setAlignment(Qt::AlignCenter);
    // A sunken well: where the source's icon shows and files may be dropped.
    thumbnailView_->setFrameShape(QFrame::StyledPanel);
    thumbnailView_->setFrameShadow(QFrame::Sunken);
    filenameLabel_ = makeLabel(dropView_, QStringLiteral("filenameLabel"));
    QFont bold = filenameLabel_->font();
    bold.setBold(true);
    filenameLabel_->setFont(bold);
    filesizeLabel_ = makeLabel(dropView_, QStringLiteral("filesizeLabel"));
    info1Label_ = makeLabel(dropView_, QStringLiteral("info1Label"));
    info2Label_ = makeLabel(dropView_, QStringLiteral("info2Label"));
    info3Label_ = makeLabel(dropView_, QStringLiteral("info3Label"));
    openBtn_ = new QPushButton(tr("Choose Source..."), dropView_);
    openBtn_->setObjectName(QStringLiteral("openBtn"));
    openBtn_->setAutoDefault(false);
    mapView_ = new FDStaticMapView(dropView_);
    mapView_->setObjectName(QStringLiteral("mapView"));
    mapView_->setFixedSize(kMapWidth, kMapHeight);

    auto* details = new QVBoxLayout();
    for (QWidget* line : {static_cast<QWidget*>(filenameLabel_), static_cast<QWidget*>(filesizeLabel_),
             static_cast<QWidget*>(info1Label_), static_cast<QWidget*>(info2Label_),
             static_cast<QWidget*>(info3Label_)}) {
        details->addWidget(line);
    }
    details->addStretch(1);
    details->addWidget(openBtn_, 0, Qt::AlignLeft);
    auto* row = new QHBoxLayout(dropView_);
    row->addWidget(thumbnailView_, 0, Qt::AlignTop);
    row->addLayout(details, 1);
    row->addWidget(mapView_, 0, Qt::AlignTop);
    return dropView_;
}

void TAVClonWindowController::buildTable(QWidget* sheet)
{
    tableView_ = new GSGroupedTableView(sheet);
    tableView_->setObjectName(QStringLiteral("tableView"));
    // No sticky-row delegate: the source's keys have no group rows.
    tableView_->setModel(model_);
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TAVSheetTableLook::apply(tableView_);
    tableView_->setColumnWidth(0, kTagColumnWidth);
}

void TAVClonWindowController::windowDidLoad()
{
    resetView();
}

void TAVClonWindowController::resetView()
{
    thumbnailView_->clear();
    for (QLabel* label : {filenameLabel_, filesizeLabel_, info1Label_, info2Label_, info3Label_}) {
        label->clear();
    }
    mapView_->hideMap(false);
}

QLabel* TAVClonWindowController::thumbnailView()
{
    window();
    return thumbnailView_;
}

QLabel* TAVClonWindowController::filenameLabel()
{
    window();
    return filenameLabel_;
}

QLabel* TAVClonWindowController::filesizeLabel()
{
    window();
    return filesizeLabel_;
}

QLabel* TAVClonWindowController::info1Label()
{
    window();
    return info1Label_;
}

QLabel* TAVClonWindowController::info2Label()
{
    window();
    return info2Label_;
}

QLabel* TAVClonWindowController::info3Label()
{
    window();
    return info3Label_;
}

FDStaticMapView* TAVClonWindowController::mapView()
{
    window();
    return mapView_;
}

GSGroupedTableView* TAVClonWindowController::tableView()
{
    window();
    return tableView_;
}

VXCommonView* TAVClonWindowController::dropView()
{
    window();
    return dropView_;
}

QCheckBox* TAVClonWindowController::applyToAll()
{
    window();
    return applyToAll_;
}

QPushButton* TAVClonWindowController::openBtn()
{
    window();
    return openBtn_;
}

QPushButton* TAVClonWindowController::cloneBtn()
{
    window();
    return cloneBtn_;
}

QPushButton* TAVClonWindowController::cancelBtn()
{
    window();
    return cancelBtn_;
}

// ---------------------------------------------------------------- source

void TAVClonWindowController::clickOpenFile()
{
    UiServices::OpenPanelRequest request;
    request.chooseFiles = true;
    request.chooseFolders = false;
    request.allowsMultipleSelection = false;
    request.parent = window();
    const QStringList paths = UiServices::shared()->runOpenPanel(request);
    if (!paths.isEmpty()) {
        doImportFile(QUrl::fromLocalFile(paths.first()));
    }
}

bool TAVClonWindowController::didWindowAccepteDragFiles(QWidget* window, const QStringList& paths)
{
    (void)window;
    const QStringList supported = Utils::supportFileTypes();
    for (const QString& path : paths) {
        if (FileServices::isFolder(path) || supported.contains(QFileInfo(path).suffix().toLower())) {
            return doImportFile(QUrl::fromLocalFile(path));
        }
    }
    return false;
}

bool TAVClonWindowController::doImportFile(const QUrl& url)
{
    if (url.isEmpty() || !url.isLocalFile()) {
        return false;
    }
    if (openMetadataForFile(url.toLocalFile())) {
        model_->setMetadata(metadata_, mVaildData_);
        return true;
    }
    // The table keeps its keys; without metadata their values show empty.
    model_->setMetadata(nullptr);
    UiServices::shared()->showTipsAlert(QStringLiteral("Error"),
        QStringLiteral("Could not read metadata.Either the file is corrupted or does not contain any supported "
                       "metadata format."),
        QStringLiteral("Dismiss"), QString(), window());
    return false;
}

bool TAVClonWindowController::openMetadataForFile(const QString& path)
{
    window();
    metadata_ = FDMetadataContainer::metadataForImageAtPath(path);
    if (!metadata_) {
        return false;
    }
    fileURL_ = QUrl::fromLocalFile(path);
    mVaildData_.clear();
    for (const QString& key : metadata_->allKeys()) {
        if (metadata_->valueForKey(key)) {
            mVaildData_.append(key);
        }
    }
    presentThumbnail(path);
    presentFileInfo(path);
    presentCurrentMetadata();
    presentGPSInfo();
    return true;
}

// ---------------------------------------------------------------- preview

void TAVClonWindowController::presentThumbnail(const QString& path)
{
    Workspace* workspace = Workspace::shared();
    const QIcon icon = workspace != nullptr ? workspace->iconForFile(path) : QIcon();
    thumbnailView_->setPixmap(icon.pixmap(kThumbnailSize, kThumbnailSize));
}

void TAVClonWindowController::presentFileInfo(const QString& path)
{
    filenameLabel_->setText(QFileInfo(path).fileName());
    filesizeLabel_->setText(TextServices::sizeStringWithBytes(FileServices::fileSize(path)));
}

void TAVClonWindowController::presentCurrentMetadata()
{
    info1Label_->clear();
    info2Label_->clear();
    info3Label_->clear();
    QLabel* const lines[] = {info1Label_, info2Label_};
    int filled = 0;
    for (const QString& key : cameraDetailKeys()) {
        if (filled == 2) {
            break;
        }
        if (const FDDataBitPtr value = metadata_->valueForKey(key)) {
            lines[filled++]->setText(value->description());
        }
    }
    // The exposure line shows only under two camera lines.
    if (filled < 2) {
        return;
    }
    QString exposure;
    if (metadata_->valueForKey(QStringLiteral("Exif.Photo.FNumber"))) {
        exposure += QStringLiteral("f/%1").arg(valueText(*metadata_, QStringLiteral("Exif.Photo.FNumber")));
    }
    if (metadata_->valueForKey(QStringLiteral("Exif.Photo.FocalLength"))) {
        exposure += QStringLiteral(", %1mm").arg(valueText(*metadata_, QStringLiteral("Exif.Photo.FocalLength")));
    }
    if (metadata_->valueForKey(QStringLiteral("Exif.Photo.ISOSpeedRatings"))) {
        exposure += QStringLiteral(", ISO%1").arg(valueText(*metadata_, QStringLiteral("Exif.Photo.ISOSpeedRatings")));
    }
    if (!exposure.isEmpty()) {
        info3Label_->setText(exposure);
    }
}

void TAVClonWindowController::presentGPSInfo()
{
    const FDDataBitPtr latitudeRef = metadata_->valueForKey(kLatitudeRef);
    const FDDataBitPtr longitudeRef = metadata_->valueForKey(kLongitudeRef);
    std::optional<float> latitude = coordinateOf(metadata_->valueForKey(kLatitude));
    std::optional<float> longitude = coordinateOf(metadata_->valueForKey(kLongitude));
    if (!latitudeRef || !longitudeRef || !latitude || !longitude) {
        mapView_->setHidden(true);
        return;
    }
    if (latitudeRef->description() == QLatin1String("S")) {
        *latitude = -*latitude;
    }
    if (longitudeRef->description() == QLatin1String("W")) {
        *longitude = -*longitude;
    }
    mapView_->setHidden(false);
    mapView_->setMapViewCenter(QPointF(*latitude, *longitude), true);
}

// ---------------------------------------------------------------- clone

void TAVClonWindowController::tellNoSourceChosen()
{
    UiServices::shared()->showTipsAlert(QStringLiteral("No source chosen"),
        QStringLiteral("Choose the photo whose metadata is to be cloned first: click Choose Source... or drop the "
                       "photo on this sheet."),
        QStringLiteral("OK"), QString(), window());
}

QString TAVClonWindowController::unreadableXmpNote() const
{
    // The library reads none of such a packet, so the clone could only
    // leave the targets without XMP: said before, with Cancel the default.
    if (!metadata_ || !metadata_->xmpUndecodable()) {
        return QString();
    }
    return QStringLiteral(" The XMP metadata of %1 cannot be read and will not be cloned: the photos' own XMP is "
                          "removed and none of %1's (the title, creator, rating or position kept there) takes its "
                          "place.")
        .arg(sourceName());
}

bool TAVClonWindowController::confirmDiscardingUnsavedChanges()
{
    UiServices::AlertRequest question;
    question.title = QStringLiteral("Discard the unsaved changes and clone?");
    question.message = QStringLiteral("Some of the photos to be cloned onto have changes that are not saved. The clone "
                                      "writes the metadata of %1 into their files and the changes are lost.")
                           .arg(sourceName())
        + unreadableXmpNote();
    question.buttons = {QStringLiteral("Cancel"), QStringLiteral("Discard and Clone")};
    question.parent = window();
    return UiServices::shared()->runAlert(question) == UiServices::SecondButton;
}

bool TAVClonWindowController::confirmClone(bool allImages)
{
    const bool unsaved = delegete_->hasUnsaveModified(allImages);
    if (unsaved && !confirmDiscardingUnsavedChanges()) {
        return false;
    }
    // The clone writes the files at once: unlike an edit, no save is left to
    // change one's mind.
    const QString consequence
        = unreadableXmpNote() + QStringLiteral(" The files are written at once; this cannot be undone.");
    if (allImages) {
        // The whole list may hold photos its search hides: the question counts them.
        return delegete_->confirmWholeListChange(
            QStringLiteral("Clone the metadata of %1 onto every photo in the list?").arg(sourceName()),
            QStringLiteral("This writes the metadata of the source photo into the files of %1."),
            QStringLiteral("Clone"), consequence);
    }
    if (unsaved) {
        return true; // the photos are in sight and the user just answered
    }
    UiServices::AlertRequest question;
    question.title = QStringLiteral("Clone the metadata of %1 onto the selected photos?").arg(sourceName());
    question.message
        = QStringLiteral("This writes the metadata of the source photo into the files of the selected photos.")
        + consequence;
    question.buttons = {QStringLiteral("Clone"), QStringLiteral("Cancel")};
    question.defaultButton = 1;
    question.parent = window();
    return UiServices::shared()->runAlert(question) == UiServices::FirstButton;
}

QString TAVClonWindowController::sourceName() const
{
    return QFileInfo(fileURL_.toLocalFile()).fileName();
}

void TAVClonWindowController::clickClone()
{
    // Asking "are you sure" first would only lead to a failure.
    if (!metadata_) {
        tellNoSourceChosen();
        return;
    }
    const bool allImages = applyToAll()->isChecked();
    if (delegete_ != nullptr && confirmClone(allImages)) {
        const std::optional<QList<TAVImageObjectPtr>> targets
            = delegete_->didCloneWindowControllerAskForApplyImage(allImages);
        if (targets && !targets->isEmpty()) {
            QList<TAVImageObjectPtr> cloned;
            doClone(*targets, &cloned);
            // Also after a failure: a written target's working copy is stale
            // until it is imported again, and its next save would undo the clone.
            if (!cloned.isEmpty()) {
                delegete_->didCloneWindowControllerFinishClone(cloned);
            }
        }
    }
    endSheetOfSelfWindow();
}

void TAVClonWindowController::clickCancel()
{
    endSheetOfSelfWindow();
}

bool TAVClonWindowController::doClone(const QList<TAVImageObjectPtr>& targets, QList<TAVImageObjectPtr>* cloned)
{
    QStringList failures;
    const QString source = fileURL_.toLocalFile();
    for (const TAVImageObjectPtr& target : targets) {
        if (!target) {
            failures.append(QStringLiteral("A photo of the list is missing"));
            continue;
        }
        const QString name = QFileInfo(target->srcPath()).fileName();
        const QString reason = cloneOnto(*target, source);
        if (!reason.isNull()) {
            failures.append(QStringLiteral("%1: %2").arg(name, reason));
            continue;
        }
        if (cloned != nullptr) {
            cloned->append(target);
        }
    }
    showCloneResult(failures, targets.size());
    return failures.isEmpty();
}

QString TAVClonWindowController::cloneOnto(const TAVImageObject& target, const QString& source)
{
    // Without metadata (none read, or the last read failed) there is nothing
    // to compare with or to write.
    if (!metadata_) {
        return QStringLiteral("No source was read");
    }
    // What another program wrote since the import is refused as a save
    // refuses it, with the save's reason.
    const QString changed = target.userFileChangeSinceImport();
    if (!changed.isEmpty()) {
        return changed;
    }
    const QString path = target.srcPath();
    if (FileServices::contentsEqual(path, source)) {
        return QString();
    }
    if (!metadata_->saveMetadataToFileAtPath(path, &target.srcIdentity())) {
        const QString changedMeanwhile = target.userFileChangeSinceImport();
        return changedMeanwhile.isEmpty() ? QStringLiteral("The metadata could not be written") : changedMeanwhile;
    }
    return QString();
}

void TAVClonWindowController::showCloneResult(const QStringList& failures, qsizetype count)
{
    UiServices* ui = UiServices::shared();
    if (!failures.isEmpty()) {
        ui->showTipsAlert(QStringLiteral("Errors"),
            QStringLiteral("Some error occurred when attempting to clone metadata; these files were left as they "
                           "were:\n")
                + failures.join(QLatin1Char('\n')),
            QStringLiteral("Dismiss"), QString(), window());
        return;
    }
    const QString files = QStringLiteral("%1 file%2").arg(count).arg(count >= 2 ? QStringLiteral("s") : QString());
    ui->showInformation(QStringLiteral("Metadata cloned"),
        metadata_ && metadata_->xmpUndecodable()
            ? QStringLiteral("The metadata was cloned to %1 without the XMP metadata of %2, which cannot be read")
                  .arg(files, sourceName())
            : QStringLiteral("The metadata was successfully cloned to %1").arg(files),
        QStringLiteral("Dismiss"), window());
}
