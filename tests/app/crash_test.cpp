// A crash of the real program leaves a dump and a log line, and the next
// start says so; old dumps give way to new ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <dbghelp.h>

#include "app/crash.h"
#include "app/messages.h"
#include "base/paths.h"
#include "base/scoped_handle.h"
#include "base/text.h"
#include "storage/files.h"
#include "tests/support/test_support.h"

namespace {

constexpr DWORD kTimeoutMs = 30000;
constexpr ULONG_PTR kNowhere = 0x10;  // no code is ever mapped there

bool instanceShows() { return FindWindowW(kTrayWindowClass, nullptr) != nullptr; }

std::vector<std::wstring> namesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  for (const FolderEntry& entry : listFolder(folder)) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

constexpr ULONG32 kDumpSignature = 0x504D444D;  // "MDMP"

// The code of the exception a minidump was written for; 0 when it has none.
DWORD dumpedExceptionCode(const std::string& dump) {
  const auto at = [&](size_t offset, size_t bytes) {
    return offset + bytes <= dump.size() ? dump.data() + offset : nullptr;
  };
  const auto* header = reinterpret_cast<const MINIDUMP_HEADER*>(at(0, sizeof(MINIDUMP_HEADER)));
  if (!header || header->Signature != kDumpSignature) return 0;
  for (ULONG32 i = 0; i < header->NumberOfStreams; ++i) {
    const auto* entry = reinterpret_cast<const MINIDUMP_DIRECTORY*>(
        at(header->StreamDirectoryRva + i * sizeof(MINIDUMP_DIRECTORY), sizeof(MINIDUMP_DIRECTORY)));
    if (!entry || entry->StreamType != ExceptionStream) continue;
    const auto* stream = reinterpret_cast<const MINIDUMP_EXCEPTION_STREAM*>(
        at(entry->Location.Rva, sizeof(MINIDUMP_EXCEPTION_STREAM)));
    return stream ? stream->ExceptionRecord.ExceptionCode : 0;
  }
  return 0;
}

class CrashTest : public ::testing::Test {
 protected:
  void startAndQuit() {
    Child instance = Child::start(cairnstoneExe(), {L"--background"});
    ASSERT_TRUE(instance.started());
    ASSERT_TRUE(waitFor(instanceShows, kTimeoutMs));
    EXPECT_EQ(runToEnd(cairnstoneExe(), {L"--quit"}), 0);
    EXPECT_EQ(instance.wait(kTimeoutMs), 0);
  }
  std::vector<std::string> log() { return logMessages(readFileText(data.file(L"cairn.log"))); }

