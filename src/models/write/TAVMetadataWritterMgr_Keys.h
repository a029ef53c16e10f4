#pragma once

#include <QString>

// The tag keys and forms the facet files of TAVMetadataWritterMgr share.
namespace WriterKeys {

inline const QString kExifPrefix = QStringLiteral("Exif.");
inline const QString kIptcPrefix = QStringLiteral("Iptc.");
inline const QString kXmpPrefix = QStringLiteral("Xmp.");

inline const QString kImageDateTime = QStringLiteral("Exif.Image.DateTime");
inline const QString kDateTimeOriginal = QStringLiteral("Exif.Photo.DateTimeOriginal");
inline const QString kDateTimeDigitized = QStringLiteral("Exif.Photo.DateTimeDigitized");
inline const QString kImageDateTimeOriginal = QStringLiteral("Exif.Image.DateTimeOriginal");
inline const QString kExposureTime = QStringLiteral("Exif.Photo.ExposureTime");
inline const QString kShutterSpeedValue = QStringLiteral("Exif.Photo.ShutterSpeedValue");
inline const QString kFNumber = QStringLiteral("Exif.Photo.FNumber");
inline const QString kIsoSpeedRatings = QStringLiteral("Exif.Photo.ISOSpeedRatings");
inline const QString kExposureIndex = QStringLiteral("Exif.Photo.ExposureIndex");
inline const QString kFlash = QStringLiteral("Exif.Photo.Flash");
inline const QString kExposureProgram = QStringLiteral("Exif.Photo.ExposureProgram");
inline const QString kSensingMethod = QStringLiteral("Exif.Photo.SensingMethod");
inline const QString kSubjectDistanceRange = QStringLiteral("Exif.Photo.SubjectDistanceRange");
inline const QString kMeteringMode = QStringLiteral("Exif.Photo.MeteringMode");
inline const QString kSubjectDistance = QStringLiteral("Exif.Photo.SubjectDistance");
inline const QString kFocalLength = QStringLiteral("Exif.Photo.FocalLength");
inline const QString kFocalLength35 = QStringLiteral("Exif.Photo.FocalLengthIn35mmFilm");
inline const QString kDigitalZoomRatio = QStringLiteral("Exif.Photo.DigitalZoomRatio");
inline const QString kWhiteBalance = QStringLiteral("Exif.Photo.WhiteBalance");
inline const QString kLightSource = QStringLiteral("Exif.Photo.LightSource");
inline const QString kContrast = QStringLiteral("Exif.Photo.Contrast");
inline const QString kSaturation = QStringLiteral("Exif.Photo.Saturation");
inline const QString kSharpness = QStringLiteral("Exif.Photo.Sharpness");

inline const QString kFujifilmFlashMode = QStringLiteral("Exif.Fujifilm.FlashMode");
inline const QString kCanonFlashMode = QStringLiteral("Exif.CanonCs.FlashMode");
inline const QString kCanonFlashActivity = QStringLiteral("Exif.CanonCs.FlashActivity");
inline const QString kNikon3VariProgram = QStringLiteral("Exif.Nikon3.VariProgram");
inline const QString kCanonEasyMode = QStringLiteral("Exif.CanonCs.EasyMode");
inline const QString kCanonExposureProgram = QStringLiteral("Exif.CanonCs.ExposureProgram");
inline const QString kCanonFocusType = QStringLiteral("Exif.CanonCs.FocusType");
// Canon's own "not available" (0xFFFF), which readers take for no value.
inline const QString kCanonNotAvailable = QStringLiteral("65535");

inline const QString kGpsVersion = QStringLiteral("Exif.GPSInfo.GPSVersionID");
inline const QString kGpsLatitudeRef = QStringLiteral("Exif.GPSInfo.GPSLatitudeRef");
inline const QString kGpsLongitudeRef = QStringLiteral("Exif.GPSInfo.GPSLongitudeRef");
inline const QString kXpPrefix = QStringLiteral("Exif.Image.XP");

inline const QString kExifDateFormat = QStringLiteral("yyyy:MM:dd HH:mm:ss");

} // namespace WriterKeys
