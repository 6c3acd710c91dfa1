// Date, time, decimal and integer storage forms of the library.
#include <gtest/gtest.h>

#include <cstring>

#include "dataaccess/stan/qxZqStanUtil.h"

TEST(TimeStorage, MillisecondsSinceMidnight)
{
    rtl::TSQLTimeStamp TS;
    TS.Hour = 1;
    TS.Minute = 2;
    TS.Second = 3;
    TS.Fractions = 4;
    EXPECT_EQ(ZqTimeStampToTime(TS), 3723004);
    rtl::TSQLTimeStamp Back = ZqTimeToTimeStamp(3723004);
    EXPECT_EQ(Back.Hour, 1);
    EXPECT_EQ(Back.Minute, 2);
    EXPECT_EQ(Back.Second, 3);
    EXPECT_EQ(Back.Fractions, 4u);
    EXPECT_EQ(ZqTimeToMSecs(0.5), 43200000);
    EXPECT_EQ(ZqTimeToMSecs(ZqMSecsToTime(86399999)), 86399999);
}

TEST(DateStorage, DayNumbersFromYearOne)
{
    rtl::TSQLTimeStamp TS;
    TS.Year = 1;
    TS.Month = 1;
    TS.Day = 1;
    EXPECT_EQ(ZqTimeStampToDate(TS), 1);
    TS.Year = 1899;
    TS.Month = 12;
    TS.Day = 30;
    EXPECT_EQ(ZqTimeStampToDate(TS), 693594);
    // A day before 1899-12-30 with a time of day keeps its own day number.
    TS.Day = 29;
    TS.Hour = 18;
    EXPECT_EQ(ZqTimeStampToDate(TS), 693593);
    rtl::TSQLTimeStamp D = ZqDateToTimeStamp(693593);
    EXPECT_EQ(D.Year, 1899);
    EXPECT_EQ(D.Month, 12);
    EXPECT_EQ(D.Day, 29);
    EXPECT_EQ(ZqDateToDays(rtl::EncodeDate(2000, 1, 1)), 730120);
    EXPECT_DOUBLE_EQ(ZqDaysToDate(730120), rtl::EncodeDate(2000, 1, 1));
    EXPECT_DOUBLE_EQ(ZqBaseDate(), -693593.0);
}

TEST(BcdText, PackingAsTheLibraryStoresIt)
{
    rtl::TBcd B;
    ASSERT_TRUE(ZqStrToBcd("0", -1, B, '.'));
    EXPECT_EQ(B.Precision, 8);
    EXPECT_EQ(B.SignSpecialPlaces, 2);
    EXPECT_EQ(ZqBcdToStr(B, '.'), "0");

    ASSERT_TRUE(ZqStrToBcd("-12.50", -1, B, '.'));
    EXPECT_TRUE(B.SignSpecialPlaces & 0x80);
    EXPECT_EQ(B.SignSpecialPlaces & 0x3F, 2);
    EXPECT_EQ(B.Precision, 4);
    EXPECT_EQ(B.Fraction[0], 0x12);
    EXPECT_EQ(B.Fraction[1], 0x50);
    std::string T;
    int Len = 0;
    ZqBcdToStr(B, T, Len, '.');
    EXPECT_EQ(T, "-12.5");
    EXPECT_EQ(Len, 5);

    ASSERT_TRUE(ZqStrToBcd("  +0.25xyz", 7, B, '.')); // length limits the text
    EXPECT_EQ(ZqBcdToStr(B, ','), "0,25");
    ASSERT_TRUE(ZqStrToBcd("100", -1, B, '.'));
    EXPECT_EQ(ZqBcdToStr(B, '.'), "100");
    EXPECT_EQ(rtl::BcdToStr(B), "100");
    std::string Long(70, '7');
    ASSERT_TRUE(ZqStrToBcd(Long.c_str(), -1, B, '.'));
    EXPECT_EQ(B.Precision, 8);
    EXPECT_EQ(ZqBcdToStr(B, '.'), "0");
    EXPECT_FALSE(ZqStrToBcd("1x", -1, B, '.'));
}

TEST(IntegerText, WidthsSignsAndNoOverflowCheck)
{
    int32_t I32 = 0;
    ZqStrToInt("  -42", -1, &I32, false, 4);
    EXPECT_EQ(I32, -42);
    uint16_t U16 = 0;
    ZqStrToInt("-7", -1, &U16, true, 2);
    EXPECT_EQ(U16, 7);
    int64_t I64 = 0;
    ZqStrToInt("9223372036854775807", -1, &I64, false, 8);
    EXPECT_EQ(I64, INT64_MAX);
    int8_t I8 = 0;
    ZqStrToInt("300", -1, &I8, false, 1);
    EXPECT_EQ(I8, int8_t(300 & 0xFF));
    ZqStrToInt("12345", 2, &I32, false, 4);
    EXPECT_EQ(I32, 12);
}

TEST(VariantHelpers, QuotientUsesThePoint)
{
    rtl::Variant R;
    rtl::FormatSettings.DecimalSeparator = ',';
    ZqVarDiv(rtl::Variant("1.5"), rtl::Variant(3), R);
    EXPECT_EQ(rtl::FormatSettings.DecimalSeparator, ',');
    rtl::FormatSettings.DecimalSeparator = '.';
    EXPECT_DOUBLE_EQ(R.AsDouble(), 0.5);
    ZqVarAdd(rtl::Variant(1), rtl::Null(), R);
    EXPECT_TRUE(R.IsNull());
    ZqVarSub(rtl::Variant(5), rtl::Variant(7), R);
    EXPECT_EQ(R.AsInteger(), -2);
}

TEST(CompareRefs, OrderOfCountedReferences)
{
    EXPECT_EQ(ZqCompareRefs(uintptr_t(10), 3, uintptr_t(10), 3), 0);
    EXPECT_EQ(ZqCompareRefs(uintptr_t(10), 4, uintptr_t(99), 3), -1); // larger count first
    EXPECT_EQ(ZqCompareRefs(uintptr_t(20), 3, uintptr_t(10), 3), -1); // larger address first
    EXPECT_EQ(ZqCompareRefs(uintptr_t(10), -1, uintptr_t(10), 0), 1); // negative after non-negative
    EXPECT_EQ(ZqCompareRefs(uintptr_t(10), 0, uintptr_t(10), -1), -1);
    EXPECT_EQ(ZqCompareRefs(uintptr_t(10), -2, uintptr_t(20), -2), -1); // smaller address first
    EXPECT_EQ(ZqCompareRefs(uintptr_t(10), -3, uintptr_t(5), -2), -1); // smaller count first
}
