// The setup helper as the installer runs it: the program's placement of the
// addon, run as the signed-in user, and what the helper reports of that
// user's current choices. The program is a stand-in here
// (tests/support/placing_program.cpp) named as the installed one.
#include <gtest/gtest.h>

#include "tests/installer/setup_fixture.h"

#include <sddl.h>

namespace {

using namespace setup;

constexpr DWORD kPlaceMs = 30000;

// A UTF-16LE file as UTF-8 with "\n" line ends.
std::string utf16File(const std::wstring& path) {
  const std::string bytes = readFileText(path);
  std::wstring text(bytes.size() / 2, L'\0');
  if (!text.empty()) memcpy(&text[0], bytes.data(), text.size() * 2);
  std::string out;
  for (char c : toUtf8(text)) {
    if (c != '\r') out += c;
  }
  return out;
}

class SetupHelper : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { waitForTheDesktopShell(); }
  void SetUp() override {
    reset();
    ASSERT_TRUE(CopyFileW(joinPath(binFolder(), L"placing_program.exe").c_str(), program().c_str(),
                          FALSE));
  }
  void TearDown() override {
    endStandIns();
    removeTree(userData());
    setAutostart(false);
  }
  std::wstring program() const { return folder.file(L"Cairnstone.exe"); }
  void behave(int exitCode, int runMs) {
    ASSERT_TRUE(writeFileText(folder.file(L"placing.exit"), std::to_string(exitCode)));
    ASSERT_TRUE(writeFileText(folder.file(L"placing.ms"), std::to_string(runMs)));
    DeleteFileW(folder.file(L"placing.txt").c_str());
  }
  std::string runs() const { return readFileText(folder.file(L"placing.txt")); }
  long place(DWORD waitMs) {
    return run(helperExe(), L"place \"" + program() + L"\" " + std::to_wstring(waitMs));
  }
  void endStandIns() {
    for (const Process& p : processesOf(program())) {
      HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, p.id);
      if (!process) continue;
      TerminateProcess(process, 99);
      WaitForSingleObject(process, 5000);
      CloseHandle(process);
    }
  }

  static std::wstring userData() { return userDataDir(); }
  // What `current` reports, after the "user=" line (checked apart), or
  // "exit N" when it fails.
  std::string current() {
    const std::wstring out = folder.file(L"current.txt");
    DeleteFileW(out.c_str());
    const long code = run(helperExe(), L"current \"" + out + L"\"");
    if (code != 0) return "exit " + std::to_string(code);
    const std::string text = utf16File(out);
    const std::string user = "user=" + toUtf8(mySid()) + "\n";
    if (text.compare(0, user.size(), user) != 0) return "no user line: " + text;
    return text.substr(user.size());
  }

  TempDir folder;
};

// The program's exit code comes back as the helper's, whatever it is, even
// from a program that ends at once; one that does not end in time gives the
// helper's own code, and so does one that cannot be started.
TEST_F(SetupHelper, PlaceReturnsTheProgramsExitCode) {
  struct Case {
    int exitCode, runMs;
    DWORD waitMs;
    long expected;
  };
  const Case cases[] = {
      {0, 300, kPlaceMs, 0}, {1, 0, kPlaceMs, 1}, {3, 0, kPlaceMs, 3}, {8, 300, kPlaceMs, 8},
      {0, 20000, 2000, 101},  // not ended in time
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exitCode);
    behave(c.exitCode, c.runMs);
    EXPECT_EQ(place(c.waitMs), c.expected);
    EXPECT_EQ(runs(), "--place-addon\n");  // once
  }
  endStandIns();
  EXPECT_EQ(run(helperExe(), L"place \"" + folder.file(L"missing.exe") + L"\" 1000"), 100);
}

// The program runs with the signed-in user's token, not the elevated
// helper's: the desktop shell starts the helper's copy that runs it.
TEST_F(SetupHelper, PlaceRunsTheProgramThroughTheDesktopShell) {
  behave(0, 3000);
  Child helper = Child::startLine(helperExe(), L"place \"" + program() + L"\" 30000");
  ASSERT_TRUE(waitFor([&] { return !runs().empty(); }, kProgramMs));
  const std::vector<Process> placing = processesOf(program());
  ASSERT_EQ(placing.size(), 1u);
  EXPECT_EQ(imageName(placing[0].parent), L"setup_helper.exe");
  DWORD grandparent = 0;
  for (const Process& p : processesOf(helperExe())) {
    if (p.id == placing[0].parent) grandparent = p.parent;
  }
  EXPECT_EQ(imageName(grandparent), L"explorer.exe");
  EXPECT_EQ(helper.wait(kPlaceMs), 0);
}

