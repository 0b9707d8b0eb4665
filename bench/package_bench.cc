// Speed and memory of the package reader, each beside a reference on the same
// bytes: libzip on a stored zip of the same names, a read/write copy loop and
// cp, memcpy; and the opening of an archive whose stored hashes all share one
// bucket beside that of the same archive with its true hashes; the parse of a
// 100,000-line patch list beside a line-feed count over its bytes. Data files
// are made once in --work_dir (default ./package-bench-data). Ratios are
// printed by bench/run_package_bench.sh.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "package/patch_list.h"
#include "package/qvk_archive.h"
#include "package/qvk_format.h"
#include "package/qvk_writer.h"

extern char** environ;

namespace {

constexpr int kNames = 100000;
constexpr size_t kBigSize = size_t{256} << 20;
constexpr size_t kCopyChunk = 16384;
// The index of kNames records has 2^17 buckets, and a bucket depends only on
// the low 17 bits of a hash: multiples of 2^17 all share bucket 0.
constexpr int kSharedBucketShift = 17;
// A grown installation's manifest: one record per patched file, naming 300
// package versions.
constexpr int kPatchListLines = 100000;
constexpr int kPatchListVersions = 300;
constexpr int kFirstPatchVersion = 10001;

std::string g_dir = "package-bench-data";
std::vector<std::string> g_names;
std::vector<std::u16string> g_names16;

std::string PathOf(const char* name) { return g_dir + "/" + name; }
std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

void MakeNames() {
  char buf[64];
  for (int i = 0; i < kNames; ++i) {
    std::snprintf(buf, sizeof buf, "data/sub%02d/dir%03d/file_%06d.dat", i / 10000 % 100,
                  i / 100 % 1000, i);
    g_names.emplace_back(buf);
    g_names16.push_back(U16(buf));
  }
}

// "DATA/TEXTURES/SUB12/FILE_012345.DDS\tgamedata/data/textures/sub12/file_012345.dds\t10123\n"
// lines, the versions scattered over the 300.
std::string MakePatchList() {
  std::string text;
  char line[160];
  for (int i = 0; i < kPatchListLines; ++i) {
    const int sub = i / 1000 % 100;
    const int version = kFirstPatchVersion + static_cast<int>(i * 7919u % kPatchListVersions);
    std::snprintf(line, sizeof line,
                  "DATA/TEXTURES/SUB%02d/FILE_%06d.DDS\tgamedata/data/textures/sub%02d/file_%06d.dds\t%d\n",
                  sub, i, sub, i, version);
    text += line;
  }
  return text;
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) std::abort();
}

// names.qvk with every stored hash replaced by a multiple of 2^17, the 32768
// such values in turn, so that all records fall in one bucket. The reader
// trusts stored hashes: a damaged or hostile archive can hold exactly this.
void MakeCollidingArchive() {
  std::string image = ReadFile(PathOf("names.qvk"));
  if (image.size() < kQvkTrailerSize) std::abort();
  const uint8_t* trailer = reinterpret_cast<const uint8_t*>(&image[image.size() - 16]);
  const uint32_t count = QvkLoad32(trailer + 4);
  const size_t dir_size = QvkLoad32(trailer + 8);
  const size_t dir_offset = QvkLoad32(trailer + 12);
  if (dir_offset + dir_size > image.size() - kQvkTrailerSize) std::abort();
  uint8_t* dir = reinterpret_cast<uint8_t*>(&image[dir_offset]);
  QvkUnscramble(kQvkDirectoryKey, kQvkDirectoryKeyLength, dir, dir_size, 0);
  size_t pos = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (dir_size - pos < static_cast<size_t>(kQvkRecordHeaderSize)) std::abort();
    uint8_t* r = dir + pos;
    QvkStore32(r + 15, (i % (1u << (32 - kSharedBucketShift))) << kSharedBucketShift);
    pos += kQvkRecordHeaderSize + 2 * size_t{QvkLoad16(r + 1)};
  }
  QvkScramble(kQvkDirectoryKey, kQvkDirectoryKeyLength, dir, dir_size, 0);
  WriteFile(PathOf("colliding.qvk.tmp"), image);
  std::filesystem::rename(PathOf("colliding.qvk.tmp"), PathOf("colliding.qvk"));
}

