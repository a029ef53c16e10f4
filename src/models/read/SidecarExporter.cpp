#include "models/read/SidecarExporter.h"
#include "models/formats/ExivRuntime.h"

#include "models/formats/ExivMemoryFile.h"
#include "models/formats/IptcCharacterSet.h"
#include "models/read/TAVIPTCReader.h"

#include "foundation/FileServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStringList>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <iostream>

Q_LOGGING_CATEGORY(lcSidecarExport, "lumetta.models.export")

namespace {

constexpr int32_t kFailure = 1;

// What an argument vector asks for.
struct ExportRequest {
    QString folder;
    QStringList files;
};

std::optional<ExportRequest> parseArguments(int32_t argc, const char* const argv[])
{
    if (argc < 1 || argv == nullptr) {
        return std::nullopt;
    }
    ExportRequest request;
    bool extractAll = false;
    bool hasFolder = false;
    for (int32_t index = 1; index < argc; ++index) {
        if (argv[index] == nullptr) {
            return std::nullopt;
        }
        const QString argument = QString::fromUtf8(argv[index]);
        const bool isOption = argument.startsWith(QLatin1Char('-')) && argument.size() > 1;
        if (!isOption) {
            request.files.append(argument);
            continue;
        }
        // An option's value follows either inside the same argument or as the next one.
        const QChar option = argument.at(1);
        QString value = argument.mid(2);
        if (value.isEmpty()) {
            if (index + 1 >= argc || argv[index + 1] == nullptr) {
                return std::nullopt;
            }
            value = QString::fromUtf8(argv[++index]);
        }
        if (option == QLatin1Char('e') && value == QLatin1String("a")) {
            extractAll = true;
        } else if (option == QLatin1Char('l')) {
            request.folder = value;
            hasFolder = true;
        } else {
            return std::nullopt;
        }
    }
    if (!extractAll || !hasFolder || request.folder.isEmpty() || request.files.isEmpty()) {
        return std::nullopt;
    }
    return request;
}

void reportLibraryError(const char* message)
{
    std::cout << "Caught Exiv2 exception '" << message << "'\n" << std::flush;
}

// The image at `srcPath` with its metadata read. As an absolute path "-" is
// a file, never standard input, and a URL is never fetched.
auto openSource(const QString& srcPath)
{
    auto source = Exiv2::ImageFactory::open(QFile::encodeName(QFileInfo(srcPath).absoluteFilePath()).toStdString());
    ExivRuntime::readMetadata(*source);
    return source;
}

// The rows of `data` that `selection` keeps.
template <typename Data> Data keptOf(const Data& data, const SidecarExporter::Selection& selection)
{
    Data kept;
    for (const auto& datum : data) {
        if (selection.keeps(QString::fromStdString(datum.key()))) {
            kept.add(datum);
        }
    }
    return kept;
}

// What an XMP sidecar would turn into UTF-8 on a guess is left out of it,
// its key noted in `leftOut`: the texts of an IPTC block read on a guess
// that are not plain ASCII (the library reads them as Latin-1, its control
// codes U+0092 and U+0096 where Windows wrote ’ and –), those of an
// undeclared block read as UTF-8 that another set reads too (GBK's 一 is
// UTF-8's "һ"), and EXIF texts whose
// bytes are not UTF-8 (which it would put into the packet as they are).
void leaveOutGuesses(Exiv2::ExifData& exif, Exiv2::IptcData& iptc, QStringList* leftOut)
{
    const auto note = [leftOut](const std::string& key) {
        if (!leftOut->contains(QString::fromStdString(key))) {
            leftOut->append(QString::fromStdString(key));
        }
    };
    const bool latin1Guess
        = IptcCharacterSet::showsAsLatin1(iptc) && TAVIPTCReader::readsOnAGuess(iptc, IptcCharacterSet(iptc));
    const bool utf8Undeclared = TAVIPTCReader::readsAsUtf8Undeclared(iptc);
    if (latin1Guess || utf8Undeclared) {
        for (auto datum = iptc.begin(); datum != iptc.end();) {
            const std::string bytes = datum->typeId() == Exiv2::string ? datum->toString() : std::string();
            if (TAVIPTCReader::isTextOnAGuess(bytes, latin1Guess, utf8Undeclared)) {
                note(datum->key());
                datum = iptc.erase(datum);
            } else {
                ++datum;
            }
        }
    }
    for (auto datum = exif.begin(); datum != exif.end();) {
        if (datum->typeId() == Exiv2::asciiString
            && TAVImageMetadatReaderBase::decodeUtf8(datum->toString()).isNull()) {
            note(datum->key());
            datum = exif.erase(datum);
        } else {
            ++datum;
        }
    }
}

// Writes a sidecar of the image type `type` (the metadata sidecar or an XMP
// sidecar, which turns the EXIF and IPTC it is given into XMP as it writes)
// of what `selection` keeps of `srcPath`. It is built in memory and renamed
// into place, so an older file at `target` is replaced only by a complete new
// one. The metadata sidecar keeps every byte as the file holds it; an XMP
// sidecar leaves out what it would read on a guess (leaveOutGuesses).
bool writeSidecarOf(const QString& srcPath, const QString& target, int type,
    const SidecarExporter::Selection& selection, QString* error, QStringList* leftOut = nullptr)
{
    const ExivRuntime::FileScope scope(srcPath);
    try {
        const auto source = openSource(srcPath);
        const auto sidecar = Exiv2::ImageFactory::create(type);
        Exiv2::ExifData exif = keptOf(source->exifData(), selection);
        Exiv2::IptcData iptc = keptOf(source->iptcData(), selection);
        if (type == Exiv2::ImageType::xmp) {
            QStringList unused;
            leaveOutGuesses(exif, iptc, leftOut ? leftOut : &unused);
        }
        sidecar->setExifData(exif);
        sidecar->setIptcData(iptc);
        sidecar->setXmpData(keptOf(source->xmpData(), selection));
        if (type == Exiv2::ImageType::exv && selection.keepsComment() && !source->comment().empty()) {
            sidecar->setComment(source->comment());
        }
        ExivRuntime::writeMetadata(*sidecar);
        return ExivMemoryFile::commit(*sidecar, target, error);
    } catch (const Exiv2::AnyError& caught) {
        reportLibraryError(caught.what());
        *error = QString::fromUtf8(caught.what());
    } catch (const std::exception& caught) {
        reportLibraryError(caught.what());
        *error = QString::fromUtf8(caught.what());
    }
    return false;
}

// Reads `srcPath` and writes its metadata as a sidecar into `folder`.
int32_t extractAll(const QString& srcPath, const QString& folder)
{
    const QString target = SidecarExporter::sidecarPath(srcPath, folder);
    if (!QFileInfo(folder).isDir()) {
        qCWarning(lcSidecarExport, "No folder %s for %s", qUtf8Printable(folder), qUtf8Printable(target));
        return kFailure;
    }
    QString error;
    if (!SidecarExporter::exportSidecar(srcPath, target, SidecarExporter::Selection(), &error)) {
        qCWarning(lcSidecarExport, "Could not write %s: %s", qUtf8Printable(target), qUtf8Printable(error));
        return kFailure;
    }
    return 0;
}

} // namespace

