#include "update/verify.h"

#include <cstring>
#include <utility>
#include <vector>

#include "base/text.h"
#include "base/scoped_handle.h"
#include "base/scoped_crypt.h"


namespace {

constexpr ULONG kDigestBytes = 32;
constexpr std::size_t kSignatureBytes = 64;
constexpr std::size_t kSignatureHexChars = 2 * kSignatureBytes;
constexpr std::size_t kCoordinateBytes = 32;
constexpr DWORD kReadChunkBytes = 65536;
constexpr char kHexDigits[] = "0123456789abcdef";

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool decodeSignature(const std::string& text, std::uint8_t (&out)[kSignatureBytes]) {
  if (!isLowerHex(text, kSignatureHexChars)) return false;
  for (std::size_t i = 0; i < kSignatureBytes; ++i) {
    out[i] = static_cast<std::uint8_t>(hexValue(text[2 * i]) << 4 | hexValue(text[2 * i + 1]));
  }
  return true;
}

std::string hexText(const std::uint8_t* bytes, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    out += kHexDigits[bytes[i] >> 4];
    out += kHexDigits[bytes[i] & 0xF];
  }
  return out;
}

// One SHA-256 computation through CNG; once a step fails it stays failed.
class Sha256 {
 public:
  Sha256() {
    if (BCryptOpenAlgorithmProvider(alg_.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return;
    if (BCryptCreateHash(alg_, hash_.put(), nullptr, 0, nullptr, 0, 0) != 0) return;
  }

  void add(const void* data, std::size_t size) {
    if (!hash_.valid()) return;
    auto bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    if (BCryptHashData(hash_, bytes, static_cast<ULONG>(size), 0) != 0) hash_.reset();
  }

  bool finish(std::uint8_t (&digest)[kDigestBytes]) {
    if (!hash_.valid()) return false;
    const bool ok = BCryptFinishHash(hash_, digest, kDigestBytes, 0) == 0;
    hash_.reset();
    return ok;
  }

 private:
  ScopedAlgProvider alg_;  // declared first: outlives the hash
  ScopedHash hash_;
};

bool isZeroKey(const std::uint8_t (&key)[kReleaseKeyBytes]) {
  for (std::uint8_t b : key) {
    if (b != 0) return false;
  }
  return true;
}

// BCRYPT_ECCKEY_BLOB for a P-256 public key: magic, key length, X, Y.
std::vector<std::uint8_t> publicKeyBlob(const std::uint8_t (&key)[kReleaseKeyBytes]) {
  BCRYPT_ECCKEY_BLOB header = {};
  header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
  header.cbKey = kCoordinateBytes;
  std::vector<std::uint8_t> blob(sizeof header + kReleaseKeyBytes);
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, key, kReleaseKeyBytes);
  return blob;
}

bool verifyDigest(const std::uint8_t (&key)[kReleaseKeyBytes], std::uint8_t (&digest)[kDigestBytes],
                  std::uint8_t (&signature)[kSignatureBytes]) {
  ScopedAlgProvider provider;
  if (BCryptOpenAlgorithmProvider(provider.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) != 0) {
    return false;
  }
  std::vector<std::uint8_t> blob = publicKeyBlob(key);
  ScopedCryptKey publicKey;
  if (BCryptImportKeyPair(provider, nullptr, BCRYPT_ECCPUBLIC_BLOB, publicKey.put(), blob.data(),
                          static_cast<ULONG>(blob.size()), 0) != 0) {
    return false;
  }
  return BCryptVerifySignature(publicKey, nullptr, digest, kDigestBytes, signature, kSignatureBytes,
                               0) == 0;
}

// A failed check must not leave the unverified file where it could be run.
bool rejectFile(ScopedHandle& file, const std::wstring& path, std::string& error,
                std::string text) {
  file.reset();
  DeleteFileW(path.c_str());
  error = std::move(text);
  return false;
}

// The file's SHA-256 in hex, read from the start; empty if reading or CNG failed.
std::string fileSha256Hex(HANDLE file) {
  Sha256 sha;
  std::vector<char> buffer(kReadChunkBytes);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, buffer.data(), kReadChunkBytes, &read, nullptr)) return {};
    if (read == 0) break;
    sha.add(buffer.data(), read);
  }
  std::uint8_t digest[kDigestBytes];
  if (!sha.finish(digest)) return {};
  return hexText(digest, kDigestBytes);
}

}  // namespace

ReadyInstaller::ReadyInstaller(ReadyInstaller&& other) noexcept
    : version(std::move(other.version)), path(std::move(other.path)), file_(std::move(other.file_)) {
  other.version.clear();
  other.path.clear();
}

ReadyInstaller& ReadyInstaller::operator=(ReadyInstaller&& other) noexcept {
  if (this != &other) {
    version = std::move(other.version);
    path = std::move(other.path);
    file_ = std::move(other.file_);
    other.version.clear();
    other.path.clear();
  }
  return *this;
}

void ReadyInstaller::adopt(std::string newVersion, std::wstring newPath, HANDLE handle) {
  version = std::move(newVersion);
  path = std::move(newPath);
  file_.reset(handle);
}

void ReadyInstaller::close() {
  file_.reset();
  version.clear();
  path.clear();
}

std::string sha256Hex(const std::string& bytes) {
  Sha256 sha;
  sha.add(bytes.data(), bytes.size());
  std::uint8_t digest[kDigestBytes];
  if (!sha.finish(digest)) return {};
  return hexText(digest, kDigestBytes);
}

bool verifyReleaseSignatureWith(const std::uint8_t (&key)[kReleaseKeyBytes],
                                const std::string& message, const std::string& signature) {
  std::uint8_t sig[kSignatureBytes];
  if (!decodeSignature(signature, sig)) return false;
  if (isZeroKey(key)) return false;
  Sha256 sha;
  sha.add(message.data(), message.size());
  std::uint8_t digest[kDigestBytes];
  if (!sha.finish(digest)) return false;
  return verifyDigest(key, digest, sig);
}

bool verifyReleaseSignature(const std::string& message, const std::string& signature) {
  return verifyReleaseSignatureWith(releaseKey, message, signature);
}

bool verifyInstallerFile(const std::wstring& path, const TrustedRelease& release,
                         ReadyInstaller& out, std::string& error) {
  ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    error = sformat("cannot open the download (%lu)", GetLastError());
    return false;
  }
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file, &size)) size.QuadPart = 0;
  if (size.QuadPart != release.size) {
    return rejectFile(
        file, path, error,
        sformat("the file has %lld bytes, the release %lld", static_cast<long long>(size.QuadPart),
                static_cast<long long>(release.size)));
  }
  const std::string digest = fileSha256Hex(file);
  if (digest.empty() || digest != release.sha256) {
    return rejectFile(file, path, error, "the file's SHA-256 is not the release's");
  }
  out.adopt(release.version, path, file.release());
  return true;
}

void discardInstaller(ReadyInstaller& installer) {
  const std::wstring path = installer.path;
  installer.close();
  if (!path.empty()) DeleteFileW(path.c_str());
}
