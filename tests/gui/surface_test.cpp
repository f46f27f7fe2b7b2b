#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/scoped_handle.h"
#include "gui/paint.h"
#include "gui/scoped_gdi.h"
#include "gui/surface.h"
#include "tests/gui/gui_test_util.h"

using namespace gui;

namespace {

// A surface that records what the base hands to the concrete window.
class ProbeSurface : public Surface {
 public:
  std::vector<int> clicks;
  std::vector<POINT> moves;
  int layouts = 0;
  int backgroundDowns = 0;
  bool destroyed = false;
  struct Label {
    RECT box;
    UINT flags;
    std::wstring text;
  };
  std::vector<Label> labels;  // drawn in the body font

 protected:
  void layout() override { ++layouts; }
  void paint(HDC dc, const RECT& clientRect) override {
    paintBackground(dc, clientRect);
    paintControls(dc);
    paintEditFrames(dc);
    for (const Label& l : labels) drawLabel(dc, fonts()[kFontBody], 0, l.box, l.text, l.flags);
  }
  void onClick(int id) override { clicks.push_back(id); }
  void onMouseMove(POINT p) override { moves.push_back(p); }
  void onBackgroundDown(POINT) override { ++backgroundDowns; }
  void onDestroyed() override { destroyed = true; }
};

LPARAM at(int x, int y) { return MAKELPARAM(x, y); }

HWND tooltipOf(HWND owner);

class SurfaceTest : public ::testing::Test {
 protected:
  guitest::ScopedTheme theme;
  ProbeSurface surface;

