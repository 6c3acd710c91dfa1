// Evaluation: comparison options, null rules, lazy IIF, error wrapping,
// two-phase aggregates and the compiled pattern of REGEXP_LIKE.
#include <gtest/gtest.h>

#include "tests/expr/expr_test_support.h"

using rtl::Variant;

namespace {

class EvalFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        DS = TZqIntfPtr<TTestDataSource>(new TTestDataSource());
        DS->AddColumn("Name", dtAnsiString);
        DS->AddColumn("Price", dtDouble);
        DS->AddColumn("Qty", dtInt32);
        DS->AddColumn("x", dtDouble);
        DS->AddColumn("Notes", dtMemo);
        DS->AddColumn("Due", dtDateTime);
        DS->AddRow({Variant("Smithers"), Variant(12.5), Variant(2), Variant(0.0), Variant("see page 4"),
                    Variant::FromDate(rtl::EncodeDate(2001, 6, 15))});
        DS->AddRow({Variant(""), Variant::Null(), Variant(5), Variant(2.0), Variant::Null(), Variant::Null()});
        DS->AddRow({Variant("smithers"), Variant(3.0), Variant(1), Variant(-1.0), Variant(""), Variant()});
    }

    Variant Eval(const std::string &AText, size_t ARow = 0, TZqExpressionOptions AOptions = {},
                 TZqParserOptions AParser = {poValue})
    {
        auto E = ParseExpr(DS.Get(), AText, AParser, AOptions);
        DS->Current = ARow;
        Variant V;
        E->Evaluate(V);
        return V;
    }
    bool Filter(const std::string &AText, size_t ARow = 0, TZqExpressionOptions AOptions = {})
    {
        return Eval(AText, ARow, AOptions, {poBoolean}).AsBoolean();
    }
    int EvalError(const std::string &AText, size_t ARow = 0, std::string *AMsg = nullptr)
    {
        return ErrorCodeOf([&] { Eval(AText, ARow); }, AMsg);
    }

    TZqIntfPtr<TTestDataSource> DS;
};

} // namespace

using EvalComparison = EvalFixture;
using EvalNullRules = EvalFixture;
using EvalErrors = EvalFixture;
using EvalAggregates = EvalFixture;

TEST_F(EvalComparison, NoCaseAloneComparesTextsUnchanged)
{
    EXPECT_FALSE(Filter("Name = 'smithers'", 0, {ekNoCase}));
    EXPECT_TRUE(Filter("Name = 'smithers'", 0, {ekNoCase, ekPartial}));
    EXPECT_TRUE(Filter("Name LIKE 'SMI%'", 0, {ekNoCase}));
    EXPECT_FALSE(Filter("Name LIKE 'SMI%'", 0));
}

TEST_F(EvalComparison, PartialComparesPrefixesMarkedByAStar)
{
    EXPECT_TRUE(Filter("Name = 'Smi*'", 0, {ekPartial}));
    EXPECT_FALSE(Filter("Name = 'Smi*'", 2, {ekPartial}));
    EXPECT_TRUE(Filter("Name = 'Smi*'", 2, {ekPartial, ekNoCase}));
    EXPECT_FALSE(Filter("'Smi*' = Name", 0, {ekPartial}));
    EXPECT_TRUE(Filter("Name <> 'Smi*'", 2, {ekPartial}));
    // Without a star the whole texts are compared.
    EXPECT_FALSE(Filter("Name = 'Smi'", 0, {ekPartial}));
    EXPECT_TRUE(Filter("Name = 'Smithers'", 0, {ekPartial}));
    // Only equality is partial; other comparisons stay the variant's.
    EXPECT_TRUE(Filter("Name > 'Smi*'", 0, {ekPartial}));
    // In a list "<>" is never partial.
    EXPECT_TRUE(Filter("Name <> ALL ('Smi*', 'x')", 0, {ekPartial}));
}

