// The UDP link's reading of the port texts: the decimal conversion the open
// uses, and its agreement with the Setup dialog's reading of the same text.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "link/udp.h"
#include "settings/setup.h"
#include "tests/support/state.h"

namespace {

TEST(UdpPortText, ReadsLikeTheStandardDecimalConversion) {
  ResetProgramState();
  struct Case {
    const char* text;
    int32_t value;
  };
  const Case cases[] = {
      {"9000", 9000},        {"09000", 9000},   {"  8000", 8000},     {"\t\n\v\f\r7", 7},
      {"+80", 80},           {"-5", -5},        {"12ab", 12},         {"1 2", 1},
      {"abc", 0},            {"", 0},           {"-", 0},             {"+-3", 0},
      {" - 3", 0},           {"70000", 70000},  {"65536", 65536},     {"0x50", 0},
      {"2147483647", 2147483647},
  };
  for (const Case& c : cases) EXPECT_EQ(PortTextToNumber(c.text), c.value) << '"' << c.text << '"';
}

TEST(UdpPortText, NumbersBeyondThirtyTwoBitsClampInsteadOfWrapping) {
  // A wrapped number would turn a long text of nines into some unrelated
  // port; clamped, it stays the largest (low 16 bits 65535).
  EXPECT_EQ(PortTextToNumber("2147483648"), INT32_MAX);
  EXPECT_EQ(PortTextToNumber("999999999999999"), INT32_MAX);
  EXPECT_EQ(PortTextToNumber("000000000000002147483647"), INT32_MAX);
  EXPECT_EQ(PortTextToNumber("-2147483648"), INT32_MIN);
  EXPECT_EQ(PortTextToNumber("-99999999999999999999"), INT32_MIN);
  EXPECT_EQ(PortTextToNumber("-2147483647"), -2147483647);
}

}  // namespace
