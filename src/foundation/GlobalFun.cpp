#include "foundation/GlobalFun.h"

#include "foundation/VXFileLocalManager.h"

#include "foundation/FileServices.h"
#include "foundation/FoundationLog.h"
#include "foundation/SafePaths.h"
#include "foundation/TextNumbers.h"
#include "foundation/UserDefaults.h"
#include "foundation/Utils.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QUuid>

#include <cmath>
#include <mutex>
#include <sys/utsname.h>

namespace {

// Splits the last path component at its last "." (a leading "." starts a
// hidden name, not an extension). `extension` is null when there is none.
struct PathParts {
    QString folder; // with its trailing "/", or empty
    QString base;
    QString extension;
};

PathParts splitPath(const QString& path)
{
    PathParts parts;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    parts.folder = path.left(slash + 1);
    const QString name = path.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) {
        parts.base = name;
    } else {
        parts.base = name.left(dot);
        parts.extension = name.mid(dot + 1);
    }
    return parts;
}

// "12.04.1" -> 120401; parts beyond the third are ignored.
int32_t versionNumber(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    int32_t result = 0;
    int32_t scale = 10000;
    for (int i = 0; i < 3; ++i) {
        const int32_t value = i < parts.size() ? TextNumbers::intValue(parts.at(i)) : 0;
        result += (i == 0 ? std::min(value, 200000) : std::clamp(value, 0, 99)) * scale;
        scale /= 100;
    }
    return result;
}

QString osReleaseVersionId()
{
    QFile file(QStringLiteral("/etc/os-release"));
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1String("VERSION_ID="))) {
            QString value = line.mid(11);
            value.remove(QLatin1Char('"'));
            value.remove(QLatin1Char('\''));
            return value;
        }
    }
    return QString();
}

} // namespace

QString GlobalFun::makeSureFullPathIdentical(const QString& path, const QString& extension)
{
    if (SafePaths::hasParentComponent(path) || extension.contains(QLatin1Char('/')) || extension.contains(QChar(0))) {
        return QString();
    }
    QString result = path;
    const PathParts initial = splitPath(result);
    if (initial.extension.isEmpty() || initial.extension != extension) {
        result += QLatin1Char('.') + extension;
    }
    int counter = 1;
    while (FileServices::fileExists(result) || QFileInfo(result).isSymLink()) {
        PathParts parts = splitPath(result);
        const QString counterText = QStringLiteral("(%1)").arg(counter);
        if (parts.base.contains(counterText)) {
            ++counter;
            parts.base.replace(counterText, QStringLiteral("(%1)").arg(counter));
        } else {
            parts.base += counterText;
        }
        result = parts.folder + parts.base + QLatin1Char('.') + parts.extension;
    }
    return result;
}

QByteArray GlobalFun::imageDataRepresentationOfType(const QImage& image, const QString& type)
{
    static const QStringList kTypes = {QStringLiteral("tif"), QStringLiteral("tiff"), QStringLiteral("bmp"),
        QStringLiteral("gif"), QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png")};
    if (!kTypes.contains(type)) {
        return QByteArray();
    }
    return Utils::imageDataRepresentationOfType(image, type);
}

namespace {

// Seconds a time text can show: an infinite, NaN, negative or absurdly large
// count (its hours beyond 32 bits; converting it would be undefined) is no
// time at all and reads as 0.
double showableSeconds(double seconds)
{
    static constexpr double kMostSeconds = 3600.0 * 2147483647.0;
    return std::isfinite(seconds) && seconds >= 0 && seconds < kMostSeconds ? seconds : 0;
}

} // namespace

QString GlobalFun::getTimeStringBySecond(double seconds)
{
    const int64_t total = int64_t(showableSeconds(seconds));
    const int hours = int(total / 3600);
    const int minutes = int((total - 3600 * int64_t(hours)) / 60);
    const int rest = int(total % 60);
    QString text;
    if (hours != 0) {
        text += QString::asprintf("%2d:", hours);
    }
    text += minutes != 0 ? QString::asprintf("%d:", minutes) : QString::asprintf("%02d:", minutes);
    text += QString::asprintf("%02d", rest);
    return text;
}

QString GlobalFun::getEstimateStrBySecond(double seconds)
{
    seconds = showableSeconds(seconds);
    if (seconds < 60) {
        return QString::asprintf("%0.0f %s remaining", seconds, seconds > 1 ? "seconds" : "second");
    }
    const int64_t whole = int64_t(seconds);
    if (seconds < 3600) {
        const int minutes = int(whole / 60);
        const int rest = int(whole % 60);
        return QString::asprintf("%d %s %d %s remaining", minutes, minutes < 2 ? "minite" : "minites", rest,
            rest < 2 ? "second" : "seconds");
    }
    const int64_t hours = whole / 3600;
    const int minutes = int((whole % 3600) / 60);
    return QString::asprintf("%lld %s %d %s remaining", static_cast<long long>(hours), hours < 2 ? "hour" : "hours",
        minutes, minutes < 2 ? "minite" : "minites");
}

double GlobalFun::getSecondsByTimeString(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    const double factors[] = {3600, 60, 1};
    double total = 0;
    for (int i = 0; i < 3 && i < parts.size(); ++i) {
        total += TextNumbers::doubleValue(parts.at(i)) * factors[i];
    }
    return total;
}

QString GlobalFun::encodedURLParameterString(const QString& text)
{
    // Everything outside the unreserved set is escaped except the URL-legal
    // characters the list above leaves alone.
    return QString::fromLatin1(QUrl::toPercentEncoding(text, QByteArray(";&#")));
}

bool GlobalFun::MakeSureFolderExsist(const QString& path)
{
    return VXFileLocalManager::makeSureDirCreated(path);
}

QStringList GlobalFun::fileListAtDirenctory(const QString& folder)
{
    QStringList result;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    for (const QString& relative : FileServices::subpathsOfFolder(folder)) {
        const QString full = prefix + relative;
        qCInfo(lcFoundation, "apath: %s", qUtf8Printable(full));
        if (FileServices::fileExists(full)) {
            result.append(full);
        }
    }
    return result;
}

int32_t GlobalFun::getCurrentOSVersion()
{
    QString version = osReleaseVersionId();
    if (version.isEmpty()) {
        struct utsname names { };
        if (::uname(&names) == 0) {
            version = QString::fromLatin1(names.release);
        }
    }
    return version.isEmpty() ? 0 : versionNumber(version);
}

QString GlobalFun::getGUID()
{
    // The check and the store form one step, so two threads asking at once get
    // the same identifier.
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    UserDefaults& defaults = UserDefaults::standard();
    QString guid = defaults.stringForKey(QStringLiteral("guid"));
    if (guid.isEmpty()) {
        guid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        defaults.setString(guid, QStringLiteral("guid"));
        defaults.synchronize();
    }
    return guid;
}

void GlobalFun::getMajor(int64_t*, int64_t*, int64_t*)
{
}
