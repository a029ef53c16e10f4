#pragma once

// Told about a crash on the crashing thread, inside the crash handler, before the
// process ends. Whatever it does must be safe in that setting.
class CWCrashCallbackReceiver {
public:
    virtual ~CWCrashCallbackReceiver() = default;
    virtual void deliverCrashDelegateCallback() { }
};
