#include "app/TAVCrashSendPrompt.h"

#include "commlib/ModalHelpers.h"
#include "commlib/QtUiServices.h"
#include "kit/crash/CWCrashReportingController.h"
#include "support/Gallery.h"

#include <QAbstractButton>

#include <gtest/gtest.h>

// The crash kit's send prompt as the application shows it: the kit's texts and
// the answer of the button pressed, 1001 for "Always Send" between the two others.
TEST(TAVCrashSendPrompt, ShowsTheKitsTextsAndAnswersTheButtonPressed)
{
    QtUiServices ui;
    UiServices* previous = UiServices::shared();
    UiServices::setShared(&ui);
    const CWSettings defaults(std::nullopt);
    const CWSendPrompt prompt{defaults.interactivePromptTitle(), defaults.interactivePromptMessage(),
        defaults.interactivePromptCancelTitle(), defaults.interactivePromptSendTitle(),
        defaults.interactivePromptAlwaysSendTitle()};
    bool captured = false;
    whenModalUp([&](QWidget* modal) {
        captured = Gallery::capture(modal, QStringLiteral("crash-send-prompt"));
        QAbstractButton* always = buttonNamed(modal, QString::fromStdString(*prompt.alwaysSend));
        ASSERT_NE(always, nullptr);
        always->click();
    });
    EXPECT_EQ(TAVCrashSendPrompt::present(prompt), 1001);
    EXPECT_TRUE(captured);
    // Without the application's services there is no prompt: the kit then sends.
    UiServices::setShared(nullptr);
    EXPECT_EQ(TAVCrashSendPrompt::present(prompt), 0);
    UiServices::setShared(previous);
}
