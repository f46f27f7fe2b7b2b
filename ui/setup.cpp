#include "ui/setup.h"

#include <algorithm>

#include "app/app.h"
#include "app/tray.h"
#include "game/addon.h"
#include "game/folder.h"
#include "gui/paint.h"
#include "gui/shell.h"
#include "i18n/i18n.h"
#include "storage/files.h"
#include "storage/log.h"
#include "storage/scoped_win.h"
#include "ui/common.h"

namespace ui {
namespace setup {
namespace {

Setup* instance = nullptr;

constexpr int kWidthDip = 780;
constexpr int kHeightDip = 560;
constexpr int kFolderMaxChars = 260;

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
constexpr int kCardColumnStep = 236, kCardRowStep = 66, kCardWidth = 224, kCardHeight = 58;
constexpr int kNoteGap = 10, kNoteHeight = 40, kNoteBottomMargin = 4;
// The World of Warcraft page: field, status lines and the Questie link. A
// status line too long for its line takes two in the smaller font, and what
// follows moves down by the second line.
constexpr int kFieldHeight = 38, kFieldGap = 8, kBrowseMinWidth = 104, kCaptionPadding = 24;
constexpr int kLinesOffset = 56, kLineStep = 36, kLineHeight = 28, kSecondLine = 18;
constexpr int kLineLeft = 314, kWrappedTop = 5, kWrappedBottom = 42;
constexpr int kBelowQuestieOffset = 158, kBelowLinkHeight = 26;
constexpr int kCheckOffset = 188, kCheckMinWidth = 180, kCheckHeight = 36;
constexpr int kMessageGap = 16, kMessageHeight = 40, kMessageBottom = 476;
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

}  // namespace

Setup* setupWindow() { return instance; }

Setup::Setup(int page) : page_(page) {}

Setup::~Setup() = default;

RECT Setup::dip(int left, int top, int right, int bottom) const {
  return dipRect(dpi_, left, top, right, bottom);
}

bool Setup::open() {
  if (!create(gui::kSetupWindowClass, tr("wz.title"), kWidthDip, kHeightDip, nullptr)) return false;
  addControl(kBackButton, gui::kButton, L"", L"");
  addControl(kNextButton, gui::kPrimaryButton, L"", L"");
  for (int i = 0; i < languageCount(); ++i)
    addControl(kLanguageCard + i, gui::kOptionCard, L"", L"")->group = kCardGroup;
  addControl(kBrowseButton, gui::kButton, L"", L"");
  addControl(kCheckButton, gui::kButton, L"", L"");
  addControl(kQuestieLink, gui::kLink, L"", L"");
  addEdit(kFolderEdit, 0, kFolderMaxChars, false);  // made when the game page shows
  App* app = trayController();
  setEditText(kFolderEdit, app ? app->snapshot().foreverDir : std::wstring());
  ready_ = true;
  goToPage(page_);
  ShowWindow(window_, SW_SHOWNORMAL);
  SetForegroundWindow(window_);
  return true;
}

void Setup::goToPage(int n) {
  page_ = clampPage(n);
  message_.clear();
  if (page_ == kGamePage) checkFolder();
  if (page_ == kDonePage) {
    App* app = trayController();
    Settings settings = app ? app->snapshot() : Settings();
    folderFound_ = takeFinishFolder(settings);
  }
  update();
  focusInitial();
}

void Setup::update() {
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

std::wstring Setup::actionName(int kind, bool checked) const {
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

void Setup::checkFolder() {
  const std::wstring resolved = resolveForeverDir(trimWide(getEditText(kFolderEdit)));
  folderOk_ = !resolved.empty() && isGameFolder(resolved);
  addonOk_ = folderOk_ && addonPresent(resolved);
  questieOk_ = folderOk_ && questiePresent(resolved);
  // The field always shows the normalised game folder; a bad one stays as typed.
  if (folderOk_ && resolved != trimWide(getEditText(kFolderEdit))) {
    setEditText(kFolderEdit, resolved);
  }
}

void Setup::next() {
  if (page_ == kGamePage) {
    const std::wstring text = trimWide(getEditText(kFolderEdit));
    // An empty field does not stop the wizard: the folder can be set later.
    if (!text.empty() && !isGameFolder(resolveForeverDir(text))) {
      checkFolder();
      message_ = tr("se.badfolder");
      layout();
      invalidate();
      return;
    }
  }
  if (page_ == kDonePage) {
    finish();
    return;
  }
  goToPage(page_ + 1);
}

void Setup::finish() {
  App* app = trayController();
  if (!app) return;
  Settings settings = app->snapshot();
  const bool found = takeFinishFolder(settings);
  settings.language = currentLanguage();
  settings.wizardDone = true;
  app->applySettings(settings);
  logLine("first-run setup finished");
  DestroyWindow(window_);  // deletes this object: nothing of it is touched after
  if (found) {
    showBalloonKeys("tray.ready.title", "tray.ready.text");
  } else {
    showBalloonKeys("tray.balloon.title", "tray.nofolder.text");
  }
}

// The folder Finish stores: the field's when it holds a game folder, else
// the one stored before. True when that is a game folder.
bool Setup::takeFinishFolder(Settings& settings) const {
  const std::wstring resolved = resolveForeverDir(trimWide(getEditText(kFolderEdit)));
  if (!resolved.empty() && isGameFolder(resolved)) {
    settings.foreverDir = resolved;
    return true;
  }
  return !settings.foreverDir.empty() && isGameFolder(settings.foreverDir);
}

// The Done page without a game folder says so rather than "ready".
const char* Setup::headingKey() const {
  return page_ == kDonePage && !folderFound_ ? "wz.done.nofolder.h" : kPages[page_].heading;
}

const char* Setup::bodyKey() const {
  return page_ == kDonePage && !folderFound_ ? "wz.done.nofolder.text" : kPages[page_].body;
}

// Steps behind are ticked, but for a World of Warcraft step that left no
// game folder.
int Setup::stepOrb(int step) const {
  if (step == page_) return gui::kOrbActive;
  if (step > page_) return gui::kOrbPending;
  const bool folderLeftOpen = step == kGamePage && page_ == kDonePage && !folderFound_;
  return folderLeftOpen ? gui::kOrbWarning : gui::kOrbDone;
}

bool Setup::stillOpen(HWND handle) const {
  // A shell call or the folder picker pumps messages: the wizard may be gone.
  return instance == this && window_ == handle && IsWindow(handle);
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
        const std::wstring resolved = resolveForeverDir(chosen);
        setEditText(kFolderEdit, resolved.empty() ? chosen : resolved);
        message_.clear();
        checkFolder();
      }
      break;
    }
    case kCheckButton:
      message_.clear();
      checkFolder();
      break;
    case kQuestieLink:
      gui::openInShell(kQuestiePage);
      if (!stillOpen(handle)) return;
      break;
    default:
      if (id >= kLanguageCard && id < kLanguageCard + languageCount()) {
        const std::string& code = languageTable()[static_cast<size_t>(id - kLanguageCard)].code;
        App* app = trayController();
        Settings settings = app ? app->snapshot() : Settings();
        // The whole application, this wizard included, switches at once.
        if (app && settings.language != code) {
          settings.language = code;
          app->applySettings(settings);
        }
      }
      break;
  }
  update();
}

void Setup::onCommand(int id, int) {
  if (id == IDOK) next();  // Enter from the message loop's dialog handling
}

void Setup::onDestroyed() {
  if (instance == this) instance = nullptr;
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
  lines[0] = folderOk_ ? StatusLine{"wz.wow.folder.ok", gui::kOrbOk, gui::kColorLightText}
                       : StatusLine{"wz.wow.folder.bad", gui::kOrbWarning, gui::kColorWarning};
  // Without a game folder nothing is known of what is installed in it.
  const PresenceLine found[] = {
      presenceLine(folderOk_, addonOk_, "wz.wow.addon.ok", "wz.wow.addon.bad",
                   "st.addon.unknown"),
      presenceLine(folderOk_, questieOk_, "wz.wow.questie.ok", "wz.wow.questie.bad",
                   "st.questie.unknown"),
  };
  for (int i = 0; i < 2; ++i) {
    const int orb = found[i].orb;
    const COLORREF colour = orb == gui::kOrbOk        ? gui::kColorLightText
                            : orb == gui::kOrbWarning ? gui::kColorWarning
                                                      : gui::kColorGreyBeige;
    lines[i + 1] = {found[i].key, orb, colour};
  }
}

LineFit Setup::fitLine(const std::wstring& text) const {
  return fitStatusLine(fonts_, text, kContentRight - kLineLeft, dpi_);
}

void Setup::layoutStatusLines() {
  StatusLine lines[kStatusLines];
  statusLines(lines);
  int y = contentTop_ + kLinesOffset;
  for (int i = 0; i < kStatusLines; ++i) {
    lineTops_[i] = y;
    y += kLineStep + (fitLine(tr(lines[i].key)) == LineFit::kSmallTwoLines ? kSecondLine : 0);
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
  if (folderOk_ && !questieOk_) {
    const HFONT body = fonts_[gui::kFontBody];
    const int f = textWidthDip(body, tr("wz.wow.questie.bad"), dpi_);
    const int g = textWidthDip(body, tr("st.getquestie"), dpi_);
    if (f + g + kLinkRoom > kContentRight - kContentLeft) {
      // Too long for one line: the link goes under the Questie line.
      placeControl(kQuestieLink, kContentLeft + kLinkIndent,
                   contentTop_ + kBelowQuestieOffset + linesExtra_, g + kLinkSlack,
                   kBelowLinkHeight);
    } else {
      placeControl(kQuestieLink, f + kContentLeft + kLinkIndent + kLinkGap,
                   lineTops_[kStatusLines - 1], g + kLinkSlack, kLineHeight);
    }
    setVisible(kQuestieLink, true);
  }
  placeControl(kCheckButton, kContentLeft, checkTop(), checkWidth(), kCheckHeight);
  setVisible(kCheckButton, true);
}

int Setup::checkTop() const { return contentTop_ + kCheckOffset + linesExtra_; }

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
                   dip(76, row - 28, 252, row), tr(kPages[k].step), kOneLineEllipsis);
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
    const int y = lineTops_[i];
    const std::wstring text = tr(lines[i].key);
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
  if (!message_.empty()) {
    const int top = checkTop();
    gui::drawLabel(dc, fonts_[gui::kFontSmall], gui::kColorWarning,
                   dip(kContentLeft + checkWidth() + kMessageGap, top, kContentRight,
                       std::max(top + kMessageHeight, kMessageBottom)),
                   message_, DT_WORDBREAK);
  }
}

