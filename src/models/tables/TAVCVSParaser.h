#pragma once

#include "models/tables/TAVExifTag.h"

#include <QList>
#include <QMap>
#include <QString>

class CSVParser;

// Loads the editable-tag tables: which metadata keys the user can edit, with
// which value type and tooltip. The two tables ship compiled into the program
// (family "exif" and family "iptc") and are loaded once at start-up into the
// process-wide tables below, which never change afterwards.
class TAVCVSParaser {
public:
    struct Tables {
        // Metadata key -> its row; a key in two rows keeps the later row.
        QMap<QString, TAVExifTagPtr> tagsByKey;
        // Family name ("exif", "iptc") -> that table's rows in file order.
        QMap<QString, QList<TAVExifTagPtr>> tagsByFamily;
    };

    // The compiled-in tables.
    static QString exifTablePath();
    static QString iptcTablePath();

    // Loads the "exif" table, then the "iptc" table, into the process-wide
    // tables. Runs once per process; later calls do nothing, so every caller
    // may make sure the tables are there.
    static void loadCanEditTags();
    // Loads one table into the process-wide tables with the process-wide parser.
    // Start-up only: the tables are read by every thread afterwards.
    static void loadTagForPath(const QString& path, const QString& family);
    // Loads one table with the given parser into the given tables.
    static void loadTagForPath(const QString& path, const QString& family, CSVParser& parser, Tables& tables);

    // Sets `tagType` and `explicitType` from an Exiv2 type name. Nothing is set
    // without a tag or with an empty name.
    static void configTag(TAVExifTag* tag, const QString& typeStr);
    // Type name -> the application's data-type code.
    static const QMap<QString, int>& loadKeyType();

    static const Tables& tagTables();
    static const QMap<QString, TAVExifTagPtr>& tagsByKey() { return tagTables().tagsByKey; }
    static const QMap<QString, QList<TAVExifTagPtr>>& tagsByFamily() { return tagTables().tagsByFamily; }
    // The row of `key`, or null when the key is not editable.
    static TAVExifTagPtr tagForKey(const QString& key);
};
