#pragma once

#include <functional>
#include <optional>

class Crashwatch;
class CWReport;

// What the application may answer for the crash kit. Every operation is
// optional: the kit asks the matching responds...() first and uses the
// operation only when it answers true. The kit does not retain its delegate.
class CrashwatchDelegate {
public:
    virtual ~CrashwatchDelegate() = default;

    virtual bool respondsToDidDetectReportWithCompletion() const { return false; }
    // The delegate decides whether the earlier report is sent.
    virtual void crashwatchDidDetectReportForLastExecution(
        CWReport& report, std::function<void(bool submit)> completion)
    {
        (void)report;
        completion(true);
    }
    virtual bool respondsToDidDetectReport() const { return false; }
    virtual void crashwatchDidDetectReportForLastExecution(CWReport& report) { (void)report; }
    // The older previous-execution calls.
    virtual bool respondsToDidDetectCrashDuringPreviousExecutionWithReport() const { return false; }
    virtual void crashwatchDidDetectCrashDuringPreviousExecution(Crashwatch& kit, CWReport& report)
    {
        (void)kit;
        (void)report;
    }
    virtual bool respondsToDidDetectCrashDuringPreviousExecution() const { return false; }
    virtual void crashwatchDidDetectCrashDuringPreviousExecution(Crashwatch& kit) { (void)kit; }
    // Nothing when the delegate does not answer.
    virtual std::optional<bool> crashwatchCanUseBackgroundSessions(Crashwatch& kit)
    {
        (void)kit;
        return std::nullopt;
    }
    // Called inside the crash handler: async-signal-safe code only.
    virtual bool respondsToDidDetectCrash() const { return false; }
    virtual void crashwatchDidDetectCrash(Crashwatch& kit) { (void)kit; }
    virtual std::optional<bool> crashwatchEnsureDeliveryOfUnixSignal(Crashwatch& kit, int signal)
    {
        (void)kit;
        (void)signal;
        return std::nullopt;
    }
};
