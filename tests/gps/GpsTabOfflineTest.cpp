#include "gps/GpsTabTestSupport.h"

#include "commlib/VXTipsView.h"
#include "support/Gallery.h"
#include "support/Patience.h"
#include "webmapkit/HttpTileSource.h"

#include <QPushButton>

// The GPS tab as a user without a network sees it: every tile, the place
// search and the page's geocoder reach a port nobody listens on.
class GpsTabOfflineTest : public GpsTabTest {
protected:
    void SetUp() override
    {
        GpsTabTest::SetUp();
        const QString nowhere = LoopbackHttpServer::refusedUrl();
        qputenv("LUMETTA_PLACESEARCHURL", (nowhere + "/places").toUtf8());
        qputenv("LUMETTA_GEOCODERURL", (nowhere + "/geo").toUtf8());
        tab = std::make_unique<TAVGPSViewController>(
            new HttpTileSource(nowhere + QStringLiteral("/{z}/{x}/{y}.png"), QString(), QString()));
        QSignalSpy loaded(tab->webMapView()->host(), &ScriptBridge::loadFinished);
        tab->resize(900, 620);
        tab->setEditEnable(true);
        ASSERT_TRUE(loaded.wait(kPatientMs));
    }
    QString hint() const { return tab->tipsView() ? tab->tipsView()->text() : QString(); }
    bool hintBecomes(const QString& text)
    {
        return pumpUntil([&] { return hint() == text; });
    }
    void search(const QString& text)
    {
        tab->searchField()->setText(text);
        tab->clickSearch();
    }

    const QString loadError = QStringLiteral("Load map ERROR, please check your network.");
};

TEST_F(GpsTabOfflineTest, FailedTilesSayWhyUntilTheMapLoadsAgain)
{
    show(gpsRecord("35/1 30/1 4512/100", "N", "139/1 45/1 0/1", "E"));
    tab->show();
    ASSERT_TRUE(hintBecomes(loadError)) << hint().toStdString();
    // The next photo lies on the same failed tiles: nothing is asked again,
    // and the map stays grey, so the hint must still say why.
    show(gpsRecord("36/1 0/1 0/1", "N", "139/1 0/1 0/1", "E"));
    hold(36.5, 139.5);
    EXPECT_EQ(hint(), loadError);
    EXPECT_TRUE(Gallery::capture(tab.get(), "gps-tab-offline"));
    // Tiles that load again bring the usual hints back.
    tab->didFinishLoadingMap(tab->mapView());
    settle();
    EXPECT_EQ(hint(), "Drag the red pin to locate a new place");
}

TEST_F(GpsTabOfflineTest, APlaceSearchThatFailsSaysSo)
{
    show(gpsRecord("", "", "", ""));
    tab->show();
    search(QStringLiteral("Tuebingen"));
    ASSERT_TRUE(hintBecomes("Search failed, please check your network.")) << hint().toStdString();
    EXPECT_TRUE(Gallery::capture(tab.get(), "gps-tab-search-failed"));

    // Services that answer, but know no such place.
    qputenv("LUMETTA_PLACESEARCHURL", server.url(QStringLiteral("/places")).toUtf8());
    qputenv("LUMETTA_GEOCODERURL", server.url(QStringLiteral("/geo")).toUtf8());
    tab = std::make_unique<TAVGPSViewController>(new MemoryTileSource());
    QSignalSpy loaded(tab->webMapView()->host(), &ScriptBridge::loadFinished);
    ASSERT_TRUE(loaded.wait(kPatientMs));
    show(gpsRecord("", "", "", ""));
    search(QStringLiteral("Nowhereville"));
    ASSERT_TRUE(hintBecomes("No place found by that name.")) << hint().toStdString();
    EXPECT_EQ(server.requestCount(), 2) << "the place search, then the page's geocoder";
}

TEST_F(GpsTabOfflineTest, SatelliteAndHybridNeedASatelliteService)
{
    for (const int type : {1, 2}) {
        EXPECT_FALSE(tab->mapTypeButton(type)->isEnabled()) << type;
        EXPECT_TRUE(tab->mapTypeButton(type)->toolTip().contains("No satellite map service is configured")) << type;
    }
    EXPECT_TRUE(tab->mapTypeButton(0)->isEnabled());
    EXPECT_TRUE(tab->mapTypeButton(0)->isChecked());
    tab->show();
    EXPECT_TRUE(Gallery::capture(tab.get(), "gps-tab-no-satellite"));

    const QString nowhere = LoopbackHttpServer::refusedUrl();
    tab = std::make_unique<TAVGPSViewController>(new HttpTileSource(nowhere + QStringLiteral("/street/{z}/{x}/{y}.png"),
        nowhere + QStringLiteral("/sky/{z}/{x}/{y}.jpg"), QString()));
    for (const int type : {1, 2}) {
        EXPECT_TRUE(tab->mapTypeButton(type)->isEnabled()) << type;
        EXPECT_TRUE(tab->mapTypeButton(type)->toolTip().isEmpty()) << type;
    }
    QTest::mouseClick(tab->mapTypeButton(1), Qt::LeftButton);
    EXPECT_EQ(tab->mapView()->mapType(), 1);
}
