// The six language codes the program knows, apart from their texts, so the
// settings and the string tables can both check a code without one needing
// the other.
#pragma once

#include <cstddef>
#include <string>

// The codes (ASCII) in their fixed display order: English, Dutch, German,
// Spanish, Italian, Polish.
constexpr const char* kLanguageCodes[] = {"en", "nl", "de", "es", "it", "pl"};
constexpr std::size_t kLanguageCount = sizeof(kLanguageCodes) / sizeof(kLanguageCodes[0]);

// What an unknown or missing language falls back to.
constexpr const char kFallbackLanguage[] = "en";

// True when code is exactly one of the six codes (case-sensitive).
bool isKnownLanguage(const std::string& code);

// code when it is known, else kFallbackLanguage.
std::string knownOrEnglish(const std::string& code);
