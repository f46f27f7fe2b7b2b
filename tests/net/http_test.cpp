// The HTTP client against a local service: bodies, downloads and their
// limits, redirects, time-outs, cancel and broken connections.
#include <gtest/gtest.h>

#include <thread>

#include "net/http.h"
#include "storage/files.h"
#include "tests/support/local_service.h"
#include "tests/support/test_support.h"

namespace {

constexpr std::uint32_t kCallMs = 10000;

class Http : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(service.start()); }

  HttpResult get(const std::string& path, const api::HttpOpts& opts = {},
                 const std::atomic<bool>* cancel = nullptr, std::uint32_t timeoutMs = kCallMs,
                 const HttpHeaders& headers = {}) {
    return httpCall(L"GET", service.base() + toWide(path), headers, std::string(), timeoutMs,
                    cancel, opts);
  }

  api::HttpOpts download(std::int64_t maxBytes) {
    api::HttpOpts o;
    o.noRedirects = true;
    o.downloadPath = target;
    o.maxBytes = maxBytes;
    return o;
  }

  LocalService service;
  TempDir dir;
  std::wstring target = dir.file(L"download.part");
};

api::HttpOpts inMemory(std::int64_t maxBytes) {
  api::HttpOpts o;
  o.maxBytes = maxBytes;
  return o;
}

TEST(HttpTimeouts, AlwaysOutlastTheCallersDeadline) {
  const WinHttpTimeouts s = winHttpTimeoutsFor(500);
  EXPECT_EQ(s.resolve + s.connect + s.send + s.receive, 4 * 6000);
  const WinHttpTimeouts m = winHttpTimeoutsFor(20000);
  EXPECT_EQ(m.resolve, 15000);
  EXPECT_EQ(m.connect, 15000);
  EXPECT_EQ(m.send, 25000);
  EXPECT_EQ(m.receive, 25000);
  const WinHttpTimeouts l = winHttpTimeoutsFor(600000);
  EXPECT_EQ(l.resolve, 15000);
  EXPECT_EQ(l.connect, 15000);
  EXPECT_EQ(l.send, 30000);
  EXPECT_EQ(l.receive, 605000);
  EXPECT_GT(winHttpTimeoutsFor(4294967295u).receive, 0);  // no overflow
}

TEST_F(Http, AnAnswerInMemoryWithTheHeadersInOrder) {
  service.serveBody("/hello", "hello, world");
  const HttpResult r = get("/hello", inMemory(1000), nullptr, kCallMs,
                           {{"Accept", "application/json"}, {"X-Two", "zwei \xc3\xa9"}});
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "hello, world");
  EXPECT_EQ(r.error, "");
  const std::vector<LocalService::Request> requests = service.requests();
  ASSERT_EQ(requests.size(), 1u);
  const auto& headers = requests[0].headers;
  EXPECT_EQ(headers.at("user-agent"), "Cairnstone/1.3.0 (Windows)");
  EXPECT_EQ(headers.at("accept"), "application/json");
  EXPECT_EQ(headers.at("x-two"), "zwei \xc3\xa9");
}

TEST_F(Http, AnInMemoryBodyStopsJustPastItsLimit) {
  service.serveBody("/big", std::string(200000, 'b'));
  const HttpResult r = get("/big", inMemory(65536));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.error, "");
  EXPECT_GT(r.body.size(), 65536u);
  EXPECT_LE(r.body.size(), 65537u);
}

TEST_F(Http, ADownloadMayReachItsLimitButNotPassIt) {
  const std::string body(150000, 'd');
  service.serveBody("/file", body);
  HttpResult r = get("/file", download(150000));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.bytesWritten, 150000);
  EXPECT_EQ(r.body, "");
  EXPECT_EQ(readFileText(target), body);
  DeleteFileW(target.c_str());

  r = get("/file", download(149999));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.error, "the download is larger than announced");
  EXPECT_FALSE(fileExists(target));
}

TEST_F(Http, ADownloadNeverReplacesAFile) {
  service.serveBody("/file", "new");
  ASSERT_TRUE(writeWholeFile(target, "old"));
  const HttpResult r = get("/file", download(100));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.error, "cannot create the download file (80)");
  EXPECT_EQ(readFileText(target), "old");
}

