#include "host/cli/ReportSigner.h"

#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::size_t kCoordinate = 32;  // bytes of a P-256 coordinate or scalar

// The DER SubjectPublicKeyInfo of a P-256 key up to its point: SEQUENCE {
// SEQUENCE { id-ecPublicKey, prime256v1 }, BIT STRING { 0x04 X Y } }.
constexpr unsigned char kSpkiPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                         0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                         0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};
// The object identifiers of prime256v1 and of id-ecPublicKey, with their tags.
const Bytes kP256Oid = {0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07};
const Bytes kEcPublicKeyOid = {0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01};

// One DER element: its tag and its contents.
struct Element {
  unsigned char tag = 0;
  Bytes value;
  Bytes whole;  // tag, length and contents
};

// Reads DER elements one after the other from a byte range.
class DerReader {
 public:
  explicit DerReader(const Bytes& bytes) : m_at(bytes.data()), m_end(bytes.data() + bytes.size()) {}

  bool AtEnd() const { return m_at == m_end; }

  // The next element; false for bytes that are no DER (lengths of one or
  // two bytes are all a key or a signature needs).
  bool Next(Element* element) {
    const unsigned char* start = m_at;
    if (m_end - m_at < 2) return false;
    element->tag = *m_at++;
    std::size_t length = *m_at++;
    if (length & 0x80) {
      const std::size_t count = length & 0x7F;
      if (count == 0 || count > 2 || static_cast<std::size_t>(m_end - m_at) < count) return false;
      length = 0;
      for (std::size_t i = 0; i < count; ++i) length = (length << 8) | *m_at++;
    }
    if (static_cast<std::size_t>(m_end - m_at) < length) return false;
    element->value.assign(m_at, m_at + length);
    m_at += length;
    element->whole.assign(start, m_at);
    return true;
  }

  // The next element, which must carry `tag`.
  bool Next(unsigned char tag, Element* element) { return Next(element) && element->tag == tag; }

 private:
  const unsigned char* m_at;
  const unsigned char* m_end;
};

// The key's parts as CNG takes them.
struct P256Key {
  Bytes point;   // 0x04 X Y
  Bytes scalar;  // d, kCoordinate bytes; empty for a public key
};

// `bytes` as an unsigned number of exactly `size` bytes; false if it is larger.
bool FixedWidth(Bytes bytes, std::size_t size, Bytes* out) {
  while (bytes.size() > size && bytes.front() == 0) bytes.erase(bytes.begin());
  if (bytes.size() > size) return false;
  out->assign(size - bytes.size(), 0);
  out->insert(out->end(), bytes.begin(), bytes.end());
  return true;
}

// SEC 1 ECPrivateKey: SEQUENCE { 1, OCTET STRING d, [0] curve, [1] BIT STRING point }.
bool ReadEcPrivateKey(const Bytes& der, bool curveKnown, P256Key* key) {
  DerReader outer(der);
  Element sequence, version, scalar, field;
  if (!outer.Next(0x30, &sequence)) return false;
  DerReader fields(sequence.value);
  if (!fields.Next(0x02, &version) || !fields.Next(0x04, &scalar) ||
      !FixedWidth(scalar.value, kCoordinate, &key->scalar)) {
    return false;
  }
  while (!fields.AtEnd() && fields.Next(&field)) {
    if (field.tag == 0xA0) curveKnown = curveKnown || field.value == kP256Oid;
    if (field.tag == 0xA1) {
      DerReader inner(field.value);
      Element bits;
      if (inner.Next(0x03, &bits) && bits.value.size() == 2 + 2 * kCoordinate &&
          bits.value[0] == 0 && bits.value[1] == 0x04) {
        key->point.assign(bits.value.begin() + 1, bits.value.end());
      }
    }
  }
  return curveKnown && !key->point.empty();
}

// PKCS #8: SEQUENCE { 0, SEQUENCE { id-ecPublicKey, curve }, OCTET STRING ECPrivateKey }.
bool ReadPkcs8(const Bytes& der, P256Key* key) {
  DerReader outer(der);
  Element sequence, version, algorithm, keyType, curve, inner;
  if (!outer.Next(0x30, &sequence)) return false;
  DerReader fields(sequence.value);
  if (!fields.Next(0x02, &version) || !fields.Next(0x30, &algorithm) ||
      !fields.Next(0x04, &inner)) {
    return false;
  }
  DerReader identifiers(algorithm.value);
  return identifiers.Next(&keyType) && keyType.whole == kEcPublicKeyOid &&
         identifiers.Next(&curve) && curve.whole == kP256Oid &&
         ReadEcPrivateKey(inner.value, /*curveKnown=*/true, key);
}

