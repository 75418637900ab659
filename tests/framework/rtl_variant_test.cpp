#include <gtest/gtest.h>

#include "rtl/Variant.h"

namespace {

using rtl::Variant;

TEST(RtlVariant, TypesOfTheConstructors) {
  EXPECT_EQ(Variant().VarType(), rtl::varEmpty);
  EXPECT_EQ(Variant::Null().VarType(), rtl::varNull);
  EXPECT_EQ(Variant(true).VarType(), rtl::varBoolean);
  EXPECT_EQ(Variant(5).VarType(), rtl::varInteger);
  EXPECT_EQ(Variant(int64_t{5}).VarType(), rtl::varInt64);
  EXPECT_EQ(Variant(5LL).VarType(), rtl::varInt64);
  EXPECT_EQ(Variant(2.5).VarType(), rtl::varDouble);
  EXPECT_EQ(Variant("x").VarType(), rtl::varString);
  EXPECT_EQ(Variant(std::string("x")).VarType(), rtl::varString);
  EXPECT_EQ(Variant::FromCurrency(1).VarType(), rtl::varCurrency);
  EXPECT_EQ(Variant::FromDateTime(1).VarType(), rtl::varDate);
  EXPECT_EQ(Variant({Variant(1), Variant("a")}).VarType(), rtl::varArray);
  EXPECT_EQ(Variant(7u).VarType(), rtl::varLongWord);
  EXPECT_EQ(Variant(size_t{7}).AsInt64(), 7);
  EXPECT_EQ(Variant::FromInt(300, rtl::varShortInt).AsInt64(), 44);  // truncated to 8 bits
  EXPECT_EQ(Variant::FromInt(-1, rtl::varWord).AsInt64(), 65535);
  EXPECT_TRUE(Variant::Null().IsClear());
  EXPECT_TRUE(Variant().IsClear());
  EXPECT_FALSE(Variant(0).IsClear());
}

TEST(RtlVariant, ConversionsBetweenTypes) {
  rtl::TFormatSettings& fs = rtl::FormatSettings();
  ASSERT_EQ(fs.DecimalSeparator, ',');
  struct Case {
    Variant v;
    const char* as_string;
    double as_double;
    int64_t as_int64;
  } cases[] = {
      {Variant(), "", 0, 0},
      {Variant(true), "True", -1, -1},
      {Variant(false), "False", 0, 0},
      {Variant(-42), "-42", -42, -42},
      {Variant(1234.5), "1234,5", 1234.5, 1234},  // ties go to even
      {Variant(1235.5), "1235,5", 1235.5, 1236},
      {Variant(-2.5), "-2,5", -2.5, -2},
      {Variant::FromCurrency(123456), "12,3456", 12.3456, 12},
      {Variant::FromCurrency(25000), "2,5", 2.5, 2},
      {Variant::FromCurrency(35000), "3,5", 3.5, 4},
      {Variant("17"), "17", 17, 17},
      {Variant("2,75"), "2,75", 2.75, 3},
      {Variant::FromDateTime(rtl::EncodeDate(2024, 2, 9)), "09/02/2024", 45331, 45331},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.v.AsString(), c.as_string);
    EXPECT_DOUBLE_EQ(c.v.AsDouble(), c.as_double) << c.as_string;
    EXPECT_EQ(c.v.AsInt64(), c.as_int64) << c.as_string;
  }
  EXPECT_EQ(Variant::FromSingle(0.1f).AsString(), "0,1");  // a single's own precision
  EXPECT_EQ(Variant(static_cast<const char*>(nullptr)).AsString(), "");
  EXPECT_EQ(Variant(2.5).AsCurrency(), 25000);
  EXPECT_EQ(Variant(7).AsCurrency(), 70000);
  EXPECT_EQ(Variant::CurrencyFromDouble(0.00005).AsCurrency(), 0);  // half to even
  EXPECT_EQ(Variant::CurrencyFromDouble(1.23456).AsCurrency(), 12346);
  EXPECT_TRUE(Variant("True").AsBoolean());
  EXPECT_TRUE(Variant("2").AsBoolean());
  EXPECT_FALSE(Variant(0.0).AsBoolean());
  EXPECT_DOUBLE_EQ(Variant("09/02/2024 12:00:00").AsDateTime(), 45331.5);
  EXPECT_EQ(Variant::FromDateTime(45331.5).AsString(), "09/02/2024 12:00:00");
}

