#pragma once

#include <cstdint>
#include <functional>

// One batch's retries on the kit's uploader back-off (KBRetryBackoff): the
// n-th retry waits 2^n seconds times a factor in [1-c, 1+c), at most an hour,
// and never less than the initial value, which holds what the server asked
// for with the failure that led to this retry. The wait runs on the main
// queue through the kit clock.
class TYBackoffTimer {
public:
    // 0.1 in single precision, as the coefficient has always been stored.
    static constexpr double kDefaultJitterCoefficient = static_cast<double>(0.1f);

    TYBackoffTimer();
    explicit TYBackoffTimer(double initialValue);
    // A coefficient outside [0, 1) is a programming error; it is replaced by
    // the default when drawing.
    TYBackoffTimer(double initialValue, double jitterCoefficient);

    void executeBlockAfterNextInterval(std::function<void()> block);
    double computeDelayForInitialValue(double initialValue, uint64_t retryCount) const;
    double generateRandomJitter() const;
    static double randomDoubleWithMin(double min, double max);
    static bool jitterCoefficientIsValid(double coefficient);

    double initialValue() const;
    void setInitialValue(double value);
    double jitterCoefficient() const;
    void setJitterCoefficient(double coefficient);
    uint64_t retryCount() const;
    void setRetryCount(uint64_t count);

private:
    double initialValue_ = 0.0;
    double jitterCoefficient_ = kDefaultJitterCoefficient;
    uint64_t retryCount_ = 0;
};
