// What start-up hands to the launcher window.
#pragma once

#include <cstdint>
#include <string>

class CGraphicsProbes;

struct LaunchContext {
  std::u16string launch_arguments;  // "<command text>&<start time>", at most 1023 units
  int64_t start_time = 0;           // seconds since 1970
  std::u16string command_text;      // the text the game's front end gave
  bool after_download = false;      // started by the download program: never offer it
  // The run's graphics probes, already started; null lets the dialog start
  // its own when it checks the graphics hardware.
  CGraphicsProbes* graphics_probes = nullptr;
};