  TempDir data;
  ScopedEnv env{L"CAIRN_DATA_DIR", data.path()};
  std::wstring crashFolder = data.file(L"crash");
};

TEST_F(CrashTest, ACrashLeavesADumpAndALineAndTheNextStartReportsIt) {
  Child instance = Child::start(cairnstoneExe(), {L"--background"});
  ASSERT_TRUE(instance.started());
  ASSERT_TRUE(waitFor(instanceShows, kTimeoutMs));
  // A thread of the program's that runs into an address where nothing is.
  ScopedHandle thread(CreateRemoteThread(instance.handle(), nullptr, 0,
                                         reinterpret_cast<LPTHREAD_START_ROUTINE>(kNowhere),
                                         nullptr, 0, nullptr));
  ASSERT_TRUE(thread.valid()) << GetLastError();
  EXPECT_EQ(static_cast<DWORD>(instance.wait(kTimeoutMs)), EXCEPTION_ACCESS_VIOLATION);
  if (instance.wait(0) == -1) instance.kill();

  const std::vector<std::wstring> left = namesIn(crashFolder);
  ASSERT_EQ(left.size(), 2u) << readFileText(data.file(L"cairn.log"));  // the dump and the mark
  const std::wstring dump = left[0];
  EXPECT_EQ(left[1], L"unreported");
  ASSERT_EQ(dump.size(), 23u);
  EXPECT_EQ(dump.substr(dump.size() - 4), L".dmp");
  EXPECT_EQ(dumpedExceptionCode(readFileText(joinPath(crashFolder, dump))),
            static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  const std::vector<std::string> crashed = log();
  ASSERT_FALSE(crashed.empty());
  EXPECT_EQ(crashed.back(), "crash: exception 0xC0000005 at 0x0000000000000010; dump crash\\" +
                                toUtf8(dump));

  startAndQuit();
  const std::vector<std::string> after = log();
  ASSERT_GT(after.size(), crashed.size());
  EXPECT_EQ(after[crashed.size()], "the previous run ended in a crash; its dump: " +
                                       toUtf8(joinPath(crashFolder, dump)));
  EXPECT_EQ(namesIn(crashFolder), std::vector<std::wstring>{dump});
  startAndQuit();  // once only
  const std::vector<std::string> later = log();
  EXPECT_EQ(std::count_if(later.begin(), later.end(),
                          [](const std::string& m) { return m.find("the previous run") == 0; }),
            1);
}

// An exception that nothing catches ends the program as a crash does, with
// its dump (the program's terminate handler is endWithCrash).
TEST_F(CrashTest, AnUncaughtExceptionLeavesADumpToo) {
  // The child runs this test from its start, with a data folder of its own:
  // it is told this one.
  const std::wstring parent = envVar(L"CAIRN_TEST_PARENT_DATA");
  ScopedEnv parentData(L"CAIRN_TEST_PARENT_DATA", parent.empty() ? data.path() : parent);
  EXPECT_EXIT(
      {
        SetEnvironmentVariableW(L"CAIRN_DATA_DIR", envVar(L"CAIRN_TEST_PARENT_DATA").c_str());
        installCrashHandler();
        std::set_terminate([] { endWithCrash(); });
        std::thread([] { throw std::runtime_error("nobody catches this"); }).join();
      },
      [](int code) { return code != 0; }, "");
  const std::vector<std::wstring> left = namesIn(crashFolder);
  ASSERT_EQ(left.size(), 2u) << readFileText(data.file(L"cairn.log"));
  EXPECT_EQ(dumpedExceptionCode(readFileText(joinPath(crashFolder, left[0]))), 0xE0637070);
  const std::vector<std::string> crashed = log();
  ASSERT_EQ(crashed.size(), 1u);
  EXPECT_EQ(crashed[0].rfind("crash: exception 0xE0637070 at 0x", 0), 0u) << crashed[0];
  EXPECT_NE(crashed[0].find("; dump crash\\" + toUtf8(left[0])), std::string::npos) << crashed[0];
}

// What a crashing child does after its crash began that takes the loader's
// lock (a DLL loaded, a thread started) leaves a file of this name.
constexpr wchar_t kLoaderUsed[] = L"loader-used";
volatile LONG crashBegan = 0;

void markLoaderUse() {
  if (!crashBegan) return;
  const std::wstring mark = joinPath(envVar(L"CAIRN_TEST_PARENT_DATA"), kLoaderUsed);
  ScopedHandle(CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
}

void NTAPI onThreadEvent(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_THREAD_ATTACH) markLoaderUse();
}
extern "C" __attribute__((section(".CRT$XLY"), used)) const PIMAGE_TLS_CALLBACK kOnThreadEvent =
    onThreadEvent;

void CALLBACK onDllEvent(ULONG, const void*, void*) { markLoaderUse(); }

bool watchDllLoads() {
  using Register = LONG(NTAPI*)(ULONG, decltype(&onDllEvent), void*, void**);
  const auto watch = reinterpret_cast<Register>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "LdrRegisterDllNotification")));
  void* cookie = nullptr;
  return watch && watch(0, onDllEvent, nullptr, &cookie) >= 0;
}

