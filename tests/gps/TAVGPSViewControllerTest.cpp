#include "gps/GpsTabTestSupport.h"

#include "commlib/VXTipsView.h"
#include "foundation/FileServices.h"
#include "models/image/TAVImageObject.h"
#include "models/values/TAVMetadataHelper.h"
#include "support/ExifTool.h"
#include "support/Gallery.h"
#include "support/HostileAnswers.h"
#include "support/ImageFixtures.h"
#include "support/Patience.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"
#include "webmapkit/MapTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QJsonObject>
#include <QLabel>
#include <QStandardItemModel>
#include <QStyle>
#include <QWheelEvent>

#include <cmath>

namespace {

bool itemEnabled(TAVGPSViewController& tab, int index)
{
    return tab.staticLocateModel()->item(index)->isEnabled();
}

} // namespace

TEST_F(GpsTabTest, TheFileLocationShowsAsReadWithTheGreenPin)
{
    show(gpsRecord("35/1 30/1 4512/100", "N", "139/1 45/1 0/1", "E"));
    EXPECT_EQ(parts(true), (QStringList{"35", "30", "45.12", "North"}));
    EXPECT_EQ(parts(false), (QStringList{"139", "45", "0", "East"}));
    EXPECT_EQ(tab->decimalField(true)->text(), "35.512533");
    EXPECT_EQ(tab->decimalField(false)->text(), "139.750000");
    // The version and the altitude's reference show as the file holds them,
    // the altitude in metres.
    EXPECT_EQ(tab->versionField()->text(), "2 2 0 0");
    EXPECT_EQ(tab->altitudeRefField()->text(), "1");
    EXPECT_EQ(tab->altitudeField()->text(), "12.5");
    ASSERT_NE(tab->photoPin(), nullptr);
    EXPECT_EQ(tab->photoPin()->title(), "Where Photo Taken");
    EXPECT_EQ(tab->photoPin()->subtitle(), "(35.51, 139.75)");
    EXPECT_EQ(tab->mapView()->selectedAnnotations().size(), 1);
    EXPECT_NEAR(tab->mapView()->centerCoordinate().latitude, 35.5125, 1e-3);
    const auto view = tab->mapView()->viewForAnnotation(tab->mapView()->annotations().value(0));
    ASSERT_TRUE(view);
    EXPECT_FALSE(view->isDraggable());
    EXPECT_EQ(tab->tipsView()->text(), "Pin the map to locate a new place");
    EXPECT_EQ(tab->tipsView()->geometry(), QRect((tab->mapView()->width() - 280) / 2, 4, 280, 20));
    EXPECT_TRUE(itemEnabled(*tab, 1));
    EXPECT_EQ(tab->staticLocate()->currentIndex(), 1);
    // Showing writes nothing, raises no flag and posts nothing.
    EXPECT_EQ(lat(), "35/1 30/1 4512/100");
    EXPECT_FALSE(record->isGPSModified());
    EXPECT_FALSE(TAVBaseTabViewCltr::isPendingEdits());
    EXPECT_EQ(posts, 0);

    // Clear (GPS) takes the green pin away with the fields.
    tab->clickClearGPS();
    EXPECT_TRUE(record->isGpsClear());
    EXPECT_TRUE(tab->mapView()->annotations().isEmpty());

    // South and west give negative decimals; fractional seconds show exactly.
    show(gpsRecord("40/1 0/1 1471/100", "s", "74/1 0/1 19521/1000", "W"));
    EXPECT_EQ(parts(true), (QStringList{"40", "0", "14.71", "South"}));
    EXPECT_EQ(tab->secondField(false)->text(), "19.521");
    EXPECT_EQ(tab->decimalField(true)->text(), "-40.004086");
    EXPECT_TRUE(tab->decimalField(false)->text().startsWith("-74.005"));

    // A two-part latitude ends the display there: no longitude, pop-up kept.
    tab->staticLocate()->setCurrentIndex(0);
    show(gpsRecord("35/1 30/1", "N", "139/1 45/1 0/1", "E"));
    EXPECT_EQ(tab->degreeField(false)->text(), "");
    EXPECT_EQ(tab->staticLocate()->currentIndex(), 0);

    // No GPS at all: nothing shown, no pin, the photo item disabled.
    show(gpsRecord("", "", "", "", true));
    EXPECT_EQ(parts(true), (QStringList{"", "", "", ""}));
    EXPECT_EQ(tab->versionField()->text(), "");
    EXPECT_EQ(tab->altitudeField()->text(), "");
    EXPECT_EQ(tab->decimalField(false)->text(), "");
    EXPECT_TRUE(tab->mapView()->annotations().isEmpty());
    EXPECT_FALSE(itemEnabled(*tab, 1));
    EXPECT_EQ(tab->tipsView()->text(), "Pin the map to locate a new place");
}

