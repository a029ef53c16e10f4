#include "webmapkit/MapSearchPacing.h"

#include "webmapkit/MapClock.h"

#include <QCoreApplication>

#include <algorithm>

MapSearchPacing* MapSearchPacing::shared()
{
    static MapSearchPacing* pacing = new MapSearchPacing(QCoreApplication::instance());
    return pacing;
}

double MapSearchPacing::reserve()
{
    const MapClock* clock = MapClock::defaultClock();
    const double now = clock->now();
    // Turns counted on another clock (a test swapped it) mean nothing on this one.
    if (clock != clock_) {
        nextTurn_ = now;
        clock_ = clock;
    }
    const double turn = std::max(now, nextTurn_);
    nextTurn_ = turn + kSpacingSeconds;
    return turn - now;
}

QVariant MapSearchPacing::cachedAnswer(const QString& url) const
{
    const auto found = answers_.constFind(url);
    return found == answers_.constEnd() ? QVariant() : QVariant(found.value());
}

void MapSearchPacing::keepAnswer(const QString& url, const QString& answer)
{
    if (answers_.size() >= kMaxAnswers) {
        answers_.clear();
    }
    answers_.insert(url, answer);
}
