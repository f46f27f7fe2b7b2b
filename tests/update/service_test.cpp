// The service's address, what counts as on it, and the version request.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "base/text.h"
#include "tests/support/local_service.h"
#include "tests/support/test_support.h"
#include "update/service.h"

namespace {

TEST(ServiceAddress, TheOverrideLosesItsTrailingSlashes) {
  {
    ScopedEnv env(L"CAIRN_API_BASE", L"http://127.0.0.1:8080/base//");
    EXPECT_EQ(apiBase(), L"http://127.0.0.1:8080/base");
  }
  {
    ScopedEnv env(L"CAIRN_API_BASE", L"///");
    EXPECT_EQ(apiBase(), L"");
    EXPECT_FALSE(isServiceUrl(L"/download/x.exe"));
  }
  ScopedEnv env(L"CAIRN_API_BASE", L"");
  EXPECT_EQ(apiBase(), L"https://cairnstone.app");
}

TEST(ServiceAddress, CrackUrlLowersTheHostAndFillsThePort) {
  std::wstring host;
  INTERNET_PORT port = 0;
  INTERNET_SCHEME scheme = INTERNET_SCHEME_HTTP;
  ASSERT_TRUE(crackUrl(L"https://Cairnstone.APP/download/x.exe", host, port, scheme));
  EXPECT_EQ(host, L"cairnstone.app");
  EXPECT_EQ(port, 443);
  EXPECT_EQ(scheme, INTERNET_SCHEME_HTTPS);
  ASSERT_TRUE(crackUrl(L"http://127.0.0.1:8080", host, port, scheme));
  EXPECT_EQ(port, 8080);
  EXPECT_FALSE(crackUrl(L"no address", host, port, scheme));
}

TEST(ServiceAddress, OnlyUrlsUnderTheBaseLieOnTheService) {
  ScopedEnv env(L"CAIRN_API_BASE", L"https://updates.example.test/");
  const std::wstring b = L"https://updates.example.test";
  EXPECT_TRUE(isServiceUrl(b + L"/download/x.exe"));
  EXPECT_TRUE(isServiceUrl(b + L"/x"));
  for (const std::wstring& url : {
           std::wstring(L"https://UPDATES.example.test/download/x.exe"),  // compared exactly
           b + L":444/x",
           b + L"/",
           b,
           b + L"/a b",
           b + L"/a\\b",
           b + L"/a@b",
           b + L"/a\x7f",
           b + L"/\x00e9",
           b + L".evil.test/x",
           std::wstring(L"http://updates.example.test/download/x.exe"),
       }) {
    EXPECT_FALSE(isServiceUrl(url)) << toUtf8(url);
  }
  // A base with a port: the same port, explicitly.
  ScopedEnv withPort(L"CAIRN_API_BASE", L"https://updates.example.test:443");
  EXPECT_TRUE(isServiceUrl(L"https://updates.example.test:443/download/x.exe"));
}

TEST(ReleaseRecord, MembersAreReadByKind) {
  JsonValue v;
  ASSERT_TRUE(jsonParse(R"({"version":" 1.4.0\n","size":5.7,"download":null,"sha256":1,)"
                        R"("signature":["x"],"extra":true})",
                        v));
  ReleaseInfo info = parseReleaseInfo(v);
  EXPECT_EQ(info.version, "1.4.0");
  EXPECT_EQ(info.size, -1);  // a fraction of a byte is no size
  EXPECT_EQ(info.download, "");
  EXPECT_EQ(info.sha256, "");
  EXPECT_EQ(info.signature, "");
  ASSERT_TRUE(jsonParse(R"({"version":1.4,"size":"5","download":" d ","sha256":" h "})", v));
  info = parseReleaseInfo(v);
  EXPECT_EQ(info.version, "");
  EXPECT_EQ(info.size, -1);
  EXPECT_EQ(info.download, " d ");  // only the version is trimmed
  EXPECT_EQ(info.sha256, " h ");
  const std::pair<const char*, std::int64_t> sizes[] = {
      {"-12.9", -1},   {"12345.9", -1},    {"200704.5", -1}, {"200704.0", 200704},
      {"2.00704e5", 200704}, {"-3", -3}, {"1e300", -1},     {"-1e300", -1}};
  for (const auto& [text, expected] : sizes) {
    ASSERT_TRUE(jsonParse(std::string(R"({"size":)") + text + "}", v));
    EXPECT_EQ(parseReleaseInfo(v).size, expected) << text;
  }
}

class VersionRequest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(service.start()); }
  void serve(const std::string& body, int status = 200) {
    LocalService::Answer a;
    a.status = status;
    a.body = body;
    service.serve("/api/app/version", a);
  }
  std::string log() { return readFileText(data.file(L"cairn.log")); }

  LocalService service;
  TempDir data;
  ScopedEnv dataEnv{L"CAIRN_DATA_DIR", data.path()};
  ScopedEnv baseEnv{L"CAIRN_API_BASE", L"x"};
  void pointAtService() {
    SetEnvironmentVariableW(L"CAIRN_API_BASE", (service.base() + L"/").c_str());
  }
};

