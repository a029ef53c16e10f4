#include "commlib/VXProgressWindowController.h"

#include "support/Gallery.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

TEST(VXProgressWindowController, CancelEscapeAndCloseOnlyPressCancel)
{
    VXCommonWindowController main;
    main.showNormalWindow();
    VXProgressWindowController progress;
    int cancels = 0;
    QObject::connect(progress.btnCancel(), &QPushButton::clicked, [&cancels] { ++cancels; });
    main.beginSheetWindow(progress.window());

    const std::function<void()> presses[] = {
        [&] { progress.btnCancel()->click(); },
        [&] { QTest::keyClick(progress.window(), Qt::Key_Escape); },
        [&] { progress.window()->close(); },
    };
    for (const auto& press : presses) {
        const int before = cancels;
        press();
        QApplication::processEvents();
        EXPECT_EQ(cancels, before + 1);
        EXPECT_TRUE(progress.isSheetUp()) << "only the caller ends the sheet";
    }
    main.endSheetWindow(progress.window());
    EXPECT_FALSE(progress.window()->isVisible());
}

TEST(VXProgressWindowController, IndicatorRunsFromZeroToOne)
{
    VXProgressWindowController progress;
    for (const auto& [given, shown] : {std::pair{0.4, 0.4}, {1.0, 1.0}, {-0.5, 0.0}, {7.0, 1.0}, {0.0004, 0.0}}) {
        progress.setProgressValue(given);
        EXPECT_DOUBLE_EQ(progress.progressValue(), shown) << given;
    }
}

TEST(VXProgressWindowController, GalleryAtFortyPercent)
{
    VXProgressWindowController progress;
    progress.tfPrgTips()->setText(QStringLiteral("Importing 4 of 10 images...."));
    progress.setProgressValue(0.4);
    EXPECT_TRUE(Gallery::capture(progress.window(), QStringLiteral("progress-sheet")));
}
