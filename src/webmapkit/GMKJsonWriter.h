#pragma once

#include "webmapkit/GMKJsonBase.h"
#include "webmapkit/GMKJsonValue.h"

#include <QString>

// Writes JSON values as text, compact or indented, with keys optionally sorted.
// A value that has no JSON form fails the run instead of producing text that no
// reader would accept.
class GMKJsonWriter : public GMKJsonBase {
public:
    // An array or an object (or a foreign object whose stand-in is one); a null
    // string on failure (see errorTrace()).
    QString stringWithObject(const GMKJsonValue& value);
    // Any value; a null string on failure.
    QString stringWithFragment(const GMKJsonValue& value);

    bool sortKeys() const { return sortKeys_; }
    void setSortKeys(bool sortKeys) { sortKeys_ = sortKeys; }
    bool humanReadable() const { return humanReadable_; }
    void setHumanReadable(bool humanReadable) { humanReadable_ = humanReadable; }

private:
    bool appendValue(const GMKJsonValue& value, QString& out);
    bool appendDictionary(const GMKJsonValue& value, QString& out);
    bool appendArray(const GMKJsonValue& value, QString& out);
    bool appendNumber(const GMKJsonNumber& number, QString& out);
    bool appendForeign(const GMKJsonValue& value, QString& out);
    void appendIndent(QString& out) const;
    static void appendString(const QString& text, QString& out);

    bool sortKeys_ = false;
    bool humanReadable_ = false;
};
