#include "package/qvk_archive.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

struct QvkArchive {
  std::unique_ptr<QvkFile> file;
  int64_t file_size = 0;
  int32_t record_count = 0;
  int32_t directory_size = 0;
  int32_t directory_offset = 0;
  // Where the file pointer stands; -1 when unknown (after opening or after a
  // failed positioning or read).
  int64_t cached_position = -1;
  std::vector<QvkRecord> records;          // live records, directory order
  std::unique_ptr<char16_t[]> names;       // every name, zero-terminated
  std::vector<int32_t> buckets;            // first record of each chain, or -1
  int64_t index_steps = 0;
  std::mutex lock;
};

struct QvkEntry {
  QvkArchive* archive;
  QvkFile* file;
  const QvkRecord* record;
  int64_t position;  // bytes consumed so far
};

namespace {

inline uint32_t BucketOf(uint32_t hash, size_t bucket_count) {
  return (hash * 0x1E3779B1u) & static_cast<uint32_t>(bucket_count - 1) & 0x7FFFFFFFu;
}

// Size and totals of a directory that passed the checks.
struct DirectoryShape {
  int32_t live_records = 0;
  size_t name_units = 0;  // including one terminator per live name
};

// Checks that `count` records fit the directory block and that every live
// record's data lies inside the file.
bool CheckDirectory(const uint8_t* dir, size_t dir_size, int32_t count, int64_t file_size,
                    DirectoryShape* shape) {
  size_t pos = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (dir_size - pos < static_cast<size_t>(kQvkRecordHeaderSize)) return false;
    const uint8_t* r = dir + pos;
    const int16_t n = static_cast<int16_t>(QvkLoad16(r + 1));
    if (n < 0) return false;
    const size_t record_size = kQvkRecordHeaderSize + 2 * static_cast<size_t>(n);
    if (dir_size - pos < record_size) return false;
    const int32_t offset = static_cast<int32_t>(QvkLoad32(r + 3));
    const int32_t size = static_cast<int32_t>(QvkLoad32(r + 7));
    if (size >= 0) {
      if (offset < 0 || static_cast<int64_t>(offset) + size > file_size) return false;
      ++shape->live_records;
      shape->name_units += static_cast<size_t>(n) + 1;
    }
    pos += record_size;
  }
  return true;
}

void BuildRecords(const uint8_t* dir, int32_t count, QvkArchive* a) {
  char16_t* name_out = a->names.get();
  size_t pos = 0;
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* r = dir + pos;
    const int16_t n = static_cast<int16_t>(QvkLoad16(r + 1));
    pos += kQvkRecordHeaderSize + 2 * static_cast<size_t>(n);
    const int32_t size = static_cast<int32_t>(QvkLoad32(r + 7));
    if (size < 0) continue;  // deleted

    QvkRecord rec;
    rec.flags = r[0];
    rec.name_length = n;
    rec.data_offset = static_cast<int32_t>(QvkLoad32(r + 3));
    rec.data_size = size;
    rec.word = QvkLoad32(r + 11);
    rec.name_hash = QvkLoad32(r + 15);
    rec.next_in_bucket = -1;
    rec.name = name_out;
    const uint8_t* units = r + kQvkRecordHeaderSize;
    for (int16_t k = 0; k < n; ++k) name_out[k] = static_cast<char16_t>(QvkLoad16(units + 2 * k));
    name_out[n] = 0;
    name_out += n + 1;
    a->records.push_back(rec);
  }
}

// Chains every live record into its bucket, last record first, so that each
// chain lists its records in directory order and a lookup stops at the first
// record of a hash. One step per record, however the stored hashes fall:
// checking each record against its chain for an earlier one of the same hash
// would cost the chain's length, and a damaged archive can put every record
// in one chain.
void IndexRecords(QvkArchive* a) {
  // 16 buckets, doubled while the records outnumber them.
  size_t bucket_count = 16;
  while (bucket_count < a->records.size()) bucket_count <<= 1;
  a->buckets.assign(bucket_count, -1);
  for (size_t i = a->records.size(); i-- > 0;) {
    QvkRecord& rec = a->records[i];
    int32_t& head = a->buckets[BucketOf(rec.name_hash, bucket_count)];
    rec.next_in_bucket = head;
    head = static_cast<int32_t>(i);
    ++a->index_steps;
  }
}

