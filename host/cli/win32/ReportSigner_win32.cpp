#include "host/cli/ReportSigner.h"

#include <windows.h>

#include <bcrypt.h>

namespace {

constexpr const char kNoSigning[] =
    "this Windows build does not sign or check signatures; sign and check the report with "
    "vantrix-wipe on Linux, or with `openssl dgst -sha256`";

// Closes the algorithm provider it holds.
class Provider {
 public:
  explicit Provider(LPCWSTR algorithm) {
    if (BCryptOpenAlgorithmProvider(&m_handle, algorithm, /*pszImplementation=*/nullptr,
                                    /*dwFlags=*/0) != 0) {
      m_handle = nullptr;
    }
  }
  ~Provider() {
    if (m_handle != nullptr) BCryptCloseAlgorithmProvider(m_handle, /*dwFlags=*/0);
  }
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;
  BCRYPT_ALG_HANDLE get() const { return m_handle; }

 private:
  BCRYPT_ALG_HANDLE m_handle = nullptr;
};

std::string Hex(const unsigned char* bytes, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

}  // namespace

std::unique_ptr<ReportSigner> ReportSigner::FromPem(const std::string&, std::string* error) {
  *error = kNoSigning;
  return nullptr;
}

std::string Sha256Hex(const std::string& bytes) {
  Provider provider(BCRYPT_SHA256_ALGORITHM);
  BCRYPT_HASH_HANDLE hash = nullptr;
  unsigned char digest[32];
  if (provider.get() == nullptr ||
      BCryptCreateHash(provider.get(), &hash, /*pbHashObject=*/nullptr, /*cbHashObject=*/0,
                       /*pbSecret=*/nullptr, /*cbSecret=*/0, /*dwFlags=*/0) != 0) {
    return "";
  }
  const bool hashed =
      BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                     static_cast<ULONG>(bytes.size()), /*dwFlags=*/0) == 0 &&
      BCryptFinishHash(hash, digest, sizeof(digest), /*dwFlags=*/0) == 0;
  BCryptDestroyHash(hash);
  return hashed ? Hex(digest, sizeof(digest)) : "";
}

SignatureCheck CheckSignature(const std::string&, const std::string&, const std::string&,
                              std::string*, std::string* error) {
  *error = kNoSigning;
  return SignatureCheck::kUnusableKey;
}
