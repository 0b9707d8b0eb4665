// Builds package archives for the qvk tool, the tests and the fuzz seeds
// (the launcher itself only reads them). Entry data is written as it is
// added; Finish appends the scrambled directory and the trailer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "package/qvk_file.h"

// One directory record exactly as it will be stored.
struct QvkRawRecord {
  uint8_t flags = 0;
  std::u16string name;
  int32_t data_offset = 0;
  int32_t data_size = 0;  // negative: a deleted record
  uint32_t word = 0;
  uint32_t name_hash = 0;
};

class QvkWriter {
 public:
  // Writes to `out` from its current file pointer, which must be at offset
  // 0 of an empty file. `out` is not owned and must outlive the writer.
  explicit QvkWriter(QvkFile* out) : out_(out) {}

  // Stores `size` bytes as the entry `name` (hash computed, flags and word
  // 0). False, with nothing recorded, when the name exceeds 32767 units, the
  // archive would pass 2 GiB, or the write fails.
  bool AddEntry(std::u16string_view name, const void* data, size_t size);
  // The same with the data read from `in` until its end.
  bool AddEntryFrom(std::u16string_view name, QvkFile* in);
  // Appends a record as given, writing no data (tests build deleted records,
  // shared hashes or data elsewhere with it).
  void AddRecord(QvkRawRecord record) { records_.push_back(std::move(record)); }

  // Writes the directory and the trailer. False when a write fails or the
  // directory would pass 2 GiB. Add nothing after it.
  bool Finish();

  // Bytes written so far: the offset of the next entry's data.
  int64_t position() const { return position_; }

 private:
  bool Put(const void* data, size_t size, bool scramble_as_entry, uint64_t phase);

  QvkFile* out_;
  int64_t position_ = 0;
  std::vector<QvkRawRecord> records_;
};

// An archive image in memory holding `entries` (name, data) in this order.
std::string QvkBuildArchive(const std::vector<std::pair<std::u16string, std::string>>& entries);