TEST_F(EvalComparison, NoCaseAndPartialOrderTextsUpperCased)
{
    // A dataset filtering case-insensitively with partial keys: the order
    // of two texts ignores case, and a text against a number still answers.
    const TZqExpressionOptions Both{ekNoCase, ekPartial};
    EXPECT_TRUE(Filter("Name > 'B'", 0, Both));
    EXPECT_TRUE(Filter("Name > 'B'", 2, Both));  // "smithers" as "SMITHERS"
    EXPECT_FALSE(Filter("Name < 'b'", 2, Both)); // "b" as "B"
    EXPECT_TRUE(Filter("Name >= 'SMITHERS'", 2, Both));
    // An empty text against a number: the engine's conversion error, not
    // a comparison that calls itself until the stack runs out.
    EXPECT_EQ(ErrorCodeOf([&] { Filter("''>0", 0, Both); }), 118);
    EXPECT_TRUE(Filter("Name <> ALL ('a', 'b')", 0, Both));
}

TEST_F(EvalComparison, DatesAgainstTexts)
{
    EXPECT_TRUE(Filter("Due > '06/14/2001'"));
    EXPECT_TRUE(Filter("Due = '06/15/2001'"));
    EXPECT_TRUE(Filter("Due IN ('01/01/2001', '06/15/2001')"));
    EXPECT_TRUE(Filter("Due BETWEEN '06/01/2001' AND '06/30/2001'"));
}

TEST_F(EvalNullRules, EmptyStringsAndNulls)
{
    EXPECT_TRUE(Filter("Name IS NULL", 1));
    EXPECT_FALSE(Filter("Name IS NOT NULL", 1));
    EXPECT_TRUE(Filter("Notes IS NULL", 1));
    EXPECT_TRUE(Eval("UPPER(Name)", 1).IsEmpty());
    EXPECT_EQ(Eval("NVL(Name, 'x')", 1).AsString(), "x");
    // LIKE with a Null side is false whatever the options; NOT LIKE negates.
    EXPECT_FALSE(Filter("Notes LIKE 'a%'", 1));
    EXPECT_FALSE(Filter("Notes LIKE 'a%'", 1, {ekNoCase, ekPartial}));
    EXPECT_TRUE(Filter("Notes NOT LIKE 'a%'", 1));
    EXPECT_FALSE(Filter("Name LIKE NULL", 0));
    // Comparisons: Null sorts below every value and equals only Null.
    EXPECT_FALSE(Filter("Price > 10", 1));
    EXPECT_TRUE(Filter("Price < 10", 1));
    EXPECT_FALSE(Filter("Price = 0", 1));
    EXPECT_TRUE(Eval("Price + 1", 1).IsNull());
    // The NULL literal is unassigned and takes the other side's zero.
    EXPECT_TRUE(Eval("NULL").IsEmpty());
    EXPECT_TRUE(Filter("x = NULL", 0));
    // A Null truth value cannot be decided: error 118.
    EXPECT_EQ(EvalError("IIF(Notes AND x > 0, 1, 0)", 1), 118);
}

TEST_F(EvalNullRules, IifIsLazy)
{
    EXPECT_DOUBLE_EQ(Eval("IIF(x > 0, 1 / x, 0)", 0).AsDouble(), 0.0);
    EXPECT_DOUBLE_EQ(Eval("IIF(x > 0, 1 / x, 0)", 1).AsDouble(), 0.5);
    EXPECT_TRUE(Eval("IIF(NULL, 1, 2)").IsEmpty());
    EXPECT_TRUE(Eval("IF(Name, 1, 2)", 1).IsEmpty());
}

TEST_F(EvalNullRules, LikeOnALargeObjectReadsItsText)
{
    EXPECT_TRUE(Filter("Notes LIKE '%page%'", 0));
    EXPECT_FALSE(Filter("Notes LIKE '%line%'", 0));
    EXPECT_TRUE(Filter("Name LIKE 'Smith_rs'", 0));
    EXPECT_TRUE(Filter("'50%' LIKE '50!%' ESCAPE '!'", 0));
    EXPECT_FALSE(Filter("'50x' LIKE '50!%' ESCAPE '!'", 0));
}

