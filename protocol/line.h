#pragma once
// The serial line to the servo controller: 9600 baud, and ten bits on the
// line for every byte (start bit, 8 data bits, stop bit), so 960 bytes a
// second. Everything that paces, shows or measures the line takes its figures
// from here.

namespace gp::line {

constexpr int kBaudRate = 9600;
constexpr int kBitsPerByte = 10;
constexpr int kBytesPerSecond = kBaudRate / kBitsPerByte;
static_assert(kBytesPerSecond * kBitsPerByte == kBaudRate, "a whole number of bytes a second");

// The port's settings as the status line shows them: baud, parity, data
// bits, stop bits.
constexpr const char* kSettingsText = "9600,n,8,1";

}  // namespace gp::line
