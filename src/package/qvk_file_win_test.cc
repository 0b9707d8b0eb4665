#include "package/qvk_file_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "package/qvk_archive.h"
#include "support/qvk_test_util.h"
#include "package/qvk_writer.h"

namespace {

std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

HANDLE OpenRaw(const std::u16string& path, DWORD access, DWORD share) {
  return CreateFileW(Wide(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(QvkWinFileSystem, ArchivesStayOpenableForWritersAndReaders) {
  TestDir dir;
  const std::u16string path = dir.U16("a.qvk");
  WriteAll(dir.path() / "a.qvk", QvkBuildArchive({{u"x", "shared"}}));

  // Another program holds the file open for writing: the archive still opens.
  HANDLE writer = OpenRaw(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  ScopedFileSystem use_win(&QvkWinFileSystem());
  QvkArchive* a = QvkOpen(path.c_str());
  ASSERT_NE(a, nullptr);
  // And while the archive is open, others may open it for writing.
  HANDLE second = OpenRaw(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_NE(second, INVALID_HANDLE_VALUE);
  CloseHandle(second);
  CloseHandle(writer);

  EXPECT_EQ(QvkExtract(a, u"X", dir.U16("out.txt").c_str()), 0);
  EXPECT_EQ(QvkClose(a), 0);
  EXPECT_EQ(ReadAll(dir.path() / "out.txt"), "shared");
}

TEST(QvkWinFileSystem, CreatedFilesAreNotShared) {
  TestDir dir;
  const std::u16string path = dir.U16("new.bin");
  std::unique_ptr<QvkFile> f = QvkWinFileSystem().Create(path.c_str());
  ASSERT_TRUE(f);
  HANDLE other = OpenRaw(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_EQ(other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
  EXPECT_EQ(f->Write("abc", 3), 3);
  EXPECT_TRUE(f->Close());
  EXPECT_EQ(ReadAll(dir.path() / "new.bin"), "abc");
}

TEST(QvkWinFileSystem, ReadsSeeksAndNonAsciiPaths) {
  TestDir dir;
  const std::u16string path = dir.U16("d") + u"\u00e9\u4e2d.bin";
  {
    std::unique_ptr<QvkFile> f = QvkWinFileSystem().Create(path.c_str());
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Write("hello world", 11), 11);
  }
  std::unique_ptr<QvkFile> f = QvkWinFileSystem().OpenForRead(path.c_str());
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Size(), 11);
  char buf[16];
  ASSERT_TRUE(f->Seek(6));
  EXPECT_EQ(f->Read(buf, sizeof buf), 5u);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_FALSE(f->Seek(-1));
  EXPECT_EQ(f->Write("x", 1), -1);  // read-only handle
  EXPECT_TRUE(f->Close());
  EXPECT_FALSE(QvkWinFileSystem().OpenForRead(dir.U16("missing").c_str()));
}

}  // namespace
