#pragma once

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <map>

// Time for the map components: now() and delayed calls that can be cancelled.
// Every hold threshold, delay and script timer runs on one of these, so tests
// swap in a ManualMapClock and decide when time passes.
class MapClock {
public:
    using Handle = std::uint64_t;

    virtual ~MapClock() = default;

    // Seconds on a monotonic scale; only differences mean anything.
    virtual double now() const = 0;
    // Calls `work` once after `seconds` on the GUI thread, unless cancelled or
    // `context` is gone by then. Never calls it before this returns.
    virtual Handle callAfter(double seconds, QObject* context, std::function<void()> work) = 0;
    virtual void cancel(Handle handle) = 0;
    // Whether fades and map moves should animate; a manual clock makes them instant.
    virtual bool animates() const { return true; }

    // The clock that new map components take: the real one unless a test set another.
    static MapClock* defaultClock();
    // Replaces the default clock (nullptr restores the real one). Not owned.
    static void setDefaultClock(MapClock* clock);
    // The real clock, on Qt timers.
    static MapClock* system();
};

// A clock that moves only when told: advance() runs every due call in time order.
class ManualMapClock : public MapClock {
public:
    double now() const override { return now_; }
    Handle callAfter(double seconds, QObject* context, std::function<void()> work) override;
    void cancel(Handle handle) override;
    bool animates() const override { return false; }

    // Moves time forward, running the calls that fall due on the way (also ones
    // that the calls themselves schedule within the interval).
    void advance(double seconds);
    int pendingCount() const { return static_cast<int>(pending_.size()); }

private:
    struct Pending {
        double due = 0.0;
        QPointer<QObject> context;
        bool hasContext = false;
        std::function<void()> work;
    };
    double now_ = 1000.0;
    Handle next_ = 1;
    std::map<Handle, Pending> pending_;
};
