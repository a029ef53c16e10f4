#include "tools/TAVExportWindowController.h"

#include "tools/TAVExportCallbackTarget.h"
#include "tools/TAVFiltExportFieldsWndCtlr.h"

#include "commlib/VXCommonWindow.h"

#include "foundation/UiServices.h"
#include "foundation/UserDefaults.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int32_t kCustomOnly = 16;
constexpr int32_t kThumbnailOnly = 8;
constexpr int kCountPixelSize = 15;

UserDefaults& defaults()
{
    return UserDefaults::standard();
}

} // namespace

const QString TAVExportWindowController::kExportExifKey = QStringLiteral("com.tavilo.exportexif");
const QString TAVExportWindowController::kExportXmpKey = QStringLiteral("com.tavilo.exportxmp");
const QString TAVExportWindowController::kExportThumbKey = QStringLiteral("com.tavilo.exportthumb");
const QString TAVExportWindowController::kCustomKey = QStringLiteral("com.tavilo.custom");
const QString TAVExportWindowController::kExportCVSKey = QStringLiteral("com.tavilo.exportCVS");
const QString TAVExportWindowController::kOneFileOneLineKey = QStringLiteral("com.tavilo.oneFileOneLine");

TAVExportWindowController::TAVExportWindowController(QObject* parent)
    : VXCommonWindowController(parent)
{
    defaults().registerDefaults({
        {kExportExifKey, true},
        {kExportXmpKey, true},
        {kExportThumbKey, true},
        {kCustomKey, false},
        {kExportCVSKey, false},
        {kOneFileOneLineKey, false},
    });
    // The custom keys are never stored, so the custom choice must not
    // outlive them into the next launch.
    defaults().setBool(false, kCustomKey);
}

TAVExportWindowController::~TAVExportWindowController() = default;

void TAVExportWindowController::setupCallbackTarget(
    TAVExportCallbackTarget* target, uint64_t count, const TAVExifDataPtr& record)
{
    callbackTarget_ = target;
    count_ = count;
    exifData_ = record;
    // The first opening finds no window yet: windowDidLoad refreshes it.
    if (isWindowLoaded()) {
        updateTopTips();
        updateExportButtonState();
    }
}

QWidget* TAVExportWindowController::makeWindow()
{
    auto* sheet = new VXCommonWindow();
    sheet->setWindowTitle(tr("Export"));

    titleLabel_ = new QLabel(sheet);
    titleLabel_->setObjectName(QStringLiteral("titleLabel"));
    titleLabel_->setTextFormat(Qt::RichText);
    titleLabel_->setAlignment(Qt::AlignCenter);

    exportPath_ = new QLineEdit(sheet);
    exportPath_->setObjectName(QStringLiteral("exportPath"));
    exportPath_->setPlaceholderText(tr("Output folder"));
    exportPath_->setMinimumWidth(320);
    chooseFolderBtn_ = new QPushButton(tr("Choose..."), sheet);
    chooseFolderBtn_->setAutoDefault(false);
    cancelBtn_ = new QPushButton(tr("Cancel"), sheet);
    cancelBtn_->setAutoDefault(false);
    exportBtn_ = new QPushButton(tr("Export"), sheet);
    exportBtn_->setDefault(true);

    auto* pathRow = new QHBoxLayout();
    pathRow->addWidget(new QLabel(tr("Export to:"), sheet));
    pathRow->addWidget(exportPath_, 1);
    pathRow->addWidget(chooseFolderBtn_);
    auto* buttonRow = new QHBoxLayout();
    buttonRow->addStretch(1);
    buttonRow->addWidget(cancelBtn_);
    buttonRow->addWidget(exportBtn_);
    auto* layout = new QVBoxLayout(sheet);
    layout->addWidget(titleLabel_);
    layout->addWidget(buildChoices(sheet));
    layout->addLayout(pathRow);
    layout->addLayout(buttonRow);

    connect(chooseFolderBtn_, &QPushButton::clicked, this, [this] { clickOpenFile(); });
    connect(exportBtn_, &QPushButton::clicked, this, [this] { clickExport(); });
    connect(cancelBtn_, &QPushButton::clicked, this, [this] { clickCanel(); });
    connect(settingCustom_, &QPushButton::clicked, this, [this] { clickCustomChooseExport(); });
    for (QCheckBox* box : {exifChk_, xmpChk_, thumbChk_, customChk_, cvsChk_, oneFileOneLineChk_}) {
        connect(box, &QCheckBox::clicked, this, [this, box] { clickExportCheckBox(box); });
    }
    sheet->setRejectHandler([this] { clickCanel(); });
    return sheet;
}

