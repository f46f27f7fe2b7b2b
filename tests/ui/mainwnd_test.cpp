// The main window driven through its entry operations and window messages:
// tabs, Save with its checks, autostart, the Questie button, the keyboard
// and the update button.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "base/scoped_handle.h"
#include "game/held_path.h"
#include "gui/scoped_gdi.h"
#include "i18n/i18n.h"
#include "tests/gui/gui_test_util.h"
#include "tests/support/links.h"
#include "tests/ui/ui_test_util.h"
#include "tests/update/fixtures.h"
#include "ui/mainwnd.h"
#include "ui/setup.h"

using namespace uitest;
using ui::mainwnd::MainWindow;
using ui::mainwnd::mainWindow;
namespace mw = ui::mainwnd;

namespace {

// Looks at the folder picker while it is open (from a timer of this thread,
// which its modal loop runs): whether its list shows a folder of this name,
// then cancels it.
struct PickerLook {
  std::wstring marker;
  bool opened = false;
  bool markerShown = false;
  int ticks = 0;
};
PickerLook* pickerLook = nullptr;
constexpr UINT kLookMs = 100;
constexpr int kLookTicks = 30;

BOOL CALLBACK findDialog(HWND window, LPARAM out) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (IsWindowVisible(window) && std::wstring(name) == L"#32770") {
    *reinterpret_cast<HWND*>(out) = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK findMarker(HWND child, LPARAM) {
  wchar_t name[32] = {};
  GetClassNameW(child, name, 32);
  if (std::wstring(name) != L"SysListView32") return TRUE;
  LVFINDINFOW find = {};
  find.flags = LVFI_STRING;
  find.psz = pickerLook->marker.c_str();
  if (SendMessageW(child, LVM_FINDITEMW, static_cast<WPARAM>(-1),
                   reinterpret_cast<LPARAM>(&find)) >= 0) {
    pickerLook->markerShown = true;
  }
  return TRUE;
}

void CALLBACK lookAtPicker(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), findDialog, reinterpret_cast<LPARAM>(&dialog));
  if (dialog) {
    pickerLook->opened = true;
    EnumChildWindows(dialog, findMarker, 0);
  }
  if (pickerLook->markerShown || ++pickerLook->ticks > kLookTicks) {
    KillTimer(nullptr, timer);
    if (dialog) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  }
}

class MainWindowTest : public WindowTest {
 protected:
  MainWindow* openOn(mw::TabRequest tab) { return openMainSettled(tab); }
  void typeFolder(const std::wstring& text) { mainWindow()->setEditText(mw::kFolderEdit, text); }
  std::wstring folderField() { return mainWindow()->getEditText(mw::kFolderEdit); }
  bool visible(int id) {
    const gui::Control* c = mainWindow()->findControl(id);
    return c && c->visible;
  }
};

// The command line's --tab and a later start's request name the tab by number.
TEST(MainWindowTabs, ANumberNamesATabOrKeepsTheOneShown) {
  const struct {
    int number;
    mw::TabRequest tab;
  } cases[] = {
      {0, mw::Tab::Status}, {1, mw::Tab::Settings}, {-1, mw::kKeepTab},
      {2, mw::kKeepTab},    {5, mw::kKeepTab},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(mw::tabFromNumber(c.number), c.tab) << c.number;
  }
}

