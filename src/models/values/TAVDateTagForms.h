#pragma once

#include <QDateTime>
#include <QString>

// The text forms of the tags that hold a date or a time. Such a tag accepts
// any text as far as its stored type goes (EXIF keeps dates as plain ASCII),
// so a word like "yesterday" would replace a capture date; editors refuse
// what is not a real date or time of the tag's own form:
// - EXIF dates "YYYY:MM:DD HH:MM:SS" (the GPS date stamp "YYYY:MM:DD");
// - IPTC dates "YYYY-MM-DD" or "YYYYMMDD", times "HH:MM:SS" or "HHMMSS",
//   each with an optional zone ("+HH:MM", "-HHMM");
// - XMP dates "YYYY", "YYYY-MM", "YYYY-MM-DD", optionally followed by
//   "Thh:mm", seconds, a fraction and a zone ("Z" or "+hh:mm").
class TAVDateTagForms {
public:
    // Whether the key holds a date or a time.
    static bool isDateKey(const QString& key);
    // Whether the text is a valid value of the key: always true for keys
    // that hold no date and for the empty text (it clears).
    static bool acceptsText(const QString& key, const QString& text);
    // The text in the tag's own form. The editors list EXIF dates as
    // "2014-09-01 15:03:47" (and GPS date stamps as "2014-09-01"): such a
    // text of an EXIF date key becomes "2014:09:01 15:03:47"; any other text
    // is returned as it is.
    static QString tagText(const QString& key, const QString& text);
    // How a valid value of a date key is written, with an example; empty for
    // keys that hold no date.
    static QString formHint(const QString& key);
    // The date a field's text stands for: the application's dash form with
    // or without the time (what the tabs show) or the EXIF form itself; an
    // invalid date when it is none of them. A time alone names no day and
    // gives no date.
    static QDateTime dateOfFieldText(const QString& text);
};
