#include "storage/settings.h"

#include <sddl.h>

#include "base/languages.h"
#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "json/json.h"
#include "storage/files.h"
#include "storage/log.h"
#include "storage/registry.h"

namespace {

constexpr wchar_t kAsideSuffix[] = L".bad";
// Further aside names (.bad.1 ...) when folders stand at the earlier ones.
constexpr int kMoreAsideNames = 9;

std::string stringMember(const JsonValue& root, const char* key) {
  const JsonValue& v = root.get(key);
  return v.kind == JsonKind::String ? v.asText() : std::string();
}

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr char kUtf16LittleMark[] = "\xFF\xFE";
constexpr char kUtf16BigMark[] = "\xFE\xFF";

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Why the file's bytes are no settings record; empty when root holds one.
std::string parseProblem(std::string text, JsonValue& root) {
  if (startsWith(text, kUtf16LittleMark) || startsWith(text, kUtf16BigMark)) {
    return "it is UTF-16 text";
  }
  if (startsWith(text, kUtf8Mark)) text.erase(0, sizeof kUtf8Mark - 1);  // what editors add
  std::string error;
  if (!jsonParse(text, root, &error)) return "it is not JSON: " + error;
  if (root.kind != JsonKind::Object) return "it is not a JSON object";
  return {};
}

// Why settings.json cannot be read at all; empty when text holds it, or
// when there is none (missing then true).
std::string readProblem(const std::wstring& path, std::string& text, bool& missing) {
  missing = false;
  if (isDirectory(path)) return "it is a folder";
  const DWORD error = readFileUpTo(path, kMaxSettingsBytes, text);
  if (error == ERROR_SUCCESS) return {};
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    missing = true;
    return {};
  }
  if (error == ERROR_FILE_TOO_LARGE) {
    return sformat("it is larger than %llu bytes", kMaxSettingsBytes);
  }
  return sformat("it could not be read (%lu)", error);
}

void takeMembers(const JsonValue& root, Settings& settings) {
  settings.language = stringMember(root, "language");
  if (settings.language.empty()) settings.language = stringMember(root, "uiLang");
  settings.foreverDir = toWide(stringMember(root, "foreverDir"));
  const JsonValue& autostart = root.get("autostart");
  if (autostart.kind == JsonKind::Boolean) settings.autostart = autostart.boolean;
  const JsonValue& wizardDone = root.get("wizardDone");
  settings.wizardDone = wizardDone.kind == JsonKind::Boolean && wizardDone.boolean;
  settings.installStamp = stringMember(root, "installStamp");
  settings.lastVersion = stringMember(root, "lastVersion");
}

// The Run value's data: the quoted program path and the background switch.
std::wstring autostartCommand() { return L"\"" + exePath() + L"\" --background"; }

}  // namespace

std::wstring settingsPath() { return joinPath(dataDir(), L"settings.json"); }

SettingsLoad loadSettings(Settings& settings) {
  SettingsLoad load;
  std::string text;
  bool missing = false;
  JsonValue root;
  load.problem = readProblem(settingsPath(), text, missing);
  if (load.problem.empty() && !missing) load.problem = parseProblem(std::move(text), root);
  if (!load.problem.empty()) {
    // Kept before anything can write over it: the user may want it back.
    load.keptAside = setAsideSettings(load.problem) == ERROR_SUCCESS;
  } else if (!missing) {
    takeMembers(root, settings);
  }
  if (!isKnownLanguage(settings.language)) settings.language.clear();
  return load;
}

unsigned long setAsideSettings(const std::string& problem) {
  const std::wstring path = settingsPath();
  // A folder in the way of the aside name is not ours to remove: the next
  // name is taken, so that one such folder does not stop every later save.
  std::wstring kept = path + kAsideSuffix;
  for (int next = 1; next <= kMoreAsideNames && isDirectory(kept); ++next) {
    kept = path + kAsideSuffix + L"." + std::to_wstring(next);
  }
  const std::string passedOver =
      kept == path + kAsideSuffix ? "" : "; settings.json.bad is a folder and stays";
  // A folder is never moved over a file: the older kept file goes first.
  if (isDirectory(path)) DeleteFileW(kept.c_str());
  DWORD error = ERROR_SUCCESS;
  if (!MoveFileExW(path.c_str(), kept.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    error = GetLastError();
  }
  if (error == ERROR_SUCCESS) {
    logLineW(toWide("settings.json could not be used (" + problem + "); kept as ") + kept +
             toWide(passedOver));
  } else {
    logLine(sformat(
        "settings.json could not be used (%s) nor kept aside (%lu)%s; it is not written over",
        problem.c_str(), error, passedOver.c_str()));
  }
  return error;
}

WriteResult saveSettings(const Settings& settings) {
  JsonValue root;
  root.set("language", jsonString(settings.language));
  root.set("foreverDir", jsonString(toUtf8(settings.foreverDir)));
  root.set("autostart", jsonBool(settings.autostart));
  root.set("wizardDone", jsonBool(settings.wizardDone));
  root.set("installStamp", jsonString(settings.installStamp));
  root.set("lastVersion", jsonString(settings.lastVersion));
  return replaceFileAtomic(settingsPath(), jsonWrite(root));
}

InstallerValues readInstallerValues() {
  InstallerValues values;
  ScopedRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kInstallerKey, 0, KEY_READ | KEY_WOW64_64KEY, key.put()) !=
      ERROR_SUCCESS) {
    return values;
  }
  DWORD autostart = 0, type = 0, bytes = sizeof autostart;
  if (RegQueryValueExW(key, L"Autostart", nullptr, &type, reinterpret_cast<BYTE*>(&autostart),
                       &bytes) == ERROR_SUCCESS &&
      type == REG_DWORD && bytes == sizeof autostart) {
    values.autostartGiven = true;
    values.autostart = autostart != 0;
  }
  values.installStamp =
      toUtf8(regString(HKEY_LOCAL_MACHINE, kInstallerKey, L"InstallStamp", KEY_WOW64_64KEY));
  values.language =
      toUtf8(regString(HKEY_LOCAL_MACHINE, kInstallerKey, L"Language", KEY_WOW64_64KEY));
  if (!isKnownLanguage(values.language)) values.language.clear();
  values.foreverDir = regString(HKEY_LOCAL_MACHINE, kInstallerKey, L"ForeverDir", KEY_WOW64_64KEY);
  values.installUser =
      regString(HKEY_LOCAL_MACHINE, kInstallerKey, L"InstallUser", KEY_WOW64_64KEY);
  values.present = !values.installStamp.empty();
  return values;
}

std::wstring currentUserSid() {
  ScopedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
  unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) return {};
  PWSTR text = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return {};
  const ScopedLocal owned(text);
  return text;
}

bool setAutostart(bool on) {
  ScopedRegKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  if (on) {
    const std::wstring command = autostartCommand();
    const DWORD bytes = static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, kRunValue, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(command.c_str()), bytes) == ERROR_SUCCESS;
  }
  const LSTATUS status = RegDeleteValueW(key, kRunValue);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool autostartEnabled() { return !regString(HKEY_CURRENT_USER, kRunKey, kRunValue, 0).empty(); }
