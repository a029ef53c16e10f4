#pragma once

#include "gps/VXMapView.h"

#include <QObject>
#include <QStringList>
#include <set>

#include <functional>

// A map delegate that writes down what the map told it, in order, as short
// lines ("added 3", "drag 1<-0"), and answers only the operations it is told to.
class MapTestDelegate : public QObject, public VXMapViewDelegate {
public:
    QStringList events;
    QList<QList<TileAnnotationViewPtr>> addedBatches;
    QList<MapCoordinate> holds;
    QList<MapError> locationFailures;
    std::set<Op> unanswered;
    std::function<TileAnnotationViewPtr(const GMKAnnotationPtr&)> makeView;
    // Called at each drag-state change, before the event is written down.
    std::function<void(const TileAnnotationViewPtr&, unsigned newState)> onDrag;

    bool responds(Op op) const override { return unanswered.count(op) == 0; }

    TileAnnotationViewPtr viewForAnnotation(TileMapView*, const GMKAnnotationPtr& annotation) override
    {
        return makeView ? makeView(annotation) : nullptr;
    }
    void didAddAnnotationViews(TileMapView*, const QList<TileAnnotationViewPtr>& views) override
    {
        addedBatches.append(views);
        events.append(QStringLiteral("added %1").arg(views.size()));
    }
    void didChangeDragState(
        TileMapView*, const TileAnnotationViewPtr& view, unsigned newState, unsigned oldState) override
    {
        if (onDrag) {
            onDrag(view, newState);
        }
        events.append(QStringLiteral("drag %1<-%2").arg(newState).arg(oldState));
    }
    void willStartLoadingMap(TileMapView*) override { events.append(QStringLiteral("start")); }
    void didFinishLoadingMap(TileMapView*) override { events.append(QStringLiteral("finish")); }
    void didFailLoadingMap(TileMapView*, const MapError&) override { events.append(QStringLiteral("fail")); }
    void willStartLocatingUser(TileMapView*) override { events.append(QStringLiteral("locating")); }
    void didStopLocatingUser(TileMapView*) override { events.append(QStringLiteral("stopped")); }
    void didUpdateUserLocation(TileMapView*, GMKUserLocation*) override { events.append(QStringLiteral("located")); }
    void didFailToLocateUser(TileMapView*, const MapError& error) override
    {
        locationFailures.append(error);
        events.append(QStringLiteral("location failed %1").arg(error.code));
    }
    void userDidClickAndHoldAtCoordinate(VXMapView*, const MapCoordinate& coordinate) override
    {
        holds.append(coordinate);
    }

    QStringList loadEvents() const
    {
        QStringList loads;
        for (const QString& event : events) {
            if (event == QLatin1String("start") || event == QLatin1String("finish") || event == QLatin1String("fail")) {
                loads.append(event);
            }
        }
        return loads;
    }
};
