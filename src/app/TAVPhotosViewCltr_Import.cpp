// The photo list's import: the open panel, drops, folder expansion, the
// worker loop that copies each file into the working-copy folder and reads
// it, and the batched hand-over of its results to the GUI thread.
#include "app/TAVPhotosViewCltr.h"

#include "app/TAVImageBrowserView.h"
#include "app/TAVPhotoListModel.h"
#include "app/TAVPhotosViewCltrDelegate.h"
#include "commlib/VXKeyPressTableView.h"
#include "foundation/Dispatch.h"
#include "foundation/FileServices.h"
#include "foundation/GlobalFun.h"
#include "foundation/OrderedParallelLoop.h"
#include "foundation/UiServices.h"
#include "foundation/Utils.h"
#include "models/read/TAVMetadataReaderMgr.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>

#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcPhotoImport, "lumetta.app.import")

namespace {

// A batch goes to the GUI thread after this many files or this much time,
// whichever comes first: often enough for a lively progress bar, rarely
// enough that a thousand files do not flood the event loop.
constexpr int kBatchSize = 25;
constexpr qint64 kBatchMilliseconds = 100;

// Naming working copies must not interleave between imports running at
// once, or two files could be given the same free name.
std::mutex& workingCopyMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Every working-copy path given out in this process. Names are given out
// before the copies exist, so a name not copied yet is taken too; and a photo
// removed from the list takes its working copy with it, while the pictures
// cached under that path must never be shown for another photo imported
// later under the same name. Guarded by workingCopyMutex.
QSet<QString>& givenCopyPaths()
{
    static QSet<QString> paths;
    return paths;
}

bool hasAcceptedExtension(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return !suffix.isEmpty() && Utils::supportFileTypes().contains(suffix);
}

enum class FileKind { Missing, Regular, Other };

// Follows links: a link to a regular file is a regular file.
FileKind kindOf(const QString& path)
{
    struct stat status { };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        return FileKind::Missing;
    }
    return S_ISREG(status.st_mode) ? FileKind::Regular : FileKind::Other;
}

} // namespace

struct TAVPhotosViewCltr::ImportJob {
    QStringList paths;
    QString tempFolder;
    std::shared_ptr<std::atomic<bool>> cancel;
    std::shared_ptr<SrcPathRegistry> registry;
};

// Which files of a job come in, and under which working-copy names, settled
// in the order given: names number the same way, and the first of a source
// given twice wins, however the copies finish. The worker that takes an
// index settles it and every index before it still unsettled; workers take
// indexes in turn, so each file is settled once, mostly by its own worker
// while the others copy, and none is settled that no worker took. So every
// file admitted is delivered or undone by the loop, which gives its claim
// back when it is undone.
class TAVPhotosViewCltr::ImportAdmissions {
public:
    struct Admission {
        QString copyPath; // null when the file does not come in
        QStringList notCopied;
    };

    explicit ImportAdmissions(const ImportJob& job)
        : job_(job)
        , admissions_(size_t(job.paths.size()))
    {
    }

    Admission admitThrough(int index)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (; admitted_ <= index; ++admitted_) {
            Admission& admission = admissions_[size_t(admitted_)];
            admission.copyPath = admitOne(job_, job_.paths.at(admitted_), &admission.notCopied);
        }
        return admissions_[size_t(index)];
    }

private:
    const ImportJob& job_;
    std::mutex mutex_;
    int admitted_ = 0; // indexes below it are admitted
    std::vector<Admission> admissions_;
};

bool TAVPhotosViewCltr::SrcPathRegistry::claim(const QString& path)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (paths.contains(path)) {
        return false;
    }
    paths.insert(path);
    return true;
}

void TAVPhotosViewCltr::SrcPathRegistry::release(const QString& path)
{
    std::lock_guard<std::mutex> lock(mutex);
    paths.remove(path);
}