TEST_F(MainWindowTest, OneWindowWhoseTabsSwitchByClickAndByRequest) {
  MainWindow* window = openOn(mw::Tab::Status);
  ASSERT_NE(window, nullptr);
  const HWND handle = mainWindowHandle();
  EXPECT_EQ(windowClass(handle), L"CairnMainWnd");
  EXPECT_EQ(windowTitle(handle), L"Cairnstone");
  EXPECT_TRUE(IsWindowVisible(handle));
  EXPECT_EQ(window->tab(), mw::Tab::Status);
  EXPECT_TRUE(window->findControl(mw::kStatusTabId)->checked);
  EXPECT_TRUE(visible(mw::kSetupButton));
  EXPECT_FALSE(visible(mw::kSaveButton));
  EXPECT_FALSE(visible(mw::kUpdateButton));  // no update is ready

  // The Settings tab sits right of the Status tab, both at y 140.
  const RECT status = dipRectOf(window, mw::kStatusTabId);
  const RECT settings = dipRectOf(window, mw::kSettingsTabId);
  clickAtDip(handle, (settings.left + settings.right) / 2, 160);
  EXPECT_EQ(window->tab(), mw::Tab::Settings);
  EXPECT_TRUE(window->findControl(mw::kSettingsTabId)->checked);
  EXPECT_FALSE(window->findControl(mw::kStatusTabId)->checked);
  EXPECT_TRUE(visible(mw::kSaveButton));
  EXPECT_TRUE(IsWindowVisible(window->editWindow(mw::kFolderEdit)));
  EXPECT_FALSE(visible(mw::kSetupButton));
  EXPECT_FALSE(visible(mw::kLogLink));

  openMainWindow(host(), mw::kKeepTab);
  EXPECT_EQ(mainWindowHandle(), handle);
  EXPECT_EQ(window->tab(), mw::Tab::Settings);
  openMainWindow(host(), mw::Tab::Status);
  EXPECT_EQ(window->tab(), mw::Tab::Status);
  EXPECT_FALSE(IsWindowVisible(window->editWindow(mw::kFolderEdit)));
  clickAtDip(handle, (status.left + status.right) / 2, 160);
  EXPECT_EQ(window->tab(), mw::Tab::Status);

  click(window, mw::kSetupButton);  // setup again opens the wizard on its first page
  ASSERT_NE(setupWindowHandle(), nullptr);
  EXPECT_EQ(ui::setup::setupWindow()->page(), ui::setup::kWelcomePage);
  EXPECT_EQ(mainWindowHandle(), handle);
}

TEST_F(MainWindowTest, TabsAreWideEnoughForTheirCaptionsAndEdgeToEdgeSegmentsFillTheRow) {
  MainWindow* window = openOn(mw::Tab::Settings);
  ASSERT_NE(window, nullptr);
  const RECT status = dipRectOf(window, mw::kStatusTabId);
  const RECT settings = dipRectOf(window, mw::kSettingsTabId);
  EXPECT_EQ(status.left, 34);
  EXPECT_EQ(status.top, 140);
  EXPECT_GE(status.right - status.left, 128);
  EXPECT_EQ(settings.left, status.right + 6);
  EXPECT_EQ(window->tabsEnd(), settings.right + 6);

  // Six language segments from x 464 to 856 with no gaps, rounded at the ends.
  const int count = static_cast<int>(languageTable().size());
  int x = 464;
  for (int i = 0; i < count; ++i) {
    const gui::Control* segment = window->findControl(mw::kLanguageSegment + i);
    ASSERT_NE(segment, nullptr);
    EXPECT_EQ(segment->rect.left, x);
    x = segment->rect.right;
    EXPECT_EQ(
        segment->segmentPosition,
        i == 0 ? gui::kSegmentFirst : (i == count - 1 ? gui::kSegmentLast : gui::kSegmentMiddle));
  }
  EXPECT_EQ(x, 464 + 392);
  EXPECT_EQ(window->findControl(mw::kLanguageSegment + 2)->text, L"DE");
}

