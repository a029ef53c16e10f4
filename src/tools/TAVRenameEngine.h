#pragma once

#include "tools/TAVRenameRootItem.h"
#include "tools/TAVRenameRuleField.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class TAVImageObject;

// The rename rules without any window: the fixed field table and the field
// tree, gathering a rename setting from the rule list and the option values,
// and building the new file name of an image from a setting.
//
// The rename sheet owns one engine, keeps its rule list and option values in
// it (the texts of its boxes and the selected items of its two format pop-ups)
// and shows what it builds.
class TAVRenameEngine {
public:
    // Root categories of the field tree.
    static const QString kCustom;
    static const QString kFileDetails;
    static const QString kNumericalSequences;
    static const QString kExif;
    static const QString kIptc;
    // Field names the engine treats specially.
    static const QString kCustomCharacters;
    static const QString kFilename;
    static const QString kCreateDate;
    static const QString kCreateTime;
    static const QString kImageSize;

    // The items of the date-format pop-up; the third one (index 2) is
    // "YYYY-MM-DD-HHhMMmSS".
    static const QStringList& dateFormatTitles();
    // The items of the time-format pop-up; index 1 is the 12-hour one (its
    // title begins with "12").
    static const QStringList& timeFormatTitles();

    // Category ("Exif", "Iptc") -> full metadata keys, in tree order.
    static const QMap<QString, QStringList>& fieldTable();
    // The field names of a category's list of the field table.
    static QStringList getDispKeysForCategory(const QString& category);
    // The last dot-separated component of a key (the key itself when empty).
    static QString getDispKey(const QString& key);
    // A root of the given category with one field per name, each under it.
    static TAVRenameRootItemPtr initRootItem(const QString& category, const QStringList& names);
    // The five roots of the field tree, in order.
    static QList<TAVRenameRootItemPtr> getCanSelectExifTag();

    // The rule list, in order.
    const QList<TAVRenameRuleFieldPtr>& edittingRules() const { return edittingRules_; }
    void setEdittingRules(const QList<TAVRenameRuleFieldPtr>& rules) { edittingRules_ = rules; }

    // Option values as the sheet's controls hold them.
    void setSeparatorEnabled(bool enabled) { separatorEnabled_ = enabled; }
    void setSeparatorText(const QString& text) { separatorText_ = text; }
    void setCustomCharacters(const QString& text) { customCharacters_ = text; }
    void setStartText(const QString& text) { startText_ = text; }
    void setIncreaseText(const QString& text) { increaseText_ = text; }
    // Selected items of the two pop-ups; -1 for no selection.
    void setDateFormatIndex(int index) { dateFormatIndex_ = index; }
    void setTimeFormatIndex(int index) { timeFormatIndex_ = index; }
    QString dateFormatTitle() const;
    QString timeFormatTitle() const;

    // Sets the attributes of the rule list's fields from the option values and
    // returns a setting (a root without category) holding the rule list.
    TAVRenameRootItemPtr getherCurrentRenameSetting();

    // The new file name of `image` at position `imageIndex` of the images to
    // rename; null without an image, a setting or a source path. The name is
    // not yet unique in its folder.
    QString getRenamedNameString(
        const TAVImageObject* image, const TAVRenameRootItemPtr& setting, int32_t imageIndex) const;

    static TAVRenameRuleFieldPtr findNumericalRenameField(const QList<TAVRenameRuleFieldPtr>& fields);
    // The full metadata key of a field name in a category ("Exif", "Iptc"); the
    // name itself for any other category; null when the category lacks it.
    static QString getFullKey(const QString& fieldName, const QString& category);
    // The record category (0 summary, 1 exposure, 2 GPS, 3 other) of a key.
    static int getTypeForFullKey(const QString& fullKey);
    // The value of a field in the image's record, as it stands ("" when none).
    static QString getImageMetadatValue(const TAVImageObject* image, const QString& fieldName, const QString& category);
    // `number` in decimal with zeros in front (also in front of a minus sign)
    // up to `width` characters; a longer text stays whole.
    static QString getNumString(int64_t number, int width);

    // The date and the time text of a value for a date pattern and a time
    // format; null when the value gives no date.
    QString getDateString(const QString& value, const QString& dateFormatTitle, const QString& timeFormatTitle) const;
    QString getTimeString(const QString& value, const QString& dateFormatTitle, const QString& timeFormatTitle) const;
    static QString getDateTimeSeperator(const QString& dateFormatTitle);
    // Whether a CreateTime field stands directly after a CreateDate field and
    // both give text for the image.
    bool checkDateTimeClose(const TAVImageObject* image, const QList<TAVRenameRuleFieldPtr>& fields) const;

private:
    // The date or the time text of a value as the pattern titles ask; null when
    // the value is empty or gives no date, or a title is missing.
    QString formatDate(
        const QString& value, const QString& dateFormatTitle, const QString& timeFormatTitle, bool isDateFormat) const;
    QString fieldText(const TAVImageObject* image, const TAVRenameRuleField& field, const QString& base,
        int64_t counter, int counterWidth) const;

    QList<TAVRenameRuleFieldPtr> edittingRules_;
    bool separatorEnabled_ = false;
    QString separatorText_;
    QString customCharacters_;
    QString startText_;
    QString increaseText_;
    int dateFormatIndex_ = -1;
    int timeFormatIndex_ = -1;
};
