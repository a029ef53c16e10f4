#include "gps/TAVGPSViewController.h"

#include "commlib/VXTipsView.h"
#include "foundation/TextServices.h"
#include "foundation/UiServices.h"
#include "gps/GpsAngle.h"
#include "gps/VXMapView.h"
#include "models/record/TAVEntity.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

#include <cmath>

namespace {

const QString kHintDrag = QStringLiteral("Drag the red pin to locate a new place");

QString northOrEast(bool latitude)
{
    return latitude ? QStringLiteral("North") : QStringLiteral("East");
}

QString southOrWest(bool latitude)
{
    return latitude ? QStringLiteral("South") : QStringLiteral("West");
}

} // namespace

// Digits with at most one point: what a degree, minute or second may hold.
bool TAVGPSViewController::isDmsPartText(const QString& text)
{
    return text != QLatin1String(".") && TextServices::isUnsiginedFloatNumber(text);
}

QString TAVGPSViewController::partsText(const Axis& a, bool trailingBlank)
{
    const QString text = GpsAngle::rationalOfText(a.strDegree) + QLatin1Char(' ') + GpsAngle::rationalOfText(a.strMin)
        + QLatin1Char(' ') + GpsAngle::rationalOfText(a.strSec);
    return trailingBlank ? text + QLatin1Char(' ') : text;
}

double TAVGPSViewController::axisDecimal(const Axis& a, bool* ok)
{
    const double value = a.strDegree.toDouble() + a.strMin.toDouble() / 60.0 + a.strSec.toDouble() / 3600.0;
    *ok = value <= (a.latitude ? 90.0 : 180.0);
    return a.strDir == southOrWest(a.latitude) ? -value : value;
}

void TAVGPSViewController::showAxisParts(
    Axis& a, const QString& degree, const QString& minute, const QString& second, const QString& direction)
{
    a.strDegree = degree;
    a.strMin = minute;
    a.strSec = second;
    a.strDir = direction;
    a.degree->setText(degree);
    a.minute->setText(minute);
    a.second->setText(second);
    selectDirection(a, direction);
    bool ok = false;
    a.exactDecimal = axisDecimal(a, &ok);
    a.strDecimal = QString::asprintf("%f", a.exactDecimal);
    a.shownDecimal = a.strDecimal;
    a.decimal->setText(a.shownDecimal);
}

// A place known only in decimal degrees: whole degrees and minutes, and the
// seconds to a ten-thousandth, so the place is kept as it was given; the
// hemisphere from the sign.
void TAVGPSViewController::placeAxisFromDecimal(Axis& a, double value)
{
    const std::optional<GpsAngle> angle = GpsAngle::fromDegrees(value, a.latitude ? 90.0 : 180.0);
    if (!angle) {
        emptyAxis(a);
        setValueModified(a);
        return;
    }
    showAxisParts(a, angle->degreeText(), angle->minuteText(), angle->secondText(),
        angle->isNegative() ? southOrWest(a.latitude) : northOrEast(a.latitude));
    setValueModified(a);
}

void TAVGPSViewController::setValueModified(Axis& a)
{
    const TAVExifDataPtr& record = imgExifData();
    if (!record) {
        return;
    }
    QString value;
    QString ref;
    if (a.hasParts()) {
        value = partsText(a, true);
        ref = (a.strDir.isEmpty() ? northOrEast(a.latitude) : a.strDir).left(1).toUpper();
    }
    record->setValue(
        ref, a.latitude ? kLatitudeRefKey : kLongitudeRefKey, TAVExifData::CategoryGps, false, false, true);
    record->setValue(value, a.latitude ? kLatitudeKey : kLongitudeKey, TAVExifData::CategoryGps, false, false, true);
    refreshModifiedFields();
}

void TAVGPSViewController::endUserEdit()
{
    setPendingEdits(true);
    notiFileMetadataChanged(false);
}

