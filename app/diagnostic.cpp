#include "app/diagnostic.h"

#include <objbase.h>

#include <string>

#include "app/app.h"
#include "base/text.h"
#include "json/json.h"
#include "storage/files.h"
#include "update/install.h"
#include "update/release.h"
#include "update/service.h"
#include "update/verify.h"

namespace {

struct DiagnosticResult {
  std::string text;
  int exitCode = 1;
};

std::string hexBytes(const std::string& bytes) {
  std::string out;
  for (unsigned char b : bytes) out += sformat("%02x", b);
  return out;
}

// Surrogate handling of the parser and the writer's UTF-8 repair, as bytes.
DiagnosticResult jsonTest() {
  static const char* const kDocuments[] = {
      R"("a\ud800\u0041")", R"("\ud83d\ude00")", R"("\udc00x")",
      R"("\ud800\ud83d\ude00")", R"("\ud800")",
  };
  static const char kRepairInput[] = "\x6F\x6B\xFF\xC3\x28\xE2\x82\xC0\xED\xA0\x80\xC3\xA9";
  DiagnosticResult r;
  for (const char* doc : kDocuments) {
    JsonValue v;
    r.text += jsonParse(doc, v) ? hexBytes(v.asText()) : "ERR";
    r.text += "\n";
  }
  r.text += hexBytes(jsonRepairUtf8(std::string(kRepairInput, sizeof kRepairInput - 1))) + "\n";
  r.exitCode = 0;
  return r;
}

constexpr DWORD kInstallerWaitMs = 600000;

// Runs the installer the check made ready and waits for it (at most ten
// minutes); its own exit code is reported, not judged.
void installChecked(App& app, DiagnosticResult& r) {
  ScopedHandle process;
  // The shell's "runas" verb may need COM on this thread, as in a normal start.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const InstallResult result = app.installUpdate(nullptr, &process);
  if (SUCCEEDED(com)) CoUninitialize();
  if (result == InstallResult::Started && process.valid()) {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process, kInstallerWaitMs) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process, &code);
    }
    r.text += sformat("\nSTARTED exit=%lu", code);
    r.exitCode = 0;
    return;
  }
  r.text += result == InstallResult::Declined ? "\nCANCELLED" : "\nNOT STARTED";
  r.exitCode = 1;
}

// One update check of a controller prepared exactly as a first instance is
// (settings, game folder, clean-ups, Config.lua), with no window or thread.
DiagnosticResult updateCheck(const Args& args) {
  App app;
  app.prepare();
  DiagnosticResult r;
  const UpdateStatus status = app.checkForUpdate();
  r.text = status.text();
  if (!status.isReady()) return r;
  r.exitCode = 0;
  if (commandLineHas(args, L"--install")) installChecked(app, r);
  return r;
}

// A stored release record against an installer file, with every check of a
// real update: against version 0.0 any well-formed release is newer.
DiagnosticResult verifyRelease(const Args& args) {
  DiagnosticResult r;
  std::string record;
  JsonValue parsed;
  if (!readWholeFile(commandLineValue(args, L"--verify-release"), record) ||
      !jsonParse(record, parsed)) {
    r.text = "BAD cannot read the release record";
    return r;
  }
  TrustedRelease release;
  std::string error;
  if (evaluateRelease(parseReleaseInfo(parsed), "0.0", release, error) != ReleaseVerdict::Trusted) {
    r.text = "BAD " + error;
    return r;
  }
  ReadyInstaller installer;
  if (!verifyInstallerFile(commandLineValue(args, L"--file"), release, installer, error)) {
    r.text = "BAD " + error;
    return r;
  }
  r.text = "OK " + installer.version;
  installer.close();  // the file stays: it was only checked
  r.exitCode = 0;
  return r;
}

int report(const Args& args, const DiagnosticResult& result) {
  const std::wstring out = commandLineValue(args, L"--out");
  if (!out.empty()) writeWholeFile(out, result.text);
  return result.exitCode;
}

}  // namespace

int runJsonTest(const Args& args) { return report(args, jsonTest()); }
int runUpdateCheck(const Args& args) { return report(args, updateCheck(args)); }
int runVerifyRelease(const Args& args) { return report(args, verifyRelease(args)); }
