#include "i18n/i18n.h"

#include <windows.h>

#include <atomic>

#include "base/text.h"
#include "i18n/strings.h"

namespace {

// Only the primary language of a LANGID matters: Austrian German is German.
constexpr std::uint16_t kPrimaryLanguageMask = 0x3FF;

struct LanguageRow {
  const char* nativeName;   // UTF-8
  const char* description;  // UTF-8
};

// In kLanguageCodes' order.
constexpr LanguageRow kLanguages[] = {
    {"English", "Everything in English"},
    {"Nederlands", "Alles in het Nederlands"},
    {"Deutsch", "Alles auf Deutsch"},
    {"Español", "Todo en español"},
    {"Italiano", "Tutto in italiano"},
    {"Polski", "Wszystko po polsku"},
};
static_assert(sizeof(kLanguages) / sizeof(kLanguages[0]) == kLanguageCount,
              "one row per language code");

struct WindowsLanguage {
  std::uint16_t primary;
  const char* code;
};

constexpr WindowsLanguage kWindowsLanguages[] = {
    {0x07, "de"},  // LANG_GERMAN
    {0x0A, "es"},  // LANG_SPANISH
    {0x10, "it"},  // LANG_ITALIAN
    {0x13, "nl"},  // LANG_DUTCH
    {0x15, "pl"},  // LANG_POLISH
};

// Read by tr on any thread while the controller registers itself.
std::atomic<LanguageSource> languageSource{nullptr};

std::vector<Language> buildLanguageTable() {
  std::vector<Language> table;
  for (std::size_t i = 0; i < kLanguageCount; ++i) {
    const LanguageRow& row = kLanguages[i];
    table.push_back({kLanguageCodes[i], toWide(row.nativeName), toWide(row.description)});
  }
  return table;
}

const char* findText(const i18n::StringTable& table, const std::string& key) {
  for (std::size_t i = 0; i < table.count; ++i) {
    if (key == table.rows[i].key) return table.rows[i].text;
  }
  return nullptr;
}

bool hasText(const char* text) { return text != nullptr && text[0] != '\0'; }

}  // namespace

namespace i18n {

const StringTable* translationTable(const std::string& language) {
  static const StringTable* const kTranslations[] = {
      &dutchStrings, &germanStrings, &spanishStrings, &italianStrings, &polishStrings,
  };
  for (const StringTable* table : kTranslations) {
    if (language == table->language) return table;
  }
  return nullptr;
}

std::string resolveText(const StringTable& master, const StringTable* translation,
                        const std::string& key) {
  const char* english = findText(master, key);
  if (english == nullptr) return key;
  if (translation != nullptr) {
    const char* translated = findText(*translation, key);
    if (hasText(translated)) return translated;
  }
  return english;
}

}  // namespace i18n

const std::vector<Language>& languageTable() {
  static const std::vector<Language> table = buildLanguageTable();
  return table;
}

std::string languageForLangId(std::uint16_t langId) {
  const auto primary = static_cast<std::uint16_t>(langId & kPrimaryLanguageMask);
  for (const WindowsLanguage& language : kWindowsLanguages) {
    if (primary == language.primary) return language.code;
  }
  return kFallbackLanguage;
}

std::string uiLanguage() { return languageForLangId(GetUserDefaultUILanguage()); }

void setLanguageSource(LanguageSource source) { languageSource.store(source); }

std::string currentLanguage() {
  const LanguageSource source = languageSource.load();
  if (source == nullptr) return uiLanguage();
  return knownOrEnglish(source());
}

std::string lookup(const std::string& language, const std::string& key) {
  return i18n::resolveText(i18n::englishStrings, i18n::translationTable(language), key);
}

std::wstring tr(const std::string& key) { return toWide(lookup(currentLanguage(), key)); }

std::wstring fillPlaceholder(std::wstring text, const std::string& name,
                             const std::wstring& value) {
  const std::wstring pattern = L"{" + toWide(name) + L"}";
  const std::size_t at = text.find(pattern);
  if (at != std::wstring::npos) text.replace(at, pattern.size(), value);
  return text;
}

std::wstring trFormat(const std::string& key, const std::string& name,
                      const std::wstring& value) {
  return fillPlaceholder(tr(key), name, value);
}