TEST_F(GpsTabTest, AnEditedLocationShowsTheRedPinAndStaysAsItIs)
{
    record = gpsRecord("35/1 30/1 45/1", "N", "139/1 45/1 0/1", "E");
    // Another tool set fractional seconds; showing must not round them.
    record->setValue(
        "10/1 20/1 4512/100 ", TAVGPSViewController::kLatitudeKey, TAVExifData::CategoryGps, false, false, true);
    show(record);
    ASSERT_NE(tab->newPin(), nullptr);
    EXPECT_NEAR(tab->newPin()->coordinate().latitude, 10 + 20 / 60.0 + 45.12 / 3600, 1e-6);
    EXPECT_EQ(tab->newPin()->title(), "Press & Drag to move");
    EXPECT_EQ(tab->secondField(true)->text(), "45.12");
    const auto red = tab->mapView()->viewForAnnotation(pinPtr());
    ASSERT_TRUE(red);
    EXPECT_TRUE(red->isDraggable());
    EXPECT_EQ(tab->tipsView()->text(), "Drag the red pin to locate a new place");
    EXPECT_TRUE(tab->valueLabel(true)->font().italic());
    EXPECT_EQ(tab->valueLabel(true)->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_FALSE(tab->valueLabel(false)->font().bold());
    EXPECT_TRUE(itemEnabled(*tab, 2));

    // A failed load, then a finished one redraws, and still nothing is written.
    tab->didFailLoadingMap(tab->mapView(), MapError{});
    EXPECT_EQ(tab->tipsView()->text(), "Load map ERROR, please check your network.");
    tab->clickAddPin();
    EXPECT_EQ(posts, 0);
    tab->didFinishLoadingMap(tab->mapView());
    settle();
    EXPECT_EQ(tab->tipsView()->text(), "Drag the red pin to locate a new place");
    EXPECT_EQ(lat(), "10/1 20/1 4512/100 ");
    EXPECT_EQ(lon(), "139/1 45/1 0/1");
    EXPECT_FALSE(record->isModifiedForKey(TAVGPSViewController::kLongitudeKey, TAVExifData::CategoryGps));
    EXPECT_EQ(posts, 0);

    // A pin on the equator or the prime meridian gets the map's own view.
    tab->mapView()->addAnnotation(makePin(0.0, 12.0));
    EXPECT_EQ(tab->viewForAnnotation(tab->mapView(), makePin(0.0, 12.0)), nullptr);

    // Cleared: no red pin, empty coordinates, and the green pin of the place
    // the save will remove is gone too.
    record->clearGPS();
    show(record);
    EXPECT_EQ(tab->decimalField(true)->text(), "");
    EXPECT_FALSE(itemEnabled(*tab, 2));
    EXPECT_TRUE(tab->mapView()->annotations().isEmpty());
    EXPECT_EQ(tab->tipsView()->text(), "Pin the map to locate a new place");
}

TEST_F(GpsTabTest, HoldsAndDragsWriteThePlaceToATenThousandthOfASecondAndPostOnce)
{
    show(gpsRecord("", "", "", ""));
    hold(35.5125, 139.75);
    EXPECT_EQ(lat(), "35/1 30/1 45/1 ");
    EXPECT_EQ(latRef(), "N");
    EXPECT_EQ(lon(), "139/1 45/1 0/1 ");
    EXPECT_EQ(lonRef(), "E");
    EXPECT_TRUE(record->isModifiedForKey(TAVGPSViewController::kLatitudeKey, TAVExifData::CategoryGps));
    EXPECT_EQ(parts(true), (QStringList{"35", "30", "45", "North"}));
    EXPECT_EQ(parts(false), (QStringList{"139", "45", "0", "East"}));
    EXPECT_TRUE(TAVBaseTabViewCltr::isPendingEdits());
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(tab->mapView()->selectedAnnotations().value(0), pinPtr());
    EXPECT_EQ(tab->newPin()->subtitle(), "(35.51, 139.75)");

    // The seconds keep their decimals; the hemisphere follows the sign; the
    // callout names the new place.
    drag(-33.8688, 151.2093);
    EXPECT_EQ(lat(), "33/1 52/1 768/100 ");
    EXPECT_EQ(lon(), "151/1 12/1 3348/100 ");
    EXPECT_EQ(latRef(), "S");
    EXPECT_EQ(tab->secondField(true)->text(), "7.68");
    EXPECT_EQ(tab->decimalField(true)->text(), "-33.868800");
    EXPECT_EQ(tab->newPin()->subtitle(), "(-33.87, 151.21)");
    EXPECT_EQ(posts, 2);
    drag(-0.5, 10.25);
    EXPECT_EQ(latRef(), "S");
    EXPECT_EQ(tab->directionPopup(true)->currentText(), "South");
    EXPECT_EQ(lat(), "0/1 30/1 0/1 ");

    // Any place survives the fields and the rationals to better than 1e-7 degree.
    for (const MapCoordinate& place : {MapCoordinate{89.9999999, -179.9999999}, MapCoordinate{-12.3456789, 0.0000001},
             MapCoordinate{48.1234567, 11.5876543}}) {
        drag(place.latitude, place.longitude);
        double degree = 0, minutes = 0, seconds = 0;
        ASSERT_TRUE(TAVMetadataHelper::paraseGpsInfoFromString(lat(), &degree, &minutes, &seconds));
        EXPECT_NEAR(degree + minutes / 60 + seconds / 3600, std::fabs(place.latitude), 1e-7) << lat().toStdString();
        ASSERT_TRUE(TAVMetadataHelper::paraseGpsInfoFromString(lon(), &degree, &minutes, &seconds));
        EXPECT_NEAR(degree + minutes / 60 + seconds / 3600, std::fabs(place.longitude), 1e-7) << lon().toStdString();
        EXPECT_EQ(lonRef(), place.longitude < 0 ? "W" : "E");
    }

    // A press, then Escape: nothing is written or posted.
    const int posted = posts;
    const QString before = lat();
    drag(0, 0, TileAnnotationView::DragCanceling);
    EXPECT_EQ(lat(), before);
    EXPECT_EQ(posts, posted);

    // With editing off a hold does nothing.
    tab->setEditEnable(false);
    hold(1.0, 1.0);
    EXPECT_EQ(posts, posted);
}

TEST_F(GpsTabTest, TypedDecimalsReachTheFileAsExiftoolReadsThemToATenMillionthOfADegree)
{
    if (!ExifTool::available()) {
        GTEST_SKIP() << "exiftool missing";
    }
    TempFolder folder;
    const QString user = folder.filePath(QStringLiteral("photo.jpg"));
    const QString work = folder.filePath(QStringLiteral("work.jpg"));
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(user, {{"Exif.Image.Make", "Canon", std::nullopt}}));
    ASSERT_TRUE(FileServices::copyItem(user, work));
    const TAVImageObjectPtr image = TAVImageObject::create(work);
    image->setSrcPath(user);
    show(image->exifData());
    type(tab->decimalField(false), "18.07");
    type(tab->decimalField(true), "-33.8688");
    EXPECT_EQ(parts(false), (QStringList{"18", "4", "12", "East"}));
    EXPECT_EQ(tab->decimalField(false)->text(), "18.070000");
    ASSERT_NE(tab->newPin(), nullptr);
    EXPECT_NEAR(tab->newPin()->coordinate().longitude, 18.07, 1e-12);
    ASSERT_TRUE(image->saveMetadataToImage());
    const QJsonObject tags = ExifTool::read(user, {QStringLiteral("-n")});
    EXPECT_NEAR(tags.value("GPS:GPSLongitude").toDouble(), 18.07, 1e-7);
    EXPECT_EQ(tags.value("GPS:GPSLongitudeRef").toString(), "E");
    EXPECT_NEAR(tags.value("GPS:GPSLatitude").toDouble(), 33.8688, 1e-7);
    EXPECT_EQ(tags.value("GPS:GPSLatitudeRef").toString(), "S");
}

