#pragma once

#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

// Runs one piece of work per index on several threads and hands the results
// to the calling thread in index order, so that a long loop (the import of a
// shoot) uses every core while its owner still sees the files in the order
// the user gave them.
//
// - `work(index)` runs on a worker thread, at most once per index.
// - `deliver(index, result)` runs on the calling thread, for 0, 1, 2... in turn.
// - Once `cancel` is set no new index is started and nothing more is
//   delivered; results made but not delivered go to `discard` (on the calling
//   thread), so their owner can undo what making them did.
// - `run` returns when every started piece of work has ended.
template <typename Result> class OrderedParallelLoop {
public:
    using Work = std::function<Result(int index)>;
    using Deliver = std::function<void(int index, Result& result)>;
    using Discard = std::function<void(int index, Result& result)>;

    // The number of workers a loop over files uses: one per core.
    static int defaultThreadCount() { return std::max(1, QThread::idealThreadCount()); }

    OrderedParallelLoop(int count, int threads, const std::atomic<bool>& cancel)
        : count_(count)
        , threads_(std::clamp(threads, 1, std::max(1, count)))
        , cancel_(cancel)
        , results_(size_t(std::max(0, count)))
    {
    }

    void run(const Work& work, const Deliver& deliver, const Discard& discard = {})
    {
        if (count_ <= 0) {
            return;
        }
        QThreadPool pool;
        pool.setMaxThreadCount(threads_);
        for (int worker = 0; worker < threads_; ++worker) {
            pool.start([this, &work] { workUntilDone(work); });
        }
        deliverInOrder(deliver);
        pool.waitForDone();
        if (discard) {
            for (int index = delivered_; index < count_; ++index) {
                if (results_[size_t(index)]) {
                    discard(index, *results_[size_t(index)]);
                }
            }
        }
    }

private:
    void workUntilDone(const Work& work)
    {
        while (!cancel_.load()) {
            const int index = next_.fetch_add(1);
            if (index >= count_) {
                return;
            }
            Result result = work(index);
            std::lock_guard<std::mutex> lock(mutex_);
            results_[size_t(index)] = std::move(result);
            ready_.notify_all();
        }
    }

    void deliverInOrder(const Deliver& deliver)
    {
        while (delivered_ < count_) {
            std::unique_lock<std::mutex> lock(mutex_);
            // The wait wakes now and then to see a cancel, which no worker
            // announces once it has stopped claiming indexes.
            ready_.wait_for(lock, std::chrono::milliseconds(20),
                [&] { return results_[size_t(delivered_)].has_value() || cancel_.load(); });
            if (cancel_.load()) {
                return;
            }
            if (!results_[size_t(delivered_)]) {
                continue;
            }
            Result result = std::move(*results_[size_t(delivered_)]);
            results_[size_t(delivered_)].reset();
            lock.unlock();
            deliver(delivered_, result);
            ++delivered_;
        }
    }

    const int count_;
    const int threads_;
    const std::atomic<bool>& cancel_;
    std::atomic<int> next_{0};
    int delivered_ = 0;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<std::optional<Result>> results_;
};
