// What a screen reader finds in both windows, read as one reads it: through
// AccessibleObjectFromWindow (Wine's oleacc) and win-event hooks.
#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/paths.h"
#include "base/text.h"
#include "i18n/i18n.h"
#include "tests/ui/ui_test_util.h"

using namespace uitest;
namespace mw = ui::mainwnd;
namespace wz = ui::setup;

namespace {

VARIANT child(long id) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

class Accessible {
 public:
  explicit Accessible(HWND window) {
    AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                               reinterpret_cast<void**>(&acc_));
  }
  ~Accessible() {
    if (acc_) acc_->Release();
  }
  Accessible(const Accessible&) = delete;
  Accessible& operator=(const Accessible&) = delete;
  IAccessible* operator->() const { return acc_; }
  explicit operator bool() const { return acc_ != nullptr; }

  std::wstring name(long id) const {
    BSTR text = nullptr;
    std::wstring result;
    if (acc_->get_accName(child(id), &text) == S_OK && text) result = text;
    SysFreeString(text);
    return result;
  }
  long number(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), long id) const {
    VARIANT out;
    VariantInit(&out);
    const HRESULT hr = (acc_->*get)(child(id), &out);
    return hr == S_OK && out.vt == VT_I4 ? out.lVal : -1;
  }
  long role(long id) const { return number(&IAccessible::get_accRole, id); }
  long state(long id) const { return number(&IAccessible::get_accState, id); }
  RECT place(long id) const {
    long x = 0, y = 0, w = 0, h = 0;
    acc_->accLocation(&x, &y, &w, &h, child(id));
    return {x, y, x + w, y + h};
  }
  // The first child of that name and role; 0 when there is none.
  long find(const std::wstring& wanted, long wantedRole) const {
    long count = 0;
    acc_->get_accChildCount(&count);
    for (long i = 1; i <= count; ++i) {
      if (role(i) == wantedRole && name(i) == wanted) return i;
    }
    return 0;
  }

 private:
  IAccessible* acc_ = nullptr;
};

// Win-events of this process, as a screen reader's hook sees them.
struct Seen {
  DWORD event;
  HWND window;
  LONG object;
  LONG child;
};
std::vector<Seen> seen;

void CALLBACK onEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG id, DWORD,
                      DWORD) {
  seen.push_back({event, window, object, id});
}

bool sawEvent(DWORD event, HWND window, LONG id) {
  for (const Seen& s : seen) {
    if (s.event == event && s.window == window && s.object == OBJID_CLIENT && s.child == id)
      return true;
  }
  return false;
}

class AccessibleTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }
  void TearDown() override {
    WindowTest::TearDown();
    CoUninitialize();
  }
  GameFolder game{true};
};

struct Expected {
  int id;  // 0: a text, found by its key
  long role;
  const char* key;
  long state;  // these bits must be set
};