TEST_F(MainWindowTest, SaveRefusesAFolderThatIsNoGameFolderAndKeepsTheOldOne) {
  GameFolder game(true);
  store(game.forever());
  const std::string before = readFileText(settingsPath());
  MainWindow* window = openOn(mw::Tab::Settings);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(folderField(), game.forever());

  typeFolder(game.notGame());
  click(window, mw::kSaveButton);
  ASSERT_TRUE(settleMainWindow());
  EXPECT_EQ(window->message(), tr("se.badfolder"));
  EXPECT_FALSE(window->messageOk());
  EXPECT_EQ(GetFocus(), window->editWindow(mw::kFolderEdit));
  EXPECT_EQ(folderField(), game.notGame());  // left as typed, to be corrected
  EXPECT_EQ(app.snapshot().foreverDir, game.forever());
  EXPECT_EQ(readFileText(settingsPath()), before);

  typeFolder(L"C:\\no\\such\\folder");
  click(window, mw::kSaveButton);
  ASSERT_TRUE(settleMainWindow());
  EXPECT_EQ(window->message(), tr("se.badfolder"));
  EXPECT_EQ(app.snapshot().foreverDir, game.forever());
}

TEST_F(MainWindowTest, SaveStoresTheNormalisedFolderAndAnEmptyFieldClearsIt) {
  GameFolder game(true);
  MainWindow* window = openOn(mw::Tab::Settings);
  ASSERT_NE(window, nullptr);

  typeFolder(L"  \"" + game.wow() + L"\"  ");  // pasted with quotes and spaces
  click(window, mw::kSaveButton);
  ASSERT_TRUE(settleMainWindow());
  EXPECT_EQ(window->message(), tr("se.saved"));
  EXPECT_TRUE(window->messageOk());
  EXPECT_EQ(folderField(), game.forever());
  EXPECT_EQ(app.snapshot().foreverDir, game.forever());
  EXPECT_EQ(app.status(), AppStatus::Ready);
  EXPECT_NE(readFileText(settingsPath()).find("_forever_"), std::string::npos);

  typeFolder(L"   ");
  click(window, mw::kSaveButton);
  ASSERT_TRUE(settleMainWindow());
  EXPECT_EQ(window->message(), tr("se.saved"));
  EXPECT_EQ(app.snapshot().foreverDir, L"");
  EXPECT_EQ(app.status(), AppStatus::NoGameFolder);
}

// A stored folder that has gone (an unplugged drive) never blocks a Save:
// left as it was in the field, it stays as it is and the rest is saved.
TEST_F(MainWindowTest, SaveKeepsAStoredFolderThatHasGoneAndSavesTheRest) {
  auto game = std::make_unique<GameFolder>(true);
  const std::wstring gone = game->forever();
  store(gone);
  MainWindow* window = openOn(mw::Tab::Settings);
  ASSERT_NE(window, nullptr);
  game.reset();
  ASSERT_FALSE(isDirectory(gone));
  click(window, mw::kLanguageSegment + 5);  // Polish
  click(window, mw::kSaveButton);
  EXPECT_EQ(window->message(), toWide(lookup("pl", "se.saved")));
  EXPECT_EQ(app.language(), "pl");
  EXPECT_EQ(app.snapshot().foreverDir, gone);
  EXPECT_EQ(folderField(), gone);

  typeFolder(gone + L"\\");  // typed, even as the same folder: checked
  click(window, mw::kSaveButton);
  EXPECT_EQ(window->message(), toWide(lookup("pl", "se.badfolder")));
}

// Any change after a Save takes its result line away.
TEST_F(MainWindowTest, TheResultLineGoesAtTheNextChange) {
  GameFolder game(true);
  MainWindow* window = openOn(mw::Tab::Settings);
  ASSERT_NE(window, nullptr);
  const std::pair<const char*, std::function<void()>> changes[] = {
      {"language", [&] { click(window, mw::kLanguageSegment + 1); }},
      {"autostart", [&] { click(window, mw::kAutostartBox); }},
      {"folder typed", [&] { typeFolder(game.wow()); }},
  };
  for (const auto& change : changes) {
    click(window, mw::kSaveButton);
    ASSERT_FALSE(window->message().empty()) << change.first;
    change.second();
    EXPECT_EQ(window->message(), L"") << change.first;
  }
  click(window, mw::kSaveButton);
  click(window, mw::kLanguageSegment + 1);  // the language already chosen: nothing changed
  EXPECT_EQ(window->message(), tr("se.saved"));
}

