#include "foundation/UiServices.h"

#include "support/FakeUiServices.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

// The alert helpers translate button codes for their callers: 1 for the first
// button from showTipsAlert, the raw code (1000, 1001) for the callback.
TEST(UiServicesTest, AlertHelpersTranslateTheChosenButton)
{
    FakeUiServices ui;
    ui.answerAlerts({UiServices::FirstButton, UiServices::SecondButton, UiServices::SecondButton});
    EXPECT_EQ(ui.showTipsAlert("T", "M", "OK"), 1);
    EXPECT_EQ(ui.showTipsAlert("T", "M", "OK", "Cancel"), 0);
    int code = 0;
    ui.showTipsAlertWithCallback("T", "M", "OK", QString(), [&](int c) { code = c; });
    EXPECT_EQ(code, 1001);
    ASSERT_EQ(ui.alerts().size(), 3);
    EXPECT_EQ(ui.alerts().at(0).buttons, QStringList{"OK"});
    EXPECT_EQ(ui.alerts().at(1).buttons, (QStringList{"OK", "Cancel"}));

    ui.answerOpenPanel({"/tmp/photos"});
    EXPECT_EQ(ui.chooseFolder(), QStringList{"/tmp/photos"});
    EXPECT_TRUE(ui.openPanels().at(0).chooseFolders);
    EXPECT_FALSE(ui.openPanels().at(0).chooseFiles);
    EXPECT_TRUE(ui.chooseFiles({"jpg"}, true).isEmpty()); // cancelled
    EXPECT_EQ(ui.openPanels().at(1).fileTypes, QStringList{"jpg"});
}
