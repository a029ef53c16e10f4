#pragma once

#include "webmapkit/GMKJsonBase.h"
#include "webmapkit/GMKJsonParser.h"
#include "webmapkit/GMKJsonWriter.h"

#include <optional>

// A parser and a writer behind one object. On failure the codec's own trace
// becomes a copy of the worker's, and the optional error out-parameter receives
// the last error of it.
class GMKJsonCodec : public GMKJsonBase {
public:
    GMKJsonCodec();

    GMKJsonParser& jsonParser() { return parser_; }
    GMKJsonWriter& jsonWriter() { return writer_; }

    QString stringWithObject(const GMKJsonValue& value);
    QString stringWithObjectError(const GMKJsonValue& value, std::optional<GMKJsonError>* error);
    QString stringWithFragmentError(const GMKJsonValue& value, std::optional<GMKJsonError>* error);
    // `allowScalar` chooses the fragment form.
    QString stringWithObjectAllowScalar(
        const GMKJsonValue& value, bool allowScalar, std::optional<GMKJsonError>* error);

    std::optional<GMKJsonValue> objectWithString(const QString& text);
    std::optional<GMKJsonValue> objectWithStringError(const QString& text, std::optional<GMKJsonError>* error);
    std::optional<GMKJsonValue> fragmentWithStringError(const QString& text, std::optional<GMKJsonError>* error);
    std::optional<GMKJsonValue> objectWithStringAllowScalar(
        const QString& text, bool allowScalar, std::optional<GMKJsonError>* error);

    // Read from the parser; set on both workers.
    unsigned maxDepth() const { return parser_.maxDepth(); }
    void setMaxDepth(unsigned maxDepth);

    bool humanReadable() const { return writer_.humanReadable(); }
    void setHumanReadable(bool humanReadable) { writer_.setHumanReadable(humanReadable); }
    bool sortKeys() const { return writer_.sortKeys(); }
    void setSortKeys(bool sortKeys) { writer_.setSortKeys(sortKeys); }

private:
    void takeFailure(const GMKJsonBase& worker, std::optional<GMKJsonError>* error);

    GMKJsonParser parser_;
    GMKJsonWriter writer_;
};