// A Save that Windows refuses says so in the warning colour and leaves every
// input as the user left it, to be saved again.
TEST_F(MainWindowTest, AFailedSaveSaysWhyAndKeepsTheInputs) {
  MainWindow* window = openOn(mw::Tab::Settings);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(DeleteFileW(settingsPath().c_str()));
  ASSERT_TRUE(CreateDirectoryW(settingsPath().c_str(), nullptr));  // a sync tool's doing
  click(window, mw::kLanguageSegment + 2);  // German
  click(window, mw::kAutostartBox);
  const bool autostart = window->findControl(mw::kAutostartBox)->checked;
  click(window, mw::kSaveButton);
  // Said in the language the program goes on with: a failed save changed nothing.
  EXPECT_EQ(window->message(), tr("se.notsaved.refused"));
  EXPECT_EQ(app.language(), "en");
  EXPECT_FALSE(window->messageOk());
  EXPECT_EQ(window->pendingLanguage(), "de");
  EXPECT_EQ(window->findControl(mw::kAutostartBox)->checked, autostart);
  EXPECT_TRUE(isDirectory(settingsPath()));
  EXPECT_NE(log().find("settings.json could not be saved: replacing the file failed ("),
            std::string::npos);

  ASSERT_TRUE(RemoveDirectoryW(settingsPath().c_str()));
  click(window, mw::kSaveButton);
  EXPECT_EQ(window->message(), toWide(lookup("de", "se.saved")));
  EXPECT_NE(readFileText(settingsPath()).find("\"language\":\"de\""), std::string::npos);
}

// The window's own check of the game folder brings back a Config.lua that
// an addon manager wiped while the program ran.
TEST_F(MainWindowTest, TheStatusCheckWritesAMissingConfigLuaAgain) {
  GameFolder game(true);
  store(game.forever(), true, "it");
  const std::wstring config = game.addOns() + L"\\Cairn\\Config.lua";
  MainWindow* window = openOn(mw::Tab::Status);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(DeleteFileW(config.c_str()));
  window->refresh();
  ASSERT_TRUE(settleMainWindow());
  // The check asks the addon's worker, which writes it in its own time.
  EXPECT_TRUE(waitFor(
      [&] { return countOf(log(), "Config.lua: CairnInstall = { lang = \"it\" }") == 2; }, 10000))
      << log();
  EXPECT_EQ(readFileText(config), "CairnInstall = { lang = \"it\" }\n");
}

TEST_F(MainWindowTest, ALanguageSegmentIsPendingUntilSaveAndATabSwitchDiscardsIt) {
  MainWindow* window = openOn(mw::Tab::Settings);
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(window->pendingLanguage(), "en");
  const int german = mw::kLanguageSegment + 2;

  click(window, german);
  EXPECT_EQ(window->pendingLanguage(), "de");
  EXPECT_TRUE(window->findControl(german)->checked);
  EXPECT_FALSE(window->findControl(mw::kLanguageSegment)->checked);
  EXPECT_EQ(app.language(), "en");

  click(window, mw::kStatusTabId);
  click(window, mw::kSettingsTabId);
  EXPECT_EQ(window->pendingLanguage(), "en");
  EXPECT_FALSE(window->findControl(german)->checked);

  click(window, german);
  click(window, mw::kSaveButton);
  ASSERT_TRUE(settleMainWindow());
  pump();
  EXPECT_EQ(app.language(), "de");
  EXPECT_EQ(window->findControl(mw::kStatusTabId)->text, toWide(lookup("de", "tab.status")));
  EXPECT_EQ(window->message(), toWide(lookup("de", "se.saved")));
}

