#include "app/TAVExposureViewCtlr.h"

#include "commlib/VXPopUpButton.h"

#include "models/image/TAVImageCacheManager.h"
#include "models/image/TAVImageObject.h"
#include "models/tables/TAVKeyLists.h"

#include "foundation/TextNumbers.h"
#include "foundation/TextServices.h"
#include "foundation/UiServices.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kCategory = TAVExifData::CategoryExposure;
const QString kExposureTimeKey = QStringLiteral("Exif.Photo.ExposureTime");
const QString kFocusKey = QStringLiteral("Exif.Photo.SubjectDistanceRange");
const QString kExposureProgramKey = QStringLiteral("Exif.Photo.ExposureProgram");

// The first threshold that the value does not exceed gives the index (from 1);
// above the last one gives the index after it.
int indexByThresholds(double value, std::initializer_list<double> thresholds)
{
    int index = 1;
    for (const double threshold : thresholds) {
        if (value <= threshold)
            return index;
        ++index;
    }
    return index;
}

} // namespace

std::pair<QString, QString> TAVExposureViewCtlr::splitExposureTime(const QString& value)
{
    const QStringList parts = value.split(QLatin1Char('/'));
    if (value.isEmpty() || parts.size() < 2)
        return {QStringLiteral(""), QStringLiteral("")};
    auto shown = [](const QString& part) { return part == QLatin1String("0") ? QStringLiteral("1") : part; };
    return {shown(parts[0]), shown(parts[1])};
}

QString TAVExposureViewCtlr::joinExposureTime(const QString& numerator, const QString& denominator)
{
    if (numerator.isEmpty() && denominator.isEmpty())
        return QStringLiteral("/");
    const QString one = QStringLiteral("1");
    return (numerator.isEmpty() ? one : numerator) + QLatin1Char('/') + (denominator.isEmpty() ? one : denominator);
}

int TAVExposureViewCtlr::shutterSpeedIconIndex(const QString& numerator, const QString& denominator)
{
    if (numerator.isEmpty() && denominator.isEmpty())
        return 1;
    // The seconds themselves, unrounded: every common speed is below one second,
    // so a whole number would put nearly all of them on the first icon.
    const double top = numerator.isEmpty() ? 1.0 : TextNumbers::doubleValue(numerator);
    const double bottom = denominator.isEmpty() ? 1.0 : TextNumbers::doubleValue(denominator);
    if (bottom == 0.0)
        return 1;
    return indexByThresholds(top / bottom, {0.001, 0.004, 0.015625, 0.0625, 0.125, 0.25, 1.0});
}

int TAVExposureViewCtlr::apertureIconIndex(const QString& text)
{
    const double fNumber = text.isEmpty() ? 0.0 : std::round(TextNumbers::doubleValue(text));
    return indexByThresholds(fNumber, {2, 4, 8, 16});
}

int TAVExposureViewCtlr::sensitivityIconIndex(const QString& text)
{
    if (text.isEmpty())
        return 1;
    return indexByThresholds(std::round(TextNumbers::doubleValue(text)), {100, 200, 400, 800, 1600});
}

TAVExposureViewCtlr::~TAVExposureViewCtlr() = default;

void TAVExposureViewCtlr::setImgExifData(const TAVExifDataPtr& record)
{
    TAVBaseTabViewCltr::setImgExifData(record);
    refreshExposureUI();
}

void TAVExposureViewCtlr::refreshExposureUI()
{
    std::vector<QSignalBlocker> blockers;
    for (QWidget* control : userControls())
        blockers.emplace_back(control);

    const auto [numerator, denominator] = splitExposureTime(valueOf(kExposureTimeKey));
    showField(numberFields_[0], numerator);
    showField(numberFields_[1], denominator);
    updateShutterSpeedIcon();
    const QString aperture = valueOf(numberFields_[2].key);
    const qsizetype slash = aperture.indexOf(QLatin1Char('/'));
    // The record holds "f/2.8"; the field shows the number alone.
    showField(numberFields_[2], slash >= 0 ? aperture.mid(slash + 1) : aperture);
    updateApertureIcon();
    for (qsizetype i = 3; i < numberFields_.size(); ++i)
        showField(numberFields_[i], valueOf(numberFields_[i].key));
    updateSensitivityIcon();

    for (PopUp& popUp : popUps_) {
        // A list narrowed for the previous record must not decide what this one shows.
        if (isNarrowable(popUp))
            fillPopUp(popUp, *popUp.labels);
        const QString value = valueOf(popUp.key);
        if (value.isEmpty())
            popUp.button->setCurrentIndex(0);
        else
            selectTitle(popUp, value);
        updatePopUpIcon(popUp);
    }
    refreshModifiedFields();
}