TEST_F(GpsTabTest, AddPinStartsOnThePhotosOwnPlaceAndChangesNothingUntilMoved)
{
    show(gpsRecord("35/1 30/1 4512/100", "N", "139/1 45/1 0/1", "E"));
    tab->mapView()->setCenterCoordinate({35.6, 139.8}, false);
    tab->clickAddPin();
    settle();
    ASSERT_NE(tab->newPin(), nullptr);
    EXPECT_NEAR(tab->newPin()->coordinate().latitude, 35 + 30 / 60.0 + 45.12 / 3600, 1e-12);
    EXPECT_NEAR(tab->newPin()->coordinate().longitude, 139.75, 1e-12);
    EXPECT_EQ(tab->newPin()->subtitle(), "(35.51, 139.75)");
    EXPECT_FALSE(record->isGPSModified());
    EXPECT_FALSE(TAVBaseTabViewCltr::isPendingEdits());
    EXPECT_EQ(posts, 0);
    EXPECT_EQ(lat(), "35/1 30/1 4512/100");
    EXPECT_EQ(tab->staticLocate()->currentIndex(), 2);

    // Moved, it writes; the other photo's pin made earlier does not lend it its callout.
    drag(35.6, 139.8);
    EXPECT_TRUE(record->isGPSModified());
    EXPECT_EQ(lat(), "35/1 36/1 0/1 ");
    EXPECT_EQ(posts, 1);
    show(gpsRecord("10/1 0/1 0/1", "S", "20/1 0/1 0/1", "W"));
    tab->clickAddPin();
    settle();
    EXPECT_EQ(tab->newPin()->subtitle(), "(-10.00, -20.00)");

    // A photo without a place: the pin goes to the map's centre and is written.
    show(gpsRecord("", "", "", ""));
    tab->mapView()->setCenterCoordinate({48.5, 9.25}, false);
    tab->clickAddPin();
    settle();
    EXPECT_EQ(lat(), "48/1 30/1 0/1 ");
    EXPECT_EQ(lon(), "9/1 15/1 0/1 ");
    EXPECT_EQ(posts, 2);
}

