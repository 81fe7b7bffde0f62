// The certificate is built with OpenSSL's C API: an EC P-256 key, valid from an hour ago for a
// year, for IP 127.0.0.1 and DNS localhost.
#include "certificate.h"

#include "lib/runtime/Error.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <cstdint>

namespace vantle::sim {
namespace {

[[noreturn]] void fail(const std::string& what) {
    const char* text = ERR_reason_error_string(ERR_get_error());
    const std::string reason = text == nullptr ? "unknown reason" : text;
    ERR_clear_error();
    throw Error("cannot " + what + ": " + reason);
}

struct FreeExtension {
    void operator()(X509_EXTENSION* extension) const { X509_EXTENSION_free(extension); }
};
struct FreeBio {
    void operator()(BIO* bio) const { BIO_free(bio); }
};

void addExtension(X509* certificate, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    const std::unique_ptr<X509_EXTENSION, FreeExtension> extension(
        X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    if (!extension || X509_add_ext(certificate, extension.get(), -1) != 1)
        fail(std::string("add the certificate extension ") + value);
}

} // namespace

TselfSignedCertificate::TselfSignedCertificate()
    : key_(EVP_EC_gen("P-256"))
    , certificate_(X509_new()) {
    if (!key_)
        fail("make a key");
    if (!certificate_)
        fail("make a certificate");
    X509* c = certificate_.get();

    // A random serial, so a client that saw an earlier run's certificate does not mix them up.
    std::uint64_t serial = 0;
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial) != 1)
        fail("make a serial number");
    serial >>= 1;

    X509_NAME* name = X509_get_subject_name(c);
    if (X509_set_version(c, 2) != 1 ||
        ASN1_INTEGER_set_uint64(X509_get_serialNumber(c), serial) != 1 ||
        X509_gmtime_adj(X509_getm_notBefore(c), -3600) == nullptr ||
        X509_gmtime_adj(X509_getm_notAfter(c), 365L * 24 * 3600) == nullptr ||
        X509_set_pubkey(c, key_.get()) != 1 ||
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("vantle-sim"), -1, -1,
                                   0) != 1 ||
        X509_set_issuer_name(c, name) != 1)
        fail("fill in the certificate");

    addExtension(c, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(c, NID_key_usage, "critical,digitalSignature");
    addExtension(c, NID_ext_key_usage, "serverAuth");
    addExtension(c, NID_subject_key_identifier, "hash");
    addExtension(c, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");

    if (X509_sign(c, key_.get(), EVP_sha256()) == 0)
        fail("sign the certificate");
}

void TselfSignedCertificate::writePem(const std::string& path) const {
    const std::unique_ptr<BIO, FreeBio> file(BIO_new_file(path.c_str(), "w"));
    if (!file)
        fail("write the certificate to " + path);
    if (PEM_write_bio_X509(file.get(), certificate_.get()) != 1 || BIO_flush(file.get()) != 1)
        fail("write the certificate to " + path);
}

} // namespace vantle::sim
