#include "app/TAVSummaryViewCtlr.h"

#include "commlib/TFDatePicker.h"
#include "commlib/VXAboutWindowController.h"

#include "models/image/TAVImageCacheManager.h"
#include "models/image/TAVImageObject.h"
#include "models/tables/TAVKeyLists.h"

#include "foundation/DateServices.h"
#include "foundation/Dispatch.h"
#include "foundation/TextNumbers.h"
#include "foundation/TextServices.h"
#include "foundation/UiServices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSignalBlocker>

#include <algorithm>
#include <vector>

namespace {

const QString kImageSizeKey = QStringLiteral("Summary.ImageSize");
const QString kKeywordsKey = QStringLiteral("Iptc.Application2.Keywords");
const QString kDatePattern = QStringLiteral("yyyy-MM-dd");
const QString kTimePattern = QStringLiteral("HH:mm:ss");
constexpr int kCategory = TAVExifData::CategorySummary;

} // namespace

TAVSummaryViewCtlr::TAVSummaryViewCtlr(QWidget* parent)
    : TAVBaseTabViewCltr(parent)
    , previewGeneration_(std::make_shared<std::atomic<uint64_t>>(0))
    , aheadGeneration_(std::make_shared<std::atomic<uint64_t>>(0))
{
    buildForm();
    connectUserSignals();
    showPreviewImage(QImage());
    enableOffsetControls();
    // The shared cache holds pictures of the size this preview shows.
    TAVImageCacheManager::sharedInstance().setShownSide(cacheViewName(), previewSide());
}

TAVSummaryViewCtlr::~TAVSummaryViewCtlr()
{
    ++*previewGeneration_;
    ++*aheadGeneration_;
    TAVImageCacheManager::sharedInstance().setShownSide(cacheViewName(), 0);
}

QString TAVSummaryViewCtlr::cacheViewName() const
{
    return QStringLiteral("summary %1").arg(quintptr(this));
}

int TAVSummaryViewCtlr::previewSide() const
{
    return int(std::max(kPreviewWidth, kPreviewHeight) * devicePixelRatioF());
}

void TAVSummaryViewCtlr::setImgExifData(const TAVExifDataPtr& record)
{
    TAVBaseTabViewCltr::setImgExifData(record);
    refreshSummaryUI();
}

void TAVSummaryViewCtlr::refreshSummaryUI()
{
    // Program-set texts fire change signals too (the text views' textChanged);
    // a rebuild must never read as a user edit.
    std::vector<QSignalBlocker> blockers;
    for (QWidget* control : userControls())
        blockers.emplace_back(control);
    refreshPreview();
    refreshDates();
    refreshTimeOffset();
    const TAVExifDataPtr& record = imgExifData();
    applyToFileCreate_->setChecked(record && record->isApplyToFileCreatedDateTime());
    enableOffsetControls();
    fldImageSize_->setText(valueOf(kImageSizeKey));
    fldImageSize_->setToolTip(toolTipOf(kImageSizeKey));
    for (const Field& field : std::as_const(fields_)) {
        const QString value = valueOf(field.key);
        if (auto* edit = qobject_cast<QLineEdit*>(field.control))
            edit->setText(value);
        else if (auto* view = qobject_cast<QPlainTextEdit*>(field.control))
            view->setPlainText(value);
        field.control->setToolTip(toolTipOf(field.key));
    }
    rememberShownTexts();
    refreshModifiedFields();
}

void TAVSummaryViewCtlr::rememberShownTexts()
{
    for (const Field& field : std::as_const(fields_))
        setTakenText(field.control, textOf(field.control));
    for (TFDatePicker* picker : {fldCreateDate_, fldCreateTime_})
        setTakenText(picker, pickerText(picker));
    for (QLineEdit* count : {fldOffsetDateValue_, fldOffsetTimeValue_})
        setTakenText(count, count->text());
}

