// Installer download: downloadInstaller (stream to disk, rename, size and
// SHA-256 check) of a 128 MiB installer from the local service, against curl
// downloading the same file plus sha256sum of it, interleaved in one run.
// bench/download.sh runs the curl side when this program asks it to, through
// files in a control folder:  download_bench.exe CONTROL_FOLDER [RUNS]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "bench/bench_timing.h"
#include "storage/files.h"
#include "tests/support/local_service.h"
#include "tests/support/test_support.h"
#include "update/download.h"

namespace {

constexpr int kDefaultRuns = 5;
constexpr std::int64_t kInstallerBytes = 134217728;
constexpr DWORD kCurlGiveUpMs = 600000;
constexpr char kInstallerPath[] = "/download/Cairnstone-Setup-9.0.exe";

std::string installerBytes() {
  std::string bytes(static_cast<size_t>(kInstallerBytes), '\0');
  unsigned long long x = 0x9E3779B97F4A7C15ull;
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    c = static_cast<char>(x);
  }
  return bytes;
}

// Asks the script for one curl run and waits for its time in milliseconds.
double curlRun(const std::wstring& control, int run) {
  const std::wstring result = joinPath(control, L"curl-" + std::to_wstring(run));
  writeWholeFile(joinPath(control, L"go-" + std::to_wstring(run)), "");
  double ms = -1;
  waitFor(
      [&] {
        std::string text;
        if (!readWholeFile(result, text) || text.empty() || text.back() != '\n') return false;
        ms = atof(text.c_str());
        return true;
      },
      kCurlGiveUpMs);
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: download_bench.exe CONTROL_FOLDER [RUNS]\n");
    return 2;
  }
  const std::wstring control = toWide(argv[1]);
  const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : kDefaultRuns;
  LocalService service;
  if (!service.start()) {
    fprintf(stderr, "download bench: the local service did not start\n");
    return 1;
  }
  std::string body = installerBytes();
  TrustedRelease release;
  release.version = "9.0";
  release.size = kInstallerBytes;
  release.sha256 = sha256Hex(body);
  service.serveBody(kInstallerPath, std::move(body));
  TempDir data;
  ScopedEnv dataDirEnv(L"CAIRN_DATA_DIR", data.path());
  ScopedEnv baseEnv(L"CAIRN_API_BASE", service.base());
  release.url = service.base() + toWide(kInstallerPath);
  writeWholeFile(joinPath(control, L"url"), toUtf8(release.url) + "\n");

  std::vector<double> ours, curls;
  for (int i = 0; i < runs; ++i) {
    ReadyInstaller ready;
    std::string error;
    const double begin = nowMs();
    if (!downloadInstaller(release, nullptr, ready, error)) {
      fprintf(stderr, "download bench: %s\n", error.c_str());
      return 1;
    }
    ours.push_back(nowMs() - begin);
    discardInstaller(ready);
    const double c = curlRun(control, i);
    if (c < 0) {
      fprintf(stderr, "download bench: the curl run did not report\n");
      return 1;
    }
    curls.push_back(c);
  }
  writeWholeFile(joinPath(control, L"finished"), "");
  const double mo = median(ours), mc = median(curls);
  printf(
      "128 MiB installer, median of %d runs: downloadInstaller %.0f ms, "
      "curl + sha256sum %.0f ms, ratio %.2f\n",
      runs, mo, mc, mc > 0 ? mo / mc : 0.0);
  return 0;
}