void TAVPhotosViewCltr::startImportImages()
{
    UiServices* ui = UiServices::shared();
    if (ui == nullptr) {
        return;
    }
    UiServices::OpenPanelRequest request;
    request.chooseFiles = true;
    request.chooseFolders = false;
    request.allowsMultipleSelection = true;
    request.fileTypes = Utils::supportFileTypes();
    request.parent = window();
    const QStringList chosen = ui->runOpenPanel(request);
    if (!chosen.isEmpty()) {
        addImagesFromDirectory(chosen);
    }
}

QStringList TAVPhotosViewCltr::acceptedDropPaths(const QStringList& paths)
{
    QStringList accepted;
    for (const QString& path : paths) {
        if (FileServices::isFolder(path) || hasAcceptedExtension(path)) {
            accepted.append(path);
        }
    }
    return accepted;
}

bool TAVPhotosViewCltr::handleImportImages(const QStringList& paths)
{
    const QStringList accepted = acceptedDropPaths(paths);
    if (accepted.isEmpty() || !addImagesFromDirectory(accepted)) {
        return false;
    }
    showList();
    return true;
}

QStringList TAVPhotosViewCltr::expandFolders(const QStringList& paths)
{
    QStringList expanded;
    for (const QString& path : paths) {
        if (!FileServices::isFolder(path)) {
            expanded.append(path);
            continue;
        }
        const QDir folder(path);
        for (const QString& name : FileServices::contentsOfFolder(path)) {
            expanded.append(folder.filePath(name));
        }
    }
    return expanded;
}

bool TAVPhotosViewCltr::addImagesFromDirectory(const QStringList& paths)
{
    if (paths.isEmpty()) {
        return false;
    }
    const QStringList expanded = expandFolders(paths);
    if (expanded.isEmpty()) {
        return true; // an empty folder: nothing to start
    }
    isCancel_->store(false);
    auto job = std::make_shared<ImportJob>();
    job->paths = expanded;
    job->tempFolder = tempSrcPath_;
    job->cancel = isCancel_;
    job->registry = srcPaths_;
    if (customDelegate_ != nullptr) {
        customDelegate_->photosViewCltrStartImportImages(this);
    }
    const QPointer<TAVPhotosViewCltr> self(this);
    Dispatch::async([job, self] { runImport(job, self); });
    return true;
}

// --- Worker side ---

QString TAVPhotosViewCltr::admitOne(const ImportJob& job, const QString& path, QStringList* notCopied)
{
    if (!hasAcceptedExtension(path)) {
        return QString();
    }
    switch (kindOf(path)) {
    case FileKind::Other:
        // A folder or a device named like a picture: copying it would take a
        // whole tree, or wait for ever on a pipe.
        qCInfo(lcPhotoImport, "Skipped %s: not a regular file", qUtf8Printable(path));
        return QString();
    case FileKind::Missing:
        qCWarning(lcPhotoImport, "Cannot import %s: no such file", qUtf8Printable(path));
        notCopied->append(path);
        return QString();
    case FileKind::Regular:
        break;
    }
    if (!job.registry->claim(path)) {
        return QString(); // already in the list or being imported
    }
    const QString copyPath = reserveWorkingCopyPath(job.tempFolder, QFileInfo(path).fileName());
    if (copyPath.isNull()) {
        qCWarning(lcPhotoImport, "Cannot name a working copy of %s in %s", qUtf8Printable(path),
            qUtf8Printable(job.tempFolder));
        job.registry->release(path);
        notCopied->append(path);
    }
    return copyPath;
}

