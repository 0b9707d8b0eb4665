#include "download/transfer_meter.h"

#include <cmath>

void TransferMeter::Sample(int64_t now_ms, uint64_t done, uint64_t total) {
  total_ = total;
  if (!started_ || done < last_done_) {
    // The first sample, or a file started again from zero: measure afresh.
    started_ = true;
    measured_ = false;
    speed_ = 0;
    last_ms_ = now_ms;
    last_done_ = done;
    done_ = done;
    return;
  }
  done_ = done;
  const int64_t elapsed = now_ms - last_ms_;
  if (elapsed < kIntervalMs) return;
  const double rate = static_cast<double>(done - last_done_) * 1000.0 / static_cast<double>(elapsed);
  speed_ = measured_ ? kWeight * rate + (1 - kWeight) * speed_ : rate;
  measured_ = true;
  last_ms_ = now_ms;
  last_done_ = done;
}

int64_t TransferMeter::seconds_left() const {
  if (!measured_ || speed_ < 1) return -1;
  const uint64_t left = total_ > done_ ? total_ - done_ : 0;
  return static_cast<int64_t>(std::ceil(static_cast<double>(left) / speed_));
}

std::string OneDecimal(double value) {
  if (!(value > 0)) return "0.0";
  const uint64_t tenths = static_cast<uint64_t>(value * 10 + 0.5);
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}
