#include "ui/mainwnd.h"

#include <shellapi.h>

#include <algorithm>

#include "base/paths.h"
#include "base/text.h"
#include "base/version.h"
#include "game/addon.h"
#include "game/folder.h"
#include "gui/paint.h"
#include "gui/scoped_gdi.h"
#include "gui/shell.h"
#include "i18n/i18n.h"
#include "storage/files.h"
#include "storage/log.h"
#include "storage/settings.h"
#include "ui/common.h"
#include "ui/setup.h"
#include "ui/single_window.h"

namespace ui {
namespace mainwnd {
namespace {

SingleWindow<MainWindow> single;

constexpr int kWidthDip = 900;
constexpr int kHeightDip = 640;
constexpr int kFolderMaxChars = 260;
constexpr UINT_PTR kRefreshTimer = 2;
constexpr UINT kRefreshMs = 3000;  // the Status tab follows the game within this
// Posted by the game check's worker; above the notification-area window's
// messages, so that it never means anything to that window.
constexpr UINT kStateArrived = WM_APP + 0x20;
constexpr UINT kFieldChecked = WM_APP + 0x21;
// How long opening waits for the first game state, so that a local folder's
// state is there at the first paint; a slow drive's comes when it comes.
constexpr DWORD kFirstStateWaitMs = 50;
// The first paint's layer on the backdrop: the Status tab's two panels.
constexpr int kStatusPanelsLayer = 1;

// Tabs along the top of the panel.
constexpr int kTabsLeft = 34, kTabTop = 140, kTabHeight = 40, kTabGap = 6;
constexpr int kTabMinWidth = 128, kTabPadding = 52;
// The update button right of the tabs, never reaching left of them.
constexpr int kUpdateRight = 870, kUpdateLimit = 858, kUpdateTop = 142, kUpdateHeight = 36;
constexpr int kUpdatePadding = 44, kUpdateMinWidth = 150, kUpdateNarrowLeft = 720;
// The row of buttons under the Status panel.
constexpr int kRowLeft = 44, kRowTop = 546, kRowHeight = 38, kRowGap = 12, kLinkIndent = 6;
constexpr int kSetupMinWidth = 170, kQuestieMinWidth = 140, kButtonPadding = 44, kLinkSlack = 4;
// The Settings column; Browse grows to the left for a long caption.
constexpr int kColumnLeft = 464, kColumnWidth = 392;
constexpr int kSegmentTop = 228, kSegmentHeight = 36;
constexpr int kFolderTop = 308, kFolderHeight = 36, kFieldGap = 8;
constexpr int kBrowseMinWidth = 100, kCaptionPadding = 24;
// Save's result line reaches down to the Save button.
constexpr int kMessageBottom = 540;
// Status lines. One too long for its line is shown in the smaller font, and
// when that takes two lines, in the same room as a line with a detail.
constexpr int kLineLeft = 98, kLineRight = 528, kLineHeight = 26, kLineStep = 40;
constexpr int kSecondLine = 20, kWrappedTop = 4, kWrappedBottom = 45;
constexpr int kDetailTop = 25, kDetailBottom = 45;

constexpr COLORREF kBlack = RGB(0, 0, 0);

// Arrow-key groups: the tab strip and the row of languages.
constexpr int kTabGroup = 1, kLanguageGroup = 2;

constexpr UINT kOneLine = DT_VCENTER | DT_SINGLELINE;
constexpr UINT kOneLineEllipsis = kOneLine | DT_END_ELLIPSIS;
constexpr UINT kOneLinePath = kOneLine | DT_PATH_ELLIPSIS;
constexpr UINT kOneLineRight = DT_RIGHT | kOneLine;
constexpr UINT kWrapped = DT_WORDBREAK;
constexpr UINT kWrappedEllipsis = DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS;

std::wstring upperCode(const std::string& code) {
  std::wstring text = toWide(code);
  for (wchar_t& c : text) c = static_cast<wchar_t>(towupper(c));
  return text;
}

int languageCount() { return static_cast<int>(languageTable().size()); }

int tabControl(Tab tab) { return tab == Tab::Settings ? kSettingsTabId : kStatusTabId; }

UINT segmentPosition(int i, int count) {
  if (count == 1) return gui::kSegmentAlone;
  if (i == 0) return gui::kSegmentFirst;
  return i == count - 1 ? gui::kSegmentLast : gui::kSegmentMiddle;
}

}  // namespace

MainWindow* mainWindow() { return single.get(); }

TabRequest tabFromNumber(int number) {
  if (number == 0) return Tab::Status;
  if (number == 1) return Tab::Settings;
  return kKeepTab;
}

MainWindow::MainWindow(WindowHost& host, TabRequest tab)
    : host_(host), tab_(tab.value_or(Tab::Status)) {}

MainWindow::~MainWindow() = default;

RECT MainWindow::dip(int left, int top, int right, int bottom) const {
  return dipRect(dpi_, left, top, right, bottom);
}

bool MainWindow::open() {
  refresh();  // the first check runs while the window is made
  gui::registerSurfaceClass(kWindowClass);
  if (!create(kWindowClass, kProductName, kWidthDip, kHeightDip, nullptr)) return false;
  check_.postTo(window_);
  addControl(kStatusTabId, gui::ControlKind::Tab, L"", L"")->group = kTabGroup;
  addControl(kSettingsTabId, gui::ControlKind::Tab, L"", L"")->group = kTabGroup;
  addControl(kSetupButton, gui::ControlKind::Button, L"", L"");
  addControl(kQuestieButton, gui::ControlKind::Button, L"", L"");
  addControl(kLogLink, gui::ControlKind::Link, L"", L"");
  const int count = languageCount();
  for (int i = 0; i < count; ++i) {
    gui::Control* segment = addControl(kLanguageSegment + i, gui::ControlKind::Segment, L"", L"");
    segment->segmentPosition = segmentPosition(i, count);
    segment->group = kLanguageGroup;
  }
  addControl(kBrowseButton, gui::ControlKind::Button, L"", L"");
  addControl(kAutostartBox, gui::ControlKind::CheckBox, L"", L"");
  addControl(kSaveButton, gui::ControlKind::PrimaryButton, L"", L"");
  addControl(kUpdateButton, gui::ControlKind::PrimaryButton, L"", L"");
  addEdit(kFolderEdit, 0, kFolderMaxChars, tab_ == Tab::Settings);
  loadSettingsTab();
  applyTexts();
  ready_ = true;
  selectTab(tab_);  // both tabs were just loaded: a second check would only wait longer
  if (check_.wait(kFirstStateWaitMs)) takeState();
  layout();
  focusInitial();
  invalidate();
  SetTimer(window_, kRefreshTimer, kRefreshMs, nullptr);
  ShowWindow(window_, SW_SHOWNORMAL);
  SetForegroundWindow(window_);
  return true;
}

void MainWindow::reopen(TabRequest tab) {
  if (tab) onClick(tabControl(*tab));
  refresh();
  applyTexts();
  layout();
  invalidate();
  bringToFront(window_);
}

void MainWindow::update() {
  refresh();
  applyTexts();
  layout();
  keepFocusValid();
  invalidate();
}

void MainWindow::refresh() {
  wantedFolder_ = host_.gameFolder();
  updateVersion_ = host_.readyUpdateVersion();
  updatedVersion_ = host_.updatedTo();
  takeAddonReport();
  startCheck();  // not while one still runs
}

void MainWindow::startCheck() { check_.start(window_, kStateArrived, wantedFolder_); }

void MainWindow::takeAddonReport() {
  addonReport_ = host_.addonReport();
  addonWorking_ = host_.addonWorking();
  if (stateKnown_) appStatus_ = appStatusOf(folderOk_, addonOk_, addonProblemHere());
  if (!placing_ || addonWorking_) return;
  placing_ = false;
  const AddonLine line = addonLine(addonReport_, false, wantedFolder_);
  if (!line.text.empty()) {
    message_ = line.text;
    messageOk_ = false;
  }
}

AddonProblem MainWindow::addonProblemHere() const {
  return addonReport_.folder == folder_ ? addonReport_.problem : AddonProblem::None;
}

void MainWindow::takeState() {
  GameState state;
  if (!check_.take(state)) return;  // still running, or the late message of a taken one
  if (state.folder != wantedFolder_) {
    // The folder was changed while the check ran: its answer is stale.
    startCheck();
    return;
  }
  // Brings back an addon or a Config.lua that went missing, on the worker.
  host_.keepAddon();
  showState(state);
}

void MainWindow::showState(const GameState& state) {
  folder_ = state.folder;
  folderOk_ = state.folderOk;
  addonOk_ = state.addonOk;
  // The controller's status is this same check of the same folder.
  appStatus_ = appStatusOf(state.folderOk, state.addonOk, addonProblemHere());
  questieOk_ = state.questieOk;
  gameActive_ = state.gameActive;
  stateKnown_ = true;
  host_.noteGameState(state);  // the tooltip and the menu follow
  layout();  // the Questie button comes and goes with the state
  keepFocusValid();
  invalidate();
}

void MainWindow::loadSettingsTab() {
  const Settings settings = host_.snapshot();
  pendingLanguage_ = knownOrEnglish(settings.language);
  setEditText(kFolderEdit, settings.foreverDir);
  setChecked(kAutostartBox, autostartEnabled());
  message_.clear();
  saving_ = false;
  checkSegments();
}

void MainWindow::checkSegments() {
  const auto& languages = languageTable();
  for (size_t i = 0; i < languages.size(); ++i) {
    setChecked(kLanguageSegment + static_cast<int>(i), languages[i].code == pendingLanguage_);
  }
}

void MainWindow::applyTexts() {
  if (window_) SetWindowTextW(window_, kProductName);
  setTexts(kStatusTabId, tr("tab.status"), L"");
  setTexts(kSettingsTabId, tr("tab.settings"), L"");
  setTexts(kSetupButton, tr("st.setup"), L"");
  setTexts(kQuestieButton, tr("st.getquestie"), L"");
  setTexts(kLogLink, tr("st.log"), L"");
  const auto& languages = languageTable();
  for (size_t i = 0; i < languages.size(); ++i) {
    const int id = kLanguageSegment + static_cast<int>(i);
    setTexts(id, upperCode(languages[i].code), L"");
    // The code alone says little to a screen reader: it hears the language,
    // as on the wizard's cards.
    if (gui::Control* segment = findControl(id)) {
      segment->accessibleName = languages[i].nativeName;
      segment->description = languages[i].description;
    }
  }
  setEditLabel(kFolderEdit, tr("se.folder"));
  setTexts(kBrowseButton, tr("se.browse"), L"");
  setTexts(kAutostartBox, tr("se.autostart"), L"");
  setTexts(kSaveButton, tr("se.save"), L"");
  setTexts(kUpdateButton, trFormat("upd.button", "version", toWide(updateVersion_)), L"");
}

// A typed or picked folder is read on the worker, and Save goes on with its
// answer (takeFieldCheck). An empty field clears the folder at once, and the
// stored folder, still in the field as it was, stays as it is even when it is
// gone now (the Status tab says so): the rest is still saved.
void MainWindow::save() {
  const std::wstring text = trimWide(getEditText(kFolderEdit));
  if (text.empty() || text == host_.snapshot().foreverDir) {
    store(text);
    return;
  }
  saving_ = true;
  message_ = tr("se.checking");
  messageOk_ = true;
  checkField();
  if (fieldCheck_.wait(kQuickAnswerMs)) takeFieldCheck();  // a local folder: no flicker
}

void MainWindow::checkField() {
  const std::wstring text = trimWide(getEditText(kFolderEdit));
  // One at a time: a running check's answer finds the field changed and
  // starts this one then.
  if (fieldCheck_.startTyped(window_, kFieldChecked, text)) fieldAsked_ = text;
}

void MainWindow::takeFieldCheck() {
  GameState state;
  if (!fieldCheck_.take(state)) return;
  const std::wstring text = trimWide(getEditText(kFolderEdit));
  if (text != fieldAsked_) {
    checkField();  // changed while it was read
    return;
  }
  if (state.folderOk && state.folder != text) setEditText(kFolderEdit, state.folder);
  if (saving_) {
    saving_ = false;
    if (state.folderOk) {
      store(state.folder);  // and reads the stored folder anew
    } else {
      message_ = tr("se.badfolder");
      messageOk_ = false;
      SetFocus(editWindow(kFolderEdit));
    }
  }
  layout();
  keepFocusValid();
  invalidate();
}

void MainWindow::store(const std::wstring& folder) {
  Settings settings = host_.snapshot();
  settings.language = pendingLanguage_;
  settings.foreverDir = folder;
  const gui::Control* box = findControl(kAutostartBox);
  settings.autostart = box && box->checked;
  // A refused Run entry must not read as saved: the box and the stored
  // setting show what Windows will really do.
  const bool autostartSet = setAutostart(settings.autostart);
  if (!autostartSet) {
    logLine("autostart entry could not be changed");
    settings.autostart = autostartEnabled();
    setChecked(kAutostartBox, settings.autostart);
  }
  const WriteResult saved = host_.applySettings(settings);
  // The inputs stay as they are either way: a failed save can be tried again.
  message_ = saved ? tr(autostartSet ? "se.saved" : "se.autostartfailed") : notSavedText(saved);
  messageOk_ = saved && autostartSet;
  // A saved folder's addon is placed on the worker; its answer may replace the line.
  placing_ = saved && !folder.empty();
  refresh();
  applyTexts();
}

// A result line never stands beside a change made after it.
void MainWindow::dropResult() {
  if (message_.empty()) return;
  message_.clear();
  invalidate();
}

void MainWindow::selectTab(Tab tab) {
  tab_ = tab;
  setChecked(kStatusTabId, tab == Tab::Status);
  setChecked(kSettingsTabId, tab == Tab::Settings);
}

void MainWindow::showTab(Tab tab) {
  selectTab(tab);
  if (tab == Tab::Status) {
    refresh();
  } else {
    loadSettingsTab();
  }
}

std::wstring MainWindow::caption(int id) {
  const gui::Control* control = findControl(id);
  return control ? control->text : std::wstring();
}

bool MainWindow::stillOpen(HWND handle) const {
  // A shell call or the folder picker pumps messages: the window may be gone.
  return single.isOpen(this) && window_ == handle && IsWindow(handle);
}

void MainWindow::onClick(int id) {
  const HWND handle = window_;
  const bool onTabStrip = focusId_ == kStatusTabId || focusId_ == kSettingsTabId;
  switch (id) {
    case kStatusTabId:
    case kSettingsTabId:
      showTab(id == kSettingsTabId ? Tab::Settings : Tab::Status);
      break;
    case kSetupButton:
      openSetup(host_, 0);
      if (!stillOpen(handle)) return;
      break;
    case kQuestieButton:
      gui::openInShell(kQuestiePage);
      if (!stillOpen(handle)) return;
      break;
    case kLogLink: {
      // Quoted: the data folder may lie under a user name with spaces.
      const std::wstring parameters = L"\"" + logPath() + L"\"";
      gui::openInShell(L"notepad.exe", parameters);
      if (!stillOpen(handle)) return;
      break;
    }
    case kBrowseButton: {
      const std::wstring chosen = gui::pickFolder(window_, tr("se.pickfolder"),
                                                       normalizeFolder(getEditText(kFolderEdit)));
      if (!stillOpen(handle)) return;
      if (!chosen.empty()) {
        dropResult();
        setEditText(kFolderEdit, chosen);  // its game folder replaces it once read
        checkField();
      }
      break;
    }
    case kAutostartBox:
      if (const gui::Control* box = findControl(kAutostartBox)) {
        setChecked(kAutostartBox, !box->checked);
        dropResult();
      }
      break;
    case kSaveButton:
      save();
      break;
    case kUpdateButton:
      host_.installUpdate();
      if (!stillOpen(handle)) return;
      refresh();
      break;
    default:
      if (id >= kLanguageSegment && id < kLanguageSegment + languageCount()) {
        const std::string chosen = languageTable()[static_cast<size_t>(id - kLanguageSegment)].code;
        if (chosen != pendingLanguage_) dropResult();
        pendingLanguage_ = chosen;
      }
      break;
  }
  const bool tabChanged = id == kStatusTabId || id == kSettingsTabId;
  if (!tabChanged) {
    checkSegments();
    applyTexts();
  }
  layout();
  if (tabChanged && onTabStrip) {
    focusItem(tabControl(tab_));  // the strip keeps the focus, on the new tab
  } else if (tabChanged) {
    focusInitial();
  } else {
    keepFocusValid();
  }
  invalidate();
}

// Where the focus goes when a tab appears (a user most likely wants):
//   Status:   the update button when an update is ready, else "Get Questie"
//             when Questie is missing, else the Status tab itself;
//   Settings: the folder field.
int MainWindow::initialFocus() {
  if (tab_ == Tab::Settings) return kFolderEdit;
  for (int id : {kUpdateButton, kQuestieButton}) {
    const gui::Control* c = findControl(id);
    if (c && c->visible && c->enabled) return id;
  }
  return kStatusTabId;
}

// Enter where no control has the focus: Save on the Settings tab.
int MainWindow::defaultButton() { return tab_ == Tab::Settings ? kSaveButton : 0; }

void MainWindow::onSwitchTab(int) {
  onClick(tab_ == Tab::Status ? kSettingsTabId : kStatusTabId);  // two tabs: both ways round
}

std::wstring MainWindow::actionName(gui::ControlKind kind, bool checked) const {
  return ui::actionName(kind, checked);
}

void MainWindow::onCommand(int id, int code) {
  if (id == kFolderEdit && code == EN_CHANGE) {
    dropResult();
  } else if (id == IDOK) {
    // Enter from the message loop's dialog handling.
    HWND field = editWindow(kFolderEdit);
    if (tab_ == Tab::Settings && field && GetFocus() == field) onClick(kSaveButton);
  } else if (id == IDCANCEL) {
    DestroyWindow(window_);  // deletes this object
  }
}

bool MainWindow::handleMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
  if (msg == kStateArrived || msg == kFieldChecked) {
    result = 0;
    if (msg == kStateArrived) {
      takeState();
    } else {
      takeFieldCheck();
    }
    return true;
  }
  if (msg != WM_TIMER) return false;
  result = 0;
  if (wParam == kRefreshTimer && tab_ == Tab::Status && IsWindowVisible(window_) &&
      !IsIconic(window_)) {
    refresh();
  }
  return true;
}

void MainWindow::onDestroyed() {
  single.forget(this);
  delete this;
}

// ---- layout ----

void MainWindow::layout() {
  if (!ready_) return;
  layoutTabs();
  layoutUpdateButton();
  layoutStatusRow();
  layoutSettings();
}

void MainWindow::layoutTabs() {
  int x = kTabsLeft;
  for (int id : {kStatusTabId, kSettingsTabId}) {
    const int width = std::max(
        kTabMinWidth, textWidthDip(fonts_[gui::kFontTabSelected], caption(id), dpi_) + kTabPadding);
    placeControl(id, x, kTabTop, width, kTabHeight);
    x += width + kTabGap;
  }
  tabsEnd_ = x;
}

void MainWindow::layoutUpdateButton() {
  int width =
      textWidthDip(fonts_[gui::kFontBodyBold], caption(kUpdateButton), dpi_) + kUpdatePadding;
  width = std::min(width, kUpdateLimit - tabsEnd_);
  if (width > kUpdateMinWidth) {
    placeControl(kUpdateButton, kUpdateRight - width, kUpdateTop, width, kUpdateHeight);
  } else {
    placeControl(kUpdateButton, kUpdateNarrowLeft, kUpdateTop, kUpdateMinWidth, kUpdateHeight);
  }
  setVisible(kUpdateButton, !updateVersion_.empty());
}

void MainWindow::layoutStatusRow() {
  const bool onStatus = tab_ == Tab::Status;
  const bool questieButton = onStatus && folderOk_ && !questieOk_;
  const HFONT captionFont = fonts_[gui::kFontCaption];
  const int setupWidth = std::max(
      kSetupMinWidth, textWidthDip(captionFont, caption(kSetupButton), dpi_) + kButtonPadding);
  placeControl(kSetupButton, kRowLeft, kRowTop, setupWidth, kRowHeight);
  int x = kRowLeft + setupWidth + kRowGap;
  if (questieButton) {
    const int width =
        std::max(kQuestieMinWidth,
                 textWidthDip(captionFont, caption(kQuestieButton), dpi_) + kButtonPadding);
    placeControl(kQuestieButton, x, kRowTop, width, kRowHeight);
    x += width + kRowGap;
  }
  const int linkWidth = textWidthDip(fonts_[gui::kFontBody], caption(kLogLink), dpi_) + kLinkSlack;
  placeControl(kLogLink, x + kLinkIndent, kRowTop, linkWidth, kRowHeight);
  setVisible(kSetupButton, onStatus);
  setVisible(kQuestieButton, questieButton);
  setVisible(kLogLink, onStatus);
}

void MainWindow::layoutSettings() {
  const bool onSettings = tab_ == Tab::Settings;
  const int count = languageCount();
  int x = kColumnLeft;
  for (int i = 0; i < count; ++i) {
    const int width = kColumnWidth / count + (i == count - 1 ? kColumnWidth % count : 0);
    placeControl(kLanguageSegment + i, x, kSegmentTop, width, kSegmentHeight);
    setVisible(kLanguageSegment + i, onSettings);
    x += width;
  }
  const int browseWidth = std::max(
      kBrowseMinWidth,
      textWidthDip(fonts_[gui::kFontCaption], caption(kBrowseButton), dpi_) + kCaptionPadding);
  const int browseLeft = kColumnLeft + kColumnWidth - browseWidth;
  placeEdit(kFolderEdit, kColumnLeft, kFolderTop, browseLeft - kFieldGap - kColumnLeft,
            kFolderHeight);
  showEdit(kFolderEdit, onSettings);
  placeControl(kBrowseButton, browseLeft, kFolderTop, browseWidth, kFolderHeight);
  placeControl(kAutostartBox, kColumnLeft, 364, kColumnWidth, 28);
  placeControl(kSaveButton, 676, 552, 180, 40);
  for (int id : {kBrowseButton, kAutostartBox, kSaveButton}) setVisible(id, onSettings);
}

// ---- painting ----

// The frame lies in the margin, where only the halo reaches; both are here.
void MainWindow::paintBackdrop(HDC dc, const RECT& clientRect) {
  gui::paintBackground(dc, clientRect);
  gui::paintHalo(dc, scale(74), scale(66), scale(70));
  gui::paintDarkPanel(dc, dip(22, 178, 878, 618), dpi_, true);
  gui::paintFrame(dc, clientRect, dpi_);
  gui::paintEmblem(dc, dip(26, 18, 122, 114));
}

// The status page's panels lie under nothing that paint() draws before them.
int MainWindow::firstLayer() const { return tab_ == Tab::Status ? kStatusPanelsLayer : 0; }

void MainWindow::paintFirstLayer(HDC dc, int layer) {
  if (layer == kStatusPanelsLayer) paintStatusPanels(dc);
}

void MainWindow::paintStatusPanels(HDC dc) {
  gui::paintParchmentPanel(dc, dip(44, 200, 544, 530), dpi_);
  gui::paintParchmentPanel(dc, dip(564, 346, 856, 530), dpi_);
}

void MainWindow::paint(HDC dc, const RECT&) {
  paintHeader(dc);
  gui::paintDivider(dc, scale(30), scale(870), scale(126), dpi_);
  paintUpdateNotice(dc);
  if (tab_ == Tab::Status) {
    paintStatusTab(dc);
  } else {
    paintSettingsTab(dc);
  }
  paintEditFrames(dc);
  paintControls(dc);
}

void MainWindow::paintHeader(HDC dc) {
  RECT title = dip(134, 20, 534, 76);
  RECT shadow = title;
  OffsetRect(&shadow, scale(2), scale(2));
  gui::drawLabel(dc, fonts_[gui::kFontTitle], kBlack, shadow, kProductName, kOneLine);
  gui::drawLabel(dc, fonts_[gui::kFontTitle], gui::kColorGoldHighlight, title, kProductName,
                 kOneLine);
  gui::drawLabel(dc, fonts_[gui::kFontItalic], gui::kColorGreyBeige, dip(137, 76, 557, 98),
                 tr("main.sub"), kOneLine);
  if (!stateKnown_) return;  // no pill rather than a wrong one

  const bool good = appStatus_ == AppStatus::Ready;
  const std::wstring text =
      tr(statusKey(appStatus_, {"pill.ready", "pill.nowow", "pill.noaddon", "pill.addonblocked"}));
  const int left =
      scale(870) - gui::measureTextWidth(dc, fonts_[gui::kFontBodyBold], text) - scale(48);
  gui::paintPill(dc, {left, scale(45), scale(870), scale(73)}, dpi_, good);
  gui::paintStatusOrb(dc, left + scale(16), scale(59), dpi_,
                      good ? gui::OrbState::Active : gui::OrbState::Warning);
  gui::drawLabel(dc, fonts_[gui::kFontBodyBold], good ? gui::kColorPillReady : gui::kColorWarning,
                 {left + scale(32), scale(45), scale(858), scale(73)}, text, kOneLine);
}

void MainWindow::paintUpdateNotice(HDC dc) {
  if (!updateVersion_.empty() || updatedVersion_.empty()) return;
  const std::wstring text = trFormat("upd.done.short", "version", toWide(updatedVersion_));
  const int height =
      gui::measureWrappedHeight(dc, fonts_[gui::kFontSmall], scale(834 - tabsEnd_), text);
  const int top = scale(160) - height / 2;
  gui::paintStatusOrb(dc, scale(tabsEnd_ + 22), scale(160), dpi_, gui::OrbState::Ok);
  gui::drawLabel(dc, fonts_[gui::kFontSmall], gui::kColorLightText,
                 {scale(tabsEnd_ + 36), top, scale(870), top + height}, text, kWrapped);
}

void MainWindow::paintStatusLine(HDC dc, int& y, const std::wstring& text,
                                 const std::wstring& detail, gui::OrbState orb) {
  gui::paintStatusOrb(dc, scale(78), scale(y + 13), dpi_, orb);
  int extra = 0;
  const LineFit fit = fitStatusLine(fonts_, text, kLineLeft, kLineRight, dpi_);
  if (fit == LineFit::kSmallTwoLines) {
    gui::drawLabel(dc, fonts_[gui::kFontSmall], gui::kColorDarkText,
                   dip(kLineLeft, y + kWrappedTop, kLineRight, y + kWrappedBottom), text,
                   kWrappedEllipsis);
    extra = kSecondLine;
  } else {
    gui::drawLabel(dc, fonts_[fit == LineFit::kBody ? gui::kFontBody : gui::kFontSmall],
                   gui::kColorDarkText, dip(kLineLeft, y, kLineRight, y + kLineHeight), text,
                   kOneLineEllipsis);
  }
  if (!detail.empty()) {
    gui::drawLabel(dc, fonts_[gui::kFontSmall], gui::kColorDarkTextSecondary,
                   dip(kLineLeft, y + extra + kDetailTop, kLineRight, y + extra + kDetailBottom),
                   detail, kOneLinePath);
    extra += kSecondLine;
  }
  y += kLineStep + extra;
}

void MainWindow::paintStatusTab(HDC dc) {
  if (layerOnBackdrop() != kStatusPanelsLayer) paintStatusPanels(dc);
  gui::drawLabel(dc, fonts_[gui::kFontTabSelected], gui::kColorDarkText, dip(66, 214, 522, 240),
                 tr("st.title"), kOneLine);
  int y = 252;
  paintStatusLine(dc, y, tr("st.app.run"), L"", gui::OrbState::Ok);
  // Until the first check of the folder answers, no line claims anything of it.
  if (stateKnown_) {
    if (folderOk_) {
      paintStatusLine(dc, y, tr("st.folder.ok"), folder_, gui::OrbState::Ok);
    } else {
      paintStatusLine(dc, y, tr("st.folder.bad"), L"", gui::OrbState::Warning);
    }
    paintStatusLine(dc, y, tr(gameActive_ ? "st.wow.on" : "st.wow.off"), L"",
                    gameActive_ ? gui::OrbState::Ok : gui::OrbState::Neutral);
    // Without a game folder nothing is known of what is installed in it.
    const PresenceLine addon =
        presenceLine(folderOk_, addonOk_, "wz.wow.addon.ok", "st.addon.bad", "st.addon.unknown");
    const PresenceLine questie = presenceLine(folderOk_, questieOk_, "st.questie.ok",
                                            "st.questie.bad", "st.questie.unknown");
    const AddonLine placing = addonLine(addonReport_, addonWorking_, folder_);
    if (placing.text.empty()) {
      paintStatusLine(dc, y, tr(addon.key), L"", addon.orb);
    } else {
      paintStatusLine(dc, y, placing.text, L"", placing.orb);
    }
    paintStatusLine(dc, y, tr(questie.key), L"", questie.orb);
  }

  gui::drawLabel(dc, fonts_[gui::kFontTabSelected], gui::kColorDarkText, dip(584, 358, 704, 382),
                 tr("st.game"), kOneLine);
  // One DIP more above and below than the panel's row: the large command's
  // line is taller than 36 DIPs, and its middle stays where it was.
  gui::drawLabel(dc, fonts_[gui::kFontCommand], gui::kColorDarkText, dip(704, 351, 836, 389),
                 kSlashCommand, kOneLineRight);
  gui::drawLabel(dc, fonts_[gui::kFontSmall], gui::kColorDarkTextSecondary, dip(584, 394, 836, 518),
                 tr("st.game.text"), kWrappedEllipsis);
  const std::wstring version = std::wstring(kProductName) + L" " + toWide(APP_VERSION);
  gui::drawLabel(dc, fonts_[gui::kFontSmall], gui::kColorGreyBeige, dip(564, 546, 852, 584),
                 version, kOneLineRight);
}

void MainWindow::paintSettingsTab(HDC dc) {
  gui::drawLabel(dc, fonts_[gui::kFontTabSelected], gui::kColorGold, dip(464, 200, 856, 224),
                 tr("se.lang"), kOneLine);
  gui::drawLabel(dc, fonts_[gui::kFontTabSelected], gui::kColorGold, dip(464, 280, 856, 304),
                 tr("se.folder"), kOneLine);
  if (!message_.empty()) {
    const gui::OrbState orb = saving_      ? gui::OrbState::Neutral
                              : messageOk_ ? gui::OrbState::Ok
                                           : gui::OrbState::Warning;
    const COLORREF colour = saving_      ? gui::kColorGreyBeige
                            : messageOk_ ? gui::kColorSuccess
                                         : gui::kColorWarning;
    gui::paintStatusOrb(dc, scale(474), scale(420), dpi_, orb);
    gui::drawLabel(dc, fonts_[gui::kFontSmall], colour,
                   dip(492, 409, 856, kMessageBottom), message_, kWrappedEllipsis);
  }
  ScopedGdiObject pen(CreatePen(PS_SOLID, 1, gui::kColorSeparator));
  if (!pen.valid()) return;
  HGDIOBJ old = SelectObject(dc, pen.get());
  MoveToEx(dc, scale(450), scale(206), nullptr);
  LineTo(dc, scale(450), scale(590));
  SelectObject(dc, old);
}

}  // namespace mainwnd
}  // namespace ui

void openMainWindow(ui::WindowHost& host, ui::mainwnd::TabRequest tab) {
  using ui::mainwnd::MainWindow;
  ui::mainwnd::single.show([&](MainWindow& open) { open.reopen(tab); },
                           [&] { return new MainWindow(host, tab); },
                           "main window could not be created");
}

void refreshMainWindow() { ui::mainwnd::single.refresh(); }

void closeMainWindow() { ui::mainwnd::single.close(); }

HWND mainWindowHandle() { return ui::mainwnd::single.handle(); }