int32_t ReadLocked(QvkEntry* entry, uint8_t* buffer, int32_t count) {
  QvkArchive* a = entry->archive;
  const QvkRecord& rec = *entry->record;
  const int64_t left = std::max<int64_t>(0, rec.data_size - entry->position);
  const size_t want = static_cast<size_t>(std::min<int64_t>(count, left));

  std::lock_guard<std::mutex> hold(a->lock);
  const int64_t target = rec.data_offset + entry->position;
  if (a->cached_position != target) {
    if (!entry->file->Seek(target)) {
      a->cached_position = -1;
      return -2;
    }
    a->cached_position = target;
  }
  const size_t got = want == 0 ? 0 : entry->file->Read(buffer, want);
  QvkUnscramble(kQvkEntryKey, kQvkEntryKeyLength, buffer, got,
                static_cast<uint64_t>(entry->position));
  entry->position += static_cast<int64_t>(got);
  a->cached_position = got == want ? a->cached_position + static_cast<int64_t>(got) : -1;
  return got == static_cast<size_t>(count) ? count : -3;
}

// The first record in directory order whose stored hash is the name's hash;
// null if there is none.
const QvkRecord* FindRecord(const QvkArchive* a, const char16_t* name) {
  const uint32_t hash = QvkNameHash(name);
  int32_t i = a->buckets[BucketOf(hash, a->buckets.size())];
  while (i >= 0 && a->records[i].name_hash != hash) i = a->records[i].next_in_bucket;
  return i < 0 ? nullptr : &a->records[i];
}

std::unique_ptr<QvkArchive> OpenArchive(std::unique_ptr<QvkFile> file) {
  auto a = std::make_unique<QvkArchive>();
  a->file = std::move(file);
  a->file_size = a->file->Size();
  if (a->file_size < kQvkTrailerSize) return nullptr;

  uint8_t trailer[kQvkTrailerSize];
  if (!a->file->Seek(a->file_size - kQvkTrailerSize) ||
      a->file->Read(trailer, sizeof trailer) != sizeof trailer ||
      std::memcmp(trailer, kQvkMagic, sizeof kQvkMagic) != 0) {
    return nullptr;
  }
  a->record_count = static_cast<int32_t>(QvkLoad32(trailer + 4));
  a->directory_size = static_cast<int32_t>(QvkLoad32(trailer + 8));
  a->directory_offset = static_cast<int32_t>(QvkLoad32(trailer + 12));
  // The directory lies before the trailer, holds at least the record headers
  // and is no larger than kQvkMaxDirectorySize; this bounds every allocation
  // below by the file's size and by a few times that limit.
  if (a->record_count < 0 || a->directory_size < 0 || a->directory_offset < 0 ||
      a->directory_size > kQvkMaxDirectorySize ||
      static_cast<int64_t>(a->directory_offset) + a->directory_size >
          a->file_size - kQvkTrailerSize ||
      a->record_count > a->directory_size / kQvkRecordHeaderSize) {
    return nullptr;
  }

  const size_t dir_size = static_cast<size_t>(a->directory_size);
  std::unique_ptr<uint8_t[]> dir(new uint8_t[dir_size == 0 ? 1 : dir_size]);
  if (!a->file->Seek(a->directory_offset) || a->file->Read(dir.get(), dir_size) != dir_size) {
    return nullptr;
  }
  QvkUnscramble(kQvkDirectoryKey, kQvkDirectoryKeyLength, dir.get(), dir_size, 0);

  DirectoryShape shape;
  if (!CheckDirectory(dir.get(), dir_size, a->record_count, a->file_size, &shape)) return nullptr;
  a->records.reserve(static_cast<size_t>(shape.live_records));
  a->names.reset(new char16_t[shape.name_units == 0 ? 1 : shape.name_units]);
  BuildRecords(dir.get(), a->record_count, a.get());
  IndexRecords(a.get());
  a->cached_position = -1;
  return a;
}

}  // namespace

