#include "kit/crash/crashpath/CWContext.h"

namespace {

std::atomic<CWContext*> gContext{nullptr};
std::atomic<CWCrashState*> gCrashState{nullptr};

} // namespace

CWContext* CWContextGet()
{
    return gContext.load(std::memory_order_acquire);
}

CWCrashState* CWCrashStateGet()
{
    return gCrashState.load(std::memory_order_acquire);
}

void CWContextInstall(CWContext* context, CWCrashState* state)
{
    gCrashState.store(state, std::memory_order_release);
    gContext.store(context, std::memory_order_release);
}

bool CWContextIsInitialized()
{
    std::atomic_thread_fence(std::memory_order_seq_cst);
    CWContext* context = CWContextGet();
    return context != nullptr && context->initialized.load() == 1;
}

void CWContextMarkInitialized()
{
    CWContext* context = CWContextGet();
    if (context != nullptr) {
        context->initialized.store(1);
        std::atomic_thread_fence(std::memory_order_seq_cst);
    }
}

// Handlers are installed while set-up is still running, so the flag is tested
// and set as soon as the crash-state block exists: a second crash during set-up
// must not record into the same file as the first.
bool CWContextMarkAndCheckIfCrashed()
{
    CWCrashState* state = CWCrashStateGet();
    if (state == nullptr) {
        return false;
    }
    uint8_t expected = 0;
    return !state->crashInProgress.compare_exchange_strong(expected, 1, std::memory_order_seq_cst);
}

bool CWContextHasCrashed()
{
    CWCrashState* state = CWCrashStateGet();
    return CWContextIsInitialized() && state != nullptr && state->crashInProgress.load() == 1;
}

void CWContextMarkCrashed()
{
    CWCrashState* state = CWCrashStateGet();
    if (CWContextIsInitialized() && state != nullptr) {
        state->crashInProgress.store(1);
    }
}
