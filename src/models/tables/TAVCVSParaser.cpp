#include "models/tables/TAVCVSParaser.h"

#include "models/tables/CSVParser.h"

#include <QFile>

#include <exiv2/exiv2.hpp>

#include <mutex>

namespace {

TAVCVSParaser::Tables& processTables()
{
    static TAVCVSParaser::Tables tables;
    return tables;
}

// One parser serves both tables: a delimiter it detected in the first table
// stays set for the second.
CSVParser& processParser()
{
    static CSVParser parser;
    return parser;
}

} // namespace

QString TAVCVSParaser::exifTablePath()
{
    return QStringLiteral(":/tagtables/exif_keys_types.csv");
}

QString TAVCVSParaser::iptcTablePath()
{
    return QStringLiteral(":/tagtables/iptc_keys_types.csv");
}

void TAVCVSParaser::loadCanEditTags()
{
    static std::once_flag once;
    std::call_once(once, [] {
        loadTagForPath(exifTablePath(), QStringLiteral("exif"));
        loadTagForPath(iptcTablePath(), QStringLiteral("iptc"));
    });
}

void TAVCVSParaser::loadTagForPath(const QString& path, const QString& family)
{
    loadTagForPath(path, family, processParser(), processTables());
}

void TAVCVSParaser::loadTagForPath(const QString& path, const QString& family, CSVParser& parser, Tables& tables)
{
    if (path.isEmpty() || !QFile::exists(path)) {
        return;
    }
    // Read through QFile so that compiled-in tables and files on disk load alike.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    const CSVParser::Records records = parser.parseData(file.readAll());
    parser.setData(QByteArray());

    const QMap<QString, int>& codes = loadKeyType();
    QList<TAVExifTagPtr> rows;
    for (qsizetype i = 1; i < records.size(); ++i) {
        const QStringList& fields = records.at(i);
        if (fields.size() < 3) {
            continue; // too short to name a key, a type and a tooltip
        }
        auto tag = std::make_shared<TAVExifTag>();
        tag->setTagStr(fields.at(0));
        tag->setTagTypeStr(fields.at(1));
        tag->setStrTooltips(fields.at(2));
        tag->setDataType(codes.value(fields.at(1), 0));
        configTag(tag.get(), fields.at(1));
        tables.tagsByKey.insert(fields.at(0), tag);
        rows.append(tag);
    }
    if (!rows.isEmpty()) {
        tables.tagsByFamily.insert(family, rows);
    }
}

void TAVCVSParaser::configTag(TAVExifTag* tag, const QString& typeStr)
{
    if (tag == nullptr || typeStr.isEmpty()) {
        return;
    }
    const QByteArray name = typeStr.toLatin1();
    const Exiv2::TypeId typeId = Exiv2::TypeInfo::typeId(name.constData());
    tag->setTagType(static_cast<int32_t>(typeId));
    tag->setExplicitType(typeId != Exiv2::invalidTypeId);
}

const QMap<QString, int>& TAVCVSParaser::loadKeyType()
{
    static const QMap<QString, int> codes{
        {QStringLiteral("Short"), 3},
        {QStringLiteral("Comment"), 0},
        {QStringLiteral("Rational"), 5},
        {QStringLiteral("Ascii"), 0},
        {QStringLiteral("Long"), 2},
        {QStringLiteral("Undefined"), -1},
        {QStringLiteral("SRational"), 5},
        {QStringLiteral("SShort"), 3},
        {QStringLiteral("Byte"), 4},
        {QStringLiteral("Float"), 6},
        {QStringLiteral("Double"), 7},
        {QStringLiteral("String"), 0},
        {QStringLiteral("Date"), 8},
        {QStringLiteral("Time"), 9},
    };
    return codes;
}

const TAVCVSParaser::Tables& TAVCVSParaser::tagTables()
{
    return processTables();
}

TAVExifTagPtr TAVCVSParaser::tagForKey(const QString& key)
{
    return processTables().tagsByKey.value(key);
}
