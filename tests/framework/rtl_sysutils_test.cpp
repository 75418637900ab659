#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "rtl/SysUtils.h"
#include "rtl_reading_case.h"

namespace {

using rtl::TFormatSettings;

TEST(RtlIntegers, ParsesWhatTheConversionsAccept) {
  struct Case {
    const char* text;
    bool ok;
    int value;
  } cases[] = {
      {"0", true, 0},
      {"3306", true, 3306},
      {"-17", true, -17},
      {"+8", true, 8},
      {"  42", true, 42},  // leading blanks are skipped
      {"42 ", false, 0},   // trailing ones are not
      {"", false, 0},
      {"-", false, 0},
      {"12a", false, 0},
      {"1.5", false, 0},
      {"$1F", true, 31},
      {"0x10", true, 16},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, std::numeric_limits<int>::min()},
      {"2147483648", false, 0},
      {"-2147483649", false, 0},
      {"99999999999999999999", false, 0},
  };
  for (const Case& c : cases) {
    int v = -999;
    EXPECT_EQ(rtl::TryStrToInt(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
    EXPECT_EQ(rtl::StrToIntDef(c.text, -1), c.ok ? c.value : -1) << c.text;
  }
  int64_t big;
  ASSERT_TRUE(rtl::TryStrToInt64("-9223372036854775808", big));
  EXPECT_EQ(big, std::numeric_limits<int64_t>::min());
  EXPECT_FALSE(rtl::TryStrToInt64("9223372036854775808", big));
}

TEST(RtlIntegers, StrToIntNamesTheTextInItsError) {
  try {
    rtl::StrToInt("33O6");
    FAIL() << "no exception";
  } catch (const rtl::EConvertError& e) {
    EXPECT_EQ(e.Message(), "'33O6' is not a valid integer value");
    EXPECT_STREQ(e.what(), "'33O6' is not a valid integer value");
  }
  EXPECT_THROW(rtl::StrToInt64(""), rtl::EConvertError);
  EXPECT_EQ(rtl::IntToStr(-1234567890123LL), "-1234567890123");
  EXPECT_EQ(rtl::IntToHex(255, 4), "00FF");
  EXPECT_EQ(rtl::IntToHex(0x1234, 2), "1234");
}

TEST(RtlFloats, GeneralFormatWithEitherSeparator) {
  const TFormatSettings comma = TFormatSettings::Brazilian();
  const TFormatSettings point = TFormatSettings::Invariant();
  struct Case {
    double value;
    const char* with_comma;
    const char* with_point;
  } cases[] = {
      {0.0, "0", "0"},
      {-0.0, "0", "0"},
      {1234.5, "1234,5", "1234.5"},
      {-1234.5, "-1234,5", "-1234.5"},
      {12.5, "12,5", "12.5"},
      {10.0, "10", "10"},
      {0.1 + 0.2, "0,3", "0.3"},  // rounded to 15 digits
      {1.0 / 3.0, "0,333333333333333", "0.333333333333333"},
      {2.0 / 3.0, "0,666666666666667", "0.666666666666667"},
      {123456789012345.0, "123456789012345", "123456789012345"},
      {1e15, "1E15", "1E15"},
      {1e20, "1E20", "1E20"},
      {1.5e20, "1,5E20", "1.5E20"},
      {0.0001, "0,0001", "0.0001"},
      {0.00001, "1E-5", "1E-5"},
      {-1.25e-7, "-1,25E-7", "-1.25E-7"},
      {99.99, "99,99", "99.99"},
      {1e100, "1E100", "1E100"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rtl::FloatToStr(c.value, comma), c.with_comma) << c.with_point;
    EXPECT_EQ(rtl::FloatToStr(c.value, point), c.with_point) << c.with_point;
  }
  EXPECT_EQ(rtl::FloatToStrF(1234.5678, 5, point), "1234.6");
  EXPECT_EQ(rtl::FloatToStrF(123456.0, 5, point), "1.2346E5");
  EXPECT_EQ(rtl::FloatToStrF(0.1, 17, point), "0.10000000000000001");
  EXPECT_EQ(rtl::FloatToStr(std::numeric_limits<double>::infinity()), "INF");
  EXPECT_EQ(rtl::FloatToStr(std::nan("")), "NAN");
}

TEST(RtlFloats, ProcessSettingsDefaultToTheDecimalComma) {
  EXPECT_EQ(rtl::FormatSettings().DecimalSeparator, ',');
  EXPECT_EQ(rtl::FormatSettings().ShortDateFormat, "dd/mm/yyyy");
  EXPECT_EQ(rtl::FloatToStr(1234.5), "1234,5");
  EXPECT_DOUBLE_EQ(rtl::StrToFloat("1234,5"), 1234.5);
}

TEST(RtlFloats, ReadsTextWithTheSettingsSeparator) {
  const TFormatSettings comma = TFormatSettings::Brazilian();
  const TFormatSettings point = TFormatSettings::Invariant();
  const ReadingCase cases[] = {
      {"12,5", &comma, true, 12.5}, {"12.5", &comma, false, 0},
      {"12.5", &point, true, 12.5}, {" -3,25 ", &comma, true, -3.25},
      {",5", &comma, true, 0.5},    {"5,", &comma, true, 5},
      {"1E3", &point, true, 1000},  {"1,5e-2", &comma, true, 0.015},
      {"1e", &point, false, 0},     {"", &point, false, 0},
      {",", &comma, false, 0},      {"1.000,5", &comma, false, 0},
      {"1e400", &point, false, 0},  {"1e-400", &point, true, 0},
      {"INF", &point, false, 0},    {"0x10", &point, false, 0},
  };
  for (const ReadingCase& c : cases) {
    double v = -1;
    EXPECT_EQ(rtl::TryStrToFloat(c.text, v, *c.settings), c.ok) << c.text;
    if (c.ok) {
      EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
  }
  try {
    rtl::StrToFloat("abc", point);
    FAIL();
  } catch (const rtl::EConvertError& e) {
    EXPECT_EQ(e.Message(), "'abc' is not a valid floating point value");
  }
}

TEST(RtlFloats, FormatFloatPatterns) {
  const TFormatSettings comma = TFormatSettings::Brazilian();
  const TFormatSettings point = TFormatSettings::Invariant();
  EXPECT_EQ(rtl::FormatFloat("0.00", 3.14159, point), "3.14");
  EXPECT_EQ(rtl::FormatFloat("0.00", 3.14159, comma), "3,14");
  EXPECT_EQ(rtl::FormatFloat("#,##0.00", 1234567.891, comma), "1.234.567,89");
  EXPECT_EQ(rtl::FormatFloat("#,##0", 999, point), "999");
  EXPECT_EQ(rtl::FormatFloat("0.###", 2.5, point), "2.5");
  EXPECT_EQ(rtl::FormatFloat("#.##", 0.5, point), ".5");
  EXPECT_EQ(rtl::FormatFloat("000", 7, point), "007");
  EXPECT_EQ(rtl::FormatFloat("0.00", -0.001, point), "0.00");
  EXPECT_EQ(rtl::FormatFloat("0.00E+00", 12345, point), "1.23E+04");
  EXPECT_EQ(rtl::FormatFloat("'R$ '0.00", 5, comma), "R$ 5,00");
}

TEST(RtlText, TrimmingAndCase) {
  EXPECT_EQ(rtl::Trim(std::string("\t  a b \r\n\0", 10)), "a b");
  EXPECT_EQ(rtl::TrimLeft("  x  "), "x  ");
  EXPECT_EQ(rtl::TrimRight("  x  "), "  x");
  EXPECT_EQ(rtl::Trim("   "), "");
  EXPECT_TRUE(rtl::IsBlank(" \t\x01"));
  EXPECT_FALSE(rtl::IsBlank(" a"));

  // Plain upper case leaves accented letters alone; the Ansi forms fold them.
  EXPECT_EQ(rtl::UpperCase("s\xE3o jos\xE9"), "S\xE3O JOS\xE9");
  EXPECT_EQ(rtl::AnsiUpperCase("s\xE3o jos\xE9 \xE7\xFF\x9A\xDF"),
            "S\xC3O JOS\xC9 \xC7\x9F\x8A\xDF");
  EXPECT_EQ(rtl::AnsiLowerCase("S\xC3O \xD7\xC7"), "s\xE3o \xD7\xE7");  // 0xD7 is not a letter
  EXPECT_EQ(rtl::LowerCase("ABC\xC7"), "abc\xC7");

  EXPECT_TRUE(rtl::SameText("Port", "PORT"));
  EXPECT_TRUE(rtl::SameText("Jo\xE3o", "JO\xC3O"));
  EXPECT_FALSE(rtl::SameText("Port", "Ports"));
  EXPECT_LT(rtl::CompareText("abc", "ABD"), 0);
  EXPECT_GT(rtl::CompareText("b", "A"), 0);
  EXPECT_LT(rtl::CompareText("ab", "ABC"), 0);
  EXPECT_EQ(rtl::CompareText("", ""), 0);
  EXPECT_LT(rtl::CompareStr("B", "a"), 0);
}

TEST(RtlText, PositionsAreOneBased) {
  EXPECT_EQ(rtl::Pos(")", "MySQL Error Code: (1062)"), 24u);
  EXPECT_EQ(rtl::Pos("x", "abc"), 0u);
  EXPECT_EQ(rtl::Pos("", "abc"), 0u);
  EXPECT_EQ(rtl::PosEx("a", "banana", 3), 4u);
  EXPECT_EQ(rtl::PosEx("a", "banana", 7), 0u);
  EXPECT_EQ(rtl::Copy("MySQL Error Code: (1062)", 20, 4), "1062");
  EXPECT_EQ(rtl::Copy("abc", 0, 2), "ab");
  EXPECT_EQ(rtl::Copy("abc", 3, 100), "c");
  EXPECT_EQ(rtl::Copy("abc", 4, 1), "");
  EXPECT_EQ(rtl::Copy("abc", 1, -1), "");
}

TEST(RtlText, ReplacingQuotingFormatting) {
  using rtl::rfIgnoreCase;
  using rtl::rfReplaceAll;
  EXPECT_EQ(rtl::StringReplace("1.234,5", ".", "", rfReplaceAll), "1234,5");
  EXPECT_EQ(rtl::StringReplace("a.b.c", ".", "-", 0), "a-b.c");
  EXPECT_EQ(rtl::StringReplace("Sel SEL sel", "sel", "x", rfReplaceAll | rfIgnoreCase), "x x x");
  EXPECT_EQ(rtl::StringReplace("\xC7\xE7", "\xE7", "c", rfReplaceAll | rfIgnoreCase), "cc");
  EXPECT_EQ(rtl::StringReplace("aaa", "aa", "a", rfReplaceAll), "aa");  // no rescanning
  EXPECT_EQ(rtl::StringReplace("abc", "", "x", rfReplaceAll), "abc");

  EXPECT_EQ(rtl::QuotedStr("D'\xC1vila"), "'D''\xC1vila'");
  EXPECT_EQ(rtl::DequotedStr("'D''Avila' rest"), "D'Avila");
  EXPECT_EQ(rtl::DequotedStr("plain"), "plain");
  EXPECT_EQ(rtl::DequotedStr("\"a\"\"b\"", '"'), "a\"b");

  EXPECT_EQ(rtl::Format("SET CHARACTER SET %s", "latin1"), "SET CHARACTER SET latin1");
  EXPECT_EQ(rtl::Format("%d-%05d", -3, 42), "-3-00042");
  EXPECT_EQ(rtl::Format("%s", std::string(300, 'x').c_str()).size(), 300u);
}

TEST(RtlExceptions, AbortIsSilentAndMessagesAreSettable) {
  try {
    rtl::Abort();
    FAIL();
  } catch (const rtl::EAbort& e) {
    EXPECT_EQ(e.Message(), "Operation aborted");
  }
  rtl::Exception e("first");
  e.SetMessage("dbPDV: " + e.Message());
  EXPECT_STREQ(e.what(), "dbPDV: first");
  const std::exception& base = rtl::EConvertError("x");
  EXPECT_STREQ(base.what(), "x");
}

}  // namespace
