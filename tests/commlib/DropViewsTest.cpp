#include "commlib/VXCommonView.h"
#include "commlib/VXCommonViewDelegate.h"
#include "commlib/VXDropInTipsView.h"
#include "commlib/VXDropInTipsViewDelegate.h"

#include "support/Gallery.h"
#include "support/SyntheticDrops.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class Recorder : public VXDropInTipsViewDelegate, public VXCommonViewDelegate {
public:
    bool didVXDropInTipsViewAcceptDrag(VXDropInTipsView*, const QStringList& paths) override
    {
        received << paths;
        return true;
    }
    bool didWindowAccepteDragFiles(QWidget* window, const QStringList& paths) override
    {
        windows << window;
        received << paths;
        return true;
    }
    QList<QStringList> received;
    QList<QWidget*> windows;
};

const QStringList threeFiles
    = {QStringLiteral("/photos/b 2.jpg"), QStringLiteral("/photos/a.JPG"), QStringLiteral("/photos/été.png")};

// Drops that must never reach a delegate: plain text and web links.
std::unique_ptr<QMimeData> textDrag()
{
    auto data = std::make_unique<QMimeData>();
    data->setText(QStringLiteral("/photos/a.jpg"));
    return data;
}

std::unique_ptr<QMimeData> webLinkDrag()
{
    auto data = std::make_unique<QMimeData>();
    data->setUrls({QUrl(QStringLiteral("https://photos.invalid/a.jpg"))});
    return data;
}

} // namespace

TEST(DropViews, LocalFilesReachTheDelegateInOrderAndNothingElseDoes)
{
    Recorder recorder;
    QWidget window;
    auto* tips = new VXDropInTipsView(&window);
    tips->setDelegate(&recorder);
    auto* common = new VXCommonView(&window);
    common->setWndDelegate(&recorder);
    common->setEnableDragAndDrop(true);

    std::unique_ptr<QMimeData> files(SyntheticDrop::files(threeFiles));
    for (QWidget* view : {static_cast<QWidget*>(tips), static_cast<QWidget*>(common)}) {
        const SyntheticDrop drop = SyntheticDrop::onto(view, *files);
        EXPECT_TRUE(drop.entered && drop.dropped);
        EXPECT_FALSE(SyntheticDrop::onto(view, *textDrag()).entered);
        EXPECT_FALSE(SyntheticDrop::onto(view, *webLinkDrag()).entered);
    }
    EXPECT_EQ(recorder.received, QList<QStringList>({threeFiles, threeFiles}));
    EXPECT_EQ(recorder.windows, QList<QWidget*>({&window}));

    common->setEnableDragAndDrop(false);
    EXPECT_FALSE(SyntheticDrop::onto(common, *files).entered);
    EXPECT_EQ(recorder.received.size(), 2);
}

TEST(DropViews, DropsWithoutADelegateAreNotTaken)
{
    VXDropInTipsView tips;
    std::unique_ptr<QMimeData> files(SyntheticDrop::files(threeFiles));
    const SyntheticDrop drop = SyntheticDrop::onto(&tips, *files);
    EXPECT_TRUE(drop.entered);
    EXPECT_FALSE(drop.dropped);
}

TEST(DropViews, GalleryTipsView)
{
    VXDropInTipsView tips;
    tips.resize(420, 260);
    tips.setStrPromot(QStringLiteral("Drop photos here, or use Import to add them"));
    tips.setClrNorBg(QColor(236, 240, 243));
    EXPECT_TRUE(Gallery::capture(&tips, QStringLiteral("drop-in-tips-view")));
}