QWidget* TAVExportWindowController::buildChoices(QWidget* sheet)
{
    auto makeBox = [sheet](const QString& title, const char* name) {
        auto* box = new QCheckBox(title, sheet);
        box->setObjectName(QString::fromLatin1(name));
        return box;
    };
    exifChk_ = makeBox(tr("EXIF"), "exifChk");
    xmpChk_ = makeBox(tr("XMP"), "xmpChk");
    thumbChk_ = makeBox(tr("Thumbnail"), "thumbChk");
    customChk_ = makeBox(tr("Custom fields"), "customChk");
    settingCustom_ = new QPushButton(tr("Choose Fields..."), sheet);
    settingCustom_->setObjectName(QStringLiteral("settingCustom"));
    settingCustom_->setAutoDefault(false);
    cvsChk_ = makeBox(tr("Also export CSV tables"), "cvsChk");
    oneFileOneLineChk_ = makeBox(tr("One line per image"), "oneFileOneLineChk");
    exportInOneFileChk_ = makeBox(tr("Merge all images into one file"), "exportInOneFileChk");
    // The merge box has no stored default: it starts off.
    exportInOneFileChk_->setChecked(false);

    auto* group = new QGroupBox(tr("Export"), sheet);
    auto* grid = new QGridLayout(group);
    grid->addWidget(exifChk_, 0, 0);
    grid->addWidget(xmpChk_, 0, 1);
    grid->addWidget(thumbChk_, 0, 2);
    grid->addWidget(customChk_, 1, 0);
    grid->addWidget(settingCustom_, 1, 1, 1, 2, Qt::AlignLeft);
    grid->addWidget(cvsChk_, 2, 0, 1, 3);
    // The two layout boxes sit under the CSV box they depend on.
    auto* csvOptions = new QVBoxLayout();
    csvOptions->setContentsMargins(24, 0, 0, 0);
    csvOptions->addWidget(oneFileOneLineChk_);
    csvOptions->addWidget(exportInOneFileChk_);
    grid->addLayout(csvOptions, 3, 0, 1, 3);
    return group;
}

void TAVExportWindowController::windowDidLoad()
{
    updateTopTips();
    updateExportButtonState();
}

void TAVExportWindowController::updateExportButtonState()
{
    exifChk()->setChecked(defaults().boolForKey(kExportExifKey));
    xmpChk()->setChecked(defaults().boolForKey(kExportXmpKey));
    thumbChk()->setChecked(defaults().boolForKey(kExportThumbKey));
    customChk()->setChecked(defaults().boolForKey(kCustomKey));
    oneFileOneLineChk()->setChecked(defaults().boolForKey(kOneFileOneLineKey));
    cvsChk()->setChecked(defaults().boolForKey(kExportCVSKey));
    settingCustom()->setEnabled(defaults().boolForKey(kCustomKey));
    exportInOneFileChk()->setEnabled(defaults().boolForKey(kExportCVSKey));
    updateCVSEnable();
}

void TAVExportWindowController::updateCVSEnable()
{
    cvsChk()->setEnabled(getExportType() != kThumbnailOnly);
    const bool csvOn = cvsChk()->isEnabled() && cvsChk()->isChecked();
    oneFileOneLineChk()->setEnabled(csvOn);
    exportInOneFileChk()->setEnabled(csvOn);
}

void TAVExportWindowController::updateTopTips()
{
    const QString text = tr("You have selected %1 image(s) to export").arg(count_);
    const QString digits = QString::number(count_);
    const qsizetype at = text.indexOf(digits);
    QString html;
    if (at < 0) {
        html = text.toHtmlEscaped();
    } else {
        html = text.left(at).toHtmlEscaped()
            + QStringLiteral("<span style=\"color:#ff0000; font-size:%1px;\">%2</span>")
                  .arg(kCountPixelSize)
                  .arg(digits)
            + text.mid(at + digits.size()).toHtmlEscaped();
    }
    titleLabel()->setText(QStringLiteral("<div align=\"center\">%1</div>").arg(html));
}