void TAVExposureViewCtlr::refreshModifiedFields()
{
    const TAVExifDataPtr& record = imgExifData();
    auto modified = [&record](const QString& key) { return record && record->isModifiedForKey(key, kCategory); };
    // A field typed into shows as edited at once, and as it was once its
    // text is back to what it showed.
    for (const NumberField& field : std::as_const(numberFields_)) {
        if (field.label)
            refreshFieldShow(field.label, modified(field.key) || (record && isFieldEdited(field)));
    }
    for (const PopUp& popUp : std::as_const(popUps_))
        refreshFieldShow(popUp.label, modified(popUp.key));
}

void TAVExposureViewCtlr::setEditEnable(bool enable)
{
    for (const NumberField& field : std::as_const(numberFields_))
        field.field->setEnabled(enable);
    for (const PopUp& popUp : std::as_const(popUps_))
        popUp.button->setEnabled(enable);
}

std::optional<TAVEntityMap> TAVExposureViewCtlr::genDictionayFromSetting()
{
    TAVEntityMap entities;
    auto add = [&entities](const QString& key, const QString& value) {
        TAVEntityPtr entity = TAVEntity::entityWithValue(value, key);
        // A preset made from the tab takes every value it shows.
        entity->setIsModified(true);
        entities.insert(key, entity);
    };
    add(kExposureTimeKey, joinExposureTime(numberFields_[0].field->text(), numberFields_[1].field->text()));
    for (qsizetype i = 2; i < numberFields_.size(); ++i)
        add(numberFields_[i].key, numberFields_[i].field->text());
    for (const PopUp& popUp : std::as_const(popUps_))
        add(popUp.key, popUp.button->currentIndex() < 0 ? QStringLiteral("") : popUp.button->currentText());
    return entities;
}

// --- User edits ---

void TAVExposureViewCtlr::controlTextDidChange(QObject* sender)
{
    NumberField* field = numberFieldOf(sender);
    if (!field || !imgExifData())
        return;
    const QString text = field->field->text();
    const bool isShutter = field->key == kExposureTimeKey;
    const bool accepted = isShutter ? TextServices::isAllNumberic(text) : TextServices::isUnsiginedFloatNumber(text);
    if (!accepted) {
        if (UiServices* ui = UiServices::shared())
            ui->beep();
        field->field->setText(field->remembered.isNull() ? QStringLiteral("") : field->remembered);
    } else {
        field->remembered = text;
    }
    if (isShutter)
        updateShutterSpeedIcon();
    else if (field == &numberFields_[2])
        updateApertureIcon();
    else if (field == &numberFields_[3])
        updateSensitivityIcon();
    refreshModifiedFields();
}

void TAVExposureViewCtlr::commitTypedText()
{
    for (const NumberField& field : std::as_const(numberFields_))
        takeField(field);
}

void TAVExposureViewCtlr::takeField(const NumberField& field)
{
    if (!imgExifData() || !isFieldEdited(field))
        return;
    QString value = field.field->text();
    if (field.key == kExposureTimeKey) {
        // The two sides are one value: both are taken together.
        value = numberFields_[0].field->text() + QLatin1Char('/') + numberFields_[1].field->text();
        setTakenText(numberFields_[0].field, numberFields_[0].field->text());
        setTakenText(numberFields_[1].field, numberFields_[1].field->text());
    } else {
        setTakenText(field.field, value);
    }
    TAVBaseTabViewCltr::controlTextDidChange(field.field);
    writeValue(value, field.key);
    refreshModifiedFields();
    notiFileMetadataChanged(false);
}

bool TAVExposureViewCtlr::isFieldEdited(const NumberField& field) const
{
    if (field.key == kExposureTimeKey) {
        return isTextEdited(numberFields_[0].field, numberFields_[0].field->text())
            || isTextEdited(numberFields_[1].field, numberFields_[1].field->text());
    }
    return isTextEdited(field.field, field.field->text());
}

void TAVExposureViewCtlr::clickPopupButton(QComboBox* sender)
{
    TAVBaseTabViewCltr::clickPopupButton(sender);
    PopUp* popUp = popUpOf(sender);
    if (!popUp || !imgExifData())
        return;
    const QString value = sender->currentText();
    if (isNarrowable(*popUp)) {
        const QSignalBlocker blocker(popUp->button);
        fillPopUp(*popUp, *popUp->labels);
        selectTitle(*popUp, value);
    }
    updatePopUpIcon(*popUp);
    writeValue(value, popUp->key);
    refreshModifiedFields();
    setPendingEdits(true);
    notiFileMetadataChanged(true);
}

