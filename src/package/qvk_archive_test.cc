#include "package/qvk_archive.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "package/qvk_format.h"
#include "support/qvk_test_util.h"
#include "package/qvk_writer.h"

// The package test program's allocation functions: malloc and free, with a
// limit that a test can set to make larger requests fail, as they do in a
// 32-bit process whose address space is used up, and the largest request
// seen while a limit was set.
namespace {
std::atomic<size_t> g_fail_above{SIZE_MAX};
std::atomic<size_t> g_largest_request{0};

void* Allocate(size_t size) noexcept {
  if (g_fail_above.load(std::memory_order_relaxed) != SIZE_MAX) {
    size_t largest = g_largest_request.load(std::memory_order_relaxed);
    while (size > largest && !g_largest_request.compare_exchange_weak(largest, size)) {
    }
    if (size > g_fail_above.load(std::memory_order_relaxed)) return nullptr;
  }
  return std::malloc(size == 0 ? 1 : size);
}

void* AllocateOrThrow(size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(size_t size) { return AllocateOrThrow(size); }
void* operator new[](size_t size) { return AllocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

// While alive, allocations of more than `limit` bytes fail.
class AllocationLimit {
 public:
  explicit AllocationLimit(size_t limit) {
    g_largest_request = 0;
    g_fail_above = limit;
  }
  ~AllocationLimit() { g_fail_above = SIZE_MAX; }
  AllocationLimit(const AllocationLimit&) = delete;
  AllocationLimit& operator=(const AllocationLimit&) = delete;
  // The largest request made so far under this limit, failed ones included.
  size_t largest_request() const { return g_largest_request; }
};

using Entries = std::vector<std::pair<std::u16string, std::string>>;

struct ArchiveCloser {
  void operator()(QvkArchive* a) const { QvkClose(a); }
};
struct EntryCloser {
  void operator()(QvkEntry* e) const { QvkCloseEntry(e); }
};
using ArchivePtr = std::unique_ptr<QvkArchive, ArchiveCloser>;
using EntryPtr = std::unique_ptr<QvkEntry, EntryCloser>;

ArchivePtr OpenImage(const std::string& image) {
  return ArchivePtr(QvkOpenFile(std::make_unique<QvkMemoryFile>(image)));
}

// The whole entry `name` read in chunks of `chunk` bytes; "<missing>" if not found.
std::string ReadEntry(QvkArchive* archive, const char16_t* name, int32_t chunk = 1 << 20) {
  EntryPtr entry(QvkOpenEntry(archive, name));
  if (!entry) return "<missing>";
  std::string out(static_cast<size_t>(QvkEntrySize(entry.get())), '\0');
  for (int32_t done = 0; done < static_cast<int32_t>(out.size());) {
    const int32_t n = std::min<int32_t>(chunk, static_cast<int32_t>(out.size()) - done);
    if (QvkRead(entry.get(), &out[done], n) != n) return "<read failed>";
    done += n;
  }
  return out;
}

// Patches trailer fields of an image.
std::string WithTrailer(std::string image, int32_t count, int32_t dir_size, int32_t dir_offset) {
  uint8_t* t = reinterpret_cast<uint8_t*>(&image[image.size() - 16]);
  QvkStore32(t + 4, static_cast<uint32_t>(count));
  QvkStore32(t + 8, static_cast<uint32_t>(dir_size));
  QvkStore32(t + 12, static_cast<uint32_t>(dir_offset));
  return image;
}

// Changes the unscrambled directory of an image in place.
std::string EditDirectory(std::string image, const std::function<void(uint8_t*)>& edit) {
  const uint8_t* t = reinterpret_cast<const uint8_t*>(&image[image.size() - 16]);
  const uint32_t size = QvkLoad32(t + 8);
  uint8_t* dir = reinterpret_cast<uint8_t*>(&image[QvkLoad32(t + 12)]);
  QvkUnscramble(kQvkDirectoryKey, 32, dir, size, 0);
  edit(dir);
  QvkScramble(kQvkDirectoryKey, 32, dir, size, 0);
  return image;
}

std::string Pattern(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 131 + i / 256);
  return s;
}

TEST(QvkArchive, FindsAndReadsEntries) {
  const std::string big = Pattern(100000);
  ArchivePtr a = OpenImage(QvkBuildArchive(
      {{u"PatchList.txt", "LINK.INI\tlink.ini\t1\n"}, {u"data/big.bin", big}, {u"e", ""}}));
  ASSERT_TRUE(a);
  EXPECT_EQ(ReadEntry(a.get(), u"PatchList.txt"), "LINK.INI\tlink.ini\t1\n");
  EXPECT_EQ(ReadEntry(a.get(), u"data/big.bin"), big);
  EXPECT_EQ(ReadEntry(a.get(), u"e"), "");
  ASSERT_EQ(QvkLiveRecordCount(a.get()), 3);
  EXPECT_EQ(std::u16string(QvkLiveRecords(a.get())[1].name), u"data/big.bin");
  EXPECT_EQ(QvkLiveRecords(a.get())[1].data_size, 100000);
}

TEST(QvkArchive, NamesMatchWithOnlyAsciiLettersFolded) {
  ArchivePtr a = OpenImage(QvkBuildArchive({{u"link.ini", "L"}, {u"BaseData/x.ini", "X"}}));
  ASSERT_TRUE(a);
  const struct {
    const char16_t* name;
    const char* expected;
  } cases[] = {
      {u"link.ini", "L"},          {u"LINK.INI", "L"},          {u"Link.Ini", "L"},
      {u"basedata/X.INI", "X"},    {u"BaseData\\x.ini", "<missing>"},
      {u"link.ini ", "<missing>"}, {u"", "<missing>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadEntry(a.get(), c.name), c.expected) << std::u16string(c.name).size();
  }
}

TEST(QvkArchive, FirstRecordOfAHashWinsAndDeletedRecordsAreGone) {
  QvkMemoryFile file;
  QvkWriter w(&file);
  ASSERT_TRUE(w.AddEntry(u"dup", "first", 5));
  ASSERT_TRUE(w.AddEntry(u"DUP", "second", 6));
  QvkRawRecord gone;
  gone.name = u"gone";
  gone.data_size = -1;
  gone.name_hash = QvkNameHash(u"gone");
  w.AddRecord(gone);
  QvkRawRecord back = gone;  // deleted, then live again
  back.name = u"back";
  back.name_hash = QvkNameHash(u"back");
  w.AddRecord(back);
  ASSERT_TRUE(w.AddEntry(u"back", "live", 4));
  ASSERT_TRUE(w.Finish());
  ArchivePtr a = OpenImage(file.bytes());
  ASSERT_TRUE(a);
  EXPECT_EQ(ReadEntry(a.get(), u"dup"), "first");
  EXPECT_EQ(ReadEntry(a.get(), u"gone"), "<missing>");
  EXPECT_EQ(ReadEntry(a.get(), u"back"), "live");
  EXPECT_EQ(QvkLiveRecordCount(a.get()), 3);  // both dups and the live "back"
}

// A hash that falls in the same bucket as `hash` in every index of up to
// 65536 buckets (a bucket depends only on a hash's low bits), and differs
// from it for k in [1, 65535].
uint32_t SameBucket(uint32_t hash, uint32_t k) { return hash + (k << 16); }

TEST(QvkArchive, HashesCrowdedIntoBucketsIndexInLinearWork) {
  const char16_t* const crowded[] = {u"alpha", u"beta", u"gamma"};
  QvkMemoryFile file;
  QvkWriter w(&file);
  ASSERT_TRUE(w.AddEntry(u"x", "fill", 4));
  int32_t records = 1;
  // Records whose distinct stored hashes all share the buckets of the three
  // names; their own names are not what their hashes say.
  uint32_t k = 1;
  const auto add_crowd = [&](int count) {
    for (int i = 0; i < count; ++i, ++k, ++records) {
      QvkRawRecord r;
      r.name = u"crowd";
      r.data_size = 4;
      r.name_hash = SameBucket(QvkNameHash(crowded[i % 3]), k);
      w.AddRecord(r);
    }
  };
  const auto add_deleted = [&](const char16_t* name) {
    QvkRawRecord r;
    r.name = name;
    r.data_size = -1;
    r.name_hash = QvkNameHash(name);
    w.AddRecord(r);
    ++records;
  };
  add_crowd(3000);
  add_deleted(u"beta");
  ASSERT_TRUE(w.AddEntry(u"alpha", "first", 5));
  ASSERT_TRUE(w.AddEntry(u"ALPHA", "second", 6));
  ASSERT_TRUE(w.AddEntry(u"beta", "live", 4));
  add_deleted(u"gamma");
  records += 3;
  add_crowd(3000);
  ASSERT_TRUE(w.Finish());

  ArchivePtr a = OpenImage(file.bytes());
  ASSERT_TRUE(a);
  EXPECT_LE(QvkIndexSteps(a.get()), 2 * int64_t{records});
  EXPECT_EQ(QvkLiveRecordCount(a.get()), records - 2);
  EXPECT_EQ(ReadEntry(a.get(), u"alpha"), "first");
  EXPECT_EQ(ReadEntry(a.get(), u"Alpha"), "first");
  EXPECT_EQ(ReadEntry(a.get(), u"beta"), "live");
  EXPECT_EQ(ReadEntry(a.get(), u"gamma"), "<missing>");
  EXPECT_EQ(ReadEntry(a.get(), u"x"), "fill");
  EXPECT_EQ(ReadEntry(a.get(), u"crowd"), "<missing>");
}

TEST(QvkArchive, ReadsInPiecesGiveTheSameBytes) {
  const std::string data = Pattern(70001);
  ArchivePtr a = OpenImage(QvkBuildArchive({{u"x", data}}));
  ASSERT_TRUE(a);
  for (int32_t chunk : {1, 7, 16384, 70001}) EXPECT_EQ(ReadEntry(a.get(), u"x", chunk), data);
}

TEST(QvkArchive, ConsecutiveReadsDoNotRepositionTheFile) {
  FileScript script;
  ArchivePtr a(QvkOpenFile(
      std::make_unique<FaultyFile>(QvkBuildArchive({{u"x", Pattern(100)}}), &script)));
  ASSERT_TRUE(a);
  EntryPtr e(QvkOpenEntry(a.get(), u"x"));
  char buf[100];
  const int seeks_after_open = script.seeks;
  ASSERT_EQ(QvkRead(e.get(), buf, 10), 10);
  ASSERT_EQ(QvkRead(e.get(), buf, 10), 10);
  ASSERT_EQ(QvkRead(e.get(), buf, 0), 0);
  EXPECT_EQ(script.seeks - seeks_after_open, 1);
}

TEST(QvkArchive, StatusCodes) {
  ArchivePtr a = OpenImage(QvkBuildArchive({{u"x", "abc"}}));
  ASSERT_TRUE(a);
  EntryPtr e(QvkOpenEntry(a.get(), u"x"));
  char buf[8];
  EXPECT_EQ(QvkOpenEntry(nullptr, u"x"), nullptr);
  EXPECT_EQ(QvkOpenEntry(a.get(), nullptr), nullptr);
  EXPECT_EQ(QvkCloseEntry(nullptr), -1);
  EXPECT_EQ(QvkEntrySize(nullptr), -1);
  EXPECT_EQ(QvkEntrySize(e.get()), 3);
  EXPECT_EQ(QvkRead(nullptr, buf, 1), -1);
  EXPECT_EQ(QvkRead(e.get(), nullptr, 1), -1);
  EXPECT_EQ(QvkRead(e.get(), buf, -1), -1);
  EXPECT_EQ(QvkRead(e.get(), buf, 0), 0);
  EXPECT_EQ(QvkRead(e.get(), buf, 4), -3);  // one past the entry's end
  EXPECT_EQ(std::string(buf, 3), "abc");
  EXPECT_EQ(QvkRead(e.get(), buf, 1), -3);  // nothing left
  EXPECT_EQ(QvkClose(nullptr), -1);
  EXPECT_EQ(QvkOpen(nullptr), nullptr);
  EXPECT_EQ(QvkOpenFile(nullptr), nullptr);
}

TEST(QvkArchive, FailedPositioningIsReportedAndRecovered) {
  FileScript script;
  ArchivePtr a(QvkOpenFile(
      std::make_unique<FaultyFile>(QvkBuildArchive({{u"x", "abcdef"}}), &script)));
  ASSERT_TRUE(a);
  EntryPtr e(QvkOpenEntry(a.get(), u"x"));
  char buf[6];
  script.fail_seek = true;
  EXPECT_EQ(QvkRead(e.get(), buf, 3), -2);
  script.fail_seek = false;
  ASSERT_EQ(QvkRead(e.get(), buf, 3), 3);
  EXPECT_EQ(std::string(buf, 3), "abc");
}

TEST(QvkArchive, CloseReportsAFailedFileClose) {
  FileScript script;
  script.fail_close = true;
  QvkArchive* a =
      QvkOpenFile(std::make_unique<FaultyFile>(QvkBuildArchive({{u"x", "a"}}), &script));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(QvkClose(a), -2);
}

TEST(QvkArchive, EmptyDirectoryOpensAndFindsNothing) {
  ArchivePtr a = OpenImage(QvkBuildArchive({}));
  ASSERT_TRUE(a);
  EXPECT_EQ(QvkOpenEntry(a.get(), u""), nullptr);
  EXPECT_EQ(QvkOpenEntry(a.get(), u"x"), nullptr);
  EXPECT_EQ(QvkLiveRecordCount(a.get()), 0);
}

TEST(QvkArchive, RefusesDamagedArchives) {
  const std::string good = QvkBuildArchive({{u"one", "11111"}, {u"two", "22"}});
  ASSERT_TRUE(OpenImage(good));
  const int32_t n = static_cast<int32_t>(good.size());
  const int32_t dir_size = 2 * 19 + 2 * 6;
  const int32_t dir_offset = 7;
  ASSERT_EQ(n, dir_offset + dir_size + 16);

  std::vector<std::pair<const char*, std::string>> cases = {
      {"empty file", ""},
      {"shorter than the trailer", good.substr(n - 15)},
      {"truncated at the front", good.substr(1)},
      {"truncated at the end", good.substr(0, n - 1)},
      {"negative count", WithTrailer(good, -1, dir_size, dir_offset)},
      {"count beyond the directory", WithTrailer(good, 3, dir_size, dir_offset)},
      {"absurd count", WithTrailer(good, 0x7FFFFFFF, dir_size, dir_offset)},
      {"negative directory size", WithTrailer(good, 2, -1, dir_offset)},
      {"directory larger than the file", WithTrailer(good, 2, 0x7FFFFFF0, dir_offset)},
      {"directory into the trailer", WithTrailer(good, 2, dir_size, dir_offset + 1)},
      {"negative directory offset", WithTrailer(good, 2, dir_size, -7)},
      {"negative name length",
       EditDirectory(good, [](uint8_t* d) { QvkStore16(d + 1, 0xFFFF); })},
      {"name past the directory",
       EditDirectory(good, [](uint8_t* d) { QvkStore16(d + 25 + 1, 7); })},
      {"absurd name length",
       EditDirectory(good, [](uint8_t* d) { QvkStore16(d + 1, 0x7FFF); })},
      {"negative data offset",
       EditDirectory(good, [](uint8_t* d) { QvkStore32(d + 3, 0xFFFFFFFF); })},
      {"data past the end of the file",
       EditDirectory(good, [n](uint8_t* d) { QvkStore32(d + 3, static_cast<uint32_t>(n - 4)); })},
      {"huge data size",
       EditDirectory(good, [](uint8_t* d) { QvkStore32(d + 7, 0x7FFFFFFF); })},
  };
  for (int byte = 0; byte < 4; ++byte) {
    std::string bad = good;
    bad[n - 16 + byte] = static_cast<char>(bad[n - 16 + byte] ^ 0x01);
    cases.emplace_back("wrong magic byte", bad);
  }
  for (const auto& [what, image] : cases) EXPECT_FALSE(OpenImage(image)) << what;

  // A deleted record's offset is never used, so it is not checked.
  const std::string deleted_far = EditDirectory(good, [](uint8_t* d) {
    QvkStore32(d + 3, 0x7FFFFFFF);
    QvkStore32(d + 7, 0xFFFFFFFF);
  });
  ArchivePtr a = OpenImage(deleted_far);
  ASSERT_TRUE(a);
  EXPECT_EQ(ReadEntry(a.get(), u"one"), "<missing>");
  EXPECT_EQ(ReadEntry(a.get(), u"two"), "22");
}

// A file of `size` bytes that stores only its last bytes, `tail`; the bytes
// before read as zeros.
class SparseFile : public QvkFile {
 public:
  SparseFile(int64_t size, std::string tail) : size_(size), tail_(std::move(tail)) {}
  bool Seek(int64_t offset) override {
    if (offset < 0) return false;
    position_ = offset;
    return true;
  }
  size_t Read(void* buffer, size_t size) override {
    char* out = static_cast<char*>(buffer);
    const int64_t tail_start = size_ - static_cast<int64_t>(tail_.size());
    size_t n = 0;
    for (; n < size && position_ < size_; ++n, ++position_) {
      out[n] = position_ < tail_start ? '\0' : tail_[static_cast<size_t>(position_ - tail_start)];
    }
    return n;
  }
  int64_t Write(const void*, size_t) override { return -1; }
  int64_t Size() override { return size_; }
  bool Close() override { return true; }

 private:
  int64_t size_;
  std::string tail_;
  int64_t position_ = 0;
};

// A sparse file of `size` bytes ending in the directory of `records` and
// its trailer.
std::unique_ptr<QvkFile> SparseArchive(int64_t size, const std::vector<QvkRawRecord>& records) {
  QvkMemoryFile tail;
  QvkWriter w(&tail);
  for (const QvkRawRecord& r : records) w.AddRecord(r);
  w.Finish();
  const std::string bytes = tail.bytes();
  const int64_t dir_offset = size - static_cast<int64_t>(bytes.size());
  const int32_t dir_size = static_cast<int32_t>(bytes.size()) - 16;
  return std::make_unique<SparseFile>(
      size, WithTrailer(bytes, static_cast<int32_t>(records.size()), dir_size,
                        static_cast<int32_t>(dir_offset)));
}

constexpr int64_t kGiB = int64_t{1} << 30;

TEST(QvkArchiveLimits, ClaimedSizesAreRefusedBeforeTheyAreAllocated) {
  // Images of over 64 KiB, so that the reader's own small bookkeeping stays
  // below the bound that the file's size sets.
  const std::string good = QvkBuildArchive({{u"pad", Pattern(65536)}, {u"one", "1"}});
  const int32_t n = static_cast<int32_t>(good.size());
  const int32_t dir_size = 2 * 19 + 2 * 6;
  const int32_t dir_offset = n - 16 - dir_size;
  const auto in_memory = [](const std::string& image) {
    return std::make_unique<QvkMemoryFile>(image);
  };
  struct Case {
    const char* what;
    std::unique_ptr<QvkFile> file;
  };
  Case cases[] = {
      {"directory larger than the file", in_memory(WithTrailer(good, 2, 0x7FFFFFF0, dir_offset))},
      {"absurd count", in_memory(WithTrailer(good, 0x7FFFFFFF, dir_size, dir_offset))},
      {"absurd name length",
       in_memory(EditDirectory(good, [](uint8_t* d) { QvkStore16(d + 1, 0x7FFF); }))},
      {"huge data size",
       in_memory(EditDirectory(good, [](uint8_t* d) { QvkStore32(d + 7, 0x7FFFFFFF); }))},
      // Inside a file of 1 GiB, but more than a directory may be.
      {"directory of 512 MiB",
       std::make_unique<SparseFile>(kGiB, WithTrailer(QvkBuildArchive({}), 0, 512 << 20, 0))},
      {"directory just over the limit",
       std::make_unique<SparseFile>(
           kGiB, WithTrailer(QvkBuildArchive({}), 0, kQvkMaxDirectorySize + 1, 0))},
  };
  for (Case& c : cases) {
    const int64_t file_size = c.file->Size();
    const size_t bound =
        static_cast<size_t>(std::min<int64_t>(file_size, kQvkMaxDirectorySize));
    QvkArchive* a = nullptr;
    size_t largest = 0;
    {
      AllocationLimit limit(bound);
      a = QvkOpenFile(std::move(c.file));
      largest = limit.largest_request();
    }
    EXPECT_EQ(a, nullptr) << c.what;
    EXPECT_LE(largest, bound) << c.what;
    QvkClose(a);
  }
}

TEST(QvkArchiveLimits, AnEntryTooLargeToHoldIsAFailedRead) {
  QvkRawRecord big;
  big.name = u"big";
  big.data_size = 512 << 20;
  big.name_hash = QvkNameHash(u"big");
  ArchivePtr a(QvkOpenFile(SparseArchive(kGiB, {big})));
  ASSERT_TRUE(a);
  std::string text = "kept";
  int result = 0;
  size_t largest = 0;
  {
    AllocationLimit limit(kQvkMaxReadAllSize);
    result = QvkReadAll(a.get(), u"big", &text);
    largest = limit.largest_request();
  }
  EXPECT_EQ(result, -3);
  EXPECT_EQ(text, "kept");
  EXPECT_LE(largest, static_cast<size_t>(kQvkMaxReadAllSize));
}

TEST(QvkArchiveLimits, AFailedAllocationIsAFailedOpenOrRead) {
  Entries entries;
  for (int i = 0; i < 3000; ++i) {
    const std::string name = "entry" + std::to_string(i);
    entries.emplace_back(std::u16string(name.begin(), name.end()), "");
  }
  entries.emplace_back(u"big", Pattern(100000));
  const std::string image = QvkBuildArchive(entries);
  TestDir dir;
  WriteAll(dir.path() / "a.qvk", image);
  const std::u16string path = dir.U16("a.qvk");
  const std::u16string out_path = dir.U16("out.bin");

  auto file = std::make_unique<QvkMemoryFile>(image);
  QvkArchive* from_file = nullptr;
  QvkArchive* from_disk = nullptr;
  {
    AllocationLimit limit(4096);  // less than the directory
    from_file = QvkOpenFile(std::move(file));
  }
  {
    AllocationLimit limit(0);
    from_disk = QvkOpen(path.c_str());
  }
  EXPECT_EQ(from_file, nullptr);
  EXPECT_EQ(from_disk, nullptr);
  QvkClose(from_file);
  QvkClose(from_disk);

  ArchivePtr a(QvkOpen(path.c_str()));
  ASSERT_TRUE(a);
  std::string text = "kept";
  int read_all = 0;
  QvkEntry* entry = nullptr;
  int extract = 0;
  {
    AllocationLimit limit(65536);  // less than the entry
    read_all = QvkReadAll(a.get(), u"big", &text);
  }
  {
    AllocationLimit limit(0);
    entry = QvkOpenEntry(a.get(), u"big");
    extract = QvkExtract(a.get(), u"big", out_path.c_str());
  }
  EXPECT_EQ(read_all, -3);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(entry, nullptr);
  QvkCloseEntry(entry);
  EXPECT_EQ(extract, -3);  // the output could not be created
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.bin"));

  // The archive stays usable: with memory to spare the same calls succeed.
  EXPECT_EQ(QvkReadAll(a.get(), u"big", &text), 0);
  EXPECT_EQ(text, Pattern(100000));
  EXPECT_EQ(QvkExtract(a.get(), u"big", out_path.c_str()), 0);
  EXPECT_EQ(ReadAll(dir.path() / "out.bin"), Pattern(100000));
}

TEST(QvkArchive, EntryHandlesOnSeveralThreadsShareTheFile) {
  Entries entries;
  for (int i = 0; i < 4; ++i) {
    std::string data = Pattern(50000 + i);
    data[0] = static_cast<char>('a' + i);
    entries.emplace_back(std::u16string(u"t") + static_cast<char16_t>(u'0' + i), data);
  }
  ArchivePtr a = OpenImage(QvkBuildArchive(entries));
  ASSERT_TRUE(a);
  std::vector<std::string> got(entries.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < entries.size(); ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; round < 20; ++round) {
        got[i] = ReadEntry(a.get(), entries[i].first.c_str(), 97 + static_cast<int32_t>(i));
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(got[i], entries[i].second) << i;
}

TEST(QvkArchive, OpensFilesOnDisk) {
  TestDir dir;
  WriteAll(dir.path() / "a.qvk", QvkBuildArchive({{u"x", "disk"}}));
  ArchivePtr a(QvkOpen(dir.U16("a.qvk").c_str()));
  ASSERT_TRUE(a);
  EXPECT_EQ(ReadEntry(a.get(), u"x"), "disk");
  EXPECT_EQ(QvkOpen(dir.U16("missing.qvk").c_str()), nullptr);
  WriteAll(dir.path() / "short.qvk", "0123456789abcde");
  EXPECT_EQ(QvkOpen(dir.U16("short.qvk").c_str()), nullptr);
}

TEST(QvkReadAll, ReadsWholeEntries) {
  ArchivePtr a = OpenImage(QvkBuildArchive({{u"PatchList.txt", "text"}, {u"z", ""}}));
  std::string text = "old";
  EXPECT_EQ(QvkReadAll(a.get(), u"patchlist.txt", &text), 0);
  EXPECT_EQ(text, "text");
  EXPECT_EQ(QvkReadAll(a.get(), u"z", &text), 0);
  EXPECT_EQ(text, "");
  text = "kept";
  EXPECT_EQ(QvkReadAll(a.get(), u"missing", &text), -2);
  EXPECT_EQ(text, "kept");
  EXPECT_EQ(QvkReadAll(nullptr, u"z", &text), -1);
}

class QvkExtractTest : public ::testing::Test {
 protected:
  QvkExtractTest() : use_fake_(&files_) {}
  FakeFileSystem files_;
  ScopedFileSystem use_fake_;
};

TEST_F(QvkExtractTest, WritesTheEntryInChunks) {
  const std::string data = Pattern(16384 * 3 + 5);
  ArchivePtr a = OpenImage(QvkBuildArchive({{u"big", data}, {u"empty", ""}}));
  EXPECT_EQ(QvkExtract(a.get(), u"BIG", u"out.bin"), 0);
  EXPECT_EQ(files_.created_path, u"out.bin");
  EXPECT_EQ(files_.script.last_bytes, data);
  EXPECT_EQ(QvkExtract(a.get(), u"empty", u"out.bin"), 0);
  EXPECT_EQ(files_.script.last_bytes, "");
}

TEST_F(QvkExtractTest, StatusCodes) {
  ArchivePtr a = OpenImage(QvkBuildArchive({{u"x", Pattern(40000)}}));
  EXPECT_EQ(QvkExtract(nullptr, u"x", u"o"), -1);
  EXPECT_EQ(QvkExtract(a.get(), nullptr, u"o"), -1);
  EXPECT_EQ(QvkExtract(a.get(), u"x", nullptr), -1);
  EXPECT_EQ(QvkExtract(a.get(), u"missing", u"o"), -2);
  EXPECT_EQ(files_.creates, 0);  // a missing entry leaves the output alone

  files_.fail_create = true;
  EXPECT_EQ(QvkExtract(a.get(), u"x", u"o"), -3);
  files_.fail_create = false;

  files_.script.fail_write = true;
  EXPECT_EQ(QvkExtract(a.get(), u"x", u"o"), -3);
  files_.script.fail_write = false;

  files_.script.write_limit = 100;
  EXPECT_EQ(QvkExtract(a.get(), u"x", u"o"), -4);
  EXPECT_EQ(files_.script.last_bytes, Pattern(100));  // what was written stays
  files_.script.write_limit = -1;

  files_.script.fail_close = true;
  EXPECT_EQ(QvkExtract(a.get(), u"x", u"o"), -5);
  files_.script.fail_close = false;
}

TEST(QvkExtractOnDisk, ReplacesAnExistingFile) {
  TestDir dir;
  WriteAll(dir.path() / "a.qvk", QvkBuildArchive({{u"x", "new"}}));
  WriteAll(dir.path() / "out.txt", "older and longer");
  ArchivePtr a(QvkOpen(dir.U16("a.qvk").c_str()));
  ASSERT_TRUE(a);
  EXPECT_EQ(QvkExtract(a.get(), u"x", dir.U16("out.txt").c_str()), 0);
  EXPECT_EQ(ReadAll(dir.path() / "out.txt"), "new");
  EXPECT_EQ(QvkExtract(a.get(), u"x", dir.U16("no/such/dir/out.txt").c_str()), -3);
}

}  // namespace
