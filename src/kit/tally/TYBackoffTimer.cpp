#include "kit/tally/TYBackoffTimer.h"

#include "kit/core/KBRetryBackoff.h"
#include "kit/support/KBClock.h"
#include "kit/support/KBMainQueue.h"
#include "kit/support/KBRandom.h"

#include <cassert>

TYBackoffTimer::TYBackoffTimer() = default;

TYBackoffTimer::TYBackoffTimer(double initialValue)
    : initialValue_(initialValue)
{
}

TYBackoffTimer::TYBackoffTimer(double initialValue, double jitterCoefficient)
    : initialValue_(initialValue)
    , jitterCoefficient_(jitterCoefficient)
{
    assert(
        jitterCoefficientIsValid(jitterCoefficient) && "[TYBackoffTimer jitterCoefficientIsValid:jitterCoefficient]");
}

void TYBackoffTimer::executeBlockAfterNextInterval(std::function<void()> block)
{
    ++retryCount_;
    const double delay = computeDelayForInitialValue(initialValue_, retryCount_);
    // The clock saturates the conversion: an absurd delay never fires rather
    // than overflowing into an early one.
    KBClock::shared()->after(delay, KBMainQueue::shared(), std::move(block));
}

double TYBackoffTimer::computeDelayForInitialValue(double initialValue, uint64_t retryCount) const
{
    return KBRetryBackoff::delay(initialValue, retryCount == 0 ? 0 : retryCount - 1, generateRandomJitter());
}

double TYBackoffTimer::generateRandomJitter() const
{
    const double c = jitterCoefficientIsValid(jitterCoefficient_) ? jitterCoefficient_ : kDefaultJitterCoefficient;
    return randomDoubleWithMin(1.0 - c, 1.0 + c);
}

double TYBackoffTimer::randomDoubleWithMin(double min, double max)
{
    return min + (max - min) * KBRandom::uniform();
}

bool TYBackoffTimer::jitterCoefficientIsValid(double coefficient)
{
    return coefficient >= 0.0 && coefficient < 1.0;
}

double TYBackoffTimer::initialValue() const
{
    return initialValue_;
}

void TYBackoffTimer::setInitialValue(double value)
{
    initialValue_ = value;
}

double TYBackoffTimer::jitterCoefficient() const
{
    return jitterCoefficient_;
}

void TYBackoffTimer::setJitterCoefficient(double coefficient)
{
    jitterCoefficient_ = coefficient;
}

uint64_t TYBackoffTimer::retryCount() const
{
    return retryCount_;
}

void TYBackoffTimer::setRetryCount(uint64_t count)
{
    retryCount_ = count;
}
