// The main window: a Status tab that shows whether everything the in-game
// addon needs is in place, and a Settings tab for the language, the game
// folder and start-with-Windows. At most one exists; it reads its host
// through copies and writes settings only through it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "game/status.h"
#include "gui/surface.h"
#include "ui/game_check.h"
#include "ui/window_host.h"

namespace ui {
namespace mainwnd {

constexpr wchar_t kWindowClass[] = L"CairnMainWnd";

enum class Tab { Status, Settings };
// What opening asks of the tab: one of the two, or kKeepTab, the tab an open
// window shows (Status for a new one).
using TabRequest = std::optional<Tab>;
constexpr TabRequest kKeepTab = std::nullopt;
// A tab by its number on the command line and in a later start's request:
// 0 Status, 1 Settings, any other keeps the tab.
TabRequest tabFromNumber(int number);

// Control ids; the segment of language i is kLanguageSegment + i.
enum ControlId {
  kStatusTabId = 1,
  kSettingsTabId = 2,
  kSetupButton = 20,
  kQuestieButton = 21,
  kLogLink = 22,
  kFolderEdit = 52,
  kBrowseButton = 53,
  kAutostartBox = 54,
  kSaveButton = 56,
  kLanguageSegment = 60,
  kUpdateButton = 70,
};

class MainWindow : public gui::Surface {
 public:
  MainWindow(WindowHost& host, TabRequest tab);
  ~MainWindow() override;

  // Creates, fills and shows the window; false when the window cannot be made.
  bool open();
  // Takes the controller's copies and starts the game folder's checks on a
  // worker; the window shows the last known state until showState has the
  // new one.
  void refresh();
  void loadSettingsTab();
  void applyTexts();
  void save();
  // What openMainWindow does to an open window: switch to the tab asked
  // for, then refresh, re-label and bring the window to the front.
  void reopen(TabRequest tab);
  // What refreshMainWindow does: refresh, re-label, lay out and repaint.
  void update();

  // Read-only views of the state, for the tray and the tests.
  Tab tab() const { return tab_; }
  const std::wstring& message() const { return message_; }
  bool messageOk() const { return messageOk_; }
  const std::string& pendingLanguage() const { return pendingLanguage_; }
  bool folderOk() const { return folderOk_; }
  bool questieOk() const { return questieOk_; }
  const std::wstring& folder() const { return folder_; }
  // A game state has arrived since the window opened.
  bool stateKnown() const { return stateKnown_; }
  // A check runs, or its result has not been shown yet: of the configured
  // folder, or of the Settings tab's field.
  bool checking() const { return check_.pending() || fieldCheck_.pending(); }
  const std::string& updateVersion() const { return updateVersion_; }
  int tabsEnd() const { return tabsEnd_; }

 protected:
  void layout() override;
  void onClick(int id) override;
  void paintBackdrop(HDC dc, const RECT& clientRect) override;
  int firstLayer() const override;
  void paintFirstLayer(HDC dc, int layer) override;
  void paintStatusPanels(HDC dc);
  void paint(HDC dc, const RECT& clientRect) override;
  void onCommand(int id, int code) override;
  bool handleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void onDestroyed() override;
  int initialFocus() override;
  int defaultButton() override;
  void onSwitchTab(int step) override;
  std::wstring actionName(gui::ControlKind kind, bool checked) const override;

 private:
  void selectTab(Tab tab);
  void showTab(Tab tab);
  void startCheck();
  void takeState();
  // The addon worker's answer: the pill, the addon's line, and the Settings
  // tab's result line after a Save.
  void takeAddonReport();
  AddonProblem addonProblemHere() const;
  // The one step where a newly read game state reaches the window.
  void showState(const GameState& state);
  void checkField();
  void takeFieldCheck();
  void store(const std::wstring& folder);
  void checkSegments();
  void dropResult();
  bool stillOpen(HWND handle) const;
  std::wstring caption(int id);
  void layoutTabs();
  void layoutUpdateButton();
  void layoutStatusRow();
  void layoutSettings();
  void paintHeader(HDC dc);
  void paintUpdateNotice(HDC dc);
  void paintStatusTab(HDC dc);
  void paintStatusLine(HDC dc, int& y, const std::wstring& text, const std::wstring& detail,
                       gui::OrbState orb);
  void paintSettingsTab(HDC dc);
  RECT dip(int left, int top, int right, int bottom) const;

  WindowHost& host_;
  Tab tab_ = Tab::Status;
  bool ready_ = false;
  bool folderOk_ = false;
  bool gameActive_ = false;
  bool addonOk_ = false;
  bool questieOk_ = false;
  std::wstring folder_;
  AppStatus appStatus_ = AppStatus::NoGameFolder;
  bool stateKnown_ = false;
  std::wstring wantedFolder_;  // the configured folder, whose state is wanted
  ui::GameCheck check_;
  ui::GameCheck fieldCheck_;  // a folder typed or picked on the Settings tab
  std::wstring fieldAsked_;   // the field's text it reads
  bool saving_ = false;       // Save waits for its answer
  bool placing_ = false;      // a saved change waits for the addon's worker
  AddonReport addonReport_;
  bool addonWorking_ = false;
  std::wstring message_;
  bool messageOk_ = true;
  std::string pendingLanguage_;
  std::string updateVersion_;
  std::string updatedVersion_;
  int tabsEnd_ = 0;
};

// The open main window, or null.
MainWindow* mainWindow();

}  // namespace mainwnd
}  // namespace ui

// Entry operations of the GUI thread. An open window switches to the tab
// asked for and comes to the front; a new one works with `host`.
void openMainWindow(ui::WindowHost& host, ui::mainwnd::TabRequest tab);
void refreshMainWindow();
void closeMainWindow();
HWND mainWindowHandle();
