#include "commlib/TAVSearchableTagTable.h"
#include "commlib/TAVSearchableTagTableDelegate.h"
#include "commlib/TAVSearchableTagTableModel.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <tuple>

namespace {

using Table = TAVSearchableTagTable;
using Model = TAVSearchableTagTableModel;

TAVEntityPtr familyRow(const QString& key)
{
    auto row = TAVEntity::entityWithValue(QString(), key);
    row->setIsGroup(true);
    return row;
}

// A record as the reading manager leaves it: the family rows and the file's
// other rows in category 3, the tabs' keys in their own categories.
TAVExifDataPtr recordWith(const std::vector<std::tuple<int, QString, QString>>& entries)
{
    QMap<int, TAVEntityMap> maps;
    for (const QString& family : {QStringLiteral("EXIF"), QStringLiteral("IPTC"), QStringLiteral("XMP")})
        maps[3].insert(family, familyRow(family));
    for (const auto& [category, key, value] : entries)
        maps[category].insert(key, TAVEntity::entityWithValue(value, key));
    auto record = TAVExifData::create();
    for (auto it = maps.cbegin(); it != maps.cend(); ++it)
        record->initImageExifData(it.value(), it.key());
    return record;
}

TAVExifDataPtr sampleRecord(const QString& make = QStringLiteral("Canon"))
{
    return recordWith({{0, "Summary.CreateTime", "10:00:00"}, {0, "Summary.ImageSize", "64 x 48"},
        {0, "Exif.Image.Make", make}, {0, "Iptc.Application2.Keywords", "sea"}, {1, "Exif.Photo.FNumber", "2.8"},
        {3, "Exif.Image.Artist", "Ann"}, {3, "Iptc.Application2.City", "Oslo"}, {3, "Xmp.dc.title", "Bay"}});
}

QStringList shownKeys(const Table& table)
{
    QStringList keys;
    for (const Table::Row& row : table.shownRows())
        keys << row.entity->key();
    return keys;
}

const Table::Row* shownRowOf(const Table& table, const QString& key)
{
    for (const Table::Row& row : table.shownRows()) {
        if (row.entity->key() == key)
            return &row;
    }
    return nullptr;
}

const QList<Model::Column> kDetailColumns
    = {{"Tag", "Tag", false}, {"data_type", "Type", false}, {"Value", "Value", true}};

} // namespace

TEST(SearchableTagTable, ListsExifThenIptcByDisplayKeyAndOnlyTheXmpHeader)
{
    Table table;
    table.setRows(Table::familyRowsOfRecord(*sampleRecord()));
    table.getReadDataSource();
    // By display key "FNumber - Photo" sorts before "Make - Image", unlike the keys.
    EXPECT_EQ(shownKeys(table),
        QStringList({"EXIF", "Exif.Image.Artist", "Exif.Photo.FNumber", "Exif.Image.Make", "IPTC",
            "Iptc.Application2.City", "Iptc.Application2.Keywords", "XMP"}));
    EXPECT_TRUE(table.isHeader(0));
    EXPECT_FALSE(table.isHeader(1));
    EXPECT_FALSE(table.isHeader(8));
    EXPECT_FALSE(table.isHeader(-1));
}