TEST_F(GpsTabTest, TypedPartsAreCheckedWrittenAsTypedAndKeptAfterThePinMoves)
{
    show(gpsRecord("35/1 30/1 45/1", "N", "139/1 45/1 0/1", "E"));
    struct Case {
        QLineEdit* field;
        QString text;
        bool beeps;
        QString latitude;
    };
    const Case cases[] = {
        {tab->degreeField(true), "95", true, "35/1 30/1 45/1"},
        {tab->minuteField(true), "95", false, "35/1 95/1 45/1 "},
        {tab->secondField(true), "12a", true, "35/1 95/1 45/1 "},
        {tab->secondField(true), "19.521", false, "35/1 95/1 19521/1000 "},
        {tab->minuteField(true), "", false, "35/1 0/1 19521/1000 "},
        {tab->degreeField(true), "90", true, "35/1 0/1 19521/1000 "},
        {tab->secondField(true), "", false, "35/1 0/1 0/1 "},
        {tab->degreeField(true), "90", false, "90/1 0/1 0/1 "},
        {tab->minuteField(true), "30", true, "90/1 0/1 0/1 "},
    };
    for (const Case& c : cases) {
        const int beeps = ui.beeps();
        const QString before = c.field->text();
        type(c.field, c.text);
        settle();
        EXPECT_EQ(ui.beeps() - beeps, c.beeps ? 1 : 0) << c.text.toStdString();
        EXPECT_EQ(c.field->text(), c.beeps ? before : c.text) << c.text.toStdString();
        EXPECT_EQ(lat(), c.latitude) << c.text.toStdString();
    }
    EXPECT_EQ(lon(), "139/1 45/1 0/1"); // the other axis is never rewritten
    const int posted = posts;
    type(tab->degreeField(true), "90");
    EXPECT_EQ(posts, posted); // an unchanged end posts nothing

    // Fractional seconds typed stay as typed after the red pin is placed.
    type(tab->degreeField(true), "45");
    type(tab->secondField(true), "45");
    settle();
    EXPECT_EQ(tab->secondField(true)->text(), "45");
    ASSERT_NE(tab->newPin(), nullptr);
    EXPECT_NEAR(tab->newPin()->coordinate().latitude, 45.0125, 1e-9);

    // South flips only the hemisphere.
    tab->directionPopup(true)->setCurrentIndex(2);
    emit tab->directionPopup(true)->activated(2);
    EXPECT_EQ(lat(), "45/1 0/1 45/1 ");
    EXPECT_EQ(latRef(), "S");
    EXPECT_EQ(tab->decimalField(true)->text(), "-45.012500");
    EXPECT_NEAR(tab->newPin()->coordinate().latitude, -45.0125, 1e-9);

    // All three parts emptied clear the axis.
    type(tab->degreeField(false), "");
    type(tab->minuteField(false), "");
    type(tab->secondField(false), "");
    EXPECT_EQ(lon(), "");
    EXPECT_EQ(lonRef(), "");
}

