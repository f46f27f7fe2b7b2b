
#include "base/text.h"
#include "i18n/i18n.h"
#include "i18n/strings.h"
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using i18n::StringRow;
using i18n::StringTable;

const std::vector<const StringTable*> kAllTables = {
    &i18n::englishStrings, &i18n::dutchStrings,   &i18n::germanStrings,
    &i18n::spanishStrings, &i18n::italianStrings, &i18n::polishStrings,
};

const std::vector<const StringTable*> kTranslations(kAllTables.begin() + 1, kAllTables.end());

constexpr const char* kDownloadPage = "https://cairnstone.app/download";

// A version as long as the update check accepts: four groups of six digits.
const std::wstring kLongestVersion = L"999999.999999.999999.999999";

// What the shell keeps of a notification (it cuts the rest).
constexpr std::size_t kBalloonTitleChars = 63;
constexpr std::size_t kTooltipChars = 127;
constexpr std::size_t kBalloonTextChars = 255;

const char* const kBalloonTitles[] = {
    "tray.balloon.title", "tray.ready.title",     "upd.ready.title",
    "upd.installing.title", "upd.failed.title", "upd.done.title",
};
const char* const kTooltips[] = {"tray.ready", "tray.nowow", "tray.noaddon"};
const char* const kBalloonTexts[] = {
    "tray.running.text", "tray.ready.text", "upd.ready.text", "upd.installing.text",
    "upd.failed.text",   "upd.done.text",   "tray.nofolder.text",
};

// Captions in places of fixed width: the budget keeps them from being cut
// off with an ellipsis in the bold 16-pixel caption font.
const std::map<std::string, std::size_t> kNarrowPlaces = {
    {"se.browse", 12},     // 100-pixel button
    {"st.game", 12},       // 120-pixel panel heading
    {"wz.back", 14},       // 120-pixel button
    {"wz.next", 18},       // 160-pixel button
    {"wz.finish", 18},     //
    {"se.save", 20},       // 180-pixel buttons
    {"wz.wow.check", 20},  //
    {"wz.s1", 20},         // wizard step labels, 176 pixels
    {"wz.s2", 20},
    {"wz.s4", 20},
    {"wz.s5", 20},
    {"tab.status", 20},
    {"tab.settings", 20},
    {"pill.ready", 30},
    {"pill.nowow", 30},
    {"pill.noaddon", 30},
    {"wz.welcome.h", 34},  // one line of 460 pixels in the 25-pixel heading font
    {"wz.lang.h", 34},
    {"wz.wow.h", 34},
    {"wz.done.h", 34},
    {"wz.done.nofolder.h", 34},
    {"st.game.text", 200},  // six lines of the small in-game panel
};

// Texts that must reach the user untranslated: commands typed in the game
// and product names.
const char* const kVerbatim[] = {
    "/cairn",      "/reload",     "Cairnstone-Setup",  "Cavernway", "Questie",
    "WoW Forever", "World of Warcraft", "Cairnstone", "Windows",
};

const char* textOf(const StringTable& table, const std::string& key) {
  for (std::size_t i = 0; i < table.count; ++i) {
    if (key == table.rows[i].key) return table.rows[i].text;
  }
  return nullptr;
}

// For checks that only look at texts that exist; the completeness test
// reports missing ones.
std::string textOrEmpty(const StringTable& table, const std::string& key) {
  const char* text = textOf(table, key);
  return text == nullptr ? std::string() : std::string(text);
}

std::set<std::string> placeholders(const std::string& text) {
  std::set<std::string> names;
  std::size_t open = text.find('{');
  while (open != std::string::npos) {
    const std::size_t close = text.find('}', open);
    if (close == std::string::npos) break;
    names.insert(text.substr(open, close - open + 1));
    open = text.find('{', close);
  }
  return names;
}

