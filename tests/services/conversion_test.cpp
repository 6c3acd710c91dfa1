// Raw value conversion: the 35 x 35 matrix, numeric, text, date and large
// object conversions, and the range errors that keep values from being
// damaged silently.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dataaccess/stan/qxZqStanConvert.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "platform/rtl/FMTBcd.h"
#include "platform/rtl/SysUtils.h"



namespace {

// Typed by hand from the table of allowed targets: row = source, column =
// target, both in TZqDataType order.
const char *const CExpectedMatrix[35] = {
    "x..................................", //  0 Unknown
    ".xxxxxxxxx..xx....xx...............", //  1 Boolean
    ".xxxxxxxxxxxxx....xx...............", //  2 SByte
    ".xxxxxxxxxxxxx....xx...............", //  3 Int16
    ".xxxxxxxxxxxxx....xx...............", //  4 Int32
    ".xxxxxxxxxxxxx....xx...............", //  5 Int64
    ".xxxxxxxxxxxxx....xx...............", //  6 Byte
    ".xxxxxxxxxxxxx....xx...............", //  7 UInt16
    ".xxxxxxxxxxxxx....xx...............", //  8 UInt32
    ".xxxxxxxxxxxxx....xx...............", //  9 UInt64
    "..xxxxxxxxxxxx....xx...............", // 10 Double
    "..xxxxxxxxxxxx....xx...............", // 11 Currency
    ".xxxxxxxxxxxxx....xx...............", // 12 BCD
    ".xxxxxxxxxxxxx....xx...............", // 13 FmtBCD
    "..............xxxxxx...............", // 14 DateTime
    "..............xx.xxx...............", // 15 Time
    "..............x.xxxx...............", // 16 Date
    "..............xxxxxx...............", // 17 DateTimeStamp
    ".xxxxxxxxxxxxxxxxxxxxxxxxxxx.....x.", // 18 AnsiString
    ".xxxxxxxxxxxxxxxxxxxxxxxxxxx.....x.", // 19 WideString
    "..................xxxxxxxxxx.......", // 20 ByteString
    ".....................xxxxxxx.......", // 21 Blob
    ".....................xxxxxxx.......", // 22 Memo
    ".....................xxxxxxx.......", // 23 WideMemo
    ".....................xxxxxxx.......", // 24 HBlob
    ".....................xxxxxxx.......", // 25 HMemo
    ".....................xxxxxxx.......", // 26 WideHMemo
    ".....................xxxxxxx.......", // 27 HBFile
    "............................xx.....", // 28 RowSetRef
    "............................xx.....", // 29 CursorRef
    "..............................x....", // 30 RowRef
    "...............................x...", // 31 ArrayRef
    "................................x..", // 32 ParentRowRef
    "..................xx.............x.", // 33 GUID
    "..................................x", // 34 Object
};

int ErrorCodeOf(TZqDataType S, TZqDataType T)
{
    void *Target = nullptr;
    uint32_t Len = 0;
    try {
        ZqConvertRawData(S, T, nullptr, 0, Target, 0, Len);
    } catch (const EZqException &E) {
        return E.ErrorCode();
    }
    return 0;
}

// Converts a scalar into a scalar through a buffer of the target's size.
template <class TS, class TT>
TT Convert(TZqDataType S, TZqDataType T, TS AValue)
{
    TT Out{};
    void *Target = &Out;
    uint32_t Len = 0;
    ZqConvertRawData(S, T, &AValue, sizeof(TS), Target, sizeof(TT), Len);
    EXPECT_EQ(Len, ZqDataTypeStorageSize(T));
    return Out;
}

template <class TS>
std::string ToText(TZqDataType S, TS AValue, uint32_t *ALength = nullptr)
{
    char Buf[300] = {};
    void *Target = Buf;
    uint32_t Len = 0;
    ZqConvertRawData(S, dtAnsiString, &AValue, sizeof(TS), Target, sizeof(Buf) - 2, Len);
    if (ALength)
        *ALength = Len;
    return std::string(Buf);
}

template <class TT>
TT FromText(TZqDataType T, const std::string &AText)
{
    TT Out{};
    void *Target = &Out;
    uint32_t Len = 0;
    ZqConvertRawData(dtAnsiString, T, const_cast<char *>(AText.data()), uint32_t(AText.size()), Target,
                     sizeof(TT), Len);
    return Out;
}

rtl::TBcd Bcd(const char *S) { return rtl::StrToBcd(S); }

} // namespace

