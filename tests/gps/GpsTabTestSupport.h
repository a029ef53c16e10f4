#pragma once

#include "commlib/TAVBaseTabViewCltr.h"
#include "foundation/NotificationHub.h"
#include "foundation/UiServices.h"
#include "gps/TAVGPSViewController.h"
#include "gps/TileMapTestSupport.h"
#include "gps/VXMapView.h"
#include "models/record/TAVEntity.h"
#include "support/FakeUiServices.h"
#include "support/LoopbackHttpServer.h"
#include "support/Patience.h"
#include "webmapkit/GMKMapView.h"
#include "webmapkit/JsPageHost.h"
#include "webmapkit/MapSearchPacing.h"
#include "webmapkit/MemoryTileSource.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// A GPS record as read from a file: the read values and equal user-set ones,
// with a version and an altitude unless `bare`.
inline TAVExifDataPtr gpsRecord(const QString& latitude, const QString& latitudeRef, const QString& longitude,
    const QString& longitudeRef, bool bare = false)
{
    const QList<QPair<QString, QString>> values{
        {TAVGPSViewController::kVersionKey, bare ? QString() : QStringLiteral("2 2 0 0")},
        {TAVGPSViewController::kAltitudeRefKey, bare ? QString() : QStringLiteral("1")},
        {TAVGPSViewController::kAltitudeKey, bare ? QString() : QStringLiteral("125/10")},
        {TAVGPSViewController::kLatitudeKey, latitude}, {TAVGPSViewController::kLatitudeRefKey, latitudeRef},
        {TAVGPSViewController::kLongitudeKey, longitude}, {TAVGPSViewController::kLongitudeRefKey, longitudeRef}};
    TAVEntityMap map;
    for (const auto& [key, value] : values) {
        map.insert(key, TAVEntity::entityWithValue(value, key));
    }
    auto record = TAVExifData::create();
    record->initImageExifData(map, TAVExifData::CategoryGps);
    return record;
}

// An offscreen GPS tab over tiles in memory, a manual clock, a counting beep
// and a count of change notifications. The place search and geocoder point at
// one loopback server: "/places" answers `placeAnswer`, "/geo" `geoAnswer`.
class GpsTabTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MapClock::setDefaultClock(&clock);
        MapSearchPacing::shared()->forget();
        UiServices::setShared(&ui);
        TAVBaseTabViewCltr::setPendingEdits(false);
        ASSERT_TRUE(server.start());
        server.setHandler([this](const LoopbackRequest& request) {
            return request.target.startsWith("/places") ? placeAnswer : geoAnswer;
        });
        qputenv("LUMETTA_PLACESEARCHURL", server.url(QStringLiteral("/places")).toUtf8());
        qputenv("LUMETTA_GEOCODERURL", server.url(QStringLiteral("/geo")).toUtf8());
        source = new MemoryTileSource(); // the map owns it
        source->setEveryTile(numberedTile(TileKey{}));
        tab = std::make_unique<TAVGPSViewController>(source);
        QSignalSpy loaded(tab->webMapView()->host(), &ScriptBridge::loadFinished);
        tab->resize(900, 620);
        tab->setEditEnable(true);
        observer = NotificationHub::defaultHub().addObserver(
            this, TAVBaseTabViewCltr::kNotiFileMetadataHasChanged, [this](const Notification&) { ++posts; });
        ASSERT_TRUE(loaded.wait(kPatientMs));
    }
    void TearDown() override
    {
        NotificationHub::defaultHub().removeObserver(this);
        tab.reset();
        qputenv("LUMETTA_PLACESEARCHURL", "");
        qputenv("LUMETTA_GEOCODERURL", "");
        UiServices::setShared(nullptr);
        MapClock::setDefaultClock(nullptr);
        TAVBaseTabViewCltr::setPendingEdits(false);
    }

    // Lets time pass on the manual clock (searches wait their turns) until
    // `done`: at most 20 s of it, well within a request's deadline, and then
    // real time alone, as the answers of a busy machine may come late.
    template <typename Done> bool pumpUntil(Done done)
    {
        const QDeadlineTimer patience(kPatientMs);
        for (int step = 0; !done() && !patience.hasExpired(); ++step) {
            if (step < 200) {
                clock.advance(0.1);
            }
            QTest::qWait(5);
        }
        return done();
    }
    // Lets the map make and report pin views and run due callouts.
    void settle()
    {
        QCoreApplication::processEvents();
        clock.advance(1.0);
        QCoreApplication::processEvents();
    }
    QString value(const QString& key) const { return record->getValueForKey(key, TAVExifData::CategoryGps); }
    QString lat() const { return value(TAVGPSViewController::kLatitudeKey); }
    QString latRef() const { return value(TAVGPSViewController::kLatitudeRefKey); }
    QString lon() const { return value(TAVGPSViewController::kLongitudeKey); }
    QString lonRef() const { return value(TAVGPSViewController::kLongitudeRefKey); }
    QStringList parts(bool latitude) const
    {
        return {tab->degreeField(latitude)->text(), tab->minuteField(latitude)->text(),
            tab->secondField(latitude)->text(), tab->directionPopup(latitude)->currentText()};
    }
    void show(const TAVExifDataPtr& shown)
    {
        record = shown;
        tab->setImgExifData(record);
        settle();
    }
    // Types into a field as a user does and ends the editing with Return.
    static void type(QLineEdit* field, const QString& text)
    {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }
    void hold(double latitude, double longitude)
    {
        tab->userDidClickAndHoldAtCoordinate(tab->mapView(), {latitude, longitude});
        settle();
    }
    void drag(double latitude, double longitude, unsigned lastState = TileAnnotationView::DragEnding)
    {
        const auto view = tab->mapView()->viewForAnnotation(pinPtr());
        ASSERT_TRUE(view);
        tab->didChangeDragState(tab->mapView(), view, TileAnnotationView::DragStarting, TileAnnotationView::DragNone);
        if (lastState == TileAnnotationView::DragEnding) {
            pinPtr()->setCoordinate({latitude, longitude});
        }
        tab->didChangeDragState(tab->mapView(), view, lastState, TileAnnotationView::DragDragging);
        settle();
    }
    GMKAnnotationPtr pinPtr() const
    {
        for (const GMKAnnotationPtr& annotation : tab->mapView()->annotations()) {
            if (annotation.get() == tab->newPin()) {
                return annotation;
            }
        }
        return nullptr;
    }

    ManualMapClock clock;
    FakeUiServices ui;
    MemoryTileSource* source = nullptr;
    LoopbackHttpServer server;
    LoopbackResponse placeAnswer = LoopbackResponse::json("[]");
    LoopbackResponse geoAnswer = LoopbackResponse::json("[]");
    std::unique_ptr<TAVGPSViewController> tab;
    TAVExifDataPtr record;
    NotificationHub::ObserverId observer{};
    int posts = 0;
};
