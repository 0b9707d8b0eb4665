// The speed and time left that the download program's window shows: from
// samples of the bytes done, a speed smoothed over a few seconds, so that
// the figures neither jump with every packet nor lag behind a stall.
#pragma once

#include <cstdint>
#include <string>

class TransferMeter {
 public:
  // `now_ms` never goes back; `done` of `total` bytes of the run.
  void Sample(int64_t now_ms, uint64_t done, uint64_t total);
  // Bytes a second; 0 until a second of samples is in.
  double speed() const { return speed_; }
  // Seconds left at that speed, rounded up; -1 while the speed is unknown
  // or zero.
  int64_t seconds_left() const;

 private:
  static constexpr int64_t kIntervalMs = 500;  // one rate measured per interval
  static constexpr double kWeight = 0.3;       // of the newest rate

  bool started_ = false;
  int64_t last_ms_ = 0;
  uint64_t last_done_ = 0;
  uint64_t done_ = 0;
  uint64_t total_ = 0;
  double speed_ = 0;
  bool measured_ = false;
};

// `value` with one decimal ("12.3"); negative values are shown as 0.
std::string OneDecimal(double value);
