#include "gps/TAVGPSViewController.h"

#include "commlib/VXTipsView.h"
#include "foundation/TextServices.h"
#include "foundation/UiServices.h"
#include "foundation/Utils.h"
#include "gps/GpsAngle.h"
#include "gps/LocalSearchService.h"
#include "gps/TAVGPSFormatter.h"
#include "gps/VXMapView.h"
#include "models/values/TAVMetadataHelper.h"
#include "webmapkit/GMKMapView.h"
#include "webmapkit/GMKUserLocation.h"
#include "webmapkit/HttpTileSource.h"
#include "webmapkit/LocationProvider.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QStandardItemModel>

const QString TAVGPSViewController::kLatitudeKey = QStringLiteral("Exif.GPSInfo.GPSLatitude");
const QString TAVGPSViewController::kLatitudeRefKey = QStringLiteral("Exif.GPSInfo.GPSLatitudeRef");
const QString TAVGPSViewController::kLongitudeKey = QStringLiteral("Exif.GPSInfo.GPSLongitude");
const QString TAVGPSViewController::kLongitudeRefKey = QStringLiteral("Exif.GPSInfo.GPSLongitudeRef");
const QString TAVGPSViewController::kVersionKey = QStringLiteral("Exif.GPSInfo.GPSVersionID");
const QString TAVGPSViewController::kAltitudeRefKey = QStringLiteral("Exif.GPSInfo.GPSAltitudeRef");
const QString TAVGPSViewController::kAltitudeKey = QStringLiteral("Exif.GPSInfo.GPSAltitude");