// A crash may come while the crashed thread holds the loader's lock (in a
// DLL's start, say): the handler then loads no DLL and starts no thread,
// which would wait for that lock; all of it was made at installation.
TEST_F(CrashTest, ACrashLoadsNoDllAndStartsNoThread) {
  const std::wstring parent = envVar(L"CAIRN_TEST_PARENT_DATA");
  ScopedEnv parentData(L"CAIRN_TEST_PARENT_DATA", parent.empty() ? data.path() : parent);
  EXPECT_EXIT(
      {
        SetEnvironmentVariableW(L"CAIRN_DATA_DIR", envVar(L"CAIRN_TEST_PARENT_DATA").c_str());
        installCrashHandler();
        if (!watchDllLoads()) ExitProcess(0);  // fails the test
        crashBegan = 1;
        endWithCrash();
      },
      [](int code) { return code != 0; }, "");
  EXPECT_FALSE(fileExists(data.file(kLoaderUsed)));
  const std::vector<std::wstring> left = namesIn(crashFolder);
  ASSERT_EQ(left.size(), 2u) << readFileText(data.file(L"cairn.log"));
  EXPECT_EQ(dumpedExceptionCode(readFileText(joinPath(crashFolder, left[0]))), 0xE0637070);
}

TEST_F(CrashTest, TheNextStartReportsTheCrashEvenWithoutItsDump) {
  struct Case {
    const char* mark;
    bool dumpThere;
    const char* line;
  } cases[] = {
      {"2026-12-08_17-20-31.dmp", true, nullptr},  // the dump's own path
      {"2026-12-08_17-20-31.dmp", false, "the previous run ended in a crash; no dump of it was written"},
      {"", false, "the previous run ended in a crash; no dump of it was written"},
      {"..\\settings.json", false, "the previous run ended in a crash; no dump of it was written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mark);
    removeTree(crashFolder);
    DeleteFileW(data.file(L"cairn.log").c_str());
    ASSERT_TRUE(makeDirs(crashFolder));
    ASSERT_TRUE(writeWholeFile(joinPath(crashFolder, L"unreported"), c.mark));
    const std::wstring dump = joinPath(crashFolder, L"2026-12-08_17-20-31.dmp");
    if (c.dumpThere) {
      ASSERT_TRUE(writeWholeFile(dump, "MDMP"));
    }
    reportPreviousCrash();
    const std::string expected =
        c.line ? c.line : "the previous run ended in a crash; its dump: " + toUtf8(dump);
    EXPECT_EQ(log(), std::vector<std::string>{expected});
    EXPECT_FALSE(fileExists(joinPath(crashFolder, L"unreported")));
    reportPreviousCrash();  // nothing more to say
    EXPECT_EQ(log().size(), 1u);
  }
}

TEST_F(CrashTest, OnlyTheNewestDumpsStay) {
  const std::vector<std::wstring> dumps = {
      L"2025-01-31_23-59-59.dmp", L"2026-02-01_00-00-00.dmp", L"2026-02-01_00-00-01.dmp",
      L"2026-11-30_12-00-00.dmp", L"2026-12-08_17-20-31.dmp"};
  struct Case {
    size_t dumpsMade;
    int keep;
  } cases[] = {{5, kKeptDumps}, {3, kKeptDumps}, {2, kKeptDumps}, {4, 1}, {0, kKeptDumps}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dumpsMade << " dumps, keep " << c.keep);
    removeTree(crashFolder);
    ASSERT_TRUE(makeDirs(crashFolder));
    // Made newest first: the names decide, not the order or the file times.
    std::vector<std::wstring> made(dumps.end() - static_cast<long>(c.dumpsMade), dumps.end());
    for (auto name = made.rbegin(); name != made.rend(); ++name) {
      ASSERT_TRUE(writeWholeFile(joinPath(crashFolder, *name), "MDMP"));
    }
    for (const wchar_t* stranger : {L"notes.txt", L"2026-12-08_17-20-3.dmp", L"crash.dmp"}) {
      ASSERT_TRUE(writeWholeFile(joinPath(crashFolder, stranger), "kept"));
    }
    ASSERT_TRUE(makeDirs(joinPath(crashFolder, L"2020-01-01_00-00-00.dmp")));  // a folder stays
    pruneDumps(crashFolder.c_str(), c.keep);
    const long kept = std::min<long>(c.keep, static_cast<long>(made.size()));
    std::vector<std::wstring> expected(made.end() - kept, made.end());
    for (const wchar_t* stranger : {L"notes.txt", L"2026-12-08_17-20-3.dmp", L"crash.dmp",
                                    L"2020-01-01_00-00-00.dmp"}) {
      expected.push_back(stranger);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(namesIn(crashFolder), expected);
  }
}

}  // namespace
