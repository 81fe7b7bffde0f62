// A self-signed certificate for 127.0.0.1 and localhost, made at start for --https.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace vantle::sim {

class TselfSignedCertificate {
public:
    // A new key and certificate; raises Error with OpenSSL's reason on failure.
    TselfSignedCertificate();

    // Writes the certificate (not the key) as PEM; raises Error naming the file on failure.
    void writePem(const std::string& path) const;

    // Owned by this object; the TLS server takes its own references.
    X509* certificate() const { return certificate_.get(); }
    EVP_PKEY* key() const { return key_.get(); }

private:
    struct FreeKey {
        void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    };
    struct FreeCertificate {
        void operator()(X509* certificate) const { X509_free(certificate); }
    };

    std::unique_ptr<EVP_PKEY, FreeKey> key_;
    std::unique_ptr<X509, FreeCertificate> certificate_;
};

} // namespace vantle::sim