TEST_F(Http, AnErrorStatusInDownloadModeMakesNoFile) {
  const HttpResult r = get("/missing", download(100));
  EXPECT_EQ(r.status, 404);
  EXPECT_EQ(r.body, "not here");
  EXPECT_FALSE(fileExists(target));

  // A huge error page costs no more than a short one, whatever the download's size.
  LocalService::Answer page;
  page.status = 500;
  page.body = std::string(300000, 'e');
  service.serve("/huge-error", page);
  const HttpResult big = get("/huge-error", download(1000000));
  EXPECT_EQ(big.status, 500);
  EXPECT_LE(big.body.size(), 65537u);
  EXPECT_GE(big.body.size(), 65536u);
  EXPECT_FALSE(fileExists(target));
}

TEST_F(Http, RedirectsAreNotFollowedWhenAskedNotTo) {
  LocalService::Answer moved;
  moved.status = 302;
  moved.headers = {{"Location", "/there"}};
  service.serve("/here", moved);
  service.serveBody("/there", "followed");
  const HttpResult r = get("/here", download(100));
  EXPECT_EQ(r.status, 302);
  EXPECT_FALSE(fileExists(target));
  EXPECT_EQ(service.requestsFor("/there"), 0);
}

TEST_F(Http, ASilentServerEndsInTheCallersTimeout) {
  LocalService::Answer silent;
  silent.mode = LocalService::Mode::Hang;
  service.serve("/silent", silent);
  const HttpResult r = get("/silent", inMemory(100), nullptr, 500);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.error, "timeout");
  EXPECT_FALSE(service.stallWasReleased());  // it did not wait for the server
}

TEST_F(Http, CancelBeforeOrDuringTheCall) {
  std::atomic<bool> cancel{true};
  HttpResult r = get("/anything", inMemory(100), &cancel);
  EXPECT_EQ(r.error, "cancelled");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(service.requests().empty());

  LocalService::Answer slow;
  slow.body = std::string(300000, 's');
  slow.mode = LocalService::Mode::Stall;
  slow.cutAt = 70000;
  service.serve("/slow", slow);
  cancel = false;
  std::thread canceller([&] {
    service.waitUntilStalled(10000);
    cancel = true;
  });
  r = get("/slow", download(300000), &cancel);
  canceller.join();
  EXPECT_EQ(r.error, "cancelled");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.bytesWritten, 0);
  EXPECT_FALSE(service.stallWasReleased());
  // The worker drops the partial file once it sees it was abandoned.
  service.releaseStall();
  EXPECT_TRUE(waitFor([&] { return !fileExists(target); }, 10000));
}

TEST_F(Http, BrokenConnectionsFailTheDownload) {
  LocalService::Answer reset;
  reset.body = std::string(300000, 'r');
  reset.mode = LocalService::Mode::Reset;
  reset.cutAt = 100000;
  service.serve("/reset", reset);
  HttpResult r = get("/reset", download(300000));
  if (r.status == 200) {
    // Wine 8 reads a reset as the end of the body (Windows fails the read):
    // the short file then stands here and the download's size check refuses it.
    EXPECT_EQ(r.bytesWritten, 100000);
    EXPECT_TRUE(DeleteFileW(target.c_str()));
  } else {
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.error.rfind("download broke off (", 0), 0u) << r.error;
    EXPECT_FALSE(fileExists(target));
  }

  // Nobody listening any more.
  const std::wstring deadBase = service.base();
  service.stop();
  r = httpCall(L"GET", deadBase + L"/x", {}, std::string(), kCallMs, nullptr, inMemory(10));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.error, "cannot connect");
}

TEST(HttpAddresses, UnusableUrlsAreBadServerAddresses) {
  const std::wstring longHost = L"http://" + std::wstring(300, L'h') + L".test/x";
  const std::wstring longPath = L"http://127.0.0.1:1/" + std::wstring(2100, L'p');
  for (const std::wstring& url :
       {std::wstring(L"/api/app/version"), std::wstring(L""), longHost, longPath}) {
    const HttpResult r = httpCall(L"GET", url, {}, std::string(), kCallMs, nullptr, {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.error, "bad server address") << toUtf8(url).substr(0, 40);
  }
}

}  // namespace
