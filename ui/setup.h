// The first-run setup wizard: four pages (Welcome,
// Language, World of Warcraft, Done) that pick the main language and the game
// folder, check the addon and Questie there, and on Finish store the choices
// and mark setup as done. At most one exists.
#pragma once

#include <windows.h>

#include <string>

#include "gui/surface.h"
#include "storage/settings.h"
#include "ui/common.h"
#include "ui/game_check.h"
#include "ui/window_host.h"

namespace ui {
namespace setup {

constexpr wchar_t kWindowClass[] = L"CairnSetupWnd";

enum Page { kWelcomePage = 0, kLanguagePage = 1, kGamePage = 2, kDonePage = 3 };
constexpr int kPageCount = 4;

// Control ids; the card of language i is kLanguageCard + i.
enum ControlId {
  kBackButton = 1,
  kNextButton = 2,
  kBrowseButton = 10,
  kCheckButton = 11,
  kQuestieLink = 12,
  kFolderEdit = 22,
  kLanguageCard = 30,
};

class Setup : public gui::Surface {
 public:
  Setup(WindowHost& host, int page);
  ~Setup() override;

  // Creates, fills and shows the wizard; false when the window cannot be made.
  bool open();
  // n is clamped to the pages; clears the message, re-checks the folder on
  // the World of Warcraft page, re-labels and repaints.
  void goToPage(int n);
  void applyTexts();
  // Starts reading the folder in the field on the worker; the status lines
  // show the answer when it comes.
  void checkFolder();
  // On the World of Warcraft page: goes on once the folder in the field is
  // known to be a game folder (or the field is empty).
  void next();
  // Stores the choices once the folder in the field is known; a save that
  // fails keeps the wizard on its page and says why.
  void finish();
  // What refreshSetup does: re-label, lay out and repaint.
  void update();

  // Read-only views of the state, for the tests.
  int page() const { return page_; }
  const std::wstring& message() const { return message_; }
  bool folderOk() const { return folderOk_; }
  bool addonOk() const { return addonOk_; }
  bool questieOk() const { return questieOk_; }
  // On the Done page: Finish will leave a game folder set.
  bool folderFound() const { return folderFound_; }
  // The status lines describe a folder that was read (not only checked for).
  bool stateKnown() const { return stateKnown_; }
  // A check of the field runs, or Next or Finish waits for its answer.
  bool checking() const { return check_.pending() || waiting_ != Waiting::kNothing; }
  int contentTop() const { return contentTop_; }

 protected:
  void layout() override;
  void paintBackdrop(HDC dc, const RECT& clientRect) override;
  void paint(HDC dc, const RECT& clientRect) override;
  void onClick(int id) override;
  void onCommand(int id, int code) override;
  bool handleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void onDestroyed() override;
  int initialFocus() override;
  int defaultButton() override;
  std::wstring actionName(gui::ControlKind kind, bool checked) const override;

 private:
  // One status line of the World of Warcraft page.
  struct StatusLine {
    const char* key;  // null: `text` says it
    gui::OrbState orb;
    COLORREF colour;
    std::wstring text;
  };
  static constexpr int kStatusLines = 3;
  // What waits for the running check's answer.
  enum class Waiting { kNothing, kNext, kFinish };

  std::wstring fieldText();
  void setFieldText(const std::wstring& text);
  bool fieldKnown();
  void checkThen(Waiting then);
  void takeCheck();
  bool storeFolder();
  void store();
  AddonLine addonNote() const;
  bool addonBlocked() const;
  bool stillOpen(HWND handle) const;
  bool storedFolderOk() const;
  const char* headingKey() const;
  const char* bodyKey() const;
  const char* stepKey(int step) const;
  gui::OrbState stepOrb(int step) const;
  void statusLines(StatusLine (&lines)[kStatusLines]) const;
  LineFit fitLine(const std::wstring& text) const;
  void layoutGamePage();
  void layoutStatusLines();
  int linesBottom() const;
  int checkTop() const;
  int checkWidth() const;
  void paintSidebar(HDC dc);
  void paintWelcome(HDC dc);
  void paintLanguageNote(HDC dc);
  void paintGamePage(HDC dc);
  void paintDone(HDC dc);
  RECT dip(int left, int top, int right, int bottom) const;
  RECT messageBox(HDC dc, const std::wstring& text) const;

  WindowHost& host_;
  int page_ = kWelcomePage;
  bool ready_ = false;
  std::wstring message_;
  bool folderOk_ = false;
  bool addonOk_ = false;
  bool questieOk_ = false;
  bool folderFound_ = true;
  AddonReport addonReport_;  // the addon worker's last answer, read at each update
  bool addonWorking_ = false;
  bool stateKnown_ = false;
  std::wstring shownText_;    // the field's text the status lines describe
  ui::GameCheck check_;
  std::wstring checkedText_;  // the field's text the running check reads
  Waiting waiting_ = Waiting::kNothing;
  bool typing_ = false;       // the pause after typing is timed
  bool settingField_ = false;  // the field's change is the wizard's own
  int contentTop_ = 0;
  int lineTops_[kStatusLines] = {};  // DIPs, set by layout()
  int linesExtra_ = 0;               // DIPs the two-line status lines take beyond one each
  bool linkBelow_ = false;           // the Questie link has a row of its own
};

// The open wizard, or null.
Setup* setupWindow();

}  // namespace setup
}  // namespace ui

// Entry operations of the GUI thread. page: 0 Welcome to 3 Done, clamped.
// An open wizard goes to the page and comes to the front; a new one works
// with `host`.
void openSetup(ui::WindowHost& host, int page);
void refreshSetup();
void closeSetup();
HWND setupWindowHandle();
