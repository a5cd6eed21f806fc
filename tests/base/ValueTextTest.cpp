// Typed numbers and colours: what the fields accept, what they refuse, and how values are shown.
#include <gtest/gtest.h>

#include "base/ValueText.h"

namespace {

bool Parses(const std::wstring& text, int decimals, int32_t expected) {
  int32_t value = 12345;
  return ParseFixedPoint(text, decimals, &value) && value == expected;
}

bool Refused(const std::wstring& text, int decimals = 0) {
  int32_t value = 0;
  return !ParseFixedPoint(text, decimals, &value);
}

}  // namespace

TEST(ValueText, WholeNumbersAcceptSignsAndDropFractions) {
  EXPECT_TRUE(Parses(L"12", 0, 12));
  EXPECT_TRUE(Parses(L"12.7", 0, 12));
  EXPECT_TRUE(Parses(L"12.", 0, 12));
  EXPECT_TRUE(Parses(L"+5", 0, 5));
  EXPECT_TRUE(Parses(L"-3", 0, -3));
  EXPECT_TRUE(Parses(L"-0", 0, 0));
  EXPECT_TRUE(Parses(L"99999999999", 0, 2147483647));
  EXPECT_TRUE(Parses(L"-99999999999", 0, -2147483647 - 1));
  EXPECT_TRUE(Refused(L"\xFF11\xFF12"));  // full-width digits
  EXPECT_TRUE(Refused(L" 12"));
  EXPECT_TRUE(Refused(L"12 "));
  EXPECT_TRUE(Refused(L"1e3"));
  EXPECT_TRUE(Refused(L"1,000"));
  EXPECT_TRUE(Refused(L""));
  EXPECT_TRUE(Refused(L"+-1"));
  EXPECT_TRUE(Refused(L".5"));
  EXPECT_TRUE(Refused(L"5", -1));
}

TEST(ValueText, DigitFieldsKeepAsciiAndFullWidthDigitsAndCountThemAsTheirValues) {
  EXPECT_EQ(L"80", KeepDigits(L"8a0"));
  EXPECT_EQ(L"\xFF19\xFF10", KeepDigits(L"\xFF19 \xFF10%"));
  EXPECT_EQ(L"1\xFF12" L"3", KeepDigits(L"-1\xFF12.3"));
  // Signs, the full-width characters on either side of the digits, other scripts' digits.
  EXPECT_EQ(L"", KeepDigits(L"+-/:\xFF0F\xFF1A\x0660\x0966"));

  int32_t value = 12345;
  ASSERT_TRUE(ParseDigits(L"\xFF19\xFF10", &value));
  EXPECT_EQ(90, value);
  ASSERT_TRUE(ParseDigits(L"1\xFF12" L"3", &value));
  EXPECT_EQ(123, value);
  ASSERT_TRUE(ParseDigits(L"0080", &value));
  EXPECT_EQ(80, value);
  ASSERT_TRUE(ParseDigits(L"0", &value));
  EXPECT_EQ(0, value);
  ASSERT_TRUE(ParseDigits(L"99999999999", &value));
  EXPECT_EQ(2147483647, value);
  ASSERT_TRUE(ParseDigits(L"\xFF19\xFF19\xFF19\xFF19\xFF19\xFF19\xFF19\xFF19\xFF19\xFF19\xFF19", &value));
  EXPECT_EQ(2147483647, value);
  value = 7;
  for (const wchar_t* text : {L"", L"+1", L"-1", L"1.5", L"8a0", L" 1", L"1\xFF0E"}) {
    EXPECT_FALSE(ParseDigits(text, &value)) << text;
  }
  EXPECT_EQ(7, value);
}

TEST(ValueText, DecimalsScaleTheValueAndGuardTheRange) {
  EXPECT_TRUE(Parses(L"1.5", 2, 150));
  EXPECT_TRUE(Parses(L"1.567", 2, 156));
  EXPECT_TRUE(Parses(L"-2.25", 2, -225));
  EXPECT_TRUE(Parses(L"-0.5", 2, -50));
  EXPECT_TRUE(Parses(L"21474836.47", 2, 2147483647));
  EXPECT_TRUE(Refused(L"21474836.48", 2));
  EXPECT_TRUE(Parses(L"-21474836.48", 2, -2147483647 - 1));
  EXPECT_TRUE(Refused(L"-21474836.49", 2));
  EXPECT_TRUE(Refused(L"99999999999", 2));

  EXPECT_EQ(L"80", FormatFixedPoint(80, 0, false));
  EXPECT_EQ(L"-3", FormatFixedPoint(-3, 0, true));
  EXPECT_EQ(L"1.50", FormatFixedPoint(150, 2, false));
  EXPECT_EQ(L"-0.05", FormatFixedPoint(-5, 2, false));
  EXPECT_EQ(L"2", FormatFixedPoint(200, 2, false));
  EXPECT_EQ(L"2.00", FormatFixedPoint(200, 2, true));
  EXPECT_EQ(L"-21474836.48", FormatFixedPoint(-2147483647 - 1, 2, false));
}

TEST(ValueText, HexColorsAreRedFirstAndShortFormsAreGrey) {
  uint32_t c = 0;
  ASSERT_TRUE(ParseHexColor(L"ff8119", &c));
  EXPECT_EQ(0x1981FFu, c);
  ASSERT_TRUE(ParseHexColor(L"F", &c));
  EXPECT_EQ(0x0F0F0Fu, c);
  ASSERT_TRUE(ParseHexColor(L"80", &c));
  EXPECT_EQ(0x808080u, c);
  ASSERT_TRUE(ParseHexColor(L"8", &c));
  EXPECT_EQ(0x080808u, c);
  c = 7;
  EXPECT_FALSE(ParseHexColor(L"FFF", &c));
  EXPECT_FALSE(ParseHexColor(L"GG0000", &c));
  EXPECT_FALSE(ParseHexColor(L"", &c));
  EXPECT_FALSE(ParseHexColor(L"#FFFFFF", &c));
  EXPECT_FALSE(ParseHexColor(L"1234567", &c));
  EXPECT_EQ(7u, c);
  EXPECT_EQ(L"CC0000", FormatHexColor(0x0000CC));
  EXPECT_EQ(L"0C00CC", FormatHexColor(0xFFCC000C));  // the byte above blue is ignored
}
