// The accessible side of a surface: its parts as a screen reader sees them,
// and the events that tell a screen reader what changed.
#include <windows.h>
#include <oleacc.h>

#include "gui/accessible.h"
#include "gui/surface.h"

namespace gui {
namespace {

bool sameRect(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }

}  // namespace

AccessibleItem Surface::describeControl(const Control& c) const {
  AccessibleItem item;
  item.role = accessibleRole(c.kind);
  item.name = c.accessibleName.empty() ? c.text : c.accessibleName;
  item.description = c.description.empty() ? c.detail : c.description;
  item.rect = c.rect;
  item.id = c.id;
  long state = 0;
  if (!c.visible) state |= STATE_SYSTEM_INVISIBLE;
  if (!c.enabled) state |= STATE_SYSTEM_UNAVAILABLE;
  if (c.visible && c.enabled) {
    state |= STATE_SYSTEM_FOCUSABLE;
    item.action = actionName(c.kind, c.checked);
  }
  if (c.id == focusId_ && window_ && GetFocus() == window_) state |= STATE_SYSTEM_FOCUSED;
  if (c.hover) state |= STATE_SYSTEM_HOTTRACKED;
  if (c.pressed) state |= STATE_SYSTEM_PRESSED;
  if (c.kind == ControlKind::Link) state |= STATE_SYSTEM_LINKED;
  if (c.kind == ControlKind::Tab) {
    state |= STATE_SYSTEM_SELECTABLE;
    if (c.checked) state |= STATE_SYSTEM_SELECTED;
  } else if (c.checked) {
    state |= STATE_SYSTEM_CHECKED;  // the check box ticked, the option chosen
  }
  item.state = state;
  return item;
}

std::vector<AccessibleItem> Surface::accessibleItems() {
  // The texts are those of the last paint: bring a pending one forward.
  if (window_ && IsWindowVisible(window_)) UpdateWindow(window_);
  std::vector<AccessibleItem> items;
  for (const Control& c : controls_) items.push_back(describeControl(c));
  for (const EditField& e : edits_) {
    AccessibleItem item;
    item.role = ROLE_SYSTEM_TEXT;
    item.name = e.label;
    item.value = getEditText(e.id);
    item.rect = e.frame;
    item.id = e.id;
    item.state = e.visible ? STATE_SYSTEM_FOCUSABLE : STATE_SYSTEM_INVISIBLE;
    if (e.window && GetFocus() == e.window) item.state |= STATE_SYSTEM_FOCUSED;
    items.push_back(item);
  }
  for (const ShownText& t : spokenTexts_) {
    AccessibleItem item;
    item.role = ROLE_SYSTEM_STATICTEXT;
    item.name = t.text;
    item.rect = t.box;
    item.state = STATE_SYSTEM_READONLY;
    items.push_back(item);
  }
  return items;
}

int Surface::accessibleChildOf(int id) const {
  if (id == 0) return 0;
  int child = 0;
  for (const Control& c : controls_) {
    ++child;
    if (c.id == id) return child;
  }
  for (const EditField& e : edits_) {
    ++child;
    if (e.id == id) return child;
  }
  return 0;
}

void Surface::notifyChild(DWORD event, int id) {
  const int child = accessibleChildOf(id);
  if (window_ && child > 0) NotifyWinEvent(event, window_, OBJID_CLIENT, child);
}

bool Surface::onControl(const RECT& box) const {
  const POINT middle = {(box.left + box.right) / 2, (box.top + box.bottom) / 2};
  for (const Control& c : controls_) {
    if (c.visible && PtInRect(&c.rect, middle)) return true;
  }
  return false;
}

namespace {

// "1." drawn in its own column before the item's text.
bool isItemNumber(const std::wstring& text) {
  return text.size() >= 2 && text.back() == L'.' &&
         text.find_first_not_of(L"0123456789") == text.size() - 1;
}

}  // namespace

// The texts a screen reader reads are those drawn outside the controls
// (which name themselves), a shadow and its text once, an item's number
// with its text. One that changed in place (a status line after a refresh)
// is a name change; texts or controls that came or went (a page or tab
// change) change the structure. Nothing is told when nothing changed.
void Surface::announceTextChanges() {
  std::vector<ShownText> texts;
  for (size_t i = 0; i < drawnTexts_.size(); ++i) {
    const DrawnText& d = drawnTexts_[i];
    if (d.text.empty() || onControl(d.box)) continue;
    if (!texts.empty() && texts.back().text == d.text) continue;  // its shadow came first
    ShownText shown = {d.box, d.text};
    if (isItemNumber(d.text) && i + 1 < drawnTexts_.size()) {
      const DrawnText& item = drawnTexts_[++i];
      shown.text += L" " + item.text;
      UnionRect(&shown.box, &d.box, &item.box);
    }
    texts.push_back(shown);
  }
  std::vector<int> shownIds;
  for (const Control& c : controls_) {
    if (c.visible) shownIds.push_back(c.id);
  }
  const bool first = spokenTexts_.empty() && shownControls_.empty();
  bool sameShape = shownIds == shownControls_ && texts.size() == spokenTexts_.size();
  for (size_t i = 0; sameShape && i < texts.size(); ++i)
    sameShape = sameRect(texts[i].box, spokenTexts_[i].box);
  // Texts come after every control and EDIT among the children.
  const long firstText = static_cast<long>(edits_.size() + controls_.size());
  std::vector<long> changed;
  for (size_t i = 0; sameShape && i < texts.size(); ++i) {
    if (texts[i].text != spokenTexts_[i].text) changed.push_back(firstText + static_cast<long>(i) + 1);
  }
  spokenTexts_ = std::move(texts);
  shownControls_ = std::move(shownIds);
  if (first || !window_) return;
  if (!sameShape) {
    NotifyWinEvent(EVENT_OBJECT_REORDER, window_, OBJID_CLIENT, CHILDID_SELF);
    return;
  }
  for (long child : changed) NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window_, OBJID_CLIENT, child);
}

LRESULT Surface::onGetObject(WPARAM wParam, LPARAM lParam) {
  if (static_cast<LONG>(lParam) != OBJID_CLIENT) return 0;
  if (!accessible_) accessible_ = new SurfaceAccessible(this);
  return accessible_->answer(wParam);
}

void Surface::disconnectAccessible() {
  if (!accessible_) return;
  accessible_->disconnect();
  accessible_->Release();  // screen readers may hold theirs a while longer
  accessible_ = nullptr;
}

}  // namespace gui
