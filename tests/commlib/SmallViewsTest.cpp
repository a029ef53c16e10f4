#include "commlib/VXAutoResizeMidView.h"
#include "commlib/VXButtonStyle.h"
#include "commlib/VXDashedLine.h"
#include "commlib/VXDropDownButton.h"
#include "commlib/VXGradientView.h"
#include "commlib/VXPopUpButton.h"
#include "commlib/VXResizeCallbackView.h"

#include "support/Gallery.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>

#include <gtest/gtest.h>

TEST(SmallViews, PopUpButtonSaysItOpensBeforeTheListShows)
{
    VXPopUpButton button;
    button.addItems({QStringLiteral("Default")});
    button.show();
    bool listWasOpen = true;
    QObject::connect(&button, &VXPopUpButton::willPopUp, [&] {
        listWasOpen = button.view()->isVisible();
        button.clear();
        button.addItems({QStringLiteral("Studio"), QStringLiteral("Outdoor"), QStringLiteral("Night")});
    });
    button.showPopup();
    EXPECT_FALSE(listWasOpen);
    EXPECT_TRUE(button.view()->isVisible());
    EXPECT_EQ(button.view()->model()->rowCount(), 3);
    EXPECT_EQ(button.view()->model()->index(2, 0).data().toString(), QStringLiteral("Night"));
    button.hidePopup();
}

TEST(SmallViews, MidViewStretchesBetweenItsSidesAndTellsOfResizes)
{
    VXResizeCallbackView holder;
    QSignalSpy resized(&holder, &VXResizeCallbackView::resized);
    auto* row = new VXAutoResizeMidView(&holder);
    auto* left = new QLabel(QStringLiteral("Left"));
    auto* mid = new QLabel(QStringLiteral("Middle"));
    auto* right = new QLabel(QStringLiteral("Right"));
    left->setFixedWidth(60);
    right->setFixedWidth(80);
    row->setRightView(right); // set out of order on purpose
    row->setMidView(mid);
    row->setLeftView(left);
    row->setMargin(8);
    (new QVBoxLayout(&holder))->addWidget(row);
    holder.resize(500, 60);
    holder.show();
    QApplication::processEvents();

    ASSERT_FALSE(resized.isEmpty());
    EXPECT_EQ(resized.last().first().toSize(), QSize(500, 60));
    EXPECT_EQ(left->x(), 8);
    EXPECT_LT(left->geometry().right(), mid->x());
    EXPECT_LT(mid->geometry().right(), right->x());
    EXPECT_EQ(right->geometry().right(), row->width() - 1 - 8);
    const int before = mid->width();
    holder.resize(700, 60);
    QApplication::processEvents();
    EXPECT_EQ(mid->width(), before + 200) << "only the middle takes the new room";
    EXPECT_EQ(left->width(), 60);
}

TEST(SmallViews, GalleryGradientDashedLinesAndButtons)
{
    VXGradientView gradient;
    gradient.resize(320, 90);
    gradient.setAryBgColors({QColor(250, 250, 250), QColor(205, 214, 222)});
    (new QVBoxLayout(&gradient))->addWidget(new QLabel(QStringLiteral("Presets")));
    EXPECT_TRUE(Gallery::capture(&gradient, QStringLiteral("gradient-view")));

    QWidget lines;
    lines.resize(200, 120);
    auto* layout = new QHBoxLayout(&lines);
    layout->addWidget(new VXDashedLine(VXDashedLine::Horizontal));
    layout->addWidget(new VXDashedLine(VXDashedLine::Vertical));
    EXPECT_TRUE(Gallery::capture(&lines, QStringLiteral("dashed-lines")));

    QWidget buttons;
    auto* row = new QHBoxLayout(&buttons);
    auto* dropDown = new VXDropDownButton(&buttons);
    dropDown->setText(QStringLiteral("Clear"));
    auto* menu = new QMenu(dropDown);
    for (const QString& kind :
        {QStringLiteral("All"), QStringLiteral("Exif"), QStringLiteral("GPS"), QStringLiteral("IPTC")}) {
        menu->addAction(kind);
    }
    dropDown->setMenu(menu);
    auto* coloured = new QPushButton(QStringLiteral("Save"), &buttons);
    VXButtonStyle::setTitleColor(coloured, QColor(200, 40, 40));
    row->addWidget(dropDown);
    row->addWidget(coloured);
    EXPECT_EQ(coloured->palette().color(QPalette::ButtonText), QColor(200, 40, 40));
    EXPECT_TRUE(Gallery::capture(&buttons, QStringLiteral("drop-down-button")));
    menu->popup(QPoint(0, 0));
    EXPECT_TRUE(Gallery::capture(menu, QStringLiteral("drop-down-button-menu")));
    menu->hide();
}