TEST(ConversionMatrix, AllPairsAgainstTheTypedTable)
{
    for (int S = 0; S < 35; ++S)
        for (int T = 0; T < 35; ++T) {
            bool Expected = CExpectedMatrix[S][T] == 'x';
            auto ST = TZqDataType(S), TT = TZqDataType(T);
            EXPECT_EQ(ZqIsConvertiblePair(ST, TT), Expected) << S << " -> " << T;
            EXPECT_EQ(ErrorCodeOf(ST, TT), Expected ? 0 : 19) << S << " -> " << T;
        }
}

TEST(ConversionMatrix, RefusedPairWritesNothing)
{
    int32_t Out = 1234;
    char Blob[4] = {1, 2, 3, 4};
    void *Target = &Out;
    uint32_t Len = 77;
    EXPECT_THROW(ZqConvertRawData(dtBlob, dtInt32, Blob, 4, Target, 4, Len), EZqException);
    EXPECT_EQ(Out, 1234);
    EXPECT_EQ(Target, &Out);
}

TEST(ConversionMatrix, SameTypeHandsBackTheSource)
{
    int32_t V = 5;
    int32_t Out = 0;
    void *Target = &Out;
    uint32_t Len = 0;
    ZqConvertRawData(dtInt32, dtInt32, &V, 4, Target, 4, Len);
    EXPECT_EQ(Target, &V);
    EXPECT_EQ(Len, 4u);
}

TEST(ConversionNumeric, IntegersWidenAndNarrowWithinRange)
{
    EXPECT_EQ((Convert<int32_t, int16_t>(dtInt32, dtInt16, -32768)), -32768);
    EXPECT_EQ((Convert<int8_t, int64_t>(dtSByte, dtInt64, -5)), -5);
    EXPECT_EQ((Convert<uint32_t, int64_t>(dtUInt32, dtInt64, 4000000000u)), 4000000000LL);
    EXPECT_EQ((Convert<int16_t, uint8_t>(dtInt16, dtByte, 255)), 255);
    EXPECT_EQ((Convert<uint64_t, double>(dtUInt64, dtDouble, 18446744073709551615ull)), 18446744073709551616.0);
    EXPECT_EQ((Convert<int32_t, int64_t>(dtInt32, dtCurrency, 5)), 50000);
}

TEST(ConversionNumeric, ValuesThatDoNotFitRaiseInsteadOfWrapping)
{
    EXPECT_THROW((Convert<int32_t, int16_t>(dtInt32, dtInt16, 70000)), rtl::EConvertError);
    EXPECT_THROW((Convert<int32_t, uint16_t>(dtInt32, dtUInt16, -1)), rtl::EConvertError);
    EXPECT_THROW((Convert<uint64_t, int64_t>(dtUInt64, dtInt64, 9223372036854775808ull)), rtl::EConvertError);
    EXPECT_THROW((Convert<double, int32_t>(dtDouble, dtInt32, 3.0e9)), rtl::EConvertError);
    EXPECT_THROW((Convert<double, int64_t>(dtDouble, dtInt64, 1.0e19)), rtl::EConvertError);
    EXPECT_EQ((Convert<double, uint32_t>(dtDouble, dtUInt32, 3.0e9)), 3000000000u);
    EXPECT_THROW((Convert<double, int64_t>(dtDouble, dtCurrency, 1.0e15)), rtl::EConvertError);
    EXPECT_THROW((Convert<int64_t, int64_t>(dtInt64, dtCurrency, INT64_MAX / 1000)), rtl::EConvertError);
    // A failed conversion leaves the destination as it was.
    int16_t Out = 7;
    int32_t V = 70000;
    void *Target = &Out;
    uint32_t Len = 0;
    EXPECT_THROW(ZqConvertRawData(dtInt32, dtInt16, &V, 4, Target, 2, Len), rtl::EConvertError);
    EXPECT_EQ(Out, 7);
}

TEST(ConversionNumeric, BooleanIsNonZeroAndStoredAsMinusOne)
{
    EXPECT_EQ((Convert<int32_t, int16_t>(dtInt32, dtBoolean, 70000)), -1);
    EXPECT_EQ((Convert<int32_t, int16_t>(dtInt32, dtBoolean, 65536)), -1);
    EXPECT_EQ((Convert<int32_t, int16_t>(dtInt32, dtBoolean, 0)), 0);
    EXPECT_EQ((Convert<int16_t, int32_t>(dtBoolean, dtInt32, -1)), -1);
    EXPECT_EQ((Convert<int16_t, int32_t>(dtBoolean, dtInt32, 5)), -1);
    EXPECT_EQ((Convert<int16_t, uint8_t>(dtBoolean, dtByte, -1)), 255);
    EXPECT_EQ((Convert<int16_t, int32_t>(dtBoolean, dtInt32, 0)), 0);
}

