#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QVariant>

class MapClock;

// The public search and geocoding services ask a client for at most one
// request a second and for no question asked twice. Every place search and
// every geocoding request of the process (the map pages' too, through
// window.GMKServices) takes its turn here, on the map clock, and the good
// answers are kept for the session.
class MapSearchPacing : public QObject {
    Q_OBJECT
public:
    static constexpr double kSpacingSeconds = 1.0;
    static constexpr int kMaxAnswers = 256;

    static MapSearchPacing* shared();

    // Seconds to wait before the next request may go; the turn is taken.
    Q_INVOKABLE double reserve();
    // The kept answer to `url`; an invalid value when there is none.
    Q_INVOKABLE QVariant cachedAnswer(const QString& url) const;
    Q_INVOKABLE void keepAnswer(const QString& url, const QString& answer);
    // Forgets the kept answers and the turns taken (a test starts afresh).
    void forget()
    {
        answers_.clear();
        clock_ = nullptr;
    }

private:
    using QObject::QObject;

    double nextTurn_ = 0.0;
    const MapClock* clock_ = nullptr;
    QHash<QString, QString> answers_;
};