TEST_F(GpsTabTest, DecimalFieldsRefuseHalfTypedAndOversizedTexts)
{
    show(gpsRecord("35/1 30/1 45/1", "N", "139/1 45/1 0/1", "W"));
    QLineEdit* field = tab->decimalField(false);
    EXPECT_EQ(field->text(), "-139.750000");

    int beeps = ui.beeps();
    type(field, "-");
    EXPECT_EQ(ui.beeps(), beeps + 1);
    EXPECT_EQ(field->text(), "-139.750000");
    EXPECT_EQ(posts, 0);

    // A full field still shortens; only a longer text is refused, with a beep.
    field->setText("-139.7500001");
    field->end(false);
    beeps = ui.beeps();
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), "-139.750000");
    field->setText("-139.7500001");
    field->end(false);
    QTest::keyClick(field, Qt::Key_5);
    EXPECT_EQ(field->text(), "-139.7500001");
    EXPECT_EQ(ui.beeps(), beeps + 1);
    QTest::keyClicks(tab->decimalField(true), "x");
    EXPECT_EQ(tab->decimalField(true)->text(), "35.512500");

    // A typed decimal is written exactly, this axis only.
    type(field, "-151.2093");
    EXPECT_EQ(lon(), "151/1 12/1 3348/100 ");
    EXPECT_EQ(parts(false), (QStringList{"151", "12", "33.48", "West"}));
    EXPECT_EQ(lonRef(), "W");
    EXPECT_EQ(lat(), "35/1 30/1 45/1");
    EXPECT_EQ(posts, 1);

    // An emptied decimal clears its axis and does not send the map to 0.
    tab->mapView()->setCenterCoordinate({20.0, 30.0}, false);
    type(tab->decimalField(true), "");
    EXPECT_EQ(lat(), "");
    EXPECT_NEAR(tab->mapView()->centerCoordinate().latitude, 20.0, 1e-6);
}

TEST_F(GpsTabTest, PresetsClearAndNewRecordsStartFromEmptyFields)
{
    show(gpsRecord("", "", "", ""));
    hold(35.5125, 139.75);
    const auto preset = tab->genDictionayFromSetting();
    ASSERT_TRUE(preset.has_value());
    EXPECT_EQ(preset->value(TAVGPSViewController::kLatitudeKey)->value(), "35/1 30/1 45/1");
    EXPECT_EQ(preset->value(TAVGPSViewController::kLatitudeRefKey)->value(), "North");
    EXPECT_TRUE(preset->value(TAVGPSViewController::kLongitudeKey)->isModified());
    // The altitude shown in metres goes back as the file's rational.
    EXPECT_EQ(preset->value(TAVGPSViewController::kAltitudeKey)->value(), "125/10");

    posts = 0;
    tab->clickClearGPS();
    EXPECT_EQ(posts, 1);
    EXPECT_TRUE(record->isGpsClear());
    EXPECT_EQ(tab->decimalField(true)->text(), "");

    // A modified record shows its version; the next record's preset must not
    // carry it over.
    auto withVersion = gpsRecord("1/1 0/1 0/1", "N", "1/1 0/1 0/1", "E");
    withVersion->setValue("5/1", TAVGPSViewController::kAltitudeKey, TAVExifData::CategoryGps, false, false, true);
    show(withVersion);
    EXPECT_EQ(tab->versionField()->text(), "2 2 0 0");
    show(gpsRecord("", "", "", "", true));
    const auto next = tab->genDictionayFromSetting();
    EXPECT_EQ(next->value(TAVGPSViewController::kVersionKey)->value(), "");
    EXPECT_EQ(next->value(TAVGPSViewController::kAltitudeRefKey)->value(), "");
}

