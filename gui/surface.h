// gui::Surface: the base of every window the application draws itself. It
// owns one top-level window, its DPI and fonts, custom-drawn controls kept
// as records, and a few real child EDIT controls; it turns window messages
// into a handful of virtual operations and paints through an off-screen
// bitmap. Sizes are given in DIPs (96 per inch) and scaled to the DPI.
// Everything runs on the thread that created the window.
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "gui/control.h"
#include "gui/paint.h"
#include "gui/paint_pipeline.h"
#include "gui/theme.h"

namespace gui {

struct EditField {
  int id = 0;
  HWND window = nullptr;  // made when the field is first shown
  RECT frame = {};
  bool visible = true;
  std::wstring label;  // its heading's text: the field's accessible name
  DWORD style = 0;
  int maxChars = 0;
  std::wstring text;  // held until the window is made
  std::wstring tip;   // its tooltip: the whole text when it is longer than the field
};

// A text the last paint could not show whole, and that whole text: it is
// the tooltip over its box and the name it has for accessibility clients.
struct CutText {
  RECT box;
  std::wstring text;
};

// A text of the window outside its controls, as a screen reader reads it.
struct ShownText {
  RECT box;
  std::wstring text;
};

// One part of a surface as a screen reader sees it.
struct AccessibleItem {
  long role = 0;  // ROLE_SYSTEM_*
  std::wstring name;
  std::wstring description;
  std::wstring value;
  std::wstring action;  // the default action; empty: none
  RECT rect = {};       // client pixels
  long state = 0;       // STATE_SYSTEM_*
  int id = 0;           // the drawn control's or EDIT's id; 0 for a text
};

class SurfaceAccessible;

// The window procedure registered for both window classes.
LRESULT CALLBACK surfaceWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// DPI of a window, or of the system when `window` is null; never 0.
UINT windowDpi(HWND window);
// Outer window size for a client area of the given pixels at `dpi`.
SIZE outerSizeForClient(int clientWidth, int clientHeight, UINT dpi, DWORD style, DWORD exStyle);

// What the caption and borders of a surface's window add to its client
// size at `dpi`.
SIZE windowFrame(UINT dpi);

// The lowest DPI a window's content is laid out at: its smallest text (14
// DIPs) is then 12 pixels high, the size of Windows' own 9-point text at 100 %.
constexpr UINT kMinLayoutDpi = 80;

// Where a window whose client area is `clientDip` goes on a monitor of
// `monitorDpi` with the work area `work`, its frame (caption and borders at
// the monitor's DPI) adding `frame` to the client size. Its content is laid
// out at the largest DPI up to the monitor's at which the whole window fits
// the work area, but not below kMinLayoutDpi; the window lies inside the
// work area, centred in it or, given `wanted`, as close to that point (its
// wanted top left) as the work area lets it.
struct WindowFit {
  UINT layoutDpi = 96;
  RECT outer = {};    // screen pixels, inside the work area
  SIZE content = {};  // the laid-out client size in pixels
  SIZE client = {};   // the client area: smaller than content only at the floor, and it scrolls
};
// Beside content that scrolls stands a scroll bar `scrollBar` pixels wide.
WindowFit fitWindow(SIZE clientDip, UINT monitorDpi, SIZE frame, int scrollBar, const RECT& work,
                    const POINT* wanted = nullptr);

// The point a leave notification reports to onMouseMove.
constexpr POINT kPointerGone = {-10000, -10000};
// The command id Escape turns into.
constexpr int kCancelCommand = IDCANCEL;
// Posted to a surface: activate the control (or focus the EDIT) of wParam.
constexpr UINT kActivateMessage = WM_USER + 1;

// Indexes of rectangles in reading order: rows top to bottom (a row holds
// what has its middle within the first one's height), each left to right.
std::vector<size_t> readingOrder(const std::vector<RECT>& rects);

class Surface : private PaintSource {
 public:
  Surface() = default;
  virtual ~Surface();
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  bool create(const wchar_t* className, const std::wstring& title, int widthDip, int heightDip,
              HWND owner);
  void setClientSize(int widthDip, int heightDip, bool center);
  void invalidate();

  Control* addControl(int id, ControlKind kind, const std::wstring& text,
                      const std::wstring& detail);
  Control* findControl(int id);
  void placeControl(int id, int xDip, int yDip, int wDip, int hDip);
  void setVisible(int id, bool on);
  void setEnabled(int id, bool on);
  void setChecked(int id, bool on);
  void setTexts(int id, const std::wstring& text, const std::wstring& detail);