  void SetUp() override {
    ASSERT_TRUE(surface.create(guitest::surfaceClass(), L"probe", 400, 300, nullptr));
    HWND w = surface.hwnd();
    ASSERT_NE(w, nullptr);
    surface.addControl(1, ControlKind::Button, L"one", L"");
    surface.addControl(2, ControlKind::Button, L"two", L"");
    surface.addControl(3, ControlKind::CheckBox, L"three", L"");
    surface.placeControl(1, 10, 10, 100, 40);
    surface.placeControl(2, 60, 10, 100, 40);  // overlaps the first
    surface.placeControl(3, 10, 100, 100, 40);
  }
  void TearDown() override {
    if (surface.hwnd()) DestroyWindow(surface.hwnd());
  }
  LRESULT send(UINT msg, WPARAM w, LPARAM l) { return SendMessageW(surface.hwnd(), msg, w, l); }
  bool hover(int id) { return surface.findControl(id)->hover; }
  // Windows scale DIPs to the surface's DPI; these tests place at 96.
  int px(int dip) { return surface.scale(dip); }
  // What Windows sends when the window moves to a monitor of another DPI.
  void changeDpi(UINT dpi) {
    RECT window;
    GetWindowRect(surface.hwnd(), &window);
    const SIZE outer = outerSizeForClient(MulDiv(400, static_cast<int>(dpi), 96),
                                          MulDiv(300, static_cast<int>(dpi), 96), dpi,
                                          WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, WS_EX_APPWINDOW);
    RECT suggested = {window.left, window.top, window.left + outer.cx, window.top + outer.cy};
    send(WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  }
};

TEST_F(SurfaceTest, EarlierOfOverlappingControlsGetsThePress) {
  send(WM_LBUTTONDOWN, MK_LBUTTON, at(px(80), px(20)));
  EXPECT_EQ(surface.pressedId(), 1);
  EXPECT_TRUE(surface.findControl(1)->pressed);
  EXPECT_FALSE(surface.findControl(2)->pressed);
  send(WM_LBUTTONUP, 0, at(px(80), px(20)));
  EXPECT_EQ(surface.pressedId(), 0);
  EXPECT_FALSE(surface.findControl(1)->pressed);
  EXPECT_EQ(surface.clicks, std::vector<int>{1});
}

TEST_F(SurfaceTest, ReleasingOffTheControlCancelsTheClickAndComingBackRestoresIt) {
  send(WM_LBUTTONDOWN, MK_LBUTTON, at(px(20), px(120)));
  send(WM_MOUSEMOVE, MK_LBUTTON, at(px(300), px(250)));
  EXPECT_FALSE(hover(3));
  send(WM_LBUTTONUP, 0, at(px(300), px(250)));
  EXPECT_TRUE(surface.clicks.empty());
  EXPECT_FALSE(surface.findControl(3)->pressed);

  send(WM_LBUTTONDOWN, MK_LBUTTON, at(px(20), px(120)));
  send(WM_MOUSEMOVE, MK_LBUTTON, at(px(300), px(250)));
  send(WM_MOUSEMOVE, MK_LBUTTON, at(px(30), px(120)));
  EXPECT_TRUE(hover(3));
  send(WM_LBUTTONUP, 0, at(px(30), px(120)));
  EXPECT_EQ(surface.clicks, std::vector<int>{3});
}

TEST_F(SurfaceTest, NoOtherControlLightsUpWhileOneIsPressed) {
  send(WM_LBUTTONDOWN, MK_LBUTTON, at(px(20), px(120)));
  send(WM_MOUSEMOVE, MK_LBUTTON, at(px(150), px(20)));  // over control 2 only
  EXPECT_FALSE(hover(2));
  EXPECT_FALSE(hover(3));
  send(WM_LBUTTONUP, 0, at(px(150), px(20)));
  EXPECT_TRUE(surface.clicks.empty());
  send(WM_MOUSEMOVE, 0, at(px(150), px(20)));
  EXPECT_TRUE(hover(2));  // once released, hover works again
}

TEST_F(SurfaceTest, HidingOrDisablingAHoveredControlClearsItsHover) {
  send(WM_MOUSEMOVE, 0, at(px(20), px(120)));
  ASSERT_TRUE(hover(3));
  surface.setVisible(3, false);
  EXPECT_FALSE(hover(3));
  surface.setVisible(3, true);
  send(WM_MOUSEMOVE, 0, at(px(22), px(120)));
  ASSERT_TRUE(hover(3));
  surface.setEnabled(3, false);
  EXPECT_FALSE(hover(3));
  // Disabled and hidden controls neither light up nor take the press.
  send(WM_MOUSEMOVE, 0, at(px(20), px(121)));
  EXPECT_FALSE(hover(3));
  send(WM_LBUTTONDOWN, MK_LBUTTON, at(px(20), px(120)));
  EXPECT_EQ(surface.pressedId(), 0);
  EXPECT_EQ(surface.backgroundDowns, 1);
}

TEST_F(SurfaceTest, LeavingClearsHoverAndReportsThePointerGone) {
  send(WM_MOUSEMOVE, 0, at(px(20), px(20)));
  ASSERT_TRUE(hover(1));
  send(WM_MOUSELEAVE, 0, 0);
  EXPECT_FALSE(hover(1));
  ASSERT_FALSE(surface.moves.empty());
  EXPECT_EQ(surface.moves.back().x, kPointerGone.x);
  EXPECT_EQ(surface.moves.back().y, kPointerGone.y);
}

TEST_F(SurfaceTest, UnknownIdsDoNothing) {
  const std::vector<Control> before(surface.controls().begin(), surface.controls().end());
  surface.setVisible(99, false);
  surface.setEnabled(99, false);
  surface.setChecked(99, true);
  surface.setTexts(99, L"x", L"y");
  surface.placeControl(99, 0, 0, 5, 5);
  surface.placeEdit(99, 0, 0, 5, 5);
  surface.showEdit(99, false);
  surface.setEditText(99, L"text");
  EXPECT_EQ(surface.findControl(99), nullptr);
  EXPECT_EQ(surface.findControl(0), nullptr);
  EXPECT_EQ(surface.editWindow(99), nullptr);
  EXPECT_EQ(surface.getEditText(99), L"");
  ASSERT_EQ(surface.controls().size(), before.size());
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(surface.controls()[i].visible, before[i].visible);
    EXPECT_EQ(surface.controls()[i].text, before[i].text);
  }
}

TEST_F(SurfaceTest, EditsKeepTextFocusAndTheirColours) {
  HWND edit = surface.addEdit(52, 0, 5);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(surface.editWindow(52), edit);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0)),
            surface.fonts()[kFontBody]);
  surface.setEditText(52, L"C:\\Games");
  EXPECT_EQ(surface.getEditText(52), L"C:\\Games");
  // The limit holds typed text to maxChars.
  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
  for (wchar_t ch : std::wstring(L"abcdefgh")) SendMessageW(edit, WM_CHAR, ch, 0);
  EXPECT_EQ(surface.getEditText(52), L"abcde");

  surface.placeEdit(52, 20, 200, 200, 34);
  RECT r;
  GetWindowRect(edit, &r);
  MapWindowPoints(nullptr, surface.hwnd(), reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, px(20) + px(10));
  EXPECT_EQ(r.right - r.left, px(200) - 2 * px(10));
  EXPECT_NEAR((r.top + r.bottom) / 2.0, (px(200) + px(234)) / 2.0, 1.5);

  send(WM_COMMAND, MAKEWPARAM(52, EN_SETFOCUS), reinterpret_cast<LPARAM>(edit));
  EXPECT_EQ(surface.focusedEditId(), 52);
  send(WM_COMMAND, MAKEWPARAM(53, EN_KILLFOCUS), reinterpret_cast<LPARAM>(edit));
  EXPECT_EQ(surface.focusedEditId(), 52);  // another id's focus loss changes nothing
  send(WM_COMMAND, MAKEWPARAM(52, EN_KILLFOCUS), reinterpret_cast<LPARAM>(edit));
  EXPECT_EQ(surface.focusedEditId(), 0);

  HDC dc = GetDC(edit);
  EXPECT_EQ(reinterpret_cast<HBRUSH>(send(WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                                          reinterpret_cast<LPARAM>(edit))),
            fieldBrush());
  EXPECT_EQ(GetTextColor(dc), kColorLightText);
  EXPECT_EQ(GetBkColor(dc), kColorField);
  ReleaseDC(edit, dc);
}

