#pragma once

#include "commlib/TAVBaseTabViewCltr.h"
#include "commlib/VXNumbericFormatterDelegate.h"
#include "gps/VXMapViewDelegate.h"
#include "webmapkit/GMKPointAnnotation.h"
#include "webmapkit/MapClock.h"

#include <QPointer>

#include <memory>

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class GMKMapView;
class LocalSearchService;
class TAVCustomBgColorView;
class TAVGPSFormatter;
class TileSource;
class VXMapView;
class VXTipsView;

// The GPS tab: where the shown photo was taken (green pin, from the file's
// values) and the place the user set (red pin, from the record's edited
// values), as decimal degrees, degree/minute/second fields with a direction
// pop-up per axis, and pins on a tile map; place search by name.
//
// Showing a record never writes into it. A user edit (typing, a direction
// pop-up, Add Pin, a click-and-hold, the end of a pin drag, a search that moves
// the red pin, Clear) writes only the axes it changed, raises the pending-edits
// flag and posts the change notification once. Typed degree, minute and second
// texts are written as typed; a place known only as decimal degrees is turned
// once into whole degrees and minutes and seconds to a ten-thousandth.
class TAVGPSViewController : public TAVBaseTabViewCltr, public VXMapViewDelegate, public VXNumbericFormatterDelegate {
    Q_OBJECT
public:
    static const QString kLatitudeKey;
    static const QString kLatitudeRefKey;
    static const QString kLongitudeKey;
    static const QString kLongitudeRefKey;
    static const QString kVersionKey;
    static const QString kAltitudeRefKey;
    static const QString kAltitudeKey;
    static constexpr unsigned kZoomLevel = 15;
    static constexpr double kCalloutDelay = 0.4;

    // The map takes its tiles from `source` and owns it (the application's
    // configured tile service when null). `geocoderPagePath` lets tests load
    // another page into the hidden web map.
    explicit TAVGPSViewController(
        TileSource* source = nullptr, QWidget* parent = nullptr, const QString& geocoderPagePath = QString());
    ~TAVGPSViewController() override;

    void setImgExifData(const TAVExifDataPtr& record) override;
    void setEditEnable(bool enable) override;
    void refreshModifiedFields() override;
    // The degree, minute, second and decimal fields hand over only when
    // their editing ends: what they hold now goes to the record.
    void commitTypedText() override;
    std::optional<TAVEntityMap> genDictionayFromSetting() override;

    // User actions, also reached from the controls.
    void clickAddPin();
    void clickClearGPS();
    void clickSearch();
    void clickPopBtnStaticLocate(int index);
    void setMapType(int type);
    void showIamLocal();
    bool isMapCenterCoorDinateVaild() const;

    // The controls, for the main window's layout and for tests.
    VXMapView* mapView() const { return appleMapView_; }
    GMKMapView* webMapView() const { return webMapView_; }
    VXTipsView* tipsView() const { return tipsView_; }
    QComboBox* staticLocate() const { return staitcLocate_; }
    QStandardItemModel* staticLocateModel() const { return staitcLocateModel_; }
    QLineEdit* searchField() const { return fldSearch_; }
    QPushButton* addPinButton() const { return btnNewLocate_; }
    QPushButton* clearButton() const { return btnClearGPS_; }
    // The map type's buttons: 0 standard, 1 satellite, 2 hybrid.
    QPushButton* mapTypeButton(int type) const;
    QLineEdit* versionField() const { return fldGpsVersion_; }
    QLineEdit* altitudeRefField() const { return fldGpsAltitudeRef_; }
    QLineEdit* altitudeField() const { return fldGpsAltitude_; }
    // The degree, minute, second and decimal fields, the pop-up and the two
    // labels of one axis.
    QLineEdit* degreeField(bool latitude) const { return axis(latitude).degree; }
    QLineEdit* minuteField(bool latitude) const { return axis(latitude).minute; }
    QLineEdit* secondField(bool latitude) const { return axis(latitude).second; }
    QLineEdit* decimalField(bool latitude) const { return axis(latitude).decimal; }
    QComboBox* directionPopup(bool latitude) const { return axis(latitude).popup; }
    QLabel* valueLabel(bool latitude) const { return axis(latitude).valueLabel; }
    QLabel* refLabel(bool latitude) const { return axis(latitude).refLabel; }
    GMKPointAnnotation* photoPin() const { return mpaOrigImgLocate_.get(); }
    GMKPointAnnotation* newPin() const { return mpaNewImgLocate_.get(); }
    bool isWebViewLoadOk() const { return isWebViewLoadOk_; }

    // Map delegate.
    TileAnnotationViewPtr viewForAnnotation(TileMapView* map, const GMKAnnotationPtr& annotation) override;
    void didAddAnnotationViews(TileMapView* map, const QList<TileAnnotationViewPtr>& views) override;
    void didChangeDragState(
        TileMapView* map, const TileAnnotationViewPtr& view, unsigned newState, unsigned oldState) override;
    void didFinishLoadingMap(TileMapView* map) override;
    void didFailLoadingMap(TileMapView* map, const MapError& error) override;
    void didUpdateUserLocation(TileMapView* map, GMKUserLocation* location) override;
    void didFailToLocateUser(TileMapView* map, const MapError& error) override;
    void userDidClickAndHoldAtCoordinate(VXMapView* map, const MapCoordinate& coordinate) override;

