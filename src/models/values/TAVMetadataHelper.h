#pragma once

#include <QString>

#include <cstdint>

// Conversions between the text forms of metadata values: rationals
// ("numerator/denominator"), GPS coordinates as Exiv2 rational triples, as
// degrees-minutes-seconds display text and as decimal degrees, direction
// letters and words, and the application's date and time formats.
// Numbers are read and written in the C locale.
class TAVMetadataHelper {
public:
    // Splits "n/d" into its leading integers. False (outputs untouched) for an
    // empty text, a text that is not exactly two parts around "/", or a zero
    // denominator, so no caller ever divides by zero.
    static bool extractRational(const QString& text, int32_t* num, int32_t* denom);
    // A fraction for a single-precision value: 2.8 gives 28/10, 5.0 gives 5/1.
    // False (outputs untouched) for a value that is not finite or does not fit
    // a 32-bit numerator.
    static bool convertToRational(float value, int32_t* num, int32_t* denom);
    // Reads an Exiv2 GPS text ("37/1 46/1 2900/100"). False for an empty text, a
    // missing output or fewer than three blank-separated parts. Each of the first
    // three parts that is a rational with a non-zero denominator sets its output;
    // the others leave theirs as the caller set them.
    static bool paraseGpsInfoFromString(const QString& text, double* degree, double* minutes, double* secondes);
    // Whether a GPS text is a position: exactly three rationals with non-zero
    // denominators. A coordinate some program stored as text ("37.7749") is none.
    static bool isGpsCoordinate(const QString& text);
    // Reads a display text ("33°30'0\" South"). Degrees come out negative for
    // South and West. False for an empty text, a missing output, fewer than two
    // blank-separated parts or fewer than three numbers in the first part.
    static bool paraseGpsDMSInfoFromString(const QString& text, double* degree, double* minutes, double* secondes);
    // A display text made into an Exiv2 GPS text of whole-number rationals,
    // each followed by a blank ("37°46'29\"" gives "37/1 46/1 29/1 ").
    static QString convertDispGpsInfoToVaildGpsStr(const QString& text);
    // Decimal degrees as display text, type 0 latitude or 1 longitude; null for
    // a latitude beyond 90 or a longitude beyond 180 degrees.
    static QString getDD2DMS(double value, int type);
    // "N", "S", "W", "E" (either case) as words; null for any other short text;
    // a text of two or more characters is returned unchanged.
    static QString getGpsFullDirction(const QString& text);
    // Date and time formats: 4 date and time, 1 date, anything else time.
    static QString getAppDatetimeFormateString(int kind);
};

// A signed exposure code in steps of 1/32 EV (with 12 and 20 meaning one and two
// thirds) as EV.
float evFromStepCode(int64_t code);