// A field of a page not shown yet has no window; it keeps its text and its
// place, and gets both with its window when it is first shown.
TEST_F(SurfaceTest, AHiddenFieldGetsItsWindowWhenFirstShown) {
  EXPECT_EQ(surface.addEdit(53, 0, 5, false), nullptr);
  surface.setEditText(53, L"C:\\Games");
  surface.placeEdit(53, 20, 200, 200, 34);
  EXPECT_EQ(surface.editWindow(53), nullptr);
  EXPECT_EQ(surface.getEditText(53), L"C:\\Games");
  const std::vector<int> stops = surface.tabStops();
  EXPECT_EQ(std::count(stops.begin(), stops.end(), 53), 0);

  surface.showEdit(53, true);
  HWND edit = surface.editWindow(53);
  ASSERT_NE(edit, nullptr);
  EXPECT_TRUE(GetWindowLongW(edit, GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(surface.getEditText(53), L"C:\\Games");
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0)),
            surface.fonts()[kFontBody]);
  RECT r;
  GetWindowRect(edit, &r);
  MapWindowPoints(nullptr, surface.hwnd(), reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, px(20) + px(10));
  surface.showEdit(53, false);
  EXPECT_EQ(surface.editWindow(53), edit);  // hidden again, not remade
}

// A real window larger than the screen: laid out at a smaller DPI that fits
// the work area or, too large even at the floor, scrolled; always inside
// the work area, and a click reaches the control under the pointer.
TEST(SurfaceFitTest, AWindowTooLargeForTheScreenShrinksOrScrollsInsideTheWorkArea) {
  guitest::ScopedTheme theme;
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int workW = work.right - work.left, workH = work.bottom - work.top;
  const UINT systemDpi = windowDpi(nullptr);
  const struct {
    SIZE dip;
    bool shrinks;
    bool scrolls;
  } cases[] = {
      {{MulDiv(workW, 96, static_cast<int>(systemDpi)) / 2, 300}, false, false},
      {{MulDiv(workW, 96, static_cast<int>(systemDpi)) + 200, 300}, true, false},
      {{400, MulDiv(workH, 96, static_cast<int>(kMinLayoutDpi)) + 400}, true, true},
  };
  for (const auto& c : cases) {
    const std::string where = std::to_string(c.dip.cx) + "x" + std::to_string(c.dip.cy);
    ProbeSurface surface;
    ASSERT_TRUE(surface.create(guitest::surfaceClass(), L"probe", c.dip.cx, c.dip.cy, nullptr));
    EXPECT_EQ(surface.dpi() < systemDpi, c.shrinks) << where;
    EXPECT_GE(surface.dpi(), std::min(systemDpi, kMinLayoutDpi)) << where;
    RECT outer;
    GetWindowRect(surface.hwnd(), &outer);
    RECT inside;
    IntersectRect(&inside, &outer, &work);
    EXPECT_TRUE(EqualRect(&inside, &outer)) << where << ": the window leaves the work area";
    const bool bar = (GetWindowLongPtrW(surface.hwnd(), GWL_STYLE) & WS_VSCROLL) != 0;
    EXPECT_EQ(bar, c.scrolls) << where;
    if (c.scrolls) {
      // A button at the content's bottom, out of sight until scrolled to.
      surface.addControl(7, ControlKind::Button, L"end", L"");
      surface.placeControl(7, 10, c.dip.cy - 50, 100, 40);
      RECT client;
      GetClientRect(surface.hwnd(), &client);
      SendMessageW(surface.hwnd(), WM_VSCROLL, SB_BOTTOM, 0);
      EXPECT_EQ(surface.scrollOffset(), surface.contentHeight() - client.bottom) << where;
      const RECT button = surface.findControl(7)->rect;
      const LPARAM point = at(button.left + 5, button.top + 5 - surface.scrollOffset());
      SendMessageW(surface.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, point);
      SendMessageW(surface.hwnd(), WM_LBUTTONUP, 0, point);
      EXPECT_EQ(surface.clicks, std::vector<int>{7}) << where;
      SendMessageW(surface.hwnd(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA),
                   at(outer.left + 20, outer.top + 60));
      EXPECT_LT(surface.scrollOffset(), surface.contentHeight() - client.bottom) << where;
      // The keyboard's focus brings its control into sight.
      SendMessageW(surface.hwnd(), WM_VSCROLL, SB_TOP, 0);
      ASSERT_EQ(surface.scrollOffset(), 0) << where;
      surface.focusItem(7);
      EXPECT_GE(surface.scrollOffset() + client.bottom, surface.findControl(7)->rect.bottom) << where;
    }
    DestroyWindow(surface.hwnd());
  }
}

