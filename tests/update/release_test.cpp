// The signed release message and the order of the release checks.
#include <gtest/gtest.h>

#include "tests/support/test_support.h"
#include "tests/update/fixtures.h"
#include "update/release.h"

namespace {

ReleaseInfo publishedInfo(const std::string& base) {
  return parseReleaseInfo(fixtures::answer(base));
}

TEST(ReleaseMessage, IsTheCanonicalText) {
  const std::string h(64, 'a');
  EXPECT_EQ(releaseMessage("2.0", 1, h),
            "Cairnstone-Setup\nversion=2.0\nsize=1\nsha256=" + h + "\n");
  EXPECT_EQ(releaseMessage("1.4.0", 134217728, "x"),
            "Cairnstone-Setup\nversion=1.4.0\nsize=134217728\nsha256=x\n");
  EXPECT_EQ(releaseMessage("1.4.0", -1, ""), "Cairnstone-Setup\nversion=1.4.0\nsize=-1\nsha256=\n");
}

TEST(ReleaseEvaluation, ATrustedReleaseCarriesItsFields) {
  ScopedEnv base(L"CAIRN_API_BASE", L"http://127.0.0.1:8080/");
  TrustedRelease release;
  std::string error;
  EXPECT_EQ(evaluateRelease(publishedInfo("http://127.0.0.1:8080"), "1.3.0", release, error),
            ReleaseVerdict::Trusted);
  EXPECT_EQ(error, "");
  EXPECT_EQ(release.version, "1.4.0");
  EXPECT_EQ(release.url, L"http://127.0.0.1:8080/download/Cairnstone-Setup-1.4.0.exe");
  EXPECT_EQ(release.size, 300000);
  EXPECT_EQ(release.sha256, sha256Hex(fixtures::installer()));
  // Against 0.0 (the diagnostic run) it is newer as well; against 1.4.0 or a
  // current version that is not a version, there is nothing to do.
  EXPECT_EQ(evaluateRelease(publishedInfo("http://127.0.0.1:8080"), "0.0", release, error),
            ReleaseVerdict::Trusted);
  EXPECT_EQ(evaluateRelease(publishedInfo("http://127.0.0.1:8080"), "1.4", release, error),
            ReleaseVerdict::NotNewer);
  EXPECT_EQ(evaluateRelease(publishedInfo("http://127.0.0.1:8080"), "dev", release, error),
            ReleaseVerdict::NotNewer);
  EXPECT_EQ(error, "");
}

TEST(ReleaseEvaluation, ChecksRunInOrderAndTheFirstFailureSpeaks) {
  ScopedEnv base(L"CAIRN_API_BASE", L"https://Updates.example.test:8443");
  const std::string b = "https://Updates.example.test:8443";
  struct Case {
    const char* name;
    void (*change)(ReleaseInfo&);
    ReleaseVerdict verdict;
    std::string error;
  };
  auto evaluate = [&](void (*change)(ReleaseInfo&), std::string& error) {
    ReleaseInfo info = publishedInfo(b);
    change(info);
    TrustedRelease release;
    error.clear();
    return evaluateRelease(info, "1.3.0", release, error);
  };
  const Case cases[] = {
      // A bad version is refused before its age is looked at.
      {"bad version, no signature",
       [](ReleaseInfo& i) {
         i.version = "1.4.0-beta";
         i.signature.clear();
       },
       ReleaseVerdict::Refused, "the server's version is not a version (1.4.0-beta)"},
      // What the server sent cannot start a line of its own in the log.
      {"version with line breaks",
       [](ReleaseInfo& i) { i.version = "1.4\r\n2026-01-01 00:00:00  forged\x7f"; },
       ReleaseVerdict::Refused,
       "the server's version is not a version (1.4  2026-01-01 00:00:00  forged )"},
      // Nor with the line breaks of Unicode-aware viewers: C1 controls (NEL),
      // the line and paragraph separators. Other text passes unchanged.
      {"version with Unicode line breaks",
       [](ReleaseInfo& i) {
         i.version = "1.4\xc2\x85x\xe2\x80\xa8y\xe2\x80\xa9z\xc2\x9f\xc2\xa0\xc3\xa9";
       },
       ReleaseVerdict::Refused,
       "the server's version is not a version (1.4 x y z \xc2\xa0\xc3\xa9)"},
      {"older, malformed everything",
       [](ReleaseInfo& i) {
         i.version = "1.2";
         i.sha256 = "X";
         i.download = "ftp://x";
       },
       ReleaseVerdict::NotNewer, ""},
      {"negative size before malformed hash",
       [](ReleaseInfo& i) {
         i.size = -1;
         i.sha256 = "X";
       },
       ReleaseVerdict::Refused, "the server sent no signature for 1.4.0"},
      {"largest size passes the form check", [](ReleaseInfo& i) { i.size = 134217728; },
       ReleaseVerdict::Refused, "the signature does not match the release key"},
      {"host in another case",
       [](ReleaseInfo& i) {
         i.download = "https://updates.example.test:8443/download/Cairnstone-Setup-1.4.0.exe";
       },
       ReleaseVerdict::Refused,
       "the download is not on https://Updates.example.test:8443/download/ "
       "(https://updates.example.test:8443/download/Cairnstone-Setup-1.4.0.exe)"},
      {"malformed before off the service",
       [](ReleaseInfo& i) {
         i.download = "elsewhere";
         i.size = 0;
       },
       ReleaseVerdict::Refused, "the server's sha256, size or signature is malformed"},
      {"off the service with a line break",
       [](ReleaseInfo& i) {
         i.download = "https://Updates.example.test:8443/download/x\xc2\x85y.exe";
       },
       ReleaseVerdict::Refused,
       "the download is not on https://Updates.example.test:8443/download/ "
       "(https://Updates.example.test:8443/download/x y.exe)"},
      {"off the service before the signature",
       [](ReleaseInfo& i) {
         i.download.assign(200, 'z');
         i.signature = std::string(128, '1');
       },
       ReleaseVerdict::Refused,
       "the download is not on https://Updates.example.test:8443/download/ (" +
           std::string(120, 'z') + ")"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(evaluate(c.change, error), c.verdict) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
  }
}

TEST(ReleaseEvaluation, TheErrorIsAppendedToTheCallersText) {
  ScopedEnv base(L"CAIRN_API_BASE", L"http://127.0.0.1:1");
  ReleaseInfo info = publishedInfo("http://127.0.0.1:1");
  info.signature.clear();
  TrustedRelease release;
  std::string error = "check: ";
  EXPECT_EQ(evaluateRelease(info, "1.3.0", release, error), ReleaseVerdict::Refused);
  EXPECT_EQ(error, "check: the server sent no signature for 1.4.0");
  EXPECT_TRUE(release.version.empty());
}

}  // namespace
