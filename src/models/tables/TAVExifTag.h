#pragma once

#include <QString>

#include <cstdint>
#include <memory>

// One row of the editable-tag tables: which metadata key the user can edit and
// with which value type.
class TAVExifTag {
public:
    // Exiv2's invalid type id, kept in `tagType` when the type name is not an
    // Exiv2 type name.
    static constexpr int32_t kInvalidTypeId = 0x1fffe;

    TAVExifTag() = default;

    // The metadata key, e.g. "Exif.Image.Artist".
    const QString& tagStr() const { return tagStr_; }
    void setTagStr(const QString& key) { tagStr_ = key; }
    // The application's data-type code of the type name; -1 until loading sets
    // it. Code 4 marks a tag whose value the user may not edit.
    int32_t dataType() const { return dataType_; }
    void setDataType(int32_t code) { dataType_ = code; }
    // The type name as written in the table.
    const QString& tagTypeStr() const { return tagTypeStr_; }
    void setTagTypeStr(const QString& name) { tagTypeStr_ = name; }
    // The Exiv2 TypeId of the type name, or kInvalidTypeId.
    int32_t tagType() const { return tagType_; }
    void setTagType(int32_t typeId) { tagType_ = typeId; }
    // True when `tagType` is a valid Exiv2 type id.
    bool explicitType() const { return explicitType_; }
    void setExplicitType(bool isExplicit) { explicitType_ = isExplicit; }
    const QString& strTooltips() const { return strTooltips_; }
    void setStrTooltips(const QString& tooltip) { strTooltips_ = tooltip; }

private:
    QString tagStr_;
    int32_t dataType_ = -1;
    QString tagTypeStr_;
    int32_t tagType_ = 0;
    bool explicitType_ = false;
    QString strTooltips_;
};

using TAVExifTagPtr = std::shared_ptr<TAVExifTag>;