namespace {

const QString kHintDrag = QStringLiteral("Drag the red pin to locate a new place");
const QString kHintPin = QStringLiteral("Pin the map to locate a new place");
const QString kHintError = QStringLiteral("Load map ERROR, please check your network.");
const QString kReuseIdentifier = QStringLiteral("photoLocal");
constexpr int kTipsWidth = 280;
constexpr int kTipsHeight = 20;

// The shortest text that reads back as the value: 4512/100 shows "45.12".
QString partText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

TAVGPSViewController::TAVGPSViewController(TileSource* source, QWidget* parent, const QString& geocoderPagePath)
    : TAVBaseTabViewCltr(parent)
{
    if (!source) {
        source = HttpTileSource::fromAppInfo();
    }
    appleMapView_ = new VXMapView(source, this);
    appleMapView_->setMapDelegate(this);
    appleMapView_->installEventFilter(this);
    webMapView_ = new GMKMapView(this, geocoderPagePath);
    localSearch_ = LocalSearchService::fromAppInfo(this);
    buildForm();
    enableMapTypesTheSourceDraws();
    // The map takes whatever room the window gives the tab.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    appleMapView_->setMinimumSize(400, 240);
    setEditEnable(false);
}

TAVGPSViewController::~TAVGPSViewController()
{
    lat_.formatter->setDelegate(nullptr);
    lon_.formatter->setDelegate(nullptr);
    if (pendingCallout_ != 0) {
        appleMapView_->clock()->cancel(pendingCallout_);
    }
}

void TAVGPSViewController::setImgExifData(const TAVExifDataPtr& record)
{
    TAVBaseTabViewCltr::setImgExifData(record);
    appleMapView_->removeAnnotations(appleMapView_->annotations());
    clearAllField();
    refreshGeoInfoUI();
}

void TAVGPSViewController::setEditEnable(bool enable)
{
    for (QWidget* control :
        {static_cast<QWidget*>(lat_.popup), static_cast<QWidget*>(lat_.decimal), static_cast<QWidget*>(lat_.degree),
            static_cast<QWidget*>(lat_.minute), static_cast<QWidget*>(lat_.second), static_cast<QWidget*>(lon_.popup),
            static_cast<QWidget*>(lon_.decimal), static_cast<QWidget*>(lon_.degree), static_cast<QWidget*>(lon_.minute),
            static_cast<QWidget*>(lon_.second), static_cast<QWidget*>(btnNewLocate_),
            static_cast<QWidget*>(btnClearGPS_), static_cast<QWidget*>(fldSearch_)}) {
        control->setEnabled(enable);
    }
    isEnableNewLocate_ = enable;
}

void TAVGPSViewController::refreshModifiedFields()
{
    const TAVExifDataPtr& record = imgExifData();
    auto modified
        = [&record](const QString& key) { return record && record->isModifiedForKey(key, TAVExifData::CategoryGps); };
    refreshFieldShow(lat_.refLabel, modified(kLatitudeRefKey));
    refreshFieldShow(lat_.valueLabel, modified(kLatitudeKey));
    refreshFieldShow(lon_.refLabel, modified(kLongitudeRefKey));
    refreshFieldShow(lon_.valueLabel, modified(kLongitudeKey));
}

void TAVGPSViewController::clearAllField()
{
    // The version and altitude reference go too: a preset made next must not
    // carry the previous photo's values.
    for (QLineEdit* field : {fldGpsVersion_, fldGpsAltitudeRef_, fldGpsAltitude_}) {
        field->clear();
    }
    emptyAxis(lat_);
    emptyAxis(lon_);
}

void TAVGPSViewController::emptyAxis(Axis& a)
{
    for (QLineEdit* field : {a.degree, a.minute, a.second, a.decimal}) {
        field->clear();
    }
    a.strDegree.clear();
    a.strMin.clear();
    a.strSec.clear();
    a.strDir.clear();
    a.strDecimal.clear();
    a.shownDecimal.clear();
    a.exactDecimal = 0.0;
    selectDirection(a, QString());
}

void TAVGPSViewController::selectDirection(Axis& a, const QString& word)
{
    const QSignalBlocker blocker(a.popup);
    const int index = a.popup->findText(word);
    a.popup->setCurrentIndex(index < 0 ? 0 : index);
}

void TAVGPSViewController::refreshGeoInfoUI()
{
    refreshOriginalPhotoTakePlace();
    const TAVExifDataPtr& record = imgExifData();
    if (!record) {
        updateTipsView(kHintPin);
        refreshModifiedFields();
        return;
    }
    const QString latitude = record->getValueForKey(kLatitudeKey, TAVExifData::CategoryGps);
    const QString longitude = record->getValueForKey(kLongitudeKey, TAVExifData::CategoryGps);
    if (record->isGPSModified() && ((!latitude.isEmpty() && !longitude.isEmpty()) || !record->isGpsClear())) {
        refreshUserModifiedPhotoTakePlace();
        updateTipsView(kHintDrag);
        refreshModifiedFields();
        return;
    }
    if (record->isGpsClear()) {
        refreshUserModifiedPhotoTakePlace();
        // The place the file holds goes with the save: a pin still showing it
        // would tell the user the clear did not take.
        if (mpaOrigImgLocate_) {
            appleMapView_->removeAnnotation(mpaOrigImgLocate_);
        }
    }
    updateTipsView(kHintPin);
    refreshModifiedFields();
}

// Shows one axis from a rational text and a reference; false when the text
// is not three parts. Each part shows as the shortest text of its value.
bool TAVGPSViewController::showAxisFromRecord(Axis& a, const QString& value, const QString& ref)
{
    QString word = TAVMetadataHelper::getGpsFullDirction(ref);
    if (!word.isEmpty()) {
        word = Utils::uppercaseStringInRange(word, 0, 1);
    }
    a.strDir = word;
    selectDirection(a, word);
    if (value.isEmpty()) {
        return true;
    }
    double degree = 0.0;
    double minutes = 0.0;
    double seconds = 0.0;
    if (!TAVMetadataHelper::paraseGpsInfoFromString(value, &degree, &minutes, &seconds)) {
        return false;
    }
    a.strDegree = partText(degree);
    a.strMin = partText(minutes);
    a.strSec = partText(seconds);
    a.degree->setText(a.strDegree);
    a.minute->setText(a.strMin);
    a.second->setText(a.strSec);
    const QString negative = a.latitude ? QStringLiteral("south") : QStringLiteral("west");
    double decimal = degree + minutes / 60.0 + seconds / 3600.0;
    if (word.toLower() == negative) {
        decimal = -decimal;
    }
    a.exactDecimal = decimal;
    a.strDecimal = QString::asprintf("%f", decimal);
    a.shownDecimal = a.strDecimal;
    a.decimal->setText(a.shownDecimal);
    return true;
}

QString TAVGPSViewController::altitudeMetres(const QString& rational)
{
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d+)/(\\d+)\\s*$"));
    const QRegularExpressionMatch match = form.match(rational);
    const double denominator = match.captured(2).toDouble();
    if (!match.hasMatch() || denominator == 0) {
        return rational;
    }
    return QString::number(match.captured(1).toDouble() / denominator, 'g', 12);
}

