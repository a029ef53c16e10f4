#include "webmapkit/GMKJsonOperations.h"

#include "webmapkit/GMKJsonParser.h"
#include "webmapkit/GMKJsonWriter.h"

Q_LOGGING_CATEGORY(lcGMKJson, "lumetta.webmapkit.json")

namespace {

void logFailure(const char* what, const GMKJsonBase& worker)
{
    qCWarning(lcGMKJson, "%s failed. Error trace is: %s", what,
        qUtf8Printable(GMKJsonError::describeTrace(worker.errorTrace())));
}

std::optional<GMKJsonValue> parseLogged(const QString& text, bool fragment)
{
    GMKJsonParser parser;
    std::optional<GMKJsonValue> value = fragment ? parser.fragmentWithString(text) : parser.objectWithString(text);
    if (!value) {
        logFailure(fragment ? "-JSONFragmentValue" : "-JSONValue", parser);
    }
    return value;
}

QString writeLogged(const GMKJsonValue& value, bool fragment)
{
    GMKJsonWriter writer;
    const QString text = fragment ? writer.stringWithFragment(value) : writer.stringWithObject(value);
    if (text.isNull()) {
        logFailure(fragment ? "-JSONFragment" : "-JSONRepresentation", writer);
    }
    return text;
}

} // namespace

std::optional<GMKJsonValue> GMKJSONValue(const QString& text)
{
    return parseLogged(text, false);
}

std::optional<GMKJsonValue> GMKJSONFragmentValue(const QString& text)
{
    return parseLogged(text, true);
}

QString GMKJSONRepresentation(const GMKJsonValue& value)
{
    return writeLogged(value, false);
}

QString GMKJSONFragment(const GMKJsonValue& value)
{
    return writeLogged(value, true);
}