// A folder path longer than its field shows its end, which names the folder,
// and is whole in the field's tooltip; one that fits shows whole with none.
TEST_F(SurfaceTest, AFieldShowsTheEndOfALongPathAndTheWholePathAsItsTooltip) {
  HWND edit = surface.addEdit(52, 0, 260);
  const std::wstring longPath =
      L"C:\\Games\\World of Warcraft Forever Edition\\Installed Copy\\_forever_";
  const struct {
    std::wstring text;
    bool cut;
    int widthDip;
  } cases[] = {{longPath, true, 200}, {L"C:\\WoW", false, 200}, {longPath, true, 200},
               {longPath, false, 1000}};  // the field grew: the whole path from its start
  for (const auto& c : cases) {
    surface.setEditText(52, c.text);
    surface.placeEdit(52, 20, 200, c.widthDip, 36);
    const auto last = static_cast<WPARAM>(c.text.size() - 1);
    const LRESULT lastAt = SendMessageW(edit, EM_POSFROMCHAR, last, 0);
    RECT field;
    GetClientRect(edit, &field);
    const std::string where = std::to_string(c.text.size()) + " in " + std::to_string(c.widthDip);
    EXPECT_GE(static_cast<short>(LOWORD(lastAt)), 0) << where;
    EXPECT_LT(static_cast<short>(LOWORD(lastAt)), field.right) << where << ": the end is hidden";
    EXPECT_EQ(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0) > 0, c.cut) << where;
    EXPECT_EQ(surface.editTip(52), c.cut ? c.text : std::wstring()) << where;
    HWND tip = tooltipOf(surface.hwnd());
    wchar_t text[300] = {};
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.hwnd = surface.hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(edit);
    tool.lpszText = text;
    const bool tipped = tip && SendMessageW(tip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool));
    EXPECT_EQ(tipped, c.cut) << where;
    if (tipped) {
      SendMessageW(tip, TTM_GETTEXTW, 300, reinterpret_cast<LPARAM>(&tool));
      EXPECT_EQ(std::wstring(text), c.text);
    }
  }
}

TEST_F(SurfaceTest, PlacementScalesFromSumsAndDpiChangeRebuildsEverything) {
  HWND edit = surface.addEdit(52, 0, 260);
  HFONT oldBody = surface.fonts()[kFontBody];
  const int layoutsBefore = surface.layouts;
  changeDpi(144);
  EXPECT_EQ(surface.dpi(), 144u);
  EXPECT_GT(surface.layouts, layoutsBefore);
  HFONT body = surface.fonts()[kFontBody];
  EXPECT_NE(body, oldBody);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0)), body);
  LOGFONTW lf = {};
  ASSERT_TRUE(GetObjectW(body, sizeof lf, &lf));
  EXPECT_EQ(lf.lfHeight, -24);  // 16 DIPs at 144 DPI

  surface.placeControl(1, 10, 10, 33, 33);
  const RECT r = surface.findControl(1)->rect;
  EXPECT_EQ(r.left, 15);
  EXPECT_EQ(r.right, 65);  // MulDiv(43, 144, 96) = 64.5 rounds to 65; 15 + 50 would be 65 too
  surface.placeControl(1, 1, 1, 1, 1);
  EXPECT_EQ(surface.findControl(1)->rect.right, 3);  // sum 2 -> 3; 2 + 2 would be 4
}