void TAVGPSViewController::placeNewPinFromFields()
{
    if (!lat_.strDecimal.isEmpty() && !lon_.strDecimal.isEmpty()) {
        updateUserSetPointAnnotation(lat_.exactDecimal, lon_.exactDecimal);
        return;
    }
    // One axis known: move along it only; an empty axis is no place to go.
    MapCoordinate center = appleMapView_->centerCoordinate();
    if (!lat_.strDecimal.isEmpty()) {
        center.latitude = lat_.exactDecimal;
    } else if (!lon_.strDecimal.isEmpty()) {
        center.longitude = lon_.exactDecimal;
    } else {
        return;
    }
    moveMapToCenter(center.latitude, center.longitude);
}

void TAVGPSViewController::doAddPin(const MapCoordinate& coordinate)
{
    placeAxisFromDecimal(lat_, coordinate.latitude);
    placeAxisFromDecimal(lon_, coordinate.longitude);
    if (tipsView_) {
        updateTipsView(kHintDrag);
    }
    putNewPin(coordinate);
    showLocateChoice(2);
    setLocateItemEnabled(2, true);
}

void TAVGPSViewController::clickAddPin()
{
    if (!isWebViewLoadOk_ || !imgExifData()) {
        return;
    }
    if (!lat_.strDecimal.isEmpty() && !lon_.strDecimal.isEmpty()) {
        // The photo has a place: the pin starts on it exactly as stored, and
        // the record changes only once the user moves the pin.
        updateUserSetPointAnnotation(lat_.exactDecimal, lon_.exactDecimal);
        showLocateChoice(2);
        setLocateItemEnabled(2, true);
        return;
    }
    doAddPin(appleMapView_->centerCoordinate());
    appleMapView_->setCenterCoordinate(mpaNewImgLocate_->coordinate(), false);
    endUserEdit();
}

void TAVGPSViewController::userDidClickAndHoldAtCoordinate(VXMapView* map, const MapCoordinate& coordinate)
{
    Q_UNUSED(map);
    if (!isEnableNewLocate_ || !imgExifData()) {
        return;
    }
    doAddPin(coordinate);
    endUserEdit();
}

void TAVGPSViewController::didChangeDragState(
    TileMapView* map, const TileAnnotationViewPtr& view, unsigned newState, unsigned oldState)
{
    Q_UNUSED(oldState);
    if (newState == TileAnnotationView::DragStarting) {
        view->setDragState(TileAnnotationView::DragDragging);
    } else if (newState == TileAnnotationView::DragCanceling || newState == TileAnnotationView::DragEnding) {
        view->setDragState(TileAnnotationView::DragNone);
    }
    const GMKAnnotationPtr annotation = view->annotation();
    // Only a finished drag is a new place; a press or a cancelled drag leaves
    // the record alone.
    if (newState == TileAnnotationView::DragEnding && annotation && annotation == mpaNewImgLocate_ && imgExifData()) {
        const MapCoordinate coordinate = annotation->coordinate();
        placeAxisFromDecimal(lat_, coordinate.latitude);
        placeAxisFromDecimal(lon_, coordinate.longitude);
        mpaNewImgLocate_->setSubtitle(pinSubtitle(coordinate));
        endUserEdit();
    }
    if (annotation
        && (newState == TileAnnotationView::DragNone || newState == TileAnnotationView::DragCanceling
            || newState == TileAnnotationView::DragEnding)) {
        map->setCenterCoordinate(annotation->coordinate(), true);
    }
}