void TAVSummaryViewCtlr::refreshDates()
{
    const QString date = valueOf(TAVKeyLists::createDateKey());
    fldCreateDate_->setDateValue(date.isEmpty() ? QDateTime() : DateServices::dateValue(date));
    fldCreateDate_->setToolTip(toolTipOf(TAVKeyLists::createDateKey()));
    const QString time = valueOf(TAVKeyLists::createTimeKey());
    fldCreateTime_->setDateValue(time.isEmpty() ? QDateTime() : DateServices::dateValue(time));
    fldCreateTime_->setToolTip(toolTipOf(TAVKeyLists::createTimeKey()));
    // The capture time's zone only when the file gives its offset.
    const TAVExifDataPtr& record = imgExifData();
    const QString offset = record && !time.isEmpty()
        ? record->getValueForKey(QStringLiteral("Exif.Photo.OffsetTimeOriginal"), TAVExifData::CategoryOther)
        : QString();
    fldCreateTime_->setZoneText(offset.trimmed());
}

void TAVSummaryViewCtlr::refreshTimeOffset()
{
    const TAVExifDataPtr& record = imgExifData();
    // A photo without a shift shows none: counts kept from the photo shown
    // before would be armed for this one by a mere tick of the box.
    const TAVTimeOffsetInfo offset
        = record && record->createdDateTimeOffset() ? *record->createdDateTimeOffset() : TAVTimeOffsetInfo();
    btnTimeOffset_->setChecked(record && record->createdDateTimeOffset());
    showCount(fldOffsetDateValue_, offset.dateOffsetNum());
    showCount(fldOffsetTimeValue_, offset.timeOffsetNum());
    if (offset.dateUnit() < uint64_t(popupDayUnit_->count()))
        popupDayUnit_->setCurrentIndex(int(offset.dateUnit()));
    if (offset.timeUnit() < uint64_t(popupTimeUnit_->count()))
        popupTimeUnit_->setCurrentIndex(int(offset.timeUnit()));
}

void TAVSummaryViewCtlr::showCount(QLineEdit* field, int32_t count)
{
    // The user may be half way through typing a count ("-" before "-5"): a
    // rebuild caused by that very keystroke keeps the text that says the same.
    if (field->hasFocus() && TextNumbers::intValue(field->text()) == count)
        return;
    field->setText(QString::number(count));
    acceptedCounts_.insert(field, field->text());
}

void TAVSummaryViewCtlr::enableOffsetControls()
{
    const bool on = btnTimeOffset_->isChecked() && editEnabled_;
    for (QWidget* control : {static_cast<QWidget*>(fldOffsetDateValue_), static_cast<QWidget*>(popupDayUnit_),
             static_cast<QWidget*>(fldOffsetTimeValue_), static_cast<QWidget*>(popupTimeUnit_)})
        control->setEnabled(on);
}

void TAVSummaryViewCtlr::refreshModifiedFields()
{
    const TAVExifDataPtr& record = imgExifData();
    auto modified = [&record](const QString& key) { return record && record->isModifiedForKey(key, kCategory); };
    // A field typed into shows as edited at once, and as it was once its
    // text is back to what it showed.
    refreshFieldShow(lblCreateDate_, modified(TAVKeyLists::createDateKey()) || isFieldEdited(fldCreateDate_));
    refreshFieldShow(lblCreateTime_, modified(TAVKeyLists::createTimeKey()) || isFieldEdited(fldCreateTime_));
    for (const Field& field : std::as_const(fields_))
        refreshFieldShow(field.label, modified(field.key) || isFieldEdited(field.control));
    refreshFieldShow(btnTimeOffset_, btnTimeOffset_->isChecked());
}

void TAVSummaryViewCtlr::setEditEnable(bool enable)
{
    editEnabled_ = enable;
    fldCreateDate_->setEnabled(enable);
    fldCreateTime_->setEnabled(enable);
    btnTimeOffset_->setEnabled(enable);
    for (const Field& field : std::as_const(fields_)) {
        if (auto* view = qobject_cast<QPlainTextEdit*>(field.control))
            view->setReadOnly(!enable);
        else
            field.control->setEnabled(enable);
    }
    enableOffsetControls();
}