void MakeFiles() {
  std::filesystem::create_directories(g_dir);
  const std::string entry_data(16, 'd');
  if (!Exists(PathOf("names.qvk"))) {
    std::unique_ptr<QvkFile> out = QvkStdioFileSystem().Create(U16(PathOf("names.qvk.tmp")).c_str());
    QvkWriter w(out.get());
    for (const std::u16string& n : g_names16) w.AddEntry(n, entry_data.data(), entry_data.size());
    if (!w.Finish() || !out->Close()) std::abort();
    std::filesystem::rename(PathOf("names.qvk.tmp"), PathOf("names.qvk"));
  }
  if (!Exists(PathOf("colliding.qvk"))) MakeCollidingArchive();
  if (!Exists(PathOf("names.zip"))) {
    int err = 0;
    zip_t* z = zip_open(PathOf("names.zip.tmp").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (z == nullptr) std::abort();
    for (const std::string& n : g_names) {
      zip_source_t* s = zip_source_buffer(z, entry_data.data(), entry_data.size(), 0);
      const zip_int64_t i = zip_file_add(z, n.c_str(), s, ZIP_FL_ENC_UTF_8);
      if (i < 0) std::abort();
      zip_set_file_compression(z, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0);
    }
    if (zip_close(z) != 0) std::abort();
    std::filesystem::rename(PathOf("names.zip.tmp"), PathOf("names.zip"));
  }
  if (!Exists(PathOf("big.qvk"))) {
    std::string data(kBigSize, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 2654435761u >> 13);
    std::unique_ptr<QvkFile> out = QvkStdioFileSystem().Create(U16(PathOf("big.qvk.tmp")).c_str());
    QvkWriter w(out.get());
    if (!w.AddEntry(u"big.bin", data.data(), data.size()) || !w.Finish() || !out->Close()) {
      std::abort();
    }
    std::filesystem::rename(PathOf("big.qvk.tmp"), PathOf("big.qvk"));
  }
}

// Plain read/write copy of `size` bytes at `offset` of `from` to a new file.
void CopyLoop(const std::string& from, int64_t offset, size_t size, const std::string& to) {
  static char buffer[kCopyChunk];
  const int in = open(from.c_str(), O_RDONLY);
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0 || lseek(in, offset, SEEK_SET) != offset) std::abort();
  while (size > 0) {
    const size_t n = size < kCopyChunk ? size : kCopyChunk;
    if (read(in, buffer, n) != static_cast<ssize_t>(n)) std::abort();
    if (write(out, buffer, n) != static_cast<ssize_t>(n)) std::abort();
    size -= n;
  }
  close(in);
  if (close(out) != 0) std::abort();
}

void ReadThrough(const std::string& path) {
  static char buffer[1 << 20];
  const int fd = open(path.c_str(), O_RDONLY);
  while (read(fd, buffer, sizeof buffer) > 0) {
  }
  close(fd);
}

// Before each timed write: drop the last output, copy the same data once
// untimed (it absorbs the cost of writing into freshly freed memory), and
// read the source so it is cached.
void PrepareWrite(const std::string& out) {
  std::remove(out.c_str());
  std::remove(PathOf("warm.bin").c_str());
  CopyLoop(PathOf("big.qvk"), 0, kBigSize, PathOf("warm.bin"));
  ReadThrough(PathOf("big.qvk"));
}

// Before the first timed write of a benchmark: a previous output of the same
// size, so that every iteration (the first too) frees the same memory as the
// others, whichever benchmark ran before.
void StartWrites(const std::string& out) {
  CopyLoop(PathOf("big.qvk"), 0, kBigSize, out);
}

void BM_QvkOpen(benchmark::State& state) {
  const std::u16string path = U16(PathOf("names.qvk"));
  for (auto _ : state) {
    QvkArchive* a = QvkOpen(path.c_str());
    if (a == nullptr) std::abort();
    QvkClose(a);
  }
}

// The same file as BM_QvkOpen reads, but with all stored hashes in one bucket.
void BM_QvkOpenColliding(benchmark::State& state) {
  const std::u16string path = U16(PathOf("colliding.qvk"));
  for (auto _ : state) {
    QvkArchive* a = QvkOpen(path.c_str());
    if (a == nullptr || QvkLiveRecordCount(a) != kNames) std::abort();
    QvkClose(a);
  }
}

void BM_ZipOpen(benchmark::State& state) {
  const std::string path = PathOf("names.zip");
  for (auto _ : state) {
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);
    if (z == nullptr) std::abort();
    zip_discard(z);
  }
}

void BM_QvkOpenLookup(benchmark::State& state) {
  const std::u16string path = U16(PathOf("names.qvk"));
  for (auto _ : state) {
    QvkArchive* a = QvkOpen(path.c_str());
    for (const std::u16string& n : g_names16) {
      QvkEntry* e = QvkOpenEntry(a, n.c_str());
      if (e == nullptr) std::abort();
      QvkCloseEntry(e);
    }
    QvkClose(a);
  }
}

void BM_ZipOpenLocate(benchmark::State& state) {
  const std::string path = PathOf("names.zip");
  for (auto _ : state) {
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);
    for (const std::string& n : g_names) {
      if (zip_name_locate(z, n.c_str(), 0) < 0) std::abort();
    }
    zip_discard(z);
  }
}

void BM_QvkMemory(benchmark::State& state) {
  const std::u16string path = U16(PathOf("names.qvk"));
  double bytes = 0;
  for (auto _ : state) {
    const size_t before = mallinfo2().uordblks;
    QvkArchive* a = QvkOpen(path.c_str());
    bytes = static_cast<double>(mallinfo2().uordblks - before);
    QvkClose(a);
  }
  double name_bytes = 0;
  for (const std::u16string& n : g_names16) name_bytes += 2.0 * static_cast<double>(n.size() + 1);
  state.counters["bytes_per_record"] = bytes / kNames;
  state.counters["name_bytes_per_record"] = name_bytes / kNames;
}