void TAVExposureViewCtlr::popUpButtonWillDisp(VXPopUpButton* button)
{
    PopUp* popUp = popUpOf(button);
    const TAVExifDataPtr& record = imgExifData();
    TAVImageObject* image = record ? TAVImageObject::ownerOf(*record) : nullptr;
    if (!popUp || !isNarrowable(*popUp) || !image)
        return;
    const std::vector<bool> allowed
        = popUp->key == kFocusKey ? image->getVaildFocusSetting() : image->getVaildExposurePrgmSetting();
    // An image that was never read allows nothing; that is no answer, and an
    // empty list would leave the user nothing to choose.
    if (std::none_of(allowed.begin(), allowed.end(), [](bool on) { return on; }))
        return;
    QStringList titles;
    for (qsizetype i = 0; i < popUp->labels->size() && i < qsizetype(allowed.size()); ++i) {
        if (allowed[size_t(i)])
            titles.append(popUp->labels->at(i));
    }
    const QString current = button->currentIndex() < 0 ? QString() : button->currentText();
    const QSignalBlocker blocker(button);
    fillPopUp(*popUp, titles);
    selectTitle(*popUp, current);
}

// --- Helpers ---

void TAVExposureViewCtlr::fillPopUp(PopUp& popUp, const QStringList& titles)
{
    popUp.button->clear();
    popUp.button->addItems(titles);
}

void TAVExposureViewCtlr::selectTitle(PopUp& popUp, const QString& title)
{
    // A value outside the table leaves the pop-up without a selection.
    popUp.button->setCurrentIndex(
        title.isNull() ? -1 : popUp.button->findText(title, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

bool TAVExposureViewCtlr::isNarrowable(const PopUp& popUp) const
{
    return popUp.key == kFocusKey || popUp.key == kExposureProgramKey;
}

void TAVExposureViewCtlr::showField(NumberField& field, const QString& text)
{
    field.field->setText(text);
    field.remembered = text;
    setTakenText(field.field, text);
}

QString TAVExposureViewCtlr::valueOf(const QString& key) const
{
    const TAVExifDataPtr& record = imgExifData();
    const QString value = record ? record->getValueForKey(key, kCategory) : QString();
    return value.isNull() ? QStringLiteral("") : value;
}

void TAVExposureViewCtlr::writeValue(const QString& value, const QString& key)
{
    imgExifData()->setValue(value, key, kCategory, false, false, true);
}

TAVExposureViewCtlr::NumberField* TAVExposureViewCtlr::numberFieldOf(const QObject* control)
{
    for (NumberField& field : numberFields_) {
        if (field.field == control)
            return &field;
    }
    return nullptr;
}

TAVExposureViewCtlr::PopUp* TAVExposureViewCtlr::popUpOf(const QObject* control)
{
    for (PopUp& popUp : popUps_) {
        if (popUp.button == control)
            return &popUp;
    }
    return nullptr;
}

QList<QWidget*> TAVExposureViewCtlr::userControls() const
{
    QList<QWidget*> controls;
    for (const NumberField& field : numberFields_)
        controls.append(field.field);
    for (const PopUp& popUp : popUps_)
        controls.append(popUp.button);
    return controls;
}

// --- Icons ---

void TAVExposureViewCtlr::updateShutterSpeedIcon()
{
    const int index = shutterSpeedIconIndex(numberFields_[0].field->text(), numberFields_[1].field->text());
    showIcon(imgViewShutterSpeed_, QStringLiteral("shutterSpeed_%1.png").arg(index));
}

void TAVExposureViewCtlr::updateApertureIcon()
{
    showIcon(
        imgViewAperture_, QStringLiteral("aperture_%1.png").arg(apertureIconIndex(numberFields_[2].field->text())));
}

void TAVExposureViewCtlr::updateSensitivityIcon()
{
    const int index = sensitivityIconIndex(numberFields_[3].field->text());
    showIcon(imgViewSensitity_, QStringLiteral("sensitivity_%1.png").arg(index));
}

void TAVExposureViewCtlr::updatePopUpIcon(const PopUp& popUp)
{
    if (popUp.button->currentIndex() < 0)
        return;
    const qsizetype position = popUp.labels->indexOf(popUp.button->currentText());
    if (position < 0 || popUp.icons->value(position).isEmpty())
        return; // "Unknown" has no picture: the last one stays
    showIcon(popUp.iconView, popUp.icons->value(position));
}

void TAVExposureViewCtlr::showIcon(QLabel* view, const QString& name)
{
    // Rebuilt on every step through the photo list: decode and scale each
    // picture once, and leave a view alone that already shows it.
    if (shownIcons_.value(view) == name)
        return;
    auto cached = iconPixmaps_.constFind(name);
    if (cached == iconPixmaps_.constEnd()) {
        const QImage image = TAVImageCacheManager::sharedInstance().getImage(name);
        if (image.isNull())
            return;
        cached = iconPixmaps_.insert(
            name, QPixmap::fromImage(image.scaled(view->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }
    view->setPixmap(*cached);
    shownIcons_.insert(view, name);
}