QvkArchive* QvkOpen(const char16_t* path) {
  if (path == nullptr) return nullptr;
  std::unique_ptr<QvkFile> file;
  try {
    file = QvkDefaultFileSystem().OpenForRead(path);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (!file) return nullptr;
  return QvkOpenFile(std::move(file));
}

QvkArchive* QvkOpenFile(std::unique_ptr<QvkFile> file) {
  if (!file) return nullptr;
  // Memory that cannot be had fails the open like a damaged file does; what
  // was built so far, the file included, is released on the way out.
  try {
    return OpenArchive(std::move(file)).release();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int QvkClose(QvkArchive* archive) {
  if (archive == nullptr) return -1;
  const bool closed = archive->file->Close();
  delete archive;
  return closed ? 0 : -2;
}

QvkEntry* QvkOpenEntry(QvkArchive* archive, const char16_t* name) {
  if (archive == nullptr || name == nullptr) return nullptr;
  const QvkRecord* record = FindRecord(archive, name);
  if (record == nullptr) return nullptr;
  return new (std::nothrow) QvkEntry{archive, archive->file.get(), record, 0};
}

int QvkCloseEntry(QvkEntry* entry) {
  if (entry == nullptr) return -1;
  delete entry;
  return 0;
}

int32_t QvkEntrySize(const QvkEntry* entry) {
  return entry == nullptr ? -1 : entry->record->data_size;
}

int32_t QvkRead(QvkEntry* entry, void* buffer, int32_t count) {
  if (entry == nullptr || buffer == nullptr || count < 0) return -1;
  if (count == 0) return 0;
  return ReadLocked(entry, static_cast<uint8_t*>(buffer), count);
}

int QvkExtract(QvkArchive* archive, const char16_t* name, const char16_t* output_path) {
  if (archive == nullptr || name == nullptr || output_path == nullptr) return -1;
  const QvkRecord* record = FindRecord(archive, name);
  if (record == nullptr) return -2;
  QvkEntry entry{archive, archive->file.get(), record, 0};
  std::unique_ptr<QvkFile> out;
  try {
    out = QvkDefaultFileSystem().Create(output_path);
  } catch (const std::bad_alloc&) {
    return -3;
  }
  if (!out) return -3;

  constexpr int32_t kChunk = 16384;
  uint8_t buffer[kChunk];
  int32_t remaining = record->data_size;
  while (remaining != 0) {
    const int32_t chunk = std::min(remaining, kChunk);
    if (QvkRead(&entry, buffer, chunk) < 0) return -2;
    const int64_t written = out->Write(buffer, static_cast<size_t>(chunk));
    if (written < 0) return -3;
    if (written < chunk) return -4;
    remaining -= chunk;
  }
  return out->Close() ? 0 : -5;
}

int32_t QvkLiveRecordCount(const QvkArchive* archive) {
  return archive == nullptr ? 0 : static_cast<int32_t>(archive->records.size());
}

const QvkRecord* QvkLiveRecords(const QvkArchive* archive) {
  return archive == nullptr || archive->records.empty() ? nullptr : archive->records.data();
}

int QvkReadAll(QvkArchive* archive, const char16_t* name, std::string* text) {
  if (archive == nullptr || name == nullptr || text == nullptr) return -1;
  const QvkRecord* record = FindRecord(archive, name);
  if (record == nullptr) return -2;
  QvkEntry entry{archive, archive->file.get(), record, 0};
  // The size was checked against the file when the archive was opened; an
  // entry too large to hold in memory is a failed read.
  const int32_t size = record->data_size;
  if (size > kQvkMaxReadAllSize) return -3;
  std::string bytes;
  try {
    bytes.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return -3;
  }
  if (QvkRead(&entry, bytes.data(), size) != size) return -3;
  *text = std::move(bytes);
  return 0;
}

int64_t QvkIndexSteps(const QvkArchive* archive) {
  return archive == nullptr ? 0 : archive->index_steps;
}
