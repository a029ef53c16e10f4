#pragma once

// Told after an exception was recorded that a report may be worth sending at once.
// The report controller leaves it empty; the context carries it for the exception path.
class CWSubmittableCrashReceiver {
public:
    virtual ~CWSubmittableCrashReceiver() = default;
    virtual void potentiallySubmittableCrashOccurred() { }
};
