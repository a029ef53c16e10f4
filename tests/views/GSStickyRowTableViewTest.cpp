#include "views/GSStickyRowTableView.h"
#include "views/GSGroupedTableView.h"
#include "views/GSStickyRowTableViewDelegate.h"

#include "support/Gallery.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

namespace {

constexpr int kRowHeight = 20;
constexpr int kSectionRows = 10;

// A delegate that answers the questions it was given functions for.
struct Delegate : GSStickyRowTableViewDelegate {
    std::function<std::optional<bool>(int)> sticky;
    std::function<std::optional<bool>(int)> group;

    std::optional<bool> tableViewIsStickyRow(const GSStickyRowTableView*, int row) const override
    {
        return sticky ? sticky(row) : std::nullopt;
    }
    std::optional<bool> tableViewIsGroupRow(const GSStickyRowTableView*, int row) const override
    {
        return group ? group(row) : std::nullopt;
    }
};

Delegate sectionDelegate()
{
    Delegate delegate;
    delegate.group = [](int row) { return row % kSectionRows == 0; };
    return delegate;
}

// Sections of ten rows: a heading, then tag names and short values.
std::unique_ptr<QStandardItemModel> sectionModel(int rows)
{
    auto model = std::make_unique<QStandardItemModel>(rows, 2);
    for (int row = 0; row < rows; ++row) {
        const bool heading = row % kSectionRows == 0;
        model->setItem(row, 0,
            new QStandardItem(heading ? QStringLiteral("Section %1").arg(row / kSectionRows + 1)
                                      : QStringLiteral("Tag %1").arg(row)));
        model->setItem(row, 1, new QStandardItem(heading ? QString() : QStringLiteral("v%1").arg(row)));
    }
    return model;
}

// The bad value a subclass may answer.
class BadTransitionTableView : public GSStickyRowTableView {
public:
    GSStickyRowTransition stickyRowHeaderTransition() const override { return 2; }
};

class StickyRowTableTest : public ::testing::Test {
protected:
    void show(GSStickyRowTableView& view, int rows = 3 * kSectionRows)
    {
        model = sectionModel(rows);
        view.setModel(model.get());
        view.setStickyRowDelegate(&delegate);
        view.verticalHeader()->hide();
        view.verticalHeader()->setMinimumSectionSize(kRowHeight);
        view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view.verticalHeader()->setDefaultSectionSize(kRowHeight);
        view.resize(240, 320);
        view.show();
        QApplication::processEvents();
    }

    static void scrollTo(GSStickyRowTableView& view, int offset)
    {
        view.verticalScrollBar()->setValue(offset);
        ASSERT_EQ(view.verticalScrollBar()->value(), offset);
        view.viewport()->repaint();
    }

    // A pixel of the header picture in the empty value cell of a heading.
    static QRgb headerPixel(const GSStickyRowTableView& view, int y = kRowHeight / 2)
    {
        const QImage& picture = view.stickyRowHeaderPicture();
        return picture.pixel(picture.width() * 9 / 10, y);
    }

