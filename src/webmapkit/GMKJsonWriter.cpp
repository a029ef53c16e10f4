#include "webmapkit/GMKJsonWriter.h"

#include "webmapkit/GMKJsonForeignObject.h"
#include "webmapkit/GMKJsonObject.h"

#include <algorithm>
#include <vector>

namespace {

bool needsEscape(QChar ch)
{
    return ch.unicode() < 0x20 || ch == QLatin1Char('"') || ch == QLatin1Char('\\');
}

QString notSupported(const QString& className)
{
    return QStringLiteral("JSON serialisation not supported for %1").arg(className);
}

} // namespace

QString GMKJsonWriter::stringWithObject(const GMKJsonValue& value)
{
    if (value.isObject() || value.isArray()) {
        return stringWithFragment(value);
    }
    if (value.isForeign()) {
        // The stand-in is tried the same way, so a chain of stand-ins may end
        // in a document.
        const std::optional<GMKJsonValue> proxy = value.toForeignObject()->proxyForJson();
        if (proxy) {
            const QString text = stringWithObject(*proxy);
            if (!text.isNull()) {
                return text;
            }
        }
    }
    clearErrorTrace();
    addErrorWithCode(4, QStringLiteral("Not valid type for JSON"));
    return QString();
}

QString GMKJsonWriter::stringWithFragment(const GMKJsonValue& value)
{
    clearErrorTrace();
    depth_ = 0;
    QString text;
    text.reserve(128);
    if (!appendValue(value, text)) {
        return QString();
    }
    return text;
}

bool GMKJsonWriter::appendValue(const GMKJsonValue& value, QString& out)
{
    switch (value.type()) {
    case GMKJsonValue::Type::Object:
        return appendDictionary(value, out);
    case GMKJsonValue::Type::Array:
        return appendArray(value, out);
    case GMKJsonValue::Type::String:
        appendString(value.toString(), out);
        return true;
    case GMKJsonValue::Type::Bool:
        out += value.toBool() ? QLatin1String("true") : QLatin1String("false");
        return true;
    case GMKJsonValue::Type::Number:
        return appendNumber(value.toNumber(), out);
    case GMKJsonValue::Type::Null:
        out += QLatin1String("null");
        return true;
    case GMKJsonValue::Type::Foreign:
        return appendForeign(value, out);
    }
    return false;
}

bool GMKJsonWriter::appendDictionary(const GMKJsonValue& value, QString& out)
{
    if (!enterNesting()) {
        return false;
    }
    const GMKJsonObject& object = value.toObject();
    std::vector<const GMKJsonObject::Member*> members;
    members.reserve(object.members().size());
    for (const GMKJsonObject::Member& member : object.members()) {
        members.push_back(&member);
    }
    if (sortKeys_) {
        // Non-string keys sort first; they fail below in any case.
        std::stable_sort(members.begin(), members.end(), [](const auto* a, const auto* b) {
            if (a->first.isString() != b->first.isString()) {
                return !a->first.isString();
            }
            return a->first.toString() < b->first.toString();
        });
    }
    const QLatin1String separator = humanReadable_ ? QLatin1String(" : ") : QLatin1String(":");
    out += QLatin1Char('{');
    bool first = true;
    for (const GMKJsonObject::Member* member : members) {
        if (!first) {
            out += QLatin1Char(',');
        }
        first = false;
        if (humanReadable_) {
            appendIndent(out);
        }
        if (!member->first.isString()) {
            addErrorWithCode(1, QStringLiteral("JSON object key must be string"));
            return false;
        }
        appendString(member->first.toString(), out);
        out += separator;
        if (!appendValue(member->second, out)) {
            addErrorWithCode(1, QStringLiteral("Unsupported value for key %1 in object").arg(member->first.toString()));
            return false;
        }
    }
    leaveNesting();
    if (humanReadable_ && !members.empty()) {
        appendIndent(out);
    }
    out += QLatin1Char('}');
    return true;
}

bool GMKJsonWriter::appendArray(const GMKJsonValue& value, QString& out)
{
    if (!enterNesting()) {
        return false;
    }
    const GMKJsonArray& array = value.toArray();
    out += QLatin1Char('[');
    for (std::size_t i = 0; i < array.size(); ++i) {
        if (i > 0) {
            out += QLatin1Char(',');
        }
        if (humanReadable_) {
            appendIndent(out);
        }
        if (!appendValue(array[i], out)) {
            return false;
        }
    }
    leaveNesting();
    if (humanReadable_ && !array.empty()) {
        appendIndent(out);
    }
    out += QLatin1Char(']');
    return true;
}

// NaN and the infinities have no JSON text; writing "nan" or "inf" would hand
// the reader invalid JSON while reporting success.
bool GMKJsonWriter::appendNumber(const GMKJsonNumber& number, QString& out)
{
    if (!number.isFinite()) {
        addErrorWithCode(1, notSupported(QStringLiteral("GMKJsonNumber")));
        return false;
    }
    out += number.text();
    return true;
}

bool GMKJsonWriter::appendForeign(const GMKJsonValue& value, QString& out)
{
    const auto object = value.toForeignObject();
    const std::optional<GMKJsonValue> proxy = object->proxyForJson();
    if (!proxy) {
        addErrorWithCode(1, notSupported(object->className()));
        return false;
    }
    return appendValue(*proxy, out);
}

void GMKJsonWriter::appendIndent(QString& out) const
{
    out += QLatin1Char('\n');
    out += QString(static_cast<qsizetype>(depth_) * 2, QLatin1Char(' '));
}

void GMKJsonWriter::appendString(const QString& text, QString& out)
{
    out += QLatin1Char('"');
    if (std::none_of(text.cbegin(), text.cend(), needsEscape)) {
        out += text;
    } else {
        for (const QChar ch : text) {
            switch (ch.unicode()) {
            case '"':
                out += QLatin1String("\\\"");
                break;
            case '\\':
                out += QLatin1String("\\\\");
                break;
            case 0x08:
                out += QLatin1String("\\b");
                break;
            case 0x09:
                out += QLatin1String("\\t");
                break;
            case 0x0A:
                out += QLatin1String("\\n");
                break;
            case 0x0C:
                out += QLatin1String("\\f");
                break;
            case 0x0D:
                out += QLatin1String("\\r");
                break;
            default:
                if (ch.unicode() < 0x20) {
                    out += QStringLiteral("\\u%1").arg(ch.unicode(), 4, 16, QLatin1Char('0'));
                } else {
                    out += ch;
                }
            }
        }
    }
    out += QLatin1Char('"');
}
