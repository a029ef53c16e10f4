#pragma once

// Confirms that Lumetta and exiftool did the same work in a benchmark: the
// same tags written into every file, the same file names given.

#include <QString>

namespace SameWorkCheck {

// The title, keywords, dates and position of every file of `first` equal
// those of the file of the same name in `second`. Prints what differs.
bool sameTags(const QString& first, const QString& second);

// Both folders hold the same file names, and each pair the same capture date.
bool sameNamesAndDates(const QString& first, const QString& second);

} // namespace SameWorkCheck
