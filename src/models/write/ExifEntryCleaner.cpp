#include "models/write/ExifEntryCleaner.h"

#include <QLoggingCategory>

#include <exiv2/exiv2.hpp>

Q_LOGGING_CATEGORY(lcEntryCleaner, "lumetta.models.cleaner")

int ExifEntryCleaner::removeEntriesOfUnknownType(Exiv2::ExifData& exifData)
{
    int removed = 0;
    for (auto datum = exifData.begin(); datum != exifData.end();) {
        if (Exiv2::TypeInfo::typeName(datum->typeId()) == nullptr) {
            // A value no reader can take: nothing the user must act on.
            qCDebug(lcEntryCleaner, "Dropping %s: its type %d is not a known TIFF type", datum->key().c_str(),
                static_cast<int>(datum->typeId()));
            datum = exifData.erase(datum);
            ++removed;
        } else {
            ++datum;
        }
    }
    return removed;
}
