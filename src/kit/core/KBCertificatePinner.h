#pragma once

#include "kit/core/CWURLSessionDelegate.h"
#include "kit/core/KBServerTrust.h"

#include <openssl/x509.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

using KBCertificate = std::shared_ptr<X509>;

// DER bytes to a certificate; nothing when the bytes are not one.
KBCertificate KBCertificateFromDERBytes(const void* bytes, size_t length);
// The kit's pinned roots, made once per process.
const std::vector<KBCertificate>& KBPinnedCertificates();

// Trust results, as the platform numbers them.
enum KBTrustResult : int {
    KBTrustResultInvalid = 0,
    KBTrustResultProceed = 1,
    KBTrustResultUnspecified = 4,
    KBTrustResultRecoverableTrustFailure = 5,
    KBTrustResultFatalTrustFailure = 6,
};

// Trusts a server only when its chain leads to one of the given roots (and
// names the host asked for); the system's own roots do not count.
class KBCertificatePinner {
public:
    static KBCertificate createCertificationWithData(const void* bytes, size_t length);
    explicit KBCertificatePinner(std::vector<KBCertificate> certificates);

    // The status (0 when the evaluation ran); the verdict goes to result.
    int32_t evaluateTrust(const KBServerTrust& trust, int* result) const;
    // Answers a server-trust challenge; true when it used the credential.
    bool handleChallenge(const KBURLAuthenticationChallenge& challenge,
        const CWURLSessionDelegate::ChallengeCompletion& completion) const;
    const std::vector<KBCertificate>& certificates() const;

private:
    std::vector<KBCertificate> certificates_;
};
