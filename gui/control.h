// A custom-drawn control record of a surface, and its painter.
#pragma once

#include <windows.h>

#include <string>

#include "gui/theme.h"

namespace gui {

enum ControlKind {
  kButton = 0,
  kPrimaryButton = 1,
  kTab = 2,
  kCheckBox = 3,
  kOptionCard = 4,
  kSegment = 5,
  kLink = 6,
};

// Where a segment sits in its row: which corners are rounded.
enum SegmentPosition {
  kSegmentAlone = 0,
  kSegmentFirst = 1,
  kSegmentMiddle = 2,
  kSegmentLast = 3,
};

struct Control {
  int id = 0;
  int kind = kButton;
  RECT rect = {};
  std::wstring text;
  std::wstring detail;  // option cards: the description line
  bool hover = false;
  bool pressed = false;
  bool checked = false;  // ticked, or selected for tabs, cards and segments
  bool enabled = true;
  bool visible = true;
  UINT segmentPosition = kSegmentAlone;
};

// Paints one control by its kind and state; invisible controls and unknown
// kinds paint nothing.
void paintControl(HDC dc, const Control& control, const FontSet& fonts, UINT dpi);

}  // namespace gui
