// What start-up hands to the launcher window.
#pragma once

#include <cstdint>
#include <string>

struct LaunchContext {
  std::u16string launch_arguments;  // "<command text>&<start time>", at most 1023 units
  int64_t start_time = 0;           // seconds since 1970
};
