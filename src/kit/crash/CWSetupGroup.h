#pragma once

#include <functional>
#include <memory>

class KBClock;
class KBQueue;

// Counts the set-up jobs running on the global queue. When the last one leaves,
// the completion runs on its queue; the launching thread waits for that with a
// time limit measured on the kit's clock, so tests can run out the limit without
// waiting in real time.
class CWSetupGroup {
public:
    CWSetupGroup();

    // Runs `job` on `queue` as a member of the group.
    void async(const std::shared_ptr<KBQueue>& queue, std::function<void()> job);
    // Runs `completion` on `queue` once every job has finished. Called once,
    // after the last job was added.
    void notify(const std::shared_ptr<KBQueue>& queue, std::function<void()> completion);
    // True when the completion has run; false when `seconds` passed on `clock` first.
    bool wait(KBClock& clock, double seconds);

private:
    struct State;
    std::shared_ptr<State> state_;
};
