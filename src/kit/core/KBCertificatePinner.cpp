#include "kit/core/KBCertificatePinner.h"

#include "kit/core/KBPinnedCertificateData.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <memory>

namespace {

bool isAddress(const std::string& host)
{
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

} // namespace

KBCertificate KBCertificateFromDERBytes(const void* bytes, size_t length)
{
    if (bytes == nullptr || length == 0) {
        return nullptr;
    }
    const auto* cursor = static_cast<const unsigned char*>(bytes);
    X509* certificate = d2i_X509(nullptr, &cursor, static_cast<long>(length));
    if (certificate == nullptr) {
        ERR_clear_error();
        return nullptr;
    }
    return KBCertificate(certificate, X509_free);
}

const std::vector<KBCertificate>& KBPinnedCertificates()
{
    static const std::vector<KBCertificate> pinned = [] {
        std::vector<KBCertificate> certificates;
        for (const auto& block : kKBPinnedCertificateBlocks) {
            if (auto certificate = KBCertificateFromDERBytes(block.bytes, block.length)) {
                certificates.push_back(std::move(certificate));
            }
        }
        return certificates;
    }();
    return pinned;
}

KBCertificate KBCertificatePinner::createCertificationWithData(const void* bytes, size_t length)
{
    return KBCertificateFromDERBytes(bytes, length);
}

KBCertificatePinner::KBCertificatePinner(std::vector<KBCertificate> certificates)
    : certificates_(std::move(certificates))
{
}

int32_t KBCertificatePinner::evaluateTrust(const KBServerTrust& trust, int* result) const
{
    int verdict = KBTrustResultInvalid;
    int32_t status = 0;
    if (!certificates_.empty()) {
        std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> anchors(X509_STORE_new(), X509_STORE_free);
        bool anchored = anchors != nullptr;
        for (const auto& certificate : certificates_) {
            anchored = anchored && X509_STORE_add_cert(anchors.get(), certificate.get()) == 1;
        }
        auto freeStack = [](STACK_OF(X509) * stack) { sk_X509_free(stack); };
        std::unique_ptr<STACK_OF(X509), decltype(freeStack)> intermediates(sk_X509_new_null(), freeStack);
        for (size_t i = 1; i < trust.chain().size(); ++i) {
            sk_X509_push(intermediates.get(), trust.chain()[i]);
        }
        std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)> context(
            X509_STORE_CTX_new(), X509_STORE_CTX_free);
        X509* leaf = trust.chain().empty() ? nullptr : trust.chain().front();
        if (!anchored || leaf == nullptr
            || X509_STORE_CTX_init(context.get(), anchors.get(), leaf, intermediates.get()) != 1) {
            verdict = KBTrustResultFatalTrustFailure;
            status = static_cast<int32_t>(ERR_get_error() != 0 ? -1 : -2);
            ERR_clear_error();
        } else {
            X509_VERIFY_PARAM* parameters = X509_STORE_CTX_get0_param(context.get());
            if (isAddress(trust.host())) {
                X509_VERIFY_PARAM_set1_ip_asc(parameters, trust.host().c_str());
            } else if (!trust.host().empty()) {
                X509_VERIFY_PARAM_set1_host(parameters, trust.host().c_str(), trust.host().size());
            }
            verdict = X509_verify_cert(context.get()) == 1 ? KBTrustResultUnspecified
                                                           : KBTrustResultRecoverableTrustFailure;
            ERR_clear_error();
        }
    }
    if (result != nullptr) {
        *result = verdict;
    }
    return status;
}

bool KBCertificatePinner::handleChallenge(
    const KBURLAuthenticationChallenge& challenge, const CWURLSessionDelegate::ChallengeCompletion& completion) const
{
    if (!challenge.serverTrust) {
        completion(KBAuthChallengeDisposition::CancelAuthenticationChallenge, std::nullopt);
        return false;
    }
    int result = KBTrustResultInvalid;
    const int32_t status = evaluateTrust(*challenge.serverTrust, &result);
    if (status == 0 && (result == KBTrustResultProceed || result == KBTrustResultUnspecified)) {
        completion(KBAuthChallengeDisposition::UseCredential, KBURLCredential{challenge.serverTrust});
        return true;
    }
    completion(KBAuthChallengeDisposition::CancelAuthenticationChallenge, std::nullopt);
    return false;
}

const std::vector<KBCertificate>& KBCertificatePinner::certificates() const
{
    return certificates_;
}
