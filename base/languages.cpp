#include "base/languages.h"

bool isKnownLanguage(const std::string& code) {
  for (const char* known : kLanguageCodes) {
    if (code == known) return true;
  }
  return false;
}

std::string knownOrEnglish(const std::string& code) {
  return isKnownLanguage(code) ? code : kFallbackLanguage;
}
