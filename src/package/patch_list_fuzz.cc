// Parses arbitrary text as a patch list; the first byte picks the mode.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
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
  for (const auto& [key, entry] : index) {
    if (key.empty() || key.size() > kPatchListMaxField || entry.entry_name.empty() ||
        entry.entry_name.size() > kPatchListMaxField) {
      abort();
    }
  }
  if (ok && mode == PatchListMode::kWorker) {
    for (size_t i = 1; i < versions.size(); ++i) {
      if (versions[i - 1] >= versions[i]) abort();  // sorted and distinct
    }
  }
  return 0;
}