TEST(ConversionNumeric, DoubleAndCurrency)
{
    EXPECT_EQ((Convert<double, int32_t>(dtDouble, dtInt32, -2.7)), -2);
    EXPECT_EQ((Convert<double, int64_t>(dtDouble, dtCurrency, -2.7)), -27000);
    EXPECT_EQ((Convert<double, int64_t>(dtDouble, dtCurrency, 0.125)), 1250);
    EXPECT_EQ((Convert<int64_t, int32_t>(dtCurrency, dtInt32, -27000)), -2);
    EXPECT_DOUBLE_EQ((Convert<int64_t, double>(dtCurrency, dtDouble, 12345)), 1.2345);
}

TEST(ConversionNumeric, BcdThroughItsText)
{
    rtl::TBcd B = Bcd("123.45");
    EXPECT_EQ((Convert<rtl::TBcd, int32_t>(dtBCD, dtInt32, B)), 123);
    EXPECT_EQ((Convert<rtl::TBcd, int64_t>(dtBCD, dtCurrency, B)), 1234500);
    EXPECT_DOUBLE_EQ((Convert<rtl::TBcd, double>(dtBCD, dtDouble, B)), 123.45);
    EXPECT_EQ((Convert<rtl::TBcd, int16_t>(dtBCD, dtBoolean, Bcd("0"))), 0);
    EXPECT_THROW((Convert<rtl::TBcd, int8_t>(dtBCD, dtSByte, Bcd("300"))), rtl::EConvertError);
    rtl::TBcd FromInt = Convert<int32_t, rtl::TBcd>(dtInt32, dtBCD, -42);
    EXPECT_EQ(rtl::BcdToStr(FromInt), "-42");
    rtl::TBcd FromDouble = Convert<double, rtl::TBcd>(dtDouble, dtFmtBCD, 2.5);
    EXPECT_EQ(rtl::BcdToStr(FromDouble), "2.5");
    rtl::TBcd FromCurr = Convert<int64_t, rtl::TBcd>(dtCurrency, dtBCD, -12345);
    EXPECT_EQ(rtl::BcdToStr(FromCurr), "-1.2345");
}

TEST(ConversionText, ScalarsAsText)
{
    uint32_t Len = 0;
    EXPECT_EQ(ToText<double>(dtDouble, 2.5, &Len), "2.50");
    EXPECT_EQ(Len, 5u);
    EXPECT_EQ(ToText<int16_t>(dtBoolean, -1), "T");
    EXPECT_EQ(ToText<int16_t>(dtBoolean, 0), "F");
    EXPECT_EQ(ToText<int32_t>(dtInt32, -2147483647 - 1), "-2147483648");
    EXPECT_EQ(ToText<uint64_t>(dtUInt64, 18446744073709551615ull), "18446744073709551615");
    EXPECT_EQ(ToText<int64_t>(dtCurrency, 12345), "1.23");
    EXPECT_EQ(ToText<rtl::TBcd>(dtBCD, Bcd("-12.5")), "-12.5");
}

TEST(ConversionText, DecimalSeparatorFollowsTheProcessSettings)
{
    char Saved = rtl::FormatSettings.DecimalSeparator;
    rtl::FormatSettings.DecimalSeparator = ',';
    EXPECT_EQ(ToText<double>(dtDouble, 2.5), "2,50");
    EXPECT_DOUBLE_EQ(FromText<double>(dtDouble, "2,25"), 2.25);
    rtl::FormatSettings.DecimalSeparator = Saved;
}

