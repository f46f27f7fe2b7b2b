#include "gui/text.h"

#include <cwctype>

#include "gui/paint.h"
#include "gui/scoped_gdi.h"

namespace gui {
namespace {

constexpr int kNumberColumnDip = 26;
constexpr int kNumberedGapDip = 4;
thread_local std::vector<DrawnText>* textLog = nullptr;

bool isNumberedItem(const std::wstring& line, size_t& numberEnd) {
  if (line.empty() || !iswdigit(line[0])) return false;
  for (size_t dot = 1; dot <= 2 && dot < line.size(); ++dot) {
    if (line[dot] == L'.') {
      if (dot + 1 < line.size() && line[dot + 1] == L' ') {
        numberEnd = dot + 1;
        return true;
      }
      return false;
    }
    if (!iswdigit(line[dot])) return false;
  }
  return false;
}

std::wstring trimSpaces(const std::wstring& text) {
  size_t first = text.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return std::wstring();
  size_t last = text.find_last_not_of(L" \t");
  return text.substr(first, last - first + 1);
}

}  // namespace

TextLog::TextLog(std::vector<DrawnText>* into) : previous_(textLog) { textLog = into; }

TextLog::~TextLog() { textLog = previous_; }

bool textFits(HDC dc, const DrawnText& drawn) {
  const int width = drawn.box.right - drawn.box.left;
  const int height = drawn.box.bottom - drawn.box.top;
  ScopedSelect selected(dc, drawn.font);
  RECT need = {0, 0, width, 0};
  if (drawn.flags & DT_SINGLELINE) {
    SIZE size = {};
    GetTextExtentPoint32W(dc, drawn.text.c_str(), static_cast<int>(drawn.text.size()), &size);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    need = {0, 0, size.cx, metrics.tmHeight};
  } else {
    DrawTextW(dc, drawn.text.c_str(), static_cast<int>(drawn.text.size()), &need,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | (drawn.flags & DT_EDITCONTROL));
  }
  return need.right - need.left <= width && need.bottom - need.top <= height;
}

void drawLabel(HDC dc, HFONT font, COLORREF colour, const RECT& rc, const std::wstring& text,
               UINT flags) {
  if (textLog) textLog->push_back({rc, font, flags, text});
  ScopedSelect selected(dc, font);
  SetTextColor(dc, colour);
  SetBkMode(dc, TRANSPARENT);
  RECT box = rc;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, flags | DT_NOPREFIX);
}

int measureWrappedHeight(HDC dc, HFONT font, int width, const std::wstring& text) {
  ScopedSelect selected(dc, font);
  RECT box = {0, 0, width, 0};
  const std::wstring measured = text.empty() ? std::wstring(L" ") : text;
  DrawTextW(dc, measured.c_str(), static_cast<int>(measured.size()), &box,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  return box.bottom - box.top;
}

int measureTextWidth(HDC dc, HFONT font, const std::wstring& text) {
  ScopedSelect selected(dc, font);
  SIZE size = {};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}

int drawRichText(HDC dc, const FontSet& fonts, COLORREF normal, COLORREF number, const RECT& box,
                 const std::wstring& text, UINT dpi, bool draw) {
  const int width = box.right - box.left;
  const int column = scaleDip(kNumberColumnDip, dpi);
  const int numberedGap = scaleDip(kNumberedGapDip, dpi);
  const int halfLine = measureWrappedHeight(dc, fonts[kFontBody], width, L"A") / 2;
  int y = box.top;
  bool previousNumbered = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(start, end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    size_t numberEnd = 0;
    if (line.empty()) {
      y += halfLine;
      previousNumbered = false;
    } else if (isNumberedItem(line, numberEnd)) {
      if (previousNumbered) y += numberedGap;
      const std::wstring rest = trimSpaces(line.substr(numberEnd));
      const int height = measureWrappedHeight(dc, fonts[kFontBody], width - column, rest);
      if (draw) {
        drawLabel(dc, fonts[kFontBodyBold], number, {box.left, y, box.left + column, y + height},
                  line.substr(0, numberEnd), DT_SINGLELINE);
        drawLabel(dc, fonts[kFontBody], normal, {box.left + column, y, box.right, y + height}, rest,
                  DT_WORDBREAK);
      }
      y += height;
      previousNumbered = true;
    } else {
      const int height = measureWrappedHeight(dc, fonts[kFontBody], width, line);
      if (draw)
        drawLabel(dc, fonts[kFontBody], normal, {box.left, y, box.right, y + height}, line,
                  DT_WORDBREAK);
      y += height;
      previousNumbered = false;
    }
    start = end + 1;
  }
  return y - box.top;
}

}  // namespace gui
