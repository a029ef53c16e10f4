#include "webmapkit/GMKJsonObject.h"

#include <algorithm>

GMKJsonObject::GMKJsonObject(std::initializer_list<Member> members)
{
    members_.reserve(members.size());
    for (const Member& member : members) {
        insert(member.first, member.second);
    }
}

void GMKJsonObject::insert(const GMKJsonValue& key, const GMKJsonValue& value)
{
    if (key.isString()) {
        const auto found = stringIndex_.constFind(key.toString());
        if (found != stringIndex_.cend()) {
            members_[*found].second = value;
            return;
        }
        stringIndex_.insert(key.toString(), members_.size());
    } else {
        const auto same = std::find_if(
            members_.begin(), members_.end(), [&key](const Member& member) { return member.first == key; });
        if (same != members_.end()) {
            same->second = value;
            return;
        }
    }
    members_.emplace_back(key, value);
}

GMKJsonValue GMKJsonObject::value(const QString& key) const
{
    const auto found = stringIndex_.constFind(key);
    return found == stringIndex_.cend() ? GMKJsonValue() : members_[*found].second;
}

QStringList GMKJsonObject::keys() const
{
    QStringList result;
    for (const Member& member : members_) {
        if (member.first.isString()) {
            result << member.first.toString();
        }
    }
    return result;
}

bool GMKJsonObject::operator==(const GMKJsonObject& other) const
{
    if (members_.size() != other.members_.size()) {
        return false;
    }
    for (const Member& member : members_) {
        const auto same = std::find_if(other.members_.begin(), other.members_.end(),
            [&member](const Member& theirs) { return theirs.first == member.first; });
        if (same == other.members_.end() || !(same->second == member.second)) {
            return false;
        }
    }
    return true;
}
