#include "views/FDDropView.h"

#include "support/Gallery.h"
#include "support/QtPrinters.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

namespace {

class RecordingDelegate : public FDDropViewDelegate {
public:
    void dropViewDragDidEnter(FDDropView*, const QStringList& paths) override { entered.append(paths); }
    void dropViewDragDidCancel(FDDropView*, const QStringList& paths) override { cancelled.append(paths); }
    void dropViewDropPerformed(FDDropView*, const QStringList& paths) override { dropped.append(paths); }
    QList<QStringList> entered;
    QList<QStringList> cancelled;
    QList<QStringList> dropped;
};

QMimeData* filesData(const QStringList& paths)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls.append(QUrl::fromLocalFile(path));
    }
    data->setUrls(urls);
    return data;
}

struct DragOutcome {
    Qt::DropAction enterAction;
    bool moveAccepted;
};

// Drags `paths` into the view, moves over it and leaves again.
DragOutcome dragAcross(FDDropView& view, const QStringList& paths)
{
    std::unique_ptr<QMimeData> data(filesData(paths));
    QDragEnterEvent enter(QPoint(150, 150), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &enter);
    QDragMoveEvent move(QPoint(151, 150), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    QDragLeaveEvent leave;
    QApplication::sendEvent(&view, &leave);
    return {enter.dropAction(), move.isAccepted()};
}

// Qt hands drops to widgets only during a real drag; deliver them directly.
bool deliverDrop(FDDropView& view, QDropEvent& drop)
{
    static_cast<QObject&>(view).event(&drop);
    return drop.isAccepted();
}

const QString jpegA = QStringLiteral("/photos/a.jpg");
const QString jpegB = QStringLiteral("/photos/b.JPEG");
const QString text = QStringLiteral("/photos/notes.txt");
const QString bare = QStringLiteral("/photos/README");

} // namespace

TEST(FDDropViewTest, AcceptsOnlyEnabledAllowedDragsAndReportsEveryLeave)
{
    const QStringList images{QStringLiteral("image/*")};
    struct Case {
        const char* name;
        std::optional<QStringList> types;
        bool multiple;
        bool enabled;
        QStringList paths;
        bool accepted;
    };
    const QList<Case> cases = {
        {"two JPEGs", images, true, true, {jpegA, jpegB}, true},
        {"multiple files off", images, false, true, {jpegA, jpegB}, false},
        {"one file with multiple off", images, false, true, {jpegA}, true},
        {"JPEG with text", images, true, true, {jpegA, text}, false},
        {"disabled", images, true, false, {jpegA}, false},
        {"no extension", images, true, true, {bare}, false},
        {"exact type", QStringList{QStringLiteral("image/jpeg")}, true, true, {jpegA}, true},
        {"plain text inherits", QStringList{QStringLiteral("text/plain")}, true, true, {text}, true},
        {"no types accepts all", std::nullopt, true, true, {text, bare}, true},
        {"empty type list accepts none", QStringList{}, true, true, {jpegA}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FDDropView view;
        RecordingDelegate delegate;
        view.setDelegate(&delegate);
        view.setAllowedFileTypes(c.types);
        view.setMultipleFilesAllowed(c.multiple);
        view.setEnabled(c.enabled);
        const DragOutcome outcome = dragAcross(view, c.paths);
        EXPECT_EQ(outcome.enterAction, c.accepted ? Qt::CopyAction : Qt::IgnoreAction);
        EXPECT_EQ(outcome.moveAccepted, c.accepted);
        EXPECT_EQ(delegate.entered, c.accepted ? QList<QStringList>{c.paths} : QList<QStringList>{});
        EXPECT_EQ(delegate.cancelled, QList<QStringList>{c.paths});
    }
}

TEST(FDDropViewTest, DropHandsOverThePathsAndRefusesNonFileData)
{
    FDDropView view;
    RecordingDelegate delegate;
    view.setDelegate(&delegate);
    view.setAllowedFileTypes(QStringList{QStringLiteral("image/*")});
    std::unique_ptr<QMimeData> files(filesData({jpegA, jpegB}));
    QDropEvent drop(QPointF(150, 150), Qt::CopyAction, files.get(), Qt::LeftButton, Qt::NoModifier);
    EXPECT_TRUE(deliverDrop(view, drop));
    EXPECT_EQ(delegate.dropped, QList<QStringList>{QStringList({jpegA, jpegB})});

    QMimeData words;
    words.setText(QStringLiteral("a.jpg"));
    QDropEvent textDrop(QPointF(150, 150), Qt::CopyAction, &words, Qt::LeftButton, Qt::NoModifier);
    EXPECT_FALSE(deliverDrop(view, textDrop));
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.invalid/a.jpg"))});
    QDropEvent webDrop(QPointF(150, 150), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
    EXPECT_FALSE(deliverDrop(view, webDrop));
    EXPECT_EQ(delegate.dropped.size(), 1);
}

TEST(FDDropViewTest, DrawsTheBoxArrowAndPromptAroundTheCentre)
{
    QWidget window;
    window.setAutoFillBackground(true);
    window.setPalette(QPalette(QColor(40, 40, 40)));
    window.resize(300, 300);
    auto* view = new FDDropView(&window);
    view->setGeometry(0, 0, 300, 300);
    EXPECT_TRUE(Gallery::capture(&window, QStringLiteral("drop-view")));
    const QImage image = window.grab().toImage();
    const auto lit = [&](int x, int y) { return qGray(image.pixel(x, y)) > 150; };
    EXPECT_TRUE(lit(150, 187)) << "inside the arrow just above its tip";
    EXPECT_FALSE(lit(150, 192)) << "below the tip";
    EXPECT_TRUE(lit(150, 112)) << "the arrow's shaft";
    EXPECT_FALSE(lit(150, 60));
    int dashes = 0;
    for (int y = 96; y < 204; ++y) {
        dashes += lit(75, y) != lit(75, y + 1) ? 1 : 0;
        EXPECT_FALSE(lit(70, y)) << "nothing outside the box's stroke";
    }
    EXPECT_GE(dashes, 4) << "the left side is dashed";
    bool promptDrawn = false;
    for (int y = 235; y < 275; ++y) {
        for (int x = 50; x < 250; ++x) {
            promptDrawn = promptDrawn || lit(x, y);
        }
    }
    EXPECT_TRUE(promptDrawn);
    for (int x = 0; x < 300; ++x) {
        EXPECT_FALSE(lit(x, 290));
    }
}
