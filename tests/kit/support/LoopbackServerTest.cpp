#include "kit/support/harness/LoopbackServer.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <zlib.h>

namespace {

struct Fetched {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
};

size_t appendBody(char* data, size_t size, size_t count, void* target)
{
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

Fetched fetch(const std::string& url, const std::string& caFile = {}, const std::string& postBody = {},
    const std::vector<std::string>& headers = {})
{
    Fetched result;
    CURL* curl = curl_easy_init();
    curl_slist* list = nullptr;
    for (const auto& header : headers) {
        list = curl_slist_append(list, header.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &result.body);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    if (!caFile.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
        curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
    }
    if (!postBody.empty()) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, postBody.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(postBody.size()));
    }
    result.code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    curl_slist_free_all(list);
    curl_easy_cleanup(curl);
    return result;
}

std::string gzip(const std::string& text)
{
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, text.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

} // namespace

TEST(LoopbackServerTest, HttpsIsTrustedThroughRootAOnly)
{
    LoopbackServer server(LoopbackServer::Scheme::Https);
    server.script("/hello", LoopbackReply::answer(200, "hi"));
    const auto& certificates = TestCertificates::shared();

    const Fetched trusted = fetch(server.url("/hello"), certificates.rootAFile);
    EXPECT_EQ(trusted.code, CURLE_OK) << curl_easy_strerror(trusted.code);
    EXPECT_EQ(trusted.body, "hi");

    EXPECT_EQ(fetch(server.url("/hello"), certificates.rootBFile).code, CURLE_PEER_FAILED_VERIFICATION);
    EXPECT_NE(fetch(server.url("/hello")).code, CURLE_OK) << "the system store does not know root A";
}

TEST(LoopbackServerTest, ScriptsAnswerInTurnAndRequestsAreRecorded)
{
    LoopbackServer server;
    server.script("/seq", {LoopbackReply::answer(503), LoopbackReply::answer(200, "second")});
    EXPECT_EQ(fetch(server.url("/seq")).status, 503);
    EXPECT_EQ(fetch(server.url("/seq?x=1")).body, "second");
    EXPECT_EQ(fetch(server.url("/seq")).body, "second");
    EXPECT_EQ(fetch(server.url("/unscripted")).status, 404);

    const std::string body = "--B\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\none\r\n"
                             "--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x.png\"\r\n"
                             "Content-Type: image/png\r\n\r\nPNG\r\n--B--\r\n";
    fetch(server.url("/form"), {}, body, {"Content-Type: multipart/form-data; boundary=B", "X-Mixed-Case: V"});
    fetch(server.url("/zip"), {}, gzip("packed text"), {"Content-Encoding: gzip"});

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[1].path, "/seq");
    EXPECT_EQ(requests[1].query, "x=1");
    EXPECT_EQ(requests[4].method, "POST");
    EXPECT_EQ(requests[4].header("x-mixed-case"), "V");
    const auto parts = requests[4].multipart();
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].name, "a");
    EXPECT_EQ(parts[0].body, "one");
    EXPECT_EQ(parts[1].filename, "x.png");
    EXPECT_EQ(parts[1].contentType, "image/png");
    EXPECT_EQ(parts[1].body, "PNG");
    EXPECT_EQ(requests[5].gunzippedBody(), "packed text");
}
