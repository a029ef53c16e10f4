// Imports 1,000 photos into the main window, then times what a user waits
// for: selecting all of them (the common record of every image built and
// every tab rebuilt) and stepping the selection one image at a time. The
// floor is building the common record alone, without any tab.
#include "MainWindowBench.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kPhotos = 1000;

} // namespace

int main(int argc, char** argv)
{
    prepareMainWindowBenchProcess();
    QApplication application(argc, argv);
    prepareMainWindowBench();

    QTemporaryDir folder;
    const std::unique_ptr<TAVMainWindowCtlr> shown = mainWindowWithPhotos(folder.path(), kPhotos);
    TAVMainWindowCtlr& window = *shown;
    TAVPhotosViewCltr* list = window.photosViewCltr();

    QList<int> all;
    for (int i = 0; i < kPhotos; ++i)
        all.append(i);
    QElapsedTimer timer;
    timer.start();
    list->selectIndexes(all);
    QApplication::processEvents();
    const double selectAll = msSince(timer);

    timer.restart();
    const TAVExifDataPtr common = window.extractCommExifDataFromImages(window.selectedImages());
    const double floor = msSince(timer);

    std::vector<double> steps;
    for (int i = 0; i < 200; ++i) {
        timer.restart();
        list->selectIndexes({i});
        QApplication::processEvents();
        steps.push_back(msSince(timer));
    }
    double total = 0;
    for (double ms : steps)
        total += ms;
    std::printf("select all %d photos: %.1f ms (common record alone %.1f ms, ratio %.2f)\n", kPhotos, selectAll, floor,
        selectAll / floor);
    std::printf("select one photo: mean %.2f ms, worst %.2f ms over %zu steps (a frame is 16.7 ms)\n",
        total / double(steps.size()), *std::max_element(steps.begin() + 1, steps.end()), steps.size());
    return common ? 0 : 1;
}