// The DER of the PEM block labelled `label` in `pem`; false without one.
bool PemBlock(const std::string& pem, const std::string& label, Bytes* der) {
  const std::string begin = "-----BEGIN " + label + "-----";
  const std::string end = "-----END " + label + "-----";
  const std::string::size_type first = pem.find(begin);
  const std::string::size_type last = pem.find(end, first == std::string::npos ? 0 : first);
  if (first == std::string::npos || last == std::string::npos) return false;
  const std::string block = pem.substr(first, last + end.size() - first);
  DWORD size = 0;
  if (!CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                            CRYPT_STRING_BASE64HEADER, /*pbBinary=*/nullptr, &size,
                            /*pdwSkip=*/nullptr, /*pdwFlags=*/nullptr)) {
    return false;
  }
  der->assign(size, 0);
  return CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                              CRYPT_STRING_BASE64HEADER, der->data(), &size,
                              /*pdwSkip=*/nullptr, /*pdwFlags=*/nullptr) != 0;
}

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

// A CNG key made from a P256Key, destroyed with the object.
class CngKey {
 public:
  explicit CngKey(const P256Key& key) : m_provider(BCRYPT_ECDSA_P256_ALGORITHM) {
    const bool isPrivate = !key.scalar.empty();
    BCRYPT_ECCKEY_BLOB header;
    header.dwMagic = isPrivate ? BCRYPT_ECDSA_PRIVATE_P256_MAGIC : BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    header.cbKey = kCoordinate;
    Bytes blob(reinterpret_cast<const unsigned char*>(&header),
               reinterpret_cast<const unsigned char*>(&header) + sizeof(header));
    blob.insert(blob.end(), key.point.begin() + 1, key.point.end());
    blob.insert(blob.end(), key.scalar.begin(), key.scalar.end());
    if (m_provider.get() == nullptr ||
        BCryptImportKeyPair(m_provider.get(), /*hImportKey=*/nullptr,
                            isPrivate ? BCRYPT_ECCPRIVATE_BLOB : BCRYPT_ECCPUBLIC_BLOB, &m_key,
                            blob.data(), static_cast<ULONG>(blob.size()), /*dwFlags=*/0) != 0) {
      m_key = nullptr;
    }
    SecureZeroMemory(blob.data(), blob.size());
  }
  ~CngKey() {
    if (m_key != nullptr) BCryptDestroyKey(m_key);
  }
  CngKey(const CngKey&) = delete;
  CngKey& operator=(const CngKey&) = delete;
  BCRYPT_KEY_HANDLE get() const { return m_key; }

 private:
  Provider m_provider;
  BCRYPT_KEY_HANDLE m_key = nullptr;
};

Bytes Sha256(const std::string& bytes) {
  Provider provider(BCRYPT_SHA256_ALGORITHM);
  BCRYPT_HASH_HANDLE hash = nullptr;
  Bytes digest(32);
  if (provider.get() == nullptr ||
      BCryptCreateHash(provider.get(), &hash, /*pbHashObject=*/nullptr, /*cbHashObject=*/0,
                       /*pbSecret=*/nullptr, /*cbSecret=*/0, /*dwFlags=*/0) != 0) {
    return {};
  }
  const bool hashed =
      BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                     static_cast<ULONG>(bytes.size()), /*dwFlags=*/0) == 0 &&
      BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), /*dwFlags=*/0) == 0;
  BCryptDestroyHash(hash);
  return hashed ? digest : Bytes{};
}

std::string Fingerprint(const P256Key& key) {
  std::string spki(reinterpret_cast<const char*>(kSpkiPrefix), sizeof(kSpkiPrefix));
  spki.append(reinterpret_cast<const char*>(key.point.data()), key.point.size());
  return Sha256Hex(spki);
}

// An unsigned number as a DER INTEGER: no leading zeros but one before a
// high bit.
Bytes DerInteger(const unsigned char* number, std::size_t size) {
  while (size > 1 && number[0] == 0) ++number, --size;
  Bytes integer = {0x02, static_cast<unsigned char>(size + (number[0] >= 0x80 ? 1 : 0))};
  if (number[0] >= 0x80) integer.push_back(0);
  integer.insert(integer.end(), number, number + size);
  return integer;
}

// CNG's r || s as the DER SEQUENCE { INTEGER r, INTEGER s } OpenSSL writes.
std::string DerSignature(const Bytes& raw) {
  const std::size_t half = raw.size() / 2;
  Bytes body = DerInteger(raw.data(), half);
  const Bytes s = DerInteger(raw.data() + half, half);
  body.insert(body.end(), s.begin(), s.end());
  Bytes der = {0x30, static_cast<unsigned char>(body.size())};
  der.insert(der.end(), body.begin(), body.end());
  return std::string(der.begin(), der.end());
}

