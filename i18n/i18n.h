// Localization: the six languages, the user-interface language, the string
// tables with their fallbacks and placeholder filling. Every user-visible
// text is fetched by key; a missing translation shows English and a missing
// key shows its own name, so nothing here can fail.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/languages.h"

// One row of the language table: a code (ASCII, "en" ... "pl") and the
// native name and description shown in the language pickers.
struct Language {
  std::string code;
  std::wstring nativeName;
  std::wstring description;
};

// The six languages in their fixed display order (English, Dutch, German,
// Spanish, Italian, Polish). Built once, on first use, from any thread.
const std::vector<Language>& languageTable();

// The code for a Windows language identifier: only its primary language
// counts, and anything without a table of its own is "en".
std::string languageForLangId(std::uint16_t langId);

// The code matching the Windows user-interface language.
std::string uiLanguage();

// Where currentLanguage gets the user's chosen language once the
// application controller exists. The source may be called from any thread
// and returns the stored settings language (possibly empty or unknown).
// Pass nullptr to go back to following Windows.
using LanguageSource = std::string (*)();
void setLanguageSource(LanguageSource source);

// The language used for texts now: the registered source's language when it
// is known, "en" when it is not, and uiLanguage() with no source.
std::string currentLanguage();

// The UTF-8 text of key in language, with the fallbacks above.
std::string lookup(const std::string& language, const std::string& key);

// The text of key in the current language, as UTF-16.
std::wstring tr(const std::string& key);

// Replaces the first "{name}" in text by value, inserted as is; text without
// that placeholder comes back unchanged.
std::wstring fillPlaceholder(std::wstring text, const std::string& name,
                             const std::wstring& value);

// tr(key) with its "{name}" placeholder filled by value.
std::wstring trFormat(const std::string& key, const std::string& name,
                      const std::wstring& value);