TEST_F(MainWindowTest, AutostartIsWrittenOnSave) {
  setAutostart(true);
  MainWindow* window = openOn(mw::Tab::Settings);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(window->findControl(mw::kAutostartBox)->checked);

  click(window, mw::kAutostartBox);
  EXPECT_FALSE(window->findControl(mw::kAutostartBox)->checked);
  EXPECT_TRUE(autostartEnabled());  // a tick alone changes nothing yet
  click(window, mw::kSaveButton);
  ASSERT_TRUE(settleMainWindow());
  EXPECT_FALSE(autostartEnabled());
  EXPECT_FALSE(app.snapshot().autostart);

  click(window, mw::kAutostartBox);
  pressEnter(window->hwnd());  // Enter outside the folder field does not save
  EXPECT_FALSE(autostartEnabled());
  SetFocus(window->editWindow(mw::kFolderEdit));
  pressEnter(window->hwnd());
  EXPECT_TRUE(autostartEnabled());
  EXPECT_TRUE(app.snapshot().autostart);
  EXPECT_EQ(window->message(), tr("se.saved"));
}

TEST_F(MainWindowTest, TheQuestieButtonAppearsWhileQuestieIsMissingAndTheLinkMoves) {
  GameFolder game(false);
  store(game.forever());
  MainWindow* window = openOn(mw::Tab::Status);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->folderOk());
  EXPECT_FALSE(window->questieOk());
  ASSERT_TRUE(visible(mw::kQuestieButton));
  const RECT setup = dipRectOf(window, mw::kSetupButton);
  const RECT questie = dipRectOf(window, mw::kQuestieButton);
  EXPECT_EQ(setup.left, 44);
  EXPECT_EQ(questie.left, setup.right + 12);
  EXPECT_EQ(dipRectOf(window, mw::kLogLink).left, questie.right + 12 + 6);

  // The game folder gets Questie; the refresh timer notices.
  game.addQuestie();
  SendMessageW(window->hwnd(), WM_TIMER, 2, 0);
  ASSERT_TRUE(settleMainWindow());
  EXPECT_TRUE(window->questieOk());
  EXPECT_FALSE(visible(mw::kQuestieButton));
  EXPECT_EQ(dipRectOf(window, mw::kLogLink).left, setup.right + 12 + 6);

  // Without a valid folder there is nothing to install Questie into.
  store(L"");
  ASSERT_TRUE(settleMainWindow());
  EXPECT_FALSE(window->folderOk());
  EXPECT_FALSE(visible(mw::kQuestieButton));
}

FileOwner otherAccount(HANDLE) { return {OwnerKind::OtherAccount, L"HOST\\mallory"}; }