TEST_F(AccessibleTest, ChildrenHaveTheirRoleNameStateAndPlaceInTwoLanguagesAtBothDpis) {
  const Expected settings[] = {
      {mw::kStatusTabId, ROLE_SYSTEM_PAGETAB, "tab.status", STATE_SYSTEM_SELECTABLE},
      {mw::kSettingsTabId, ROLE_SYSTEM_PAGETAB, "tab.settings", STATE_SYSTEM_SELECTED},
      {mw::kBrowseButton, ROLE_SYSTEM_PUSHBUTTON, "se.browse", STATE_SYSTEM_FOCUSABLE},
      {mw::kAutostartBox, ROLE_SYSTEM_CHECKBUTTON, "se.autostart", STATE_SYSTEM_FOCUSABLE},
      {mw::kSaveButton, ROLE_SYSTEM_PUSHBUTTON, "se.save", STATE_SYSTEM_FOCUSABLE},
      {mw::kSetupButton, ROLE_SYSTEM_PUSHBUTTON, "st.setup", STATE_SYSTEM_INVISIBLE},
      {mw::kLogLink, ROLE_SYSTEM_LINK, "st.log", STATE_SYSTEM_INVISIBLE},
      {mw::kFolderEdit, ROLE_SYSTEM_TEXT, "se.folder", STATE_SYSTEM_FOCUSED},
      {0, ROLE_SYSTEM_STATICTEXT, "se.lang", STATE_SYSTEM_READONLY},
      {0, ROLE_SYSTEM_STATICTEXT, "pill.ready", STATE_SYSTEM_READONLY},
  };
  store(game.forever());
  openMainWindow(host(), mw::Tab::Settings);
  pump();
  mw::MainWindow* window = mw::mainWindow();
  const HWND handle = window->hwnd();
  for (const char* language : {"en", "de"}) {
    store(game.forever(), true, language);
    for (UINT dpi : {96u, 144u}) {
      SCOPED_TRACE(::testing::Message() << language << " at " << dpi << " dpi");
      switchDpi(window, dpi, 900, 640);
      pump();
      Accessible acc(handle);
      ASSERT_TRUE(acc);
      // The client area as laid out (a small test screen may cut the window).
      RECT client = {0, 0, window->scale(900), window->scale(640)};
      MapWindowPoints(handle, nullptr, reinterpret_cast<POINT*>(&client), 2);
      for (const Expected& e : settings) {
        SCOPED_TRACE(e.key);
        const long id = e.id ? window->accessibleChildOf(e.id) : acc.find(tr(e.key), e.role);
        ASSERT_GT(id, 0);
        EXPECT_EQ(acc.name(id), tr(e.key));
        EXPECT_EQ(acc.role(id), e.role);
        EXPECT_EQ(acc.state(id) & e.state, e.state);
        if (e.state & STATE_SYSTEM_INVISIBLE) continue;
        const RECT place = acc.place(id);
        RECT inside;
        EXPECT_TRUE(IntersectRect(&inside, &place, &client) && EqualRect(&inside, &place))
            << "outside the window: " << place.left << "," << place.top << "," << place.right
            << "," << place.bottom << " in " << client.left << "," << client.top << ","
            << client.right << "," << client.bottom;
        if (e.id && e.id != mw::kFolderEdit) {
          const RECT& rc = window->findControl(e.id)->rect;
          EXPECT_EQ(place.right - place.left, rc.right - rc.left);  // pixels at this DPI
        }
      }
      // The field itself, as a screen reader reads it when the caret is in it.
      Accessible field(window->editWindow(mw::kFolderEdit));
      ASSERT_TRUE(field);
      EXPECT_EQ(field.name(CHILDID_SELF), tr("se.folder"));
      EXPECT_EQ(field.role(CHILDID_SELF), ROLE_SYSTEM_TEXT);
      // The pending language's segment is checked; hit-testing finds Save.
      const long chosen = window->accessibleChildOf(mw::kLanguageSegment);  // English
      EXPECT_EQ(acc.role(chosen), ROLE_SYSTEM_RADIOBUTTON);
      EXPECT_EQ(window->pendingLanguage(), "en");
      EXPECT_EQ(acc.state(chosen) & STATE_SYSTEM_CHECKED, STATE_SYSTEM_CHECKED);
      // Each segment shows its code and is named by its language's own name.
      for (size_t i = 0; i < languageTable().size(); ++i) {
        const int id = mw::kLanguageSegment + static_cast<int>(i);
        const long segment = window->accessibleChildOf(id);
        EXPECT_EQ(acc.name(segment), languageTable()[i].nativeName);
        EXPECT_EQ(window->findControl(id)->text.size(), 2u);
        BSTR said = nullptr;
        ASSERT_EQ(acc->get_accDescription(child(segment), &said), S_OK);
        EXPECT_EQ(std::wstring(said), languageTable()[i].description);
        SysFreeString(said);
      }
      const RECT save = acc.place(window->accessibleChildOf(mw::kSaveButton));
      VARIANT hit;
      ASSERT_EQ(acc->accHitTest((save.left + save.right) / 2, (save.top + save.bottom) / 2, &hit),
                S_OK);
      EXPECT_EQ(hit.lVal, window->accessibleChildOf(mw::kSaveButton));
    }
  }
}

TEST_F(AccessibleTest, TheDefaultActionTurnsTheWizardPageAndTheFocusEventsFollow) {
  store(game.forever());
  openSetup(host(), wz::kWelcomePage);
  pump();
  wz::Setup* wizard = wz::setupWindow();
  const HWND handle = wizard->hwnd();
  Accessible acc(handle);
  ASSERT_TRUE(acc);
  const long next = wizard->accessibleChildOf(wz::kNextButton);
  EXPECT_EQ(acc.name(next), tr("wz.next"));
  BSTR action = nullptr;
  ASSERT_EQ(acc->get_accDefaultAction(child(next), &action), S_OK);
  EXPECT_EQ(std::wstring(action), tr("acc.press"));
  SysFreeString(action);
  VARIANT focus;
  ASSERT_EQ(acc->get_accFocus(&focus), S_OK);
  EXPECT_EQ(focus.lVal, next);
  // Navigation passes over what is hidden: Back and the other pages' controls.
  VARIANT to;
  ASSERT_EQ(acc->accNavigate(NAVDIR_FIRSTCHILD, child(CHILDID_SELF), &to), S_OK);
  EXPECT_EQ(to.lVal, next);
  EXPECT_EQ(acc->accNavigate(NAVDIR_PREVIOUS, child(next), &to), S_FALSE);
  ASSERT_EQ(acc->accNavigate(NAVDIR_NEXT, child(next), &to), S_OK);
  EXPECT_EQ(acc.role(to.lVal), ROLE_SYSTEM_STATICTEXT);

  seen.clear();
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, onEvent,
                                       GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  ASSERT_EQ(acc->accDoDefaultAction(child(next)), S_OK);
  pump();
  EXPECT_EQ(wizard->page(), wz::kLanguagePage);
  const long card = wizard->accessibleChildOf(wz::kLanguageCard);
  pump();
  EXPECT_TRUE(sawEvent(EVENT_OBJECT_FOCUS, handle, card)) << "focus on the chosen card";
  EXPECT_TRUE(sawEvent(EVENT_OBJECT_REORDER, handle, CHILDID_SELF)) << "the page changed";
  EXPECT_EQ(acc.role(card), ROLE_SYSTEM_RADIOBUTTON);
  EXPECT_EQ(acc.state(card) & (STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSED),
            STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSED);
  // Choosing another language tells of the state change.
  seen.clear();
  ASSERT_EQ(acc->accDoDefaultAction(child(card + 1)), S_OK);
  pump();
  EXPECT_TRUE(sawEvent(EVENT_OBJECT_STATECHANGE, handle, card + 1));
  UnhookWinEvent(hook);
}

