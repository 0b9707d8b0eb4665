#include "ui/exe_refresh.h"


std::u16string GameBaseName(const std::u16string& game_exe) {
  const size_t dot = game_exe.rfind(u'.');
  if (dot == std::u16string::npos) return {};
  return game_exe.substr(0, dot);
}

std::u16string TempCopyPattern(const std::u16string& base_name) { return base_name + u"_temp"; }

std::u16string FallbackExecutableName(const std::u16string& base, const std::tm& when) {
  char stamp[32] = "";
  if (std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &when) == 0) stamp[0] = '\0';
  std::u16string name = TempCopyPattern(base);
  for (const char* c = stamp; *c; ++c) name.push_back(static_cast<char16_t>(*c));
  return name + u".exe";
}
