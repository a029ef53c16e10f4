#include "support/FakeUiServices.h"

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
