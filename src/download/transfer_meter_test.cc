#include "download/transfer_meter.h"

#include <gtest/gtest.h>

namespace {

TEST(TransferMeterTest, ASteadyRateGivesItsSpeedAndTheTimeLeft) {
  TransferMeter meter;
  EXPECT_EQ(meter.seconds_left(), -1);
  for (int64_t ms = 0; ms <= 5000; ms += 100) meter.Sample(ms, static_cast<uint64_t>(ms) * 1000, 10'000'000);
  EXPECT_NEAR(meter.speed(), 1'000'000, 1);
  EXPECT_EQ(meter.seconds_left(), 5);
}

TEST(TransferMeterTest, AStallSlowsTheSpeedDownWithinSecondsAndAResumeRaisesItAgain) {
  TransferMeter meter;
  int64_t ms = 0;
  uint64_t done = 0;
  for (; ms <= 5000; ms += 100, done += 100'000) meter.Sample(ms, done, 100'000'000);
  const double flowing = meter.speed();
  for (int64_t end = ms + 5000; ms <= end; ms += 100) meter.Sample(ms, done, 100'000'000);
  EXPECT_LT(meter.speed(), flowing * 0.05);
  EXPECT_GT(meter.seconds_left() == -1 ? INT64_MAX : meter.seconds_left(), 1000);
  for (int64_t end = ms + 5000; ms <= end; ms += 100, done += 100'000) meter.Sample(ms, done, 100'000'000);
  EXPECT_GT(meter.speed(), flowing * 0.9);
}

TEST(TransferMeterTest, FewerBytesDoneThanBeforeStartsTheMeasureAgain) {
  TransferMeter meter;
  for (int64_t ms = 0; ms <= 2000; ms += 100) meter.Sample(ms, static_cast<uint64_t>(ms) * 1000, 10'000'000);
  meter.Sample(2100, 0, 10'000'000);  // a file restarted from zero
  EXPECT_EQ(meter.speed(), 0);
  EXPECT_EQ(meter.seconds_left(), -1);
}

TEST(TransferMeterTest, OneDecimal) {
  EXPECT_EQ(OneDecimal(0), "0.0");
  EXPECT_EQ(OneDecimal(-3), "0.0");
  EXPECT_EQ(OneDecimal(12.34), "12.3");
  EXPECT_EQ(OneDecimal(12.36), "12.4");
  // Halves round up. 12.35 itself is no double (it is 12.34999...), and the
  // i686 build's x87 arithmetic rounds it down: exact halves are asked here.
  EXPECT_EQ(OneDecimal(12.25), "12.3");
}

}  // namespace
