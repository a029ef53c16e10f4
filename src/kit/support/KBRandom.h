#pragma once

#include <functional>

// The kit's source of uniform numbers in [0, 1): a generator seeded once per
// process from the system's entropy, so that installations that failed
// together do not retry together. Tests replace it to fix the jitter.
class KBRandom {
public:
    static double uniform();
    // An empty source restores the seeded generator.
    static void setSource(std::function<double()> source);
};
