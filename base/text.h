// Text helpers every folder takes: trimming, case, UTF-8 <-> UTF-16 and
// printf-style formatting. No state; ill-formed input is repaired, never an
// error.
#pragma once

#include <string>

constexpr size_t kFormatBytes = 2048;  // sformat keeps at most 2,047 bytes

std::wstring trimWide(const std::wstring& text);    // also strips '"'
std::string trimText(const std::string& text);      // space, tab, CR, LF
std::wstring lowerWide(const std::wstring& text);
bool startsWithNoCase(const std::wstring& text, const std::wstring& prefix);

// UTF-8 <-> UTF-16. Ill-formed input becomes U+FFFD, never an error.
std::wstring toWide(const std::string& utf8);
std::string toUtf8(const std::wstring& utf16);

// printf-style formatting into UTF-8, cut at 2,047 bytes.
std::string sformat(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(gnu_printf, 1, 2)))
#endif
    ;
