// The release key's signature and the installer file check.
#include <gtest/gtest.h>

#include "tests/update/fixtures.h"
#include "update/verify.h"

namespace {

struct Published {
  JsonValue answer = fixtures::answer("");
  std::string message = releaseMessage(answer.get("version").text,
                                       static_cast<std::int64_t>(answer.get("size").number),
                                       answer.get("sha256").text);
  std::string signature = answer.get("signature").text;
};

TEST(ReleaseSignature, TheToolsAndOpensslsSignaturesVerify) {
  Published p;
  EXPECT_TRUE(verifyReleaseSignature(p.message, p.signature));
  EXPECT_TRUE(verifyReleaseSignature(p.message, fixtures::signature("openssl")));
}

TEST(ReleaseSignature, AnythingElseIsRefused) {
  Published p;
  std::string upper = p.signature;
  upper[upper.find_first_of("abcdef")] = 'A';
  std::string withCr = p.message;
  withCr.insert(withCr.find('\n'), "\r");
  EXPECT_FALSE(verifyReleaseSignature(p.message, upper));
  EXPECT_FALSE(verifyReleaseSignature(p.message, p.signature.substr(1)));
  EXPECT_FALSE(verifyReleaseSignature(p.message, p.signature + "0"));
  EXPECT_FALSE(verifyReleaseSignature(p.message, ""));
  EXPECT_FALSE(verifyReleaseSignature(p.message, fixtures::signature("der")));
  EXPECT_FALSE(verifyReleaseSignature(p.message, fixtures::signature("other_key")));
  EXPECT_FALSE(verifyReleaseSignature(p.message, std::string(128, '0')));
  EXPECT_FALSE(verifyReleaseSignature(p.message.substr(0, p.message.size() - 1), p.signature));
  EXPECT_FALSE(verifyReleaseSignature(withCr, p.signature));
  EXPECT_FALSE(verifyReleaseSignature(p.message, fixtures::signature("no_final_lf")));
  // With no key configured, not even a good signature passes.
  const std::uint8_t noKey[kReleaseKeyBytes] = {};
  EXPECT_FALSE(verifyReleaseSignatureWith(noKey, p.message, p.signature));
  EXPECT_TRUE(verifyReleaseSignatureWith(releaseKey, p.message, p.signature));
}

class InstallerFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.file(L"Cairnstone-Setup-1.4.0.exe");
    bytes = fixtures::installer();
    ASSERT_TRUE(writeWholeFile(path, bytes));
    release.version = "1.4.0";
    release.size = static_cast<std::int64_t>(bytes.size());
    release.sha256 = sha256Hex(bytes);
  }
  TempDir dir;
  std::wstring path;
  std::string bytes;
  TrustedRelease release;
};

TEST_F(InstallerFile, AMatchingFileStaysOpenAndLocked) {
  ReadyInstaller ready;
  std::string error;
  ASSERT_TRUE(verifyInstallerFile(path, release, ready, error)) << error;
  EXPECT_FALSE(ready.empty());
  EXPECT_EQ(ready.version, "1.4.0");
  EXPECT_EQ(ready.path, path);
  // Others may read it, but not write, delete or rename it.
  EXPECT_EQ(readFileText(path), bytes);
  HANDLE w = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(w, INVALID_HANDLE_VALUE);
  if (w != INVALID_HANDLE_VALUE) CloseHandle(w);
  EXPECT_FALSE(DeleteFileW(path.c_str()));
  EXPECT_FALSE(MoveFileW(path.c_str(), dir.file(L"moved.exe").c_str()));
  // The same from another process.
  const std::wstring cmd = L"C:\\windows\\system32\\cmd.exe";
  EXPECT_EQ(runToEnd(cmd, {L"/c", L"copy", path, dir.file(L"copy.exe")}), 0);
  EXPECT_EQ(readFileText(dir.file(L"copy.exe")), bytes);
  runToEnd(cmd, {L"/c", L"del", path});
  runToEnd(cmd, {L"/c", L"ren", path, L"renamed.exe"});
  EXPECT_TRUE(fileExists(path));
  EXPECT_FALSE(fileExists(dir.file(L"renamed.exe")));

  // The handle moves with the record; closing keeps the file, discarding deletes it.
  ReadyInstaller moved = std::move(ready);
  EXPECT_TRUE(ready.empty());
  EXPECT_TRUE(ready.path.empty());
  EXPECT_FALSE(moved.empty());
  moved.close();
  EXPECT_TRUE(moved.empty());
  EXPECT_TRUE(fileExists(path));
  ASSERT_TRUE(verifyInstallerFile(path, release, ready, error));
  discardInstaller(ready);
  EXPECT_TRUE(ready.empty());
  EXPECT_FALSE(fileExists(path));
  discardInstaller(ready);  // an empty record: nothing happens
}

TEST_F(InstallerFile, AMismatchDeletesTheFile) {
  ReadyInstaller ready;
  std::string error;
  TrustedRelease shorter = release;
  ASSERT_TRUE(writeWholeFile(path, bytes.substr(1)));
  EXPECT_FALSE(verifyInstallerFile(path, release, ready, error));
  EXPECT_EQ(error, "the file has 299999 bytes, the release 300000");
  EXPECT_FALSE(fileExists(path));

  std::string changed = bytes;
  changed[12345] ^= 0x20;
  ASSERT_TRUE(writeWholeFile(path, changed));
  EXPECT_FALSE(verifyInstallerFile(path, release, ready, error));
  EXPECT_EQ(error, "the file's SHA-256 is not the release's");
  EXPECT_FALSE(fileExists(path));
  EXPECT_TRUE(ready.empty());
}

TEST_F(InstallerFile, AFileThatCannotBeOpenedIsLeftAlone) {
  ReadyInstaller ready;
  std::string error;
  EXPECT_FALSE(verifyInstallerFile(dir.file(L"missing.exe"), release, ready, error));
  EXPECT_EQ(error, "cannot open the download (2)");
  // Held open for writing by someone else: not ours to delete.
  HANDLE writer =
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(verifyInstallerFile(path, release, ready, error));
  EXPECT_EQ(error, "cannot open the download (32)");
  CloseHandle(writer);
  EXPECT_TRUE(fileExists(path));
}

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
