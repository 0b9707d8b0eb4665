#include "package/qvk_file.h"

#include <gtest/gtest.h>

#include <string>

#include "support/qvk_test_util.h"

namespace {

TEST(QvkStdioFileSystem, CreatesReadsAndSeeks) {
  ScopedTempDir dir;
  QvkFileSystem& files = QvkStdioFileSystem();
  const std::u16string path = dir.U16("f.bin");
  {
    std::unique_ptr<QvkFile> f = files.Create(path.c_str());
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Write("hello world", 11), 11);
    EXPECT_TRUE(f->Close());
    EXPECT_TRUE(f->Close());
  }
  std::unique_ptr<QvkFile> f = files.OpenForRead(path.c_str());
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Size(), 11);
  char buf[16] = {};
  ASSERT_TRUE(f->Seek(6));
  EXPECT_EQ(f->Read(buf, sizeof buf), 5u);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_FALSE(f->Seek(-1));
  EXPECT_EQ(f->Write("x", 1), -1);  // opened for reading only
  EXPECT_FALSE(files.OpenForRead(dir.U16("missing").c_str()));
  EXPECT_FALSE(files.OpenForRead(nullptr));
}

TEST(QvkStdioFileSystem, NonAsciiPaths) {
  ScopedTempDir dir;
  const std::u16string path = dir.U16("x") + u"\u00e9\u4e2d.bin";
  std::unique_ptr<QvkFile> f = QvkStdioFileSystem().Create(path.c_str());
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Write("a", 1), 1);
  EXPECT_TRUE(f->Close());
  EXPECT_TRUE(QvkStdioFileSystem().OpenForRead(path.c_str()));
}

TEST(QvkMemoryFile, ReadsWritesAndExtends) {
  QvkMemoryFile f("abc");
  char buf[4];
  EXPECT_EQ(f.Read(buf, 4), 3u);
  ASSERT_TRUE(f.Seek(5));
  EXPECT_EQ(f.Read(buf, 1), 0u);
  EXPECT_EQ(f.Write("z", 1), 1);
  EXPECT_EQ(f.bytes(), std::string("abc\0\0z", 6));
}

TEST(QvkUtf, ConvertsBothWays) {
  const struct {
    std::u16string utf16;
    std::string utf8;
  } cases[] = {
      {u"", ""},
      {u"abc/Z", "abc/Z"},
      {u"\u00e9", "\xC3\xA9"},
      {u"\u4e2d", "\xE4\xB8\xAD"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(QvkUtf16ToUtf8(c.utf16), c.utf8);
    EXPECT_EQ(QvkUtf8ToUtf16(c.utf8), c.utf16);
  }
  EXPECT_EQ(QvkUtf16ToUtf8(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD");
  EXPECT_EQ(QvkUtf8ToUtf16("\xFF" "a"), u"\uFFFDa");
  EXPECT_EQ(QvkUtf8ToUtf16("\xE4\xB8"), u"\uFFFD\uFFFD");  // truncated sequence
  EXPECT_EQ(QvkUtf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong
}

}  // namespace