TEST_F(EvalErrors, EveryOperatorLayerWrapsTheFailure)
{
    std::string Msg;
    EXPECT_EQ(EvalError("1 / 0", 0, &Msg), 118);
    EXPECT_EQ(Msg, "[Vexa][Stan][Eval]-118. Error evaluating expression.\r\nFloating point division by zero");
    EXPECT_EQ(ErrorCodeOf([&] { Eval("(Price + 1) / 0 = 2", 0, {}, {poBoolean}); }, &Msg), 118);
    size_t Layers = 0;
    for (size_t P = Msg.find("Error evaluating expression."); P != std::string::npos;
         P = Msg.find("Error evaluating expression.", P + 1))
        ++Layers;
    EXPECT_EQ(Layers, 2u);
    EXPECT_EQ(EvalError("MOD(Qty, 0)"), 118);
    EXPECT_EQ(EvalError("Qty / x"), 118);
    EXPECT_EQ(EvalError("REPEAT('ab', 100000000)"), 118);
    EXPECT_EQ(EvalError("SPACE(-1)"), 118);
    EXPECT_EQ(EvalError("RAND('ab', -2)"), 118);
    EXPECT_EQ(EvalError("LPAD('a', 100000000, 'x')"), 118);
    EXPECT_EQ(EvalError("SQRT(-1)"), 118);
    EXPECT_EQ(EvalError("REGEXP_LIKE(Name, '(a')"), 118);
}

TEST_F(EvalAggregates, TwoPhases)
{
    auto E = ParseExpr(DS.Get(), "SUM(Price * Qty) / COUNT(*)", {poAggregate, poValue});
    ASSERT_EQ(E->GetSubAggregateCount(), 2);
    EXPECT_EQ(E->GetSubAggregateKind(0), 0);
    EXPECT_EQ(E->GetSubAggregateKind(1), 2);
    // Phase one: the arguments row by row, accumulated by their kinds.
    double Sum = 0;
    int Count = 0;
    for (size_t Row : {size_t(0), size_t(2)}) {
        DS->Current = Row;
        Variant V;
        E->EvaluateSubAggregate(0, V);
        Sum += V.AsDouble();
        E->EvaluateSubAggregate(1, V);
        EXPECT_EQ(V.AsString(), "*");
        ++Count;
    }
    EXPECT_DOUBLE_EQ(Sum, 12.5 * 2 + 3.0 * 1);
    // Phase two: the aggregate calls read the accumulated values back.
    DS->SubAggregateValues = {Variant(Sum), Variant(Count)};
    Variant Result;
    E->Evaluate(Result);
    EXPECT_DOUBLE_EQ(Result.AsDouble(), 14.0);

    auto M = ParseExpr(DS.Get(), "MAX(Name) || '!'", {poAggregate, poValue});
    EXPECT_EQ(M->GetSubAggregateKind(0), 4);
    for (const char *Name : {"AVG", "MIN", "TFIRST", "TLAST"}) {
        auto A = ParseExpr(DS.Get(), std::string(Name) + "(Qty)", {poAggregate, poValue});
        EXPECT_EQ(A->GetSubAggregateCount(), 1);
    }
}

TEST_F(EvalAggregates, RowNumberComesFromTheDataSource)
{
    EXPECT_EQ(Eval("ROWNUM", 2).AsInteger(), 3);
}

TEST(EvalRegExpLike, ConstantPatternIsCompiledOnce)
{
    TZqIntfPtr<TTestDataSource> DS(new TTestDataSource());
    DS->AddColumn("Code", dtAnsiString);
    DS->AddColumn("Pattern", dtAnsiString);
    DS->AddRow({Variant("ab12"), Variant("^a")});
    DS->AddRow({Variant("xy"), Variant("y$")});
    auto E = ParseExpr(DS.Get(), "REGEXP_LIKE(Code, '[0-9]+')", {poBoolean});
    TZqExpressionNode *Call = dynamic_cast<TZqExpression *>(E.Get())->Root();
    Variant V;
    DS->Current = 0;
    E->Evaluate(V);
    EXPECT_TRUE(V.AsBoolean());
    TZqExprNodeCache *Cache = Call->Cache.get();
    ASSERT_NE(Cache, nullptr);
    DS->Current = 1;
    E->Evaluate(V);
    EXPECT_FALSE(V.AsBoolean());
    EXPECT_EQ(Call->Cache.get(), Cache);
    // A pattern that changes per row is followed.
    auto F = ParseExpr(DS.Get(), "REGEXP_LIKE(Code, Pattern)", {poBoolean});
    DS->Current = 0;
    F->Evaluate(V);
    EXPECT_TRUE(V.AsBoolean());
    DS->Current = 1;
    F->Evaluate(V);
    EXPECT_TRUE(V.AsBoolean());
}
