#pragma once
// The gait arithmetic: joint angle, pulse width and the pulse's hex text.

#include <cstdint>
#include <optional>
#include <string>

namespace gp {

// The circle constant of the waveform, deliberately shortened to these
// fifteen significant digits: the robot's gait was tuned with it.
constexpr double kGaitPi = 3.14159265358977;
constexpr int kStepsPerPeriod = 20;

// Joint angle in degrees at a step. Amplitudes below 10 (every negative one
// included) mean no swing: the centre angle is returned.
double GaitAngle(std::int16_t amplitude, double phase, std::int16_t initAngle, std::int16_t step);

// Pulse width in microseconds: 1500 at 0 degrees, 2000 per 180 degrees,
// halves to even. No result for an angle that is not finite or whose width
// does not fit 32 bits.
std::optional<std::int32_t> AngleToPulse(double angle);

// The pulse width as the position command carries it: upper-case hex with
// "00" in front up to 255 and "0" in front above (four characters for 16 to
// 4095, three below 16, five from 4096, ten for a negative width).
std::string PulseText(std::int32_t pulseWidth);

}  // namespace gp
