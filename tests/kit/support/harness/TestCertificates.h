#pragma once

#include <string>

// Certificates made at run time with OpenSSL for the kit's HTTPS tests: two
// unrelated roots, A and B, and leaves issued by them. No file of them is
// committed and none is trusted by the system.
class TestCertificates {
public:
    struct Identity {
        std::string certificatePem;
        std::string certificateDer;
        std::string privateKeyPem;
        // The issuing root's certificate after the leaf, ready for a server.
        std::string chainPem;
    };

    static const TestCertificates& shared();

    Identity rootA;
    Identity rootB;
    // Names localhost and 127.0.0.1.
    Identity leafA;
    Identity leafB;
    // Names only localhost, so a client that checks the IP refuses it.
    Identity leafAWithoutIp;

    // A PEM file holding one root, for clients that read trust from a file.
    std::string rootAFile;
    std::string rootBFile;

private:
    TestCertificates();
};
