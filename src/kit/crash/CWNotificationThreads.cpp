#include "kit/crash/CWNotificationThreads.h"

#include "kit/crash/CWThreadAlternateStacks.h"

#include <dlfcn.h>
#include <mqueue.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace {

using NotifyFunction = void (*)(sigval);

// A slot's number in the low half of the value handed to the C library, its
// generation in the high half.
constexpr unsigned kIndexBits = sizeof(uintptr_t) * 4;
constexpr uintptr_t kIndexMask = (uintptr_t{1} << kIndexBits) - 1;

struct Slot {
    NotifyFunction function = nullptr;
    sigval value{};
    uintptr_t generation = 0;
    bool used = false;
    // Message-queue notifications fire once and then are gone.
    bool oneShot = false;
};

class Table {
public:
    std::optional<uintptr_t> add(NotifyFunction function, sigval value, bool oneShot)
    {
        std::lock_guard lock(mutex_);
        size_t index = slots_.size();
        if (!free_.empty()) {
            index = free_.back();
            free_.pop_back();
        } else if (index > kIndexMask) {
            return std::nullopt;
        } else {
            slots_.emplace_back();
        }
        Slot& slot = slots_[index];
        slot.function = function;
        slot.value = value;
        slot.used = true;
        slot.oneShot = oneShot;
        ++used_;
        return (slot.generation << kIndexBits) | index;
    }

    // The caller's function and value for a token; a one-shot slot goes.
    std::optional<Slot> find(uintptr_t token)
    {
        std::lock_guard lock(mutex_);
        Slot* slot = slotFor(token);
        if (slot == nullptr) {
            return std::nullopt;
        }
        const Slot found = *slot;
        if (found.oneShot) {
            release(token & kIndexMask);
        }
        return found;
    }

    void remove(uintptr_t token)
    {
        std::lock_guard lock(mutex_);
        if (slotFor(token) != nullptr) {
            release(token & kIndexMask);
        }
    }

    void bindTimer(timer_t timer, uintptr_t token)
    {
        std::lock_guard lock(mutex_);
        timers_[timer] = token;
    }
    void releaseTimer(timer_t timer) { releaseBinding(timers_, timer); }

    // A descriptor registers once at a time, so an earlier binding of it is
    // of a notification that fired or of a queue closed since.
    void bindQueue(mqd_t queue, uintptr_t token)
    {
        releaseQueue(queue);
        std::lock_guard lock(mutex_);
        queues_[queue] = token;
    }
    void releaseQueue(mqd_t queue) { releaseBinding(queues_, queue); }

    size_t usedCount()
    {
        std::lock_guard lock(mutex_);
        return used_;
    }

private:
    Slot* slotFor(uintptr_t token)
    {
        const size_t index = token & kIndexMask;
        if (index >= slots_.size()) {
            return nullptr;
        }
        Slot& slot = slots_[index];
        return slot.used && slot.generation == (token >> kIndexBits) ? &slot : nullptr;
    }

    void release(size_t index)
    {
        Slot& slot = slots_[index];
        slot = Slot{nullptr, {}, (slot.generation + 1) & kIndexMask, false, false};
        free_.push_back(index);
        --used_;
    }

    template <typename Key> void releaseBinding(std::map<Key, uintptr_t>& bindings, Key key)
    {
        std::lock_guard lock(mutex_);
        const auto found = bindings.find(key);
        if (found == bindings.end()) {
            return;
        }
        if (slotFor(found->second) != nullptr) {
            release(found->second & kIndexMask);
        }
        bindings.erase(found);
    }

    std::mutex mutex_;
    std::vector<Slot> slots_;
    std::vector<size_t> free_;
    size_t used_ = 0;
    std::map<timer_t, uintptr_t> timers_;
    std::map<mqd_t, uintptr_t> queues_;
};

// Made on first use and never destroyed: a timer may be made by a
// constructor that runs before ours, or fire while the process exits.
Table& table()
{
    static Table* const made = new Table;
    return *made;
}

void runNotification(sigval token)
{
    CWThreadAlternateStacks::prepareNewThread();
    const auto slot = table().find(reinterpret_cast<uintptr_t>(token.sival_ptr));
    if (slot) {
        slot->function(slot->value);
    }
}

// The event the C library gets for a SIGEV_THREAD request: ours, with the
// caller's attributes.
sigevent wrapped(const sigevent& event, uintptr_t token)
{
    sigevent copy = event;
    copy.sigev_notify_function = runNotification;
    copy.sigev_value.sival_ptr = reinterpret_cast<void*>(token);
    return copy;
}

bool runsOnNewThread(const sigevent* event)
{
    return event != nullptr && event->sigev_notify == SIGEV_THREAD && event->sigev_notify_function != nullptr;
}

template <typename Function> Function systemFunction(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

size_t CWNotificationThreads::registeredCount()
{
    return table().usedCount();
}

// The process's timer_create, timer_delete and mq_notify. Without the system's
// function (never expected) the call fails as if the system had no timers.
extern "C" __attribute__((visibility("default"))) int timer_create(
    clockid_t clock, sigevent* event, timer_t* timer) noexcept
{
    using Create = int (*)(clockid_t, sigevent*, timer_t*);
    static const auto create = systemFunction<Create>("timer_create");
    if (create == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    if (!runsOnNewThread(event)) {
        return create(clock, event, timer);
    }
    const auto token = table().add(event->sigev_notify_function, event->sigev_value, false);
    if (!token) {
        errno = EAGAIN;
        return -1;
    }
    sigevent ours = wrapped(*event, *token);
    if (create(clock, &ours, timer) != 0) {
        const int saved = errno;
        table().remove(*token);
        errno = saved;
        return -1;
    }
    // Not armed yet: nothing can fire before the binding.
    table().bindTimer(*timer, *token);
    return 0;
}

extern "C" __attribute__((visibility("default"))) int timer_delete(timer_t timer) noexcept
{
    using Delete = int (*)(timer_t);
    static const auto remove = systemFunction<Delete>("timer_delete");
    if (remove == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    const int result = remove(timer);
    if (result == 0) {
        table().releaseTimer(timer);
    }
    return result;
}

extern "C" __attribute__((visibility("default"))) int mq_notify(mqd_t queue, const sigevent* event) noexcept
{
    using Notify = int (*)(mqd_t, const sigevent*);
    static const auto notify = systemFunction<Notify>("mq_notify");
    if (notify == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    if (!runsOnNewThread(event)) {
        const int result = notify(queue, event);
        if (result == 0) {
            // Withdrawn, or replaced by a notification of another kind.
            table().releaseQueue(queue);
        }
        return result;
    }
    const auto token = table().add(event->sigev_notify_function, event->sigev_value, true);
    if (!token) {
        errno = EAGAIN;
        return -1;
    }
    const sigevent ours = wrapped(*event, *token);
    if (notify(queue, &ours) != 0) {
        const int saved = errno;
        table().remove(*token);
        errno = saved;
        return -1;
    }
    table().bindQueue(queue, *token);
    return 0;
}