    Delegate delegate = sectionDelegate();
    std::unique_ptr<QStandardItemModel> model;
};

TEST_F(StickyRowTableTest, AtTheTopTheHeaderCoversTheFirstRowFadedOutOrAtOnceOpaque)
{
    GSStickyRowTableView fading;
    GSGroupedTableView grouped;
    for (GSStickyRowTableView* view : {&fading, static_cast<GSStickyRowTableView*>(&grouped)}) {
        show(*view);
        scrollTo(*view, 0);
        EXPECT_EQ(view->previousStickyRow(), 0);
        EXPECT_EQ(view->nextStickyRow(), kSectionRows);
        EXPECT_EQ(view->stickyRowHeaderRect(), view->rectOfRow(0));
        EXPECT_EQ(view->stickyRowHeaderFraction(), 0.0);
        EXPECT_FALSE(view->isStickyRowHeaderEnabled());
    }
    EXPECT_EQ(fading.stickyRowHeaderOpacity(), 0.0);
    EXPECT_EQ(qAlpha(headerPixel(fading)), 0);
    EXPECT_EQ(grouped.stickyRowHeaderOpacity(), 1.0);
    // The heading's gradient is itself 0.9 opaque.
    EXPECT_NEAR(qAlpha(headerPixel(grouped)), 229, 2);
}

TEST_F(StickyRowTableTest, AnArrivingSectionPushesTheHeaderUpUntilItTakesItsPlace)
{
    GSGroupedTableView view;
    show(view);
    struct Step {
        int offset;
        int previous;
        int top;
    };
    // Row 10 arrives at y = 200 - offset; the header is 20 high.
    const Step steps[] = {{150, 0, 0}, {180, 0, 0}, {185, 0, -5}, {199, 0, -19}, {200, 10, 0}, {215, 10, 0}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.offset);
        scrollTo(view, step.offset);
        EXPECT_EQ(view.previousStickyRow(), step.previous);
        const QRect header = view.stickyRowHeaderRect();
        EXPECT_EQ(header.top(), step.top);
        EXPECT_EQ(header.height(), kRowHeight);
        if (step.top < 0) {
            EXPECT_EQ(header.top() + header.height(), view.rectOfRow(view.nextStickyRow()).top());
        }
    }
}

TEST_F(StickyRowTableTest, FadeFollowsTheScrollFractionUpToNineTenthsIntoOnePicture)
{
    GSStickyRowTableView view;
    show(view);
    scrollTo(view, 1);
    const uchar* storage = view.stickyRowHeaderPicture().constBits();
    for (const int offset : {0, 5, 10, 12, 13, 20, 22, 25, 40, 150}) {
        SCOPED_TRACE(offset);
        scrollTo(view, offset);
        const double fraction = offset / (1.25 * kRowHeight);
        const double opacity = std::min(fraction, 0.9);
        EXPECT_DOUBLE_EQ(view.stickyRowHeaderFraction(), fraction);
        EXPECT_EQ(view.isStickyRowHeaderEnabled(), fraction >= 0.5);
        EXPECT_DOUBLE_EQ(view.stickyRowHeaderOpacity(), opacity);
        EXPECT_NEAR(qAlpha(headerPixel(view)), opacity * 255, 2);
        // Scrolling repaints the picture; it does not reallocate it.
        EXPECT_EQ(view.stickyRowHeaderPicture().constBits(), storage);
    }
}

TEST_F(StickyRowTableTest, ABadTransitionPaintsTheWarningInsteadOfTheRow)
{
    BadTransitionTableView view;
    show(view);
    scrollTo(view, 0);
    const QImage& picture = view.stickyRowHeaderPicture();
    int painted = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            painted += qAlpha(picture.pixel(x, y)) > 0 ? 1 : 0;
        }
    }
    // Some text, but not the opaque row background.
    EXPECT_GT(painted, 20);
    EXPECT_LT(painted, picture.width() * picture.height() / 3);
}

TEST_F(StickyRowTableTest, ASelectedHeadingIsPinnedWithoutTheSelectionLookAndKeepsItsSelection)
{
    GSStickyRowTableView plain;
    GSGroupedTableView grouped;
    for (GSStickyRowTableView* view : {&plain, static_cast<GSStickyRowTableView*>(&grouped)}) {
        show(*view);
        view->selectRow(kSectionRows);
        QSignalSpy changes(view->selectionModel(), &QItemSelectionModel::selectionChanged);
        scrollTo(*view, 225);
        ASSERT_EQ(view->previousStickyRow(), kSectionRows);
        view->viewport()->repaint();
        EXPECT_EQ(changes.count(), 0);
        EXPECT_TRUE(view->selectionModel()->isRowSelected(kSectionRows, QModelIndex()));
    }
    // The plain copy shows no trace of the (blue) selection colour.
    const QImage& copy = plain.stickyRowHeaderPicture();
    int bluish = 0;
    for (int y = 0; y < copy.height(); ++y) {
        for (int x = 0; x < copy.width(); ++x) {
            bluish += qBlue(copy.pixel(x, y)) - qRed(copy.pixel(x, y)) > 60 ? 1 : 0;
        }
    }
    EXPECT_EQ(bluish, 0);

    // A heading shown in place or pinned must look like any other heading,
    // here row 20 in place, at the same height in the row.
    const int x = grouped.rectOfRow(0).width() * 9 / 10;
    const int inRow = 12;
    const auto heading = [&](int offset, int row) {
        scrollTo(grouped, offset);
        const QImage shown = grouped.viewport()->grab().toImage();
        const int top = row < 0 ? 0 : grouped.rectOfRow(row).top();
        return shown.pixelColor(x, top + inRow);
    };
    const QColor other = heading(180, 2 * kSectionRows);
    for (const QColor selected : {heading(180, kSectionRows), heading(225, -1)}) {
        EXPECT_NEAR(selected.red(), other.red(), 3);
        EXPECT_NEAR(selected.green(), other.green(), 3);
        EXPECT_NEAR(selected.blue(), other.blue(), 3);
    }
    EXPECT_LT(other.red(), other.blue());
}

