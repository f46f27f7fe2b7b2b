// The built-in string tables, one source file per language so that a
// translator can review a language without reading code. Internal to the
// i18n module and its tests; everyone else goes through i18n.h.
#pragma once

#include <cstddef>
#include <string>

// The tables are UTF-8 byte strings; a compiler that reads or writes the
// sources in another character set would garble every accented letter.
static_assert(sizeof("é") == 3, "the string tables must be compiled as UTF-8");

namespace i18n {

// text may be null: that row has no translation yet and shows English.
struct StringRow {
  const char* key;
  const char* text;
};

struct StringTable {
  const char* language;
  const StringRow* rows;
  std::size_t count;
};

// English is the master table: it holds every key, and its text is the
// fallback for every other language.
extern const StringTable englishStrings;
extern const StringTable dutchStrings;
extern const StringTable germanStrings;
extern const StringTable spanishStrings;
extern const StringTable italianStrings;
extern const StringTable polishStrings;

// The translation table of a language; null for "en" and unknown codes.
const StringTable* translationTable(const std::string& language);

// The text of key: the translation's when it has a non-empty one, else the
// master's, else the key itself.
std::string resolveText(const StringTable& master, const StringTable* translation,
                        const std::string& key);

}  // namespace i18n