// Strict UTF-8: no stray continuation bytes, overlong forms or surrogates.
bool isValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    unsigned long codePoint = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      codePoint = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      codePoint = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      codePoint = lead & 0x07u;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      codePoint = (codePoint << 6) | (next & 0x3Fu);
    }
    const unsigned long smallest[] = {0, 0x80, 0x800, 0x10000};
    if (codePoint < smallest[extra] || codePoint > 0x10FFFF) return false;
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return false;
    i += extra + 1;
  }
  return true;
}

// Length as the shell counts it: UTF-16 units, with the version filled in.
std::size_t shownLength(const std::string& text) {
  return fillPlaceholder(toWide(text), "version", kLongestVersion).size();
}

std::string sourceValue;
std::string fromSource() { return sourceValue; }

// Registers a language source for one test and unregisters it after.
class LanguageSourceTest : public ::testing::Test {
 protected:
  void TearDown() override { setLanguageSource(nullptr); }
  void useSource(const std::string& language) {
    sourceValue = language;
    setLanguageSource(&fromSource);
  }
};

// ---- The tables themselves -------------------------------------------------

TEST(StringTables, HaveNoDuplicateKeys) {
  for (const StringTable* table : kAllTables) {
    std::set<std::string> seen;
    for (std::size_t i = 0; i < table->count; ++i) {
      EXPECT_TRUE(seen.insert(table->rows[i].key).second)
          << table->language << " repeats " << table->rows[i].key;
    }
  }
}

TEST(StringTables, KeysAreDottedLowerCaseInKnownGroups) {
  const std::set<std::string> groups = {"tray", "main", "tab", "st", "se",
                                        "wz",   "pill", "app", "upd", "acc", "addon"};
  for (std::size_t i = 0; i < i18n::englishStrings.count; ++i) {
    const std::string key = i18n::englishStrings.rows[i].key;
    EXPECT_TRUE(groups.count(key.substr(0, key.find('.')))) << key;
    EXPECT_EQ(key.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789."),
              std::string::npos)
        << key;
  }
}

TEST(StringTables, EveryLanguageHasEveryKeyAndNoOthers) {
  for (const StringTable* table : kTranslations) {
    for (std::size_t i = 0; i < i18n::englishStrings.count; ++i) {
      const char* key = i18n::englishStrings.rows[i].key;
      const char* text = textOf(*table, key);
      EXPECT_TRUE(text != nullptr && text[0] != '\0') << table->language << " lacks " << key;
    }
    for (std::size_t i = 0; i < table->count; ++i) {
      EXPECT_NE(textOf(i18n::englishStrings, table->rows[i].key), nullptr)
          << table->language << " has a key English lacks: " << table->rows[i].key;
    }
  }
}

TEST(StringTables, TextsAreNonEmptyUnpaddedUtf8) {
  for (const StringTable* table : kAllTables) {
    for (std::size_t i = 0; i < table->count; ++i) {
      const StringRow& row = table->rows[i];
      ASSERT_NE(row.text, nullptr) << table->language << " " << row.key;
      const std::string text = row.text;
      ASSERT_FALSE(text.empty()) << table->language << " " << row.key;
      EXPECT_NE(text.front(), ' ') << table->language << " " << row.key;
      EXPECT_NE(text.back(), ' ') << table->language << " " << row.key;
      EXPECT_TRUE(isValidUtf8(text)) << table->language << " " << row.key;
    }
  }
}

TEST(StringTables, TranslationsKeepPlaceholdersCommandsAndNames) {
  for (const StringTable* table : kTranslations) {
    for (std::size_t i = 0; i < i18n::englishStrings.count; ++i) {
      const std::string key = i18n::englishStrings.rows[i].key;
      const std::string english = i18n::englishStrings.rows[i].text;
      const char* text = textOf(*table, key);
      if (text == nullptr) continue;  // reported by the completeness test
      EXPECT_EQ(placeholders(text), placeholders(english)) << table->language << " " << key;
      for (const char* verbatim : kVerbatim) {
        if (english.find(verbatim) == std::string::npos) continue;
        EXPECT_NE(std::string(text).find(verbatim), std::string::npos)
            << table->language << " " << key << " lost " << verbatim;
      }
    }
  }
}

