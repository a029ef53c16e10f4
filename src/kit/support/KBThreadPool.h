#pragma once

#include <asio/thread_pool.hpp>

// The kit's one pool of worker threads. It lives until the process ends, so
// that work still queued at exit never meets a destroyed pool.
class KBThreadPool {
public:
    static asio::thread_pool& shared();
};
