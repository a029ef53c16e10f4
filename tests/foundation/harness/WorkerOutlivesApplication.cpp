// A program whose worker hands work to the GUI thread while the application
// object is going away, as an import does when the user quits during it: the
// application waits for its worker pool in its destructor, after it stopped
// being the instance. Prints what happened; a crash or an abort fails the test.
//
// With the argument "wait" the worker hands over with syncMain and waits, from
// the moment the event loop has run for the last time: the application's end
// must let it go on.
#include "foundation/Dispatch.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

int main(int argc, char** argv)
{
    const bool waits = argc > 1 && std::strcmp(argv[1], "wait") == 0;
    std::atomic<bool> handedOver{false};
    std::atomic<bool> ran{false};
    std::atomic<bool> loopDone{false};
    {
        QCoreApplication application(argc, argv);
        Dispatch::async([&] {
            if (waits) {
                while (!loopDone) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                Dispatch::syncMain([&] { ran = true; });
                handedOver = true;
                return;
            }
            while (!QCoreApplication::closingDown()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            Dispatch::asyncMain([&] { ran = true; });
            handedOver = true;
        });
        QCoreApplication::processEvents();
        loopDone = true;
        // The worker's hand-over is queued before the application goes.
        std::this_thread::sleep_for(std::chrono::milliseconds(waits ? 50 : 0));
    }
    std::printf("handed over: %s, ran: %s\n", handedOver ? "yes" : "no", ran ? "yes" : "no");
    return 0;
}