TEST_F(GpsTabTest, SearchTriesPlacesThenTheGeocoder)
{
    show(gpsRecord("", "", "", ""));
    tab->clickSearch();
    EXPECT_EQ(ui.beeps(), 1);
    EXPECT_EQ(server.requestCount(), 0);

    // A place search hit shows its region; no pin moves.
    hold(10.0, 10.0);
    placeAnswer = LoopbackResponse::json(R"([{"boundingbox": ["48.0", "49.0", "9.0", "10.0"]}])");
    tab->searchField()->setText("Stuttgart");
    tab->clickSearch();
    ASSERT_TRUE(pumpUntil([&] { return tab->mapView()->centerCoordinate().longitude > 9.0; }));
    EXPECT_NEAR(tab->newPin()->coordinate().latitude, 10.0, 1e-9);

    // No place: the geocoder's hit centres at zoom 15 and moves the red pin of a changed record.
    placeAnswer = LoopbackResponse::json("[]");
    geoAnswer = LoopbackResponse::json(R"([{"lat": "-33.8688", "lon": "151.2093"}])");
    const int posted = posts;
    // Another text: the service's answers are kept for the session.
    tab->searchField()->setText("Sydney");
    tab->clickSearch();
    ASSERT_TRUE(pumpUntil([&] { return tab->mapView()->centerCoordinate().longitude > 150.0; }));
    settle();
    EXPECT_EQ(tab->mapView()->zoomLevel(), 15);
    EXPECT_EQ(lat(), "33/1 52/1 768/100 ");
    EXPECT_EQ(posts, posted + 1);

    // Misses and unreadable answers change nothing.
    for (const QByteArray& body : {QByteArray("[]"), QByteArray("not json")}) {
        geoAnswer = LoopbackResponse::json(body);
        const int requests = server.requestCount();
        tab->mapView()->setCenterCoordinate({1.0, 2.0}, false);
        tab->searchField()->setText(QStringLiteral("Nowhere ") + QString::fromLatin1(body));
        tab->clickSearch();
        ASSERT_TRUE(pumpUntil([&] { return server.requestCount() >= requests + 2; }));
        for (int i = 0; i < 20; ++i) {
            clock.advance(0.1);
            QCoreApplication::processEvents();
        }
        EXPECT_NEAR(tab->mapView()->centerCoordinate().longitude, 2.0, 1e-6) << body.toStdString();
        EXPECT_EQ(lat(), "33/1 52/1 768/100 ");
    }

    // Both services answering without end: each is stopped at its cap, and
    // the map and the pin stay.
    placeAnswer = HostileAnswers::endless();
    geoAnswer = HostileAnswers::endless();
    {
        MapLogCapture log;
        tab->searchField()->setText("Endless");
        tab->clickSearch();
        ASSERT_TRUE(pumpUntil([&] { return log.count(QStringLiteral("answer longer than")) == 2; }));
        clock.advance(1.0);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return log.count(QStringLiteral("network error: place search")) >= 1
                    && log.count(QStringLiteral("network error: map page request")) >= 1;
            },
            kPatientMs));
        EXPECT_EQ(log.count(QStringLiteral("network error: place search")), 1);
        EXPECT_EQ(log.count(QStringLiteral("network error: map page request")), 1);
        EXPECT_NEAR(tab->mapView()->centerCoordinate().longitude, 2.0, 1e-6);
        EXPECT_EQ(lat(), "33/1 52/1 768/100 ");
    }

    // An unchanged record: the map moves, no pin is placed.
    show(gpsRecord("", "", "", ""));
    geoAnswer = LoopbackResponse::json(R"([{"lat": "48.5", "lon": "9.25"}])");
    tab->searchField()->setText("Tuebingen");
    tab->clickSearch();
    ASSERT_TRUE(pumpUntil([&] { return qAbs(tab->mapView()->centerCoordinate().latitude - 48.5) < 1e-6; }));
    EXPECT_EQ(lat(), "");
}

