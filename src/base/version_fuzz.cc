// Version texts come from INI files that players and tools edit by hand.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view narrow(reinterpret_cast<const char*>(data), size);
  VersionNumber v = ParseVersionText(narrow);
  if (v > static_cast<VersionNumber>(INT32_MAX)) std::abort();

  std::u16string wide;
  for (size_t i = 0; i + 1 < size; i += 2) {
    wide.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  VersionNumber w = ParseVersionText(std::u16string_view(wide));

  for (VersionNumber x : {v, w}) {
    std::optional<VersionParts> parts = SplitVersion(x);
    if (!parts) std::abort();  // every parsed value splits
    std::string dotted = DottedForm(*parts);
    // A dotted form reads back as the value up to a lost sixth digit.
    if (x <= 99999 && ParseVersionText(std::string_view(dotted)) != x) std::abort();
    RewindText(x, true);
    RewindText(x, false);
    PatchPackagePath(x);
  }
  return 0;
}
