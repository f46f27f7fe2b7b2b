#include "gui/surface.h"

#include <commctrl.h>
#include <dwmapi.h>
#include <windowsx.h>

#include <algorithm>
#include <mutex>

#include "gui/accessible.h"
#include "gui/paint.h"
#include "gui/scoped_gdi.h"

namespace gui {
namespace {

constexpr DWORD kWindowStyle = WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = WS_EX_APPWINDOW;
constexpr DWORD kEditStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr int kEditPadDip = 2;
constexpr int kEditInsetDip = 10;
constexpr UINT kDefaultDpi = 96;
constexpr int kTooltipWidthDip = 400;  // long texts wrap in their tooltip

// Window attributes of the desktop window manager for the dark title bar.
constexpr DWORD kDwmDarkMode = 20;
constexpr DWORD kDwmBorderColour = 34;
constexpr DWORD kDwmCaptionColour = 35;
constexpr DWORD kDwmTextColour = 36;

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
using MetricsForDpiFn = int(WINAPI*)(int, UINT);

struct User32Functions {
  GetDpiForWindowFn getDpiForWindow = nullptr;
  AdjustForDpiFn adjustForDpi = nullptr;
  MetricsForDpiFn metricsForDpi = nullptr;
};

// Looked up once per process; newer systems have them, older ones do not.
const User32Functions& user32Functions() {
  static std::once_flag once;
  static User32Functions functions;
  std::call_once(once, [] {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32) return;
    functions.getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
    functions.adjustForDpi = reinterpret_cast<AdjustForDpiFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "AdjustWindowRectExForDpi")));
    functions.metricsForDpi = reinterpret_cast<MetricsForDpiFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetSystemMetricsForDpi")));
  });
  return functions;
}

// dwmapi is delay-loaded and goes with the other window libraries.
void setDarkTitleBar(HWND window) {
  const DWORD dark = 1;
  const COLORREF caption = kColorCaptionBar, text = kColorCaptionText, border = kColorCaptionBorder;
  if (FAILED(DwmSetWindowAttribute(window, kDwmDarkMode, &dark, sizeof dark))) return;
  DwmSetWindowAttribute(window, kDwmCaptionColour, &caption, sizeof caption);
  DwmSetWindowAttribute(window, kDwmTextColour, &text, sizeof text);
  DwmSetWindowAttribute(window, kDwmBorderColour, &border, sizeof border);
}

bool contains(const RECT& rc, POINT pt) { return PtInRect(&rc, pt) != FALSE; }

RECT scaledRect(int xDip, int yDip, int wDip, int hDip, UINT dpi) {
  const int d = static_cast<int>(dpi);
  return {MulDiv(xDip, d, 96), MulDiv(yDip, d, 96), MulDiv(xDip + wDip, d, 96),
          MulDiv(yDip + hDip, d, 96)};
}