TEST(StringTables, NotificationTextsFitWhatTheShellShows) {
  for (const StringTable* table : kAllTables) {
    for (const char* key : kBalloonTitles) {
      EXPECT_LE(shownLength(textOrEmpty(*table, key)), kBalloonTitleChars) << table->language << key;
    }
    for (const char* key : kTooltips) {
      EXPECT_LE(shownLength(textOrEmpty(*table, key)), kTooltipChars) << table->language << key;
    }
    for (const char* key : kBalloonTexts) {
      EXPECT_LE(shownLength(textOrEmpty(*table, key)), kBalloonTextChars) << table->language << key;
    }
  }
}

TEST(StringTables, CaptionsFitTheirFixedPlaces) {
  for (const StringTable* table : kAllTables) {
    for (const auto& [key, budget] : kNarrowPlaces) {
      EXPECT_LE(shownLength(textOrEmpty(*table, key)), budget) << table->language << " " << key;
    }
  }
}

// The one address in the text, without a sentence's closing period.
std::string addressIn(const std::string& text) {
  const std::size_t begin = text.find("https://");
  if (begin == std::string::npos) return std::string();
  std::size_t end = text.find(' ', begin);
  if (end == std::string::npos) end = text.size();
  if (text[end - 1] == '.') --end;
  return text.substr(begin, end - begin);
}

TEST(StringTables, FailedUpdateNamesTheSameDownloadPageEverywhere) {
  const std::string english = textOrEmpty(i18n::englishStrings, "upd.failed.text");
  EXPECT_EQ(english.substr(english.rfind(' ') + 1), std::string(kDownloadPage) + ".");
  for (const StringTable* table : kAllTables) {
    const std::string text = textOrEmpty(*table, "upd.failed.text");
    EXPECT_EQ(addressIn(text), kDownloadPage) << table->language;
    EXPECT_EQ(text.find("https://"), text.rfind("https://")) << table->language;
  }
}

TEST(StringTables, ExampleRowsAreExact) {
  struct Example {
    const char* language;
    const char* ready;
    const char* updatedShort;
  };
  const Example examples[] = {
      {"en", "Cairnstone - ready",
       "Updated to {version}. In WoW, type /reload to load the new addon."},
      {"nl", "Cairnstone - klaar",
       "Bijgewerkt naar {version}. Typ /reload in WoW om de nieuwe addon te laden."},
      {"de", "Cairnstone - bereit",
       "Auf {version} aktualisiert. Tippe /reload in WoW, um das neue Addon zu laden."},
      {"es", "Cairnstone - listo",
       "Actualizado a {version}. En WoW, escribe /reload para cargar el nuevo addon."},
      {"it", "Cairnstone - pronto",
       "Aggiornato alla {version}. In WoW scrivi /reload per caricare il nuovo addon."},
      {"pl", "Cairnstone - gotowy",
       "Zaktualizowano do {version}. W WoW wpisz /reload, żeby wczytać nowy addon."},
  };
  for (const Example& example : examples) {
    EXPECT_EQ(lookup(example.language, "tray.ready"), example.ready);
    EXPECT_EQ(lookup(example.language, "upd.done.short"), example.updatedShort);
  }
}

// ---- Languages ---------------------------------------------------------------

TEST(Languages, TableHasSixLanguagesInDisplayOrder) {
  const std::vector<Language>& table = languageTable();
  ASSERT_EQ(table.size(), 6u);
  const char* const codes[] = {"en", "nl", "de", "es", "it", "pl"};
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].code, codes[i]);
    EXPECT_TRUE(isKnownLanguage(table[i].code));
    EXPECT_NE(i18n::translationTable(table[i].code) == nullptr, i > 0) << table[i].code;
  }
  EXPECT_EQ(table[3].nativeName, L"Espa\u00F1ol");
  EXPECT_EQ(table[3].description, L"Todo en espa\u00F1ol");
  EXPECT_EQ(table[5].description, L"Wszystko po polsku");
  EXPECT_EQ(&languageTable(), &table);
}

