#include "tools/rankserver/selfcert.h"

#include <arpa/inet.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace {

template <class T, void (*Free)(T*)>
struct Freer {
  void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Freer<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, Freer<X509_EXTENSION, X509_EXTENSION_free>>;

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("cannot make the certificate: ") + what);
}

bool IsAddress(const std::string& name) {
  unsigned char addr[16];
  return inet_pton(AF_INET, name.c_str(), addr) == 1 || inet_pton(AF_INET6, name.c_str(), addr) == 1;
}

std::string AltNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    if (!text.empty()) text += ',';
    text += (IsAddress(name) ? "IP:" : "DNS:") + name;
  }
  return text;
}

template <class Write>
std::string Pem(Write write) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  Check(bio != nullptr && write(bio.get()) == 1, "PEM");
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

}  // namespace

SelfSignedCert MakeSelfSignedCert(const std::vector<std::string>& names, int days) {
  Check(!names.empty(), "no name");
  KeyPtr key(EVP_EC_gen("P-256"));
  Check(key != nullptr, "key");
  CertPtr cert(X509_new());
  Check(cert != nullptr && X509_set_version(cert.get(), X509_VERSION_3) == 1, "version");
  unsigned char serial[16];
  Check(RAND_bytes(serial, sizeof serial) == 1, "serial");
  serial[0] &= 0x7F;
  BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
  const bool serialSet = number != nullptr && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert.get())) != nullptr;
  BN_free(number);
  Check(serialSet, "serial");
  Check(X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) != nullptr &&
            X509_time_adj_ex(X509_getm_notAfter(cert.get()), days, 0, nullptr) != nullptr,
        "validity");
  X509_NAME* subject = X509_get_subject_name(cert.get());
  Check(X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(names.front().c_str()), -1, -1, 0) == 1 &&
            X509_set_issuer_name(cert.get(), subject) == 1 && X509_set_pubkey(cert.get(), key.get()) == 1,
        "names");
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
  ExtPtr alt(X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, AltNames(names).c_str()));
  Check(alt != nullptr && X509_add_ext(cert.get(), alt.get(), -1) == 1, "alternative names");
  Check(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "signature");
  return {Pem([&](BIO* b) { return PEM_write_bio_PrivateKey(b, key.get(), nullptr, nullptr, 0, nullptr, nullptr); }),
          Pem([&](BIO* b) { return PEM_write_bio_X509(b, cert.get()); })};
}