// An EDIT takes its font's default margins with every new font; the frame
// already insets the text, so the margins must stay zero.
TEST_F(SurfaceTest, EditMarginsStayZeroAcrossDpiChanges) {
  HWND edit = surface.addEdit(52, 0, 260);
  EXPECT_EQ(SendMessageW(edit, EM_GETMARGINS, 0, 0), 0) << "at creation";
  for (UINT dpi : {144u, 96u}) {
    surface.placeEdit(52, 20, 200, 280, 36);  // font margins apply only to a field wide enough
    changeDpi(dpi);
    EXPECT_EQ(SendMessageW(edit, EM_GETMARGINS, 0, 0), 0) << "after the move to " << dpi << " DPI";
  }
}

TEST_F(SurfaceTest, ClientAreaIsTheScaledDipSize) {
  surface.setClientSize(900, 640, true);
  RECT client;
  GetClientRect(surface.hwnd(), &client);
  EXPECT_EQ(client.right, px(900));
  EXPECT_EQ(client.bottom, px(640));

  // Sizing again without centring keeps the position.
  RECT before, after;
  GetWindowRect(surface.hwnd(), &before);
  surface.setClientSize(500, 400, false);
  GetWindowRect(surface.hwnd(), &after);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  GetClientRect(surface.hwnd(), &client);
  EXPECT_EQ(client.right, px(500));
  EXPECT_EQ(client.bottom, px(400));
}

TEST_F(SurfaceTest, WindowIsCentredOnTheWorkArea) {
  surface.setClientSize(300, 200, true);
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromWindow(surface.hwnd(), MONITOR_DEFAULTTONEAREST), &info);
  RECT w;
  GetWindowRect(surface.hwnd(), &w);
  EXPECT_NEAR((w.left + w.right) / 2.0, (info.rcWork.left + info.rcWork.right) / 2.0, 1.0);
  EXPECT_NEAR((w.top + w.bottom) / 2.0, (info.rcWork.top + info.rcWork.bottom) / 2.0, 1.0);
  // Taller than the work area: the top edge stays on screen.
  surface.setClientSize(300, 5000, true);
  GetWindowRect(surface.hwnd(), &w);
  EXPECT_EQ(w.top, info.rcWork.top);
}

