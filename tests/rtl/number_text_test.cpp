// Number texts in the toolkit's manner: general format, "." separator.
#include <gtest/gtest.h>

#include "platform/rtl/FMTBcd.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/TTextFileReader.h"

#include <cmath>

using namespace rtl;

TEST(FloatText, GeneralFormatSwitchesToExponentAtTheToolkitsLimits)
{
    EXPECT_EQ(FloatToStr(0), "0");
    EXPECT_EQ(FloatToStr(1.5), "1.5");
    EXPECT_EQ(FloatToStr(-12.25), "-12.25");
    EXPECT_EQ(FloatToStr(0.1), "0.1");
    EXPECT_EQ(FloatToStr(100), "100");
    EXPECT_EQ(FloatToStr(0.00001), "0.00001");
    EXPECT_EQ(FloatToStr(0.0000015), "1.5E-6");
    EXPECT_EQ(FloatToStr(1e15), "1E15");
    EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
    EXPECT_EQ(FloatToStr(1.0 / 3.0), "0.333333333333333");
}

TEST(FloatText, ParsesOnlyTheCurrentSeparator)
{
    EXPECT_DOUBLE_EQ(StrToFloat(" 12.5 "), 12.5);
    EXPECT_DOUBLE_EQ(StrToFloat("-1.5e3"), -1500);
    EXPECT_THROW(StrToFloat("12,5"), EConvertError);
    EXPECT_THROW(StrToFloat(""), EConvertError);
    EXPECT_THROW(StrToFloat("1e"), EConvertError);
    FormatSettings.DecimalSeparator = ',';
    EXPECT_DOUBLE_EQ(StrToFloat("12,5"), 12.5);
    EXPECT_EQ(FloatToStr(0.5), "0,5");
    // The program's files hold whole numbers in the "." format whatever the separator.
    double V = 0;
    for (const char *Bad : {"30,5", "1,000", "inf", "nan", "0x10", "1e", "--1", ".", "5 ", "", "1.2.3", "12a"})
        EXPECT_FALSE(TryReadNumber(Bad, V)) << Bad;
    const std::pair<const char *, double> Good[] = {
        {"+.5", 0.5}, {"5.", 5}, {"-1.25E+2", -125}, {"1e-400", 0}, {"0.0001e-320", 0}, {"-12e308", -HUGE_VAL}};
    for (const auto &[Text, Want] : Good)
        EXPECT_TRUE(TryReadNumber(Text, V) && V == Want) << Text << " read as " << V;
    FormatSettings.DecimalSeparator = '.';
}

TEST(FloatText, FixedAndPatternFormats)
{
    EXPECT_EQ(FloatToStrF(2.345, ffFixed, 15, 2), "2.35");
    EXPECT_EQ(FloatToStrF(1234567.891, ffNumber, 15, 2), "1,234,567.89");
    EXPECT_EQ(FloatToStrF(-2.5, ffExponent, 3, 2), "-2.50E+00");
    EXPECT_EQ(FormatFloat("0.00", 3.14159), "3.14");
    EXPECT_EQ(FormatFloat("0.##", 3.1), "3.1");
    EXPECT_EQ(FormatFloat("#.##", 0.5), ".5");
    EXPECT_EQ(FormatFloat("000", 7), "007");
    EXPECT_EQ(FormatFloat("#,##0.0", 12345.67), "12,345.7");
}

TEST(IntegerText, DecimalAndHexadecimal)
{
    EXPECT_EQ(StrToInt(" -42 "), -42);
    EXPECT_EQ(StrToInt("$1F"), 31);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToIntDef("2147483648", -1), -1); // out of 32-bit range
    EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_THROW(StrToInt("12a"), EConvertError);
}

TEST(Bcd, TextRoundTripAndCompare)
{
    TBcd B = StrToBcd("-12.50");
    EXPECT_TRUE(IsBcdNegative(B));
    EXPECT_EQ(BcdScale(B), 2);
    EXPECT_EQ(BcdToStr(B), "-12.5");
    EXPECT_EQ(BcdToStr(StrToBcd("000123.4500")), "123.45");
    EXPECT_EQ(BcdToStr(StrToBcd("-0.0")), "0");
    EXPECT_EQ(BcdCompare(StrToBcd("1.10"), StrToBcd("1.1")), 0);
    EXPECT_LT(BcdCompare(StrToBcd("-2"), StrToBcd("1")), 0);
    EXPECT_GT(BcdCompare(StrToBcd("-1"), StrToBcd("-2")), 0);
    EXPECT_EQ(BcdToInt64(StrToBcd("-98765.99")), -98765);
    EXPECT_EQ(BcdToStr(DoubleToBcd(0.1)), "0.1");
    EXPECT_EQ(BcdToStr(IntegerToBcd(INT64_MIN)), "-9223372036854775808");
    TBcd N;
    ASSERT_TRUE(NormalizeBcd(StrToBcd("2.345"), N, 10, 2));
    EXPECT_EQ(BcdToStr(N), "2.35");
    EXPECT_FALSE(NormalizeBcd(StrToBcd("12345"), N, 4, 0));
}

TEST(CurrencyValue, ExactTenThousandths)
{
    EXPECT_EQ(CurrToStr(StrToCurr("1.2345")), "1.2345");
    EXPECT_EQ(CurrToStr(Currency::FromDouble(-0.5)), "-0.5");
    EXPECT_EQ(Currency::FromDouble(0.00005).Value, 1); // half away from zero
    Currency C;
    ASSERT_TRUE(BcdToCurr(StrToBcd("-3.14159"), C));
    EXPECT_EQ(C.Value, -31416);
    EXPECT_EQ(BcdToStr(CurrToBcd(Currency::FromRaw(1234500))), "123.45");
}

TEST(FileNames, BothDelimitersAndExtensions)
{
    EXPECT_EQ(ExtractFilePath("/opt/qc/Cfg/main.ini"), "/opt/qc/Cfg/");
    EXPECT_EQ(ExtractFileDir("/opt/qc/Cfg/main.ini"), "/opt/qc/Cfg");
    EXPECT_EQ(ExtractFileName("C:\\QC\\SoftDB\\dbqc.mdb"), "dbqc.mdb");
    EXPECT_EQ(ExtractFilePath("dbqc.mdb"), "");
    EXPECT_EQ(ExtractFileExt("a.b/c"), "");
    EXPECT_EQ(ExtractFileExt("/x/QCCruise.db"), ".db");
    EXPECT_EQ(ChangeFileExt("/x.y/table", ".db"), "/x.y/table.db");
    EXPECT_EQ(ChangeFileExt("grid.grd", ""), "grid");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp"), "/tmp/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/"), "/tmp/");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/tmp/"), "/tmp");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
    EXPECT_FALSE(FileExists("/"));
    EXPECT_TRUE(DirectoryExists("/"));
}