TEST_F(VersionRequest, AnObjectWithAVersionIsAnAnswer) {
  pointAtService();
  serve(R"({"version":" 1.4.0\n","size":5.7})");
  ReleaseInfo info;
  EXPECT_TRUE(fetchRelease(nullptr, info));
  EXPECT_EQ(info.version, "1.4.0");
  EXPECT_EQ(info.size, -1);
  ASSERT_EQ(service.requests().size(), 1u);
  EXPECT_EQ(service.requests()[0].target, "/api/app/version");
  EXPECT_EQ(service.requests()[0].headers.at("accept"), "application/json");

  // A version that is not text is no answer, and not worth a log line.
  serve(R"({"version":1.4})");
  ReleaseInfo untouched;
  untouched.version = "kept";
  EXPECT_FALSE(fetchRelease(nullptr, untouched));
  EXPECT_EQ(untouched.version, "kept");
  EXPECT_EQ(log(), "");
}

TEST_F(VersionRequest, EverythingElseIsNoAnswerAndIsLogged) {
  pointAtService();
  const std::string nested = std::string(201, '[') + std::string(201, ']');
  std::string huge = R"({"version":"1.4.0","pad":")" + std::string(70000, 'p') + "\"}";
  struct Case {
    std::string body;
    int status;
    std::string line;
  } cases[] = {
      {R"({"version":"1.4.0"})", 500, "(status=500 )"},
      {"not json", 200, "(status=200 )"},
      {R"(["1.4.0"])", 200, "(status=200 )"},
      {nested, 200, "(status=200 )"},
      {huge, 200, "(status=200 )"},
  };
  for (const Case& c : cases) {
    serve(c.body, c.status);
    ReleaseInfo info;
    EXPECT_FALSE(fetchRelease(nullptr, info)) << c.line;
    EXPECT_NE(log().find("update check: no answer from the server " + c.line), std::string::npos)
        << c.line;
    DeleteFileW(data.file(L"cairn.log").c_str());
  }
  LocalService::Answer moved;
  moved.status = 301;
  moved.headers = {{"Location", "/api/app/version2"}};
  service.serve("/api/app/version", moved);
  service.serveBody("/api/app/version2", R"({"version":"1.4.0"})");
  ReleaseInfo info;
  EXPECT_FALSE(fetchRelease(nullptr, info));
  EXPECT_EQ(service.requestsFor("/api/app/version2"), 0);
  EXPECT_NE(log().find("(status=301 )"), std::string::npos);

  // An answer longer than its Content-Length is no answer, even where the
  // HTTP stack hands the surplus over (Wine 8 does, with the head's packet).
  LocalService::Answer overlong;
  overlong.body = R"({"version":"1.4.0","size":300000,"x":"padding"})";
  overlong.contentLength = std::to_string(overlong.body.size() - 20);
  overlong.onePacket = true;
  service.serve("/api/app/version", overlong);
  EXPECT_FALSE(fetchRelease(nullptr, info));
  const std::string line = log().substr(log().rfind("(status="));
  EXPECT_TRUE(line == "(status=0 the answer is longer than its content length)\r\n" ||
              line == "(status=200 )\r\n")
      << line;
}

TEST_F(VersionRequest, ASilentServiceTimesOutButACancelIsSilent) {
  pointAtService();
  LocalService::Answer silent;
  silent.mode = LocalService::Mode::Hang;
  service.serve("/api/app/version", silent);
  std::atomic<bool> cancel{true};
  ReleaseInfo info;
  EXPECT_FALSE(fetchRelease(&cancel, info));
  EXPECT_EQ(log(), "");
  // The request's own 20-second deadline.
  EXPECT_FALSE(fetchRelease(nullptr, info));
  EXPECT_NE(log().find("update check: no answer from the server (status=0 timeout)"),
            std::string::npos);
}

TEST_F(VersionRequest, AnUnusableBaseIsABadServerAddress) {
  SetEnvironmentVariableW(L"CAIRN_API_BASE", L"//");
  ReleaseInfo info;
  EXPECT_FALSE(fetchRelease(nullptr, info));
  EXPECT_NE(log().find("(status=0 bad server address)"), std::string::npos);
}

}  // namespace
