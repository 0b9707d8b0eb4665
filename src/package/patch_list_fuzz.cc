// Parses arbitrary text as a patch list; the first byte picks the mode.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "package/patch_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const PatchListMode mode = (data[0] & 1) ? PatchListMode::kWorker : PatchListMode::kWindow;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  PatchListIndex index;
  std::vector<int32_t> versions;
  const bool ok = ParsePatchList(text.c_str(), mode, &index, &versions);
  std::map<std::string, PatchListEntry> last;  // per key, its last record
  std::set<int32_t> record_versions;
  for (size_t i = 0; i < index.record_count(); ++i) {
    PatchListEntry entry = index.Record(i);
    if (entry.key.empty() || entry.key.size() > kPatchListMaxField || entry.entry_name.empty() ||
        entry.entry_name.size() > kPatchListMaxField) {
      abort();
    }
    record_versions.insert(static_cast<int32_t>(entry.version));
    last[entry.key] = std::move(entry);
  }
  if (index.CountKeys() != last.size()) abort();
  for (const auto& [key, entry] : last) {
    const std::optional<PatchListEntry> found = index.Find(key);
    if (!found || found->entry_name != entry.entry_name || found->version != entry.version) abort();
  }
  if (mode == PatchListMode::kWorker) {
    if (versions.size() != record_versions.size()) abort();  // distinct, all of them
    for (int32_t v : versions) {
      if (record_versions.count(v) == 0) abort();
    }
    if (ok && !std::is_sorted(versions.begin(), versions.end())) abort();
  }
  // The same text handed over parses the same.
  PatchListIndex moved;
  std::vector<int32_t> moved_versions;
  if (ParsePatchList(std::string(text), mode, &moved, &moved_versions) != ok ||
      moved.record_count() != index.record_count() || moved_versions != versions) {
    abort();
  }
  return 0;
}