std::optional<TAVEntityMap> TAVSummaryViewCtlr::genDictionayFromSetting()
{
    const TAVExifDataPtr& record = imgExifData();
    TAVEntityMap entities;
    auto add = [&](const QString& key, const QString& value) {
        TAVEntityPtr entity = TAVEntity::entityWithValue(value, key);
        entity->setIsModified(record && record->isModifiedForKey(key, kCategory));
        entities.insert(key, entity);
        return entity;
    };
    add(TAVKeyLists::createDateKey(), pickerText(fldCreateDate_));
    add(TAVKeyLists::createTimeKey(), pickerText(fldCreateTime_));
    add(kImageSizeKey, fldImageSize_->text());
    for (const Field& field : std::as_const(fields_))
        add(field.key, textOf(field.control));
    entities.value(kKeywordsKey)->setIsOverwrite(chkOverwrite_->isChecked());
    return entities;
}

bool TAVSummaryViewCtlr::isApplyToFileCreatedDatetime() const
{
    return applyToFileCreate_->isChecked();
}

bool TAVSummaryViewCtlr::isSetTimeoffset() const
{
    return btnTimeOffset_->isChecked();
}

std::optional<TAVTimeOffsetInfo> TAVSummaryViewCtlr::getDatetimeOffsetInfo() const
{
    if (!btnTimeOffset_->isChecked())
        return std::nullopt;
    TAVTimeOffsetInfo offset;
    offset.setDateOffsetNum(TextNumbers::intValue(fldOffsetDateValue_->text()));
    offset.setDateUnit(uint64_t(std::max(0, popupDayUnit_->currentIndex())));
    offset.setTimeOffsetNum(TextNumbers::intValue(fldOffsetTimeValue_->text()));
    offset.setTimeUnit(uint64_t(std::max(0, popupTimeUnit_->currentIndex())));
    return offset;
}

bool TAVSummaryViewCtlr::isKeywordsOverwrited() const
{
    return chkOverwrite_->isChecked();
}

// --- User edits ---

void TAVSummaryViewCtlr::controlTextDidChange(QObject* sender)
{
    auto* control = qobject_cast<QWidget*>(sender);
    if (!imgExifData() || !control)
        return;
    if (control == fldOffsetDateValue_ || control == fldOffsetTimeValue_) {
        auto* count = static_cast<QLineEdit*>(control);
        if (refuseCount(count))
            return;
        acceptedCounts_.insert(count, count->text());
    }
    refreshModifiedFields();
}

bool TAVSummaryViewCtlr::refuseCount(QLineEdit* count)
{
    // A shift moves dates forward only: a sign (or anything but digits) is
    // refused where it is typed, visibly, rather than dropped with a beep
    // and the digits after it taken as a forward shift.
    if (TextServices::isAllNumberic(count->text()))
        return false;
    count->setText(acceptedCounts_.value(count, QStringLiteral("0")));
    if (UiServices* ui = UiServices::shared()) {
        ui->showTipsAlert(QStringLiteral("Error"),
            QStringLiteral("Please set a valid value for \"Shift by\": a whole number such as 10. A shift moves "
                           "dates forward only, so it takes no sign."),
            QStringLiteral("OK"), QString(), this);
    }
    return true;
}

void TAVSummaryViewCtlr::textDidChange(QPlainTextEdit* view)
{
    controlTextDidChange(view);
}

