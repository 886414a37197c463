#include "foundation/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

using foundation::ConvertError;
using foundation::Variant;

TEST(NumberText, FloatsUseDotAndFifteenDigits) {
  EXPECT_EQ(foundation::FloatToText(0.0), "0");
  EXPECT_EQ(foundation::FloatToText(-0.5), "-0.5");
  EXPECT_EQ(foundation::FloatToText(0.1), "0.1");
  EXPECT_EQ(foundation::FloatToText(123456789012345.0), "123456789012345");
  EXPECT_EQ(foundation::FloatToText(1234567890123456.0), "1.23456789012346E15");
  EXPECT_EQ(foundation::FloatToText(0.00001), "0.00001");
  EXPECT_EQ(foundation::FloatToText(0.000001), "1E-6");
  EXPECT_EQ(foundation::FloatToText(2.0 / 3.0), "0.666666666666667");
  for (double v : {3.14159, -2.5e-9, 6.02e23, 1.0 / 7.0, 1e300, -45000.125})
    EXPECT_NEAR(foundation::TextToFloat(foundation::FloatToText(v)), v, std::fabs(v) * 1e-14) << v;
}

TEST(NumberText, ParsersTrimAcceptBothSeparatorsAndRejectTheRest) {
  EXPECT_EQ(foundation::TextToInt("  -2147483648 "), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(foundation::TextToInt("+2147483647"), std::numeric_limits<int32_t>::max());
  for (const char* bad : {"", " ", "+", "2147483648", "-2147483649", "1 2", "0x10", "12a", "99999999999999999999"})
    EXPECT_THROW(foundation::TextToInt(bad), ConvertError) << bad;
  EXPECT_DOUBLE_EQ(foundation::TextToFloat(" 1,25 "), 1.25);
  EXPECT_DOUBLE_EQ(foundation::TextToFloat(".5"), 0.5);
  EXPECT_DOUBLE_EQ(foundation::TextToFloat("5."), 5.0);
  EXPECT_DOUBLE_EQ(foundation::TextToFloat("-1e3"), -1000.0);
  for (const char* bad : {"", ".", "e5", "1e", "inf", "nan", "1.5.2", "1,5,2", "1 e5", "--1"})
    EXPECT_THROW(foundation::TextToFloat(bad), ConvertError) << bad;
  EXPECT_EQ(foundation::TextToCurrencyScaled("12,5"), 125000);
  EXPECT_EQ(foundation::TextToCurrencyScaled("-0.00015"), -2);
  EXPECT_EQ(foundation::TextToCurrencyScaled("922337203685477.5807"), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(foundation::TextToCurrencyScaled("-922337203685477.5808"), std::numeric_limits<int64_t>::min());
  for (const char* bad : {"", "-", "922337203685477.5808", "1e5", "99999999999999999999999"})
    EXPECT_THROW(foundation::TextToCurrencyScaled(bad), ConvertError) << bad;
  EXPECT_EQ(foundation::CurrencyToText(std::numeric_limits<int64_t>::min()), "-922337203685477.5808");
  EXPECT_EQ(foundation::CurrencyToText(10), "0.001");
}

TEST(VariantValue, TypesAndConversions) {
  EXPECT_EQ(Variant().type(), foundation::varEmpty);
  EXPECT_EQ(Variant(5).type(), foundation::varInteger);
  EXPECT_EQ(Variant(5.0).type(), foundation::varDouble);
  EXPECT_EQ(Variant(true).type(), foundation::varBoolean);
  EXPECT_EQ(Variant("x").type(), foundation::varString);
  EXPECT_EQ(Variant::WideString("x").type(), foundation::varOleStr);
  EXPECT_EQ(Variant::Smallint(1).type(), foundation::varSmallint);
  EXPECT_EQ(Variant::Date(1).type(), foundation::varDate);
  EXPECT_EQ(Variant(42).AsString(), "42");
  EXPECT_EQ(Variant(true).AsString(), "True");
  EXPECT_EQ(Variant(2.5).AsString(), "2.5");
  EXPECT_EQ(Variant::CurrencyScaled(15000).AsString(), "1.5");
  EXPECT_EQ(Variant::CurrencyScaled(15000).AsInt(), 2);
  EXPECT_EQ(Variant(" 12 ").AsInt(), 12);
  EXPECT_EQ(Variant(2.5).AsInt(), 2);  // to nearest, ties to even
  EXPECT_EQ(Variant(3.5).AsInt(), 4);
  EXPECT_THROW(Variant(1e12).AsInt(), ConvertError);
  EXPECT_THROW(Variant(std::numeric_limits<double>::quiet_NaN()).AsInt(), ConvertError);
  EXPECT_THROW(Variant("abc").AsInt(), ConvertError);
  EXPECT_THROW(Variant(1e300).AsCurrencyScaled(), ConvertError);
  EXPECT_TRUE(Variant("TRUE").AsBool());
  EXPECT_FALSE(Variant("false").AsBool());
  EXPECT_FALSE(Variant("0").AsBool());
  EXPECT_EQ(Variant().AsInt(), 0);
  EXPECT_EQ(Variant::Null().AsString(), "");
  EXPECT_EQ(Variant(7), Variant(7));
  EXPECT_FALSE(Variant(7) == Variant::Smallint(7));
}

}  // namespace
