#include "kit/core/KBMultipartMimeStreamEncoder.h"
#include "kit/support/KBLog.h"

#include <gtest/gtest.h>

namespace {

// Takes at most `budget` bytes in all, then refuses.
class ShortStream : public KBOutputStream {
public:
    explicit ShortStream(size_t budget)
        : budget_(budget)
    {
    }
    size_t write(const void* bytes, size_t length) override
    {
        const size_t taken = std::min(length, budget_);
        budget_ -= taken;
        data.append(static_cast<const char*>(bytes), taken);
        return taken;
    }
    std::string data;

private:
    size_t budget_;
};

std::string encoded(const std::function<void(KBMultipartMimeStreamEncoder&)>& parts, uint64_t* length = nullptr)
{
    auto stream = std::make_shared<KBMemoryOutputStream>();
    auto encoder = KBMultipartMimeStreamEncoder::encoderWithStream(stream, std::string("B"));
    encoder->encode([&] { parts(*encoder); });
    if (length != nullptr) {
        *length = encoder->length();
    }
    EXPECT_FALSE(encoder->failed());
    return stream->data();
}

} // namespace

TEST(KBMultipartMimeStreamEncoderTest, BodiesAreByteExact)
{
    auto stream = std::make_shared<KBMemoryOutputStream>();
    auto empty = KBMultipartMimeStreamEncoder::encoderWithStream(stream);
    empty->encode({});
    EXPECT_EQ(empty->boundary().size(), 36u);
    EXPECT_EQ(stream->data(), "MIME-Version: 1.0\r\n--" + empty->boundary() + "--\r\n");
    EXPECT_EQ(empty->length(), 61u);
    EXPECT_EQ(empty->contentLengthHTTPHeaderValue(), "61");
    EXPECT_EQ(empty->contentTypeHTTPHeaderValue(), "multipart/form-data; boundary=" + empty->boundary());

    const std::string head = "MIME-Version: 1.0\r\n";
    const std::string tail = "--B--\r\n";
    struct Case {
        const char* name;
        std::function<void(KBMultipartMimeStreamEncoder&)> parts;
        std::string body;
    };
    const std::vector<Case> cases = {
        {"text value", [](auto& e) { e.addValue("Demo", "app[name]"); },
            "--B\r\nContent-Disposition: form-data; name=\"app[name]\"\r\nContent-Type: text/plain\r\n\r\nDemo\r\n"},
        {"number value", [](auto& e) { e.addValue(4, "n"); },
            "--B\r\nContent-Disposition: form-data; name=\"n\"\r\nContent-Type: text/plain\r\n\r\n4\r\n"},
        {"typed file", [](auto& e) { e.addFileData("PNG", "icon.png", "image/png", "app[icon][data]"); },
            "--B\r\nContent-Disposition: form-data; name=\"app[icon][data]\"; filename=\"icon.png\"\r\n"
            "Content-Type: image/png\r\nContent-Transfer-Encoding: binary\r\n\r\nPNG\r\n"},
        {"untyped file", [](auto& e) { e.addFileData("x", "f", std::nullopt, "file"); },
            "--B\r\nContent-Disposition: form-data; name=\"file\"; filename=\"f\"\r\n"
            "Content-Type: application/octet-stream\r\n\r\nx\r\n"},
        {"refused parts",
            [](auto& e) {
                e.addValue("v", "");
                e.addValue(std::nullopt, "f");
                e.addValue(nlohmann::json(), "f");
                e.addFileData("", "f", std::nullopt, "f");
                e.addFileData("x", "", std::nullopt, "f");
                e.addFile("/nonexistent/file", "f", std::nullopt, "f");
            },
            ""},
    };
    KBLogCapture log;
    for (const auto& test : cases) {
        uint64_t length = 0;
        const std::string body = encoded(test.parts, &length);
        EXPECT_EQ(body, head + test.body + tail) << test.name;
        EXPECT_EQ(length, body.size()) << test.name;
    }
    EXPECT_TRUE(log.contains("[Kitbase] name () or value (v) is invalid"));
    EXPECT_TRUE(log.contains("[Kitbase] name (f) or value ((null)) is invalid"));
    EXPECT_EQ(log.count("[Kitbase] Unable to MIME encode data with zero length (f)"), 2u);
    EXPECT_TRUE(log.contains("[Kitbase] name (f) or fieldname () is invalid"));
}

TEST(KBMultipartMimeStreamEncoderTest, ShortWritesFailTheEncodingAndCountOnlyAcceptedBytes)
{
    KBLogCapture log;
    auto stream = std::make_shared<ShortStream>(30);
    auto encoder = KBMultipartMimeStreamEncoder::encoderWithStream(stream, std::string("B"));
    encoder->encode([&] { encoder->addValue("long enough to overflow", "field"); });
    EXPECT_TRUE(encoder->failed());
    EXPECT_EQ(encoder->length(), 30u);
    EXPECT_EQ(stream->data.size(), 30u);
    EXPECT_TRUE(log.contains("[Kitbase] Failed to write data to stream"));

    KBURLRequest request;
    EXPECT_TRUE(KBMultipartMimeStreamEncoder::populateRequest(request, [](auto& e) { e.addValue("1", "a"); }));
    EXPECT_EQ(request.header("Content-Length"), std::to_string(request.body.size()));
    EXPECT_EQ(request.header("Content-Type")->rfind("multipart/form-data; boundary=", 0), 0u);
}
