// Times scrolling a grouped table of 5,000 rows step by step, pinned section
// header included, against a plain table of the same rows (the floor), and
// checks that the header picture is repainted in place rather than allocated
// anew on each step.
#include "views/GSGroupedTableView.h"
#include "views/GSStickyRowTableViewDelegate.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QScrollBar>
#include <QStandardItemModel>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

constexpr int kRows = 5000;
constexpr int kSectionRows = 10;
constexpr int kRowHeight = 20;
constexpr int kSteps = 2000;
constexpr int kStepPixels = 7;

struct SectionDelegate : GSStickyRowTableViewDelegate {
    std::optional<bool> tableViewIsGroupRow(const GSStickyRowTableView*, int row) const override
    {
        return row % kSectionRows == 0;
    }
};

std::unique_ptr<QStandardItemModel> makeModel()
{
    auto model = std::make_unique<QStandardItemModel>(kRows, 3);
    for (int row = 0; row < kRows; ++row) {
        if (row % kSectionRows == 0) {
            model->setItem(row, 0, new QStandardItem(QStringLiteral("Category %1").arg(row / kSectionRows)));
            continue;
        }
        model->setItem(row, 0, new QStandardItem(QStringLiteral("Exif.Photo.Tag%1").arg(row)));
        model->setItem(row, 1, new QStandardItem(QStringLiteral("Tag %1").arg(row)));
        model->setItem(row, 2, new QStandardItem(QStringLiteral("value %1").arg(row * 7)));
    }
    return model;
}

void prepare(QTableView& view, QStandardItemModel& model)
{
    view.setModel(&model);
    view.setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view.verticalHeader()->setDefaultSectionSize(kRowHeight);
    view.resize(520, 640);
    view.show();
    QApplication::processEvents();
}

// Microseconds per scroll step: move the scroll bar, let the view paint.
double timeScrolling(QTableView& view, const std::function<void()>& afterStep)
{
    QElapsedTimer timer;
    timer.start();
    for (int step = 0; step < kSteps; ++step) {
        view.verticalScrollBar()->setValue(step * kStepPixels);
        QApplication::processEvents();
        afterStep();
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1000.0 / kSteps;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const auto model = makeModel();

    QTableView plain;
    prepare(plain, *model);
    const double plainStep = timeScrolling(plain, [] {});

    SectionDelegate delegate;
    GSGroupedTableView grouped;
    grouped.setStickyRowDelegate(&delegate);
    prepare(grouped, *model);
    const uchar* storage = grouped.stickyRowHeaderPicture().constBits();
    int reallocations = 0;
    const double groupedStep = timeScrolling(grouped, [&] {
        if (grouped.stickyRowHeaderPicture().constBits() != storage) {
            ++reallocations;
            storage = grouped.stickyRowHeaderPicture().constBits();
        }
    });

    std::printf("scrolling %d rows, %d steps of %d px\n", kRows, kSteps, kStepPixels);
    std::printf("plain table:   %8.1f us per step\n", plainStep);
    std::printf("grouped table: %8.1f us per step (%.2f x plain)\n", groupedStep, groupedStep / plainStep);
    std::printf("header picture reallocations: %d\n", reallocations);
    return reallocations == 0 ? 0 : 1;
}