// The DER signature back to r || s; false for anything else.
bool RawSignature(const std::string& der, Bytes* raw) {
  const Bytes bytes(der.begin(), der.end());
  DerReader outer(bytes);
  Element sequence, r, s;
  if (!outer.Next(0x30, &sequence) || !outer.AtEnd()) return false;
  DerReader fields(sequence.value);
  Bytes rFixed, sFixed;
  if (!fields.Next(0x02, &r) || !fields.Next(0x02, &s) || !fields.AtEnd() ||
      !FixedWidth(r.value, kCoordinate, &rFixed) || !FixedWidth(s.value, kCoordinate, &sFixed)) {
    return false;
  }
  *raw = rFixed;
  raw->insert(raw->end(), sFixed.begin(), sFixed.end());
  return true;
}

class CngSigner : public ReportSigner {
 public:
  explicit CngSigner(const P256Key& key) : m_key(key), m_fingerprint(::Fingerprint(key)) {}

  bool Usable() const { return m_key.get() != nullptr; }

  std::string Fingerprint() const override { return m_fingerprint; }

  bool Sign(const std::string& bytes, std::string* signature, std::string* error) const override {
    Bytes digest = Sha256(bytes);
    Bytes raw(2 * kCoordinate);
    ULONG length = 0;
    if (digest.empty() ||
        BCryptSignHash(m_key.get(), /*pPaddingInfo=*/nullptr, digest.data(),
                       static_cast<ULONG>(digest.size()), raw.data(),
                       static_cast<ULONG>(raw.size()), &length, /*dwFlags=*/0) != 0 ||
        length != raw.size()) {
      *error = "the system cannot sign with this key";
      return false;
    }
    *signature = DerSignature(raw);
    return true;
  }

 private:
  CngKey m_key;
  std::string m_fingerprint;
};

}  // namespace

std::unique_ptr<ReportSigner> ReportSigner::FromPem(const std::string& pem, std::string* error) {
  Bytes der;
  P256Key key;
  const bool read = PemBlock(pem, "EC PRIVATE KEY", &der)
                        ? ReadEcPrivateKey(der, /*curveKnown=*/false, &key)
                        : PemBlock(pem, "PRIVATE KEY", &der) && ReadPkcs8(der, &key);
  SecureZeroMemory(der.data(), der.size());
  if (!read) {
    *error = "not an unencrypted PEM private key of the P-256 (prime256v1) curve";
    return nullptr;
  }
  auto signer = std::make_unique<CngSigner>(key);
  SecureZeroMemory(key.scalar.data(), key.scalar.size());
  if (!signer->Usable()) {
    *error = "the system does not take this key";
    return nullptr;
  }
  return signer;
}

std::string Sha256Digest(const std::string& bytes) {
  const Bytes digest = Sha256(bytes);
  return std::string(digest.begin(), digest.end());
}

SignatureCheck CheckSignature(const std::string& publicPem, const std::string& bytes,
                              const std::string& signature, std::string* fingerprint,
                              std::string* error) {
  Bytes der;
  P256Key key;
  if (!PemBlock(publicPem, "PUBLIC KEY", &der) || der.size() != sizeof(kSpkiPrefix) + 65 ||
      !std::equal(kSpkiPrefix, kSpkiPrefix + sizeof(kSpkiPrefix), der.begin()) ||
      der[sizeof(kSpkiPrefix)] != 0x04) {
    *error = "not a PEM public key of the P-256 (prime256v1) curve";
    return SignatureCheck::kUnusableKey;
  }
  key.point.assign(der.begin() + sizeof(kSpkiPrefix), der.end());
  *fingerprint = Fingerprint(key);
  CngKey cngKey(key);
  Bytes raw;
  Bytes digest = Sha256(bytes);
  if (cngKey.get() == nullptr || digest.empty()) {
    *error = "the system does not take this key";
    return SignatureCheck::kUnusableKey;
  }
  if (!RawSignature(signature, &raw) ||
      BCryptVerifySignature(cngKey.get(), /*pPaddingInfo=*/nullptr, digest.data(),
                            static_cast<ULONG>(digest.size()), raw.data(),
                            static_cast<ULONG>(raw.size()), /*dwFlags=*/0) != 0) {
    *error = "the signature does not match the report and the key";
    return SignatureCheck::kInvalid;
  }
  return SignatureCheck::kValid;
}
