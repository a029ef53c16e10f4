#include "models/read/SidecarExporter.h"
#include "models/formats/ExivRuntime.h"

#include "models/formats/ExivMemoryFile.h"

#include "foundation/FileServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStringList>

#include <exiv2/exiv2.hpp>

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

// Reads `srcPath` and writes its metadata as a sidecar into `folder`.
int32_t extractAll(const QString& srcPath, const QString& folder)
{
    const QString target = SidecarExporter::sidecarPath(srcPath, folder);
    if (!QFileInfo(folder).isDir()) {
        qCWarning(lcSidecarExport, "No folder %s for %s", qUtf8Printable(folder), qUtf8Printable(target));
        return kFailure;
    }
    const ExivRuntime::FileScope scope(srcPath);
    try {
        const auto source = openSource(srcPath);

        const auto sidecar = Exiv2::ImageFactory::create(Exiv2::ImageType::exv);
        if (!source->exifData().empty()) {
            sidecar->setExifData(source->exifData());
        }
        if (!source->iptcData().empty()) {
            sidecar->setIptcData(source->iptcData());
        }
        if (!source->xmpData().empty()) {
            sidecar->setXmpData(source->xmpData());
        }
        if (!source->comment().empty()) {
            sidecar->setComment(source->comment());
        }
        ExivRuntime::writeMetadata(*sidecar);

        // Built in memory and renamed into place, so an older sidecar is
        // replaced only by a complete new one.
        QString error;
        if (!ExivMemoryFile::commit(*sidecar, target, &error)) {
            qCWarning(lcSidecarExport, "Could not write %s: %s", qUtf8Printable(target), qUtf8Printable(error));
            return kFailure;
        }
        return 0;
    } catch (const Exiv2::AnyError& error) {
        reportLibraryError(error.what());
    } catch (const std::exception& error) {
        reportLibraryError(error.what());
    }
    return kFailure;
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

QString SidecarExporter::xmpSidecarPath(const QString& srcPath, const QString& folder)
{
    return QDir(folder).filePath(QFileInfo(srcPath).completeBaseName() + QStringLiteral(".xmp"));
}

QString SidecarExporter::thumbnailPath(const QString& srcPath, const QString& folder, const QString& extension)
{
    return QDir(folder).filePath(QFileInfo(srcPath).completeBaseName() + QStringLiteral("_thumb") + extension);
}

bool SidecarExporter::exportXmpSidecar(const QString& srcPath, const QString& folder, QString* error)
{
    const ExivRuntime::FileScope scope(srcPath);
    try {
        const auto source = openSource(srcPath);
        // The sidecar converts the EXIF and IPTC it is given into XMP as it writes.
        const auto sidecar = Exiv2::ImageFactory::create(Exiv2::ImageType::xmp);
        sidecar->setExifData(source->exifData());
        sidecar->setIptcData(source->iptcData());
        sidecar->setXmpData(source->xmpData());
        ExivRuntime::writeMetadata(*sidecar);
        return ExivMemoryFile::commit(*sidecar, xmpSidecarPath(srcPath, folder), error);
    } catch (const Exiv2::AnyError& caught) {
        *error = QString::fromUtf8(caught.what());
    } catch (const std::exception& caught) {
        *error = QString::fromUtf8(caught.what());
    }
    return false;
}

SidecarExporter::ThumbnailExport SidecarExporter::exportThumbnail(
    const QString& srcPath, const QString& folder, QString* error)
{
    try {
        const auto source = openSource(srcPath);
        const Exiv2::ExifThumbC thumbnail(source->exifData());
        const Exiv2::DataBuf bytes = thumbnail.copy();
        if (bytes.size_ <= 0) {
            return ThumbnailExport::NoThumbnail;
        }
        const QString path = thumbnailPath(srcPath, folder, QString::fromLatin1(thumbnail.extension()));
        const QByteArray data(reinterpret_cast<const char*>(bytes.pData_), int(bytes.size_));
        return FileServices::writeFileAtomically(path, data, error) ? ThumbnailExport::Written
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