  // A field shown at once gets its window now; a hidden one when it is
  // first shown, so that a page never visited costs no window (and no
  // common controls). Its text is kept until then.
  HWND addEdit(int id, DWORD extraStyle, int maxChars, bool shown = true);
  void placeEdit(int id, int xDip, int yDip, int wDip, int hDip);
  void showEdit(int id, bool on);
  HWND editWindow(int id) const;
  std::wstring getEditText(int id) const;
  void setEditText(int id, const std::wstring& text);
  void setEditLabel(int id, const std::wstring& label);
  // The whole text of a field that shows only part of it (its tooltip);
  // empty when it shows all.
  std::wstring editTip(int id) const;

  void paintControls(HDC dc);
  void paintEditFrames(HDC dc);

  // Keyboard focus: one id for a drawn control or an EDIT, 0 for none. The
  // focus mark shows only once the keyboard was used in the window.
  int focusId() const { return focusId_; }
  bool focusCuesShown() const;
  // Moves the focus to a visible, enabled control or a visible EDIT.
  void focusItem(int id);
  // The focus of a page just shown: initialFocus().
  void focusInitial();
  // After a refresh: the focus stays where it is when that control is
  // still there, else it goes to initialFocus().
  void keepFocusValid();
  // Ids the Tab key visits, in reading order; a group counts once, at its
  // selected member.
  std::vector<int> tabStops() const;
  // What a click on the control does; false when it is hidden or disabled.
  // The window may be gone afterwards.
  bool activate(int id);
  // Tab, Shift+Tab, Ctrl+Tab, Space, Enter, arrows, Home and End; true when
  // the key was handled. The window may be gone afterwards.
  bool handleKey(UINT key);

  // The accessible children: every drawn control (ids stable for the
  // window's life), then the EDITs, then the texts of the last paint.
  std::vector<AccessibleItem> accessibleItems();
  // The child id of a control or EDIT, 0 when there is none.
  int accessibleChildOf(int id) const;

  HWND hwnd() const { return window_; }
  // The DPI the content is laid out, painted and measured at: the monitor's,
  // or less where the window would not fit its work area at the monitor's.
  UINT dpi() const { return dpi_; }
  // The DPI of the monitor the window is on: its frame's.
  UINT monitorDpi() const { return monitorDpi_; }
  // How far the content is scrolled down, in pixels; 0 unless it is taller
  // than the client area (a work area too small even at kMinLayoutDpi).
  int scrollOffset() const { return scrollY_; }
  int contentHeight() const { return contentHeight_; }
  const FontSet& fonts() const { return fonts_; }
  int pressedId() const { return pressedId_; }
  int focusedEditId() const { return focusedEditId_; }
  const std::deque<Control>& controls() const { return controls_; }
  const std::vector<EditField>& edits() const { return edits_; }
  int scale(int dip) const { return MulDiv(dip, static_cast<int>(dpi_), 96); }

  // Renders the whole client area as WM_PAINT does, into `dc`.
  void renderTo(HDC dc, const RECT& clientRect);
  // Every text the last paint drew, and those of them it could not show whole.
  const std::vector<DrawnText>& drawnTexts() const { return drawnTexts_; }
  const std::vector<CutText>& cutTexts() const { return cutTexts_; }

 protected:
  virtual void layout() = 0;
  // What depends on the client size and DPI alone (the leather, the frame,
  // large panels): it is the costly part of a paint, so WM_PAINT draws it
  // once per size and DPI and copies it in; paint() draws the rest on top.
  // The first one is painted on a thread of its own while the window is
  // being made: it may read dpi_ and nothing else that changes.
  void paintBackdrop(HDC dc, const RECT& clientRect) override;
  // What the first paint alone draws on the backdrop before paint() (the
  // panels of the page a window opens on): the same thread paints it into
  // the first back buffer, while the window is being shown. firstLayer()
  // names it (0: nothing) when the window is made; paintFirstLayer may
  // read dpi_ and that name only. A paint whose backdrop holds a layer
  // says which in layerOnBackdrop(); paint() leaves that out.
  virtual int firstLayer() const;
  void paintFirstLayer(HDC dc, int layer) override;
  int layerOnBackdrop() const { return layerOnBackdrop_; }
  virtual void paint(HDC dc, const RECT& clientRect) = 0;
  virtual void onClick(int id);
  virtual void onCommand(int id, int code);
  virtual bool handleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  virtual void onWheel(int delta, POINT clientPoint);
  virtual void onBackgroundDown(POINT clientPoint);
  virtual void onMouseMove(POINT clientPoint);
  virtual bool wantsHandCursor(POINT clientPoint);
  virtual void onDestroyed();
  // The control a user most likely wants when the page appears.
  virtual int initialFocus();
  // The button Enter presses when the focus is on no drawn control; 0: none.
  virtual int defaultButton();
  // Ctrl+Tab (1) and Ctrl+Shift+Tab (-1).
  virtual void onSwitchTab(int step);
  // The name of a control's default action in the user's language.
  virtual std::wstring actionName(ControlKind kind, bool checked) const;