// The header says ready only with the addon in place and its last placing
// done, and in the warning colour when not; an addon that could not be
// placed says why on its line; without a game folder nothing is claimed of
// its addons.
TEST_F(MainWindowTest, ThePillAndTheStatusLinesSayWhatTheFolderHolds) {
  GameFolder complete(true);
  GameFolder noAddon(true);
  ASSERT_TRUE(DeleteFileW((noAddon.addOns() + L"\\Cairn\\Cairn.toc").c_str()));
  // Another account's link where the addon goes: refused.
  GameFolder planted(true);
  TempDir outside;
  ASSERT_TRUE(removeTree(planted.addOns() + L"\\Cairn"));
  ASSERT_TRUE(makeLink(planted.addOns() + L"\\Cairn", outside.path(), true));
  setOwnerReader(otherAccount);
  // The game holds Config.lua: it cannot be replaced now.
  GameFolder held(true);
  const std::wstring config = held.addOns() + L"\\Cairn\\Config.lua";
  ASSERT_TRUE(writeWholeFile(config, "old"));
  ScopedHandle holder(CreateFileW(config.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.valid());
  struct Case {
    std::wstring folder;
    const char* pill;
    COLORREF pillColour;
    std::wstring addon;
    const char* questie;
  };
  const Case cases[] = {
      {complete.forever(), "pill.ready", gui::kColorPillReady, tr("wz.wow.addon.ok"),
       "st.questie.ok"},
      {noAddon.forever(), "pill.noaddon", gui::kColorWarning, tr("st.addon.bad"), "st.questie.ok"},
      {planted.forever(), "pill.noaddon", gui::kColorWarning,
       tr("addon.link"), "st.questie.ok"},
      {held.forever(), "pill.addonblocked", gui::kColorWarning, tr("addon.inuse"),
       "st.questie.ok"},
      {L"", "pill.nowow", gui::kColorWarning, tr("st.addon.unknown"), "st.questie.unknown"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pill + toUtf8(c.addon));
    store(c.folder);
    MainWindow* window = openOn(mw::Tab::Status);
    ASSERT_NE(window, nullptr);
    const RECT client = clientOf(window);
    const guitest::Bitmap32 picture(client.right, client.bottom, 0);
    const std::vector<std::wstring> texts = paintInto(window, picture);
    int pillInk = 0;
    for (const gui::DrawnText& drawn : window->drawnTexts()) {
      if (drawn.text != tr(c.pill)) continue;
      for (int y = drawn.box.top; y < drawn.box.bottom; ++y) {
        for (int x = drawn.box.left; x < std::min(drawn.box.right, client.right); ++x) {
          pillInk += guitest::colourDistance(picture.at(x, y), c.pillColour) <= 8;
        }
      }
    }
    EXPECT_GT(pillInk, 10) << "the pill's text is not in its colour";
    EXPECT_TRUE(painted(texts, c.addon));
    EXPECT_TRUE(painted(texts, tr(c.questie)));
    // The notification area's tooltip says the same.
    EXPECT_EQ(app.status() == AppStatus::Ready, c.pill == std::string("pill.ready"));
    closeMainWindow();
    pump();
  }
  setOwnerReader(nullptr);
  removeLinkItself(planted.addOns() + L"\\Cairn");
}

// Browse opens the picker at the folder in the field when it exists, so the
// user starts from what is there; in the main window and in the wizard.
TEST_F(MainWindowTest, BrowseOpensThePickerAtTheFolderInTheField) {
  GameFolder game(true);
  const std::wstring marker = L"Cairnstone picker mark";
  ASSERT_TRUE(makeDirs(game.forever() + L"\\" + marker));
  struct Case {
    bool wizard;
    std::wstring field;
    bool opensThere;
  };
  const Case cases[] = {
      {false, game.forever() + L"\\no such folder", false},
      {false, L"  " + game.forever() + L"  ", true},
      {true, game.forever(), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.wizard ? "wizard: " : "main window: ")
                                      << toUtf8(c.field));
    gui::Surface* surface;
    if (c.wizard) {
      openSetup(host(), ui::setup::kGamePage);
      surface = ui::setup::setupWindow();
    } else {
      surface = openOn(mw::Tab::Settings);
    }
    ASSERT_NE(surface, nullptr);
    const int field = c.wizard ? static_cast<int>(ui::setup::kFolderEdit) : mw::kFolderEdit;
    surface->setEditText(field, c.field);
    PickerLook look;
    look.marker = marker;
    pickerLook = &look;
    SetTimer(nullptr, 0, kLookMs, lookAtPicker);
    click(surface, c.wizard ? static_cast<int>(ui::setup::kBrowseButton) : mw::kBrowseButton);
    pickerLook = nullptr;
    EXPECT_TRUE(look.opened);
    EXPECT_EQ(look.markerShown, c.opensThere);
    EXPECT_EQ(surface->getEditText(field), c.field);  // cancelled: the field is as it was
  }
}

TEST_F(MainWindowTest, EscapeClosesAndTheWindowCanBeOpenedAgain) {
  MainWindow* window = openOn(mw::Tab::Status);
  ASSERT_NE(window, nullptr);
  const HWND handle = window->hwnd();
  pressEscape(handle);
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ(mainWindowHandle(), nullptr);
  EXPECT_EQ(mainWindow(), nullptr);

  refreshMainWindow();  // nothing open: nothing happens
  closeMainWindow();
  ASSERT_NE(openOn(mw::Tab::Settings), nullptr);
  EXPECT_EQ(mainWindow()->tab(), mw::Tab::Settings);
  closeMainWindow();
  EXPECT_EQ(mainWindowHandle(), nullptr);
}