TEST_F(StickyRowTableTest, StickyRowsComeOnlyFromTheDelegatesAnswers)
{
    struct Case {
        const char* name;
        int rows;
        std::function<void(Delegate&)> answers;
        bool hasDelegate;
        int previous;
        int next;
    };
    const Case cases[] = {
        {"empty model", 0, [](Delegate&) {}, true, -1, -1},
        {"no delegate", 30, [](Delegate&) {}, false, -1, -1},
        {"answers neither question", 30, [](Delegate& d) { d.group = nullptr; }, true, -1, -1},
        {"sticky answer wins", 30, [](Delegate& d) { d.sticky = [](int row) { return row == 5; }; }, true, -1, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GSStickyRowTableView view;
        delegate = sectionDelegate();
        c.answers(delegate);
        show(view, c.rows);
        if (!c.hasDelegate) {
            view.setStickyRowDelegate(nullptr);
        }
        scrollTo(view, 0);
        EXPECT_EQ(view.previousStickyRow(), c.previous);
        EXPECT_EQ(view.nextStickyRow(), c.next);
        EXPECT_TRUE(view.stickyRowHeaderRect().isNull());
        EXPECT_FALSE(view.isRowSticky(0));
    }
}

TEST_F(StickyRowTableTest, ClickingTheHeaderBringsItsRowBackOnlyOnceEnabled)
{
    GSGroupedTableView view;
    show(view);
    struct Click {
        int offset;
        int after;
    };
    // f = 0.2 and f = 0.6 past the heading of the second section at 200.
    for (const Click& click : {Click{205, 205}, Click{215, 200}}) {
        SCOPED_TRACE(click.offset);
        scrollTo(view, click.offset);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(50, 5));
        EXPECT_EQ(view.verticalScrollBar()->value(), click.after);
        EXPECT_FALSE(view.selectionModel()->hasSelection());
    }
}

TEST_F(StickyRowTableTest, GalleryGroupedTableScrolledIntoItsSecondSection)
{
    GSGroupedTableView view;
    show(view);
    view.setColumnWidth(0, 130);
    view.setColumnWidth(1, 90);
    scrollTo(view, 215);
    EXPECT_TRUE(Gallery::capture(&view, QStringLiteral("grouped-table-pinned-section")));
}

TEST_F(StickyRowTableTest, ScrollingStepByStepLeavesNoStaleHeaderOnScreen)
{
    GSGroupedTableView view;
    show(view);
    for (const int offset : {150, 183, 191, 197, 204, 230, 196, 170, 120}) {
        SCOPED_TRACE(offset);
        view.verticalScrollBar()->setValue(offset);
        QApplication::processEvents();
        const QPoint origin = view.viewport()->mapTo(view.window(), QPoint(0, 0));
        const QImage onScreen = view.screen()
                                    ->grabWindow(view.window()->winId(), origin.x(), origin.y(),
                                        view.viewport()->width(), view.viewport()->height())
                                    .toImage()
                                    .convertToFormat(QImage::Format_RGB32);
        const QImage repainted = view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(onScreen, repainted);
    }
}

} // namespace
