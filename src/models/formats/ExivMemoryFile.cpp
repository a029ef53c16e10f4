#include "models/formats/ExivMemoryFile.h"

#include "models/formats/PngExifChunk.h"
#include "models/formats/PngKeptChunks.h"

#include "foundation/FileServices.h"

#include <QFile>

#include <algorithm>
#include <mutex>
#include <vector>

#include <exiv2/exiv2.hpp>

namespace {

std::mutex sparesMutex;
int runningLoops = 0;
// The memory of files read during the running loops, free for the next file.
std::vector<QByteArray> spares;
// One per thread a loop may read on is plenty.
constexpr size_t kMaxSpares = 4;

// Memory for `size` bytes: a spare that holds them (the smallest such), else
// new memory (a spare too small would be copied on growing). A spare too
// small is given back then, so that the loop keeps one file's memory per
// thread, not one of every size it met.
QByteArray memoryFor(qsizetype size)
{
    QByteArray memory;
    {
        const std::lock_guard<std::mutex> lock(sparesMutex);
        auto best = spares.end();
        for (auto spare = spares.begin(); spare != spares.end(); ++spare) {
            if (spare->capacity() >= size && (best == spares.end() || spare->capacity() < best->capacity())) {
                best = spare;
            }
        }
        if (best == spares.end() && !spares.empty()) {
            best = spares.begin();
        }
        if (best != spares.end()) {
            memory = std::move(*best);
            spares.erase(best);
        }
    }
    if (memory.capacity() < size) {
        memory = QByteArray(size, Qt::Uninitialized);
    }
    memory.resize(size);
    return memory;
}

// Keeps memory no one reads any more for the next file, while a loop runs.
void keepSpare(QByteArray&& memory)
{
    if (!memory.isDetached() || memory.capacity() == 0) {
        return;
    }
    const std::lock_guard<std::mutex> lock(sparesMutex);
    if (runningLoops > 0 && spares.size() < kMaxSpares) {
        spares.push_back(std::move(memory));
    }
}

// The whole file into `memory`: exactly its bytes, none left over from the
// file the memory held before.
bool readWhole(QFile& file, QByteArray& memory)
{
    memory = memoryFor(qsizetype(std::max<qint64>(0, file.size())));
    qsizetype read = 0;
    while (read < memory.size()) {
        const qint64 got = file.read(memory.data() + read, memory.size() - read);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        read += qsizetype(got);
    }
    memory.truncate(read);
    // A file that grew since its size was taken is read to its end.
    const QByteArray rest = file.readAll();
    memory.append(rest);
    return file.error() == QFileDevice::NoError;
}

} // namespace

void ExivMemoryFile::beginLoop()
{
    const std::lock_guard<std::mutex> lock(sparesMutex);
    ++runningLoops;
}

void ExivMemoryFile::endLoop()
{
    std::vector<QByteArray> gone;
    const std::lock_guard<std::mutex> lock(sparesMutex);
    if (--runningLoops == 0) {
        gone.swap(spares);
    }
}

ExivMemoryFile::ExivMemoryFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw Exiv2::Error(
            Exiv2::kerDataSourceOpenFailed, QFile::encodeName(path).toStdString(), file.errorString().toStdString());
    }
    if (!readWhole(file, bytes_)) {
        throw Exiv2::Error(Exiv2::kerFailedToReadImageData);
    }
    // A PNG's text chunks that the library would take for its own stay out
    // of its sight; the save puts them back as they were.
    libraryBytes_ = PngKeptChunks::forLibrary(bytes_).value_or(QByteArray());
    const QByteArray& read = libraryBytes_.isEmpty() ? bytes_ : libraryBytes_;
    const auto* data = reinterpret_cast<const Exiv2::byte*>(read.constData());
    const long size = static_cast<long>(read.size());
    const int type = Exiv2::ImageFactory::getType(data, size);
    // The library hands out a deprecated owning pointer; take ownership at once.
    if (type == Exiv2::ImageType::none || type == Exiv2::ImageType::jpeg || type == Exiv2::ImageType::png) {
        // These writers make the new file in memory of their own.
        image_.reset(Exiv2::ImageFactory::open(data, size).release());
        return;
    }
    // A TIFF's writer puts a changed value that fits where the old one lay
    // into the memory it read: given the file's bytes, it changed the
    // original the written file is checked against, and a value placed in
    // the picture was written over it unseen. It reads a copy of its own.
    libraryBytes_ = QByteArray(read.constData(), read.size());
    image_.reset(Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(libraryBytes_.data()), size).release());
}

ExivMemoryFile::~ExivMemoryFile()
{
    // The image reads from the bytes until it goes.
    image_.reset();
    keepSpare(std::move(bytes_));
}

std::optional<QByteArray> ExivMemoryFile::writtenBytes(Exiv2::Image& image, QString* error)
{
    Exiv2::BasicIo& io = image.io();
    if (io.open() != 0) {
        *error = QStringLiteral("cannot read the written metadata back");
        return std::nullopt;
    }
    // One copy out of the library's memory, not two through a read buffer.
    const qsizetype size = static_cast<qsizetype>(io.size());
    const Exiv2::byte* mapped = size > 0 ? io.mmap(false) : nullptr;
    const QByteArray data = mapped ? QByteArray(reinterpret_cast<const char*>(mapped), size) : QByteArray();
    if (mapped) {
        io.munmap();
    }
    io.close();
    // A PNG's EXIF goes back into its standard chunk, where other programs look.
    return PngExifChunk::restoreExifChunkInData(data, error);
}

std::optional<ExivMemoryFile::TakenBytes> ExivMemoryFile::takeWrittenBytes(Exiv2::Image& image, QString* error)
{
    auto* written = dynamic_cast<Exiv2::MemIo*>(&image.io());
    if (!written) {
        const std::optional<QByteArray> copied = writtenBytes(image, error);
        return copied ? std::optional<TakenBytes>(TakenBytes{nullptr, *copied}) : std::nullopt;
    }
    TakenBytes taken{std::make_shared<Exiv2::MemIo>(), QByteArray()};
    // The memory block changes hands, uncopied; the image reads it where it went.
    taken.owner->transfer(*written);
    const qsizetype size = static_cast<qsizetype>(taken.owner->size());
    const Exiv2::byte* memory = size > 0 ? taken.owner->mmap(false) : nullptr;
    Exiv2::MemIo readsOwner(memory, long(size));
    written->transfer(readsOwner);
    const QByteArray bytes
        = memory ? QByteArray::fromRawData(reinterpret_cast<const char*>(memory), size) : QByteArray();
    // A PNG's EXIF goes back into its standard chunk, where other programs look.
    const std::optional<QByteArray> restored = PngExifChunk::restoreExifChunkInData(bytes, error);
    if (!restored) {
        return std::nullopt;
    }
    taken.bytes = *restored;
    return taken;
}

bool ExivMemoryFile::commit(Exiv2::Image& image, const QString& path, QString* error)
{
    const std::optional<QByteArray> data = writtenBytes(image, error);
    return data && FileServices::writeFileAtomically(path, *data, error);
}