TEST_F(SurfaceTest, CursorIsAHandOverEnabledControls) {
  ShowWindow(surface.hwnd(), SW_SHOWNOACTIVATE);
  RECT client;
  GetClientRect(surface.hwnd(), &client);
  POINT inside = {px(20), px(20)};
  ClientToScreen(surface.hwnd(), &inside);
  if (!SetCursorPos(inside.x, inside.y)) GTEST_SKIP() << "the pointer cannot be moved here";
  EXPECT_EQ(send(WM_SETCURSOR, reinterpret_cast<WPARAM>(surface.hwnd()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
            TRUE);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
  surface.setEnabled(1, false);
  send(WM_SETCURSOR, reinterpret_cast<WPARAM>(surface.hwnd()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
}

HWND tooltipOf(HWND owner) {
  HWND tip = nullptr;
  while ((tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) != nullptr) {
    if (GetWindow(tip, GW_OWNER) == owner) return tip;
  }
  return nullptr;
}

// Only a text the paint could not show whole is offered whole, as a tooltip
// over its box.
TEST_F(SurfaceTest, TextsNotShownWholeBecomeTooltips) {
  const std::wstring longText = L"a text far too long for the box it is given";
  const UINT oneLine = DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS;
  const UINT wrapped = DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS;
  const struct {
    RECT box;
    UINT flags;
    bool whole;
  } cases[] = {
      {{px(10), px(200), px(390), px(230)}, oneLine, true},
      {{px(10), px(200), px(60), px(230)}, oneLine, false},   // too narrow
      {{px(10), px(200), px(390), px(204)}, oneLine, false},  // too low
      {{px(10), px(200), px(200), px(290)}, wrapped, true},
      {{px(10), px(200), px(200), px(222)}, wrapped, false},  // room for one line of two
  };
  ShowWindow(surface.hwnd(), SW_SHOWNOACTIVATE);
  for (const auto& c : cases) {
    surface.labels = {{c.box, c.flags, longText}};
    surface.invalidate();
    UpdateWindow(surface.hwnd());
    ASSERT_FALSE(surface.drawnTexts().empty());
    EXPECT_EQ(surface.drawnTexts().back().text, longText);
    const std::vector<CutText>& cut = surface.cutTexts();
    ASSERT_EQ(cut.size(), c.whole ? 0u : 1u) << c.box.right << " x " << c.box.bottom;
    HWND tip = tooltipOf(surface.hwnd());
    if (c.whole) {
      EXPECT_TRUE(!tip || SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0) == 0);
      continue;
    }
    EXPECT_EQ(cut[0].text, longText);
    EXPECT_TRUE(EqualRect(&cut[0].box, &c.box));
    ASSERT_NE(tip, nullptr);
    ASSERT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
    wchar_t text[128] = {};
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.lpszText = text;
    ASSERT_TRUE(SendMessageW(tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool)));
    EXPECT_EQ(std::wstring(text), longText);
    EXPECT_TRUE(EqualRect(&tool.rect, &c.box));
  }
}

TEST_F(SurfaceTest, PaintingAndClosingReleaseTheWindow) {
  ShowWindow(surface.hwnd(), SW_SHOWNOACTIVATE);
  UpdateWindow(surface.hwnd());  // the first paint keeps its backdrop for the next ones
  const int gdiBefore = guitest::liveGdiObjects();
  for (int i = 0; i < 5; ++i) {
    surface.invalidate();
    UpdateWindow(surface.hwnd());
  }
  EXPECT_EQ(guitest::liveGdiObjects(), gdiBefore);
  send(WM_CLOSE, 0, 0);
  EXPECT_EQ(surface.hwnd(), nullptr);
  EXPECT_TRUE(surface.destroyed);
}

// The first backdrop is painted on a thread of its own while the window is
// being made; a window may close, or change its DPI, before that is done.
TEST(SurfaceLifeTest, WindowsClosedBeforeTheirFirstPaintLeaveNothingBehind) {
  // A backdrop slow enough to be still painting when the window closes.
  class SlowBackdrop : public ProbeSurface {
    void paintBackdrop(HDC dc, const RECT& clientRect) override {
      Sleep(20);
      paintBackground(dc, clientRect);
    }
  };
  guitest::ScopedTheme theme;
  const auto openAndClose = [](int round) {
    SlowBackdrop s;
    ASSERT_TRUE(s.create(guitest::surfaceClass(), L"probe", 400, 300, nullptr));
    if (round % 2) {
      RECT suggested = {0, 0, 700, 500};
      SendMessageW(s.hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                   reinterpret_cast<LPARAM>(&suggested));
    }
    if (round % 3) DestroyWindow(s.hwnd());  // else the surface's destructor does
  };
  openAndClose(0);  // the first window's one-time costs stay outside the counts
  const int gdiBefore = guitest::liveGdiObjects();
  const int threadsBefore = guitest::liveThreads();
  for (int round = 0; round < 12; ++round) openAndClose(round);
  EXPECT_EQ(guitest::liveGdiObjects(), gdiBefore);
  EXPECT_LE(guitest::liveThreads(), threadsBefore);
}

// The first paint may find its page's layer already painted on the backdrop
// by the backdrop's thread; whichever thread paints it, the window looks
// the same, and a layer that no longer fits the page is not used.
TEST(SurfaceLifeTest, TheFirstLayerIsPaintedOnceWhereverItIsPainted) {
  constexpr COLORREF kBackdrop = RGB(20, 40, 60), kDrawn = RGB(200, 10, 10);
  const COLORREF kLayer[] = {0, RGB(10, 200, 10), RGB(10, 10, 200)};
  const RECT kLayerBox[] = {{}, {10, 10, 60, 60}, {100, 10, 150, 60}};
  class Layered : public Surface {
   public:
    int page = 1;
    std::atomic<bool> slowBackdrop{false};
    std::atomic<int> threadLayers{0};
    int paintedLayers = 0;
    ScopedHandle layerDone{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    const COLORREF* colours;
    const RECT* boxes;
    void fill(HDC dc, const RECT& box, COLORREF colour) {
      ScopedGdiObject brush(CreateSolidBrush(colour));
      FillRect(dc, &box, static_cast<HBRUSH>(brush.get()));
    }

   protected:
    void layout() override {}
    void paintBackdrop(HDC dc, const RECT& client) override {
      if (slowBackdrop) Sleep(200);  // the first paint comes first
      fill(dc, client, kBackdrop);
    }
    int firstLayer() const override { return page; }
    void paintFirstLayer(HDC dc, int layer) override {
      fill(dc, boxes[layer], colours[layer]);
      ++threadLayers;
      SetEvent(layerDone);
    }
    void paint(HDC dc, const RECT&) override {
      if (layerOnBackdrop() != page) {
        fill(dc, boxes[page], colours[page]);
        ++paintedLayers;
      }
      fill(dc, {200, 10, 250, 60}, kDrawn);
    }
  };
  struct Case {
    const char* what;
    bool slowBackdrop;
    int pageAtFirstPaint;
    int threadLayers, paintedLayers;  // by the first paint
  } const cases[] = {
      {"the layer is ready before the first paint", false, 1, 1, 0},
      {"the first paint waits for the backdrop", true, 1, 0, 1},
      {"the page changed before the first paint", false, 2, 1, 1},
  };
  guitest::ScopedTheme theme;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Layered s;
    s.colours = kLayer;
    s.boxes = kLayerBox;
    s.slowBackdrop = c.slowBackdrop;
    ASSERT_TRUE(s.create(guitest::surfaceClass(), L"layered", 300, 100, nullptr));
    if (!c.slowBackdrop) {
      ASSERT_EQ(WaitForSingleObject(s.layerDone, 5000), WAIT_OBJECT_0);
    }
    s.page = c.pageAtFirstPaint;
    ShowWindow(s.hwnd(), SW_SHOWNOACTIVATE);
    UpdateWindow(s.hwnd());
    EXPECT_EQ(s.threadLayers, c.threadLayers);
    EXPECT_EQ(s.paintedLayers, c.paintedLayers);
    guitest::Bitmap32 shot(300, 100, RGB(255, 0, 255));
    HDC dc = GetDC(s.hwnd());
    BitBlt(shot.dc(), 0, 0, 300, 100, dc, 0, 0, SRCCOPY);
    ReleaseDC(s.hwnd(), dc);
    const int page = c.pageAtFirstPaint, other = 3 - page;
    EXPECT_EQ(shot.at(kLayerBox[page].left + 20, 30), kLayer[page]);
    EXPECT_EQ(shot.at(kLayerBox[other].left + 20, 30), kBackdrop);
    EXPECT_EQ(shot.at(220, 30), kDrawn);
    s.invalidate();
    UpdateWindow(s.hwnd());  // later paints draw the layer themselves
    EXPECT_EQ(s.paintedLayers, c.paintedLayers + 1);
    DestroyWindow(s.hwnd());
  }
}

}  // namespace

namespace {

// A program idle in the notification area holds no drawing resources: the
// first window makes them, and a little after the last one closed they go.
TEST(SurfaceTheme, WindowsHoldTheThemeOnlyWhileTheyExist) {
  setThemeInstance(GetModuleHandleW(nullptr));
  ASSERT_EQ(fieldBrush(), nullptr);
  ProbeSurface first, second;
  ASSERT_TRUE(first.create(guitest::surfaceClass(), L"first", 200, 100, nullptr));
  EXPECT_NE(fieldBrush(), nullptr);
  ASSERT_TRUE(second.create(guitest::surfaceClass(guitest::kOtherTestClass), L"second", 200, 100, nullptr));
  DestroyWindow(first.hwnd());
  EXPECT_NE(fieldBrush(), nullptr);  // one window is still open
  DestroyWindow(second.hwnd());
  EXPECT_NE(fieldBrush(), nullptr);  // kept a little for a window opened again soon
  releaseWindowLibraries();          // the little while is over
  EXPECT_EQ(fieldBrush(), nullptr);
  ProbeSurface third;
  ASSERT_TRUE(third.create(guitest::surfaceClass(), L"third", 200, 100, nullptr));
  EXPECT_NE(fieldBrush(), nullptr);
  DestroyWindow(third.hwnd());
  releaseWindowLibraries();
  EXPECT_EQ(fieldBrush(), nullptr);
  shutdownTheme();
}

// GDI+ as the theme starts and ends it, recorded on the way to the real one.
class GdiplusRecorder {
 public:
  GdiplusRecorder() {
    windowThread_ = GetCurrentThreadId();
    events().clear();
    setGdiplusEntry(&kEntry);
  }
  ~GdiplusRecorder() { setGdiplusEntry(nullptr); }
  GdiplusRecorder(const GdiplusRecorder&) = delete;
  GdiplusRecorder& operator=(const GdiplusRecorder&) = delete;
  static std::vector<std::string> taken() {
    std::lock_guard<std::mutex> hold(lock());
    return std::exchange(events(), {});
  }

 private:
  static std::mutex& lock() {
    static std::mutex m;
    return m;
  }
  static std::vector<std::string>& events() {
    static std::vector<std::string> e;
    return e;
  }
  static void note(const std::string& what, bool windowThreadMatters = true) {
    std::lock_guard<std::mutex> hold(lock());
    const bool here = GetCurrentThreadId() == windowThread_;
    events().push_back(what + (!windowThreadMatters ? "" : here ? " (window's thread)" : " (another thread)"));
  }
  static Gdiplus::Status WINAPI startup(ULONG_PTR* token, const Gdiplus::GdiplusStartupInput* input,
                                        Gdiplus::GdiplusStartupOutput* output) {
    note(input->SuppressBackgroundThread ? "start without a thread of its own" : "start with its thread",
         false);
    const Gdiplus::Status status = Gdiplus::GdiplusStartup(token, input, output);
    if (status == Gdiplus::Ok && output && output->NotificationHook) {
      realHook_ = output->NotificationHook;
      realUnhook_ = output->NotificationUnhook;
      output->NotificationHook = hook;
      output->NotificationUnhook = unhook;
    }
    return status;
  }
  static Gdiplus::Status WINAPI hook(ULONG_PTR* token) {
    note("hook");
    return realHook_(token);
  }
  static void WINAPI unhook(ULONG_PTR token) {
    note("unhook");
    realUnhook_(token);
  }
  static void WINAPI shutdown(ULONG_PTR token) {
    note("end");
    Gdiplus::GdiplusShutdown(token);
  }

  static constexpr GdiplusEntry kEntry = {startup, shutdown};
  static inline DWORD windowThread_ = 0;
  static inline Gdiplus::NotificationHookProc realHook_ = nullptr;
  static inline Gdiplus::NotificationUnhookProc realUnhook_ = nullptr;
};

// The DLLs only windows use go some time after the last window closed; the
// next window loads them again and looks and works as the first did. GDI+
// runs no thread of its own that could still be in its DLL when it goes: its
// notifications come to the window's thread between a hook and an unhook,
// and it ends after the unhook.
TEST(SurfaceTheme, AWindowAfterTheWindowLibrariesWentLooksAndWorksTheSame) {
  setThemeInstance(GetModuleHandleW(nullptr));
  GdiplusRecorder gdiplus;
  const std::vector<std::string> aCycle = {
      "start without a thread of its own", "hook (window's thread)", "unhook (window's thread)",
      "end (window's thread)"};
  constexpr int kWidth = 300, kHeight = 200;
  constexpr COLORREF kUnpainted = RGB(255, 0, 255);
  // True when the cut label got its tooltip (a common control) and the
  // libraries stayed while the window was open.
  auto openPaintAndClose = [&](guitest::Bitmap32& shot) {
    ProbeSurface s;
    if (!s.create(guitest::surfaceClass(), L"again", kWidth, kHeight, nullptr)) return false;
    s.addControl(1, ControlKind::Button, L"one", L"");
    s.placeControl(1, 10, 10, 100, 40);
    s.labels = {{{10, 100, 40, 130}, DT_SINGLELINE | DT_END_ELLIPSIS, L"a text too long for it"}};
    ShowWindow(s.hwnd(), SW_SHOWNOACTIVATE);
    UpdateWindow(s.hwnd());
    HDC dc = GetDC(s.hwnd());
    BitBlt(shot.dc(), 0, 0, kWidth, kHeight, dc, 0, 0, SRCCOPY);
    ReleaseDC(s.hwnd(), dc);
    HWND tip = tooltipOf(s.hwnd());
    const bool tipped = tip && SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0) == 1;
    releaseWindowLibraries();
    const bool kept = GetModuleHandleW(L"gdiplus.dll") && GetModuleHandleW(L"comctl32.dll");
    DestroyWindow(s.hwnd());
    return tipped && kept;
  };
  guitest::Bitmap32 first(kWidth, kHeight, kUnpainted), again(kWidth, kHeight, kUnpainted);
  ASSERT_TRUE(openPaintAndClose(first));
  releaseWindowLibraries();
  EXPECT_EQ(GetModuleHandleW(L"gdiplus.dll"), nullptr);
  EXPECT_EQ(GetModuleHandleW(L"comctl32.dll"), nullptr);
  EXPECT_EQ(GdiplusRecorder::taken(), aCycle);
  EXPECT_TRUE(openPaintAndClose(again));
  EXPECT_FALSE(first.unchanged(kUnpainted));
  EXPECT_TRUE(again.sameAs(first));
  shutdownTheme();
  EXPECT_EQ(GdiplusRecorder::taken(), aCycle);
}

}  // namespace
