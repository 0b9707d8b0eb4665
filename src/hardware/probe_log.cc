#include "hardware/probe_log.h"

#include <cstdio>

std::string FormatNameValueLine(const std::string& text, int value) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, ":%d\n", value);
  std::string line = text.substr(0, kMaxProbeLogLine - std::string(suffix).size());
  line += suffix;
  return line;
}

std::string FormatCpuClassLine(const std::string& upper_brand, int cpu_class) {
  size_t first = upper_brand.find_first_not_of(" \t");
  return FormatNameValueLine(first == std::string::npos ? std::string() : upper_brand.substr(first),
                             cpu_class);
}

std::string FormatD3D9AdapterCountLine(int adapter_count) {
  char line[64];
  std::snprintf(line, sizeof line, "D3D9Check NumAdapters:%d\n", adapter_count);
  return line;
}

std::string FormatD3D9InfoLine(const std::array<int, 6>& tests) {
  char line[96];
  std::snprintf(line, sizeof line, "D3D9Check info:%d,%d,%d,%d,%d,%d\n", tests[0], tests[1],
                tests[2], tests[3], tests[4], tests[5]);
  return line;
}

std::string FormatGraphicsCountLine(size_t entries) {
  char line[48];
  std::snprintf(line, sizeof line, "GraphicsCount:%d\n", static_cast<int>(entries));
  return line;
}
