// Both windows driven by the keyboard as a user drives them: keys go to the
// window or field with the focus through the message loop's keyboard
// handling. Focus order and the first focus of every page, at 96 and 144
// DPI; activation by Space and Enter; the arrow-key groups; Ctrl+Tab; the
// focus mark that shows only once the keyboard was used.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "i18n/i18n.h"
#include "tests/gui/gui_test_util.h"
#include "tests/ui/ui_test_util.h"

using namespace uitest;
namespace mw = ui::mainwnd;
namespace wz = ui::setup;

namespace {

constexpr UINT kDpis[] = {96, 144};

class KeyboardTest : public WindowTest {
 protected:
  ScopedKeyboardCues cues{false};
  // A key as the user presses it: to the focused window or field, through
  // the message loop's keyboard handling, with Shift and Ctrl as given.
  void press(gui::Surface* surface, UINT key, bool shift = false, bool ctrl = false) {
    const HWND window = surface->hwnd();
    HWND target = GetFocus();
    ASSERT_TRUE(target == window || IsChild(window, target)) << "the focus is not in the window";
    BYTE saved[256], state[256];
    GetKeyboardState(saved);
    std::memcpy(state, saved, sizeof state);
    state[VK_SHIFT] = shift ? 0x80 : 0;
    state[VK_CONTROL] = ctrl ? 0x80 : 0;
    SetKeyboardState(state);
    MSG msg = {target, WM_KEYDOWN, key, 1, 0, {0, 0}};
    if (!preTranslate(msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    SetKeyboardState(saved);
    pump();
  }
  // Tab from the first focus visits `stops` in order and wraps; Shift+Tab
  // walks back.
  void walk(gui::Surface* surface, const std::vector<int>& stops) {
    ASSERT_EQ(surface->tabStops(), stops);
    const int first = surface->focusId();
    const auto at = std::find(stops.begin(), stops.end(), first);
    ASSERT_NE(at, stops.end()) << "first focus " << first << " is no Tab stop";
    size_t i = static_cast<size_t>(at - stops.begin());
    for (size_t n = 0; n < stops.size(); ++n) {
      press(surface, VK_TAB);
      i = (i + 1) % stops.size();
      EXPECT_EQ(surface->focusId(), stops[i]) << "Tab " << n + 1;
    }
    press(surface, VK_TAB, true);
    EXPECT_EQ(surface->focusId(), stops[(i + stops.size() - 1) % stops.size()]) << "Shift+Tab";
  }
};

struct PageCase {
  bool main;  // main window tab (by its number), else wizard page
  int page;
  bool folderOk;
  int firstFocus;
  std::vector<int> stops;
};

TEST_F(KeyboardTest, EveryPageHasItsFirstFocusAndTabOrderAtBothDpis) {
  GameFolder game(false);  // no Questie: the Status tab offers it
  const PageCase cases[] = {
      {true, 0 /* Status */, true, mw::kQuestieButton,
       {mw::kStatusTabId, mw::kSetupButton, mw::kQuestieButton, mw::kLogLink}},
      {true, 1 /* Settings */, true, mw::kFolderEdit,
       {mw::kSettingsTabId, mw::kLanguageSegment, mw::kFolderEdit, mw::kBrowseButton,
        mw::kAutostartBox, mw::kSaveButton}},
      {false, wz::kWelcomePage, true, wz::kNextButton, {wz::kNextButton}},
      {false, wz::kLanguagePage, true, wz::kLanguageCard,
       {wz::kLanguageCard, wz::kBackButton, wz::kNextButton}},
      {false, wz::kGamePage, true, wz::kNextButton,
       {wz::kFolderEdit, wz::kBrowseButton, wz::kQuestieLink, wz::kCheckButton, wz::kBackButton,
        wz::kNextButton}},
      {false, wz::kGamePage, false, wz::kFolderEdit,
       {wz::kFolderEdit, wz::kBrowseButton, wz::kCheckButton, wz::kBackButton,
        wz::kNextButton}},
      {false, wz::kDonePage, true, wz::kNextButton, {wz::kBackButton, wz::kNextButton}},
  };
  for (UINT dpi : kDpis) {
    for (const PageCase& c : cases) {
      SCOPED_TRACE(::testing::Message() << "dpi " << dpi << (c.main ? " main tab " : " page ")
                                        << c.page << (c.folderOk ? "" : " without folder"));
      store(c.folderOk ? game.forever() : L"");
      gui::Surface* surface;
      if (c.main) {
        surface = openMainSettled(mw::tabFromNumber(c.page));
        switchDpi(surface, dpi, 900, 640);
      } else {
        openSetup(host(), c.page);
        surface = wz::setupWindow();
        switchDpi(surface, dpi, 780, 560);
      }
      pump();
      EXPECT_EQ(surface->focusId(), c.firstFocus);
      walk(surface, c.stops);
      closeMainWindow();
      closeSetup();
      pump();
    }
  }
}

TEST_F(KeyboardTest, SpaceAndEnterActivateAndEnterElsewherePressesTheDefaultButton) {
  GameFolder game(true);
  store(game.forever());
  openMainWindow(host(), mw::Tab::Settings);
  pump();
  mw::MainWindow* window = mw::mainWindow();
  const gui::Control* box = window->findControl(mw::kAutostartBox);
  const bool ticked = box->checked;
  window->focusItem(mw::kAutostartBox);
  press(window, VK_SPACE);
  EXPECT_EQ(box->checked, !ticked);
  press(window, VK_RETURN);
  EXPECT_EQ(box->checked, ticked);
  EXPECT_TRUE(window->message().empty());  // Enter on the box did not save

  // Enter in the folder field presses Save, which refuses a bad folder.
  window->setEditText(mw::kFolderEdit, game.notGame());
  window->focusItem(mw::kFolderEdit);
  ASSERT_EQ(GetFocus(), window->editWindow(mw::kFolderEdit));
  press(window, VK_RETURN);
  ASSERT_TRUE(settleMainWindow());
  EXPECT_EQ(window->message(), tr("se.badfolder"));
  // Space in the field is typing, not activation: the refusal goes with the change.
  press(window, VK_SPACE);
  EXPECT_EQ(window->getEditText(mw::kFolderEdit).size(), game.notGame().size() + 1);
  EXPECT_EQ(window->message(), L"");

  // The wizard: Enter on the forward button turns the page; Space on Back returns.
  openSetup(host(), wz::kWelcomePage);
  pump();
  wz::Setup* wizard = wz::setupWindow();
  press(wizard, VK_RETURN);
  EXPECT_EQ(wizard->page(), wz::kLanguagePage);
  wizard->focusItem(wz::kBackButton);
  press(wizard, VK_SPACE);
  EXPECT_EQ(wizard->page(), wz::kWelcomePage);
}

TEST_F(KeyboardTest, ArrowsSelectWithinGroupsAndCtrlTabSwitchesTabs) {
  GameFolder game(true);
  store(game.forever());
  openSetup(host(), wz::kLanguagePage);
  pump();
  wz::Setup* wizard = wz::setupWindow();
  ASSERT_EQ(wizard->focusId(), wz::kLanguageCard);  // English, the language in use
  struct Step {
    UINT key;
    int card;  // focused and chosen afterwards
  };
  // Two columns of three: Up and Down go straight up and down and wrap,
  // Left and Right go along the rows in reading order.
  const int card = wz::kLanguageCard;
  const int last = card + static_cast<int>(languageTable().size()) - 1;
  const Step steps[] = {{VK_RIGHT, card + 1}, {VK_DOWN, card + 3}, {VK_DOWN, card + 5},
                        {VK_DOWN, card + 1},  {VK_UP, card + 5},   {VK_UP, card + 3},
                        {VK_LEFT, card + 2},  {VK_UP, card},       {VK_LEFT, last},
                        {VK_HOME, card},      {VK_END, last},      {VK_RIGHT, card}};
  for (const Step& s : steps) {
    press(wizard, s.key);
    EXPECT_EQ(wizard->focusId(), s.card) << "key " << s.key;
    const std::string code = languageTable()[static_cast<size_t>(s.card - wz::kLanguageCard)].code;
    EXPECT_EQ(app.snapshot().language, code) << "key " << s.key;  // chosen, as a click does
    EXPECT_TRUE(wizard->findControl(s.card)->checked);
  }
  closeSetup();
  pump();

  // The tab strip selects with the arrows and stops at its ends.
  openMainSettled(mw::Tab::Status);
  pump();
  mw::MainWindow* window = mw::mainWindow();
  window->focusItem(mw::kStatusTabId);
  press(window, VK_RIGHT);
  EXPECT_EQ(window->tab(), mw::Tab::Settings);
  EXPECT_EQ(window->focusId(), mw::kSettingsTabId);
  press(window, VK_RIGHT);
  EXPECT_EQ(window->tab(), mw::Tab::Settings);
  press(window, VK_HOME);
  EXPECT_EQ(window->tab(), mw::Tab::Status);
  // Ctrl+Tab from anywhere, the folder field included, switches tabs; the
  // new tab's first focus follows.
  press(window, VK_TAB, false, true);
  EXPECT_EQ(window->tab(), mw::Tab::Settings);
  EXPECT_EQ(window->focusId(), mw::kSettingsTabId);  // it came from the strip
  window->focusItem(mw::kFolderEdit);
  press(window, VK_TAB, true, true);
  EXPECT_EQ(window->tab(), mw::Tab::Status);
  EXPECT_EQ(window->focusId(), mw::kStatusTabId);  // Questie is there: the tab itself
  // Segments choose the pending language.
  press(window, VK_TAB, false, true);
  window->focusItem(mw::kLanguageSegment);
  press(window, VK_END);
  EXPECT_EQ(window->pendingLanguage(), languageTable().back().code);
  press(window, VK_UP);  // one row: Up goes back along it, as in a radio group
  EXPECT_EQ(window->pendingLanguage(), languageTable()[languageTable().size() - 2].code);
}

// As in Windows' dialogs, a field reached by Tab or Shift+Tab has its text
// selected, so that typing replaces it.
TEST_F(KeyboardTest, TabbingIntoTheFolderFieldSelectsItsText) {
  GameFolder game(true);
  store(game.forever());
  struct Case {
    bool main;
    int from;
    bool back;
  };
  const Case cases[] = {{true, mw::kLanguageSegment, false},
                        {true, mw::kBrowseButton, true},
                        {false, wz::kBrowseButton, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.main ? "main window" : "wizard") << " from " << c.from);
    gui::Surface* surface;
    int field;
    if (c.main) {
      surface = openMainSettled(mw::Tab::Settings);
      field = mw::kFolderEdit;
    } else {
      openSetup(host(), wz::kGamePage);
      surface = wz::setupWindow();
      field = wz::kFolderEdit;
    }
    pump();
    const HWND edit = surface->editWindow(field);
    const int length = GetWindowTextLengthW(edit);
    ASSERT_GT(length, 0);
    SendMessageW(edit, EM_SETSEL, length, length);  // the caret at the end, nothing selected
    surface->focusItem(c.from);
    press(surface, VK_TAB, c.back);
    ASSERT_EQ(surface->focusId(), field);
    DWORD start = 1, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, static_cast<DWORD>(length));
    closeMainWindow();
    closeSetup();
    pump();
  }
}

TEST_F(KeyboardTest, TheFocusMarkShowsOnlyOnceAKeyWasPressedAndStaysThroughARefresh) {
  GameFolder game(true);
  store(game.forever());
  for (UINT dpi : kDpis) {
    SCOPED_TRACE(::testing::Message() << "dpi " << dpi);
    openSetup(host(), wz::kWelcomePage);
    pump();
    wz::Setup* wizard = wz::setupWindow();
    switchDpi(wizard, dpi, 780, 560);
    pump();
    RECT client;
    GetClientRect(wizard->hwnd(), &client);
    guitest::Bitmap32 before(client.right, client.bottom, 0);
    guitest::Bitmap32 after(client.right, client.bottom, 0);
    EXPECT_FALSE(wizard->focusCuesShown());
    wizard->renderTo(before.dc(), client);
    // Tab and back: the same control has the focus, now with its mark.
    press(wizard, VK_TAB);
    press(wizard, VK_TAB, true);
    ASSERT_EQ(wizard->focusId(), wz::kNextButton);
    EXPECT_TRUE(wizard->focusCuesShown());
    refreshSetup();  // a refresh keeps the focus where it was
    EXPECT_EQ(wizard->focusId(), wz::kNextButton);
    wizard->renderTo(after.dc(), client);
    RECT ring = wizard->findControl(wz::kNextButton)->rect;
    InflateRect(&ring, wizard->scale(5), wizard->scale(5));
    int inside = 0, outside = 0;
    for (int y = 0; y < client.bottom; ++y) {
      for (int x = 0; x < client.right; ++x) {
        if (before.at(x, y) == after.at(x, y)) continue;
        const POINT p = {x, y};
        ++(PtInRect(&ring, p) ? inside : outside);
      }
    }
    EXPECT_GT(inside, wizard->scale(40)) << "no mark around the focused button";
    EXPECT_EQ(outside, 0) << "the mark strays from the focused button";
    closeSetup();
    pump();
  }
}

}  // namespace