// An instance that already runs (an update that could not close it, a
// start in between) is not the one the helper waits for.
TEST_F(SetupHelper, PlaceWaitsForTheRunItStartedNotOneThatRanBefore) {
  behave(0, 60000);
  Child before = Child::start(program(), {L"--background"});
  ASSERT_TRUE(before.started());
  ASSERT_TRUE(waitFor([&] { return runs() == "--background\n"; }, kProgramMs));
  behave(5, 300);
  EXPECT_EQ(place(kPlaceMs), 5);
  EXPECT_EQ(runs(), "--place-addon\n");
  EXPECT_EQ(before.wait(0), -1);  // left running
  before.kill();
}

// What `current` reports: the user's SID always, and, when they have
// usable settings, each value of their settings.json and Run value only when
// it passes its check. Bad data is left out, never passed on.
TEST_F(SetupHelper, CurrentReportsOnlyTheUsersChoicesThatPassTheirChecks) {
  const std::string padding(64 * 1024, ' ');
  const std::string good = R"({"language":"de","foreverDir":"D:\\Games\\World of Warcraft\\_forever_"})";
  struct Case {
    const char* what;
    std::string settings;
    bool runValue;
    std::string expected;
  };
  const Case cases[] = {
      {"all good; the Run value wins over the file", good.substr(0, good.size() - 1) + R"(,"autostart":false})",
       true, "language=de\nforever=D:\\Games\\World of Warcraft\\_forever_\nautostart=1\n"},
      {"no Run value", R"({"language":"pl","autostart":true})", false, "language=pl\nautostart=0\n"},
      {"exactly 64 KiB", R"({"language":"it"})" + padding.substr(17), false, "language=it\nautostart=0\n"},
      {"one byte more", R"({"language":"it"})" + padding.substr(16), true, ""},
      {"not a code", R"({"language":"DE","foreverDir":5})", false, "autostart=0\n"},
      {"another language", R"({"language":"fr"})", false, "autostart=0\n"},
      {"a network folder", R"({"foreverDir":"\\\\server\\share\\_forever_"})", false, "autostart=0\n"},
      {"a device path", R"({"foreverDir":"\\\\?\\C:\\Games\\_forever_"})", false, "autostart=0\n"},
      {"a relative folder", R"({"foreverDir":"Games\\_forever_"})", false, "autostart=0\n"},
      {"a folder with ..", R"({"foreverDir":"C:\\Games\\..\\Windows"})", false, "autostart=0\n"},
      {"a control character", R"({"foreverDir":"C:\\Games\u0007\\_forever_"})", false, "autostart=0\n"},
      {"a line break", R"({"foreverDir":"C:\\Games\r\nlanguage=de"})", false, "autostart=0\n"},
      {"a stream", R"({"foreverDir":"C:\\Games:hidden"})", false, "autostart=0\n"},
      {"not JSON", R"({language:"de"})", true, ""},
      {"not an object", R"(["de"])", true, ""},
      {"UTF-16", std::string("\xFF\xFE{\0\"\0", 6), true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(makeDirs(userData()));
    ASSERT_TRUE(writeFileText(joinPath(userData(), L"settings.json"), c.settings));
    ASSERT_TRUE(setAutostart(c.runValue));
    EXPECT_EQ(current(), c.expected);
  }
  // No settings at all: a user who has made no choice in the program yet.
  removeTree(userData());
  EXPECT_EQ(current(), "");
}

// A settings.json reached through a link (a file or a folder a standard user
// planted) is not read: the elevated helper would read what the link points
// at.
TEST_F(SetupHelper, CurrentReadsNoSettingsThroughALink) {
  TempDir elsewhere;
  ASSERT_TRUE(writeFileText(elsewhere.file(L"settings.json"), R"({"language":"de"})"));
  ASSERT_TRUE(makeDirs(parentPath(userData())));
  removeTree(userData());
  ASSERT_TRUE(unixLink(userData(), elsewhere.path()));
  EXPECT_EQ(current(), "");
  ASSERT_TRUE(removeUnixLink(userData()));

  ASSERT_TRUE(makeDirs(userData()));
  const std::wstring fileLink = joinPath(userData(), L"settings.json");
  ASSERT_TRUE(unixLink(fileLink, elsewhere.file(L"settings.json")));
  const std::string throughFileLink = current();
  const bool seenAsLink = reportedAsLink(fileLink);
  ASSERT_TRUE(removeUnixLink(fileLink));
  if (!seenAsLink) {
    // Wine reports a Unix link to a file as the file itself (links.h): only
    // Windows shows this case.
    GTEST_SKIP() << "Wine does not report a link to a file; read: " << throughFileLink;
  }
  EXPECT_EQ(throughFileLink, "");
}

}  // namespace
