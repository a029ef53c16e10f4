#pragma once

#include <QString>
#include <QStringList>

// The process-wide key lists that decide which tab shows a metadata key and to
// which category of a record it belongs, and the value-label tables (with their
// icon-name twins) of the enumerated exposure values.
//
// The lists are constants built on first use (thread-safe) and never change, so
// every thread may read them. `loadDefaultValues` is what start-up calls: it
// loads the tag tables and builds every list before the main window exists.
class TAVKeyLists {
public:
    // Start-up: loads the tag tables (`loadExifTag`), then builds the lists and
    // label tables in their documented order.
    static void loadDefaultValues();
    // Loads the two editable-tag tables from the compiled-in resources.
    static void loadExifTag();

    // Keys that are shown but never cleared, applied, compared or offered in
    // the replace and new-preset tables ("Summary.ImageSize").
    static const QStringList& displayOnlyKeys();
    static bool isDisplayOnlyKey(const QString& key);

    // The summary's creation date: the EXIF date's key, and the record's own
    // key of the time beside it.
    static const QString& createDateKey();
    static const QString& createTimeKey();

    static const QStringList& summaryKeys(); // category 0
    static const QStringList& exposureKeys(); // category 1
    static const QStringList& gpsKeys(); // category 2
    // Whether the key is one of the location's tags: the GPS directory's
    // (time, date, speed, accuracy... beside the GPS tab's keys) and their
    // XMP twins. Clearing the location clears all of them.
    static bool isLocationKey(const QString& key);
    // Whether an XMP key belongs to EXIF (or IPTC) alone, in the schemas
    // that mirror that family: clearing the family clears these twins, or
    // the data would stay in the file. Properties other families share stay.
    static bool isExifTwinInXmp(const QString& key);
    static bool isIptcTwinInXmp(const QString& key);
    // Whether the key is part of the file's structure rather than a value:
    // directory pointers, offsets and lengths, maker-note positions, the
    // blocks that embed other families, tags known only by number. A save
    // writes them as the file's layout needs, never as edited.
    static bool isFileStructureKey(const QString& key);
    // Whether the key is one of the blocks the first directory of a TIFF
    // carries for others than EXIF: the XMP packet, the IPTC block and
    // Photoshop's resources (its settings, and on some files their own IPTC).
    // Named like EXIF tags, they are none: a clear of EXIF leaves them.
    static bool isOtherFamilyBlockKey(const QString& key);
    // Whether the metadata library keeps the key's value as text a user
    // reads (EXIF Ascii or Comment, IPTC strings, dates and times), and the
    // record's own keys that name no tag of a file. The file's structure
    // (offsets, lengths, IFD pointers), numbers, binary blocks and tags the
    // library knows only by number are not.
    static bool isLibraryTextKey(const QString& key);
    // Whether the key describes an image's own pixels: dimensions,
    // orientation, compression, strips or tiles, bits and samples, colour
    // space and profile, the thumbnail and sub-images, in EXIF and XMP. A
    // clone never carries them from one picture to another.
    static bool isPixelDescriptionKey(const QString& key);
    // Summary, exposure and GPS keys joined in that order; every other key
    // belongs to category 3 ("other").
    static const QStringList& shownKeys();
    // Whether the key is on shownKeys (looked up, not searched: asked once
    // per row of every image read).
    static bool isShownKey(const QString& key);

    // The category of a key: 0 when on the summary list, else 1 when on the
    // exposure list, else 2 when on the GPS list, else 3.
    static int categoryOfKey(const QString& key);

    // Label tables: the words a tab shows for the codes 0..n-1 (0 is always
    // "Unknown"). Each icon table has the same length; its entry 0 is "" (no
    // image). The labels are data the writer matches on: keep their spelling.
    static const QStringList& flashLabels();
    static const QStringList& flashIcons();
    static const QStringList& sensingMethodLabels();
    static const QStringList& sensingMethodIcons();
    static const QStringList& focusModeLabels();
    static const QStringList& focusModeIcons();
    static const QStringList& meteringModeLabels();
    static const QStringList& meteringModeIcons();
    static const QStringList& exposureProgramLabels();
    static const QStringList& exposureProgramIcons();
    static const QStringList& whiteBalanceLabels();
    static const QStringList& whiteBalanceIcons();
    static const QStringList& contrastLabels();
    static const QStringList& contrastIcons();
    static const QStringList& saturationLabels();
    static const QStringList& saturationIcons();
    static const QStringList& sharpnessLabels();
    static const QStringList& sharpnessIcons();
};
