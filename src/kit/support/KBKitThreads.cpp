#include "kit/support/KBKitThreads.h"

#include "kit/support/KBMainQueue.h"
#include "kit/support/KBRealClock.h"
#include "kit/support/KBThreadPool.h"

bool KBKitThreads::end(std::chrono::milliseconds grace)
{
    // Timers first, so a retry or a periodic timer cannot keep feeding the
    // pool while it drains; the main queue's thread last, since pool work
    // hands blocks to it.
    const bool timersEnded = KBRealClock::endTimerThread(grace);
    const bool poolEnded = KBThreadPool::finish(grace);
    const bool mainEnded = KBMainQueue::endDedicatedThread(grace);
    return timersEnded && poolEnded && mainEnded;
}