QString TAVGPSViewController::altitudeRational(const QString& metres)
{
    if (metres.isEmpty() || metres == QLatin1String(".") || !TextServices::isUnsiginedFloatNumber(metres)) {
        return metres;
    }
    return GpsAngle::rationalOfText(metres);
}

void TAVGPSViewController::refreshOriginalPhotoTakePlace()
{
    const TAVExifDataPtr& record = imgExifData();
    if (!record) {
        setLocateItemEnabled(1, false);
        return;
    }
    auto original = [&record](const QString& key) {
        return record->getValueFromOriginalDataForKey(key, TAVExifData::CategoryGps);
    };
    // The version as stored and the altitude in metres; a preset made from
    // the tab writes them back as the file held them.
    fldGpsVersion_->setText(original(kVersionKey));
    fldGpsAltitudeRef_->setText(original(kAltitudeRefKey));
    fldGpsAltitude_->setText(altitudeMetres(original(kAltitudeKey)));
    if (!showAxisFromRecord(lat_, original(kLatitudeKey), original(kLatitudeRefKey))
        || !showAxisFromRecord(lon_, original(kLongitudeKey), original(kLongitudeRefKey))) {
        return;
    }
    if (!lat_.strDecimal.isEmpty() && !lon_.strDecimal.isEmpty()) {
        showLocateChoice(1);
        setLocateItemEnabled(1, true);
        updateOriginalPointAnnotation(lat_.exactDecimal, lon_.exactDecimal);
    } else {
        setLocateItemEnabled(1, false);
    }
}

void TAVGPSViewController::refreshUserModifiedPhotoTakePlace()
{
    const TAVExifDataPtr& record = imgExifData();
    auto userSet = [&record](const QString& key) { return record->getValueForKey(key, TAVExifData::CategoryGps); };
    fldGpsVersion_->setText(userSet(kVersionKey));
    fldGpsAltitudeRef_->setText(userSet(kAltitudeRefKey));
    fldGpsAltitude_->setText(altitudeMetres(userSet(kAltitudeKey)));
    for (Axis* a : {&lat_, &lon_}) {
        const bool isLat = a->latitude;
        const QString value = userSet(isLat ? kLatitudeKey : kLongitudeKey);
        if (value.isEmpty()) {
            emptyAxis(*a);
            a->strDir = Utils::uppercaseStringInRange(
                TAVMetadataHelper::getGpsFullDirction(userSet(isLat ? kLatitudeRefKey : kLongitudeRefKey)), 0, 1);
            selectDirection(*a, a->strDir);
            continue;
        }
        // What was shown from the file goes first, so a failed split shows no stale parts.
        emptyAxis(*a);
        if (!showAxisFromRecord(*a, value, userSet(isLat ? kLatitudeRefKey : kLongitudeRefKey))) {
            return;
        }
    }
    if (!lat_.strDecimal.isEmpty() && !lon_.strDecimal.isEmpty()) {
        showLocateChoice(2);
        setLocateItemEnabled(2, true);
        updateUserSetPointAnnotation(lat_.exactDecimal, lon_.exactDecimal);
    } else {
        setLocateItemEnabled(2, false);
    }
}

void TAVGPSViewController::setLocateItemEnabled(int index, bool enabled)
{
    if (QStandardItem* item = staitcLocateModel_->item(index)) {
        item->setEnabled(enabled);
    }
}

void TAVGPSViewController::showLocateChoice(int index)
{
    const QSignalBlocker blocker(staitcLocate_);
    staitcLocate_->setCurrentIndex(index);
    settledLocateChoice_ = index;
}

void TAVGPSViewController::updateOriginalPointAnnotation(double latitude, double longitude)
{
    if (!mpaOrigImgLocate_) {
        mpaOrigImgLocate_ = std::make_shared<GMKPointAnnotation>();
        mpaOrigImgLocate_->setTitle(QStringLiteral("Where Photo Taken"));
    }
    mpaOrigImgLocate_->setCoordinate({latitude, longitude});
    mpaOrigImgLocate_->setSubtitle(pinSubtitle({latitude, longitude}));
    appleMapView_->removeAnnotation(mpaOrigImgLocate_);
    appleMapView_->addAnnotation(mpaOrigImgLocate_);
    appleMapView_->selectAnnotation(mpaOrigImgLocate_, true);
    appleMapView_->setCenterCoordinate(mpaOrigImgLocate_->coordinate(), false);
}

