#pragma once

#include <cstdint>

struct CWSendPrompt;

// Shows the crash kit's send prompt as the application's modal alert: send,
// always send (when offered) and cancel, answering the button's code.
class TAVCrashSendPrompt {
public:
    static int64_t present(const CWSendPrompt& prompt);
    // Registers present() with the crash kit.
    static void install();
};