TEST(RtlVariant, ImpossibleConversionsRaise) {
  try {
    Variant::Null().AsInteger();
    FAIL();
  } catch (const rtl::EVariantError& e) {
    EXPECT_EQ(e.Message(), "Could not convert variant of type (Null) into type (Int64)");
  }
  EXPECT_THROW(Variant("abc").AsDouble(), rtl::EVariantError);
  EXPECT_THROW(Variant("abc").AsDateTime(), rtl::EVariantError);
  EXPECT_THROW(Variant("maybe").AsBoolean(), rtl::EVariantError);
  EXPECT_THROW(Variant(3e9).AsInteger(), rtl::EVariantError);
  EXPECT_THROW(Variant(1e300).AsInt64(), rtl::EVariantError);
  EXPECT_THROW(Variant::Null().AsString(), rtl::EVariantError);
  EXPECT_THROW(Variant({Variant(1)}).AsString(), rtl::EVariantError);
  EXPECT_THROW(Variant(1).Item(0), rtl::EVariantError);
  EXPECT_THROW(Variant({Variant(1)}).Item(1), rtl::EVariantError);
  // A variant error is a conversion error.
  EXPECT_THROW(Variant("x").AsInt64(), rtl::EConvertError);
}

TEST(RtlVariant, EqualityAsKeySearchesUseIt) {
  struct Case {
    Variant a, b;
    bool equal;
  } cases[] = {
      {Variant(1), Variant(int64_t{1}), true},
      {Variant(1), Variant(1.0), true},
      {Variant(1), Variant(1.5), false},
      {Variant::FromCurrency(15000), Variant(1.5), true},
      {Variant("abc"), Variant("abc"), true},
      {Variant("abc"), Variant("ABC"), false},
      {Variant("10"), Variant(10), true},
      {Variant("10,0"), Variant(10), true},
      {Variant("x"), Variant(10), false},
      {Variant::Null(), Variant::Null(), true},
      {Variant::Null(), Variant(), false},
      {Variant::Null(), Variant(0), false},
      {Variant(), Variant(""), false},
      {Variant(true), Variant(-1), true},
      {Variant::FromDateTime(45331), Variant(45331), true},
      {Variant::FromDateTime(45331), Variant("09/02/2024"), true},
      {Variant({Variant(1), Variant("a")}), Variant({Variant(1.0), Variant("a")}), true},
      {Variant({Variant(1)}), Variant({Variant(1), Variant(2)}), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.a == c.b, c.equal) << c.a.VarType() << " " << c.b.VarType();
    EXPECT_EQ(c.b == c.a, c.equal);
  }
}

TEST(RtlVariant, OrderingPutsNullFirst) {
  EXPECT_LT(rtl::VarCompare(Variant::Null(), Variant(-5)), 0);
  EXPECT_GT(rtl::VarCompare(Variant(""), Variant::Null()), 0);
  EXPECT_EQ(rtl::VarCompare(Variant::Null(), Variant()), 0);
  EXPECT_LT(rtl::VarCompare(Variant(2), Variant(10)), 0);
  EXPECT_GT(rtl::VarCompare(Variant("b"), Variant("A")), 0);
  EXPECT_LT(rtl::VarCompare(Variant("b"), Variant("C"), true), 0);
  EXPECT_EQ(rtl::VarCompare(Variant("\xE7"), Variant("\xC7"), true), 0);
  EXPECT_LT(rtl::VarCompare(Variant("9"), Variant(10)), 0);  // numerically
  EXPECT_GT(rtl::VarCompare(Variant(10), Variant("9")), 0);
  EXPECT_GT(rtl::VarCompare(Variant("9x"), Variant(10)), 0);  // as texts
  EXPECT_LT(rtl::VarCompare(Variant(9223372036854775806LL), Variant(9223372036854775807LL)), 0);
}

}  // namespace
