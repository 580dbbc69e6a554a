#include "core/conversions.h"
#include "core/json_writer.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace gp {
namespace {

struct ParseCase {
  const char* text;
  double value;
};

TEST(ParseNumber, ReadsTheNumberAtTheStartAndStopsWhereItCannotGoOn) {
  const ParseCase cases[] = {
      {"", 0},          {"   ", 0},        {"abc", 0},         {"+", 0},         {"-", 0},
      {".", 0},         {"-.", 0},        {"90", 90},         {"-90", -90},     {"+7", 7},
      {"12abc", 12},    {"1 2 3", 123},   {"\t4\n5 ", 45},    {" - 1 . 5", -1.5}, {"1.", 1},
      {".5", 0.5},      {"-0.25x", -0.25}, {"1.2.3", 1.2},    {"2.6", 2.6},     {"1E3", 1000},
      {"1e3", 1000},    {"1D3", 1000},    {"2.5E-1", 0.25},   {"1E+2", 100},    {"1E", 1},
      {"1E+", 1},       {"1Ex", 1},       {"1 E 2", 100},     {"&H1F", 31},     {"&hff", 255},
      {"&H", 0},        {"&HG", 0},       {"&O17", 15},       {"&o8", 0},       {"& H 1 0", 16},
      {"&X1", 0},       {"1,5", 1},       {"0x10", 0},        {"--1", 0},       {"1-", 1},
      {"00012", 12},    {"0.000", 0},     {"\r5", 0},         {"5\r", 5},       {"1500", 1500},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseNumber(c.text), c.value) << "text: \"" << c.text << '"';
  }
}