TEST(SearchableTagTable, SearchMatchesDisplayKeysAndValuesByTheCaseRuleAndKeepsHeaders)
{
    struct Case {
        const char* text;
        Qt::CaseSensitivity cs;
        QString filter;
        QStringList keys;
        Table::Range keyMatch; // of the first non-header row
        Table::Range valueMatch;
    };
    const std::vector<Case> cases = {
        {"make", Qt::CaseSensitive, Table::kAllFamilies, {"EXIF", "IPTC", "XMP"}, {}, {}},
        {"make", Qt::CaseInsensitive, Table::kAllFamilies, {"EXIF", "Exif.Image.Make", "IPTC", "XMP"}, {0, 4}, {}},
        {"Canon", Qt::CaseSensitive, Table::kAllFamilies, {"EXIF", "Exif.Image.Make", "IPTC", "XMP"}, {}, {0, 5}},
        {"zzz", Qt::CaseSensitive, Table::kAllFamilies, {"EXIF", "IPTC", "XMP"}, {}, {}},
        {"Application2", Qt::CaseSensitive, "Exif", {}, {}, {}},
        {"se", Qt::CaseSensitive, "Iptc", {"Iptc.Application2.Keywords"}, {}, {0, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " in " + c.filter.toStdString());
        Table table;
        table.setRows(Table::familyRowsOfRecord(*sampleRecord()));
        table.setCaseSensitivity(c.cs);
        table.setFamilyFilter(c.filter);
        table.startSearch(c.text);
        table.getReadDataSource();
        EXPECT_TRUE(table.isSearch());
        EXPECT_EQ(shownKeys(table), c.keys);
        for (const Table::Row& row : table.shownRows()) {
            if (row.entity->isGroup())
                continue;
            EXPECT_EQ(row.keyMatch, c.keyMatch);
            EXPECT_EQ(row.valueMatch, c.valueMatch);
            break;
        }
    }
}

TEST(SearchableTagTable, HitsAreNewEntitiesWithPlainTextsAndAnEmptySearchShowsTheFullList)
{
    const auto record = sampleRecord();
    Table table;
    table.setRows(Table::familyRowsOfRecord(*record));
    table.startSearch("Canon");
    table.getReadDataSource();
    const Table::Row* hit = shownRowOf(table, "Exif.Image.Make");
    ASSERT_NE(hit, nullptr);
    EXPECT_NE(hit->entity, record->userSetEntity("Exif.Image.Make", 0));
    EXPECT_EQ(hit->entity->value(), QStringLiteral("Canon"));
    EXPECT_EQ(record->userSetEntity("Exif.Image.Make", 0)->value(), QStringLiteral("Canon"));

    table.startSearch(QString());
    table.getReadDataSource();
    EXPECT_FALSE(table.isSearch());
    EXPECT_EQ(table.shownCount(), 8);
    EXPECT_EQ(shownRowOf(table, "Exif.Image.Make")->entity, record->userSetEntity("Exif.Image.Make", 0));
}

TEST(SearchableTagTable, ANewRecordRerunsTheActiveSearch)
{
    Table table;
    table.setRows(Table::familyRowsOfRecord(*sampleRecord("Canon")));
    table.startSearch("Canon");
    table.setRows(Table::familyRowsOfRecord(*sampleRecord("Nikon")));
    table.getReadDataSource();
    EXPECT_EQ(shownKeys(table), QStringList({"EXIF", "IPTC", "XMP"}));
    for (const Table::Row& row : table.searchRows())
        EXPECT_NE(row.entity->value(), QStringLiteral("Canon"));
}

TEST(SearchableTagTable, ValueOnlySearchOnTheRowsThemselvesAndTicksThatOutliveASearch)
{
    const auto record = sampleRecord();
    const TAVEntityList rows = Table::familyRowsOfRecord(*record);

    // Values only, the rows themselves, no headers kept (the preset sheet's way).
    Table inPlace({Table::SearchScope::ValueOnly, Table::HitKind::SourceRows, false});
    inPlace.setRows(rows);
    inPlace.startSearch("Make");
    inPlace.getReadDataSource();
    EXPECT_EQ(inPlace.shownCount(), 0);
    inPlace.startSearch("n");
    inPlace.getReadDataSource();
    ASSERT_EQ(shownKeys(inPlace), QStringList({"Exif.Image.Artist", "Exif.Image.Make"}));
    EXPECT_EQ(inPlace.shownRow(0)->entity, record->userSetEntity("Exif.Image.Artist", 3));
    EXPECT_EQ(inPlace.shownRow(0)->valueMatch, (Table::Range{1, 1}));
    EXPECT_EQ(inPlace.shownRow(0)->entity->value(), QStringLiteral("Ann"));

    // Hits as copies: a tick on a hit reaches the full list and stays.
    Table copies;
    copies.setRows(rows);
    copies.startSearch("Oslo");
    copies.getReadDataSource();
    ASSERT_EQ(shownKeys(copies), QStringList({"EXIF", "IPTC", "Iptc.Application2.City", "XMP"}));
    copies.setShownRowChecked(0, true); // a header takes no tick
    copies.setShownRowChecked(2, true);
    EXPECT_TRUE(copies.shownRow(2)->entity->isChecked());
    copies.startSearch(QString());
    copies.getReadDataSource();
    EXPECT_TRUE(shownRowOf(copies, "Iptc.Application2.City")->entity->isChecked());
    EXPECT_FALSE(shownRowOf(copies, "EXIF")->entity->isChecked());
}

TEST(SearchableTagTableModel, ModifiedRowsAreBoldItalicBlueWithTheRedRunOfTheShownText)
{
    const auto record = sampleRecord();
    record->setValue("Canon EOS", "Exif.Image.Make", 0, false, false, true);
    Model model({}, kDetailColumns);
    model.table().setRows(Table::familyRowsOfRecord(*record));
    model.table().startSearch("EOS");
    model.reload();
    ASSERT_EQ(model.rowCount(), 4);
    const QModelIndex value = model.index(1, 2);
    const QFont font = value.data(Qt::FontRole).value<QFont>();
    EXPECT_TRUE(font.bold());
    EXPECT_TRUE(font.italic());
    EXPECT_EQ(font.pointSizeF(), 13.0);
    EXPECT_EQ(value.data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::blue));
    EXPECT_EQ(value.data(Model::HighlightRole).value<Table::Range>(), (Table::Range{6, 3}));
    EXPECT_TRUE(model.index(1, 0).data(Model::HighlightRole).value<Table::Range>().isEmpty());
    EXPECT_EQ(model.index(1, 1).data().toString(), QStringLiteral("Ascii"));
    EXPECT_TRUE(model.index(1, 0).data(Qt::ToolTipRole).toString().startsWith("The manufacturer"));

    // An unmodified hit keeps its plain style; a header is neither styled nor editable.
    model.table().startSearch("Ann");
    model.reload();
    const QModelIndex artist = model.index(1, 2);
    EXPECT_FALSE(artist.data(Qt::FontRole).isValid());
    EXPECT_FALSE(artist.data(Qt::ForegroundRole).isValid());
    EXPECT_EQ(artist.data(Model::HighlightRole).value<Table::Range>(), (Table::Range{0, 3}));
    EXPECT_TRUE(model.flags(artist).testFlag(Qt::ItemIsEditable));
    EXPECT_FALSE(model.flags(model.index(1, 0)).testFlag(Qt::ItemIsEditable));
    EXPECT_FALSE(model.flags(model.index(0, 2)).testFlag(Qt::ItemIsEditable));
    EXPECT_TRUE(model.isGroupRow(0));
    EXPECT_FALSE(model.setData(model.index(0, 2), "x"));
}