TEST(ConversionText, LongestTextsAskedWithoutSource)
{
    const std::pair<TZqDataType, uint32_t> Cases[] = {
        {dtBoolean, 1}, {dtSByte, 5},   {dtInt16, 7},  {dtInt32, 12},    {dtInt64, 22},
        {dtByte, 4},    {dtUInt16, 6},  {dtUInt32, 11}, {dtUInt64, 22},  {dtDouble, 19},
        {dtCurrency, 22}, {dtBCD, 67},  {dtFmtBCD, 67}, {dtGUID, 38}};
    for (auto [Type, Expected] : Cases) {
        void *Target = nullptr;
        uint32_t Len = 0;
        ZqConvertRawData(Type, dtAnsiString, nullptr, 0, Target, 0, Len);
        EXPECT_EQ(Len, Expected) << int(Type);
    }
    // "09/29/2002 23:59:59" and its terminator with the default formats.
    void *Target = nullptr;
    uint32_t Len = 0;
    ZqConvertRawData(dtDateTime, dtWideString, nullptr, 0, Target, 0, Len);
    EXPECT_EQ(Len, 20u);
}

TEST(ConversionText, TextThatDoesNotFitRaisesInsteadOfBeingCut)
{
    rtl::TBcd B = Bcd("123456.789");
    char Buf[16] = {};
    void *Target = Buf;
    uint32_t Len = 0;
    EXPECT_THROW(ZqConvertRawData(dtBCD, dtAnsiString, &B, 34, Target, 5, Len), rtl::EConvertError);
    EXPECT_EQ(Buf[0], '\0');
    double D = 1.0e30;
    EXPECT_THROW(ZqConvertRawData(dtDouble, dtAnsiString, &D, 8, Target, 14, Len), rtl::EConvertError);
}