void TAVExportWindowController::flip(const QString& key)
{
    defaults().setBool(!defaults().boolForKey(key), key);
}

void TAVExportWindowController::clickExportCheckBox(QCheckBox* sender)
{
    if (sender == exifChk() || sender == xmpChk() || sender == thumbChk()) {
        const QString key = sender == exifChk() ? kExportExifKey : sender == xmpChk() ? kExportXmpKey : kExportThumbKey;
        flip(key);
        sender->setChecked(defaults().boolForKey(key));
        customChk()->setChecked(false);
        settingCustom()->setEnabled(false);
        defaults().setBool(false, kCustomKey);
    } else if (sender == customChk()) {
        for (QCheckBox* box : {exifChk(), xmpChk(), thumbChk()}) {
            box->setChecked(false);
        }
        for (const QString& key : {kExportExifKey, kExportXmpKey, kExportThumbKey}) {
            defaults().setBool(false, key);
        }
        const bool wasOn = defaults().boolForKey(kCustomKey);
        flip(kCustomKey);
        customChk()->setChecked(!wasOn);
        settingCustom()->setEnabled(customChk()->isChecked());
        if (!wasOn) {
            clickCustomChooseExport();
        }
    } else if (sender == oneFileOneLineChk()) {
        flip(kOneFileOneLineKey);
    } else if (sender == cvsChk()) {
        flip(kExportCVSKey);
        const bool csvOn = cvsChk()->isEnabled() && cvsChk()->isChecked();
        oneFileOneLineChk()->setEnabled(csvOn);
        exportInOneFileChk()->setEnabled(csvOn);
    }
    updateCVSEnable();
}

void TAVExportWindowController::clickCustomChooseExport()
{
    if (filterCtlr_ == nullptr) {
        filterCtlr_ = new TAVFiltExportFieldsWndCtlr(this);
    }
    filterCtlr_->setImgExifData(exifData_, customSelectEntities_);
    filterCtlr_->setApplyBlock([this](const QStringList& keys) { applyCustomKeys(keys); });
    showModeWindow(filterCtlr_->window());
}

void TAVExportWindowController::applyCustomKeys(const QStringList& keys)
{
    if (!keys.isEmpty()) {
        customSelectEntities_ = keys;
        return;
    }
    // Nothing chosen: custom is off again and, with the families still off,
    // the user has to choose a format before exporting.
    defaults().setBool(false, kCustomKey);
    customChk()->setChecked(false);
    settingCustom()->setEnabled(false);
}

void TAVExportWindowController::clickOpenFile()
{
    UiServices* ui = UiServices::shared();
    if (ui == nullptr) {
        return;
    }
    const QStringList chosen = ui->chooseFolder(tr("Choose the output folder"), window());
    if (!chosen.isEmpty()) {
        exportPath()->setText(chosen.first());
    }
}

void TAVExportWindowController::alert(const QString& title, const QString& message, QObject* parent)
{
    if (UiServices* ui = UiServices::shared()) {
        ui->showTipsAlert(title, message, tr("OK"), QString(), parent);
    }
}

void TAVExportWindowController::clickExport()
{
    const QString path = exportPath()->text();
    if (path.isEmpty()) {
        alert(tr("Error"), tr("Please set the output path and try again."), window());
        return;
    }
    if (!checkExportChoose()) {
        alert(tr("Error"), tr("Please choose the export format (one format required at least)"), window());
        return;
    }
    const int32_t type = getExportType();
    const bool cvs = cvsChk()->isEnabled() && checkExportCVS();
    const std::optional<QStringList> keys
        = type == kCustomOnly ? std::optional<QStringList>(customSelectEntities_) : std::nullopt;
    TAVExportCallbackTarget::Outcome outcome;
    // The target may let go of this sheet while it exports.
    const QPointer<TAVExportWindowController> self(this);
    if (callbackTarget_ != nullptr) {
        callbackTarget_->exportExif(
            type, cvs, path, oneFileOneLineChk()->isChecked(), exportInOneFileChk()->isChecked(), keys, outcome);
    }
    if (!self) {
        return;
    }
    // Cancelled at the question about files already there: the sheet stays
    // for another folder or other choices.
    if (outcome.cancelled) {
        return;
    }
    tellOutcome(outcome, path);
    endSheetOfSelfWindow();
}

