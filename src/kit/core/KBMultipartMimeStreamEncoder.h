#pragma once

#include "kit/core/KBOutputStream.h"
#include "kit/core/KBURLRequest.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// Writes a multipart/form-data body to a stream, counting every byte the
// stream accepted so that Content-Length can be set. A part refused for a
// missing name or value is logged and left out; a stream that takes fewer
// bytes than given marks the encoding failed, and callers must not send it.
class KBMultipartMimeStreamEncoder {
public:
    static std::shared_ptr<KBMultipartMimeStreamEncoder> encoderWithStream(
        std::shared_ptr<KBOutputStream> stream, std::optional<std::string> boundary = std::nullopt);
    static std::string generateBoundary();
    static std::string contentTypeHTTPHeaderValueWithBoundary(const std::string& boundary);
    // Encodes into memory and sets the body, Content-Type and Content-Length;
    // false (and the request untouched) when the encoding failed.
    static bool populateRequest(KBURLRequest& request, const std::function<void(KBMultipartMimeStreamEncoder&)>& block);

    KBMultipartMimeStreamEncoder(std::shared_ptr<KBOutputStream> stream, std::optional<std::string> boundary);

    void encode(const std::function<void()>& block);
    std::string contentTypeHTTPHeaderValue() const;
    std::string contentLengthHTTPHeaderValue() const;
    void beginEncoding();
    void endEncoding();
    static std::string headerData();
    std::string footerData() const;

    // An absent or null value, or an absent or empty field name, is refused.
    void addValue(const std::optional<nlohmann::json>& value, const std::optional<std::string>& fieldName);
    void addFileData(const std::optional<std::string>& data, const std::optional<std::string>& fileName,
        const std::optional<std::string>& mimeType, const std::optional<std::string>& fieldName);
    // An unreadable file counts as empty data.
    void addFile(const std::string& path, const std::optional<std::string>& fileName,
        const std::optional<std::string>& mimeType, const std::optional<std::string>& fieldName);

    bool writeBytes(const void* bytes, size_t length);
    void writeData(const std::string& data);

    const std::string& boundary() const;
    uint64_t length() const;
    bool failed() const;

private:
    std::shared_ptr<KBOutputStream> stream_;
    std::string boundary_;
    uint64_t length_ = 0;
    bool failed_ = false;
};
