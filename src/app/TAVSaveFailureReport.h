#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QObject;

// The images a save loop could not save and why, told in one alert when the
// loop ends. The loop goes on after an error, so without it a failure would
// show only as a mark in the list. Photos whose time shift found no date are
// no failure: they are told in an alert of their own. Filled by the loop's
// worker, shown on the GUI thread.
class TAVSaveFailureReport {
public:
    // At most this many files are named; the rest are counted.
    static constexpr int kListedFiles = 20;

    void add(const QString& fileName, const QString& reason);
    // A photo saved without its time shift, because it holds no date.
    void addUnshifted(const QString& fileName);
    bool isEmpty() const { return failures_.isEmpty() && unshifted_.isEmpty(); }
    // "An image could not be saved" or "N images could not be saved".
    QString title() const;
    // One line per failed file, "name: reason", the first kListedFiles of
    // them, then a line counting the others.
    QString message() const;
    // "A photo was not shifted: it holds no date" or "N photos were not
    // shifted: they hold no date".
    QString unshiftedTitle() const;
    // The names of those photos, listed and counted like the failures.
    QString unshiftedMessage() const;
    // Shows the alert of the failures and the alert of the unshifted photos
    // on `window`, each when it has anything to tell.
    void show(QObject* window) const;

private:
    struct Failure {
        QString fileName;
        QString reason;
    };
    QList<Failure> failures_;
    QStringList unshifted_;
};