TEST(Languages, KnownCodesMatchExactly) {
  for (const char* code : {"EN", "Nl", "", "fr", "pt", "en ", " en", "e", "eng", "de-AT"}) {
    EXPECT_FALSE(isKnownLanguage(code)) << "'" << code << "'";
  }
  EXPECT_FALSE(isKnownLanguage(std::string("en\0", 3)));
}

TEST(Languages, WindowsLanguageMapsByPrimaryLanguage) {
  const std::map<std::uint16_t, std::string> cases = {
      {0x0407, "de"}, {0x0C07, "de"},  // German, Austrian German
      {0x0807, "de"}, {0x0413, "nl"},  // Swiss German, Dutch
      {0x0813, "nl"}, {0x0C0A, "es"},  // Flemish, Spanish
      {0x080A, "es"}, {0x0410, "it"},  // Mexican Spanish, Italian
      {0x0810, "it"}, {0x0415, "pl"},  // Swiss Italian, Polish
      {0x0409, "en"}, {0x0809, "en"},  // English (US, UK)
      {0x0416, "en"}, {0x0816, "en"},  // Portuguese (Brazil, Portugal)
      {0x040C, "en"}, {0x0419, "en"},  // French, Russian
      {0x0000, "en"}, {0x0400, "en"},  // neutral, process default
      {0xFC15, "pl"}, {0x0015, "pl"},  // any sublanguage bits
      {0x0207, "en"}, {0x0315, "en"},  // user-defined primaries ending like ours
  };
  for (const auto& [langId, code] : cases) {
    EXPECT_EQ(languageForLangId(langId), code) << std::hex << langId;
  }
}

TEST(Languages, WindowsLanguageIsAlwaysOneOfOurs) {
  EXPECT_TRUE(isKnownLanguage(uiLanguage()));
}

// ---- Lookup and its fallbacks -------------------------------------------------

TEST(Lookup, FallsBackToEnglishForOtherLanguages) {
  EXPECT_EQ(lookup("de", "se.save"), "Speichern");
  EXPECT_EQ(lookup("nl", "se.save"), "Opslaan");
  EXPECT_EQ(lookup("en", "se.save"), "Save");
  for (const char* language : {"fr", "EN", "DE", "", "english", "de-AT"}) {
    EXPECT_EQ(lookup(language, "se.save"), "Save") << language;
  }
}

TEST(Lookup, UnknownKeyShowsItsOwnName) {
  for (const char* language : {"en", "nl", "de", "es", "it", "pl", "fr", ""}) {
    EXPECT_EQ(lookup(language, "no.such.key"), "no.such.key") << language;
    EXPECT_EQ(lookup(language, "se.sav"), "se.sav") << language;  // no prefix match
    EXPECT_EQ(lookup(language, "SE.SAVE"), "SE.SAVE") << language;
  }
  EXPECT_EQ(lookup("de", ""), "");
}

TEST(Lookup, KeepsLineFeedsAndAccents) {
  EXPECT_EQ(lookup("en", "wz.done.text").substr(0, 65),
            "Cairnstone now runs in the tray and keeps the addon up to date.\n\n");
  EXPECT_EQ(lookup("de", "tray.open"), "Cairnstone öffnen");
}

TEST(Lookup, MissingOrEmptyTranslationFallsBackRowByRow) {
  const StringRow masterRows[] = {
      {"a.one", "One"}, {"a.two", "Two"}, {"a.three", "Three"}, {"a.four", "Four"},
      {"a.one", "Shadowed"},
  };
  const StringRow translatedRows[] = {
      {"a.one", "Een"}, {"a.two", nullptr}, {"a.three", ""}, {"a.extra", "Extra"},
  };
  const StringTable master = {"en", masterRows, std::size(masterRows)};
  const StringTable translated = {"xx", translatedRows, std::size(translatedRows)};

  EXPECT_EQ(i18n::resolveText(master, &translated, "a.one"), "Een");
  EXPECT_EQ(i18n::resolveText(master, &translated, "a.two"), "Two");      // absent text
  EXPECT_EQ(i18n::resolveText(master, &translated, "a.three"), "Three");  // empty text
  EXPECT_EQ(i18n::resolveText(master, &translated, "a.four"), "Four");    // missing row
  EXPECT_EQ(i18n::resolveText(master, &translated, "a.extra"), "a.extra");  // not a key
  EXPECT_EQ(i18n::resolveText(master, nullptr, "a.one"), "One");
}

