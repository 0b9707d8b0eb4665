// What the download program's window says of a run's end: a catalogue text
// and the values of its placeholders. Every text names what failed and what
// the player can do about it.
#pragma once

#include <string>
#include <vector>

#include "download/download_engine.h"

// A program that must not run beside the download program.
enum class Blocker { kNone, kGame, kLauncher, kDownloader };

struct ResultText {
  unsigned id = 0;
  std::vector<std::string> args;  // UTF-8, in the order of the text's %s
};

ResultText TextForResult(const RunResult& result);
ResultText TextForBlocker(Blocker blocker);

// The catalogue text `format` with each %s replaced by the next of `args`
// (an empty string when they run out) and %% by %.
std::u16string FillText(const std::u16string& format, const std::vector<std::u16string>& args);

// Megabytes with one decimal, rounded up, so that a shortfall is never
// shown smaller than it is: 1 byte is "0.1".
std::string MegabytesText(uint64_t bytes);
