// Date encoding: days since 1899-12-30 in a double, time counted forward
// from midnight also before that day.
#include <gtest/gtest.h>

#include "platform/rtl/FMTBcd.h"
#include "platform/rtl/SysUtils.h"

using namespace rtl;

TEST(DateEncoding, KnownDayNumbers)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDate(2000, 2, 29) - EncodeDate(2000, 2, 28), 1.0);
    EXPECT_THROW(EncodeDate(1900, 2, 29), EConvertError);
    EXPECT_THROW(EncodeDate(2023, 13, 1), EConvertError);
}

TEST(DateEncoding, TimeBeforeBaseDateCountsForward)
{
    TDateTime V = EncodeDateTime(1899, 12, 29, 6, 0, 0, 0);
    EXPECT_DOUBLE_EQ(V, -1.25);
    int Y, M, D, H, Mi, S, Ms;
    DecodeDateTime(-1.25, Y, M, D, H, Mi, S, Ms);
    EXPECT_EQ(Y, 1899);
    EXPECT_EQ(M, 12);
    EXPECT_EQ(D, 29);
    EXPECT_EQ(H, 6);
    EXPECT_EQ(Mi, 0);
}

TEST(DateEncoding, RoundTripsAtMillisecondPrecision)
{
    const int Cases[][7] = {{1899, 12, 30, 0, 0, 0, 1},      {1899, 12, 29, 23, 59, 59, 999},
                            {1, 1, 1, 12, 0, 0, 5},          {1850, 6, 15, 1, 2, 3, 4},
                            {2026, 12, 7, 8, 4, 27, 123},    {9999, 12, 31, 23, 59, 59, 999},
                            {1900, 2, 28, 0, 0, 0, 0},       {2000, 2, 29, 13, 14, 15, 16}};
    for (auto &C : Cases) {
        TDateTime V = EncodeDateTime(C[0], C[1], C[2], C[3], C[4], C[5], C[6]);
        int Y, M, D, H, Mi, S, Ms;
        DecodeDateTime(V, Y, M, D, H, Mi, S, Ms);
        EXPECT_EQ(Y, C[0]);
        EXPECT_EQ(M, C[1]);
        EXPECT_EQ(D, C[2]);
        EXPECT_EQ(H, C[3]);
        EXPECT_EQ(Mi, C[4]);
        EXPECT_EQ(S, C[5]);
        EXPECT_EQ(Ms, C[6]) << C[0] << "-" << C[1] << "-" << C[2];
        // And through the SQL time stamp record.
        TSQLTimeStamp TS = DateTimeToSQLTimeStamp(V);
        EXPECT_EQ(TS.Fractions, uint32_t(C[6]));
        EXPECT_DOUBLE_EQ(SQLTimeStampToDateTime(TS), V);
    }
}

TEST(DateEncoding, TimeStampDaysFromYearOne)
{
    EXPECT_EQ(DateTimeToTimeStamp(0).Date, 693594);
    EXPECT_EQ(DateTimeToTimeStamp(EncodeDate(1, 1, 1)).Date, 1);
    TTimeStamp TS = DateTimeToTimeStamp(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0));
    EXPECT_EQ(TS.Date, 693593);
    EXPECT_EQ(TS.Time, 6 * 3600000);
    EXPECT_DOUBLE_EQ(TimeStampToDateTime(TS), -1.25);
    // A value a hair below midnight rounds into the next day, not to 23:59:59.999.
    TS = DateTimeToTimeStamp(1.0 - 1e-10);
    EXPECT_EQ(TS.Date, 693595);
    EXPECT_EQ(TS.Time, 0);
}

TEST(DateEncoding, DayOfWeek)
{
    EXPECT_EQ(DayOfWeek(EncodeDate(2026, 12, 7)), 2); // a Monday
    EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 7); // a Saturday
}

TEST(DateText, FormatsInTheProgramsSettings)
{
    TDateTime V = EncodeDateTime(2024, 3, 5, 14, 7, 9, 42);
    EXPECT_EQ(FormatDateTime("MM/dd/yyyy", V), "03/05/2024");
    EXPECT_EQ(FormatDateTime("hh:nn:ss.zzz", V), "14:07:09.042");
    EXPECT_EQ(FormatDateTime("hh:mm", V), "14:07"); // m after h is minutes
    EXPECT_EQ(FormatDateTime("d mmm yy", V), "5 Mar 24");
    EXPECT_EQ(FormatDateTime("dddd, mmmm d", V), "Tuesday, March 5");
    EXPECT_EQ(FormatDateTime("h:nn am/pm", V), "2:07 pm");
    EXPECT_EQ(FormatDateTime("'at' hh", V), "at 14");
    EXPECT_EQ(DateTimeToStr(V), "03/05/2024 14:07:09");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2024, 3, 5)), "03/05/2024");
    EXPECT_EQ(DateTimeToStr(EncodeTime(1, 2, 3, 0)), "01:02:03");
}

TEST(DateText, ParsesInTheFormatsOrder)
{
    EXPECT_DOUBLE_EQ(StrToDate("03/05/2024"), EncodeDate(2024, 3, 5));
    EXPECT_DOUBLE_EQ(StrToDateTime("3/5/2024 14:07:09"), EncodeDateTime(2024, 3, 5, 14, 7, 9, 0));
    EXPECT_DOUBLE_EQ(StrToDateTime("12/29/1899 06:00"), -1.25);
    EXPECT_DOUBLE_EQ(StrToTime("2:30 PM"), EncodeTime(14, 30, 0, 0));
    EXPECT_DOUBLE_EQ(StrToTime("12:00:00 AM"), 0.0);
    EXPECT_THROW(StrToDate("13/01/2024"), EConvertError);
    EXPECT_THROW(StrToDateTime("yesterday"), EConvertError);
    TDateTime V;
    EXPECT_FALSE(TryStrToDate("02/30/2024", V));
}

TEST(SqlTimeStamp, TimeOnlyRecordIsDayZero)
{
    TSQLTimeStamp TS;
    TS.Hour = 12;
    EXPECT_DOUBLE_EQ(SQLTimeStampToDateTime(TS), 0.5);
}
