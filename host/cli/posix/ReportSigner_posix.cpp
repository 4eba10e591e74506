#include "host/cli/ReportSigner.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstring>
#include <vector>

namespace {

struct FreeKey {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct FreeBio {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct FreeContext {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Key = std::unique_ptr<EVP_PKEY, FreeKey>;
using Context = std::unique_ptr<EVP_MD_CTX, FreeContext>;

const unsigned char* Bytes(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

// The library's own words on its last failure.
std::string LibraryError(const std::string& what) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return what;
  char text[256];
  ERR_error_string_n(code, text, sizeof(text));
  return what + " (" + text + ")";
}

// An encrypted key is refused rather than asked for on the terminal.
int NoPassphrase(char*, int, int, void*) { return -1; }

bool IsP256(EVP_PKEY* key) {
  char group[64] = {};
  std::size_t length = 0;
  return EVP_PKEY_is_a(key, "EC") &&
         EVP_PKEY_get_group_name(key, group, sizeof(group), &length) == 1 &&
         std::strcmp(group, "prime256v1") == 0;
}

Key ReadKey(const std::string& pem, bool privateKey) {
  std::unique_ptr<BIO, FreeBio> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (bio == nullptr) return nullptr;
  return Key(privateKey ? PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassphrase, nullptr)
                        : PEM_read_bio_PUBKEY(bio.get(), nullptr, NoPassphrase, nullptr));
}

std::string FingerprintOf(EVP_PKEY* key) {
  unsigned char* der = nullptr;
  const int length = i2d_PUBKEY(key, &der);
  if (length <= 0) return "";
  const std::string fingerprint =
      Sha256Hex(std::string(reinterpret_cast<const char*>(der), static_cast<std::size_t>(length)));
  OPENSSL_free(der);
  return fingerprint;
}

class OpenSslSigner : public ReportSigner {
 public:
  explicit OpenSslSigner(Key key)
      : m_key(std::move(key)), m_fingerprint(FingerprintOf(m_key.get())) {}

  std::string Fingerprint() const override { return m_fingerprint; }

  bool Sign(const std::string& bytes, std::string* signature, std::string* error) const override {
    Context context(EVP_MD_CTX_new());
    std::size_t length = 0;
    if (context == nullptr ||
        EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, m_key.get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &length, Bytes(bytes), bytes.size()) != 1) {
      *error = LibraryError("cannot sign");
      return false;
    }
    std::vector<unsigned char> der(length);
    if (EVP_DigestSign(context.get(), der.data(), &length, Bytes(bytes), bytes.size()) != 1) {
      *error = LibraryError("cannot sign");
      return false;
    }
    signature->assign(reinterpret_cast<const char*>(der.data()), length);
    return true;
  }

 private:
  Key m_key;
  std::string m_fingerprint;
};

}  // namespace

std::unique_ptr<ReportSigner> ReportSigner::FromPem(const std::string& pem, std::string* error) {
  Key key = ReadKey(pem, /*privateKey=*/true);
  if (key == nullptr) {
    *error = LibraryError("not an unencrypted PEM private key");
    return nullptr;
  }
  if (!IsP256(key.get())) {
    *error = "not an ECDSA P-256 (prime256v1) key";
    return nullptr;
  }
  return std::make_unique<OpenSslSigner>(std::move(key));
}

std::string Sha256Digest(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
    return "";
  }
  return std::string(reinterpret_cast<const char*>(digest), length);
}

SignatureCheck CheckSignature(const std::string& publicPem, const std::string& bytes,
                              const std::string& signature, std::string* fingerprint,
                              std::string* error) {
  Key key = ReadKey(publicPem, /*privateKey=*/false);
  if (key == nullptr || !IsP256(key.get())) {
    *error = key == nullptr ? LibraryError("not a PEM public key") : "not an ECDSA P-256 key";
    return SignatureCheck::kUnusableKey;
  }
  *fingerprint = FingerprintOf(key.get());
  Context context(EVP_MD_CTX_new());
  if (context == nullptr ||
      EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1) {
    *error = LibraryError("cannot verify");
    return SignatureCheck::kUnusableKey;
  }
  if (EVP_DigestVerify(context.get(), Bytes(signature), signature.size(), Bytes(bytes),
                       bytes.size()) == 1) {
    return SignatureCheck::kValid;
  }
  *error = LibraryError("the signature does not match the report and the key");
  return SignatureCheck::kInvalid;
}
