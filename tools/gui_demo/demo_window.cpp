#include "tools/gui_demo/demo_window.h"

#include <objidl.h>
#include <gdiplus.h>

#include "gui/paint.h"

using namespace gui;

namespace demo {
namespace {

// Control ids: each showcase control is forced into one state.
enum Id {
  kButtonNormal = 1,
  kButtonHot,
  kButtonPressed,
  kButtonDisabled,
  kPrimaryNormal,
  kPrimaryHot,
  kPrimaryPressed,
  kPrimaryDisabled,
  kTabSelected,
  kTabNormal,
  kTabHot,
  kCheckOff,
  kCheckOn,
  kCheckHot,
  kCheckHotOn,
  kSegmentFirstId,  // six segments follow
  kLinkNormal = kSegmentFirstId + 6,
  kLinkHot,
  kCardSelected,
  kCardHot,
  kCardPlain,
  kEditFocused = 41,
  kEditPlain = 42,
};

struct Forced {
  int id;
  bool hover, pressed, checked, enabled;
};

const Forced kForced[] = {
    {kButtonHot, true, false, false, true},
    {kButtonPressed, true, true, false, true},
    {kButtonDisabled, false, false, false, false},
    {kPrimaryHot, true, false, false, true},
    {kPrimaryPressed, true, true, false, true},
    {kPrimaryDisabled, false, false, false, false},
    {kTabSelected, false, false, true, true},
    {kTabHot, true, false, false, true},
    {kCheckOn, false, false, true, true},
    {kCheckHot, true, false, false, true},
    {kCheckHotOn, true, false, true, true},
    {kSegmentFirstId, false, false, true, true},
    {kSegmentFirstId + 1, true, false, false, true},
    {kLinkHot, true, false, false, true},
    {kCardSelected, false, false, true, true},
    {kCardHot, true, false, false, true},
};

const wchar_t* const kLanguages[] = {L"EN", L"NL", L"DE", L"ES", L"IT", L"PL"};

const wchar_t kRichText[] =
    L"Cairnstone keeps the Cairn addon ready beside the game.\n\n"
    L"1. Choose the WoW Forever folder.\n"
    L"2. Pick the language the addon speaks.\n"
    L"3. Type /cairn in the game.";

}  // namespace

bool DemoWindow::open() {
  constexpr wchar_t kDemoClass[] = L"CairnToolkitDemo";
  registerSurfaceClass(kDemoClass);
  if (!create(kDemoClass, L"Cairnstone toolkit", kWidthDip, kHeightDip, nullptr)) {
    return false;
  }
  const wchar_t* states[] = {L"Normal", L"Hover", L"Pressed", L"Disabled"};
  for (int i = 0; i < 4; ++i) addControl(kButtonNormal + i, ControlKind::Button, states[i], L"");
  for (int i = 0; i < 4; ++i)
    addControl(kPrimaryNormal + i, ControlKind::PrimaryButton, states[i], L"");
  addControl(kTabSelected, ControlKind::Tab, L"Status", L"");
  addControl(kTabNormal, ControlKind::Tab, L"Settings", L"");
  addControl(kTabHot, ControlKind::Tab, L"Hovered", L"");
  addControl(kCheckOff, ControlKind::CheckBox, L"Start with Windows", L"");
  addControl(kCheckOn, ControlKind::CheckBox, L"Ticked", L"");
  addControl(kCheckHot, ControlKind::CheckBox, L"Hovered", L"");
  addControl(kCheckHotOn, ControlKind::CheckBox, L"Hovered, ticked", L"");
  for (int i = 0; i < 6; ++i) {
    Control* segment = addControl(kSegmentFirstId + i, ControlKind::Segment, kLanguages[i], L"");
    segment->segmentPosition = i == 0 ? kSegmentFirst : (i == 5 ? kSegmentLast : kSegmentMiddle);
  }
  addControl(kLinkNormal, ControlKind::Link, L"Open the log file", L"");
  addControl(kLinkHot, ControlKind::Link, L"Hovered link", L"");
  addControl(kCardSelected, ControlKind::OptionCard, L"English", L"The addon speaks English");
  addControl(kCardHot, ControlKind::OptionCard, L"Deutsch", L"Das Addon spricht Deutsch");
  addControl(kCardPlain, ControlKind::OptionCard, L"Polski", L"");
  addEdit(kEditFocused, 0, 260);
  addEdit(kEditPlain, 0, 260);
  setEditText(kEditFocused, L"C:\\Games\\World of Warcraft\\_forever_");
  setEditText(kEditPlain, L"Unfocused field");
  forceStates();
  layout();
  return true;
}

void DemoWindow::forceStates() {
  for (const Forced& f : kForced) {
    if (Control* c = findControl(f.id)) {
      c->hover = f.hover;
      c->pressed = f.pressed;
      c->checked = f.checked;
      c->enabled = f.enabled;
    }
  }
  focusedEditId_ = kEditFocused;  // the showcase always shows one focused field
}

void DemoWindow::layout() {
  if (controls_.empty()) return;
  for (int i = 0; i < 4; ++i) {
    placeControl(kButtonNormal + i, 50 + 98 * i, 198, 90, 34);
    placeControl(kPrimaryNormal + i, 50 + 98 * i, 242, 90, 34);
  }
  for (int i = 0; i < 3; ++i) placeControl(kTabSelected + i, 50 + 114 * i, 316, 110, 38);
  placeControl(kCheckOff, 50, 388, 190, 26);
  placeControl(kCheckOn, 246, 388, 180, 26);
  placeControl(kCheckHot, 50, 418, 190, 26);
  placeControl(kCheckHotOn, 246, 418, 180, 26);
  for (int i = 0; i < 6; ++i) placeControl(kSegmentFirstId + i, 50 + 62 * i, 478, 62, 32);
  placeControl(kLinkNormal, 50, 548, 180, 24);
  placeControl(kLinkHot, 246, 548, 180, 24);
  placeControl(kCardSelected, 470, 420, 400, 48);
  placeControl(kCardHot, 470, 474, 400, 48);
  placeControl(kCardPlain, 470, 528, 400, 48);
  placeEdit(kEditFocused, 470, 584, 196, 30);
  placeEdit(kEditPlain, 674, 584, 196, 30);
}

RECT DemoWindow::dipRect(int x, int y, int w, int h) const {
  return {scale(x), scale(y), scale(x + w), scale(y + h)};
}

void DemoWindow::heading(HDC dc, int x, int y, const wchar_t* text) {
  drawLabel(dc, fonts_[kFontTabSelected], kColorGold, dipRect(x, y, 380, 22), text,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE);
}

void DemoWindow::paintBackdrop(HDC dc, const RECT& clientRect) {
  paintBackground(dc, clientRect);
  paintHalo(dc, scale(96), scale(84), scale(84));  // it reaches the frame
  paintDarkPanel(dc, dipRect(30, 164, 420, 450), dpi_, true);
  paintParchmentPanel(dc, dipRect(470, 164, 400, 204), dpi_);
  paintFrame(dc, clientRect, dpi_);
}

void DemoWindow::paint(HDC dc, const RECT&) {
  paintEmblem(dc, dipRect(40, 28, 112, 112));
  drawLabel(dc, fonts_[kFontTitle], kColorGoldHighlight, dipRect(170, 30, 480, 56), L"Cairnstone",
            DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  drawLabel(dc, fonts_[kFontItalic], kColorGreyBeige, dipRect(172, 88, 480, 22),
            L"Every control in every state, at a glance", DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  const RECT goodPill = dipRect(700, 40, 160, 30);
  paintPill(dc, goodPill, dpi_, true);
  drawLabel(dc, fonts_[kFontBodyBold], kColorPillReady, goodPill, L"Ready",
            DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  const RECT badPill = dipRect(700, 82, 160, 30);
  paintPill(dc, badPill, dpi_, false);
  drawLabel(dc, fonts_[kFontBodyBold], kColorWarning, badPill, L"Needs attention",
            DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  paintDivider(dc, scale(40), scale(860), scale(150), dpi_);

  heading(dc, 50, 172, L"Buttons");
  heading(dc, 50, 290, L"Tabs");
  heading(dc, 50, 362, L"Check boxes");
  heading(dc, 50, 452, L"Segments");
  heading(dc, 50, 522, L"Links");
  paintDivider(dc, scale(50), scale(430), scale(586), dpi_);
  drawLabel(dc, fonts_[kFontMono], kColorGreyBeige, dipRect(50, 592, 380, 20), L"/cairn  --tab 1",
            DT_LEFT | DT_VCENTER | DT_SINGLELINE);

  drawLabel(dc, fonts_[kFontTabSelected], kColorDarkText, dipRect(490, 174, 360, 24), L"Parchment",
            DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  drawRichText(dc, fonts_, kColorDarkText, kColorDarkTextSecondary, dipRect(490, 202, 360, 120),
               kRichText, dpi_, true);
  const struct {
    OrbState state;
    const wchar_t* name;
  } orbs[] = {{OrbState::Ok, L"ok"},         {OrbState::Warning, L"warn"},
              {OrbState::Neutral, L"off"},   {OrbState::Done, L"done"},
              {OrbState::Active, L"active"}, {OrbState::Pending, L"later"}};
  for (int i = 0; i < 6; ++i) {
    paintStatusOrb(dc, scale(500 + 62 * i), scale(330), dpi_, orbs[i].state);
    drawLabel(dc, fonts_[kFontSmall], kColorDarkTextSecondary, dipRect(470 + 62 * i, 342, 60, 20),
              orbs[i].name, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  heading(dc, 470, 390, L"Option cards");
  for (int i = 0; i < 3; ++i) paintBullet(dc, scale(600 + 14 * i), scale(401), dpi_);

  paintControls(dc);
  paintEditFrames(dc);
}

void DemoWindow::onClick(int id) {
  if (id >= kSegmentFirstId && id < kSegmentFirstId + 6) {
    for (int i = 0; i < 6; ++i) setChecked(kSegmentFirstId + i, kSegmentFirstId + i == id);
  } else if (Control* c = findControl(id); c && c->kind == ControlKind::CheckBox) {
    c->checked = !c->checked;
  }
  invalidate();
}

void DemoWindow::onCommand(int id, int) {
  if (id == kCancelCommand && window_) DestroyWindow(window_);
}

void DemoWindow::onMouseMove(POINT) { forceStates(); }

void DemoWindow::onDestroyed() {
  if (quitOnClose) PostQuitMessage(0);
}

void DemoWindow::switchDpi(UINT newDpi) {
  if (!window_ || newDpi == dpi_) return;
  RECT outer;
  GetWindowRect(window_, &outer);
  const int d = static_cast<int>(newDpi);
  const SIZE size = outerSizeForClient(MulDiv(kWidthDip, d, 96), MulDiv(kHeightDip, d, 96), newDpi,
                                       static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE)),
                                       static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE)));
  RECT suggested = {outer.left, outer.top, outer.left + size.cx, outer.top + size.cy};
  SendMessageW(window_, WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi),
               reinterpret_cast<LPARAM>(&suggested));
}

gui::ScopedBitmap DemoWindow::renderBitmap() {
  return renderSurface(*this, {0, 0, scale(kWidthDip), scale(kHeightDip)});
}

gui::ScopedBitmap renderSurface(Surface& surface, const RECT& client) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = client.right;
  info.bmiHeader.biHeight = -client.bottom;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  gui::ScopedBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
  if (!bitmap.valid() || !dc.valid()) return gui::ScopedBitmap();
  gui::ScopedSelect selected(dc, bitmap);
  surface.renderTo(dc, client);
  // The EDIT children draw themselves; print them into the picture too.
  for (const EditField& e : surface.edits()) {
    if (!e.visible || !e.window) continue;
    RECT child;
    GetWindowRect(e.window, &child);
    MapWindowPoints(nullptr, surface.hwnd(), reinterpret_cast<POINT*>(&child), 2);
    // The EDIT leaves its clipping and origin behind: keep the DC's state.
    const int saved = SaveDC(dc);
    SetViewportOrgEx(dc, child.left, child.top, nullptr);
    SendMessageW(e.window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT);
    RestoreDC(dc, saved);
  }
  return bitmap;
}

bool savePng(HBITMAP bitmap, const std::wstring& path) {
  using namespace Gdiplus;
  using namespace Gdiplus::DllExports;
  // The PNG encoder of GDI+.
  static const CLSID kPngEncoder = {
      0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
  gui::ImageOwner image;
  if (GdipCreateBitmapFromHBITMAP(bitmap, nullptr, image.out()) != Ok) return false;
  return GdipSaveImageToFile(image, path.c_str(), &kPngEncoder, nullptr) == Ok;
}

}  // namespace demo
