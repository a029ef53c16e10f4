#include "commlib/TAVSearchableTagTable.h"

#include "models/values/TAVDateTagForms.h"

#include <QLoggingCategory>

#include <algorithm>

namespace {

Q_LOGGING_CATEGORY(lcTagTable, "lumetta.tagtable")

constexpr qsizetype kInitialRows = 100;

bool lessByKey(const TAVEntityPtr& a, const TAVEntityPtr& b)
{
    return QString::compare(a->key(), b->key(), Qt::CaseSensitive) < 0;
}

// The family row leads its family; the others follow by display key.
bool lessInFamily(const TAVEntityPtr& a, const TAVEntityPtr& b)
{
    const bool aFamily = TAVSearchableTagTable::isFamilyRow(*a);
    const bool bFamily = TAVSearchableTagTable::isFamilyRow(*b);
    if (aFamily != bFamily) {
        return aFamily;
    }
    return QString::compare(a->dispKey(), b->dispKey(), Qt::CaseSensitive) < 0;
}

bool isListedKey(const QString& key)
{
    return key.startsWith(QLatin1String("Exif.")) || key.startsWith(QLatin1String("Iptc."));
}

void sortFamily(TAVEntityList& rows)
{
    std::stable_sort(rows.begin(), rows.end(), lessInFamily);
}

} // namespace

const QString TAVSearchableTagTable::kAllFamilies = QStringLiteral("All");

TAVSearchableTagTable::Range TAVSearchableTagTable::Range::find(
    const QString& text, const QString& needle, Qt::CaseSensitivity cs)
{
    if (needle.isEmpty()) {
        return {};
    }
    const qsizetype at = text.indexOf(needle, 0, cs);
    if (at < 0) {
        return {};
    }
    return {at, needle.size()};
}

TAVSearchableTagTable::TAVSearchableTagTable()
    : TAVSearchableTagTable(Policy())
{
}

TAVSearchableTagTable::TAVSearchableTagTable(const Policy& policy)
    : policy_(policy)
    , familyFilter_(kAllFamilies)
{
    allRows_.reserve(kInitialRows);
    searchRows_.reserve(kInitialRows);
    shownRows_.reserve(kInitialRows);
}

QString TAVSearchableTagTable::invalidValueMessage(const QString& key)
{
    const QString form = TAVDateTagForms::formHint(key);
    if (!form.isEmpty()) {
        return QStringLiteral("Please set a valid value for \"%1\": %2.").arg(key, form);
    }
    return QStringLiteral(
        "Please set a valid value for \"%1\" \n Tips: park your mouse hovering over the cell to get help")
        .arg(key);
}

bool TAVSearchableTagTable::isFamilyRow(const TAVEntity& entity)
{
    return entity.isGroup();
}

TAVEntityList TAVSearchableTagTable::familyRowsOfRecord(const TAVExifData& record)
{
    TAVEntityList gathered;
    const TAVCategoryMaps& categories = record.mdicUserSetExifDataInfo();
    for (auto category = categories.cbegin(); category != categories.cend(); ++category) {
        for (const TAVEntityPtr& entity : category.value()) {
            if (entity) {
                gathered.append(entity);
            }
        }
    }
    std::stable_sort(gathered.begin(), gathered.end(), lessByKey);

    TAVEntityList exif;
    TAVEntityList iptc;
    TAVEntityList rest;
    for (const TAVEntityPtr& entity : std::as_const(gathered)) {
        const QString& key = entity->key();
        if (key.startsWith(QLatin1String("Exif.")) || key == QLatin1String("EXIF")) {
            exif.append(entity);
        } else if (key.startsWith(QLatin1String("Iptc.")) || key == QLatin1String("IPTC")) {
            iptc.append(entity);
        } else {
            rest.append(entity);
        }
    }
    sortFamily(exif);
    sortFamily(iptc);
    sortFamily(rest);

    TAVEntityList rows;
    rows.reserve(gathered.size());
    for (const TAVEntityList* family : {&exif, &iptc, &rest}) {
        for (const TAVEntityPtr& entity : *family) {
            if (isFamilyRow(*entity) || isListedKey(entity->key())) {
                rows.append(entity);
            }
        }
    }
    return rows;
}