void TAVGPSViewController::dmsFieldEditingFinished(Axis& a, QLineEdit* field)
{
    QString* stored = field == a.degree ? &a.strDegree : field == a.minute ? &a.strMin : &a.strSec;
    const QString text = field->text();
    if (text == *stored || !imgExifData()) {
        return;
    }
    auto refuse = [&] {
        UiServices::shared()->beep();
        field->setText(*stored);
        selectDirection(a, a.strDir);
    };
    if (!isDmsPartText(text) || (field == a.degree && !TextServices::isVaildGPS(text, a.latitude, true))) {
        refuse();
        return;
    }
    Axis proposed = a;
    (field == a.degree ? proposed.strDegree : field == a.minute ? proposed.strMin : proposed.strSec) = text;
    bool inRange = false;
    axisDecimal(proposed, &inRange);
    if (!inRange) {
        refuse();
        return;
    }
    if (!proposed.hasParts()) {
        emptyAxis(a);
        a.strDir = proposed.strDir;
        selectDirection(a, a.strDir);
    } else {
        // Only the axis's own parts are written, exactly as typed; a part left
        // empty beside the others counts as 0.
        showAxisParts(a, proposed.strDegree, proposed.strMin, proposed.strSec,
            proposed.strDir.isEmpty() ? northOrEast(a.latitude) : proposed.strDir);
    }
    setValueModified(a);
    placeNewPinFromFields();
    endUserEdit();
}

void TAVGPSViewController::decimalFieldEditingFinished(Axis& a)
{
    const QString text = a.decimal->text();
    if (text == a.shownDecimal || !imgExifData()) {
        return;
    }
    if (!TextServices::isVaildGPS(text, a.latitude, true)) {
        UiServices::shared()->beep();
        a.decimal->setText(a.shownDecimal);
        return;
    }
    if (text.isEmpty()) {
        emptyAxis(a);
        setValueModified(a);
    } else {
        placeAxisFromDecimal(a, text.toDouble());
    }
    placeNewPinFromFields();
    endUserEdit();
}

void TAVGPSViewController::commitTypedText()
{
    // Each hand-over does nothing for a field that holds what it last
    // showed, so only the field the user typed into acts.
    for (Axis* a : {&lat_, &lon_}) {
        for (QLineEdit* field : {a->degree, a->minute, a->second}) {
            dmsFieldEditingFinished(*a, field);
        }
        decimalFieldEditingFinished(*a);
    }
}

void TAVGPSViewController::directionChosen(Axis& a)
{
    const QString word = a.popup->currentText();
    if (word == a.strDir || !imgExifData()) {
        return;
    }
    if (!a.hasParts() || word.isEmpty()) {
        // A hemisphere needs a coordinate, and a coordinate needs a hemisphere.
        selectDirection(a, a.strDir);
        return;
    }
    clickPopupButton(a.popup);
    // Only the hemisphere flips: the parts stay as they are shown.
    showAxisParts(a, a.strDegree, a.strMin, a.strSec, word);
    setValueModified(a);
    placeNewPinFromFields();
    notiFileMetadataChanged(false);
}

void TAVGPSViewController::clickClearGPS()
{
    const TAVExifDataPtr record = imgExifData();
    if (!record) {
        return;
    }
    record->clearGPS();
    if (mpaNewImgLocate_) {
        appleMapView_->removeAnnotation(mpaNewImgLocate_);
    }
    setImgExifData(record);
    endUserEdit();
}

std::optional<TAVEntityMap> TAVGPSViewController::genDictionayFromSetting()
{
    TAVEntityMap map;
    auto put = [&map](const QString& key, const QString& value) {
        TAVEntityPtr entity = TAVEntity::entityWithValue(value, key);
        entity->setIsModified(true);
        map.insert(key, entity);
    };
    put(kVersionKey, fldGpsVersion_->text());
    put(kAltitudeRefKey, fldGpsAltitudeRef_->text());
    put(kAltitudeKey, altitudeRational(fldGpsAltitude_->text()));
    for (const Axis* a : {&lat_, &lon_}) {
        Axis shown = *a;
        shown.strDegree = a->degree->text();
        shown.strMin = a->minute->text();
        shown.strSec = a->second->text();
        const bool complete = !shown.strDegree.isEmpty() && !shown.strMin.isEmpty() && !shown.strSec.isEmpty();
        put(a->latitude ? kLatitudeRefKey : kLongitudeRefKey, a->popup->currentText());
        put(a->latitude ? kLatitudeKey : kLongitudeKey, complete ? partsText(shown, false) : QString());
    }
    return map;
}