int32_t SidecarExporter::exportMetadata(uint64_t type, const QString& srcPath, const QString& folder)
{
    if (srcPath.isEmpty() || folder.isEmpty()) {
        qCWarning(
            lcSidecarExport, "Export of type %llu without a source or a folder", static_cast<unsigned long long>(type));
        return kFailure;
    }
    const QByteArray arguments[] = {QByteArrayLiteral("exiv2"), QByteArrayLiteral("-ea"), QByteArrayLiteral("-l"),
        folder.toUtf8(), srcPath.toUtf8()};
    const char* argv[] = {arguments[0].constData(), arguments[1].constData(), arguments[2].constData(),
        arguments[3].constData(), arguments[4].constData()};
    return doExportMetadata(5, argv);
}

int32_t SidecarExporter::doExportMetadata(int32_t argc, const char* const argv[])
{
    const std::optional<ExportRequest> request = parseArguments(argc, argv);
    if (!request) {
        qCWarning(lcSidecarExport, "Export arguments not understood");
        return kFailure;
    }
    int32_t result = 0;
    for (const QString& file : request->files) {
        const int32_t fileResult = extractAll(file, request->folder);
        if (result == 0) {
            result = fileResult;
        }
    }
    return result & 0xff;
}

SidecarExporter::Selection SidecarExporter::Selection::forExportType(
    uint64_t type, const std::optional<QStringList>& customKeys)
{
    constexpr uint64_t kAll = 1;
    constexpr uint64_t kExif = 2;
    constexpr uint64_t kXmp = 4;
    constexpr uint64_t kCustom = 16;
    Selection selection;
    if (type & kCustom) {
        // Custom fields without a choice narrow nothing.
        if (customKeys && !customKeys->isEmpty()) {
            selection.keys = QSet<QString>(customKeys->cbegin(), customKeys->cend());
        }
        return selection;
    }
    selection.exif = (type & (kAll | kExif)) != 0;
    selection.xmp = (type & (kAll | kXmp)) != 0;
    return selection;
}

