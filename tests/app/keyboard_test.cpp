// The message loop's keyboard handling for the main window and the wizard,
// through the loop itself: keys are posted as the keyboard posts them and the
// program's own loop runs them.
#include <windows.h>

#include <commctrl.h>

#include "tests/ui/ui_test_util.h"

namespace {

namespace mw = ui::mainwnd;
namespace wz = ui::setup;

// Remembers whether a key message reached an edit field's own procedure.
class FieldSpy {
 public:
  explicit FieldSpy(HWND field) : field_(field) {
    SetWindowSubclass(field_, &FieldSpy::proc, kSpyId, reinterpret_cast<DWORD_PTR>(this));
  }
  bool sawKey() const { return sawKey_; }

 private:
  static constexpr UINT_PTR kSpyId = 1;
  static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR self) {
    if (message == WM_KEYDOWN || message == WM_CHAR) {
      reinterpret_cast<FieldSpy*>(self)->sawKey_ = true;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(window, &FieldSpy::proc, kSpyId);
    return DefSubclassProc(window, message, wParam, lParam);
  }
  HWND field_;
  bool sawKey_ = false;
};

enum class Target { MainField, MainWindow, WizardField, Tray };
enum class After { Unchanged, MainClosed, Saved, NextPage, Typed, FocusMoved };

struct KeyCase {
  const char* what;
  Target target;
  UINT message;
  WPARAM key;
  After after;
  bool fieldSeesIt;
};

class KeyboardTest : public uitest::WindowTest {
 protected:
  uitest::GameFolder game{true};
};

TEST_F(KeyboardTest, EscapeTabAndEnterGoThroughTheMessageLoop) {
  const KeyCase cases[] = {
      {"escape in the main window's field closes it", Target::MainField, WM_KEYDOWN, VK_ESCAPE,
       After::MainClosed, false},
      {"escape on the main window itself closes it", Target::MainWindow, WM_KEYDOWN, VK_ESCAPE,
       After::MainClosed, false},
      {"escape for another window is not ours", Target::Tray, WM_KEYDOWN, VK_ESCAPE,
       After::Unchanged, false},
      {"enter in the folder field saves", Target::MainField, WM_KEYDOWN, VK_RETURN, After::Saved,
       false},
      {"tab in the main window's field moves the focus on", Target::MainField, WM_KEYDOWN,
       VK_TAB, After::FocusMoved, false},
      {"typing still reaches the field", Target::MainField, WM_CHAR, 'x', After::Typed, true},
      {"escape in the wizard's field is the wizard's to ignore", Target::WizardField, WM_KEYDOWN,
       VK_ESCAPE, After::Unchanged, false},
      {"tab in the wizard's field moves the focus on", Target::WizardField, WM_KEYDOWN,
       VK_TAB, After::FocusMoved, false},
      {"enter in the wizard's folder field goes on", Target::WizardField, WM_KEYDOWN, VK_RETURN,
       After::NextPage, false},
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.what);
    store(L"");  // Enter must store the field's folder to show that it saved
    const bool wizard = c.target == Target::WizardField;
    gui::Surface* window = nullptr;
    if (wizard) {
      openSetup(uitest::host(), wz::kGamePage);
      window = wz::setupWindow();
    } else {
      openMainWindow(uitest::host(), mw::Tab::Settings);
      window = mw::mainWindow();
    }
    ASSERT_NE(window, nullptr);
    const int fieldId = wizard ? int{wz::kFolderEdit} : int{mw::kFolderEdit};
    HWND field = window->editWindow(fieldId);
    ASSERT_NE(field, nullptr);
    window->setEditText(fieldId, game.wow());
    SetFocus(field);
    ASSERT_EQ(GetFocus(), field);
    SendMessageW(field, EM_SETSEL, game.wow().size(), game.wow().size());  // type at the end
    FieldSpy spy(field);

    const HWND targets[] = {field, window->hwnd(), field, tray};
    PostMessageW(targets[static_cast<int>(c.target)], c.message, c.key, 0);
    PostQuitMessage(0);
    runMessageLoop();

    EXPECT_EQ(spy.sawKey(), c.fieldSeesIt);
    if (c.after == After::FocusMoved) {
      // The field's neighbour in reading order: the Browse button beside it.
      EXPECT_EQ(GetFocus(), window->hwnd());
      EXPECT_EQ(window->focusId(), wizard ? int{wz::kBrowseButton} : int{mw::kBrowseButton});
    }
    // The wizard stores the folder when it goes on from the folder's page.
    EXPECT_EQ(app.snapshot().foreverDir == game.forever(),
              c.after == After::Saved || c.after == After::NextPage);
    if (wizard) {
      ASSERT_NE(wz::setupWindow(), nullptr);
      EXPECT_EQ(wz::setupWindow()->page(),
                c.after == After::NextPage ? wz::kDonePage : wz::kGamePage);
    } else if (c.after == After::MainClosed) {
      EXPECT_EQ(mainWindowHandle(), nullptr);
    } else {
      ASSERT_NE(mainWindowHandle(), nullptr);
      if (c.after != After::FocusMoved) {
        EXPECT_EQ(GetFocus(), field);
      }
      const std::wstring shown = c.after == After::Typed   ? game.wow() + L"x"
                                 : c.after == After::Saved ? game.forever()  // as saved
                                                           : game.wow();
      EXPECT_EQ(window->getEditText(fieldId), shown);
    }
    closeMainWindow();
    closeSetup();
    uitest::pump();
  }
}

}  // namespace