// The version, the altitude and its reference show what the file holds and
// no save writes them: none takes a key, a paste, a cut, an undo or a wheel
// turn, so nothing is shown that would be dropped, nothing is marked or
// posted and the record keeps its values. Their text still selects and copies.
TEST_F(GpsTabTest, TheFieldsNoSaveWritesShowTheirValuesAndTakeNoInput)
{
    show(gpsRecord("35/1 30/1 4512/100", "N", "139/1 45/1 0/1", "E"));
    tab->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tab.get()));
    const struct {
        QLineEdit* field;
        const char* shown;
        QString key;
        const char* stored;
    } fields[] = {
        {tab->versionField(), "2 2 0 0", TAVGPSViewController::kVersionKey, "2 2 0 0"},
        {tab->altitudeRefField(), "1", TAVGPSViewController::kAltitudeRefKey, "1"},
        {tab->altitudeField(), "12.5", TAVGPSViewController::kAltitudeKey, "125/10"},
    };
    for (const auto& [field, shown, key, stored] : fields) {
        SCOPED_TRACE(shown);
        ASSERT_EQ(field->text(), shown);
        QGuiApplication::clipboard()->setText("321");
        QTest::mouseClick(field, Qt::LeftButton, {}, field->rect().center());
        ASSERT_TRUE(field->hasFocus());
        QTest::keyClick(field, Qt::Key_End);
        QTest::keyClicks(field, "48");
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClick(field, Qt::Key_Home);
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_X, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
        for (const int delta : {120, -120}) {
            const QPointF at = field->rect().center();
            QWheelEvent wheel(
                at, field->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(field, &wheel);
        }
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(field->text(), shown);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "321");
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), shown);
        field->clearFocus();
        EXPECT_EQ(value(key), stored);
    }
    EXPECT_FALSE(TAVBaseTabViewCltr::isPendingEdits());
    EXPECT_EQ(posts, 0);
    EXPECT_FALSE(record->isGPSModified());
}

TEST_F(GpsTabTest, Gallery)
{
    show(gpsRecord("40/1 0/1 1471/100", "N", "74/1 0/1 19521/1000", "W"));
    hold(42.5, -71.06);
    tab->show();
    settle();
    EXPECT_EQ(tab->tipsView()->geometry(), QRect((tab->mapView()->width() - 280) / 2, 4, 280, 20));
    EXPECT_TRUE(Gallery::capture(tab.get(), "gps-tab"));
    tab->didFailLoadingMap(tab->mapView(), MapError{});
    EXPECT_TRUE(Gallery::capture(tab.get(), "gps-tab-load-error"));
}

TEST_F(GpsTabTest, EveryPartOfAPlaceShowsWhole)
{
    // Files store minutes with decimals (36 35.8465 0, as a phone writes
    // them), and seconds and decimals to their last digit. A part shown cut
    // on the left reads as another place: "5.8465" minutes instead of 35.8465.
    show(gpsRecord("36/1 358465/10000 0/1", "N", "179/1 304560/10000 0/1", "W"));
    EXPECT_EQ(parts(true), (QStringList{"36", "35.8465", "0", "North"}));
    tab->show();
    settle();
    const auto showsWhole = [](QLineEdit* field) {
        const int frame = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, field);
        const int room = field->width() - 2 * frame - 4;
        return field->fontMetrics().horizontalAdvance(field->text()) <= room;
    };
    for (const bool latitude : {true, false}) {
        for (QLineEdit* field : {tab->degreeField(latitude), tab->minuteField(latitude), tab->secondField(latitude),
                 tab->decimalField(latitude)}) {
            EXPECT_TRUE(showsWhole(field)) << field->text().toStdString() << " in " << field->width() << " px";
        }
    }
    show(gpsRecord("89/1 59/1 599999/10000", "S", "179/1 59/1 599999/10000", "E"));
    EXPECT_EQ(tab->secondField(true)->text(), "59.9999");
    for (QLineEdit* field : {tab->secondField(true), tab->decimalField(true), tab->decimalField(false)}) {
        EXPECT_TRUE(showsWhole(field)) << field->text().toStdString() << " in " << field->width() << " px";
    }
}

TEST_F(GpsTabTest, APlaceIsSearchedOnlyWhenReturnIsPressed)
{
    show(gpsRecord("", "", "", ""));
    placeAnswer = LoopbackResponse::json(R"([{"boundingbox": ["48.0", "49.0", "9.0", "10.0"]}])");
    tab->show();
    tab->searchField()->setFocus();
    QTest::keyClicks(tab->searchField(), QStringLiteral("Paris"));
    tab->secondField(true)->setFocus();
    clock.advance(2.0);
    QTest::qWait(50);
    EXPECT_EQ(server.requestCount(), 0) << "neither typing nor leaving the field searches";
    tab->searchField()->setFocus();
    QTest::keyClick(tab->searchField(), Qt::Key_Return);
    ASSERT_TRUE(pumpUntil([&] { return server.requestCount() == 1; }));
    EXPECT_EQ(server.requests().first().query().queryItemValue(QStringLiteral("q")), QStringLiteral("Paris"));
}