bool SidecarExporter::Selection::keeps(const QString& key) const
{
    if (keys) {
        return keys->contains(key);
    }
    if (key.startsWith(QLatin1String("Exif."))) {
        return exif;
    }
    if (key.startsWith(QLatin1String("Xmp."))) {
        return xmp;
    }
    return true;
}

bool SidecarExporter::exportSidecar(
    const QString& srcPath, const QString& target, const Selection& selection, QString* error)
{
    return writeSidecarOf(srcPath, target, Exiv2::ImageType::exv, selection, error);
}

QString SidecarExporter::xmpSidecarPath(const QString& srcPath, const QString& folder)
{
    return QDir(folder).filePath(QFileInfo(srcPath).completeBaseName() + QStringLiteral(".xmp"));
}

bool SidecarExporter::exportXmpSidecar(const QString& srcPath, const QString& folder, QString* error)
{
    return exportXmpSidecar(srcPath, xmpSidecarPath(srcPath, folder), Selection(), error);
}

bool SidecarExporter::exportXmpSidecar(
    const QString& srcPath, const QString& target, const Selection& selection, QString* error, QStringList* leftOut)
{
    return writeSidecarOf(srcPath, target, Exiv2::ImageType::xmp, selection, error, leftOut);
}

SidecarExporter::ThumbnailExport SidecarExporter::exportThumbnail(
    const QString& srcPath, const QString& stemPath, QString* written, QString* error)
{
    try {
        const auto source = openSource(srcPath);
        const Exiv2::ExifThumbC thumbnail(source->exifData());
        const Exiv2::DataBuf bytes = thumbnail.copy();
        if (bytes.size_ <= 0) {
            return ThumbnailExport::NoThumbnail;
        }
        *written = stemPath + QStringLiteral("_thumb") + QString::fromLatin1(thumbnail.extension());
        const QByteArray data(reinterpret_cast<const char*>(bytes.pData_), int(bytes.size_));
        return FileServices::writeFileAtomically(*written, data, error) ? ThumbnailExport::Written
                                                                        : ThumbnailExport::Failed;
    } catch (const Exiv2::AnyError& caught) {
        *error = QString::fromUtf8(caught.what());
    } catch (const std::exception& caught) {
        *error = QString::fromUtf8(caught.what());
    }
    return ThumbnailExport::Failed;
}

QString SidecarExporter::sidecarPath(const QString& srcPath, const QString& folder)
{
    return QDir(folder).filePath(QFileInfo(srcPath).completeBaseName() + QStringLiteral(".exv"));
}
