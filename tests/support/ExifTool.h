#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

// Debian's exiftool as an independent reader of what we write.
namespace ExifTool {

bool available();

// The tags of `path` as exiftool reports them with `-j -G1 -struct`, plus any
// extra arguments (for example "-n" for numeric values). Keys look like
// "IFD0:Make", "IPTC:Keywords", "XMP-dc:Title". Empty on failure.
QJsonObject read(const QString& path, const QStringList& extraArguments = {});

// Every date and time the file holds as exiftool lists them with `-a
// -time:all` ("IFD0:ModifyDate", "IPTC:TimeCreated", "XMP-xmp:CreateDate"),
// but the file system's and those it composes from others.
QMap<QString, QString> dates(const QString& path);

// The warnings and errors exiftool reports while reading the file (a damaged
// directory, a maker note it cannot follow). Empty when it reads cleanly.
QStringList warnings(const QString& path);

// The bytes of one binary tag ("Sony:PreviewImage") as exiftool extracts
// them with `-b`; empty when it finds none.
QByteArray binary(const QString& path, const QString& tag);

} // namespace ExifTool
