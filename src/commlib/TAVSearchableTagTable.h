#pragma once

#include "models/record/TAVExifData.h"

#include <QList>
#include <QMetaType>
#include <QString>

// The row lists behind every searchable table of metadata rows: the detail
// tab and the replace, new-preset and export-field sheets. It holds the full
// list of rows, the rows that match the search text and the rows shown after
// the family filter; it knows nothing of widgets.
//
// A member states its policy (what a search looks in, whether hits are new
// entities or the rows themselves, whether family rows survive a search) and
// hands over its rows; the rest is shared. A highlight is display data: it is
// kept beside the entity as a range and never written into an entity.
class TAVSearchableTagTable {
public:
    // Where a search text was first found in a text; empty when it was not.
    struct Range {
        qsizetype position = -1;
        qsizetype length = 0;

        bool isEmpty() const { return position < 0 || length <= 0; }
        bool operator==(const Range&) const = default;
        // The first occurrence of `needle` in `text`; empty for an empty needle.
        static Range find(const QString& text, const QString& needle, Qt::CaseSensitivity cs);
    };

    // One row of the search or shown list: the entity and its red runs.
    struct Row {
        TAVEntityPtr entity;
        Range keyMatch; // in the display key
        Range valueMatch; // in the value
    };

    enum class SearchScope { KeyAndValue, ValueOnly };
    enum class HitKind { NewEntities, SourceRows };
    struct Policy {
        SearchScope scope = SearchScope::KeyAndValue;
        HitKind hits = HitKind::NewEntities;
        // Family rows are carried into every search list, matching or not.
        bool keepFamilyRows = true;
    };

    // The family filter that shows every row, family rows included.
    static const QString kAllFamilies;

    // The detail tab's policy: display keys and values, new hits, family rows kept.
    TAVSearchableTagTable();
    explicit TAVSearchableTagTable(const Policy& policy);

    // The detail tab's full list of a record: every user-set entity, EXIF
    // rows then IPTC rows, each family's row first and the rest by display
    // key; XMP and the application's own keys are left out, the XMP family
    // row stays. The entities are the record's own.
    static TAVEntityList familyRowsOfRecord(const TAVExifData& record);
    static bool isFamilyRow(const TAVEntity& entity);
    // What an editor of the table says when a value is refused for `key`;
    // for a date it names the form the key takes.
    static QString invalidValueMessage(const QString& key);

    const Policy& policy() const { return policy_; }

    // Replaces the full list. An active search is run again on the new rows,
    // so no hit of an earlier record outlives it.
    void setRows(const TAVEntityList& rows);
    const TAVEntityList& allRows() const { return allRows_; }

    // Empty text ends the search (the hits stay as they were), any other text
    // starts one and rebuilds the hits. The shown list waits for the next
    // getReadDataSource.
    void startSearch(const QString& text);
    void loadSearchData(const QString& text);
    bool isSearch() const { return isSearch_; }
    const QString& searchText() const { return searchText_; }
    const QList<Row>& searchRows() const { return searchRows_; }

    // Qt::CaseInsensitive when the case box is on. Takes effect at the next search.
    void setCaseSensitivity(Qt::CaseSensitivity cs) { caseSensitivity_ = cs; }
    Qt::CaseSensitivity caseSensitivity() const { return caseSensitivity_; }

    // kAllFamilies or a key prefix such as "Exif".
    void setFamilyFilter(const QString& title) { familyFilter_ = title; }
    const QString& familyFilter() const { return familyFilter_; }

    // Rebuilds the shown list from the search list while searching, else
    // from the full list, through the family filter, and answers it.
    const QList<Row>& getReadDataSource();
    const QList<Row>& shownRows() const { return shownRows_; }
    qsizetype shownCount() const { return shownRows_.size(); }
    // Null outside the shown list.
    const Row* shownRow(qsizetype row) const;
    // A family row of the shown list; false outside it.
    bool isHeader(qsizetype row) const;

    // Ticks a shown row and the row of the full list with its key, so a tick
    // made on a hit counts and stays when the search ends.
    void setShownRowChecked(qsizetype row, bool checked);

    // The red run of a cell text. A modified row is restyled as a whole, so
    // its run is searched again in the very text shown; others keep `stored`.
    Range highlightInText(const Row& row, const QString& text, const Range& stored) const;

private:
    TAVEntityPtr makeHit(const TAVEntity& source) const;

    Policy policy_;
    TAVEntityList allRows_;
    QList<Row> searchRows_;
    QList<Row> shownRows_;
    bool isSearch_ = false;
    QString searchText_;
    Qt::CaseSensitivity caseSensitivity_ = Qt::CaseSensitive;
    QString familyFilter_;
};

Q_DECLARE_METATYPE(TAVSearchableTagTable::Range)
