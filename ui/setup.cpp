#include "ui/setup.h"

#include <algorithm>

#include "base/paths.h"
#include "base/text.h"
#include "game/addon.h"
#include "game/folder.h"
#include "gui/paint.h"
#include "gui/scoped_gdi.h"
#include "gui/shell.h"
#include "i18n/i18n.h"
#include "storage/files.h"
#include "storage/log.h"
#include "ui/common.h"
#include "ui/single_window.h"

namespace ui {
namespace setup {
namespace {

SingleWindow<Setup> single;

constexpr int kWidthDip = 780;
constexpr int kHeightDip = 560;
constexpr int kFolderMaxChars = 260;
// The folder typed into the field is read once typing pauses this long, so
// the status lines describe what the field holds.
constexpr UINT kTypingPauseMs = 400;
constexpr UINT_PTR kTypingTimer = 3;
// Posted by the folder check's worker; above the notification-area window's
// messages, so that it never means anything to that window.
constexpr UINT kStateArrived = WM_APP + 0x22;

struct PageTexts {
  const char* step;
  const char* heading;
  const char* body;
};
constexpr PageTexts kPages[kPageCount] = {
    {"wz.s1", "wz.welcome.h", "wz.welcome.text"},
    {"wz.s2", "wz.lang.h", "wz.lang.t"},
    {"wz.s4", "wz.wow.h", "wz.wow.t"},
    {"wz.s5", "wz.done.h", "wz.done.text"},
};

// The page's column right of the sidebar.
constexpr int kContentLeft = 286, kContentRight = 746;
constexpr int kBodyTop = 84, kBodyBottom = 484, kBodyGap = 20;
constexpr int kDividerY = 480;
// Language cards in two columns.
constexpr int kCardColumnStep = 234, kCardRowStep = 66, kCardWidth = 226, kCardHeight = 58;
constexpr int kNoteGap = 10, kNoteHeight = 40, kNoteBottomMargin = 4;
// The World of Warcraft page: field, status lines and the Questie link. A
// status line too long for its line takes two in the smaller font, and what
// follows moves down by the second line.
constexpr int kFieldHeight = 38, kFieldGap = 8, kBrowseMinWidth = 104, kCaptionPadding = 24;
constexpr int kLinesOffset = 56, kLineStep = 36, kLineHeight = 28, kSecondLine = 18;
constexpr int kLineLeft = 314, kWrappedTop = 5, kWrappedBottom = 42;
constexpr int kBelowLinkTop = -6, kBelowLinkHeight = 26;
constexpr int kCheckGap = 24, kCheckMinWidth = 180, kCheckHeight = 36;
// Between a Questie link on a row of its own and Check again.
constexpr int kLinkClearance = 12;
constexpr int kMessageGap = 16, kMessageHeight = 40, kMessageBottom = 476;
// A message too long for its place beside Check again starts higher, but
// this far below the status lines at most.
constexpr int kMessageClearance = 4;
// Under the Done page's panel: that Finish waits for the folder's answer, or
// why it could not store the choices (up to three lines, beside an orb).
constexpr int kDoneNoteGap = 12, kDoneNoteHeight = 40, kNotSavedHeight = 60;
// The Done page's panel and its text, inset from its sides.
constexpr int kPanelHeight = 96, kPanelTextLeft = 302, kPanelTextRight = 730;
constexpr int kNoteOrbX = 8, kNoteOrbY = 10, kNoteTextIndent = 24;
constexpr int kLinkGap = 12, kLinkIndent = 28, kLinkSlack = 4, kLinkRoom = 44;
// The welcome page's list of needs.
constexpr int kNeedTextWidth = 396, kNeedMinHeight = 22, kNeedGap = 10;

// The language cards are one arrow-key group.
constexpr int kCardGroup = 1;

constexpr UINT kOneLine = DT_VCENTER | DT_SINGLELINE;
constexpr UINT kOneLineEllipsis = kOneLine | DT_END_ELLIPSIS;
constexpr UINT kCentred = DT_CENTER | kOneLine;
constexpr UINT kWrappedEllipsis = DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS;

int toDip(int pixels, UINT dpi) { return MulDiv(pixels, 96, static_cast<int>(dpi)); }

int clampPage(int n) { return std::min(std::max(n, 0), kPageCount - 1); }

int languageCount() { return static_cast<int>(languageTable().size()); }

// Every text each status line may show. A line takes the room of its
// longest, so that nothing under the lines moves whatever a check finds.
constexpr int kLineVariants = 9;
const char* const kLineTexts[3][kLineVariants] = {
    {"wz.wow.folder.ok", "wz.wow.folder.bad", "se.checking"},
    {"wz.wow.addon.ok", "wz.wow.addon.bad", "st.addon.unknown", "addon.working",
     "addon.link", "addon.denied", "addon.full", "addon.inuse", "addon.failed"},
    {"wz.wow.questie.ok", "wz.wow.questie.bad", "st.questie.unknown"},
};

}  // namespace

Setup* setupWindow() { return single.get(); }

Setup::Setup(WindowHost& host, int page) : host_(host), page_(page) {}

Setup::~Setup() = default;

RECT Setup::dip(int left, int top, int right, int bottom) const {
  return dipRect(dpi_, left, top, right, bottom);
}

bool Setup::open() {
  gui::registerSurfaceClass(kWindowClass);
  if (!create(kWindowClass, tr("wz.title"), kWidthDip, kHeightDip, nullptr)) return false;
  addControl(kBackButton, gui::ControlKind::Button, L"", L"");
  addControl(kNextButton, gui::ControlKind::PrimaryButton, L"", L"");
  for (int i = 0; i < languageCount(); ++i)
    addControl(kLanguageCard + i, gui::ControlKind::OptionCard, L"", L"")->group = kCardGroup;
  addControl(kBrowseButton, gui::ControlKind::Button, L"", L"");
  addControl(kCheckButton, gui::ControlKind::Button, L"", L"");
  addControl(kQuestieLink, gui::ControlKind::Link, L"", L"");
  addEdit(kFolderEdit, 0, kFolderMaxChars, false);  // made when the game page shows
  setEditText(kFolderEdit, host_.snapshot().foreverDir);
  ready_ = true;
  goToPage(page_);
  ShowWindow(window_, SW_SHOWNORMAL);
  SetForegroundWindow(window_);
  return true;
}

void Setup::goToPage(int n) {
  page_ = clampPage(n);
  message_.clear();
  waiting_ = Waiting::kNothing;
  if (page_ == kGamePage) {
    checkFolder();
    if (check_.wait(kQuickAnswerMs)) takeCheck();  // a local folder is shown at once
  } else if (page_ == kDonePage && !fieldKnown()) {
    checkFolder();  // read by the time Finish is pressed
  }
  if (page_ == kDonePage) {
    folderFound_ = (fieldKnown() && folderOk_) || storedFolderOk();
  }
  update();
  focusInitial();
}

void Setup::update() {
  addonReport_ = host_.addonReport();
  addonWorking_ = host_.addonWorking();
  applyTexts();
  layout();
  keepFocusValid();
  invalidate();
}

// Where the focus goes when a page appears (a user most likely wants):
//   Welcome, Done:      the forward button (Next, Finish);
//   Language:           the card of the language in use;
//   World of Warcraft:  Next when the folder is a game folder, else the
//                       folder field.
int Setup::initialFocus() {
  if (page_ == kLanguagePage) {
    for (int i = 0; i < languageCount(); ++i) {
      const gui::Control* card = findControl(kLanguageCard + i);
      if (card && card->checked) return card->id;
    }
    return kLanguageCard;
  }
  if (page_ == kGamePage && !folderOk_) return kFolderEdit;
  return kNextButton;
}

// Enter where no control has the focus goes forward.
int Setup::defaultButton() { return kNextButton; }

std::wstring Setup::actionName(gui::ControlKind kind, bool checked) const {
  return ui::actionName(kind, checked);
}

void Setup::applyTexts() {
  if (window_) SetWindowTextW(window_, tr("wz.title").c_str());
  setTexts(kBackButton, tr("wz.back"), L"");
  setTexts(kNextButton, tr(page_ == kDonePage ? "wz.finish" : "wz.next"), L"");
  const std::string language = currentLanguage();
  const auto& languages = languageTable();
  for (size_t i = 0; i < languages.size(); ++i) {
    const int id = kLanguageCard + static_cast<int>(i);
    setTexts(id, languages[i].nativeName, languages[i].description);
    setChecked(id, languages[i].code == language);
  }
  setEditLabel(kFolderEdit, tr("se.folder"));
  setTexts(kBrowseButton, tr("se.browse"), L"");
  setTexts(kCheckButton, tr("wz.wow.check"), L"");
  setTexts(kQuestieLink, tr("st.getquestie"), L"");
}

std::wstring Setup::fieldText() { return trimWide(getEditText(kFolderEdit)); }

void Setup::setFieldText(const std::wstring& text) {
  settingField_ = true;  // not typing: nothing to check again
  setEditText(kFolderEdit, text);
  settingField_ = false;
}

// The status lines describe what the field holds, and no check may change that.
bool Setup::fieldKnown() {
  return stateKnown_ && !check_.pending() && !typing_ && shownText_ == fieldText();
}

// Reading a drive may take seconds (a sleeping disk, a network share): the
// worker reads, and the answer arrives as kStateArrived.
void Setup::checkFolder() {
  if (typing_) KillTimer(window_, kTypingTimer);
  typing_ = false;
  const std::wstring text = fieldText();
  // One check at a time: a running one's answer finds the field changed and
  // starts this one then.
  if (check_.startTyped(window_, kStateArrived, text)) checkedText_ = text;
  if (!check_.pending()) waiting_ = Waiting::kNothing;  // no worker: nothing will answer
}

void Setup::checkThen(Waiting then) {
  waiting_ = then;
  message_.clear();
  checkFolder();
  if (check_.wait(kQuickAnswerMs)) {
    takeCheck();  // a local folder: no "checking" shows
  } else {
    update();
  }
}

void Setup::takeCheck() {
  GameState state;
  if (!check_.take(state)) return;  // still running, or the late message of a taken one
  const std::wstring text = fieldText();
  if (text != checkedText_) {
    // Typed on while it was read: the pause's timer checks, or at once when
    // Next or Finish waits.
    if (!typing_ || waiting_ != Waiting::kNothing) checkFolder();
    return;
  }
  folderOk_ = state.folderOk;
  addonOk_ = state.addonOk;
  questieOk_ = state.questieOk;
  stateKnown_ = true;
  // The field always shows the normalised game folder; a bad one stays as typed.
  if (folderOk_ && state.folder != text) setFieldText(state.folder);
  shownText_ = fieldText();
  const Waiting then = waiting_;
  waiting_ = Waiting::kNothing;
  if (then == Waiting::kNext && folderOk_) {
    if (storeFolder()) goToPage(kDonePage);
    return;
  }
  if (then == Waiting::kFinish) {
    store();
    return;
  }
  if (then == Waiting::kNext) message_ = tr("se.badfolder");
  if (page_ == kDonePage) folderFound_ = folderOk_ || storedFolderOk();
  update();
}

void Setup::next() {
  // An empty field does not stop the wizard: the folder can be set later.
  if (page_ == kGamePage && !fieldText().empty()) {
    checkThen(Waiting::kNext);
    return;
  }
  if (page_ == kDonePage) {
    finish();
    return;
  }
  goToPage(page_ + 1);
}

void Setup::finish() {
  if (fieldKnown()) {
    store();
  } else {
    checkThen(Waiting::kFinish);
  }
}

// The folder is stored when the World of Warcraft page is left with it, as a
// language is when its card is picked: the addon is placed there now, and
// the Done page tells truly how that went.
bool Setup::storeFolder() {
  Settings settings = host_.snapshot();
  if (settings.foreverDir == shownText_) return true;
  settings.foreverDir = shownText_;
  const WriteResult saved = host_.applySettings(settings);
  if (!saved) {
    message_ = notSavedText(saved);
    update();
  }
  return saved.ok();
}

void Setup::store() {
  Settings settings = host_.snapshot();
  if (folderOk_) settings.foreverDir = shownText_;  // else the stored folder stays
  const bool found = folderOk_ || storedFolderOk();
  settings.language = currentLanguage();
  settings.wizardDone = true;
  // While the addon is still being placed (before this save asks again),
  // "ready" would be a guess.
  const bool placing = found && host_.addonWorking();
  // The notification area reads the folder anew.
  const WriteResult saved = host_.applySettings(settings);
  if (!saved) {
    // Not finished until stored: the wizard stays, the choices as they are,
    // for Finish to be pressed again.
    message_ = notSavedText(saved);
    update();
    return;
  }
  logLine("first-run setup finished");
  const bool blocked = addonBlocked();
  WindowHost& host = host_;
  DestroyWindow(window_);  // deletes this object: nothing of it is touched after
  if (found && blocked) {
    host.announce("tray.balloon.title", "tray.noaddon.text");
  } else if (placing) {
    host.announce("tray.balloon.title", "tray.running.text");
  } else if (found) {
    host.announce("tray.ready.title", "tray.ready.text");
  } else {
    host.announce("tray.balloon.title", "tray.nofolder.text");
  }
}

// Finish keeps the folder stored before when the field holds no game folder:
// whether that is one, as it was last read.
bool Setup::storedFolderOk() const {
  return host_.gameStateKnown() && host_.status() != AppStatus::NoGameFolder;
}

// The addon's line for the stored folder: placing, or why it could not be placed.
AddonLine Setup::addonNote() const {
  return addonLine(addonReport_, addonWorking_, host_.gameFolder());
}

bool Setup::addonBlocked() const {
  return folderFound_ && addonNote().orb == gui::OrbState::Warning;
}

// The Done page without a game folder, or whose addon could not be placed,
// says so rather than "ready".
const char* Setup::headingKey() const {
  const bool almost = !folderFound_ || addonBlocked();
  return page_ == kDonePage && almost ? "wz.done.nofolder.h" : kPages[page_].heading;
}

// Nor does the sidebar's last step.
const char* Setup::stepKey(int step) const {
  const bool almost = !folderFound_ || addonBlocked();
  return step == kDonePage && page_ == kDonePage && almost ? "wz.done.nofolder.h"
                                                           : kPages[step].step;
}

const char* Setup::bodyKey() const {
  if (page_ != kDonePage) return kPages[page_].body;
  if (!folderFound_) return "wz.done.nofolder.text";
  return addonBlocked() ? "wz.done.noaddon.text" : kPages[page_].body;
}

// Steps behind are ticked, but for a World of Warcraft step that left no
// game folder.
gui::OrbState Setup::stepOrb(int step) const {
  if (step == page_) return gui::OrbState::Active;
  if (step > page_) return gui::OrbState::Pending;
  const bool folderLeftOpen = step == kGamePage && page_ == kDonePage && !folderFound_;
  return folderLeftOpen ? gui::OrbState::Warning : gui::OrbState::Done;
}

bool Setup::stillOpen(HWND handle) const {
  // A shell call or the folder picker pumps messages: the wizard may be gone.
  return single.isOpen(this) && window_ == handle && IsWindow(handle);
}

void Setup::onClick(int id) {
  const HWND handle = window_;
  switch (id) {
    case kBackButton:
      goToPage(page_ - 1);
      return;
    case kNextButton:
      next();
      return;
    case kBrowseButton: {
      const std::wstring chosen = gui::pickFolder(window_, tr("se.pickfolder"),
                                                       normalizeFolder(getEditText(kFolderEdit)));
      if (!stillOpen(handle)) return;
      if (!chosen.empty()) {
        setFieldText(chosen);  // its game folder replaces it once read
        message_.clear();
        waiting_ = Waiting::kNothing;
        checkFolder();
      }
      break;
    }
    case kCheckButton:
      message_.clear();
      waiting_ = Waiting::kNothing;
      checkFolder();
      break;
    case kQuestieLink:
      gui::openInShell(kQuestiePage);
      if (!stillOpen(handle)) return;
      break;
    default:
      if (id >= kLanguageCard && id < kLanguageCard + languageCount()) {
        const std::string& code = languageTable()[static_cast<size_t>(id - kLanguageCard)].code;
        Settings settings = host_.snapshot();
        // The whole application, this wizard included, switches at once.
        if (settings.language != code) {
          settings.language = code;
          host_.applySettings(settings);
        }
      }
      break;
  }
  update();
}

void Setup::onCommand(int id, int code) {
  if (id == IDOK) next();  // Enter from the message loop's dialog handling
  if (id != kFolderEdit || code != EN_CHANGE || settingField_) return;
  // Typed: what the lines and the message say is of the text before; the
  // new text is read once typing pauses, and a waiting Next is off.
  typing_ = SetTimer(window_, kTypingTimer, kTypingPauseMs, nullptr) != 0;
  waiting_ = Waiting::kNothing;
  if (!message_.empty()) {
    message_.clear();
    invalidate();
  }
}

bool Setup::handleMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
  if (msg == kStateArrived) {
    takeCheck();
  } else if (msg == WM_TIMER && wParam == kTypingTimer) {
    checkFolder();
  } else {
    return false;
  }
  result = 0;
  return true;
}

void Setup::onDestroyed() {
  single.forget(this);
  delete this;
}

// ---- layout ----

void Setup::layout() {
  if (!ready_) return;
  {
    ScopedScreenDc screen(GetDC(nullptr));
    const int body =
        screen.valid()
            ? gui::drawRichText(screen.get(), fonts_, gui::kColorLightText, gui::kColorGold,
                                dip(kContentLeft, kBodyTop, kContentRight, kBodyBottom),
                                tr(bodyKey()), dpi_, false)
            : 0;
    contentTop_ = kBodyTop + toDip(body, dpi_) + kBodyGap;
  }
  placeControl(kBackButton, kContentLeft, 498, 120, 40);
  setVisible(kBackButton, page_ > kWelcomePage);
  placeControl(kNextButton, 586, 498, 160, 40);

  for (int id : {kBrowseButton, kCheckButton, kQuestieLink}) setVisible(id, false);
  for (int i = 0; i < languageCount(); ++i) setVisible(kLanguageCard + i, false);
  showEdit(kFolderEdit, false);
  if (page_ == kLanguagePage) {
    for (int i = 0; i < languageCount(); ++i) {
      placeControl(kLanguageCard + i, kContentLeft + (i % 2) * kCardColumnStep,
                   contentTop_ + (i / 2) * kCardRowStep, kCardWidth, kCardHeight);
      setVisible(kLanguageCard + i, true);
    }
  } else if (page_ == kGamePage) {
    layoutGamePage();
  }
}

void Setup::statusLines(StatusLine (&lines)[kStatusLines]) const {
  if (!stateKnown_) {
    // Nothing is claimed of a folder before it was read.
    lines[0] = {"se.checking", gui::OrbState::Neutral, gui::kColorGreyBeige, {}};
    lines[1] = lines[2] = {nullptr, gui::OrbState::Neutral, gui::kColorGreyBeige, {}};
    return;
  }
  lines[0] = folderOk_
                 ? StatusLine{"wz.wow.folder.ok", gui::OrbState::Ok, gui::kColorLightText, {}}
                 : StatusLine{"wz.wow.folder.bad", gui::OrbState::Warning, gui::kColorWarning, {}};
  // Without a game folder nothing is known of what is installed in it.
  const PresenceLine found[] = {
      presenceLine(folderOk_, addonOk_, "wz.wow.addon.ok", "wz.wow.addon.bad",
                   "st.addon.unknown"),
      presenceLine(folderOk_, questieOk_, "wz.wow.questie.ok", "wz.wow.questie.bad",
                   "st.questie.unknown"),
  };
  for (int i = 0; i < 2; ++i) {
    const gui::OrbState orb = found[i].orb;
    const COLORREF colour = orb == gui::OrbState::Ok        ? gui::kColorLightText
                            : orb == gui::OrbState::Warning ? gui::kColorWarning
                                                            : gui::kColorGreyBeige;
    lines[i + 1] = {found[i].key, orb, colour, {}};
  }
  // The stored folder's addon: placing, or why it could not be placed.
  const AddonLine placing = folderOk_ && shownText_ == host_.gameFolder() ? addonNote() : AddonLine();
  if (!placing.text.empty()) {
    const bool warning = placing.orb == gui::OrbState::Warning;
    lines[1] = {nullptr, placing.orb, warning ? gui::kColorWarning : gui::kColorGreyBeige,
                placing.text};
  }
}

LineFit Setup::fitLine(const std::wstring& text) const {
  return fitStatusLine(fonts_, text, kLineLeft, kContentRight, dpi_);
}

void Setup::layoutStatusLines() {
  int y = contentTop_ + kLinesOffset;
  for (int i = 0; i < kStatusLines; ++i) {
    lineTops_[i] = y;
    bool twoLines = false;
    for (const char* key : kLineTexts[i]) {
      twoLines |= key && fitLine(tr(key)) == LineFit::kSmallTwoLines;
    }
    y += kLineStep + (twoLines ? kSecondLine : 0);
  }
  linesExtra_ = y - (contentTop_ + kLinesOffset + kStatusLines * kLineStep);
}

void Setup::layoutGamePage() {
  layoutStatusLines();
  const int browseWidth =
      std::max(kBrowseMinWidth,
               textWidthDip(fonts_[gui::kFontCaption], tr("se.browse"), dpi_) + kCaptionPadding);
  const int browseLeft = kContentRight - browseWidth;
  placeEdit(kFolderEdit, kContentLeft, contentTop_, browseLeft - kFieldGap - kContentLeft,
            kFieldHeight);
  showEdit(kFolderEdit, true);
  placeControl(kBrowseButton, browseLeft, contentTop_, browseWidth, kFieldHeight);
  setVisible(kBrowseButton, true);
  // Where the link goes depends on the texts alone, so a row of its own is
  // kept for it whether it shows or not.
  const HFONT body = fonts_[gui::kFontBody];
  const int f = textWidthDip(body, tr("wz.wow.questie.bad"), dpi_);
  const int g = textWidthDip(body, tr("st.getquestie"), dpi_);
  linkBelow_ = f + g + kLinkRoom > kContentRight - kContentLeft;
  if (linkBelow_) {
    // Too long for one line: the link goes under the Questie line.
    placeControl(kQuestieLink, kContentLeft + kLinkIndent, linesBottom() + kBelowLinkTop,
                 g + kLinkSlack, kBelowLinkHeight);
  } else {
    placeControl(kQuestieLink, f + kContentLeft + kLinkIndent + kLinkGap,
                 lineTops_[kStatusLines - 1], g + kLinkSlack, kLineHeight);
  }
  setVisible(kQuestieLink, stateKnown_ && folderOk_ && !questieOk_);
  placeControl(kCheckButton, kContentLeft, checkTop(), checkWidth(), kCheckHeight);
  setVisible(kCheckButton, true);
}

int Setup::linesBottom() const {
  return contentTop_ + kLinesOffset + kStatusLines * kLineStep + linesExtra_;
}

int Setup::checkTop() const {
  if (linkBelow_) return linesBottom() + kBelowLinkTop + kBelowLinkHeight + kLinkClearance;
  return linesBottom() + kCheckGap;
}

int Setup::checkWidth() const {
  return std::max(
      kCheckMinWidth,
      textWidthDip(fonts_[gui::kFontCaption], tr("wz.wow.check"), dpi_) + kCaptionPadding);
}

// ---- painting ----

// The frame lies in the margin, where only the halo reaches; both are here,
// and the emblem, which nothing is painted under.
void Setup::paintBackdrop(HDC dc, const RECT& clientRect) {
  gui::paintBackground(dc, clientRect);
  gui::paintDarkPanel(dc, dip(18, 18, 262, 542), dpi_, true);
  gui::paintHalo(dc, scale(140), scale(96), scale(86));
  gui::paintFrame(dc, clientRect, dpi_);
  gui::paintEmblem(dc, dip(84, 40, 196, 152));
}

void Setup::paint(HDC dc, const RECT&) {
  paintSidebar(dc);
  gui::drawLabel(dc, fonts_[gui::kFontHeading], gui::kColorGold,
                 dip(kContentLeft, 30, kContentRight, 70), tr(headingKey()), kOneLineEllipsis);
  gui::drawRichText(dc, fonts_, gui::kColorLightText, gui::kColorGold,
                    dip(kContentLeft, kBodyTop, kContentRight, contentTop_), tr(bodyKey()), dpi_,
                    true);
  switch (page_) {
    case kWelcomePage:
      paintWelcome(dc);
      break;
    case kLanguagePage:
      paintLanguageNote(dc);
      break;
    case kGamePage:
      paintGamePage(dc);
      break;
    default:
      paintDone(dc);
      break;
  }
  gui::paintDivider(dc, scale(kContentLeft), scale(kContentRight), scale(kDividerY), dpi_);
  paintEditFrames(dc);
  paintControls(dc);
}

void Setup::paintSidebar(HDC dc) {
  gui::drawLabel(dc, fonts_[gui::kFontHeading], gui::kColorGoldHighlight, dip(30, 158, 250, 192),
                 kProductName, kCentred);
  gui::drawLabel(dc, fonts_[gui::kFontItalic], gui::kColorGreyBeige, dip(30, 190, 250, 210),
                 tr("app.tagline"), kCentred);
  gui::paintDivider(dc, scale(44), scale(236), scale(224), dpi_);
  for (int k = 0; k < kPageCount; ++k) {
    const int row = 274 + 38 * k;
    gui::paintStatusOrb(dc, scale(56), scale(row - 14), dpi_, stepOrb(k));
    const bool current = k == page_;
    const COLORREF colour = current     ? gui::kColorGoldHighlight
                            : k < page_ ? gui::kColorLightText
                                        : gui::kColorGreyBeige;
    gui::drawLabel(dc, fonts_[current ? gui::kFontBodyBold : gui::kFontBody], colour,
                   dip(76, row - 28, 252, row), tr(stepKey(k)), kOneLineEllipsis);
  }
}

void Setup::paintWelcome(HDC dc) {
  const std::wstring items[] = {tr("wz.need.2"), tr("wz.need.3")};
  const HFONT small = fonts_[gui::kFontSmall];
  int heights[2] = {};
  int total = 0;
  for (int i = 0; i < 2; ++i) {
    heights[i] = std::max(kNeedMinHeight, wrappedHeightDip(small, kNeedTextWidth, items[i], dpi_));
    total += heights[i] + kNeedGap;
  }
  const int top = contentTop_;
  gui::paintParchmentPanel(dc, dip(kContentLeft, top, kContentRight, top + 54 + total), dpi_);
  gui::drawLabel(dc, fonts_[gui::kFontTabSelected], gui::kColorDarkText,
                 dip(306, top + 14, 726, top + 38), tr("wz.need.h"), kOneLine);
  int y = top + 48;
  for (int i = 0; i < 2; ++i) {
    gui::paintBullet(dc, scale(314), scale(y + 11), dpi_);
    gui::drawLabel(dc, small, gui::kColorDarkText, dip(328, y + 1, 724, y + heights[i] + 5),
                   items[i], DT_WORDBREAK);
    y += heights[i] + kNeedGap;
  }
}

void Setup::paintLanguageNote(HDC dc) {
  // Below the last row of cards, and always above the divider.
  const int rows = (languageCount() + 1) / 2;
  int top = contentTop_ + (rows - 1) * kCardRowStep + kCardHeight + kNoteGap;
  top = std::min(top, kDividerY - kNoteBottomMargin - kNoteHeight);
  gui::drawLabel(dc, fonts_[gui::kFontSmall], gui::kColorGreyBeige,
                 dip(kContentLeft, top, kContentRight, top + kNoteHeight), tr("wz.lang.note.addon"),
                 DT_WORDBREAK);
}

void Setup::paintGamePage(HDC dc) {
  StatusLine lines[kStatusLines];
  statusLines(lines);
  for (int i = 0; i < kStatusLines; ++i) {
    if (!lines[i].key && lines[i].text.empty()) continue;
    const int y = lineTops_[i];
    const std::wstring text = lines[i].key ? tr(lines[i].key) : lines[i].text;
    gui::paintStatusOrb(dc, scale(296), scale(y + 14), dpi_, lines[i].orb);
    const LineFit fit = fitLine(text);
    if (fit == LineFit::kSmallTwoLines) {
      gui::drawLabel(dc, fonts_[gui::kFontSmall], lines[i].colour,
                     dip(kLineLeft, y + kWrappedTop, kContentRight, y + kWrappedBottom), text,
                     kWrappedEllipsis);
    } else {
      gui::drawLabel(dc, fonts_[fit == LineFit::kBody ? gui::kFontBody : gui::kFontSmall],
                     lines[i].colour, dip(kLineLeft, y, kContentRight, y + kLineHeight), text,
                     kOneLineEllipsis);
    }
  }
  // Beside Check again: why Next refused the folder, or that Next waits.
  const bool waiting = waiting_ == Waiting::kNext;
  if (!message_.empty() || waiting) {
    const std::wstring text = waiting ? tr("se.checking") : message_;
    gui::drawLabel(dc, fonts_[gui::kFontSmall], waiting ? gui::kColorGreyBeige : gui::kColorWarning,
                   messageBox(dc, text), text, DT_WORDBREAK);
  }
}

// Beside Check again, from its top down to the divider; a text longer than
// that starts higher, as far as the status lines let it.
RECT Setup::messageBox(HDC dc, const std::wstring& text) const {
  const int left = kContentLeft + checkWidth() + kMessageGap;
  const int top = checkTop();
  const int bottom = std::max(top + kMessageHeight, kMessageBottom);
  const int width = scale(kContentRight) - scale(left);
  const int need = gui::measureWrappedHeight(dc, fonts_[gui::kFontSmall], width, text);
  const int needDip = (need * 96 + static_cast<int>(dpi_) - 1) / static_cast<int>(dpi_);
  const int raised = std::max(bottom - needDip, linesBottom() + kMessageClearance);
  return dip(left, std::min(top, raised), kContentRight, bottom);
}

// What to do next: the command to type in the game, or, without a game
// folder, where to choose it.
void Setup::paintDone(HDC dc) {
  const int top = contentTop_;
  gui::paintParchmentPanel(dc, dip(kContentLeft, top, kContentRight, top + kPanelHeight), dpi_);
  gui::drawLabel(dc, fonts_[gui::kFontSmall], gui::kColorDarkTextSecondary,
                 dip(kPanelTextLeft, top + 14, kPanelTextRight, top + 36),
                 tr(folderFound_ ? "wz.done.cmd" : "wz.done.later"), kOneLine);
  gui::drawLabel(dc, fonts_[gui::kFontCommand], gui::kColorDarkText,
                 dip(kPanelTextLeft, top + 38, kPanelTextRight, top + 82),
                 folderFound_ ? std::wstring(kSlashCommand) : tr("tab.settings"), kOneLine);
  const int noteTop = top + kPanelHeight + kDoneNoteGap;
  if (waiting_ == Waiting::kFinish) {
    gui::drawLabel(dc, fonts_[gui::kFontSmall], gui::kColorGreyBeige,
                   dip(kContentLeft, noteTop, kContentRight, noteTop + kDoneNoteHeight),
                   tr("se.checking"), DT_WORDBREAK);
    return;
  }
  const AddonLine note = folderFound_ ? addonNote() : AddonLine();
  const std::wstring text = message_.empty() ? note.text : message_;
  if (text.empty()) return;
  const bool warning = !message_.empty() || note.orb == gui::OrbState::Warning;
  gui::paintStatusOrb(dc, scale(kContentLeft + kNoteOrbX), scale(noteTop + kNoteOrbY), dpi_,
                      warning ? gui::OrbState::Warning : gui::OrbState::Neutral);
  gui::drawLabel(dc, fonts_[gui::kFontSmall], warning ? gui::kColorWarning : gui::kColorGreyBeige,
                 dip(kContentLeft + kNoteTextIndent, noteTop, kContentRight,
                     noteTop + kNotSavedHeight),
                 text, kWrappedEllipsis);
}

}  // namespace setup
}  // namespace ui

void openSetup(ui::WindowHost& host, int page) {
  using ui::setup::Setup;
  ui::setup::single.show(
      [&](Setup& open) {
        open.goToPage(page);
        ui::bringToFront(open.hwnd());
      },
      [&] { return new Setup(host, page); }, "setup wizard could not be created");
}

void refreshSetup() { ui::setup::single.refresh(); }

void closeSetup() { ui::setup::single.close(); }

HWND setupWindowHandle() { return ui::setup::single.handle(); }
