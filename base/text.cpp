#include "base/text.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace {

bool isWideTrimChar(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'"';
}

bool isTextTrimChar(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::wstring trimWide(const std::wstring& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && isWideTrimChar(text[begin])) ++begin;
  while (end > begin && isWideTrimChar(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string trimText(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && isTextTrimChar(text[begin])) ++begin;
  while (end > begin && isTextTrimChar(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::wstring lowerWide(const std::wstring& text) {
  std::wstring out = text;
  if (!out.empty()) CharLowerBuffW(&out[0], static_cast<DWORD>(out.size()));
  return out;
}

bool startsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
  if (text.size() < prefix.size()) return false;
  return lowerWide(text.substr(0, prefix.size())) == lowerWide(prefix);
}

std::wstring toWide(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

std::string toUtf8(const std::wstring& utf16) {
  if (utf16.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0,
                              nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

std::string sformat(const char* format, ...) {
  char buf[kFormatBytes] = {};
  va_list args;
  va_start(args, format);
  vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  buf[kFormatBytes - 1] = 0;
  return std::string(buf);
}
