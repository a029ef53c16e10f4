// A program whose worker hands work to the GUI thread while the application
// object is going away, as an import does when the user quits during it: the
// application waits for its worker pool in its destructor, after it stopped
// being the instance. Prints what happened; a crash or an abort fails the test.
#include "foundation/Dispatch.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char** argv)
{
    std::atomic<bool> handedOver{false};
    std::atomic<bool> ran{false};
    {
        QCoreApplication application(argc, argv);
        Dispatch::async([&] {
            while (!QCoreApplication::closingDown()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            Dispatch::asyncMain([&] { ran = true; });
            handedOver = true;
        });
    }
    std::printf("handed over: %s, ran: %s\n", handedOver ? "yes" : "no", ran ? "yes" : "no");
    return 0;
}
