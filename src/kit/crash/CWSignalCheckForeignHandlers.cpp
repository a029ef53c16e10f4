#include "kit/crash/CWSignalCheckForeignHandlers.h"

#include <dlfcn.h>

#include <csignal>

#include "kit/crash/crashpath/CWContext.h"
#include "kit/crash/crashpath/CWSignal.h"

namespace {

void* handlerAddress(const struct sigaction& action)
{
    return (action.sa_flags & SA_SIGINFO) != 0 ? reinterpret_cast<void*>(action.sa_sigaction)
                                               : reinterpret_cast<void*>(action.sa_handler);
}

} // namespace

int CWSignalCheckForeignHandlers(std::FILE* out)
{
    const CWContext* context = CWContextGet();
    if (context == nullptr || context->debuggerAttached) {
        return 0;
    }
    int lines = 0;
    for (const int signal : CWSignalHandledSignals) {
        struct sigaction current { };
        if (sigaction(signal, nullptr, &current) != 0) {
            std::fprintf(out, "Unable to read signal handler\n");
            continue;
        }
        void* handler = handlerAddress(current);
        if (handler == reinterpret_cast<void*>(CWSignalHandler)) {
            continue;
        }
        Dl_info info{};
        const char* symbol = dladdr(handler, &info) != 0 && info.dli_sname != nullptr ? info.dli_sname : "(null)";
        std::fprintf(out,
            "[Crashwatch] The signal %s has a non-Crashwatch handler (%s).  This will interfere with "
            "reporting.\n",
            CWSignalNameForNumber(signal), symbol);
        ++lines;
    }
    std::fflush(out);
    return lines;
}