// The client area as the screen shows it, or as renderTo paints it, in the
// windows' own 24-bit format: the same pixels when painted alike.
std::vector<BYTE> clientPixels(HWND window, const std::function<void(HDC, const RECT&)>& paint) {
  RECT client;
  GetClientRect(window, &client);
  void* bits = nullptr;
  ScopedGdiObject bitmap(gui::createTopDownDib(nullptr, client.right, client.bottom, 24, &bits));
  ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
  if (!bitmap.valid() || !dc.valid()) return {};
  HGDIOBJ old = SelectObject(dc, bitmap);
  paint(dc, client);
  SelectObject(dc, old);
  GdiFlush();
  const BYTE* first = static_cast<const BYTE*>(bits);
  return std::vector<BYTE>(first, first + gui::dibRowBytes(client.right, 24) * client.bottom);
}

// The first paint may find the Status tab's panels already painted by the
// backdrop's thread, or paint them itself: either way the window shows what
// a paint from scratch shows.
TEST_F(MainWindowTest, TheFirstPaintShowsWhatAPaintFromScratchShows) {
  for (const DWORD beforePaintMs : {0, 300}) {  // the second lets the thread finish first
    SCOPED_TRACE(beforePaintMs);
    openMainWindow(host(), mw::Tab::Status);
    MainWindow* window = mainWindow();
    ASSERT_NE(window, nullptr);
    Sleep(beforePaintMs);
    UpdateWindow(window->hwnd());  // the first paint alone, no other message
    const std::vector<BYTE> shown = clientPixels(window->hwnd(), [&](HDC dc, const RECT& client) {
      HDC screen = GetDC(window->hwnd());
      BitBlt(dc, 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
      ReleaseDC(window->hwnd(), screen);
    });
    const std::vector<BYTE> fromScratch = clientPixels(
        window->hwnd(), [&](HDC dc, const RECT& client) { window->renderTo(dc, client); });
    ASSERT_FALSE(shown.empty());
    ASSERT_EQ(shown.size(), fromScratch.size());
    size_t differing = 0;
    for (size_t i = 0; i < shown.size(); ++i) differing += shown[i] != fromScratch[i];
    EXPECT_EQ(differing, 0u) << "colour bytes differ";
    closeMainWindow();
    pump();
  }
}

class UpdateReadyTest : public ::testing::Test {
 protected:
  void TearDown() override {
    closeMainWindow();
    if (tray) DestroyWindow(tray);
    pump();
    releaseTrayController();
  }
  fixtures::Service service;  // also the data folder
  App app;
  HWND tray = nullptr;
};

TEST_F(UpdateReadyTest, TheButtonNamesTheVersionAndStaysRightOfTheTabs) {
  ASSERT_TRUE(service.ready());
  app.prepare();
  tray = createTrayWindow(GetModuleHandleW(nullptr), &app);
  ASSERT_EQ(app.checkForUpdate().text(), "READY 1.4.0");
  openMainWindow(host(), mw::Tab::Status);
  MainWindow* window = mainWindow();
  ASSERT_NE(window, nullptr);
  const gui::Control* button = window->findControl(mw::kUpdateButton);
  ASSERT_TRUE(button->visible);
  EXPECT_EQ(button->text, trFormat("upd.button", "version", L"1.4.0"));
  const RECT r = dipRectOf(window, mw::kUpdateButton);
  EXPECT_GE(r.left, window->tabsEnd());
  EXPECT_LE(r.right, 870);
  EXPECT_GE(r.right - r.left, 150);
  EXPECT_EQ(r.top, 142);
  click(window, mw::kSettingsTabId);
  EXPECT_TRUE(window->findControl(mw::kUpdateButton)->visible);  // on both tabs
}

}  // namespace