void TAVSummaryViewCtlr::commitTypedText()
{
    // A date or time being typed ends as Tab ends it (taken whole, or refused
    // and put back) before anything rebuilds the tab or reads the pickers: a
    // command never takes a mix of typed and earlier parts.
    for (TFDatePicker* picker : {fldCreateDate_, fldCreateTime_})
        picker->commitTyping();
    for (const Field& field : std::as_const(fields_))
        takeField(field);
    // These rebuild the tab in answer, so they come after the fields.
    for (TFDatePicker* picker : {fldCreateDate_, fldCreateTime_})
        takeDatePicker(picker);
    for (QLineEdit* count : {fldOffsetDateValue_, fldOffsetTimeValue_})
        takeCount(count);
}

void TAVSummaryViewCtlr::takeField(const Field& field)
{
    const TAVExifDataPtr record = imgExifData();
    const QString text = textOf(field.control);
    if (!record || !isTextEdited(field.control, text))
        return;
    setTakenText(field.control, text);
    const bool overwrite = field.key == kKeywordsKey ? chkOverwrite_->isChecked() : true;
    record->setValue(text, field.key, kCategory, false, false, overwrite);
    TAVBaseTabViewCltr::controlTextDidChange(field.control);
    refreshModifiedFields();
    notiFileMetadataChanged(false);
}

void TAVSummaryViewCtlr::takeDatePicker(TFDatePicker* picker)
{
    const TAVExifDataPtr record = imgExifData();
    const QString text = pickerText(picker);
    if (!record || !isTextEdited(picker, text))
        return;
    setTakenText(picker, text);
    const QString key = picker == fldCreateDate_ ? TAVKeyLists::createDateKey() : TAVKeyLists::createTimeKey();
    record->setValue(text, key, kCategory, false, false, true);
    announceDiscreteChange();
}

void TAVSummaryViewCtlr::takeCount(QLineEdit* count)
{
    if (!imgExifData() || !isTextEdited(count, count->text()))
        return;
    setTakenText(count, count->text());
    checkDatetimeOffsetChanged();
}

void TAVSummaryViewCtlr::clickTimeOffset()
{
    enableOffsetControls();
    checkDatetimeOffsetChanged();
}

void TAVSummaryViewCtlr::clickTimeOffsetUnitPopup()
{
    checkDatetimeOffsetChanged();
}

void TAVSummaryViewCtlr::checkDatetimeOffsetChanged()
{
    const TAVExifDataPtr record = imgExifData();
    if (!record)
        return;
    for (QLineEdit* count : {fldOffsetDateValue_, fldOffsetTimeValue_})
        setTakenText(count, count->text());
    record->setCreatedDateTimeOffset(getDatetimeOffsetInfo());
    // Set by the user, the shift reaches every photo the form shows.
    record->setHandsOutTimeShift(true);
    if (TAVRecordOwner* image = record->accessImgObj())
        image->notiRefreshUIWhenModified();
    announceDiscreteChange();
}

void TAVSummaryViewCtlr::clickApplyToFileCreate()
{
    const TAVExifDataPtr& record = imgExifData();
    if (!record)
        return;
    record->setIsApplyToFileCreatedDateTime(applyToFileCreate_->isChecked());
    announceDiscreteChange();
}

void TAVSummaryViewCtlr::clickOverwrite()
{
    const TAVExifDataPtr& record = imgExifData();
    if (!record)
        return;
    setTakenText(tvKeywords_, tvKeywords_->toPlainText());
    record->setValue(tvKeywords_->toPlainText(), kKeywordsKey, kCategory, false, false, chkOverwrite_->isChecked());
    setPendingEdits(true);
    notiFileMetadataChanged(true);
}

void TAVSummaryViewCtlr::announceDiscreteChange()
{
    // The caller may be rebuilt by the main window in answer, so this comes last.
    refreshModifiedFields();
    setPendingEdits(true);
    notiFileMetadataChanged(true);
}

// --- Preview ---

