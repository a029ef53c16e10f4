#pragma once

#include <openssl/x509.h>

#include <memory>
#include <string>
#include <vector>

// The certificate chain a server presented (leaf first) and the host name or
// address the client asked for.
class KBServerTrust {
public:
    // Takes a reference of every certificate.
    KBServerTrust(const std::vector<X509*>& chain, std::string host);
    ~KBServerTrust();
    KBServerTrust(const KBServerTrust&) = delete;
    KBServerTrust& operator=(const KBServerTrust&) = delete;

    const std::vector<X509*>& chain() const;
    const std::string& host() const;

private:
    std::vector<X509*> chain_;
    std::string host_;
};

// The answer to a server-trust challenge, as the platform numbers them.
enum class KBAuthChallengeDisposition {
    UseCredential = 0,
    PerformDefaultHandling = 1,
    CancelAuthenticationChallenge = 2,
    RejectProtectionSpace = 3,
};

struct KBURLAuthenticationChallenge {
    std::string host;
    // Absent when the protection space carries no server trust.
    std::shared_ptr<KBServerTrust> serverTrust;
};

struct KBURLCredential {
    std::shared_ptr<KBServerTrust> trust;
};
