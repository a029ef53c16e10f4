#include "kit/support/harness/TestCertificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

Key makeKey()
{
    return Key(EVP_EC_gen("P-256"), EVP_PKEY_free);
}

std::string bioText(BIO* bio)
{
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<size_t>(length));
    BIO_free(bio);
    return text;
}

std::string pemOf(X509* certificate)
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, certificate);
    return bioText(bio);
}

std::string pemOf(EVP_PKEY* key)
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    return bioText(bio);
}

std::string derOf(X509* certificate)
{
    unsigned char* bytes = nullptr;
    const int length = i2d_X509(certificate, &bytes);
    std::string der(reinterpret_cast<char*>(bytes), static_cast<size_t>(length));
    OPENSSL_free(bytes);
    return der;
}

void addExtension(X509* certificate, X509* issuer, int nid, const char* value)
{
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// A certificate for the key, signed by the issuer (itself when none).
Certificate makeCertificate(
    const char* commonName, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey, const char* altNames, long serial)
{
    Certificate certificate(X509_new(), X509_free);
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 3600L * 24 * 365);
    X509_set_pubkey(certificate.get(), key);
    X509_NAME* name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(
        name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Lumetta tests"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    X509* signer = issuer != nullptr ? issuer : certificate.get();
    X509_set_issuer_name(certificate.get(), X509_get_subject_name(signer));
    if (altNames == nullptr) {
        addExtension(certificate.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(certificate.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
        addExtension(certificate.get(), signer, NID_subject_key_identifier, "hash");
    } else {
        addExtension(certificate.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(certificate.get(), signer, NID_ext_key_usage, "serverAuth");
        addExtension(certificate.get(), signer, NID_subject_alt_name, altNames);
        addExtension(certificate.get(), signer, NID_authority_key_identifier, "keyid:always");
    }
    X509_sign(certificate.get(), issuerKey != nullptr ? issuerKey : key, EVP_sha256());
    return certificate;
}

TestCertificates::Identity identityOf(X509* certificate, EVP_PKEY* key, X509* root)
{
    TestCertificates::Identity identity;
    identity.certificatePem = pemOf(certificate);
    identity.certificateDer = derOf(certificate);
    identity.privateKeyPem = pemOf(key);
    identity.chainPem = identity.certificatePem + (root != nullptr ? pemOf(root) : std::string());
    return identity;
}

std::string writeFile(const std::string& name, const std::string& text)
{
    // The test main's private home goes away with the run.
    const char* home = std::getenv("HOME");
    const auto path = std::filesystem::path(home != nullptr ? home : "/tmp")
        / ("lumetta-kit-" + std::to_string(::getpid()) + "-" + name);
    std::ofstream(path) << text;
    return path.string();
}

} // namespace

const TestCertificates& TestCertificates::shared()
{
    static const TestCertificates certificates;
    return certificates;
}

TestCertificates::TestCertificates()
{
    Key rootAKey = makeKey();
    Key rootBKey = makeKey();
    Key leafKey = makeKey();
    Certificate a = makeCertificate("Lumetta Test Root A", rootAKey.get(), nullptr, nullptr, nullptr, 1);
    Certificate b = makeCertificate("Lumetta Test Root B", rootBKey.get(), nullptr, nullptr, nullptr, 2);
    const char* bothNames = "DNS:localhost,IP:127.0.0.1";
    Certificate underA = makeCertificate("localhost", leafKey.get(), a.get(), rootAKey.get(), bothNames, 3);
    Certificate underB = makeCertificate("localhost", leafKey.get(), b.get(), rootBKey.get(), bothNames, 4);
    Certificate dnsOnly = makeCertificate("localhost", leafKey.get(), a.get(), rootAKey.get(), "DNS:localhost", 5);
    rootA = identityOf(a.get(), rootAKey.get(), nullptr);
    rootB = identityOf(b.get(), rootBKey.get(), nullptr);
    leafA = identityOf(underA.get(), leafKey.get(), a.get());
    leafB = identityOf(underB.get(), leafKey.get(), b.get());
    leafAWithoutIp = identityOf(dnsOnly.get(), leafKey.get(), a.get());
    rootAFile = writeFile("root-a.pem", rootA.certificatePem);
    rootBFile = writeFile("root-b.pem", rootB.certificatePem);
}