void TAVGPSViewController::updateUserSetPointAnnotation(double latitude, double longitude)
{
    putNewPin({latitude, longitude});
    appleMapView_->setCenterCoordinate(mpaNewImgLocate_->coordinate(), false);
    updateTipsView(kHintDrag);
}

// The red pin at `coordinate`, its callout naming that place, added again so
// the map makes its view afresh.
void TAVGPSViewController::putNewPin(const MapCoordinate& coordinate)
{
    if (!mpaNewImgLocate_) {
        mpaNewImgLocate_ = std::make_shared<GMKPointAnnotation>();
        mpaNewImgLocate_->setTitle(QStringLiteral("Press & Drag to move"));
    }
    appleMapView_->removeAnnotation(mpaNewImgLocate_);
    mpaNewImgLocate_->setCoordinate(coordinate);
    mpaNewImgLocate_->setSubtitle(pinSubtitle(coordinate));
    appleMapView_->addAnnotation(mpaNewImgLocate_);
}

QString TAVGPSViewController::pinSubtitle(const MapCoordinate& coordinate)
{
    return QString::asprintf("(%.2f, %.2f)", coordinate.latitude, coordinate.longitude);
}

void TAVGPSViewController::moveMapToCenter(double latitude, double longitude)
{
    appleMapView_->setCenterCoordinate({latitude, longitude}, false);
}

void TAVGPSViewController::makeOriginalTakeLocateShow()
{
    if (mpaOrigImgLocate_) {
        appleMapView_->setCenterCoordinate(mpaOrigImgLocate_->coordinate(), true);
    }
}

void TAVGPSViewController::makeNewLocateShow()
{
    if (mpaNewImgLocate_) {
        appleMapView_->setCenterCoordinate(mpaNewImgLocate_->coordinate(), true);
    }
}

void TAVGPSViewController::clickPopBtnStaticLocate(int index)
{
    if (index == 0 && settledLocateChoice_ != 0) {
        choiceBeforeMyLocation_ = settledLocateChoice_;
    }
    settledLocateChoice_ = index;
    if (index == 0) {
        showIamLocal();
    } else if (index == 1) {
        mpaOrigImgLocate_ ? makeOriginalTakeLocateShow() : setLocateItemEnabled(1, false);
    } else if (index == 2) {
        mpaNewImgLocate_ ? makeNewLocateShow() : setLocateItemEnabled(2, false);
    }
}

void TAVGPSViewController::showIamLocal()
{
    needCenterSelfLocation_ = true;
    appleMapView_->setShowsUserLocation(true);
    if (appleMapView_->isUserLocationVisible()) {
        appleMapView_->setCenterCoordinate(appleMapView_->userLocation()->coordinate(), kZoomLevel, true);
    }
}

QPushButton* TAVGPSViewController::mapTypeButton(int type) const
{
    return qobject_cast<QPushButton*>(mapTypes_->button(type));
}

void TAVGPSViewController::enableMapTypesTheSourceDraws()
{
    // Without a satellite service the satellite and hybrid types would draw
    // the standard map again, as if it were one.
    const TileSource* source = appleMapView_->tileSource();
    const int satelliteSet = source ? source->tileSetFor(1) : -1;
    const bool hasSatellite = satelliteSet >= 0 && satelliteSet != source->tileSetFor(0);
    for (const int type : {1, 2}) {
        QPushButton* button = mapTypeButton(type);
        button->setEnabled(hasSatellite);
        button->setToolTip(hasSatellite
                ? QString()
                : QStringLiteral("No satellite map service is configured "
                                 "(LUMETTA_SATELLITETILEURL): only the standard map can show."));
    }
}

void TAVGPSViewController::setMapType(int type)
{
    appleMapView_->setMapType(type);
}

bool TAVGPSViewController::isMapCenterCoorDinateVaild() const
{
    const MapCoordinate center = appleMapView_->centerCoordinate();
    return center.latitude >= -90.0 && center.latitude <= 90.0 && center.longitude >= -180.0
        && center.longitude <= 180.0;
}

void TAVGPSViewController::updateTipsView(const QString& text)
{
    // While the tiles fail, the map is grey: the hints of pins would only
    // hide why.
    showTips(isWebViewLoadOk_ ? text : kHintError);
}

