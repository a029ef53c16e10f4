// Steps the GPS tab through 1,000 photos spread over 25 places, as a user
// holding the arrow key in the photo list does, with tiles from a slow
// loopback server (30 ms per tile, on its own thread):
// 1. cold: the tiles are downloaded; the GUI must never wait for them;
// 2. warm: the same steps again, every tile from the disk cache;
// against the floor of the same steps over tiles held in memory.
#include "gps/TAVGPSViewController.h"
#include "models/record/TAVEntity.h"
#include "support/LoopbackHttpServer.h"
#include "webmapkit/HttpTileSource.h"
#include "webmapkit/MapNetwork.h"
#include "webmapkit/MemoryTileSource.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kPhotos = 1000;
constexpr int kPlaces = 25;
constexpr int kServerDelayMs = 30;

std::vector<TAVExifDataPtr> makeRecords()
{
    std::vector<TAVExifDataPtr> records;
    for (int i = 0; i < kPhotos; ++i) {
        const int place = i % kPlaces;
        TAVEntityMap map;
        auto put = [&map](const QString& key, const QString& value) {
            map.insert(key, TAVEntity::entityWithValue(value, key));
        };
        put(TAVGPSViewController::kLatitudeKey, QStringLiteral("%1/1 %2/1 1471/100").arg(20 + place).arg(place));
        put(TAVGPSViewController::kLatitudeRefKey, QStringLiteral("N"));
        put(TAVGPSViewController::kLongitudeKey, QStringLiteral("%1/1 30/1 0/1").arg(place * 6));
        put(TAVGPSViewController::kLongitudeRefKey, QStringLiteral("E"));
        auto record = TAVExifData::create();
        record->initImageExifData(map, TAVExifData::CategoryGps);
        records.push_back(record);
    }
    return records;
}

struct Pass {
    double meanUs = 0;
    double maxUs = 0;
    qint64 longestGapMs = 0;
};

Pass step(TAVGPSViewController& tab, const std::vector<TAVExifDataPtr>& records)
{
    qint64 longestGapMs = 0;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&]() {
        longestGapMs = std::max(longestGapMs, sinceTick.elapsed());
        sinceTick.restart();
    });
    ticker.start(1);
    Pass pass;
    double total = 0;
    for (const TAVExifDataPtr& record : records) {
        QElapsedTimer timer;
        timer.start();
        tab.setImgExifData(record);
        QCoreApplication::processEvents();
        const double us = double(timer.nsecsElapsed()) / 1000.0;
        total += us;
        pass.maxUs = std::max(pass.maxUs, us);
    }
    // Let the last downloads land before the next pass.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1500) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ticker.stop();
    pass.meanUs = total / double(records.size());
    pass.longestGapMs = longestGapMs;
    return pass;
}

QByteArray tilePng()
{
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(QColor(220, 230, 210));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QStandardPaths::setTestModeEnabled(true);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("LumettaBench"));
    const std::vector<TAVExifDataPtr> records = makeRecords();

    QThread serverThread;
    QObject anchor;
    anchor.moveToThread(&serverThread);
    serverThread.start();
    LoopbackHttpServer* server = nullptr;
    const QByteArray png = tilePng();
    QMetaObject::invokeMethod(
        &anchor,
        [&]() {
            server = new LoopbackHttpServer();
            server->start();
            server->setHandler([png](const LoopbackRequest&) {
                QThread::msleep(kServerDelayMs);
                return LoopbackResponse::png(png);
            });
        },
        Qt::BlockingQueuedConnection);
    MapNetwork::shared()->clearCache();

    int coldRequests = 0;
    int warmRequests = 0;
    Pass cold;
    Pass warm;
    {
        TAVGPSViewController tab(
            new HttpTileSource(server->url(QStringLiteral("/tiles/{z}/{x}/{y}.png")), QString(), QString()));
        tab.resize(900, 620);
        tab.show();
        cold = step(tab, records);
        coldRequests = server->requestCount();
    }
    {
        TAVGPSViewController tab(
            new HttpTileSource(server->url(QStringLiteral("/tiles/{z}/{x}/{y}.png")), QString(), QString()));
        tab.resize(900, 620);
        tab.show();
        warm = step(tab, records);
        warmRequests = server->requestCount() - coldRequests;
    }
    Pass floor;
    {
        auto* memory = new MemoryTileSource();
        QImage tile;
        tile.loadFromData(png);
        memory->setEveryTile(tile);
        TAVGPSViewController tab(memory);
        tab.resize(900, 620);
        tab.show();
        floor = step(tab, records);
    }
    QMetaObject::invokeMethod(
        &anchor, [&]() { delete server; }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();

    std::printf("GPS tab, %d photos over %d places, tiles at %d ms each\n", kPhotos, kPlaces, kServerDelayMs);
    std::printf("cold: mean %.0f us, max %.0f us per step, longest GUI gap %lld ms, %d tile requests\n", cold.meanUs,
        cold.maxUs, static_cast<long long>(cold.longestGapMs), coldRequests);
    std::printf("warm: mean %.0f us, max %.0f us per step, longest GUI gap %lld ms, %d tile requests\n", warm.meanUs,
        warm.maxUs, static_cast<long long>(warm.longestGapMs), warmRequests);
    std::printf("floor (tiles in memory): mean %.0f us, max %.0f us; ratio cold %.2f, warm %.2f\n", floor.meanUs,
        floor.maxUs, cold.meanUs / floor.meanUs, warm.meanUs / floor.meanUs);
    return 0;
}