TEST_F(AccessibleTest, AStatusLineTellsOfAChangeOnlyWhenItReallyChanged) {
  GameFolder other(true);
  store(game.forever());
  openMainSettled(mw::Tab::Status);
  const HWND handle = mainWindowHandle();
  UpdateWindow(handle);
  seen.clear();
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr,
                                       onEvent, GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  refreshMainWindow();  // the 3-second refresh finding the same
  ASSERT_TRUE(settleMainWindow());
  UpdateWindow(handle);
  pump();
  EXPECT_TRUE(seen.empty());
  store(other.forever());  // the folder line's path changes
  ASSERT_TRUE(settleMainWindow());
  UpdateWindow(handle);
  pump();
  Accessible acc(handle);
  const long line = acc.find(other.forever(), ROLE_SYSTEM_STATICTEXT);
  ASSERT_GT(line, 0);
  EXPECT_TRUE(sawEvent(EVENT_OBJECT_NAMECHANGE, handle, line));
  EXPECT_EQ(seen.size(), 1u);
  UnhookWinEvent(hook);
}

TEST_F(AccessibleTest, CallsAfterTheWindowIsGoneFailCleanly) {
  openMainWindow(host(), mw::Tab::Status);
  pump();
  Accessible acc(mainWindowHandle());
  ASSERT_TRUE(acc);
  long count = 0;
  ASSERT_EQ(acc->get_accChildCount(&count), S_OK);
  EXPECT_GT(count, 0);
  closeMainWindow();
  pump();
  EXPECT_EQ(acc->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(acc->accDoDefaultAction(child(1)), CO_E_OBJNOTCONNECTED);
  BSTR name = nullptr;
  EXPECT_EQ(acc->get_accName(child(CHILDID_SELF), &name), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(name, nullptr);
  VARIANT hit;
  EXPECT_EQ(acc->accHitTest(0, 0, &hit), CO_E_OBJNOTCONNECTED);
}

// The stand-in for a screen reader in another process: reads one child of
// the window given and presses it.
constexpr wchar_t kReaderWindow[] = L"CAIRN_ACC_READER_WINDOW";
constexpr wchar_t kReaderChild[] = L"CAIRN_ACC_READER_CHILD";
constexpr wchar_t kReaderResult[] = L"CAIRN_ACC_READER_RESULT";

void readAsAnotherProcess() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    const HWND window = reinterpret_cast<HWND>(std::stoull(envVar(kReaderWindow)));
    const long id = std::stol(envVar(kReaderChild));
    Accessible acc(window);
    std::string result = "no object";
    if (acc) {
      const HRESULT pressed = acc->accDoDefaultAction(child(id));
      result = toUtf8(acc.name(id)) + "\n" + std::to_string(acc.role(id)) + "\n" +
               std::to_string(pressed);
    }
    writeFileText(envVar(kReaderResult), result);
  }
  CoUninitialize();
}

TEST_F(AccessibleTest, AnotherProcessReadsTheWizardAndPressesItsForwardButton) {
  if (!envVar(kReaderWindow).empty()) return readAsAnotherProcess();
  store(game.forever());
  openSetup(host(), wz::kWelcomePage);
  pump();
  wz::Setup* wizard = wz::setupWindow();
  TempDir dir;
  const std::wstring result = joinPath(dir.path(), L"read.txt");
  ScopedEnv window(kReaderWindow,
                   std::to_wstring(reinterpret_cast<UINT_PTR>(wizard->hwnd())));
  ScopedEnv id(kReaderChild, std::to_wstring(wizard->accessibleChildOf(wz::kNextButton)));
  ScopedEnv file(kReaderResult, result);
  Child reader = Child::start(exePath(), {L"--gtest_filter=AccessibleTest.AnotherProcess*"});
  ASSERT_TRUE(reader.started());
  // This thread serves the reader's calls while it waits.
  EXPECT_TRUE(waitFor(
      [&] {
        pump();
        return WaitForSingleObject(reader.handle(), 0) == WAIT_OBJECT_0;
      },
      30000));
  pump();
  EXPECT_EQ(readFileText(result), toUtf8(tr("wz.next")) + "\n" +
                                      std::to_string(ROLE_SYSTEM_PUSHBUTTON) + "\n0");
  EXPECT_EQ(wizard->page(), wz::kLanguagePage);
}

}  // namespace
