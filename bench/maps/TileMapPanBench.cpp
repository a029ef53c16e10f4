// Times the tile map where a user would feel it:
// 1. panning over tiles already in memory, frame by frame, against the floor of
//    drawing the same tile pictures straight into an image;
// 2. loading a screenful of tiles from a slow loopback tile server (30 ms per
//    tile, on its own thread), measuring the longest gap of the GUI event loop
//    meanwhile: downloads must never make the GUI wait.
#include "gps/TileMapView.h"
#include "support/LoopbackHttpServer.h"
#include "webmapkit/HttpTileSource.h"
#include "webmapkit/MapNetwork.h"
#include "webmapkit/MemoryTileSource.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QPainter>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr int kSteps = 600;
constexpr int kServerDelayMs = 30;

struct LoadWatcher : QObject, TileMapViewDelegate {
    int ends = 0;
    void didFinishLoadingMap(TileMapView*) override { ++ends; }
    void didFailLoadingMap(TileMapView*, const MapError&) override { ++ends; }
};

QImage tilePicture()
{
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(QColor(222, 230, 214));
    QPainter painter(&image);
    painter.setPen(QPen(QColor(255, 255, 255), 6));
    painter.drawLine(0, 40, 256, 200);
    painter.drawLine(90, 0, 140, 256);
    return image;
}

void waitFor(const LoadWatcher& watcher, int ends)
{
    QElapsedTimer timer;
    timer.start();
    while (watcher.ends < ends && timer.elapsed() < 20000) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

struct FrameTimes {
    double meanUs = 0;
    double p99Us = 0;
    double maxUs = 0;
};

FrameTimes summarise(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    FrameTimes result;
    for (double t : times) {
        result.meanUs += t / static_cast<double>(times.size());
    }
    result.p99Us = times[times.size() * 99 / 100];
    result.maxUs = times.back();
    return result;
}

// One step east-south-east per frame: the route both passes take.
void step(TileMapView& map)
{
    map.setCenterCoordinate(map.convertPointToCoordinate(QPointF(kWidth / 2.0 + 8, kHeight / 2.0 + 3)), false);
}

FrameTimes panCached()
{
    auto* source = new MemoryTileSource();
    source->setEveryTile(tilePicture());
    TileMapView map(source);
    LoadWatcher watcher;
    map.setDelegate(&watcher);
    map.resize(kWidth, kHeight);
    map.setRegion(MapRegion{{35.68, 139.76}, 0.0, 0.35}, false);
    map.show();
    // First pass: every tile of the route comes into memory.
    for (int i = 0; i < kSteps; ++i) {
        step(map);
        QApplication::processEvents();
    }
    map.setRegion(MapRegion{{35.68, 139.76}, 0.0, 0.35}, false);
    QApplication::processEvents();
    std::vector<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < kSteps; ++i) {
        timer.start();
        step(map);
        map.repaint();
        QApplication::processEvents();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
    }
    return summarise(times);
}

FrameTimes floorDrawing()
{
    const QImage tile = tilePicture();
    QImage screen(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    std::vector<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < kSteps; ++i) {
        timer.start();
        QPainter painter(&screen);
        const int dx = -(i * 8) % 256;
        const int dy = -(i * 3) % 256;
        for (int y = dy; y < kHeight; y += 256) {
            for (int x = dx; x < kWidth; x += 256) {
                painter.drawImage(QPoint(x, y), tile);
            }
        }
        painter.end();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
    }
    return summarise(times);
}

void loadFromSlowServer()
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    tilePicture().save(&buffer, "PNG");

    QThread serverThread;
    QObject anchor;
    anchor.moveToThread(&serverThread);
    serverThread.start();
    LoopbackHttpServer* server = nullptr;
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
    auto* source = new HttpTileSource(server->url(QStringLiteral("/tiles/{z}/{x}/{y}.png")), QString(), QString());
    TileMapView map(source);
    LoadWatcher watcher;
    map.setDelegate(&watcher);
    map.resize(kWidth, kHeight);
    map.setRegion(MapRegion{{48.14, 11.58}, 0.0, 0.7}, false);

    qint64 longestGapMs = 0;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&]() {
        longestGapMs = std::max(longestGapMs, sinceTick.elapsed());
        sinceTick.restart();
    });
    ticker.start(1);
    QElapsedTimer total;
    total.start();
    map.show();
    waitFor(watcher, 1);
    const qint64 firstScreen = total.elapsed();
    map.setRegion(MapRegion{{48.14, 11.58}, 0.0, 0.35}, false);
    waitFor(watcher, 2);
    ticker.stop();

    const int requests = server->requestCount();
    QMetaObject::invokeMethod(
        &anchor, [&]() { delete server; }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
    std::printf(
        "download: %d tiles at %d ms each, first screen %lld ms, both screens %lld ms, longest GUI gap %lld ms\n",
        requests, kServerDelayMs, static_cast<long long>(firstScreen), static_cast<long long>(total.elapsed()),
        static_cast<long long>(longestGapMs));
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

    const FrameTimes pan = panCached();
    const FrameTimes floor = floorDrawing();
    std::printf("pan over cached tiles, %dx%d, %d frames: mean %.0f us, p99 %.0f us, max %.0f us\n", kWidth, kHeight,
        kSteps, pan.meanUs, pan.p99Us, pan.maxUs);
    std::printf(
        "floor (drawing the tile pictures only): mean %.0f us; ratio %.2f\n", floor.meanUs, pan.meanUs / floor.meanUs);
    loadFromSlowServer();
    return 0;
}
