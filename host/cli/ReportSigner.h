#pragma once

#include <cstddef>
#include <memory>
#include <string>

// Signatures over a report file's exact bytes: ECDSA on the P-256 curve over
// their SHA-256, DER-encoded, as `openssl dgst -sha256 -sign KEY.pem` makes
// them, so that `openssl dgst -sha256 -verify PUB.pem -signature REPORT.sig
// REPORT` accepts them. A key is named by its fingerprint: the SHA-256 of the
// DER SubjectPublicKeyInfo of its public key, in lower-case hexadecimal (what
// `openssl pkey -pubout -outform DER | sha256sum` prints). Backends: OpenSSL
// on Linux, the system's CNG on Windows. Used from the main thread.
class ReportSigner {
 public:
  // Keys, public or private, are small PEM texts.
  static constexpr std::size_t kMaxKeyBytes = 64 * 1024;

  virtual ~ReportSigner() = default;

  // A signer for the unencrypted P-256 private key in `pem` (SEC 1 "EC
  // PRIVATE KEY" as `openssl ecparam -name prime256v1 -genkey` writes it, or
  // PKCS #8 "PRIVATE KEY"); null with the reason in `error` for anything else.
  static std::unique_ptr<ReportSigner> FromPem(const std::string& pem, std::string* error);

  virtual std::string Fingerprint() const = 0;

  // The DER signature of `bytes` into `signature`; false with the reason.
  virtual bool Sign(const std::string& bytes, std::string* signature, std::string* error) const = 0;
};

// The SHA-256 of `bytes`: its 32 bytes (from the backend; "" when the
// system cannot hash), and in lower-case hexadecimal.
std::string Sha256Digest(const std::string& bytes);
std::string Sha256Hex(const std::string& bytes);

enum class SignatureCheck { kValid, kInvalid, kUnusableKey };

// Whether `signature` is the signature of exactly `bytes` by the P-256 public
// key in `publicPem` ("PUBLIC KEY", as `openssl ec -pubout` writes it). The
// key's fingerprint goes to `fingerprint` whenever the key could be read;
// `error` says why a key is unusable or a signature invalid.
SignatureCheck CheckSignature(const std::string& publicPem, const std::string& bytes,
                              const std::string& signature, std::string* fingerprint,
                              std::string* error);