    // Formatter delegate.
    void numbericFormatterReachedMaxNumberOfChars(VXNumbericFormatter* formatter) override;
    bool isNumberVaild(VXNumbericFormatter* formatter, const QString& number) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One axis: its controls and the texts they last showed.
    struct Axis {
        bool latitude = true;
        QLineEdit* degree = nullptr;
        QLineEdit* minute = nullptr;
        QLineEdit* second = nullptr;
        QLineEdit* decimal = nullptr;
        QComboBox* popup = nullptr;
        QLabel* valueLabel = nullptr;
        QLabel* refLabel = nullptr;
        TAVGPSFormatter* formatter = nullptr;
        QString strDegree, strMin, strSec, strDir;
        QString strDecimal; // "%f" of the decimal degrees, "" when empty
        double exactDecimal = 0; // the decimal degrees the parts stand for, unrounded
        QString shownDecimal; // what the decimal field last showed
        bool hasParts() const { return !strDegree.isEmpty() || !strMin.isEmpty() || !strSec.isEmpty(); }
    };

    const Axis& axis(bool latitude) const { return latitude ? lat_ : lon_; }
    Axis& axis(bool latitude) { return latitude ? lat_ : lon_; }

    // Form (TAVGPSViewController_Form.cpp).
    void buildForm();
    void buildAxis(Axis& axis, bool latitude);
    void connectAxis(Axis& axis);

    // Display.
    void clearAllField();
    void refreshGeoInfoUI();
    void refreshOriginalPhotoTakePlace();
    void refreshUserModifiedPhotoTakePlace();
    bool showAxisFromRecord(Axis& axis, const QString& value, const QString& ref);
    void emptyAxis(Axis& axis);
    void selectDirection(Axis& axis, const QString& word);
    void updateOriginalPointAnnotation(double latitude, double longitude);
    void updateUserSetPointAnnotation(double latitude, double longitude);
    void putNewPin(const MapCoordinate& coordinate);
    static QString pinSubtitle(const MapCoordinate& coordinate);
    void moveMapToCenter(double latitude, double longitude);
    void makeOriginalTakeLocateShow();
    void makeNewLocateShow();
    void updateTipsView(const QString& text);
    void showTips(const QString& text);
    void placeTipsView();
    void showDragToMoveTips(const GMKAnnotationPtr& annotation);
    void setLocateItemEnabled(int index, bool enabled);
    // Shows a choice of the location pop-up as the tab's own doing.
    void showLocateChoice(int index);
    void enableMapTypesTheSourceDraws();

    // Editing (TAVGPSViewController_Edit.cpp).
    void doAddPin(const MapCoordinate& coordinate);
    void placeAxisFromDecimal(Axis& axis, double value);
    void showAxisParts(
        Axis& axis, const QString& degree, const QString& minute, const QString& second, const QString& direction);
    void setValueModified(Axis& axis);
    void endUserEdit();
    void placeNewPinFromFields();
    void dmsFieldEditingFinished(Axis& axis, QLineEdit* field);
    void decimalFieldEditingFinished(Axis& axis);
    void directionChosen(Axis& axis);
    void restoreAxis(Axis& axis);
    static bool isDmsPartText(const QString& text);
    // The altitude's rational ("125/10") as metres ("12.5") and back; other
    // texts stay as they are.
    static QString altitudeMetres(const QString& rational);
    static QString altitudeRational(const QString& metres);
    static double axisDecimal(const Axis& axis, bool* ok);
    static QString partsText(const Axis& axis, bool trailingBlank);

    // Search (TAVGPSViewController_Search.cpp).
    void searchByAppleMap(const QString& text);
    void searchByWebMap(const QString& text);
    void showSearchFailure(int errorCode);
    int getSearchEngine() const { return 0; }

    Axis lat_;
    Axis lon_;
    QLineEdit* fldGpsVersion_ = nullptr;
    QLineEdit* fldGpsAltitudeRef_ = nullptr;
    QLineEdit* fldGpsAltitude_ = nullptr;
    QLineEdit* fldSearch_ = nullptr;
    QPushButton* btnNewLocate_ = nullptr;
    QPushButton* btnClearGPS_ = nullptr;
    QComboBox* staitcLocate_ = nullptr;
    QStandardItemModel* staitcLocateModel_ = nullptr;
    QButtonGroup* mapTypes_ = nullptr;
    VXMapView* appleMapView_ = nullptr;
    GMKMapView* webMapView_ = nullptr;
    TAVCustomBgColorView* maskView_ = nullptr;
    VXTipsView* tipsView_ = nullptr;
    LocalSearchService* localSearch_ = nullptr;

    std::shared_ptr<GMKPointAnnotation> mpaOrigImgLocate_;
    std::shared_ptr<GMKPointAnnotation> mpaNewImgLocate_;

    bool needCenterSelfLocation_ = true;
    bool isWebViewLoadOk_ = true;
    bool isEnableNewLocate_ = false;
    bool startSeach_ = false;
    MapClock::Handle pendingCallout_ = 0;
    // The pop-up's choice as it last settled, and the one before My Location
    // was chosen: a refused My Location goes back to it.
    int settledLocateChoice_ = 0;
    int choiceBeforeMyLocation_ = 0;
};
