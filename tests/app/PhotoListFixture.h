#pragma once

#include "app/TAVPhotosViewCltr.h"
#include "app/TAVPhotosViewCltrDelegate.h"

#include "support/FakeUiServices.h"
#include "support/TempFolder.h"

#include <QStringList>

#include <functional>
#include <memory>

// Records what the photo list tells its owner, in order.
class RecordingPhotosDelegate : public TAVPhotosViewCltrDelegate {
public:
    void photosViewCltrStartImportImages(TAVPhotosViewCltr*) override { calls.append(QStringLiteral("start")); }
    void photosViewCltrImportImagesWithProgres(TAVPhotosViewCltr* cltr, float value) override;
    void photosViewCltrDidImportedImage(TAVPhotosViewCltr*, const QList<TAVImageObjectPtr>& images) override;
    void photosViewCltrDidSelectedImages(TAVPhotosViewCltr*, const QList<int>& indexes) override
    {
        selections.append(indexes);
    }
    void photosViewCltrDidRemoveImages(TAVPhotosViewCltr*, const QList<TAVImageObjectPtr>& images) override
    {
        removals.append(images);
    }

    QStringList calls; // "start", progress values as "0.333", "finish"
    QList<float> progress;
    int finishes = 0;
    QList<TAVImageObjectPtr> imported;
    QList<QList<int>> selections;
    QList<QList<TAVImageObjectPtr>> removals;
    std::function<void(TAVPhotosViewCltr*, float)> onProgress;
};

// A photo list over a working-copy folder in a temporary folder, with a
// recording delegate and alerts answered by a fake.
class PhotoListTest : public TempFolderTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the list; `workFolder` defaults to "<temp>/src_temp".
    TAVPhotosViewCltr& makeList(const QString& workFolder = QString(), TAVThumbnailLoader::LoadFunction load = {});
    // A real picture file at <temp>/<relative path>.
    QString photo(const QString& relativePath, QSize size = QSize(24, 16));
    // Starts an import and waits for its finishing step.
    bool importAndWait(const QStringList& paths);
    // n photos "p000.jpg" ... in folder `name`, imported; their paths.
    QStringList importNumbered(int count, const QString& folder = QStringLiteral("in"));
    QStringList shownNames() const;

    FakeUiServices ui_;
    RecordingPhotosDelegate delegate_;
    std::unique_ptr<TAVPhotosViewCltr> list_;
};
