#include "kit/support/KBRandom.h"

#include <sys/random.h>

#include <cstdint>
#include <mutex>
#include <random>

namespace {

std::mutex randomMutex;

std::function<double()>& replacement()
{
    static std::function<double()> source;
    return source;
}

std::mt19937_64& generator()
{
    static std::mt19937_64 engine([] {
        uint64_t seed = 0;
        if (::getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed)) {
            seed = std::random_device{}();
        }
        return seed;
    }());
    return engine;
}

} // namespace

double KBRandom::uniform()
{
    std::lock_guard lock(randomMutex);
    if (replacement()) {
        return replacement()();
    }
    return std::uniform_real_distribution<double>(0.0, 1.0)(generator());
}

void KBRandom::setSource(std::function<double()> source)
{
    std::lock_guard lock(randomMutex);
    replacement() = std::move(source);
}