// What to do next: the command to type in the game, or, without a game
// folder, where to choose it.
void Setup::paintDone(HDC dc) {
  const int top = contentTop_;
  gui::paintParchmentPanel(dc, dip(kContentLeft, top, kContentRight, top + 96), dpi_);
  gui::drawLabel(dc, fonts_[gui::kFontSmall], gui::kColorDarkTextSecondary,
                 dip(308, top + 14, 724, top + 36), tr(folderFound_ ? "wz.done.cmd" : "wz.done.later"),
                 kOneLine);
  gui::drawLabel(dc, fonts_[gui::kFontCommand], gui::kColorDarkText,
                 dip(308, top + 38, 724, top + 82),
                 folderFound_ ? std::wstring(kSlashCommand) : tr("tab.settings"), kOneLine);
}

}  // namespace setup
}  // namespace ui

void openSetup(int page) {
  using ui::setup::Setup;
  if (Setup* open = ui::setup::instance) {
    open->goToPage(page);
    ui::bringToFront(open->hwnd());
    return;
  }
  auto* wizard = new Setup(page);
  ui::setup::instance = wizard;
  if (!wizard->open()) {
    // No window was made, so nothing will delete the object but this.
    ui::setup::instance = nullptr;
    delete wizard;
    logLine("setup wizard could not be created");
  }
}

void refreshSetup() {
  if (ui::setup::Setup* open = ui::setup::instance) open->update();
}

void closeSetup() {
  if (ui::setup::Setup* open = ui::setup::instance) DestroyWindow(open->hwnd());
}

HWND setupWindowHandle() {
  ui::setup::Setup* open = ui::setup::instance;
  return open ? open->hwnd() : nullptr;
}
