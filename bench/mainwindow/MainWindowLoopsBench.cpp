// Times the main window's long loops while a user watches them: Save All of
// 200 edited photos (how often the window still paints, and how many images
// are saved after Cancel is clicked mid-loop) and Filename to Tags over 1,000
// photos. Prints only.
#include "MainWindowBench.h"

#include "commlib/VXProgressWindowController.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

const QString kArtist = QStringLiteral("Exif.Image.Artist");

// Counts the main window's paints and the longest time between two of them
// while a loop runs; a timer asks for a frame every 16 ms as an animation would.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* window)
        : window_(window)
    {
        window_->installEventFilter(this);
        connect(&frame_, &QTimer::timeout, window_, [this] { window_->update(); });
    }

    void start()
    {
        paints_ = 0;
        longestGap_ = 0;
        frame_.start(16);
        sinceLast_.start();
        total_.start();
    }

    void stop() { frame_.stop(); }

    void print(const char* what) const
    {
        const double ms = msSince(total_);
        std::printf("%s: %.0f ms, %d paints (%.1f per second), longest time without a paint %.1f ms\n", what, ms,
            paints_, paints_ * 1000.0 / std::max(ms, 1.0), longestGap_);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints_;
            longestGap_ = std::max(longestGap_, msSince(sinceLast_));
            sinceLast_.restart();
        }
        return false;
    }

private:
    QWidget* window_;
    QTimer frame_;
    QElapsedTimer sinceLast_;
    QElapsedTimer total_;
    int paints_ = 0;
    double longestGap_ = 0;
};

int editAll(const QList<TAVImageObjectPtr>& images, const QString& artist)
{
    for (const auto& image : images)
        image->exifData()->setValue(artist, kArtist, 0, false, true, true);
    return int(images.size());
}

int savedCount(const QList<TAVImageObjectPtr>& images)
{
    return int(std::count_if(images.begin(), images.end(),
        [](const TAVImageObjectPtr& image) { return image->exifData()->enuModifyState() == TAVExifData::StateSaved; }));
}

void benchSaveAll(const QString& root)
{
    constexpr int kPhotos = 200;
    const std::unique_ptr<TAVMainWindowCtlr> shown = mainWindowWithPhotos(root, kPhotos);
    TAVMainWindowCtlr& window = *shown;
    const QList<TAVImageObjectPtr> images = window.photosViewCltr()->maryDataSource();
    PaintWatch watch(window.mainWindow());

    editAll(images, QStringLiteral("Bench"));
    watch.start();
    window.clickSaveAll();
    pumpUntil([&] { return !window.isLoopRunning(); });
    watch.stop();
    watch.print("Save All of 200 photos");
    std::printf("  %d of %d saved\n", savedCount(images), kPhotos);

    // Cancel once a quarter is saved; the image being saved still finishes.
    editAll(images, QStringLiteral("Again"));
    QProgressBar* bar = window.progressWindowController()->prgIndicator();
    int savedAtCancel = -1;
    QElapsedTimer sinceCancel;
    auto once = std::make_shared<bool>(false);
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [&, once] {
        if (*once || bar->value() < (bar->minimum() + bar->maximum()) / 4)
            return;
        *once = true;
        savedAtCancel = savedCount(images);
        sinceCancel.start();
        window.progressWindowController()->btnCancel()->click();
    });
    window.clickSaveAll();
    pumpUntil([&] { return !window.isLoopRunning(); });
    const int savedAtEnd = savedCount(images);
    std::printf("Cancel during Save All: %d saved when clicked, %d when the loop ended (%d after Cancel), "
                "loop ended %.1f ms after Cancel\n",
        savedAtCancel, savedAtEnd, savedAtEnd - savedAtCancel, msSince(sinceCancel));
}

void benchFilenameToTags(const QString& root)
{
    constexpr int kPhotos = 1000;
    const std::unique_ptr<TAVMainWindowCtlr> shown = mainWindowWithPhotos(root, kPhotos);
    TAVMainWindowCtlr& window = *shown;
    QList<int> all;
    for (int i = 0; i < kPhotos; ++i)
        all.append(i);
    window.photosViewCltr()->selectIndexes(all);
    QApplication::processEvents();

    PaintWatch watch(window.mainWindow());
    watch.start();
    window.doApplyFileNameToTitleField();
    pumpUntil([&] { return !window.isLoopRunning(); });
    watch.stop();
    watch.print("Filename to Tags over 1,000 photos");
}

} // namespace

int main(int argc, char** argv)
{
    prepareMainWindowBenchProcess();
    QApplication application(argc, argv);
    prepareMainWindowBench();

    QTemporaryDir folder;
    benchSaveAll(folder.filePath(QStringLiteral("save")));
    benchFilenameToTags(folder.filePath(QStringLiteral("names")));
    return 0;
}
