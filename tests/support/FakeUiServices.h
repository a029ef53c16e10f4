#pragma once

#include "foundation/UiServices.h"

#include <QList>
#include <QObject>
#include <QQueue>

// A UiServices for tests: answers come from scripts set up by the test, and
// every call is recorded. With no scripted answer an alert answers the first
// button and a panel answers "cancelled" (an empty list). Alert sheets take
// their answer from the same queue and give it on the next event-loop turn,
// as a real sheet answers only after the call returned.
class FakeUiServices : public UiServices {
public:
    int runAlert(const AlertRequest& request) override;
    QStringList runOpenPanel(const OpenPanelRequest& request) override;
    void beep() override { ++beeps_; }
    void runAlertSheet(const AlertRequest& request, const std::function<void(int)>& onDismiss,
        const std::function<void()>& onCancel) override;

    // Queues the button codes (1000, 1001, ...) of the next alerts.
    void answerAlerts(const QList<int>& codes) { alertAnswers_.append(codes); }
    // Queues the result of the next open panel.
    void answerOpenPanel(const QStringList& paths) { panelAnswers_.enqueue(paths); }

    const QList<AlertRequest>& alerts() const { return alerts_; }
    const QList<OpenPanelRequest>& openPanels() const { return panels_; }
    int beeps() const { return beeps_; }

private:
    QQueue<int> alertAnswers_;
    QQueue<QStringList> panelAnswers_;
    QList<AlertRequest> alerts_;
    QList<OpenPanelRequest> panels_;
    int beeps_ = 0;
    QObject answerContext_; // pending sheet answers die with the fake
};