void TAVGPSViewController::showTips(const QString& text)
{
    if (!tipsView_) {
        tipsView_ = new VXTipsView(appleMapView_);
    }
    placeTipsView();
    tipsView_->setText(text);
    tipsView_->show();
    tipsView_->raise();
}

void TAVGPSViewController::placeTipsView()
{
    // Along the top edge, centred: the attribution line owns the bottom.
    if (tipsView_) {
        tipsView_->setGeometry((appleMapView_->width() - kTipsWidth) / 2, 4, kTipsWidth, kTipsHeight);
    }
}

bool TAVGPSViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == appleMapView_ && event->type() == QEvent::Resize) {
        placeTipsView();
    }
    return TAVBaseTabViewCltr::eventFilter(watched, event);
}

void TAVGPSViewController::showDragToMoveTips(const GMKAnnotationPtr& annotation)
{
    appleMapView_->deselectAnnotation(annotation, false);
    appleMapView_->selectAnnotation(annotation, true);
}

TileAnnotationViewPtr TAVGPSViewController::viewForAnnotation(TileMapView* map, const GMKAnnotationPtr& annotation)
{
    if (auto* user = dynamic_cast<GMKUserLocation*>(annotation.get())) {
        user->setTitle(QString());
        user->setSubtitle(QString());
        return nullptr;
    }
    const MapCoordinate coordinate = annotation->coordinate();
    if (coordinate.latitude == 0.0 || coordinate.longitude == 0.0) {
        return nullptr;
    }
    TileAnnotationViewPtr view = map->dequeueReusableAnnotationView(kReuseIdentifier);
    if (!view) {
        view = std::make_shared<TileAnnotationView>(annotation, kReuseIdentifier);
    }
    const bool isNewPin = annotation == mpaNewImgLocate_;
    view->setImageNamed(
        isNewPin ? QStringLiteral("MKPinAnnotationColorRed") : QStringLiteral("MKPinAnnotationColorGreen"));
    view->setDraggable(isNewPin);
    view->setHighlighted(isNewPin);
    view->setCanShowCallout(true);
    view->setAnnotation(annotation);
    return view;
}

void TAVGPSViewController::didAddAnnotationViews(TileMapView* map, const QList<TileAnnotationViewPtr>& views)
{
    if (views.isEmpty()) {
        return;
    }
    // The callout of the pin added last opens once the map has settled.
    const GMKAnnotationPtr annotation = views.constFirst()->annotation();
    MapClock* clock = map->clock();
    if (pendingCallout_ != 0) {
        clock->cancel(pendingCallout_);
    }
    pendingCallout_ = clock->callAfter(kCalloutDelay, this, [this, annotation] {
        pendingCallout_ = 0;
        showDragToMoveTips(annotation);
    });
}

void TAVGPSViewController::didUpdateUserLocation(TileMapView* map, GMKUserLocation* location)
{
    Q_UNUSED(map);
    if (needCenterSelfLocation_ && location) {
        appleMapView_->setCenterCoordinate(location->coordinate(), kZoomLevel, true);
        needCenterSelfLocation_ = false;
    }
}

void TAVGPSViewController::didFailToLocateUser(TileMapView* map, const MapError& error)
{
    Q_UNUSED(map);
    // A refusal turns My Location off: the pop-up must not go on saying it is
    // shown.
    if (error.code == LocationProvider::kErrorDenied && settledLocateChoice_ == 0) {
        showLocateChoice(choiceBeforeMyLocation_);
    }
}

void TAVGPSViewController::didFinishLoadingMap(TileMapView* map)
{
    Q_UNUSED(map);
    if (!isWebViewLoadOk_) {
        isWebViewLoadOk_ = true;
        setImgExifData(imgExifData());
    }
}

void TAVGPSViewController::didFailLoadingMap(TileMapView* map, const MapError& error)
{
    Q_UNUSED(map);
    Q_UNUSED(error);
    isWebViewLoadOk_ = false;
    updateTipsView(kHintError);
}

void TAVGPSViewController::numbericFormatterReachedMaxNumberOfChars(VXNumbericFormatter* formatter)
{
    Q_UNUSED(formatter);
    UiServices::shared()->beep();
}

bool TAVGPSViewController::isNumberVaild(VXNumbericFormatter* formatter, const QString& number)
{
    if (formatter == lat_.formatter) {
        return TextServices::isVaildGPS(number, true);
    }
    if (formatter == lon_.formatter) {
        return TextServices::isVaildGPS(number, false);
    }
    return true;
}
