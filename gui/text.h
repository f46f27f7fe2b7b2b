// Text drawn and measured with GDI, and the log of what a paint drew.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "gui/theme.h"

namespace gui {

// Text. DT_NOPREFIX is always added: an ampersand is never an accelerator.
void drawLabel(HDC dc, HFONT font, COLORREF colour, const RECT& rc, const std::wstring& text,
               UINT flags);

// One text as drawLabel drew it: its box, font and DrawText flags.
struct DrawnText {
  RECT box;
  HFONT font;
  UINT flags;
  std::wstring text;
};

// While one lives, every drawLabel on this thread is also noted in `into`,
// so that a window can tell which of its texts were not shown whole.
class TextLog {
 public:
  explicit TextLog(std::vector<DrawnText>* into);
  ~TextLog();
  TextLog(const TextLog&) = delete;
  TextLog& operator=(const TextLog&) = delete;

 private:
  std::vector<DrawnText>* previous_;
};

// Whether a drawn text is shown whole: on one line no wider and no taller
// than its box, or wrapped within the box's width and height.
bool textFits(HDC dc, const DrawnText& drawn);
int measureWrappedHeight(HDC dc, HFONT font, int width, const std::wstring& text);
int measureTextWidth(HDC dc, HFONT font, const std::wstring& text);

// Paragraphs and numbered items ("1. text") laid out from the box's top;
// returns the height used. With draw false nothing is painted.
int drawRichText(HDC dc, const FontSet& fonts, COLORREF normal, COLORREF number, const RECT& box,
                 const std::wstring& text, UINT dpi, bool draw);

}  // namespace gui
