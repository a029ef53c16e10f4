#include "views/GSStickyRowOutlineView.h"
#include "views/GSStickyRowOutlineViewDelegate.h"

#include "support/Gallery.h"

#include <QApplication>
#include <QScrollBar>
#include <QStandardItemModel>

#include <gtest/gtest.h>

namespace {

constexpr int kRowHeight = 20;

// The top-level items are the section headings.
struct TopLevelDelegate : GSStickyRowOutlineViewDelegate {
    std::optional<bool> outlineViewIsGroupItem(const GSStickyRowOutlineView*, const QModelIndex& item) const override
    {
        return !item.parent().isValid();
    }
};

QStandardItem* item(const QString& text)
{
    auto* result = new QStandardItem(text);
    result->setData(QSize(60, kRowHeight), Qt::SizeHintRole);
    return result;
}

// Three categories of nine tags each: a heading every ten shown rows.
void fill(QStandardItemModel& model)
{
    model.setColumnCount(2);
    for (const QString& category : {QStringLiteral("EXIF"), QStringLiteral("IPTC"), QStringLiteral("XMP")}) {
        QStandardItem* heading = item(category);
        for (int tag = 1; tag <= 9; ++tag) {
            heading->appendRow(
                {item(QStringLiteral("%1 tag %2").arg(category).arg(tag)), item(QStringLiteral("value %1").arg(tag))});
        }
        model.appendRow({heading, item(QString())});
    }
}

class StickyRowOutlineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fill(model);
        view.setModel(&model);
        view.setStickyRowDelegate(&delegate);
        view.expandAll();
        view.resize(260, 320);
        view.show();
        QApplication::processEvents();
    }

    void scrollTo(int offset)
    {
        view.verticalScrollBar()->setValue(offset);
        ASSERT_EQ(view.verticalScrollBar()->value(), offset);
        view.viewport()->repaint();
    }

    QStandardItemModel model;
    TopLevelDelegate delegate;
    GSStickyRowOutlineView view;
};

TEST_F(StickyRowOutlineTest, AnArrivingCategoryPushesTheHeaderUpUntilItTakesItsPlace)
{
    const QModelIndex first = model.index(0, 0);
    const QModelIndex second = model.index(1, 0);
    struct Step {
        int offset;
        QModelIndex previous;
        int top;
    };
    // The second category arrives at y = 200 - offset.
    const Step steps[] = {{0, first, 0}, {180, first, 0}, {185, first, -5}, {199, first, -19}, {200, second, 0}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.offset);
        scrollTo(step.offset);
        EXPECT_EQ(view.previousStickyRow(), step.previous);
        const QRect header = view.stickyRowHeaderRect();
        EXPECT_EQ(header.top(), step.top);
        EXPECT_EQ(header.height(), kRowHeight);
        if (step.top < 0) {
            EXPECT_EQ(view.nextStickyRow(), second);
            EXPECT_EQ(header.bottom() + 1, view.rectOfRow(second).top());
        }
    }
    EXPECT_EQ(view.nextStickyRow(), model.index(2, 0));
}

TEST_F(StickyRowOutlineTest, WithoutADelegateNothingIsPinned)
{
    view.setStickyRowDelegate(nullptr);
    scrollTo(100);
    EXPECT_FALSE(view.previousStickyRow().isValid());
    EXPECT_FALSE(view.nextStickyRow().isValid());
    EXPECT_TRUE(view.stickyRowHeaderRect().isNull());
}

TEST_F(StickyRowOutlineTest, GalleryOutlineScrolledIntoItsSecondCategory)
{
    view.setColumnWidth(0, 150);
    scrollTo(225);
    EXPECT_NEAR(view.stickyRowHeaderOpacity(), 0.9, 1e-9);
    EXPECT_TRUE(Gallery::capture(&view, QStringLiteral("sticky-outline-pinned-category")));
}

} // namespace