void BM_QvkExtract(benchmark::State& state) {
  const std::u16string path = U16(PathOf("big.qvk"));
  const std::string out = PathOf("out.bin");
  QvkArchive* a = QvkOpen(path.c_str());
  StartWrites(out);
  for (auto _ : state) {
    state.PauseTiming();
    PrepareWrite(out);
    state.ResumeTiming();
    if (QvkExtract(a, u"big.bin", U16(out).c_str()) != 0) std::abort();
  }
  QvkClose(a);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigSize));
}

void BM_CopyLoop(benchmark::State& state) {
  const std::string out = PathOf("out.bin");
  // The entry's own bytes, as QvkExtract reads them.
  QvkArchive* a = QvkOpen(U16(PathOf("big.qvk")).c_str());
  if (a == nullptr || QvkLiveRecordCount(a) != 1) std::abort();
  const int64_t offset = QvkLiveRecords(a)[0].data_offset;
  QvkClose(a);
  StartWrites(out);
  for (auto _ : state) {
    state.PauseTiming();
    PrepareWrite(out);
    state.ResumeTiming();
    CopyLoop(PathOf("big.qvk"), offset, kBigSize, out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigSize));
}

void BM_Cp(benchmark::State& state) {
  const std::string out = PathOf("out.bin");
  const std::string from = PathOf("big.qvk");
  StartWrites(out);
  for (auto _ : state) {
    state.PauseTiming();
    PrepareWrite(out);
    state.ResumeTiming();
    char* argv[] = {const_cast<char*>("cp"), const_cast<char*>(from.c_str()),
                    const_cast<char*>(out.c_str()), nullptr};
    pid_t pid = 0;
    int status = 0;
    if (posix_spawnp(&pid, "cp", nullptr, nullptr, argv, environ) != 0 ||
        waitpid(pid, &status, 0) != pid || status != 0) {
      std::abort();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigSize));
}

template <int kKeyLength>
void BM_Unscramble(benchmark::State& state) {
  std::vector<uint8_t> buffer(static_cast<size_t>(state.range(0)), 7);
  const char* key = kKeyLength == 1 ? kQvkEntryKey : kQvkDirectoryKey;
  for (auto _ : state) {
    QvkUnscramble(key, kKeyLength, buffer.data(), buffer.size(), 0);
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<uint8_t> from(static_cast<size_t>(state.range(0)), 7);
  std::vector<uint8_t> to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// The reference for the parse: every byte of the same text read once.
void BM_PatchListScan(benchmark::State& state) {
  const std::string text = MakePatchList();
  for (auto _ : state) {
    const char* bytes = text.data();
    benchmark::DoNotOptimize(bytes);  // the count cannot be hoisted out of the loop
    size_t line_feeds = 0;
    for (size_t i = 0; i < text.size(); ++i) line_feeds += bytes[i] == '\n';
    benchmark::DoNotOptimize(line_feeds);
    if (line_feeds != kPatchListLines) std::abort();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The parse as the launcher runs it: once, into an empty index, of the text
// read from the package and handed over.
template <PatchListMode kMode>
void BM_PatchListParse(benchmark::State& state) {
  const std::string text = MakePatchList();
  PatchListIndex index;
  std::vector<int32_t> versions;
  for (auto _ : state) {
    state.PauseTiming();
    index = PatchListIndex();
    std::string read = text;
    state.ResumeTiming();
    if (!ParsePatchList(std::move(read), kMode, &index, &versions)) std::abort();
  }
  if (index.record_count() != kPatchListLines) std::abort();
  if (kMode == PatchListMode::kWorker && versions.size() != kPatchListVersions) std::abort();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

BENCHMARK(BM_QvkOpen)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_QvkOpenColliding)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ZipOpen)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_QvkOpenLookup)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ZipOpenLocate)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_QvkMemory)->Iterations(1);
BENCHMARK(BM_QvkExtract)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_CopyLoop)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Cp)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_TEMPLATE(BM_Unscramble, 32)->Arg(16384)->Arg(8 << 20);
BENCHMARK_TEMPLATE(BM_Unscramble, 1)->Arg(16384)->Arg(8 << 20);
BENCHMARK(BM_Memcpy)->Arg(16384)->Arg(8 << 20);
BENCHMARK(BM_PatchListScan)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK_TEMPLATE(BM_PatchListParse, PatchListMode::kWindow)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK_TEMPLATE(BM_PatchListParse, PatchListMode::kWorker)->Unit(benchmark::kMillisecond)->MinTime(0.5);

}  // namespace

int main(int argc, char** argv) {
  // Without TZ, glibc's mktime in libzip's open dominates its time.
  setenv("TZ", "UTC", 1);
  tzset();
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--work_dir=", 11) == 0) {
      g_dir = argv[i] + 11;
    } else {
      rest.push_back(argv[i]);
    }
  }
  int rest_count = static_cast<int>(rest.size());
  benchmark::Initialize(&rest_count, rest.data());
  MakeNames();
  MakeFiles();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(PathOf("out.bin").c_str());
  std::remove(PathOf("warm.bin").c_str());
  return 0;
}
