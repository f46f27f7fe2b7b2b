// The first-run setup wizard, class "CairnSetupWnd": four pages (Welcome,
// Language, World of Warcraft, Done) that pick the main language and the game
// folder, check the addon and Questie there, and on Finish store the choices
// and mark setup as done. At most one exists.
#pragma once

#include <windows.h>

#include <string>

#include "gui/surface.h"
#include "storage/settings.h"
#include "ui/common.h"

namespace ui {
namespace setup {

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
  explicit Setup(int page);
  ~Setup() override;

  // Creates, fills and shows the wizard; false when the window cannot be made.
  bool open();
  // n is clamped to the pages; clears the message, re-checks the folder on
  // the World of Warcraft page, re-labels and repaints.
  void goToPage(int n);
  void applyTexts();
  void checkFolder();
  void next();
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
  int contentTop() const { return contentTop_; }

 protected:
  void layout() override;
  void paintBackdrop(HDC dc, const RECT& clientRect) override;
  void paint(HDC dc, const RECT& clientRect) override;
  void onClick(int id) override;
  void onCommand(int id, int code) override;
  void onDestroyed() override;
  int initialFocus() override;
  int defaultButton() override;
  std::wstring actionName(int kind, bool checked) const override;

 private:
  // One status line of the World of Warcraft page.
  struct StatusLine {
    const char* key;
    int orb;
    COLORREF colour;
  };
  static constexpr int kStatusLines = 3;

  bool stillOpen(HWND handle) const;
  bool takeFinishFolder(Settings& settings) const;
  const char* headingKey() const;
  const char* bodyKey() const;
  int stepOrb(int step) const;
  void statusLines(StatusLine (&lines)[kStatusLines]) const;
  LineFit fitLine(const std::wstring& text) const;
  void layoutGamePage();
  void layoutStatusLines();
  int checkTop() const;
  int checkWidth() const;
  void paintSidebar(HDC dc);
  void paintWelcome(HDC dc);
  void paintLanguageNote(HDC dc);
  void paintGamePage(HDC dc);
  void paintDone(HDC dc);
  RECT dip(int left, int top, int right, int bottom) const;

  int page_ = kWelcomePage;
  bool ready_ = false;
  std::wstring message_;
  bool folderOk_ = false;
  bool addonOk_ = false;
  bool questieOk_ = false;
  bool folderFound_ = true;
  int contentTop_ = 0;
  int lineTops_[kStatusLines] = {};  // DIPs, set by layout()
  int linesExtra_ = 0;               // DIPs the two-line status lines take beyond one each
};

// The open wizard, or null.
Setup* setupWindow();

}  // namespace setup
}  // namespace ui

// Entry operations of the GUI thread. page: 0 Welcome to 3 Done, clamped.
void openSetup(int page);
void refreshSetup();
void closeSetup();
HWND setupWindowHandle();
