#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>

// Small file, time and text utilities (class operations only, no state).
//
// Callers rely on:
// - makeSureFullPathIdentical gives a path in the same folder, ending with the
//   extension, that names no existing file (counters "(1)", "(2)" grow on the
//   base name only). A path with a ".." component or an extension holding "/"
//   is refused with a null text.
// - Texts are formatted in the C locale.
class GlobalFun {
public:
    static QString makeSureFullPathIdentical(const QString& path, const QString& extension);

    // The image encoded in the format that the lower-case type names ("tif",
    // "tiff", "bmp", "gif", "jpg", "jpeg", "png"); empty for any other type or
    // when this system cannot write that format.
    static QByteArray imageDataRepresentationOfType(const QImage& image, const QString& type);

    // 3725 -> " 1:2:05", 65 -> "1:05", 5 -> "00:05".
    static QString getTimeStringBySecond(double seconds);
    // "5 seconds remaining", "2 minites 5 seconds remaining", "1 hour 1 minite remaining".
    // Both read NaN, infinite, negative and absurdly large counts as no time (0).
    static QString getEstimateStrBySecond(double seconds);
    // "h:m:s" (fields after the third ignored, missing fields count as zero) as seconds.
    static double getSecondsByTimeString(const QString& text);
    // UTF-8 percent escaping that also escapes ":/= +*,'()!@$?^[]{}".
    static QString encodedURLParameterString(const QString& text);

    // False without a path or for a path with a ".." component; true when the
    // folder exists or was created with its parents.
    static bool MakeSureFolderExsist(const QString& path);
    // Every entry below the folder (folders included) as a full path, depth
    // first in name order; each is logged as "apath: <path>".
    static QStringList fileListAtDirenctory(const QString& folder);

    // The distribution's version (VERSION_ID of /etc/os-release, else the kernel
    // release) as major * 10000 + minor * 100 + patch; 0 when unreadable.
    static int32_t getCurrentOSVersion();
    // The user default "guid", made (upper-case UUID text) and stored on first use.
    // Safe from any thread.
    static QString getGUID();
    // Kept for callers that expect it; does nothing.
    static void getMajor(int64_t* major, int64_t* minor, int64_t* bugFix);
};
