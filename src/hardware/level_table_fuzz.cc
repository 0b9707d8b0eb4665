// Feeds arbitrary bytes to the level table parser as the content of
// GraphicsLevel.ini and checks what every table must satisfy.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "hardware/level_table.h"
#include "base/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const LevelTable table = ParseLevelTableBytes(data, size);
  for (const auto& [key, level] : table) {
    (void)level;
    if (key.empty() || key.size() > kMaxLevelPatternChars) std::abort();
    for (char16_t c : key) {
      if (c == u'\t' || c == 0 || (c >= u'A' && c <= u'Z')) std::abort();
    }
    // Every key matches a description that contains it.
    if (MatchAdapterLevel(table, u"[" + key + u"]") < 0) std::abort();
  }
  MatchAdapterLevel(table, AsciiLower(WidenBytes(reinterpret_cast<const char*>(data), size < 512 ? size : 512)));
  return 0;
}
