#include "kit/core/KBCertificatePinner.h"
#include "kit/core/SessionRecorder.h"
#include "kit/support/harness/LoopbackServer.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>

namespace {

KBCertificate fromPem(const std::string& pem)
{
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return KBCertificate(certificate, X509_free);
}

// The error code of one HTTPS request through a session whose delegate
// answers trust with the pinner (or leaves it to default handling).
int64_t fetchCode(const TestCertificates::Identity& serverIdentity, const std::vector<KBCertificate>& pins,
    bool defaultHandling = false)
{
    LoopbackServer server(LoopbackServer::Scheme::Https, &serverIdentity);
    server.script("/", LoopbackReply::answer(200, "ok"));
    auto recorder = std::make_shared<SessionRecorder>();
    auto pinner = std::make_shared<KBCertificatePinner>(pins);
    if (!defaultHandling) {
        recorder->trust = [pinner](const auto& challenge, const auto& completion) {
            pinner->handleChallenge(challenge, completion);
        };
    }
    auto session
        = CWURLSession::sessionWithConfiguration(CWURLSessionConfiguration::defaultSessionConfiguration(), recorder);
    KBURLRequest request;
    request.url = server.url("/");
    session->dataTaskWithRequest(request)->resume();
    recorder->waitForCompletions(1);
    const auto events = recorder->events();
    EXPECT_EQ(events.front(), "challenge 127.0.0.1");
    const std::string last = events.back();
    return last == "complete" ? 0 : std::stoll(last.substr(9));
}

} // namespace

TEST(KBCertificatePinnerTest, OnlyChainsToPinnedRootsNamingTheHostAreTrusted)
{
    const auto& certificates = TestCertificates::shared();
    const std::vector<KBCertificate> rootA = {fromPem(certificates.rootA.certificatePem)};
    EXPECT_EQ(fetchCode(certificates.leafA, rootA), 0) << "the system store does not know root A";
    EXPECT_EQ(fetchCode(certificates.leafB, rootA), kb::kURLErrorCancelled);
    EXPECT_EQ(fetchCode(certificates.leafA, {}), kb::kURLErrorCancelled);
    EXPECT_EQ(fetchCode(certificates.leafAWithoutIp, rootA), kb::kURLErrorCancelled);
    EXPECT_EQ(fetchCode(certificates.leafA, rootA, true), kb::kURLErrorServerCertificateUntrusted);
}

TEST(KBCertificatePinnerTest, EvaluationResultsAndChallengesWithoutTrust)
{
    const auto& certificates = TestCertificates::shared();
    const auto leaf = fromPem(certificates.leafA.certificatePem);
    const KBServerTrust trust({leaf.get()}, "127.0.0.1");
    int result = -1;
    EXPECT_EQ(KBCertificatePinner({}).evaluateTrust(trust, &result), 0);
    EXPECT_EQ(result, KBTrustResultInvalid);
    EXPECT_EQ(KBCertificatePinner({fromPem(certificates.rootA.certificatePem)}).evaluateTrust(trust, &result), 0);
    EXPECT_EQ(result, KBTrustResultUnspecified);
    EXPECT_EQ(KBCertificatePinner({fromPem(certificates.rootB.certificatePem)}).evaluateTrust(trust, &result), 0);
    EXPECT_EQ(result, KBTrustResultRecoverableTrustFailure);

    std::optional<KBAuthChallengeDisposition> answer;
    const bool used = KBCertificatePinner({fromPem(certificates.rootA.certificatePem)})
                          .handleChallenge(KBURLAuthenticationChallenge{"127.0.0.1", nullptr},
                              [&](KBAuthChallengeDisposition disposition, auto) { answer = disposition; });
    EXPECT_FALSE(used);
    EXPECT_EQ(answer, KBAuthChallengeDisposition::CancelAuthenticationChallenge);

    // The pinned set holds the two roots carried in the program, in file order.
    const auto& pinned = KBPinnedCertificates();
    ASSERT_EQ(pinned.size(), 2u);
    EXPECT_EQ(&pinned, &KBPinnedCertificates());
    char name[256];
    X509_NAME_get_text_by_NID(X509_get_subject_name(pinned[0].get()), NID_commonName, name, sizeof name);
    EXPECT_STREQ(name, "DigiCert High Assurance EV Root CA");
    EXPECT_EQ(KBCertificateFromDERBytes("not a certificate", 17), nullptr);
}
