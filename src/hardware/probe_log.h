// Launch log lines of the hardware probe and the graphics level selection.
// Each function returns the complete line, "\n" included, ready for
// LaunchLogWrite. Portable and pure.
#pragma once

#include <array>
#include <string>

// Longest line these functions return, "\n" included (the launcher's log
// lines are formatted into 256-byte buffers).
constexpr size_t kMaxProbeLogLine = 255;

// "<text>:<value>\n". A text too long for the line is cut so that the value
// and the line end are always written.
std::string FormatNameValueLine(const std::string& text, int value);

// The processor line: as FormatNameValueLine, with the blanks (spaces and
// tabs) at the start removed, since brand strings often begin with some.
std::string FormatCpuClassLine(const std::string& upper_brand, int cpu_class);

// "D3D9Check NumAdapters:%d\n"
std::string FormatD3D9AdapterCountLine(int adapter_count);

// "D3D9Check info:%d,%d,%d,%d,%d,%d\n"
std::string FormatD3D9InfoLine(const std::array<int, 6>& tests);

// "GraphicsCount:%d\n"
std::string FormatGraphicsCountLine(size_t entries);
