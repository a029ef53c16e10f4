#include "support/FileSizeLimit.h"

FileSizeLimit::FileSizeLimit(uint64_t bytes)
{
    struct sigaction ignore { };
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    if (::getrlimit(RLIMIT_FSIZE, &saved_) != 0 || ::sigaction(SIGXFSZ, &ignore, &previousAction_) != 0) {
        return;
    }
    struct rlimit limited = saved_;
    limited.rlim_cur = rlim_t(bytes);
    active_ = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    if (!active_) {
        ::sigaction(SIGXFSZ, &previousAction_, nullptr);
    }
}

FileSizeLimit::~FileSizeLimit()
{
    if (active_) {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::sigaction(SIGXFSZ, &previousAction_, nullptr);
    }
}
