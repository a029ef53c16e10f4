// A program that quits while a map request is still open, as the user may quit
// while tiles load, and then counts the threads of the network client that
// are still running: none may outlive the application object, or they deliver
// the connection's end through an application that is gone and crash the
// process as it quits.
#include "webmapkit/MapNetwork.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

int threadsNamed(const QByteArray& prefix)
{
    int count = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task) + QStringLiteral("/comm"));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith(prefix)) {
            ++count;
        }
    }
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    // The test's private home folder comes with the environment.
    QStandardPaths::setTestModeEnabled(true);
    int during = 0;
    bool answered = false;
    {
        QCoreApplication application(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("lumetta"));
        QTcpServer silent;
        if (!silent.listen(QHostAddress::LocalHost, 0)) {
            return 2;
        }
        const QUrl url(QStringLiteral("http://127.0.0.1:%1/tiles/1/0/0.png").arg(silent.serverPort()));
        MapNetwork::shared()->get(url, QStringLiteral("map tile"), nullptr, [&](const MapReply&) { answered = true; });
        // Bounds far above what a busy machine needs, as the tests' own waits.
        if (!QTest::qWaitFor([&] { return silent.hasPendingConnections(); }, 60000)) {
            return 3;
        }
        during = threadsNamed("QNetworkAccess");
    }
    // A thread that was waited for may still take a moment to leave the
    // process's list; one left running stays there until the process ends.
    QElapsedTimer sinceTheEnd;
    sinceTheEnd.start();
    int after = threadsNamed("QNetworkAccess");
    while (after > 0 && sinceTheEnd.elapsed() < 60000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        after = threadsNamed("QNetworkAccess");
    }
    std::printf(
        "network threads while open: %d, after the end: %d, answered: %s\n", during, after, answered ? "yes" : "no");
    return 0;
}
