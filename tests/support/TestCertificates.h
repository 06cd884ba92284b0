#pragma once
// Certificates for TLS tests, made with the openssl command in a temporary folder
// the first time a test asks (once per test program; the folder goes at exit).
// Keys are P-256, so making them is quick.

#include <string>

struct TTestCertificates {
    std::string Folder;
    // The test certificate authority.
    std::string CACert;
    std::string CAKey;
    // For localhost and 127.0.0.1, signed by the test CA.
    std::string ServerCert;
    std::string ServerKey;
    // The server key encrypted with KeyPassword.
    std::string EncryptedServerKey;
    std::string KeyPassword;
    // Self-signed for localhost and 127.0.0.1: trusted by nobody.
    std::string UntrustedCert;
    std::string UntrustedKey;
    // For other.invalid, signed by the test CA: right issuer, wrong name.
    std::string OtherNameCert;
    std::string OtherNameKey;
    // Diffie-Hellman parameters (the ffdhe2048 group).
    std::string DHParams;
};

// Raises std::runtime_error with the command's output when openssl fails.
const TTestCertificates& TestCertificates();