void TAVSummaryViewCtlr::refreshPreview()
{
    const TAVExifDataPtr& record = imgExifData();
    const QString path = record ? record->strImagePath() : QString();
    if (path == curDispImagePath_)
        return;
    curDispImagePath_ = path;
    const uint64_t generation = ++*previewGeneration_;
    shownPreviewPath_.clear();
    if (path.isEmpty()) {
        showPreviewImage(QImage());
        return;
    }
    const int side = previewSide();
    // A picture decoded ahead shows at once.
    if (const QImage ready = TAVImageCacheManager::sharedInstance().cachedImage(path, side); !ready.isNull()) {
        showPreviewImage(ready, path);
        return;
    }
    // Decoding a photo takes long enough to stall stepping through a list, so it
    // happens on the pool; only the answer for the path still shown is used.
    QPointer<TAVSummaryViewCtlr> self(this);
    auto current = previewGeneration_;
    Dispatch::async([self, current, generation, path, side] {
        if (current->load() != generation)
            return;
        const QImage image = TAVImageCacheManager::sharedInstance().getImage(path, side);
        Dispatch::asyncMain([self, current, generation, image, path] {
            if (self && current->load() == generation)
                self->showPreviewImage(image, path);
        });
    });
}

void TAVSummaryViewCtlr::preparePreview(const QStringList& paths)
{
    const uint64_t generation = ++*aheadGeneration_;
    const int side = previewSide();
    auto current = aheadGeneration_;
    for (const QString& path : paths) {
        if (path.isEmpty() || !TAVImageCacheManager::sharedInstance().cachedImage(path, side).isNull())
            continue;
        Dispatch::async([current, generation, path, side] {
            if (current->load() == generation)
                TAVImageCacheManager::sharedInstance().getImage(path, side);
        });
    }
}

void TAVSummaryViewCtlr::showPreviewImage(const QImage& image, const QString& path)
{
    shownPreviewPath_ = path;
    const QImage shown = image.isNull() ? VXAboutWindowController::applicationIcon() : image;
    imageView_->setPixmap(QPixmap::fromImage(
        shown.scaled(QSize(kPreviewWidth, kPreviewHeight), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

// --- Helpers ---

QList<QWidget*> TAVSummaryViewCtlr::userControls() const
{
    QList<QWidget*> controls{fldCreateDate_, fldCreateTime_, chkOverwrite_, btnTimeOffset_, fldOffsetDateValue_,
        popupDayUnit_, fldOffsetTimeValue_, popupTimeUnit_, applyToFileCreate_};
    for (const Field& field : fields_)
        controls.append(field.control);
    return controls;
}

QString TAVSummaryViewCtlr::textOf(const QWidget* control)
{
    if (auto* edit = qobject_cast<const QLineEdit*>(control))
        return edit->text();
    if (auto* view = qobject_cast<const QPlainTextEdit*>(control))
        return view->toPlainText();
    return QString();
}

QString TAVSummaryViewCtlr::typedTextOf(const QWidget* control) const
{
    if (auto* picker = qobject_cast<const TFDatePicker*>(control))
        return pickerText(picker);
    return textOf(control);
}

bool TAVSummaryViewCtlr::isFieldEdited(const QWidget* control) const
{
    return imgExifData() && isTextEdited(control, typedTextOf(control));
}

QString TAVSummaryViewCtlr::valueOf(const QString& key) const
{
    const TAVExifDataPtr& record = imgExifData();
    const QString value = record ? record->getValueForKey(key, kCategory) : QString();
    return value.isNull() ? QStringLiteral("") : value;
}

QString TAVSummaryViewCtlr::toolTipOf(const QString& key) const
{
    const TAVExifDataPtr& record = imgExifData();
    const QString tip = record ? record->getToolTipsForKey(key, kCategory) : QString();
    return tip.isNull() ? QStringLiteral("") : tip;
}

QString TAVSummaryViewCtlr::pickerText(const TFDatePicker* picker) const
{
    const QString pattern = picker == fldCreateDate_ ? kDatePattern : kTimePattern;
    const QString text = DateServices::getStringFromDate(picker->dateValue(), pattern);
    return text.isNull() ? QStringLiteral("") : text;
}
