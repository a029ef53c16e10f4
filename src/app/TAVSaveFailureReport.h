#pragma once

#include <QList>
#include <QString>

class QObject;

// The images a save loop could not save and why, told in one alert when the
// loop ends. The loop goes on after an error, so without it a failure would
// show only as a mark in the list. Filled by the loop's worker, shown on the
// GUI thread.
class TAVSaveFailureReport {
public:
    // At most this many files are named; the rest are counted.
    static constexpr int kListedFiles = 20;

    void add(const QString& fileName, const QString& reason);
    bool isEmpty() const { return failures_.isEmpty(); }
    // "An image could not be saved" or "N images could not be saved".
    QString title() const;
    // One line per failed file, "name: reason", the first kListedFiles of
    // them, then a line counting the others.
    QString message() const;
    // Shows the alert on `window` when anything failed.
    void show(QObject* window) const;

private:
    struct Failure {
        QString fileName;
        QString reason;
    };
    QList<Failure> failures_;
};
