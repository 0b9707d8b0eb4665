// Opens arbitrary bytes as an archive, reads every entry in uneven chunks and
// extracts none; also runs the full check used by `qvk verify`.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "package/qvk_archive.h"
#include "package/qvk_verify.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  {
    QvkMemoryFile file(bytes);
    QvkVerify(&file);
  }
  QvkArchive* archive = QvkOpenFile(std::make_unique<QvkMemoryFile>(bytes));
  if (archive == nullptr) return 0;
  const QvkRecord* records = QvkLiveRecords(archive);
  std::vector<uint8_t> buffer;
  for (int32_t i = 0; i < QvkLiveRecordCount(archive); ++i) {
    // Null when the stored hash is not the name's: the reader trusts stored hashes.
    QvkEntry* entry = QvkOpenEntry(archive, records[i].name);
    if (entry == nullptr) continue;
    const int32_t entry_size = QvkEntrySize(entry);
    if (entry_size < 0 || static_cast<size_t>(entry_size) > size) abort();
    buffer.resize(static_cast<size_t>(entry_size) + 1);
    int32_t done = 0;
    int32_t chunk = 1;
    while (done < entry_size) {
      const int32_t n = std::min(chunk, entry_size - done);
      if (QvkRead(entry, buffer.data() + done, n) != n) abort();
      done += n;
      chunk = chunk * 3 + 1;
    }
    if (QvkRead(entry, buffer.data(), 1) != -3) abort();  // past the end
    QvkCloseEntry(entry);
  }
  if (QvkClose(archive) != 0) abort();
  return 0;
}
