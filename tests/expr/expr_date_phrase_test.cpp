// Natural-language date phrases against a clock fixed at Wednesday
// 2024-05-15 14:30:00; expected dates worked out by hand.
#include <gtest/gtest.h>

#include "tests/expr/expr_test_support.h"

using rtl::Variant;

namespace {

rtl::TDateTime FixedNow() { return rtl::EncodeDateTime(2024, 5, 15, 14, 30, 0, 0); }

rtl::TDateTime Dt(int Y, int M, int D, int H = 0, int Mi = 0)
{
    return rtl::EncodeDateTime(Y, M, D, H, Mi, 0, 0);
}

class DatePhrase : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZqSetExpressionClock(FixedNow);
        DS = TZqIntfPtr<TTestDataSource>(new TTestDataSource());
        DS->AddColumn("OrderDate", dtDateTime);
        DS->AddColumn("ShipDate", dtDateTime);
        DS->AddColumn("Due", dtDateTime);
        DS->AddRow({Variant::FromDate(Dt(2024, 5, 1)), Variant::FromDate(Dt(2024, 7, 1)),
                    Variant::FromDate(Dt(2024, 6, 14, 23))});
        DS->AddRow({Variant::FromDate(Dt(2024, 4, 30, 23)), Variant::FromDate(Dt(2024, 10, 1)),
                    Variant::FromDate(Dt(2024, 6, 15))});
    }
    void TearDown() override { ZqSetExpressionClock(nullptr); }

    double Value(const std::string &AText)
    {
        Variant V;
        ParseExpr(DS.Get(), AText)->Evaluate(V);
        return V.AsDateTime();
    }
    bool Filter(const std::string &AText, size_t ARow)
    {
        auto E = ParseExpr(DS.Get(), AText, {poBoolean});
        DS->Current = ARow;
        Variant V;
        E->Evaluate(V);
        return V.AsBoolean();
    }

    TZqIntfPtr<TTestDataSource> DS;
};

} // namespace

TEST_F(DatePhrase, DaysOfMonthsQuartersAndYears)
{
    EXPECT_DOUBLE_EQ(Value("FIRST DAY OF THIS MONTH"), Dt(2024, 5, 1));
    EXPECT_DOUBLE_EQ(Value("LAST DAY OF THIS MONTH"), Dt(2024, 5, 31, 14, 30));
    EXPECT_DOUBLE_EQ(Value("FIRST DAY OF NEXT QUARTER"), Dt(2024, 7, 1));
    EXPECT_DOUBLE_EQ(Value("LAST DAY OF NEXT QUARTER"), Dt(2024, 9, 30, 14, 30));
    EXPECT_DOUBLE_EQ(Value("FIRST DAY OF THIS YEAR"), Dt(2024, 1, 1));
    EXPECT_DOUBLE_EQ(Value("LAST DAY OF PRIOR YEAR"), Dt(2023, 12, 31));
    EXPECT_DOUBLE_EQ(Value("FIRST MONTH OF THIS QUARTER"), Dt(2024, 4, 15, 14, 30));
    EXPECT_DOUBLE_EQ(Value("LAST MONTH OF THIS QUARTER"), Dt(2024, 6, 15, 14, 30));
    EXPECT_DOUBLE_EQ(Value("NEXT DAY"), Dt(2024, 5, 16, 14, 30));
    EXPECT_DOUBLE_EQ(Value("PREVIOS DAY"), Dt(2024, 5, 14, 14, 30));
    EXPECT_DOUBLE_EQ(Value("NEXT YEAR"), Dt(2025, 5, 15, 14, 30));
    EXPECT_DOUBLE_EQ(Value("FIRST YEAR"), Dt(24, 5, 15, 14, 30));
    EXPECT_DOUBLE_EQ(Value("PRIOR QUARTER"), Dt(2024, 2, 15, 14, 30));
}

TEST_F(DatePhrase, ValuesBeforeUnits)
{
    EXPECT_DOUBLE_EQ(Value("15 DAY OF NEXT MONTH"), Dt(2024, 6, 15));
    EXPECT_DOUBLE_EQ(Value("2020 YEAR"), Dt(2020, 5, 15, 14, 30));
    EXPECT_DOUBLE_EQ(Value("3 MONTH OF THIS YEAR"), Dt(2024, 3, 15, 14, 30));
    EXPECT_DOUBLE_EQ(Value("15 DAY OF 3 MONTH OF THIS YEAR"), Dt(2024, 3, 15));
}

TEST_F(DatePhrase, InsideFilters)
{
    EXPECT_TRUE(Filter("OrderDate >= FIRST DAY OF THIS MONTH", 0));
    EXPECT_FALSE(Filter("OrderDate >= FIRST DAY OF THIS MONTH", 1));
    EXPECT_TRUE(Filter("ShipDate BETWEEN FIRST DAY OF NEXT QUARTER AND LAST DAY OF NEXT QUARTER", 0));
    EXPECT_FALSE(Filter("ShipDate BETWEEN FIRST DAY OF NEXT QUARTER AND LAST DAY OF NEXT QUARTER", 1));
    EXPECT_TRUE(Filter("Due < 15 DAY OF NEXT MONTH", 0));
    EXPECT_FALSE(Filter("Due < 15 DAY OF NEXT MONTH", 1));
    EXPECT_TRUE(Filter("OrderDate >= FIRST DAY OF THIS MONTH AND Due < 15 DAY OF NEXT MONTH", 0));
    // The unit words stay functions when a "(" follows.
    EXPECT_TRUE(Filter("MONTH(OrderDate) = 5 AND YEAR(ShipDate) = 2024 AND 1 + DAY(Due) = 15", 0));
}
