#pragma once

#include "webmapkit/GMKJsonValue.h"

#include <QHash>
#include <QStringList>

#include <initializer_list>
#include <utility>
#include <vector>

// The members of a JSON object in the order they were first inserted. Inserting
// a key that is already there replaces its value (the last one wins). Keys are
// values so that a writer can be handed a non-string key and refuse it.
class GMKJsonObject {
public:
    using Member = std::pair<GMKJsonValue, GMKJsonValue>;

    GMKJsonObject() = default;
    GMKJsonObject(std::initializer_list<Member> members);

    void insert(const GMKJsonValue& key, const GMKJsonValue& value);
    void reserve(std::size_t count) { members_.reserve(count); }

    bool contains(const QString& key) const { return stringIndex_.contains(key); }
    // The value for `key`; null when absent.
    GMKJsonValue value(const QString& key) const;
    QStringList keys() const;
    const std::vector<Member>& members() const { return members_; }
    qsizetype size() const { return static_cast<qsizetype>(members_.size()); }
    bool isEmpty() const { return members_.empty(); }

    // Same members with equal values, in any order.
    bool operator==(const GMKJsonObject& other) const;

private:
    std::vector<Member> members_;
    QHash<QString, std::size_t> stringIndex_;
};