// ---- Current language and tr --------------------------------------------------

TEST_F(LanguageSourceTest, WithoutSourceFollowsWindows) {
  EXPECT_EQ(currentLanguage(), uiLanguage());
  useSource("pl");
  setLanguageSource(nullptr);
  EXPECT_EQ(currentLanguage(), uiLanguage());
}

TEST_F(LanguageSourceTest, SourceLanguageWinsOverWindows) {
  useSource("nl");
  EXPECT_EQ(currentLanguage(), "nl");
  EXPECT_EQ(tr("se.save"), L"Opslaan");
  useSource("es");
  EXPECT_EQ(tr("tray.nowow"), L"Cairnstone - no se encontr\u00F3 la carpeta de WoW Forever");
}

TEST_F(LanguageSourceTest, UnknownOrEmptySourceLanguageGivesEnglish) {
  for (const char* language : {"", "fr", "NL", "nl ", "xx-yy"}) {
    useSource(language);
    EXPECT_EQ(currentLanguage(), "en") << "'" << language << "'";
    EXPECT_EQ(tr("se.save"), L"Save") << "'" << language << "'";
  }
}

TEST_F(LanguageSourceTest, UnknownKeyShowsItsName) {
  useSource("it");
  EXPECT_EQ(tr("no.such.key"), L"no.such.key");
}

// ---- Placeholders -------------------------------------------------------------

TEST_F(LanguageSourceTest, TrFormatFillsTheVersion) {
  useSource("en");
  EXPECT_EQ(trFormat("upd.menu", "version", L"1.4.0"), L"Install update 1.4.0");
  EXPECT_EQ(trFormat("upd.done.short", "version", L"1.4.0"),
            L"Updated to 1.4.0. In WoW, type /reload to load the new addon.");
  useSource("nl");
  EXPECT_EQ(trFormat("upd.button", "version", L"2.0"), L"Bijwerken naar 2.0");
}

TEST_F(LanguageSourceTest, TrFormatInsertsTheValueAsIs) {
  useSource("en");
  EXPECT_EQ(trFormat("upd.menu", "version", L"{version}"), L"Install update {version}");
  EXPECT_EQ(trFormat("upd.menu", "version", L" \u00E9{x}%s "), L"Install update  \u00E9{x}%s ");
  EXPECT_EQ(trFormat("upd.menu", "version", L""), L"Install update ");
  EXPECT_EQ(trFormat("upd.ready.title", "version", L""), L"Cairnstone  is ready");
}

TEST_F(LanguageSourceTest, TrFormatLeavesTextWithoutThePlaceholder) {
  useSource("en");
  EXPECT_EQ(trFormat("no.such.key", "version", L"1.4.0"), L"no.such.key");
  EXPECT_EQ(trFormat("se.save", "version", L"1.4.0"), L"Save");
  EXPECT_EQ(trFormat("upd.menu", "Version", L"1.4.0"), L"Install update {version}");
  EXPECT_EQ(trFormat("upd.menu", "", L"1.4.0"), L"Install update {version}");
}

TEST(FillPlaceholder, ReplacesOnlyTheFirstOccurrence) {
  EXPECT_EQ(fillPlaceholder(L"{v} and {v}", "v", L"1"), L"1 and {v}");
  EXPECT_EQ(fillPlaceholder(L"{v}", "v", L"{v}"), L"{v}");
  EXPECT_EQ(fillPlaceholder(L"{{v}}", "v", L"1"), L"{1}");
  EXPECT_EQ(fillPlaceholder(L"", "v", L"1"), L"");
  EXPECT_EQ(fillPlaceholder(L"{ v}", "v", L"1"), L"{ v}");
}

}  // namespace
