#include "package/qvk_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "package/qvk_format.h"

namespace {

constexpr int64_t kMaxOffset = std::numeric_limits<int32_t>::max();
constexpr size_t kMaxNameUnits = 32767;

}  // namespace

bool QvkWriter::Put(const void* data, size_t size, bool scramble_as_entry, uint64_t phase) {
  uint8_t chunk[65536];
  const uint8_t* in = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const size_t n = size < sizeof chunk ? size : sizeof chunk;
    std::memcpy(chunk, in, n);
    if (scramble_as_entry) QvkScramble(kQvkEntryKey, kQvkEntryKeyLength, chunk, n, phase);
    if (out_->Write(chunk, n) != static_cast<int64_t>(n)) return false;
    position_ += static_cast<int64_t>(n);
    in += n;
    size -= n;
    phase += n;
  }
  return true;
}

bool QvkWriter::AddEntry(std::u16string_view name, const void* data, size_t size) {
  if (name.size() > kMaxNameUnits || size > static_cast<size_t>(kMaxOffset - position_)) {
    return false;
  }
  QvkRawRecord rec;
  rec.name = std::u16string(name);
  rec.data_offset = static_cast<int32_t>(position_);
  rec.data_size = static_cast<int32_t>(size);
  rec.name_hash = QvkNameHash(name);
  if (!Put(data, size, true, 0)) return false;
  records_.push_back(std::move(rec));
  return true;
}

bool QvkWriter::AddEntryFrom(std::u16string_view name, QvkFile* in) {
  if (in == nullptr || name.size() > kMaxNameUnits) return false;
  const int64_t start = position_;
  uint8_t buffer[65536];
  for (;;) {
    const size_t n = in->Read(buffer, sizeof buffer);
    if (n == 0) break;
    if (static_cast<int64_t>(n) > kMaxOffset - position_) return false;
    if (!Put(buffer, n, true, static_cast<uint64_t>(position_ - start))) return false;
  }
  QvkRawRecord rec;
  rec.name = std::u16string(name);
  rec.data_offset = static_cast<int32_t>(start);
  rec.data_size = static_cast<int32_t>(position_ - start);
  rec.name_hash = QvkNameHash(name);
  records_.push_back(std::move(rec));
  return true;
}

bool QvkWriter::Finish() {
  std::string dir;
  for (const QvkRawRecord& r : records_) {
    const size_t n = std::min(r.name.size(), kMaxNameUnits);
    uint8_t head[19];
    head[0] = r.flags;
    QvkStore16(head + 1, static_cast<uint16_t>(n));
    QvkStore32(head + 3, static_cast<uint32_t>(r.data_offset));
    QvkStore32(head + 7, static_cast<uint32_t>(r.data_size));
    QvkStore32(head + 11, r.word);
    QvkStore32(head + 15, r.name_hash);
    dir.append(reinterpret_cast<const char*>(head), sizeof head);
    for (size_t i = 0; i < n; ++i) {
      uint8_t unit[2];
      QvkStore16(unit, r.name[i]);
      dir.append(reinterpret_cast<const char*>(unit), 2);
    }
  }
  if (static_cast<int64_t>(dir.size()) > kMaxOffset - position_ - 16 ||
      records_.size() > static_cast<size_t>(kMaxOffset)) {
    return false;
  }
  QvkScramble(kQvkDirectoryKey, kQvkDirectoryKeyLength, reinterpret_cast<uint8_t*>(dir.data()),
              dir.size(), 0);
  const int64_t dir_offset = position_;
  if (!Put(dir.data(), dir.size(), false, 0)) return false;

  uint8_t trailer[16];
  std::memcpy(trailer, kQvkMagic, 4);
  QvkStore32(trailer + 4, static_cast<uint32_t>(records_.size()));
  QvkStore32(trailer + 8, static_cast<uint32_t>(dir.size()));
  QvkStore32(trailer + 12, static_cast<uint32_t>(dir_offset));
  return Put(trailer, sizeof trailer, false, 0);
}

std::string QvkBuildArchive(const std::vector<std::pair<std::u16string, std::string>>& entries) {
  QvkMemoryFile file;
  QvkWriter writer(&file);
  for (const auto& [name, data] : entries) writer.AddEntry(name, data.data(), data.size());
  writer.Finish();
  return file.bytes();
}
