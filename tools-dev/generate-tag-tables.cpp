// Generates the two editable-tag tables compiled into the program:
// resources/exif_keys_types.csv and resources/iptc_keys_types.csv.
//
// Run by hand (never at build time) after changing the curated key lists below
// or when moving to another Exiv2 version:
//
//   g++ -std=c++20 -O1 -o /tmp/generate-tag-tables tools-dev/generate-tag-tables.cpp $(pkg-config --cflags --libs
//   exiv2) /tmp/generate-tag-tables resources
//
// Each row is: metadata key, the Exiv2 type name of the tag's default type, and
// the library's description of the tag as tooltip. The rows come from Exiv2's
// own tag lists (ExifTags::tagList for the Image, Photo and GPSInfo groups,
// IptcDataSets::application2RecordList), filtered by the curated lists below:
// what a user editing photo metadata expects to edit (descriptive, rights,
// date, camera, exposure and GPS tags) and nothing of the files' internal
// structure (offsets, thumbnails, maker notes, strip and tile layout, version
// markers). A curated key that the library does not know stops the generator.

#include <exiv2/exiv2.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> imageTags = {
    "ImageDescription",
    "Make",
    "Model",
    "Orientation",
    "Software",
    "DateTime",
    "Artist",
    "HostComputer",
    "Copyright",
    "DocumentName",
    "Rating",
    "RatingPercent",
    "XPTitle",
};

const std::vector<std::string> photoTags = {
    "ExposureTime",
    "FNumber",
    "ExposureProgram",
    "SpectralSensitivity",
    "ISOSpeedRatings",
    "DateTimeOriginal",
    "DateTimeDigitized",
    "OffsetTime",
    "OffsetTimeOriginal",
    "OffsetTimeDigitized",
    "ShutterSpeedValue",
    "ApertureValue",
    "BrightnessValue",
    "ExposureBiasValue",
    "MaxApertureValue",
    "SubjectDistance",
    "MeteringMode",
    "LightSource",
    "Flash",
    "FocalLength",
    "UserComment",
    "SubSecTime",
    "SubSecTimeOriginal",
    "SubSecTimeDigitized",
    "ColorSpace",
    "ExposureIndex",
    "SensingMethod",
    "CustomRendered",
    "ExposureMode",
    "WhiteBalance",
    "DigitalZoomRatio",
    "FocalLengthIn35mmFilm",
    "SceneCaptureType",
    "GainControl",
    "Contrast",
    "Saturation",
    "Sharpness",
    "SubjectDistanceRange",
    "ImageUniqueID",
    "CameraOwnerName",
    "BodySerialNumber",
    "LensSpecification",
    "LensMake",
    "LensModel",
    "LensSerialNumber",
};

const std::vector<std::string> gpsTags = {
    "GPSVersionID",
    "GPSLatitudeRef",
    "GPSLatitude",
    "GPSLongitudeRef",
    "GPSLongitude",
    "GPSAltitudeRef",
    "GPSAltitude",
    "GPSTimeStamp",
    "GPSSatellites",
    "GPSStatus",
    "GPSMeasureMode",
    "GPSDOP",
    "GPSSpeedRef",
    "GPSSpeed",
    "GPSTrackRef",
    "GPSTrack",
    "GPSImgDirectionRef",
    "GPSImgDirection",
    "GPSMapDatum",
    "GPSDestLatitudeRef",
    "GPSDestLatitude",
    "GPSDestLongitudeRef",
    "GPSDestLongitude",
    "GPSDestBearingRef",
    "GPSDestBearing",
    "GPSDestDistanceRef",
    "GPSDestDistance",
    "GPSDateStamp",
    "GPSDifferential",
};

const std::vector<std::string> iptcDataSets = {
    "ObjectName",
    "Urgency",
    "Category",
    "SuppCategory",
    "Keywords",
    "LocationName",
    "ReleaseDate",
    "ReleaseTime",
    "ExpirationDate",
    "ExpirationTime",
    "SpecialInstructions",
    "DateCreated",
    "TimeCreated",
    "Byline",
    "BylineTitle",
    "City",
    "SubLocation",
    "ProvinceState",
    "CountryCode",
    "CountryName",
    "TransmissionReference",
    "Headline",
    "Credit",
    "Source",
    "Copyright",
    "Contact",
    "Caption",
    "Writer",
};

struct Row {
    std::string key;
    std::string typeName;
    std::string tooltip;
};

// Every field is quoted; a quote inside a field is doubled.
std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') {
            out += '"';
        }
        out += (c == '\n' || c == '\r') ? ' ' : c;
    }
    return out + "\"";
}

bool writeTable(const std::string& path, const std::vector<Row>& rows)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "key,type,tooltip\n";
    for (const Row& row : rows) {
        out << row.key << ',' << row.typeName << ',' << quoted(row.tooltip) << '\n';
    }
    out.flush();
    return static_cast<bool>(out);
}

bool collectExif(const std::string& group, const std::vector<std::string>& names, std::vector<Row>& rows)
{
    const Exiv2::TagInfo* list = Exiv2::ExifTags::tagList(group);
    bool complete = true;
    for (const std::string& name : names) {
        const Exiv2::TagInfo* found = nullptr;
        for (const Exiv2::TagInfo* info = list; info != nullptr && info->tag_ != 0xffff; ++info) {
            if (name == info->name_) {
                found = info;
                break;
            }
        }
        if (found == nullptr) {
            std::cerr << "unknown EXIF tag " << group << "." << name << "\n";
            complete = false;
            continue;
        }
        rows.push_back({"Exif." + group + "." + name, Exiv2::TypeInfo::typeName(found->typeId_), found->desc_});
    }
    return complete;
}

bool collectIptc(std::vector<Row>& rows)
{
    const Exiv2::DataSet* list = Exiv2::IptcDataSets::application2RecordList();
    bool complete = true;
    for (const std::string& name : iptcDataSets) {
        const Exiv2::DataSet* found = nullptr;
        for (const Exiv2::DataSet* set = list; set->number_ != 0xffff; ++set) {
            if (name == set->name_) {
                found = set;
                break;
            }
        }
        if (found == nullptr) {
            std::cerr << "unknown IPTC dataset " << name << "\n";
            complete = false;
            continue;
        }
        rows.push_back({"Iptc.Application2." + name, Exiv2::TypeInfo::typeName(found->type_), found->desc_});
    }
    return complete;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " <resources folder>\n";
        return 2;
    }
    const std::string folder = argv[1];
    std::vector<Row> exif;
    std::vector<Row> iptc;
    bool complete = collectExif("Image", imageTags, exif);
    complete = collectExif("Photo", photoTags, exif) && complete;
    complete = collectExif("GPSInfo", gpsTags, exif) && complete;
    complete = collectIptc(iptc) && complete;
    if (!complete) {
        return 1;
    }
    if (!writeTable(folder + "/exif_keys_types.csv", exif) || !writeTable(folder + "/iptc_keys_types.csv", iptc)) {
        std::cerr << "cannot write the tables into " << folder << "\n";
        return 1;
    }
    std::printf("%zu EXIF rows, %zu IPTC rows\n", exif.size(), iptc.size());
    return 0;
}
