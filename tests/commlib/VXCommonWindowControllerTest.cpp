#include "commlib/VXCommonWindowController.h"

#include "support/Gallery.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A controller whose window shows some text, so pictures are not blank.
class LabelledController : public VXCommonWindowController {
public:
    explicit LabelledController(QString text)
        : text_(std::move(text))
    {
    }

protected:
    QWidget* makeWindow() override
    {
        QWidget* window = VXCommonWindowController::makeWindow();
        auto* layout = new QVBoxLayout(window);
        layout->addWidget(new QLabel(text_, window), 0, Qt::AlignLeft | Qt::AlignBottom);
        window->resize(360, 160);
        return window;
    }

private:
    QString text_;
};

} // namespace

TEST(VXCommonWindowController, SheetsAreWindowModalChildrenAndStackUp)
{
    LabelledController main(QStringLiteral("Main window"));
    LabelledController tool(QStringLiteral("Tool sheet"));
    LabelledController progress(QStringLiteral("Progress sheet"));
    LabelledController chooser(QStringLiteral("Field chooser"));
    main.showNormalWindow();

    main.beginSheetWindow(tool.window());
    main.beginSheetWindow(progress.window());
    tool.showModeWindow(chooser.window());

    for (VXCommonWindowController* sheet : {&tool, &progress}) {
        EXPECT_TRUE(sheet->window()->isVisible());
        EXPECT_TRUE(sheet->isSheetUp());
        EXPECT_EQ(sheet->window()->parentWidget(), main.window());
        EXPECT_EQ(sheet->window()->windowModality(), Qt::WindowModal);
        EXPECT_TRUE(sheet->window()->isWindow());
    }
    EXPECT_EQ(chooser.window()->parentWidget(), tool.window());
    EXPECT_TRUE(chooser.window()->isVisible());

    tool.endSheetOfSelfWindow();
    EXPECT_FALSE(tool.window()->isVisible());
    EXPECT_EQ(tool.window()->parentWidget(), nullptr);
    EXPECT_TRUE(progress.window()->isVisible());

    main.endSheetWindow(progress.window());
    main.endSheetWindow(progress.window()); // not up: nothing happens
    tool.endSheetOfSelfWindow();
    EXPECT_FALSE(progress.isSheetUp());
    EXPECT_TRUE(main.window()->isVisible());
}

TEST(VXCommonWindowController, ClosingAWindowWithASheetUpDeletesEachWindowOnce)
{
    for (const bool mainGoesFirst : {true, false}) {
        auto main = std::make_unique<LabelledController>(QStringLiteral("Main"));
        auto sheet = std::make_unique<LabelledController>(QStringLiteral("Sheet"));
        main->showNormalWindow();
        main->beginSheetWindow(sheet->window());
        QPointer<QWidget> sheetWindow = sheet->window();
        QPointer<QWidget> mainWindow = main->window();

        main->window()->close();
        if (mainGoesFirst) {
            main.reset();
            EXPECT_FALSE(mainWindow);
            ASSERT_TRUE(sheetWindow) << "the sheet's controller still owns its window";
            EXPECT_FALSE(sheetWindow->isVisible());
            sheet.reset();
        } else {
            sheet.reset();
            EXPECT_TRUE(mainWindow);
            main.reset();
        }
        EXPECT_FALSE(sheetWindow);
        EXPECT_FALSE(mainWindow);
    }
}

TEST(VXCommonWindowController, GallerySheetOverWindow)
{
    LabelledController main(QStringLiteral("Photos and their tags"));
    LabelledController sheet(QStringLiteral("Rename 12 files"));
    main.window()->resize(520, 320);
    main.showNormalWindow();
    main.beginSheetWindow(sheet.window());

    // Paint the sheet into the window's picture the way a desktop shows it.
    QWidget frame;
    frame.resize(520, 320);
    auto* back = new QLabel(&frame);
    back->setPixmap(main.window()->grab());
    auto* front = new QLabel(&frame);
    front->setPixmap(sheet.window()->grab());
    front->setFrameStyle(QFrame::Box | QFrame::Plain);
    front->adjustSize();
    front->move((520 - sheet.window()->width()) / 2, 0);
    EXPECT_TRUE(Gallery::capture(&frame, QStringLiteral("sheet-over-window")));
}