POINT pointFromLParam(LPARAM lParam) { return {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

SIZE scaledSize(SIZE dip, UINT dpi) {
  const int d = static_cast<int>(dpi);
  return {MulDiv(dip.cx, d, 96), MulDiv(dip.cy, d, 96)};
}

// The start of a span of `size` moved as little as it takes to lie within
// [low, high); a span longer than that starts at `low`.
LONG clampSpan(LONG start, LONG size, LONG low, LONG high) {
  return std::max(low, std::min(start, high - size));
}

// The width of a vertical scroll bar at the monitor's DPI.
int scrollBarWidth(UINT monitorDpi) {
  const User32Functions& f = user32Functions();
  if (f.metricsForDpi) return f.metricsForDpi(SM_CXVSCROLL, monitorDpi);
  return MulDiv(GetSystemMetrics(SM_CXVSCROLL), static_cast<int>(monitorDpi),
                static_cast<int>(windowDpi(nullptr)));
}

constexpr int kScrollLineDip = 40;
constexpr int kScrollMarginDip = 8;

constexpr UINT_PTR kFieldSubclass = 1;

// An EDIT cannot tell a screen reader its name: its heading's text is given
// on its behalf. The surface outlives its EDITs.
LRESULT CALLBACK fieldProc(HWND field, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                           DWORD_PTR data) {
  if (msg == WM_GETOBJECT && static_cast<LONG>(lParam) == OBJID_CLIENT) {
    for (const EditField& e : reinterpret_cast<const Surface*>(data)->edits()) {
      if (e.window != field) continue;
      if (LRESULT answer = answerForField(field, wParam, e.label)) return answer;
    }
  }
  if (msg == WM_NCDESTROY) RemoveWindowSubclass(field, fieldProc, id);
  return DefSubclassProc(field, msg, wParam, lParam);
}

// An EDIT resets its margins to the font's default whenever it gets a font,
// so the zero margins (the frame already insets the text) follow every font.
void setEditFont(HWND edit, HFONT font) {
  SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SendMessageW(edit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
}

}  // namespace

UINT windowDpi(HWND window) {
  const User32Functions& f = user32Functions();
  if (window && f.getDpiForWindow) {
    UINT dpi = f.getDpiForWindow(window);
    if (dpi) return dpi;
  }
  ScopedScreenDc screen(GetDC(nullptr));
  const int dpi = screen.valid() ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

SIZE outerSizeForClient(int clientWidth, int clientHeight, UINT dpi, DWORD style, DWORD exStyle) {
  RECT rc = {0, 0, clientWidth, clientHeight};
  const User32Functions& f = user32Functions();
  if (!(f.adjustForDpi && f.adjustForDpi(&rc, style, FALSE, exStyle, dpi))) {
    AdjustWindowRectEx(&rc, style, FALSE, exStyle);
  }
  return {rc.right - rc.left, rc.bottom - rc.top};
}

SIZE windowFrame(UINT dpi) { return outerSizeForClient(0, 0, dpi, kWindowStyle, kWindowExStyle); }

WindowFit fitWindow(SIZE clientDip, UINT monitorDpi, SIZE frame, int scrollBar, const RECT& work,
                    const POINT* wanted) {
  const SIZE room = {work.right - work.left - frame.cx, work.bottom - work.top - frame.cy};
  const UINT floor = std::min(monitorDpi, kMinLayoutDpi);
  WindowFit fit;
  fit.layoutDpi = monitorDpi;
  fit.content = scaledSize(clientDip, monitorDpi);
  while (fit.layoutDpi > floor && (fit.content.cx > room.cx || fit.content.cy > room.cy)) {
    --fit.layoutDpi;
    fit.content = scaledSize(clientDip, fit.layoutDpi);
  }
  // Below the floor the client takes what the work area has, and the
  // content scrolls in it beside a scroll bar.
  const bool scrolls = fit.content.cy > room.cy;
  const LONG bar = scrolls ? scrollBar : 0;
  fit.client = {std::max(0L, std::min(fit.content.cx, room.cx - bar)),
                std::max(0L, std::min(fit.content.cy, room.cy))};
  const SIZE outer = {fit.client.cx + bar + frame.cx, fit.client.cy + frame.cy};
  POINT at = {work.left + (work.right - work.left - outer.cx) / 2,
              work.top + (work.bottom - work.top - outer.cy) / 2};
  if (wanted) at = *wanted;
  at.x = clampSpan(at.x, outer.cx, work.left, work.right);
  at.y = clampSpan(at.y, outer.cy, work.top, work.bottom);
  fit.outer = {at.x, at.y, at.x + outer.cx, at.y + outer.cy};
  return fit;
}

Surface::~Surface() {
  disconnectAccessible();
  // A window that outlives its surface must not reach it any more.
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  pipeline_.finish();  // it paints with the theme
  letGoOfTheme();
}

void Surface::letGoOfTheme() {
  if (holdsTheme_) releaseTheme();
  holdsTheme_ = false;
}

void Surface::paintBackdrop(HDC dc, const RECT& clientRect) { paintBackground(dc, clientRect); }

int Surface::firstLayer() const { return 0; }

void Surface::paintFirstLayer(HDC, int) {}

void Surface::renderTo(HDC dc, const RECT& clientRect) {
  awaitGdiplus();
  paintBackdrop(dc, clientRect);
  layerOnBackdrop_ = 0;
  paintNotingTexts(dc, clientRect);
}

void Surface::paintNotingTexts(HDC dc, const RECT& client) {
  std::vector<DrawnText> drawn;
  {
    TextLog log(&drawn);
    paint(dc, client);
  }
  // A repaint for a hover or a press draws the same texts: nothing to measure.
  const bool same = std::equal(drawn.begin(), drawn.end(), drawnTexts_.begin(), drawnTexts_.end(),
                               [](const DrawnText& a, const DrawnText& b) {
                                 return EqualRect(&a.box, &b.box) && a.font == b.font &&
                                        a.flags == b.flags && a.text == b.text;
                               });
  if (!same) {
    drawnTexts_ = std::move(drawn);
    noteCutTexts(dc);
  }
  announceTextChanges();  // controls may have come or gone with the same texts
}

void Surface::noteCutTexts(HDC dc) {
  std::vector<CutText> cut;
  for (const DrawnText& drawn : drawnTexts_) {
    if (textFits(dc, drawn)) continue;
    if (!cut.empty() && cut.back().text == drawn.text) continue;  // a caption and its shadow
    cut.push_back({drawn.box, drawn.text});
  }
  const bool same = std::equal(cut.begin(), cut.end(), cutTexts_.begin(), cutTexts_.end(),
                               [](const CutText& a, const CutText& b) {
                                 return EqualRect(&a.box, &b.box) && a.text == b.text;
                               });
  if (same) return;
  cutTexts_ = std::move(cut);
  showCutTextsAsTooltips();
}

// One tooltip tool per cut text, over its box, carrying the whole text.
void Surface::showCutTextsAsTooltips() {
  if (!window_ || (!tooltip_ && cutTexts_.empty())) return;
  if (!makeTooltip()) return;
  for (size_t id = 1; id <= tools_; ++id) {
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.hwnd = window_;
    tool.uId = id;
    SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  tools_ = cutTexts_.size();
  for (size_t i = 0; i < cutTexts_.size(); ++i) {
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = i + 1;
    tool.rect = cutTexts_[i].box;
    OffsetRect(&tool.rect, 0, -scrollY_);  // the client shows the content from there
    tool.lpszText = const_cast<wchar_t*>(cutTexts_[i].text.c_str());  // the tooltip copies it
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

bool Surface::makeTooltip() {
  if (tooltip_ || !window_) return tooltip_ != nullptr;
  startCommonControls();
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, themeInstance(), nullptr);
  if (tooltip_) SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, scale(kTooltipWidthDip));
  return tooltip_ != nullptr;
}

// A path longer than its field shows its end, the part that names the
// folder, and is whole in the field's tooltip. While the user is in the
// field, the caret stays where the user put it.
void Surface::showTextEnd(EditField& e) {
  if (!e.window) return;
  const std::wstring text = getEditText(e.id);
  if (GetFocus() != e.window) {
    // From the start, so that a field grown since shows as much as it holds.
    SendMessageW(e.window, EM_SETSEL, 0, 0);
    SendMessageW(e.window, EM_SCROLLCARET, 0, 0);
    const auto end = static_cast<WPARAM>(text.size());
    SendMessageW(e.window, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageW(e.window, EM_SCROLLCARET, 0, 0);
  }
  RECT field = {};
  GetClientRect(e.window, &field);
  int width = 0;
  {
    WindowDc dc(e.window);
    if (dc.valid()) {
      width = measureTextWidth(dc, reinterpret_cast<HFONT>(SendMessageW(e.window, WM_GETFONT, 0, 0)),
                               text);
    }
  }
  const std::wstring tip = width > field.right ? text : std::wstring();
  if (tip == e.tip) return;
  e.tip = tip;
  TTTOOLINFOW tool = {};
  tool.cbSize = sizeof tool;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(e.window);
  if (tooltip_) SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  if (tip.empty() || !makeTooltip()) return;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.lpszText = const_cast<wchar_t*>(e.tip.c_str());  // the tooltip copies it
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

std::wstring Surface::editTip(int id) const {
  const EditField* e = findEdit(id);
  return e ? e->tip : std::wstring();
}

bool Surface::create(const wchar_t* className, const std::wstring& title, int widthDip,
                     int heightDip, HWND owner) {
  sizeDip_ = {widthDip, heightDip};
  // The system's DPI and the primary monitor, where a new window opens,
  // until the window has its own.
  monitorDpi_ = windowDpi(nullptr);
  const WindowFit fit =
      fitOn(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), monitorDpi_, nullptr);
  dpi_ = fit.layoutDpi;
  contentHeight_ = fit.content.cy;
  const RECT client = {0, 0, fit.content.cx, fit.content.cy};
  if (!holdsTheme_) holdTheme();  // the window class and the pictures
  holdsTheme_ = true;
  // The size and DPI are known now: the first backdrop is painted while the
  // window is being made.
  pipeline_.start(client, dpi_, firstLayer());
  creating_ = true;
  HWND created =
      CreateWindowExW(kWindowExStyle, className, title.c_str(), kWindowStyle, fit.outer.left,
                      fit.outer.top, fit.outer.right - fit.outer.left,
                      fit.outer.bottom - fit.outer.top, owner, nullptr, themeInstance(), this);
  creating_ = false;
  if (!created) {
    window_ = nullptr;
    pipeline_.finish();  // it paints with the theme
    letGoOfTheme();
    return false;
  }
  monitorDpi_ = windowDpi(window_);
  const UINT dpi = fitOn(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), monitorDpi_, nullptr)
                       .layoutDpi;
  if (dpi != dpi_) {
    pipeline_.finish();  // it reads dpi_; the first paint makes another
    dpi_ = dpi;
  }
  fonts_ = FontSet(dpi_);
  // Windows' rule: no focus mark until the keyboard is used, unless the
  // user asked to see keyboard cues always.
  SendMessageW(window_, WM_UPDATEUISTATE, MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS), 0);
  setDarkTitleBar(window_);
  setClientSize(widthDip, heightDip, true);
  return true;
}

void Surface::setClientSize(int widthDip, int heightDip, bool center) {
  if (!window_) return;
  sizeDip_ = {widthDip, heightDip};
  RECT now;
  GetWindowRect(window_, &now);
  const POINT here = {now.left, now.top};
  applyFit(fitOn(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), monitorDpi_,
                 center ? nullptr : &here));
}

// The window fits its monitor again where it is, as far as it still can.
void Surface::refit() {
  if (window_ && sizeDip_.cx > 0) setClientSize(sizeDip_.cx, sizeDip_.cy, false);
}

WindowFit Surface::fitOn(HMONITOR monitor, UINT monitorDpi, const POINT* wanted) const {
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &info.rcWork, 0);
  return fitWindow(sizeDip_, monitorDpi, windowFrame(monitorDpi), scrollBarWidth(monitorDpi),
                   info.rcWork, wanted);
}

// The window takes the fit's place, and its content the fit's DPI.
void Surface::applyFit(const WindowFit& fit) {
  setLayoutDpi(fit.layoutDpi);
  contentHeight_ = fit.content.cy;
  const bool scrolls = fit.client.cy < fit.content.cy;
  ShowScrollBar(window_, SB_VERT, scrolls);
  if (scrolls) {
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE;
    info.nMax = fit.content.cy - 1;
    info.nPage = static_cast<UINT>(fit.client.cy);
    SetScrollInfo(window_, SB_VERT, &info, TRUE);
  }
  SetWindowPos(window_, nullptr, fit.outer.left, fit.outer.top, fit.outer.right - fit.outer.left,
               fit.outer.bottom - fit.outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
  scrollTo(scrolls ? scrollY_ : 0);
  layout();  // the size may be the same at another DPI
  invalidate();
}

void Surface::setLayoutDpi(UINT dpi) {
  if (dpi == dpi_) return;
  pipeline_.finish();  // it reads dpi_
  dpi_ = dpi;
  // The EDITs get their new font before the old ones are deleted.
  FontSet next(dpi_);
  for (const EditField& e : edits_) {
    if (e.window) setEditFont(e.window, next[kFontBody]);
  }
  fonts_ = std::move(next);
}

void Surface::scrollTo(int y) {
  RECT client = {};
  if (window_) GetClientRect(window_, &client);
  y = std::max(0, std::min(y, contentHeight_ - static_cast<int>(client.bottom)));
  if (y == scrollY_) return;
  scrollY_ = y;
  SetScrollPos(window_, SB_VERT, y, TRUE);
  if (!cutTexts_.empty()) showCutTextsAsTooltips();  // their boxes moved
  for (EditField& e : edits_) {
    if (e.window && !IsRectEmpty(&e.frame)) moveEditWindow(e);
  }
  invalidate();
}

// Content that scrolls brings the control or field that gets the focus into
// sight, with a little room around it.
void Surface::scrollIntoView(int id) {
  RECT box = {};
  if (const Control* c = findControl(id)) box = c->rect;
  if (const EditField* e = findEdit(id)) box = e->frame;
  RECT client = {};
  if (!window_ || IsRectEmpty(&box) || !GetClientRect(window_, &client)) return;
  const int room = scale(kScrollMarginDip);
  if (box.top - room < scrollY_) {
    scrollTo(box.top - room);
  } else if (box.bottom + room > scrollY_ + client.bottom) {
    scrollTo(box.bottom + room - client.bottom);
  }
}

POINT Surface::contentPoint(LPARAM lParam) const {
  POINT point = pointFromLParam(lParam);
  point.y += scrollY_;
  return point;
}

void Surface::invalidate() {
  if (window_) InvalidateRect(window_, nullptr, FALSE);
}

Control* Surface::addControl(int id, ControlKind kind, const std::wstring& text,
                             const std::wstring& detail) {
  Control control;
  control.id = id;
  control.kind = kind;
  control.text = text;
  control.detail = detail;
  controls_.push_back(control);
  return &controls_.back();
}

Control* Surface::findControl(int id) {
  for (Control& c : controls_) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

void Surface::placeControl(int id, int xDip, int yDip, int wDip, int hDip) {
  if (Control* c = findControl(id)) c->rect = scaledRect(xDip, yDip, wDip, hDip, dpi_);
}

void Surface::setVisible(int id, bool on) {
  if (Control* c = findControl(id)) {
    c->visible = on;
    if (!on) c->hover = false;
  }
}

void Surface::setEnabled(int id, bool on) {
  if (Control* c = findControl(id)) {
    c->enabled = on;
    if (!on) c->hover = false;
  }
}

void Surface::setChecked(int id, bool on) {
  Control* c = findControl(id);
  if (!c || c->checked == on) return;
  c->checked = on;
  notifyChild(c->kind == ControlKind::Tab && on ? EVENT_OBJECT_SELECTION : EVENT_OBJECT_STATECHANGE,
              id);
}

void Surface::setTexts(int id, const std::wstring& text, const std::wstring& detail) {
  if (Control* c = findControl(id)) {
    c->text = text;
    c->detail = detail;
  }
}

HWND Surface::addEdit(int id, DWORD extraStyle, int maxChars, bool shown) {
  EditField field;
  field.id = id;
  field.visible = shown;
  field.style = kEditStyle | extraStyle;
  field.maxChars = maxChars;
  if (shown) makeEditWindow(field);
  edits_.push_back(field);
  return field.window;
}

void Surface::makeEditWindow(EditField& e) {
  startCommonControls();  // the EDIT of the manifest's version and the subclass are theirs
  e.window = CreateWindowExW(0, L"EDIT", e.text.c_str(), e.style, 0, 0, 10, 10, window_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(e.id)),
                             themeInstance(), nullptr);
  if (!e.window) return;  // the text stays held
  e.text.clear();
  SetWindowSubclass(e.window, fieldProc, kFieldSubclass, reinterpret_cast<DWORD_PTR>(this));
  setEditFont(e.window, fonts_[kFontBody]);
  SendMessageW(e.window, EM_LIMITTEXT, static_cast<WPARAM>(e.maxChars), 0);
  if (!IsRectEmpty(&e.frame)) moveEditWindow(e);
}

// The text's line centred in the frame, inset from its sides.
void Surface::moveEditWindow(EditField& e) {
  const int pad = scale(kEditPadDip);
  const int inset = scale(kEditInsetDip);
  int textHeight = 0;
  WindowDc dc(e.window);
  if (dc.valid()) {
    ScopedSelect selected(dc, reinterpret_cast<HFONT>(SendMessageW(e.window, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics = {};
    if (GetTextMetricsW(dc, &metrics)) textHeight = metrics.tmHeight;
  }
  MoveWindow(e.window, e.frame.left + inset,
             (e.frame.top + e.frame.bottom - textHeight - pad) / 2 - scrollY_,
             e.frame.right - e.frame.left - 2 * inset, textHeight + pad, TRUE);
  showTextEnd(e);
}

EditField* Surface::findEdit(int id) {
  for (EditField& e : edits_) {
    if (e.id == id) return &e;
  }
  return nullptr;
}

const EditField* Surface::findEdit(int id) const {
  return const_cast<Surface*>(this)->findEdit(id);
}

void Surface::placeEdit(int id, int xDip, int yDip, int wDip, int hDip) {
  EditField* e = findEdit(id);
  if (!e) return;
  e->frame = scaledRect(xDip, yDip, wDip, hDip, dpi_);
  if (e->window) moveEditWindow(*e);
}

void Surface::showEdit(int id, bool on) {
  EditField* e = findEdit(id);
  if (!e) return;
  e->visible = on;
  if (e->window) {
    ShowWindow(e->window, on ? SW_SHOWNA : SW_HIDE);
  } else if (on && window_) {
    makeEditWindow(*e);
  }
}

HWND Surface::editWindow(int id) const {
  const EditField* e = findEdit(id);
  return e ? e->window : nullptr;
}

std::wstring Surface::getEditText(int id) const {
  const EditField* e = findEdit(id);
  if (!e) return std::wstring();
  if (!e->window) return e->text;
  const int length = GetWindowTextLengthW(e->window);
  if (length <= 0) return std::wstring();
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(e->window, text.data(), length + 1);
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}

void Surface::setEditText(int id, const std::wstring& text) {
  EditField* e = findEdit(id);
  if (!e) return;
  if (e->window) {
    SetWindowTextW(e->window, text.c_str());
    showTextEnd(*e);
  } else {
    e->text = text;
  }
}

void Surface::setEditLabel(int id, const std::wstring& label) {
  if (EditField* e = findEdit(id)) e->label = label;
}

void Surface::paintControls(HDC dc) {
  const bool mark = focusCuesShown() && GetFocus() == window_;
  for (const Control& c : controls_) {
    paintControl(dc, c, fonts_, dpi_);
    if (mark && c.id == focusId_ && isFocusable(c.id)) paintFocusMark(dc, c, dpi_);
  }
}

void Surface::paintEditFrames(HDC dc) {
  for (const EditField& e : edits_) {
    if (e.visible)
      paintFieldFrame(dc, e.frame, dpi_, e.id == focusedEditId_ && !quietEditFocus_);
  }
}

void Surface::onClick(int) {}
void Surface::onCommand(int, int) {}
bool Surface::handleMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }
void Surface::onWheel(int, POINT) {}
void Surface::onBackgroundDown(POINT) {}
void Surface::onMouseMove(POINT) {}
bool Surface::wantsHandCursor(POINT) { return false; }
void Surface::onDestroyed() {}
std::wstring Surface::actionName(ControlKind, bool) const { return std::wstring(); }

LRESULT CALLBACK surfaceWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* surface = static_cast<Surface*>(create->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(surface));
    if (surface) surface->window_ = window;
  }
  auto* surface = reinterpret_cast<Surface*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!surface) return DefWindowProcW(window, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    LRESULT result = DefWindowProcW(window, msg, wParam, lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    surface->disconnectAccessible();
    surface->window_ = nullptr;
    surface->pipeline_.finish();  // it paints with the theme
    surface->letGoOfTheme();
    // A window that failed while being created belongs to create()'s caller;
    // otherwise this may delete the surface: nothing touches it after.
    if (!surface->creating_) surface->onDestroyed();
    return result;
  }
  return surface->memberProc(msg, wParam, lParam);
}

LRESULT Surface::memberProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (handleMessage(msg, wParam, lParam, result)) return result;
  switch (msg) {
    case WM_PAINT:
      bufferedPaint();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_CLOSE:
      DestroyWindow(window_);
      return 0;
    case WM_SIZE:
      layout();
      invalidate();
      return 0;
    case WM_DPICHANGED:
      onDpiChanged(wParam, lParam);
      return 0;
    case WM_DISPLAYCHANGE:
      refit();  // another resolution
      break;
    case WM_SETTINGCHANGE:
      if (wParam == SPI_SETWORKAREA) refit();  // the taskbar moved or grew
      break;
    case WM_SETCURSOR:
      if (onSetCursor(wParam, lParam)) return TRUE;
      break;
    case WM_COMMAND:
      onCommandMessage(wParam, lParam);
      return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      HDC child = reinterpret_cast<HDC>(wParam);
      SetTextColor(child, kColorLightText);
      SetBkColor(child, kColorField);
      return reinterpret_cast<LRESULT>(fieldBrush());
    }
    case WM_MOUSEMOVE:
      onMouseMoveMessage(contentPoint(lParam));
      return 0;
    case WM_MOUSELEAVE:
      onMouseLeave();
      return 0;
    case WM_LBUTTONDOWN:
      onButtonDown(contentPoint(lParam));
      return 0;
    case WM_LBUTTONUP:
      onButtonUp(contentPoint(lParam));
      return 0;
    case WM_VSCROLL:
      onScrollBar(LOWORD(wParam));
      return 0;
    case WM_CAPTURECHANGED:
      if (pressedId_ != 0 && reinterpret_cast<HWND>(lParam) != window_) {
        if (Control* c = findControl(pressedId_)) c->pressed = false;
        pressedId_ = 0;
        invalidate();
      }
      break;
    case WM_KEYDOWN:
      if (handleKey(static_cast<UINT>(wParam))) return 0;  // the window may be gone
      break;
    case kActivateMessage:
      activate(static_cast<int>(wParam));  // the window may be gone
      return 0;
    case WM_SETFOCUS:
      onSetFocus();
      return 0;
    case WM_KILLFOCUS:
      invalidate();  // the focus mark goes with the focus
      break;
    case WM_UPDATEUISTATE:
      onUpdateUiState(LOWORD(wParam), HIWORD(wParam));
      break;  // and on to the EDITs
    case WM_PARENTNOTIFY:
      if (LOWORD(wParam) == WM_LBUTTONDOWN && quietEditFocus_) {
        quietEditFocus_ = false;  // the user clicked into the field
        invalidate();
      }
      break;
    case WM_GETOBJECT:
      if (LRESULT answer = onGetObject(wParam, lParam)) return answer;
      break;
    case WM_MOUSEWHEEL: {
      POINT point = pointFromLParam(lParam);
      ScreenToClient(window_, &point);
      point.y += scrollY_;
      scrollTo(scrollY_ - MulDiv(GET_WHEEL_DELTA_WPARAM(wParam), scale(kScrollLineDip), WHEEL_DELTA));
      onWheel(GET_WHEEL_DELTA_WPARAM(wParam), point);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(window_, msg, wParam, lParam);
}

void Surface::bufferedPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  RECT client;
  GetClientRect(window_, &client);
  // The whole content is painted; the part scrolled to is shown.
  client.bottom = std::max(client.bottom, static_cast<LONG>(contentHeight_));
  pipeline_.paint(dc, client, dpi_, firstLayer(), scrollY_);
  EndPaint(window_, &ps);
}

void Surface::paintOver(HDC dc, const RECT& clientRect, int layerOnBackdrop) {
  layerOnBackdrop_ = layerOnBackdrop;
  paintNotingTexts(dc, clientRect);
}

Control* Surface::hitTest(POINT point) {
  for (Control& c : controls_) {
    if (c.visible && c.enabled && contains(c.rect, point)) return &c;
  }
  return nullptr;
}

void Surface::onMouseMoveMessage(POINT point) {
  if (!tracking_) {
    TRACKMOUSEEVENT track = {};
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = window_;
    TrackMouseEvent(&track);
    tracking_ = true;
  }
  bool changed = false;
  for (Control& c : controls_) {
    const bool hover = c.visible && c.enabled && contains(c.rect, point) &&
                       (pressedId_ == 0 || pressedId_ == c.id);
    if (hover != c.hover) {
      c.hover = hover;
      changed = true;
    }
  }
  if (changed) invalidate();
  onMouseMove(point);
}

void Surface::onMouseLeave() {
  tracking_ = false;
  bool changed = false;
  for (Control& c : controls_) {
    if (c.hover) changed = true;
    c.hover = false;
  }
  if (changed) invalidate();
  onMouseMove(kPointerGone);
}

void Surface::onButtonDown(POINT point) {
  Control* c = hitTest(point);
  const int before = focusId_;
  const bool hadFocus = GetFocus() == window_;
  if (c && isFocusable(c->id)) {
    focusId_ = c->id;  // a click focuses the control, as with Windows' buttons
  } else if (isEdit(focusId_)) {
    focusId_ = 0;  // the focus leaves the field for the window
  }
  SetFocus(window_);
  if (hadFocus && focusId_ != before) notifyFocus();
  if (!c) {
    onBackgroundDown(point);
    return;
  }
  pressedId_ = c->id;
  c->pressed = true;
  SetCapture(window_);
  invalidate();
}

void Surface::onButtonUp(POINT point) {
  if (pressedId_ == 0) return;
  const int id = pressedId_;
  pressedId_ = 0;
  ReleaseCapture();
  Control* c = findControl(id);
  if (c) c->pressed = false;
  const bool click = c && c->visible && c->enabled && contains(c->rect, point);
  invalidate();
  if (click) onClick(id);
}

bool Surface::onSetCursor(WPARAM wParam, LPARAM lParam) {
  if (LOWORD(lParam) != HTCLIENT || reinterpret_cast<HWND>(wParam) != window_) return false;
  POINT point;
  GetCursorPos(&point);
  ScreenToClient(window_, &point);
  point.y += scrollY_;
  bool hand = wantsHandCursor(point);
  if (hitTest(point)) hand = true;
  SetCursor(LoadCursorW(nullptr, hand ? IDC_HAND : IDC_ARROW));
  return true;
}

// The suggested rectangle is the window's size at the new DPI, which may
// not fit the new monitor: the window fits itself there, as near to the
// suggested place as that monitor's work area lets it.
void Surface::onDpiChanged(WPARAM wParam, LPARAM lParam) {
  monitorDpi_ = HIWORD(wParam);
  const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
  RECT place = {};
  if (suggested) {
    place = *suggested;
  } else {
    GetWindowRect(window_, &place);
  }
  const POINT wanted = {place.left, place.top};
  applyFit(fitOn(MonitorFromRect(&place, MONITOR_DEFAULTTONEAREST), monitorDpi_, &wanted));
}

void Surface::onScrollBar(int request) {
  RECT client = {};
  GetClientRect(window_, &client);
  SCROLLINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = SIF_TRACKPOS;
  GetScrollInfo(window_, SB_VERT, &info);
  const int line = scale(kScrollLineDip);
  switch (request) {
    case SB_LINEUP: scrollTo(scrollY_ - line); break;
    case SB_LINEDOWN: scrollTo(scrollY_ + line); break;
    case SB_PAGEUP: scrollTo(scrollY_ - client.bottom); break;
    case SB_PAGEDOWN: scrollTo(scrollY_ + client.bottom); break;
    case SB_TOP: scrollTo(0); break;
    case SB_BOTTOM: scrollTo(contentHeight_); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: scrollTo(info.nTrackPos); break;
    default: break;
  }
}

void Surface::onCommandMessage(WPARAM wParam, LPARAM lParam) {
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  if (lParam != 0) {
    if (code == EN_SETFOCUS) {
      focusedEditId_ = id;
      focusId_ = id;
      quietEditFocus_ = false;
      invalidate();
    } else if (code == EN_KILLFOCUS) {
      if (focusedEditId_ == id) focusedEditId_ = 0;
      invalidate();
    } else if (code == EN_CHANGE) {
      if (EditField* e = findEdit(id)) showTextEnd(*e);  // what is typed is the tooltip
    }
  }
  onCommand(id, code);
}

bool forwardFieldKey(HWND window, const MSG& msg) {
  if (msg.message != WM_KEYDOWN || msg.hwnd == window || !IsChild(window, msg.hwnd)) return false;
  if (msg.wParam != VK_TAB && msg.wParam != VK_RETURN) return false;
  SendMessageW(window, WM_KEYDOWN, msg.wParam, msg.lParam);
  return true;
}

}  // namespace gui
