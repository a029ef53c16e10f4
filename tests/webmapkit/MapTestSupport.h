#pragma once

#include "webmapkit/MapAccessManager.h"

#include <QMessageLogContext>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QtGlobal>

#include <gtest/gtest.h>

// Records the log lines of the map components ("lumetta.map") while alive, so
// tests can check that a failure was logged once and in words a reader follows.
class MapLogCapture {
public:
    MapLogCapture()
    {
        active() = this;
        previous_ = qInstallMessageHandler(&MapLogCapture::handle);
    }
    ~MapLogCapture()
    {
        qInstallMessageHandler(previous_);
        active() = nullptr;
    }
    MapLogCapture(const MapLogCapture&) = delete;
    MapLogCapture& operator=(const MapLogCapture&) = delete;

    const QStringList& lines() const { return lines_; }
    int count(const QString& fragment) const
    {
        int n = 0;
        for (const QString& line : lines_) {
            n += line.contains(fragment) ? 1 : 0;
        }
        return n;
    }

private:
    static MapLogCapture*& active()
    {
        static MapLogCapture* capture = nullptr;
        return capture;
    }
    static void handle(QtMsgType, const QMessageLogContext& context, const QString& message)
    {
        if (active() != nullptr && context.category != nullptr
            && QString::fromLatin1(context.category).startsWith(QLatin1String("lumetta.map"))) {
            active()->lines_.append(message);
        }
    }

    QtMessageHandler previous_ = nullptr;
    QStringList lines_;
};

// Keeps every request of every map client of a test program on 127.0.0.1: any
// other is refused before it leaves and fails the program's run. Every test
// program that includes this header has it.
class LoopbackOnlyEnvironment : public ::testing::Environment {
public:
    static QStringList& refused()
    {
        static QStringList urls;
        return urls;
    }
    static bool allows(const QUrl& url) { return url.host() == QLatin1String("127.0.0.1"); }

    void SetUp() override
    {
        MapAccessManager::setRequestFilter([](const QUrl& url) {
            if (allows(url)) {
                return true;
            }
            refused().append(url.toString());
            return false;
        });
    }
    void TearDown() override
    {
        EXPECT_TRUE(refused().isEmpty()) << "requests that would have left 127.0.0.1: "
                                         << refused().join(QLatin1String(", ")).toStdString();
    }
};

inline ::testing::Environment* const kLoopbackOnly = ::testing::AddGlobalTestEnvironment(new LoopbackOnlyEnvironment);