QString TAVPhotosViewCltr::reserveWorkingCopyPath(const QString& folder, const QString& name)
{
    std::lock_guard<std::mutex> lock(workingCopyMutex());
    const QString suffix = QFileInfo(name).suffix();
    const QString base = QFileInfo(name).completeBaseName();
    // A name given out before is passed over without looking at the folder:
    // its copy runs beside the naming of the next files, and may be there
    // or not yet; the name chosen must not depend on which.
    for (int counter = 0;; ++counter) {
        const QString numbered = counter == 0 ? name : QStringLiteral("%1(%2).%3").arg(base).arg(counter).arg(suffix);
        const QString wanted = QDir(folder).filePath(numbered);
        if (givenCopyPaths().contains(wanted)) {
            continue;
        }
        const QString candidate = GlobalFun::makeSureFullPathIdentical(wanted, suffix);
        if (candidate.isNull()) {
            return candidate;
        }
        if (!givenCopyPaths().contains(candidate)) {
            givenCopyPaths().insert(candidate);
            return candidate;
        }
    }
}

TAVImageObjectPtr TAVPhotosViewCltr::importOne(
    const ImportJob& job, const QString& path, const QString& copyPath, QStringList* notCopied)
{
    QString error;
    const bool copied = FileServices::copyFileContent(path, copyPath, &error);
    if (!copied) {
        qCWarning(lcPhotoImport, "Cannot copy %s to the working folder %s: %s", qUtf8Printable(path),
            qUtf8Printable(job.tempFolder), qUtf8Printable(error));
        job.registry->release(path);
        notCopied->append(path);
        return nullptr;
    }
    TAVImageObjectPtr image = TAVImageObject::create(copyPath);
    image->setSrcPath(path);
    // The picture is not decoded here: the list's cells and the Summary tab
    // ask for it when they show the photo, at the size they show it.
    return image;
}

void TAVPhotosViewCltr::runImport(const std::shared_ptr<ImportJob>& job, QPointer<TAVPhotosViewCltr> self)
{
    GlobalFun::MakeSureFolderExsist(job->tempFolder);
    const int total = int(job->paths.size());
    QList<ImportItem> batch;
    QStringList notCopied;
    QStringList xmpUndecodable;
    QElapsedTimer sinceHandOver;
    sinceHandOver.start();
    // A batch goes to the GUI thread without waiting for it: the loop goes on
    // while the window shows the photos. A controller gone meanwhile takes
    // nothing, and its images leave the duplicate rule.
    const auto handOver = [&] {
        if (batch.isEmpty()) {
            return;
        }
        const std::shared_ptr<SrcPathRegistry> registry = job->registry;
        Dispatch::asyncMain([self, registry, batch, total] {
            if (self) {
                self->importImagesArrived(batch, total);
                return;
            }
            for (const ImportItem& item : batch) {
                if (item.image) {
                    registry->release(item.image->srcPath());
                }
            }
        });
        batch.clear();
        sinceHandOver.restart();
    };
    // Files are admitted, copied and read on every core; they reach the list
    // in the order given. What was made after a cancel never reaches it, so
    // its working copy goes again and its file may be imported later.
    struct Outcome {
        TAVImageObjectPtr image;
        QStringList notAdmitted;
        QStringList notCopied;
    };
    ImportAdmissions admissions(*job);
    OrderedParallelLoop<Outcome> loop(total, OrderedParallelLoop<Outcome>::defaultThreadCount(), *job->cancel);
    loop.run(
        [&job, &admissions](int index) {
            const ImportAdmissions::Admission admission = admissions.admitThrough(index);
            Outcome outcome;
            outcome.notAdmitted = admission.notCopied;
            if (!admission.copyPath.isNull()) {
                outcome.image = importOne(*job, job->paths.at(index), admission.copyPath, &outcome.notCopied);
            }
            return outcome;
        },
        [&](int index, Outcome& outcome) {
            notCopied.append(outcome.notAdmitted);
            notCopied.append(outcome.notCopied);
            const TAVMetadataReaderMgr* read = outcome.image ? outcome.image->readerMgr() : nullptr;
            if (read != nullptr && read->xmpUndecodable()) {
                xmpUndecodable.append(job->paths.at(index));
            }
            batch.append({index, outcome.image});
            if (batch.size() >= kBatchSize || sinceHandOver.elapsed() >= kBatchMilliseconds) {
                handOver();
            }
        },
        [&](int, Outcome& outcome) {
            // A file found unable to come in is named even after a cancel,
            // as it was found before it; a copy undone is not.
            notCopied.append(outcome.notAdmitted);
            if (outcome.image) {
                QFile::remove(outcome.image->path());
                job->registry->release(outcome.image->srcPath());
            }
        });
    handOver();
    // Queued after the last batch, so nothing of this import arrives later.
    Dispatch::asyncMain([self, notCopied, xmpUndecodable] {
        if (self) {
            self->doImportFinish(notCopied, xmpUndecodable);
        }
    });
}

