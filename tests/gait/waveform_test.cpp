#include "gait/waveform.h"

#include <gtest/gtest.h>

#include <cmath>

namespace gp {
namespace {

constexpr double kTol = 1e-9;

TEST(GaitAngle, OnePeriodOfAmplitude30MatchesTheWorkedValues) {
  struct Row {
    std::int16_t step;
    double angle;
    std::int32_t pulse;
    const char* text;
  };
  // Angles to 1e-9 from the exact formula with the shortened constant.
  const Row rows[] = {{1, 9.27050983124842, 1603, "0643"},  {2, 17.6335575687742, 1696, "06A0"},
                      {3, 24.2705098312484, 1770, "06EA"},  {4, 28.5316954888546, 1817, "0719"},
                      {5, 30.0, 1833, "0729"},              {10, 0.0, 1500, "05DC"},
                      {15, -30.0, 1167, "048F"},            {20, 0.0, 1500, "05DC"}};
  for (const auto& r : rows) {
    const double a = GaitAngle(30, 0.0, 0, r.step);
    EXPECT_NEAR(a, r.angle, kTol) << "step " << r.step;
    ASSERT_EQ(AngleToPulse(a), r.pulse) << "step " << r.step;
    EXPECT_EQ(PulseText(r.pulse), r.text) << "step " << r.step;
  }
  // The shortened constant leaves a residue at the zero crossings.
  EXPECT_GT(GaitAngle(30, 0.0, 0, 10), 1e-13);
  EXPECT_LT(std::abs(GaitAngle(30, 0.0, 0, 10)), 1e-11);
  EXPECT_LT(GaitAngle(30, 0.0, 0, 20), -1e-13);

  const std::int32_t mirrored[] = {1603, 1696, 1770, 1817, 1833, 1817, 1770, 1696, 1603, 1500,
                                   1397, 1304, 1230, 1183, 1167, 1183, 1230, 1304, 1397, 1500};
  for (std::int16_t step = 1; step <= 20; ++step)
    EXPECT_EQ(AngleToPulse(GaitAngle(30, 0.0, 0, step)), mirrored[step - 1]) << "step " << step;
}

TEST(GaitAngle, PhaseShiftsAndSmallAmplitudesHold) {
  EXPECT_NEAR(GaitAngle(30, 90.0, 0, 1), 28.5316954888546, kTol);
  EXPECT_NEAR(GaitAngle(30, 90.0, 0, 10), -30.0, kTol);
  EXPECT_NEAR(GaitAngle(30, 90.0, 0, 20), 30.0, kTol);
  EXPECT_EQ(AngleToPulse(GaitAngle(30, 90.0, 0, 1)), 1817);
  EXPECT_EQ(AngleToPulse(GaitAngle(30, 90.0, 0, 10)), 1167);
  EXPECT_EQ(AngleToPulse(GaitAngle(30, 90.0, 0, 20)), 1833);

  for (std::int16_t step = 0; step <= 20; ++step) {
    EXPECT_EQ(GaitAngle(9, 45.0, 20, step), 20.0);
    EXPECT_EQ(GaitAngle(0, 0.0, -7, step), -7.0);
    EXPECT_EQ(GaitAngle(-45, 0.0, 3, step), 3.0);
    EXPECT_EQ(GaitAngle(-30, 1e308, 0, step), 0.0);  // no swing: phase unused
  }
  EXPECT_NEAR(GaitAngle(10, 0.0, 0, 5), 10.0, kTol);
  EXPECT_NEAR(GaitAngle(10, 0.0, 0, 1), 10.0 * std::sin(3.14159265358977 / 10.0), kTol);
  EXPECT_NEAR(GaitAngle(90, 0.0, 100, 15), 10.0, kTol);
}

TEST(AngleToPulse, ConvertsWithHalvesToEvenAndRefusesTheUndefined) {
  EXPECT_EQ(AngleToPulse(0.0), 1500);
  EXPECT_EQ(AngleToPulse(45.0), 2000);
  EXPECT_EQ(AngleToPulse(90.0), 2500);
  EXPECT_EQ(AngleToPulse(-90.0), 500);
  EXPECT_EQ(AngleToPulse(0.045), 1500);
  EXPECT_EQ(AngleToPulse(0.135), 1502);
  EXPECT_EQ(AngleToPulse(std::nan("")), std::nullopt);
  EXPECT_EQ(AngleToPulse(HUGE_VAL), std::nullopt);
  EXPECT_EQ(AngleToPulse(1e12), std::nullopt);
  EXPECT_EQ(AngleToPulse(32767.0 + 90.0), 366578);  // the widest a 16-bit centre and swing give
}

TEST(PulseText, PadsByTheRuleAtEveryLength) {
  const std::pair<double, const char*> angles[] = {
      {-112.05, "00FF"}, {-112.0, "0100"}, {-123.3, "0082"}, {233.6, "01000"}};
  const std::int32_t widths[] = {255, 256, 130, 4096};
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(AngleToPulse(angles[i].first), widths[i]);
    EXPECT_EQ(PulseText(widths[i]), angles[i].second);
  }
  EXPECT_EQ(PulseText(5), "005");
  EXPECT_EQ(PulseText(0), "000");
  EXPECT_EQ(PulseText(15), "00F");
  EXPECT_EQ(PulseText(16), "0010");
  EXPECT_EQ(PulseText(4095), "0FFF");
  EXPECT_EQ(PulseText(500), "01F4");
  EXPECT_EQ(PulseText(2500), "09C4");
  EXPECT_EQ(PulseText(-1), "00FFFFFFFF");
}

}  // namespace
}  // namespace gp
