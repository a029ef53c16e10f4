#include "support/FakeUiServices.h"

#include <QTimer>

int FakeUiServices::runAlert(const AlertRequest& request)
{
    alerts_.append(request);
    return alertAnswers_.isEmpty() ? FirstButton : alertAnswers_.dequeue();
}

QStringList FakeUiServices::runOpenPanel(const OpenPanelRequest& request)
{
    panels_.append(request);
    return panelAnswers_.isEmpty() ? QStringList() : panelAnswers_.dequeue();
}

void FakeUiServices::runAlertSheet(
    const AlertRequest& request, const std::function<void(int)>& onDismiss, const std::function<void()>& onCancel)
{
    alerts_.append(request);
    const int code = alertAnswers_.isEmpty() ? FirstButton : alertAnswers_.dequeue();
    QTimer::singleShot(0, &answerContext_, [code, onDismiss, onCancel] {
        if (code == FirstButton) {
            if (onCancel) {
                onCancel();
            }
        } else if (onDismiss) {
            onDismiss(code);
        }
    });
}
