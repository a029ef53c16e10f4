#pragma once

#include <cstddef>
#include <unordered_map>
#include <utility>

// Values already worked out, by key, kept up to a bound: past it a new value
// is worked out at every call and not kept, so that a stream of files with
// made-up tags or namespaces cannot grow the table without end. It takes no
// lock: a table used from several threads is one per thread (thread_local),
// which also spares a lock per metadata value.
template <typename Key, typename Value> class BoundedMemo {
public:
    explicit BoundedMemo(size_t most)
        : most_(most)
    {
    }

    // The value kept for `key`, else `make()`, kept while there is room. The
    // reference lasts until the next call.
    template <typename Make> const Value& get(const Key& key, Make&& make)
    {
        if (const auto found = values_.find(key); found != values_.end()) {
            return found->second;
        }
        if (values_.size() < most_) {
            return values_.emplace(key, std::forward<Make>(make)()).first->second;
        }
        unkept_ = std::forward<Make>(make)();
        return unkept_;
    }

private:
    size_t most_;
    std::unordered_map<Key, Value> values_;
    Value unkept_{};
};
