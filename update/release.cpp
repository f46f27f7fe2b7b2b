#include "update/release.h"

#include "base/text.h"
#include "update/verify.h"
#include "update/version.h"

namespace {

constexpr std::size_t kSha256HexChars = 64;
constexpr std::size_t kSignatureHexChars = 128;
constexpr std::size_t kShownVersionBytes = 40;
constexpr std::size_t kShownDownloadBytes = 120;

// Characters that end or garble a line in some log viewer: C0 controls and
// DEL, the C1 controls (NEL among them) and the Unicode line and paragraph
// separators.
bool breaksLine(wchar_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// A piece of what the server sent, for an error text that reaches the log:
// cut short, and with line-breaking characters blanked so it cannot forge a
// log line. Ill-formed UTF-8 becomes U+FFFD on the way.
std::string shown(const std::string& text, std::size_t maxBytes) {
  std::wstring wide = toWide(text.substr(0, maxBytes));
  for (wchar_t& c : wide) {
    if (breaksLine(c)) c = L' ';
  }
  return toUtf8(wide);
}

bool isLowerHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

bool wellFormed(const ReleaseInfo& info) {
  return isLowerHex(info.sha256, kSha256HexChars) &&
         isLowerHex(info.signature, kSignatureHexChars) && info.size >= 1 &&
         info.size <= kMaxInstallerBytes;
}

bool onDownloadPath(const std::wstring& url) {
  const std::wstring prefix = apiBase() + L"/download/";
  return isServiceUrl(url) && url.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool isLowerHex(const std::string& text, std::size_t length) {
  if (text.size() != length) return false;
  for (char c : text) {
    if (!isLowerHexDigit(c)) return false;
  }
  return true;
}

std::string releaseMessage(const std::string& version, std::int64_t size,
                           const std::string& sha256) {
  return "Cairnstone-Setup\nversion=" + version + "\nsize=" + std::to_string(size) +
         "\nsha256=" + sha256 + "\n";
}

ReleaseVerdict evaluateRelease(const ReleaseInfo& info, const std::string& currentVersion,
                               TrustedRelease& out, std::string& error) {
  if (!isVersion(info.version)) {
    error += "the server's version is not a version (" +
             shown(info.version, kShownVersionBytes) + ")";
    return ReleaseVerdict::Refused;
  }
  if (!isVersion(currentVersion) || compareVersions(info.version, currentVersion) <= 0) {
    return ReleaseVerdict::NotNewer;
  }
  if (info.signature.empty() || info.sha256.empty() || info.size < 0) {
    error += "the server sent no signature for " + info.version;
    return ReleaseVerdict::Refused;
  }
  if (!wellFormed(info)) {
    error += "the server's sha256, size or signature is malformed";
    return ReleaseVerdict::Refused;
  }
  const std::wstring url = toWide(info.download);
  if (!onDownloadPath(url)) {
    error += "the download is not on " + toUtf8(apiBase()) + "/download/ (" +
             shown(info.download, kShownDownloadBytes) + ")";
    return ReleaseVerdict::Refused;
  }
  if (!verifyReleaseSignature(releaseMessage(info.version, info.size, info.sha256),
                              info.signature)) {
    error += "the signature does not match the release key";
    return ReleaseVerdict::Refused;
  }
  out.version = info.version;
  out.url = url;
  out.size = info.size;
  out.sha256 = info.sha256;
  return ReleaseVerdict::Trusted;
}
