#include "webmapkit/GMKJsonCodec.h"

GMKJsonCodec::GMKJsonCodec()
{
    setMaxDepth(defaultMaxDepth);
}

void GMKJsonCodec::setMaxDepth(unsigned maxDepth)
{
    GMKJsonBase::setMaxDepth(maxDepth);
    parser_.setMaxDepth(maxDepth);
    writer_.setMaxDepth(maxDepth);
}

QString GMKJsonCodec::stringWithObject(const GMKJsonValue& value)
{
    return stringWithObjectAllowScalar(value, false, nullptr);
}

QString GMKJsonCodec::stringWithObjectError(const GMKJsonValue& value, std::optional<GMKJsonError>* error)
{
    return stringWithObjectAllowScalar(value, false, error);
}

QString GMKJsonCodec::stringWithFragmentError(const GMKJsonValue& value, std::optional<GMKJsonError>* error)
{
    return stringWithObjectAllowScalar(value, true, error);
}

QString GMKJsonCodec::stringWithObjectAllowScalar(
    const GMKJsonValue& value, bool allowScalar, std::optional<GMKJsonError>* error)
{
    const QString text = allowScalar ? writer_.stringWithFragment(value) : writer_.stringWithObject(value);
    if (text.isNull()) {
        takeFailure(writer_, error);
    }
    return text;
}

std::optional<GMKJsonValue> GMKJsonCodec::objectWithString(const QString& text)
{
    return objectWithStringAllowScalar(text, false, nullptr);
}

std::optional<GMKJsonValue> GMKJsonCodec::objectWithStringError(const QString& text, std::optional<GMKJsonError>* error)
{
    return objectWithStringAllowScalar(text, false, error);
}

std::optional<GMKJsonValue> GMKJsonCodec::fragmentWithStringError(
    const QString& text, std::optional<GMKJsonError>* error)
{
    return objectWithStringAllowScalar(text, true, error);
}

std::optional<GMKJsonValue> GMKJsonCodec::objectWithStringAllowScalar(
    const QString& text, bool allowScalar, std::optional<GMKJsonError>* error)
{
    std::optional<GMKJsonValue> value = allowScalar ? parser_.fragmentWithString(text) : parser_.objectWithString(text);
    if (!value) {
        takeFailure(parser_, error);
    }
    return value;
}

void GMKJsonCodec::takeFailure(const GMKJsonBase& worker, std::optional<GMKJsonError>* error)
{
    setErrorTrace(worker.errorTrace());
    if (error && !worker.errorTrace().isEmpty()) {
        *error = worker.errorTrace().constLast();
    }
}
