#include "app/diagnostic.h"

#include <string>

#include "app/app.h"
#include "json/json.h"
#include "storage/files.h"

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
DiagnosticResult runJsonTest() {
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

// Prepares exactly as a first instance does (settings, game folder,
// clean-ups, Config.lua), without windows or threads. The check itself
// arrives with the update module; until then the run reports no result.
DiagnosticResult runUpdateCheck() {
  App app;
  app.prepare();
  return {};
}

// The release verification arrives with the update module; until then the
// run reports failure with an empty text.
DiagnosticResult runJob(DiagnosticJob job) {
  switch (job) {
    case DiagnosticJob::JsonTest:
      return runJsonTest();
    case DiagnosticJob::UpdateCheck:
      return runUpdateCheck();
    case DiagnosticJob::VerifyRelease:
      break;
  }
  return {};
}

}  // namespace

int runDiagnostic(const Args& args) {
  DiagnosticResult result = runJob(selectDiagnosticJob(args));
  const std::wstring out = commandLineValue(args, L"--out");
  if (!out.empty()) writeWholeFile(out, result.text);
  return result.exitCode;
}
