#include "kit/core/KBServerTrust.h"

KBServerTrust::KBServerTrust(const std::vector<X509*>& chain, std::string host)
    : chain_(chain)
    , host_(std::move(host))
{
    for (X509* certificate : chain_) {
        X509_up_ref(certificate);
    }
}

KBServerTrust::~KBServerTrust()
{
    for (X509* certificate : chain_) {
        X509_free(certificate);
    }
}

const std::vector<X509*>& KBServerTrust::chain() const
{
    return chain_;
}

const std::string& KBServerTrust::host() const
{
    return host_;
}
