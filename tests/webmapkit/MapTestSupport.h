#pragma once

#include <QMessageLogContext>
#include <QString>
#include <QStringList>
#include <QtGlobal>

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