void TAVExportWindowController::tellOutcome(const TAVExportCallbackTarget::Outcome& outcome, const QString& path)
{
    UiServices* ui = UiServices::shared();
    if (ui == nullptr || (outcome.failures.isEmpty() && outcome.written.isEmpty())) {
        return;
    }
    QString written;
    if (!outcome.written.isEmpty()) {
        written
            = (outcome.written.size() == 1 ? tr("1 file written into \"%1\":").arg(path)
                                           : tr("%1 files written into \"%2\":").arg(outcome.written.size()).arg(path))
            + QLatin1Char('\n') + outcome.written.join(QLatin1Char('\n'));
    }
    UiServices::AlertRequest alert;
    alert.buttons = {tr("OK")};
    alert.parent = window();
    if (outcome.failures.isEmpty()) {
        alert.title = tr("Export finished");
        alert.message = written;
        alert.style = UiServices::AlertStyle::Informational;
    } else {
        QStringList lines;
        for (const TAVExportCallbackTarget::Failure& failure : outcome.failures) {
            lines.append(QStringLiteral("%1: %2").arg(failure.file, failure.reason));
        }
        alert.title = tr("Errors");
        alert.message
            = lines.join(QLatin1Char('\n')) + (written.isEmpty() ? QString() : QStringLiteral("\n\n") + written);
    }
    ui->runAlert(alert);
}

void TAVExportWindowController::clickCanel()
{
    endSheetOfSelfWindow();
}

bool TAVExportWindowController::checkExportChoose()
{
    for (int32_t index = 0; index < 4; ++index) {
        if (isSwithValue(index)) {
            return true;
        }
    }
    return false;
}

int32_t TAVExportWindowController::getExportType()
{
    const bool exif = isSwithValue(0);
    const bool xmp = isSwithValue(1);
    const bool thumb = isSwithValue(2);
    int32_t type = exif && xmp && thumb ? 1 : 0;
    type |= exif ? 2 : 0;
    type |= xmp ? 4 : 0;
    type |= thumb ? 8 : 0;
    type |= isSwithValue(3) ? 16 : 0;
    return type;
}

bool TAVExportWindowController::checkExportCVS()
{
    return defaults().boolForKey(kExportCVSKey);
}

bool TAVExportWindowController::isSwithValue(int32_t index)
{
    static const QStringList keys{kExportExifKey, kExportXmpKey, kExportThumbKey, kCustomKey, kExportCVSKey};
    if (index < 0 || index >= keys.size()) {
        return false;
    }
    return defaults().boolForKey(keys.at(index));
}

QCheckBox* TAVExportWindowController::exifChk()
{
    window();
    return exifChk_;
}

QCheckBox* TAVExportWindowController::xmpChk()
{
    window();
    return xmpChk_;
}

QCheckBox* TAVExportWindowController::thumbChk()
{
    window();
    return thumbChk_;
}

QCheckBox* TAVExportWindowController::customChk()
{
    window();
    return customChk_;
}

QPushButton* TAVExportWindowController::settingCustom()
{
    window();
    return settingCustom_;
}

QCheckBox* TAVExportWindowController::cvsChk()
{
    window();
    return cvsChk_;
}

QCheckBox* TAVExportWindowController::oneFileOneLineChk()
{
    window();
    return oneFileOneLineChk_;
}

QLineEdit* TAVExportWindowController::exportPath()
{
    window();
    return exportPath_;
}

QCheckBox* TAVExportWindowController::exportInOneFileChk()
{
    window();
    return exportInOneFileChk_;
}

QLabel* TAVExportWindowController::titleLabel()
{
    window();
    return titleLabel_;
}

QPushButton* TAVExportWindowController::chooseFolderBtn()
{
    window();
    return chooseFolderBtn_;
}

QPushButton* TAVExportWindowController::exportBtn()
{
    window();
    return exportBtn_;
}

QPushButton* TAVExportWindowController::cancelBtn()
{
    window();
    return cancelBtn_;
}