  HWND window_ = nullptr;
  UINT dpi_ = 96;
  FontSet fonts_;
  std::vector<EditField> edits_;
  std::deque<Control> controls_;  // addControl hands out stable pointers
  int pressedId_ = 0;
  int focusedEditId_ = 0;
  bool tracking_ = false;
  int focusId_ = 0;

 private:
  EditField* findEdit(int id);
  const EditField* findEdit(int id) const;

  UINT monitorDpi_ = 96;
  SIZE sizeDip_ = {};       // the client size the window is designed for
  int contentHeight_ = 0;   // the laid-out client height in pixels
  int scrollY_ = 0;
  bool creating_ = false;       // inside create()'s CreateWindowExW
  bool holdsTheme_ = false;     // from create() until the window is gone
  PaintPipeline pipeline_{*this};
  int layerOnBackdrop_ = 0;  // of the paint under way
  std::vector<DrawnText> drawnTexts_;
  std::vector<CutText> cutTexts_;
  HWND tooltip_ = nullptr;  // owned by the window, which destroys it
  size_t tools_ = 0;        // tooltip tools, ids 1 to tools_

  friend LRESULT CALLBACK surfaceWindowProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT memberProc(UINT msg, WPARAM wParam, LPARAM lParam);
  void makeEditWindow(EditField& e);
  void moveEditWindow(EditField& e);
  void showTextEnd(EditField& e);
  bool makeTooltip();
  void letGoOfTheme();
  void bufferedPaint();
  void paintOver(HDC dc, const RECT& clientRect, int layerOnBackdrop) override;
  void paintNotingTexts(HDC dc, const RECT& client);
  void noteCutTexts(HDC dc);
  void showCutTextsAsTooltips();
  void onMouseMoveMessage(POINT point);
  void onMouseLeave();
  void onButtonDown(POINT point);
  void onButtonUp(POINT point);
  bool onSetCursor(WPARAM wParam, LPARAM lParam);
  void onDpiChanged(WPARAM wParam, LPARAM lParam);
  WindowFit fitOn(HMONITOR monitor, UINT monitorDpi, const POINT* wanted) const;
  void applyFit(const WindowFit& fit);
  void setLayoutDpi(UINT dpi);
  void refit();
  void scrollTo(int y);
  void scrollIntoView(int id);
  void onScrollBar(int request);
  POINT contentPoint(LPARAM lParam) const;
  void onCommandMessage(WPARAM wParam, LPARAM lParam);
  Control* hitTest(POINT point);
  bool isFocusable(int id) const;
  bool isEdit(int id) const;
  void moveFocus(int step);
  bool stepInGroup(UINT key);
  void showFocusCues();
  void onUpdateUiState(WORD action, WORD flags);
  void onSetFocus();
  void notifyFocus();
  void notifyChild(DWORD event, int id);
  void announceTextChanges();
  bool onControl(const RECT& box) const;
  LRESULT onGetObject(WPARAM wParam, LPARAM lParam);
  void disconnectAccessible();
  AccessibleItem describeControl(const Control& c) const;

  std::vector<ShownText> spokenTexts_;  // the last paint's texts outside the controls
  std::vector<int> shownControls_;     // the last paint's visible controls
  SurfaceAccessible* accessible_ = nullptr;

  // The EDIT holds the focus a page gave it, not one the user gave it: no
  // glow on its frame until the keyboard or the mouse reaches it.
  bool quietEditFocus_ = false;
  // UISF_HIDEFOCUS of this window, kept from WM_UPDATEUISTATE as Windows'
  // own controls keep theirs.
  bool hideFocus_ = false;
};

// Tab, Shift+Tab, Ctrl+Tab and Enter pressed in one of the window's EDITs
// are the surface's to handle: sent on to the window; true when sent.
bool forwardFieldKey(HWND window, const MSG& msg);

}  // namespace gui