void TAVSearchableTagTable::setRows(const TAVEntityList& rows)
{
    allRows_ = rows;
    if (isSearch_) {
        loadSearchData(searchText_);
    }
}

void TAVSearchableTagTable::startSearch(const QString& text)
{
    qCInfo(lcTagTable).noquote() << QStringLiteral("searchStr = %1").arg(text);
    searchText_ = text;
    isSearch_ = !text.isEmpty();
    if (isSearch_) {
        loadSearchData(text);
    }
}

TAVEntityPtr TAVSearchableTagTable::makeHit(const TAVEntity& source) const
{
    auto hit = std::make_shared<TAVEntity>();
    hit->setKey(source.key());
    hit->setDispKey(source.dispKey());
    hit->setValue(source.value().isNull() ? QStringLiteral("") : source.value());
    hit->setIsGroup(source.isGroup());
    hit->setIsModified(source.isModified());
    hit->setIsChecked(source.isChecked());
    hit->setDataType(source.dataType());
    hit->setType(source.type());
    return hit;
}

void TAVSearchableTagTable::loadSearchData(const QString& text)
{
    searchRows_.clear();
    const bool searchKeys = policy_.scope == SearchScope::KeyAndValue;
    for (const TAVEntityPtr& source : std::as_const(allRows_)) {
        if (isFamilyRow(*source)) {
            if (policy_.keepFamilyRows) {
                searchRows_.append({policy_.hits == HitKind::SourceRows ? source : makeHit(*source), {}, {}});
            }
            continue;
        }
        if (source->key().isEmpty() || (searchKeys && source->dispKey().isEmpty())) {
            continue;
        }
        const Range keyMatch = searchKeys ? Range::find(source->dispKey(), text, caseSensitivity_) : Range();
        const Range valueMatch = Range::find(source->value(), text, caseSensitivity_);
        if (keyMatch.isEmpty() && valueMatch.isEmpty()) {
            continue;
        }
        searchRows_.append({policy_.hits == HitKind::SourceRows ? source : makeHit(*source), keyMatch, valueMatch});
    }
}

const QList<TAVSearchableTagTable::Row>& TAVSearchableTagTable::getReadDataSource()
{
    shownRows_.clear();
    const bool all = familyFilter_ == kAllFamilies;
    auto take = [&](const Row& row) {
        if (all || (!isFamilyRow(*row.entity) && row.entity->key().startsWith(familyFilter_))) {
            shownRows_.append(row);
        }
    };
    if (isSearch_) {
        for (const Row& row : std::as_const(searchRows_)) {
            take(row);
        }
    } else {
        for (const TAVEntityPtr& entity : std::as_const(allRows_)) {
            take(Row{entity, {}, {}});
        }
    }
    return shownRows_;
}

const TAVSearchableTagTable::Row* TAVSearchableTagTable::shownRow(qsizetype row) const
{
    if (row < 0 || row >= shownRows_.size()) {
        return nullptr;
    }
    return &shownRows_.at(row);
}

bool TAVSearchableTagTable::isHeader(qsizetype row) const
{
    const Row* shown = shownRow(row);
    return shown != nullptr && isFamilyRow(*shown->entity);
}

void TAVSearchableTagTable::setShownRowChecked(qsizetype row, bool checked)
{
    const Row* shown = shownRow(row);
    if (shown == nullptr || isFamilyRow(*shown->entity)) {
        return;
    }
    shown->entity->setIsChecked(checked);
    for (const TAVEntityPtr& source : std::as_const(allRows_)) {
        if (!isFamilyRow(*source) && source->key() == shown->entity->key()) {
            source->setIsChecked(checked);
        }
    }
}

TAVSearchableTagTable::Range TAVSearchableTagTable::highlightInText(
    const Row& row, const QString& text, const Range& stored) const
{
    if (isFamilyRow(*row.entity) || !isSearch_) {
        return {};
    }
    if (row.entity->isModified()) {
        return Range::find(text, searchText_, caseSensitivity_);
    }
    return stored;
}