TEST(ParseNumber, IsCorrectlyRoundedAndHandlesTheEndsOfTheDoubleRange) {
  EXPECT_EQ(ParseNumber("0.1"), 0.1);
  EXPECT_EQ(ParseNumber("3.14159265358977"), 3.14159265358977);
  EXPECT_EQ(ParseNumber("1.7976931348623157E308"), std::numeric_limits<double>::max());
  // Beyond the range: an infinity of the number's sign, never "not a number".
  EXPECT_EQ(ParseNumber("1E309"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(ParseNumber("-1E309"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(ParseNumber("1E99999999999999999999999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(ParseNumber(std::string(400, '9')), std::numeric_limits<double>::infinity());
  // Below it: zero.
  EXPECT_EQ(ParseNumber("1E-400"), 0.0);
  EXPECT_EQ(ParseNumber("0." + std::string(500, '0') + "1"), 0.0);
  EXPECT_EQ(ParseNumber("0E999999"), 0.0);
  // Long digit runs keep their magnitude.
  EXPECT_DOUBLE_EQ(ParseNumber("1" + std::string(900, '0') + "E-895"), 1e5);
  EXPECT_FALSE(std::isnan(ParseNumber("&H" + std::string(300, 'F'))));
}

TEST(ParseNumber, IgnoresTheProcessLocale) {
  // LOCPATH points at a German locale generated for the tests: comma decimals.
  const std::string before = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  EXPECT_EQ(ParseNumber("22.5"), 22.5);
  EXPECT_EQ(ParseNumber("22,5"), 22);
  EXPECT_EQ(ParseNumber("1.5E1"), 15);
  std::setlocale(LC_ALL, before.c_str());
}

TEST(NearestInt, RoundsHalvesToEvenOnBothSidesOfZero) {
  const std::pair<double, int> cases[] = {
      {90.5, 90}, {91.5, 92}, {-0.5, 0},  {0.5, 0},   {1.5, 2},   {2.5, 2},  {-1.5, -2},
      {-2.5, -2}, {44.5, 44}, {45.5, 46}, {90.6, 91}, {-90.4, -90}, {0.49999999999999994, 0},
      {2.6, 3},   {-2.6, -3}, {1500.5, 1500}, {1501.5, 1502}};
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(NearestInt16(in), std::optional<std::int16_t>(static_cast<std::int16_t>(out))) << in;
    EXPECT_EQ(NearestInt32(in), std::optional<std::int32_t>(out)) << in;
  }
}

TEST(NearestInt, HasNoResultOutsideTheTypeOrForNotANumber) {
  EXPECT_EQ(NearestInt16(32767.0), 32767);
  EXPECT_EQ(NearestInt16(32767.4), 32767);
  EXPECT_EQ(NearestInt16(32767.5), std::nullopt);  // rounds to 32768
  EXPECT_EQ(NearestInt16(-32768.0), -32768);
  EXPECT_EQ(NearestInt16(-32768.5), -32768);  // the even neighbour is inside
  EXPECT_EQ(NearestInt16(-32768.6), std::nullopt);
  EXPECT_EQ(NearestInt32(2147483647.0), 2147483647);
  EXPECT_EQ(NearestInt32(2147483647.5), std::nullopt);
  EXPECT_EQ(NearestInt32(-2147483648.0), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(NearestInt32(-2147483648.5), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(NearestInt32(-2147483649.0), std::nullopt);
  EXPECT_EQ(NearestInt32(1e300), std::nullopt);
  for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    EXPECT_EQ(NearestInt16(bad), std::nullopt);
    EXPECT_EQ(NearestInt32(bad), std::nullopt);
  }
}

TEST(NumberText, WritesTheThreeForms) {
  EXPECT_EQ(SignedDecimal(0), " 0");
  EXPECT_EQ(SignedDecimal(7), " 7");
  EXPECT_EQ(SignedDecimal(-1), "-1");
  EXPECT_EQ(SignedDecimal(2), " 2");
  EXPECT_EQ(PlainDecimal(250), "250");
  EXPECT_EQ(PlainDecimal(0), "0");
  EXPECT_EQ(PlainDecimal(-3), "-3");
  EXPECT_EQ(UpperHex(0), "0");
  EXPECT_EQ(UpperHex(1500), "5DC");
  EXPECT_EQ(UpperHex(255), "FF");
  EXPECT_EQ(UpperHex(-1), "FFFFFFFF");
  EXPECT_EQ(UpperHex(std::numeric_limits<std::int32_t>::min()), "80000000");
}

TEST(NumberText, FixedAndSignificantRoundAsPrintfDoesInTheCLocale) {
  // Halves that are exact in binary, values just either side, and a spread.
  for (const double v : {0.125, 0.375, 2.5, 3.5, -2.5, 1.0 / 3, 2.675, 1e-7, 12345.678901, 1e21, -7.25, 0.05}) {
    for (int digits = 0; digits <= 6; ++digits) {
      char expected[512];
      std::snprintf(expected, sizeof expected, "%.*f", digits, v);
      EXPECT_EQ(FixedText(v, digits), expected) << v << " with " << digits << " decimals";
    }
    char g[64];
    std::snprintf(g, sizeof g, "%.6g", v);
    EXPECT_EQ(SignificantText(v, 6), g);
  }
  EXPECT_EQ(FixedText(1.7976931348623157e308, 1).size(), 311u);
  EXPECT_EQ(ShortestText(0.1), "0.1");
  EXPECT_EQ(ShortestText(-337.5), "-337.5");
  EXPECT_EQ(ShortestText(30), "30");
  EXPECT_EQ(ParseNumber(ShortestText(1.0 / 3)), 1.0 / 3);
}

TEST(NumberText, NeverWritesANegativeZero) {
  EXPECT_EQ(FixedText(-0.0, 2), "0.00");
  EXPECT_EQ(FixedText(-0.00004, 4), "0.0000");
  EXPECT_EQ(FixedText(-0.4, 0), "0");
  EXPECT_EQ(FixedText(-0.00005001, 4), "-0.0001");
  EXPECT_EQ(SignificantText(-0.0, 6), "0");
  EXPECT_EQ(ShortestText(-0.0), "0");
  EXPECT_EQ(FixedText(-1e-300, 1), "0.0");
  EXPECT_EQ(SignificantText(-1e-300, 6), "-1e-300");
}

TEST(NumberText, KeepsTheFullStopInACommaLocale) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale";
  EXPECT_EQ(FixedText(22.5, 1), "22.5");
  EXPECT_EQ(SignificantText(0.5236, 6), "0.5236");
  EXPECT_EQ(ShortestText(1.25), "1.25");
  JsonWriter j;
  j.BeginArray().Fixed(0.5, 2).Number(0.25).EndArray();
  EXPECT_EQ(j.text(), "[0.50, 0.25]");
  std::setlocale(LC_ALL, before.c_str());
}

TEST(JsonWriter, WritesEachLayout) {
  using Layout = JsonWriter::Layout;
  JsonWriter inline_;
  inline_.BeginObject().Key("a").Integer(-3).Key("b").BeginArray().Fixed(1, 1).Null().Bool(false).EndArray();
  inline_.Key("c").BeginObject().EndObject().Key("d").BeginArray().EndArray().EndObject();
  EXPECT_EQ(inline_.text(), R"({"a": -3, "b": [1.0, null, false], "c": {}, "d": []})");

  JsonWriter lines;
  lines.BeginObject(Layout::Lines).Key("name").String("x").Key("list").BeginArray(Layout::Lines);
  lines.BeginObject(Layout::Padded).Key("v").Number(1.5).Key("on").Bool(true).EndObject();
  lines.BeginObject(Layout::Padded).EndObject();
  lines.EndArray().EndObject();
  EXPECT_EQ(lines.text(), "{\n  \"name\": \"x\",\n  \"list\": [\n    { \"v\": 1.5, \"on\": true },\n    {}\n  ]\n}");
}

TEST(JsonWriter, EscapesTextAndRefusesNumbersJsonCannotHold) {
  EXPECT_EQ(JsonQuoted("a\"b\\c/\xc3\xa9"), "\"a\\\"b\\\\c/\xc3\xa9\"");
  EXPECT_EQ(JsonQuoted("\n\t\r\b\f"), R"("\n\t\r\b\f")");
  EXPECT_EQ(JsonQuoted(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\x7f\"");
  EXPECT_EQ(JsonQuoted(std::string(1, '\0')), R"("\u0000")");
  JsonWriter j;
  j.BeginArray();
  j.Fixed(std::nan(""), 2).Fixed(std::numeric_limits<double>::infinity(), 2).Number(-std::numeric_limits<double>::infinity());
  j.EndArray();
  EXPECT_EQ(j.text(), "[null, null, null]");
}

}  // namespace
}  // namespace gp