// --- GUI side ---

void TAVPhotosViewCltr::importImagesArrived(const QList<ImportItem>& batch, int total)
{
    // Batches handed over before the loop saw a cancel arrive after it: what
    // they carry goes as if it had never been made, and its files may be
    // imported again.
    if (isCancel_->load()) {
        for (const ImportItem& item : batch) {
            if (item.image) {
                QFile::remove(item.image->path());
                srcPaths_->release(item.image->srcPath());
            }
        }
        return;
    }
    QList<TAVImageObjectPtr> added;
    for (const ImportItem& item : batch) {
        if (item.image) {
            added.append(item.image);
        }
    }
    maryDataSource_.append(added);
    // A search shown filters the new images as it filters the others (the
    // files a rename or clone imported again among them).
    if (isSearchState_) {
        added.removeIf(
            [this](const TAVImageObjectPtr& image) { return !isImageObjectContainSearchStr(*image, searchText_); });
        marySearchDataSource_.append(added);
    }
    model_->appendRows(added);
    setFileSegmentsEnabled(!getDataSourceForCurrentState().isEmpty());
    for (const ImportItem& item : batch) {
        if (isCancel_->load()) {
            break;
        }
        if (customDelegate_ != nullptr) {
            customDelegate_->photosViewCltrImportImagesWithProgres(this, float(item.index) / float(total));
        }
    }
    // The views follow the rows the model inserted; the rows listed before
    // did not change. Telling the views that every row changed had the icon
    // view size every cell again at each batch, so that the import grew
    // slower per photo as the list grew.
    tableView_->viewport()->update();
    imageBrowser_->reloadData();
    refreshPreview();
}

void TAVPhotosViewCltr::doImportFinish(const QStringList& notCopied, const QStringList& xmpUndecodable)
{
    isCancel_->store(false);
    // The list keeps the order the user chose; only the first import sorts
    // by the pop-up's key. Choosing a key again is what reverses the order.
    if (sortKey_.isEmpty()) {
        clickSortPop();
    } else {
        // The search's result is sorted below; the list under it must be
        // too, or the new images would wait at its end for the search to go.
        if (isSearchState_) {
            maryDataSource_ = sortedBy(maryDataSource_, sortKey_, sortAscending_);
        }
        sortUseSortDescriptors(sortKey_, sortAscending_);
    }
    defaultSelectFirst();
    checkAndShowTipsView();
    if (customDelegate_ != nullptr) {
        customDelegate_->photosViewCltrDidImportedImage(this, maryDataSource_);
    }
    // A photo whose XMP could not be read is listed, but must not pass for
    // one that has none: it is named with the files left out.
    QStringList messages;
    if (!notCopied.isEmpty()) {
        messages.append(QStringLiteral("These files could not be copied for editing and were not added:\n%1")
                            .arg(notCopied.join(QLatin1Char('\n'))));
    }
    if (!xmpUndecodable.isEmpty()) {
        messages.append(
            QStringLiteral("The XMP metadata of these files could not be read; they are shown without it:\n%1")
                .arg(xmpUndecodable.join(QLatin1Char('\n'))));
    }
    UiServices* ui = UiServices::shared();
    if (!messages.isEmpty() && ui != nullptr) {
        ui->showTipsAlert(
            QStringLiteral("Errors"), messages.join(QStringLiteral("\n\n")), QStringLiteral("OK"), QString(), window());
    }
}