TEST(SearchableTagTableModel, EditsGoToTheMembersHandlerAndTicksToTheRows)
{
    const auto record = sampleRecord();
    Model model({}, {{"check", "", false}, {"Tag", "Tag", false}, {"Value", "Value", true}});
    model.table().setRows(Table::familyRowsOfRecord(*record));
    model.reload();
    std::vector<std::pair<QString, QString>> edits;
    model.setEditHandler([&](const Table::Row& row, const QString& column, const QString& text) {
        edits.emplace_back(row.entity->key(), column + "=" + text);
        return text != "refused";
    });
    EXPECT_TRUE(model.setData(model.index(1, 2), "Bea"));
    EXPECT_FALSE(model.setData(model.index(1, 2), "refused"));
    EXPECT_FALSE(model.setData(model.index(1, 1), "Tag text")); // not an editable column
    EXPECT_EQ(edits,
        (std::vector<std::pair<QString, QString>>{
            {"Exif.Image.Artist", "Value=Bea"}, {"Exif.Image.Artist", "Value=refused"}}));

    EXPECT_FALSE(model.index(0, 0).data(Qt::CheckStateRole).isValid());
    EXPECT_TRUE(model.setData(model.index(1, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(record->userSetEntity("Exif.Image.Artist", 3)->isChecked());
    EXPECT_EQ(model.index(1, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
}

TEST(SearchableTagTableDelegate, PaintsTheRedRunOverTheModifiedStyleAndReportsTyping)
{
    const auto record = sampleRecord();
    record->setValue("Canon EOS", "Exif.Image.Make", 0, false, false, true);
    Model model({}, kDetailColumns);
    model.table().setRows(Table::familyRowsOfRecord(*record));
    model.table().startSearch("Canon");
    model.reload();
    QTableView view;
    TAVSearchableTagTableDelegate delegate;
    view.setModel(&model);
    view.setItemDelegate(&delegate);
    view.resize(520, 160);
    TAVSearchableTagTableDelegate::spanGroupRows(&view);
    EXPECT_EQ(view.columnSpan(0, 0), 3);
    EXPECT_EQ(view.columnSpan(1, 0), 1);

    const QImage picture = view.grab().toImage();
    int red = 0;
    int blue = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor c = picture.pixelColor(x, y);
            red += c.red() > 200 && c.green() < 80 && c.blue() < 80;
            blue += c.blue() > 200 && c.red() < 80 && c.green() < 80;
        }
    }
    EXPECT_GT(red, 10);
    EXPECT_GT(blue, 10);

    QSignalSpy typed(&delegate, &TAVSearchableTagTableDelegate::editorTextEdited);
    view.edit(model.index(1, 2));
    auto* editor = view.findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "ab");
    EXPECT_EQ(typed.count(), 2);
}
