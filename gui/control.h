// A custom-drawn control record of a surface, and its painter.
#pragma once

#include <windows.h>

#include <string>

#include "gui/theme.h"

namespace gui {

// What a control is; it decides its painter, its role for screen readers
// and its action's name (switches over every kind, so the compiler names
// each place a new kind must reach).
enum class ControlKind { Button, PrimaryButton, Tab, CheckBox, OptionCard, Segment, Link };

// Where a segment sits in its row: which corners are rounded.
enum SegmentPosition {
  kSegmentAlone = 0,
  kSegmentFirst = 1,
  kSegmentMiddle = 2,
  kSegmentLast = 3,
};

struct Control {
  int id = 0;
  ControlKind kind = ControlKind::Button;
  RECT rect = {};
  std::wstring text;
  std::wstring detail;  // option cards: the description line
  // What a screen reader calls a control whose caption is terse (a language
  // code names its language); the caption when empty.
  std::wstring accessibleName;
  // What a screen reader adds to the name; the detail when empty.
  std::wstring description;
  bool hover = false;
  bool pressed = false;
  bool checked = false;  // ticked, or selected for tabs, cards and segments
  bool enabled = true;
  bool visible = true;
  UINT segmentPosition = kSegmentAlone;
  // Controls that share a non-zero group (a tab strip, a row of options)
  // take one Tab stop together; the arrow keys move and select within it.
  int group = 0;
};

// Paints one control by its kind and state; invisible controls paint nothing.
void paintControl(HDC dc, const Control& control, const FontSet& fonts, UINT dpi);
// The keyboard focus mark around a visible control: a dashed ring in the
// highlight gold, at least one pixel wide at any DPI.
void paintFocusMark(HDC dc, const Control& control, UINT dpi);

}  // namespace gui
