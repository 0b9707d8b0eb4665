#include "ui/launch_arguments.h"

#include <algorithm>
#include <string_view>

#include <cstdio>

std::u16string BuildLaunchArguments(const std::u16string& command_text, int64_t start_time) {
  const size_t max_text = kLaunchArgumentsCapacity - 1 - kLaunchArgumentsReserve;
  std::u16string result = command_text.substr(0, max_text);
  char number[16];
  std::snprintf(number, sizeof number, "&%d", static_cast<int32_t>(static_cast<uint32_t>(start_time)));
  for (const char* p = number; *p; ++p) result += static_cast<char16_t>(*p);
  return result;
}

const char* CommandTextAfterProgramName(const char* command_line) {
  if (!command_line) return "";
  const auto byte = [](const char* p) { return static_cast<unsigned char>(*p); };
  const char* p = command_line;
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (byte(p) > ' ') ++p;
  }
  while (*p && byte(p) <= ' ') ++p;
  return p;
}

bool TakeAfterDownloadFlag(std::string* command_text) {
  const std::string_view flag = kAfterDownloadFlag;
  if (command_text->compare(0, flag.size(), flag) != 0) return false;
  if (command_text->size() > flag.size() && (*command_text)[flag.size()] != ' ') return false;
  command_text->erase(0, std::min(command_text->size(), flag.size() + 1));
  return true;
}

std::u16string QuoteArgument(const std::u16string& argument) {
  // Backslashes are literal unless they precede a quote: then each is doubled
  // and the quote escaped; those before the closing quote are doubled too.
  std::u16string out = u"\"";
  size_t backslashes = 0;
  for (char16_t c : argument) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    if (c == u'"') {
      out.append(backslashes * 2 + 1, u'\\');
    } else {
      out.append(backslashes, u'\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, u'\\');
  out += u'"';
  return out;
}

bool AppendLaunchArgument(std::u16string* arguments, const std::u16string& suffix) {
  if (arguments->size() + suffix.size() > kLaunchArgumentsCapacity - 1) return false;
  *arguments += suffix;
  return true;
}

uint16_t LanguageForDataVersion(int data_version) { return data_version == 1 ? 0x0804 : 0x0409; }
