#include "package/qvk_file.h"

#include <gtest/gtest.h>

#include <string>

#include "support/qvk_test_util.h"

namespace {

TEST(QvkStdioFileSystem, CreatesReadsAndSeeks) {
  TestDir dir;
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
  TestDir dir;
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


}  // namespace
