// A private key and a self-signed certificate for a ranking server of one's own (and for the tests' servers).
#pragma once

#include <string>
#include <vector>

struct SelfSignedCert {
  std::string keyPem;
  std::string certPem;
};

// An EC P-256 key and a certificate valid from an hour ago for `days` days, naming each of `names` as a DNS name,
// or as an IP address when it is one; the first name is also the subject's common name. Throws std::runtime_error
// when OpenSSL fails or no name is given.
SelfSignedCert MakeSelfSignedCert(const std::vector<std::string>& names, int days = 3650);
