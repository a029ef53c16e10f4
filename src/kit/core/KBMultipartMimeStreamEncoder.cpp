#include "kit/core/KBMultipartMimeStreamEncoder.h"

#include "kit/support/KBDigest.h"
#include "kit/support/KBFiles.h"
#include "kit/support/KBLog.h"

namespace {

std::string describe(const nlohmann::json& value)
{
    if (value.is_string()) {
        return value.get<std::string>();
    }
    if (value.is_boolean()) {
        return value.get<bool>() ? "1" : "0";
    }
    return value.dump();
}

std::string describe(const std::optional<std::string>& text)
{
    return text ? *text : "(null)";
}

} // namespace

std::shared_ptr<KBMultipartMimeStreamEncoder> KBMultipartMimeStreamEncoder::encoderWithStream(
    std::shared_ptr<KBOutputStream> stream, std::optional<std::string> boundary)
{
    if (!stream) {
        return nullptr;
    }
    return std::make_shared<KBMultipartMimeStreamEncoder>(std::move(stream), std::move(boundary));
}

std::string KBMultipartMimeStreamEncoder::generateBoundary()
{
    return KBCreateUUIDString();
}

std::string KBMultipartMimeStreamEncoder::contentTypeHTTPHeaderValueWithBoundary(const std::string& boundary)
{
    return "multipart/form-data; boundary=" + boundary;
}

bool KBMultipartMimeStreamEncoder::populateRequest(
    KBURLRequest& request, const std::function<void(KBMultipartMimeStreamEncoder&)>& block)
{
    auto stream = std::make_shared<KBMemoryOutputStream>();
    KBMultipartMimeStreamEncoder encoder(stream, generateBoundary());
    encoder.encode([&] { block(encoder); });
    if (encoder.failed()) {
        return false;
    }
    request.setHeader("Content-Type", encoder.contentTypeHTTPHeaderValue());
    request.setHeader("Content-Length", encoder.contentLengthHTTPHeaderValue());
    request.body = stream->data();
    return true;
}

KBMultipartMimeStreamEncoder::KBMultipartMimeStreamEncoder(
    std::shared_ptr<KBOutputStream> stream, std::optional<std::string> boundary)
    : stream_(std::move(stream))
    , boundary_(boundary ? *boundary : generateBoundary())
{
}

void KBMultipartMimeStreamEncoder::encode(const std::function<void()>& block)
{
    beginEncoding();
    if (block) {
        block();
    }
    endEncoding();
}

std::string KBMultipartMimeStreamEncoder::contentTypeHTTPHeaderValue() const
{
    return contentTypeHTTPHeaderValueWithBoundary(boundary_);
}

std::string KBMultipartMimeStreamEncoder::contentLengthHTTPHeaderValue() const
{
    return std::to_string(length_);
}

void KBMultipartMimeStreamEncoder::beginEncoding()
{
    length_ = 0;
    failed_ = false;
    stream_->open();
    writeData(headerData());
}

void KBMultipartMimeStreamEncoder::endEncoding()
{
    writeData(footerData());
    stream_->close();
}

std::string KBMultipartMimeStreamEncoder::headerData()
{
    return "MIME-Version: 1.0\r\n";
}

std::string KBMultipartMimeStreamEncoder::footerData() const
{
    return "--" + boundary_ + "--\r\n";
}

void KBMultipartMimeStreamEncoder::addValue(
    const std::optional<nlohmann::json>& value, const std::optional<std::string>& fieldName)
{
    if (!value || value->is_null() || !fieldName || fieldName->empty()) {
        KBLog::info("[Kitbase] name (" + describe(fieldName) + ") or value ("
            + (value && !value->is_null() ? describe(*value) : std::string("(null)")) + ") is invalid");
        return;
    }
    writeData("--" + boundary_ + "\r\nContent-Disposition: form-data; name=\"" + *fieldName + "\"\r\n");
    writeData("Content-Type: text/plain\r\n\r\n");
    writeData(describe(*value) + "\r\n");
}

void KBMultipartMimeStreamEncoder::addFileData(const std::optional<std::string>& data,
    const std::optional<std::string>& fileName, const std::optional<std::string>& mimeType,
    const std::optional<std::string>& fieldName)
{
    if (!data || data->empty()) {
        KBLog::info("[Kitbase] Unable to MIME encode data with zero length (" + describe(fieldName) + ")");
        return;
    }
    if (!fieldName || fieldName->empty() || !fileName || fileName->empty()) {
        KBLog::info(
            "[Kitbase] name (" + describe(fieldName) + ") or fieldname (" + describe(fileName) + ") is invalid");
        return;
    }
    writeData("--" + boundary_ + "\r\nContent-Disposition: form-data; name=\"" + *fieldName + "\"; filename=\""
        + *fileName + "\"\r\n");
    if (mimeType) {
        writeData("Content-Type: " + *mimeType + "\r\n");
        writeData("Content-Transfer-Encoding: binary\r\n\r\n");
    } else {
        writeData("Content-Type: application/octet-stream\r\n\r\n");
    }
    writeData(*data);
    writeData("\r\n");
}

void KBMultipartMimeStreamEncoder::addFile(const std::string& path, const std::optional<std::string>& fileName,
    const std::optional<std::string>& mimeType, const std::optional<std::string>& fieldName)
{
    addFileData(KBFiles::read(path).value_or(std::string()), fileName, mimeType, fieldName);
}

bool KBMultipartMimeStreamEncoder::writeBytes(const void* bytes, size_t length)
{
    const size_t accepted = stream_->write(bytes, length);
    if (accepted != length) {
        KBLog::info("[Kitbase] Failed to write bytes to stream");
        length_ += accepted;
        failed_ = true;
        return false;
    }
    length_ += accepted;
    return true;
}

void KBMultipartMimeStreamEncoder::writeData(const std::string& data)
{
    const size_t accepted = stream_->write(data.data(), data.size());
    // Whatever the stream took is in the body and so in its length.
    length_ += accepted;
    if (accepted != data.size()) {
        KBLog::info("[Kitbase] Failed to write data to stream");
        failed_ = true;
    }
}

const std::string& KBMultipartMimeStreamEncoder::boundary() const
{
    return boundary_;
}

uint64_t KBMultipartMimeStreamEncoder::length() const
{
    return length_;
}

bool KBMultipartMimeStreamEncoder::failed() const
{
    return failed_;
}
