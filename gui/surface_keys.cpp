// The keyboard side of a surface: which control has the focus, the order
// Tab visits them in, groups the arrow keys move in, and the keys that
// activate controls. Windows' own rule decides when the focus mark shows.
#include <windows.h>
#include <oleacc.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>

#include "gui/surface.h"

namespace gui {
namespace {

bool keyDown(int key) { return GetKeyState(key) < 0; }

struct Stop {
  int id;
  int group;
  bool checked;
  RECT rect;
};

int middleX(const RECT& r) { return (r.left + r.right) / 2; }
int middleY(const RECT& r) { return (r.top + r.bottom) / 2; }
bool inRowOf(const RECT& row, const RECT& r) {
  return middleY(r) >= row.top && middleY(r) < row.bottom;
}

// Up (step -1) and Down (+1) in a group laid out in rows, such as a grid of
// cards: the member straight above or below, wrapping to the far row; -1
// when the group is one row.
int verticalNeighbour(const std::vector<RECT>& rects, size_t from, int step) {
  const RECT& here = rects[from];
  auto ahead = [&](const RECT& r) {
    return !inRowOf(here, r) && step * (middleY(r) - middleY(here)) > 0;
  };
  const bool anyAhead = std::any_of(rects.begin(), rects.end(), ahead);
  // The nearest row ahead; with none, the farthest row back.
  const RECT* row = nullptr;
  for (const RECT& r : rects) {
    if (inRowOf(here, r) || (anyAhead && !ahead(r))) continue;
    if (!row || step * middleY(r) < step * middleY(*row)) row = &r;
  }
  if (!row) return -1;
  // In that row, the member nearest straight across.
  int best = -1, bestDistance = 0;
  for (size_t i = 0; i < rects.size(); ++i) {
    if (!inRowOf(*row, rects[i])) continue;
    const int distance = std::abs(middleX(rects[i]) - middleX(here));
    if (best < 0 || distance < bestDistance) {
      best = static_cast<int>(i);
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace

std::vector<size_t> readingOrder(const std::vector<RECT>& rects) {
  std::vector<size_t> order(rects.size());
  std::iota(order.begin(), order.end(), 0);
  auto middle2 = [&](size_t i) { return rects[i].top + rects[i].bottom; };
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return middle2(a) < middle2(b); });
  // A row: what has its middle within the first item's height; left to right.
  size_t start = 0;
  while (start < order.size()) {
    const RECT& first = rects[order[start]];
    size_t end = start + 1;
    while (end < order.size() && middle2(order[end]) <= 2 * first.bottom) ++end;
    std::stable_sort(order.begin() + static_cast<std::ptrdiff_t>(start),
                     order.begin() + static_cast<std::ptrdiff_t>(end),
                     [&](size_t a, size_t b) { return rects[a].left < rects[b].left; });
    start = end;
  }
  return order;
}

bool Surface::isEdit(int id) const {
  for (const EditField& e : edits_) {
    if (e.id == id) return true;
  }
  return false;
}

bool Surface::isFocusable(int id) const {
  if (id == 0) return false;
  for (const EditField& e : edits_) {
    if (e.id == id) return e.visible && e.window && IsWindowEnabled(e.window);
  }
  for (const Control& c : controls_) {
    if (c.id == id) return c.visible && c.enabled;
  }
  return false;
}

std::vector<int> Surface::tabStops() const {
  std::vector<Stop> stops;
  for (const EditField& e : edits_) {
    if (isFocusable(e.id)) stops.push_back({e.id, 0, false, e.frame});
  }
  for (const Control& c : controls_) {
    if (c.visible && c.enabled) stops.push_back({c.id, c.group, c.checked, c.rect});
  }
  std::vector<RECT> rects;
  for (const Stop& s : stops) rects.push_back(s.rect);
  const std::vector<size_t> order = readingOrder(rects);
  // A group stops once: at its focused member, else its selected one, else its first.
  auto representative = [&](int group) {
    int first = 0, selected = 0;
    for (size_t i : order) {
      const Stop& s = stops[i];
      if (s.group != group) continue;
      if (s.id == focusId_) return s.id;
      if (first == 0) first = s.id;
      if (s.checked && selected == 0) selected = s.id;
    }
    return selected != 0 ? selected : first;
  };
  std::vector<int> ids;
  for (size_t i : order) {
    const Stop& s = stops[i];
    if (s.group == 0 || representative(s.group) == s.id) ids.push_back(s.id);
  }
  return ids;
}

bool Surface::focusCuesShown() const { return window_ && !hideFocus_; }

void Surface::showFocusCues() {
  // A top-level window: the change is ours to make, for us and our EDITs.
  if (window_ && hideFocus_)
    SendMessageW(window_, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

void Surface::onUpdateUiState(WORD action, WORD flags) {
  if (!(flags & UISF_HIDEFOCUS)) return;
  if (action == UIS_INITIALIZE) {
    BOOL cuesAlways = FALSE;  // the user's "always show keyboard cues"
    SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &cuesAlways, 0);
    hideFocus_ = !cuesAlways;
  } else if (action == UIS_SET || action == UIS_CLEAR) {
    hideFocus_ = action == UIS_SET;
  }
  if (!hideFocus_) quietEditFocus_ = false;
  invalidate();
}

void Surface::focusItem(int id) {
  if (!isFocusable(id)) return;
  const bool changed = id != focusId_;
  focusId_ = id;
  quietEditFocus_ = false;
  scrollIntoView(id);
  invalidate();
  // A window that is not active only remembers: activation brings the focus.
  if (GetActiveWindow() != window_) return;
  HWND target = isEdit(id) ? editWindow(id) : window_;
  if (GetFocus() != target) {
    SetFocus(target);  // WM_SETFOCUS or the EDIT's own event tells the screen reader
  } else if (changed) {
    notifyFocus();
  }
}

void Surface::focusInitial() {
  const int id = initialFocus();
  focusItem(id);
  // A page that puts the caret in a field does not light the field up for
  // mouse users: that is the focus mark's rule too.
  if (isEdit(id) && focusId_ == id && !focusCuesShown()) quietEditFocus_ = true;
}

void Surface::keepFocusValid() {
  if (!isFocusable(focusId_)) focusInitial();
}

int Surface::initialFocus() {
  const std::vector<int> stops = tabStops();
  return stops.empty() ? 0 : stops.front();
}

int Surface::defaultButton() { return 0; }
void Surface::onSwitchTab(int) {}

void Surface::moveFocus(int step) {
  const std::vector<int> stops = tabStops();
  if (stops.empty()) return;
  const auto at = std::find(stops.begin(), stops.end(), focusId_);
  const int count = static_cast<int>(stops.size());
  int next;
  if (at == stops.end()) {
    next = step > 0 ? 0 : count - 1;
  } else {
    next = (static_cast<int>(at - stops.begin()) + step + count) % count;  // wraps around
  }
  const int id = stops[static_cast<size_t>(next)];
  focusItem(id);
  // As in Windows' dialogs, a field reached by Tab has its text selected:
  // typing replaces it.
  if (isEdit(id) && focusId_ == id) SendMessageW(editWindow(id), EM_SETSEL, 0, -1);
}

bool Surface::activate(int id) {
  const Control* c = findControl(id);
  if (!c || !c->visible || !c->enabled) return false;
  invalidate();
  onClick(id);  // last: it may destroy the window
  return true;
}

// Arrows, Home and End in a group move the focus and select, as a radio
// group does; a tab strip stops at its ends, a row of options wraps. Left
// and Right go along the rows in reading order; in a group of several rows
// Up and Down go straight up and down.
bool Surface::stepInGroup(UINT key) {
  const Control* focused = findControl(focusId_);
  if (!focused || focused->group == 0) return false;
  std::vector<const Control*> members;
  std::vector<RECT> rects;
  for (const Control& c : controls_) {
    if (c.group == focused->group && c.visible && c.enabled) {
      members.push_back(&c);
      rects.push_back(c.rect);
    }
  }
  std::vector<int> ids;
  std::vector<RECT> placed;
  for (size_t i : readingOrder(rects)) {
    ids.push_back(members[i]->id);
    placed.push_back(rects[i]);
  }
  const int count = static_cast<int>(ids.size());
  const int here = static_cast<int>(std::find(ids.begin(), ids.end(), focusId_) - ids.begin());
  if (here == count) return false;  // the focused member is hidden or disabled
  const bool wraps = focused->kind != ControlKind::Tab;
  const int vertical =
      key == VK_UP || key == VK_DOWN
          ? verticalNeighbour(placed, static_cast<size_t>(here), key == VK_DOWN ? 1 : -1)
          : -1;
  int target = vertical;
  if (target < 0) {
    switch (key) {
      case VK_HOME: target = 0; break;
      case VK_END: target = count - 1; break;
      case VK_LEFT:
      case VK_UP: target = here > 0 ? here - 1 : (wraps ? count - 1 : here); break;
      default: target = here + 1 < count ? here + 1 : (wraps ? 0 : here); break;
    }
  }
  const int id = ids[static_cast<size_t>(target)];
  focusItem(id);
  const Control* chosen = findControl(id);
  if (chosen && !chosen->checked) activate(id);  // last: it may change the page
  return true;
}

bool Surface::handleKey(UINT key) {
  switch (key) {
    case VK_TAB:
    case VK_SPACE:
    case VK_RETURN:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_HOME:
    case VK_END:
      showFocusCues();  // the keyboard is in use: from now on the focus shows
      break;
    default:
      return false;
  }
  const Control* focused = isEdit(focusId_) ? nullptr : findControl(focusId_);
  if (focused && !isFocusable(focusId_)) focused = nullptr;
  switch (key) {
    case VK_TAB:
      if (keyDown(VK_CONTROL)) {
        onSwitchTab(keyDown(VK_SHIFT) ? -1 : 1);
      } else {
        moveFocus(keyDown(VK_SHIFT) ? -1 : 1);
      }
      return true;
    case VK_SPACE:
      if (focused) activate(focused->id);
      return true;
    case VK_RETURN:
      if (focused) {
        activate(focused->id);
      } else if (int id = defaultButton()) {
        activate(id);
      }
      return true;
    default:
      return stepInGroup(key);
  }
}

void Surface::onSetFocus() {
  // The window got the focus back: into the EDIT that had it, else the
  // drawn control keeps it.
  if (isEdit(focusId_) && isFocusable(focusId_)) {
    const bool quiet = quietEditFocus_;
    SetFocus(editWindow(focusId_));
    quietEditFocus_ = quiet;  // still the page's choice, not the user's
    return;
  }
  notifyFocus();
  invalidate();
}

void Surface::notifyFocus() {
  if (!window_ || GetFocus() != window_) return;
  const int child = accessibleChildOf(focusId_);
  NotifyWinEvent(EVENT_OBJECT_FOCUS, window_, OBJID_CLIENT, child > 0 ? child : CHILDID_SELF);
}

}  // namespace gui