TEST(ConversionText, TextToScalars)
{
    EXPECT_EQ(FromText<int16_t>(dtBoolean, "yes"), -1);
    EXPECT_EQ(FromText<int16_t>(dtBoolean, "True"), -1);
    EXPECT_EQ(FromText<int16_t>(dtBoolean, "1"), 0);
    EXPECT_EQ(FromText<int16_t>(dtInt16, " 42 "), 42);
    EXPECT_EQ(FromText<int64_t>(dtInt64, "-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(FromText<uint64_t>(dtUInt64, "18446744073709551615"), UINT64_MAX);
    EXPECT_EQ(FromText<int64_t>(dtCurrency, "-1.23456"), -12346);
    EXPECT_EQ(rtl::BcdToStr(FromText<rtl::TBcd>(dtBCD, "00012.500")), "12.5");
    EXPECT_DOUBLE_EQ(FromText<double>(dtDouble, "1.5E3"), 1500.0);
}

TEST(ConversionText, IntegerTextThatOverflowsOrIsNoNumberRaises)
{
    EXPECT_THROW(FromText<int32_t>(dtInt32, "99999999999"), rtl::EConvertError);
    EXPECT_THROW(FromText<uint8_t>(dtByte, "-5"), rtl::EConvertError);
    EXPECT_THROW(FromText<uint64_t>(dtUInt64, "18446744073709551616"), rtl::EConvertError);
    EXPECT_THROW(FromText<int32_t>(dtInt32, "12abc"), rtl::EConvertError);
    EXPECT_THROW(FromText<double>(dtDouble, "abc"), rtl::EConvertError);
    EXPECT_THROW(FromText<rtl::TBcd>(dtBCD, std::string(70, '9')), rtl::EConvertError);
}

TEST(ConversionText, WideSourceAndTarget)
{
    const char16_t Wide[] = u"314";
    int32_t Out = 0;
    void *Target = &Out;
    uint32_t Len = 0;
    ZqConvertRawData(dtWideString, dtInt32, const_cast<char16_t *>(Wide), 3, Target, 4, Len);
    EXPECT_EQ(Out, 314);

    int32_t V = -7;
    char16_t Buf[16] = {};
    Target = Buf;
    ZqConvertRawData(dtInt32, dtWideString, &V, 4, Target, sizeof(Buf) - 2, Len);
    EXPECT_EQ(std::u16string(Buf), u"-7");
    EXPECT_EQ(Len, 3u);
}

TEST(ConversionDates, AllDateFormsAgree)
{
    // 2007-03-05 10:20:30.400: day 39146 after 1899-12-30, so day number
    // 39146 + 693594 of the time stamp; 37,230,400 ms after midnight.
    const int32_t Day = 39146 + 693594;
    const int32_t Ms = 37230400;
    const double MSecs = double(Day) * 86400000.0 + Ms;
    rtl::TSQLTimeStamp TS = Convert<double, rtl::TSQLTimeStamp>(dtDateTime, dtDateTimeStamp, MSecs);
    EXPECT_EQ(TS.Year, 2007);
    EXPECT_EQ(TS.Month, 3);
    EXPECT_EQ(TS.Day, 5);
    EXPECT_EQ(TS.Hour, 10);
    EXPECT_EQ(TS.Minute, 20);
    EXPECT_EQ(TS.Second, 30);
    EXPECT_EQ(TS.Fractions, 400u);
    EXPECT_EQ((Convert<double, int32_t>(dtDateTime, dtTime, MSecs)), Ms);
    EXPECT_EQ((Convert<double, int32_t>(dtDateTime, dtDate, MSecs)), Day);
    EXPECT_DOUBLE_EQ((Convert<rtl::TSQLTimeStamp, double>(dtDateTimeStamp, dtDateTime, TS)), MSecs);
    EXPECT_EQ((Convert<rtl::TSQLTimeStamp, int32_t>(dtDateTimeStamp, dtTime, TS)), Ms);
    EXPECT_DOUBLE_EQ((Convert<int32_t, double>(dtDate, dtDateTime, Day)), double(Day) * 86400000.0);
    EXPECT_EQ(ToText<int32_t>(dtDate, Day), "03/05/2007");
    EXPECT_EQ(ToText<double>(dtDateTime, MSecs), "03/05/2007 10:20:30");
    EXPECT_EQ(FromText<int32_t>(dtDate, "03/05/2007"), Day);
}

TEST(ConversionGuid, TextRoundTrip)
{
    const std::string Text = "{3E9B315B-F456-4175-A864-B2573C4A2001}";
    struct TGuidBytes { uint8_t B[16]; } Guid = {};
    uint8_t *G = Guid.B;
    void *Target = G;
    uint32_t Len = 0;
    ZqConvertRawData(dtAnsiString, dtGUID, const_cast<char *>(Text.data()), uint32_t(Text.size()), Target, 16, Len);
    EXPECT_EQ(G[0], 0x5B); // Data1 is stored little-endian
    EXPECT_EQ(G[15], 0x01);
    EXPECT_EQ(ToText<TGuidBytes>(dtGUID, Guid), Text);
    EXPECT_THROW(FromText<uint64_t>(dtGUID, "{not a guid}"), rtl::EConvertError);
}

TEST(ConversionLargeObjects, LengthsAndInPlaceResults)
{
    char Text[] = "hello";
    void *Target = nullptr;
    uint32_t Len = 0;
    ZqConvertRawData(dtAnsiString, dtBlob, Text, 5, Target, 100, Len);
    EXPECT_EQ(Target, Text);
    EXPECT_EQ(Len, 5u);

    char16_t Wide[8] = {};
    Target = Wide;
    ZqConvertRawData(dtAnsiString, dtWideMemo, Text, 5, Target, 6, Len);
    EXPECT_EQ(Len, 3u); // capped at 6 bytes = 3 characters
    EXPECT_EQ(std::u16string(Wide, 3), u"hel");

    char16_t WSrc[] = u"abcd";
    char Narrow[8] = {};
    Target = Narrow;
    ZqConvertRawData(dtWideString, dtMemo, WSrc, 4, Target, 8, Len);
    EXPECT_EQ(Len, 4u);
    EXPECT_EQ(std::string(Narrow, 4), "abcd");

    Target = nullptr;
    ZqConvertRawData(dtWideMemo, dtBlob, WSrc, 4, Target, 100, Len);
    EXPECT_EQ(Len, 8u);
    EXPECT_EQ(Target, WSrc);

    Target = nullptr;
    ZqConvertRawData(dtRowSetRef, dtCursorRef, nullptr, 0, Target, 0, Len);
    EXPECT_EQ(Len, 0u);
}

TEST(ConversionBuffer, GrowsKeepsContentsAndResets)
{
    TZqFormatConversionBuffer B;
    EXPECT_EQ(B.Size(), 134u);
    char *P = static_cast<char *>(B.Check(10));
    std::memcpy(P, "abc", 4);
    EXPECT_EQ(B.Size(), 134u);
    P = static_cast<char *>(B.Check(500));
    EXPECT_GE(B.Size(), 502u);
    EXPECT_STREQ(P, "abc");
    uint32_t Len = 0;
    B.CheckForTypes(400, Len, dtAnsiString, dtWideString);
    EXPECT_EQ(Len, 400u);
    EXPECT_GE(B.Size(), 802u);
    B.Clear();
    EXPECT_EQ(B.Size(), 134u);
    EXPECT_EQ(B.Ptr(), nullptr);
}
