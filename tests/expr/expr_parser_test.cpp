// The expression language: precedence, scanner rules, types and scopes,
// parse errors with their codes and arguments.
#include <gtest/gtest.h>

#include "tests/expr/expr_test_support.h"

using rtl::Variant;

namespace {

class ExprFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        DS = TZqIntfPtr<TTestDataSource>(new TTestDataSource());
        DS->AddColumn("Price", dtDouble);
        DS->AddColumn("Name", dtAnsiString);
        DS->AddColumn("Qty", dtInt32);
        DS->AddColumn("Order Date", dtDateTime);
        DS->AddColumn("Notes", dtBlob);
        DS->AddColumn("x", dtDouble);
        DS->AddColumn("y", dtDouble);
        DS->AddColumn("Active", dtBoolean);
        DS->AddColumn("Total", dtDouble);
        DS->AddRow({Variant(12.5), Variant("Anchor"), Variant(3), Variant::FromDate(rtl::EncodeDate(2001, 6, 15)),
                    Variant("long notes text"), Variant(2.0), Variant(4.0), Variant(true), Variant(0.0)});
    }

    Variant Eval(const std::string &AText, TZqParserOptions AParser = {poValue}, TZqExpressionOptions AOptions = {})
    {
        auto E = ParseExpr(DS.Get(), AText, AParser, AOptions);
        Variant V;
        E->Evaluate(V);
        return V;
    }
    TZqExpressionNode *Root(const std::string &AText, TZqParserOptions AParser = {poValue})
    {
        Held = ParseExpr(DS.Get(), AText, AParser);
        return dynamic_cast<TZqExpression *>(Held.Get())->Root();
    }
    int ParseError(const std::string &AText, TZqParserOptions AParser = {poValue}, std::string *AMsg = nullptr)
    {
        return ErrorCodeOf([&] { ParseExpr(DS.Get(), AText, AParser); }, AMsg);
    }

    TZqIntfPtr<TTestDataSource> DS;
    TZqIntfPtr<IZqStanExpressionEvaluator> Held;
};

} // namespace

using ExprGrammar = ExprFixture;
using ExprScanner = ExprFixture;
using ExprTypes = ExprFixture;
using ExprErrors = ExprFixture;

TEST_F(ExprGrammar, PrecedenceAndAssociativity)
{
    TZqExpressionNode *R = Root("Price > 10 AND Name LIKE 'A%'", {poBoolean});
    EXPECT_EQ(R->Operator, opAnd);
    EXPECT_EQ(R->Left->Operator, opGreater);
    EXPECT_EQ(R->Right->Operator, opLike);

    R = Root("x = 1 OR x = 2 AND y = 3", {poBoolean});
    EXPECT_EQ(R->Operator, opOr);
    EXPECT_EQ(R->Right->Operator, opAnd);

    R = Root("1 - 2 - 3");
    EXPECT_EQ(R->Operator, opSub);
    EXPECT_EQ(R->Left->Operator, opSub);
    EXPECT_DOUBLE_EQ(Eval("1 - 2 - 3").AsDouble(), -4.0);
    EXPECT_DOUBLE_EQ(Eval("2 + 3 * 4").AsDouble(), 14.0);
    EXPECT_DOUBLE_EQ(Eval("(2 + 3) * 4").AsDouble(), 20.0);
    EXPECT_DOUBLE_EQ(Eval("12 / 4 / 3").AsDouble(), 1.0);
    EXPECT_FALSE(Eval("NOT x = 2", {poBoolean}).AsBoolean());
    EXPECT_EQ(ParseError("NOT NOT x = 2", {poBoolean}), 100);
}

TEST_F(ExprGrammar, InBetweenAndQuantifiedLists)
{
    EXPECT_TRUE(Eval("x IN (1, 2, 3)", {poBoolean}).AsBoolean());
    EXPECT_FALSE(Eval("x NOT IN (1, 2)", {poBoolean}).AsBoolean());
    EXPECT_TRUE(Eval("x BETWEEN 1 AND 2", {poBoolean}).AsBoolean());
    EXPECT_FALSE(Eval("x NOT BETWEEN 1 AND 3", {poBoolean}).AsBoolean());
    EXPECT_TRUE(Eval("x = ANY (1, 2)", {poBoolean}).AsBoolean());
    EXPECT_TRUE(Eval("x = SOME (5, 2)", {poBoolean}).AsBoolean());
    EXPECT_FALSE(Eval("x > ALL (1, 2)", {poBoolean}).AsBoolean());
    EXPECT_TRUE(Eval("y > ALL (1, 2)", {poBoolean}).AsBoolean());
    EXPECT_EQ(ParseError("x + ANY (1, 2) = 3", {poBoolean}), 114);
    EXPECT_EQ(ParseError("x = ANY 1", {poBoolean}), 110);
    EXPECT_EQ(ParseError("x = ANY ()", {poBoolean}), 113);
    EXPECT_EQ(ParseError("x = ANY (1; 2)", {poBoolean}), 107);
    EXPECT_EQ(ParseError("x = ANY (1 y)", {poBoolean}), 111);
}

TEST_F(ExprScanner, SignsBelongToNumbersOnlyWhereNoOperandPrecedes)
{
    TZqExpressionNode *R = Root("x = -5", {poBoolean});
    ASSERT_EQ(R->Right->Kind, nkConst);
    EXPECT_DOUBLE_EQ(R->Right->Value.AsDouble(), -5.0);
    R = Root("x - 5");
    EXPECT_EQ(R->Operator, opSub);
    R = Root("x BETWEEN 1 AND -5", {poBoolean});
    EXPECT_DOUBLE_EQ(R->Args[1]->Value.AsDouble(), -5.0);
    // After "*" a sign starts a number, and "-y" has no digits.
    std::string Msg;
    EXPECT_EQ(ParseError("x * -y", {poValue}, &Msg), -1);
    EXPECT_EQ(Msg, "'' is not a valid floating point value");
    EXPECT_EQ(ParseError("1e5"), 101);
    EXPECT_DOUBLE_EQ(Eval("1.5 + .5").AsDouble(), 2.0);
}

TEST_F(ExprScanner, LiteralsNamesAndComments)
{
    EXPECT_EQ(Eval("'O''Brien'").AsString(), "O'Brien");
    // A long literal is kept whole.
    std::string Long(300, 'z');
    EXPECT_EQ(Eval("'" + Long + "'").AsString().size(), 300u);
    EXPECT_TRUE(Eval("[Order Date] > '01/01/2001'", {poBoolean}).AsBoolean());
    EXPECT_TRUE(Eval("\"Order Date\" > '01/01/2001'", {poBoolean}).AsBoolean());
    TZqExpressionNode *R = Root("[Order Date] > '01/01/2001'", {poBoolean});
    EXPECT_EQ(R->Right->DataType, dtDateTime);
    EXPECT_TRUE(Eval("/* lead */ x = 2", {poBoolean}).AsBoolean());
    EXPECT_TRUE(Eval("x = 2 -- trailing", {poBoolean}).AsBoolean());
    EXPECT_EQ(ParseError("/* open x = 2", {poBoolean}), 107);
    EXPECT_EQ(ParseError("[Order Date", {poBoolean}), 108);
    EXPECT_EQ(ParseError("'abc", {poBoolean}), 109);
    std::string Msg;
    EXPECT_EQ(ParseError("x = 2 ? y", {poBoolean}, &Msg), 107);
    EXPECT_EQ(Msg, "[Vexa][Stan][Eval]-107. Invalid character found [? y]");
    // Node references exist only inside rewritten date phrases.
    EXPECT_EQ(ParseError("@@1 = 2", {poBoolean}), 107);
}

TEST_F(ExprScanner, ComparisonWords)
{
    EXPECT_TRUE(Eval("y GREATER THAN OR EQUAL x", {poBoolean}).AsBoolean());
    EXPECT_TRUE(Eval("x LOWER THAN y", {poBoolean}).AsBoolean());
    EXPECT_TRUE(Eval("x LESS THAN OR SAME 2", {poBoolean}).AsBoolean());
    EXPECT_TRUE(Eval("x EQUAL 2", {poBoolean}).AsBoolean());
    EXPECT_TRUE(Eval("x IS LESS THAN 3", {poBoolean}).AsBoolean());
    EXPECT_TRUE(Eval("LOWER(Name) = 'anchor'", {poBoolean}).AsBoolean());
    EXPECT_TRUE(Eval("x <> 3 AND x != 3 AND x ^= 3", {poBoolean}).AsBoolean());
    EXPECT_EQ(ParseError("x GREATER y", {poBoolean}), 106);
    EXPECT_EQ(ParseError("x GREATER THAN OR y", {poBoolean}), 106);
    EXPECT_EQ(ParseError("x IS NOT 5", {poBoolean}), 106);
    EXPECT_EQ(ParseError("x IS 5", {poBoolean}), 106);
}

TEST_F(ExprTypes, ResultTypesAndOptions)
{
    EXPECT_EQ(Root("x + y")->DataType, dtDouble);
    EXPECT_EQ(Root("Name || 'x'")->DataType, dtAnsiString);
    EXPECT_EQ(Root("[Order Date] + 1")->DataType, dtDateTime);
    EXPECT_EQ(Root("[Order Date] - [Order Date]")->DataType, dtDouble);
    EXPECT_EQ(ParseError("Name - 'x'"), 104);
    EXPECT_EQ(ParseError("Name * 2"), 104);
    EXPECT_EQ(ParseError("x + 1", {poBoolean}), 105);
    EXPECT_EQ(ParseError("x + 1", {}), 105);
    EXPECT_EQ(Root("Active", {poBoolean})->DataType, dtBoolean);
    EXPECT_TRUE(Eval("Active = TRUE", {poBoolean}).AsBoolean());
    EXPECT_FALSE(Eval("Active = FALSE", {poBoolean}).AsBoolean());
    EXPECT_TRUE(Eval("NOT Active = FALSE", {poBoolean}).AsBoolean());
    EXPECT_EQ(ParseError("UPPER(Name, 1)"), 104);
    EXPECT_EQ(ParseError("CONVERT(x, 'BINARY')"), 104);
    // Unknown operand types are left to the evaluation.
    EXPECT_DOUBLE_EQ(Eval("x + NULL").AsDouble(), 2.0);
}

TEST_F(ExprTypes, LargeObjectsOnlyWithLikeAndIsNull)
{
    EXPECT_EQ(ParseError("Notes = 'x'", {poBoolean}), 104);
    EXPECT_TRUE(Eval("Notes LIKE '%notes%'", {poBoolean}).AsBoolean());
    EXPECT_FALSE(Eval("Notes IS NULL", {poBoolean}).AsBoolean());
}

TEST_F(ExprTypes, ScopesOfAggregates)
{
    EXPECT_EQ(ParseError("COUNT(*) > 5", {poBoolean}), 103);
    EXPECT_EQ(ParseError("SUM(Qty) + Qty", {poAggregate, poValue}), 116);
    EXPECT_EQ(ParseError("Qty + 1", {poAggregate, poValue}), 102);
    EXPECT_EQ(ParseError("SUM(Qty) / COUNT(*)", {poAggregate, poValue}), 0);
    EXPECT_EQ(Root("PI")->Scope, ckConst);
    EXPECT_EQ(Root("ROWNUM")->Scope, ckField);
    EXPECT_EQ(Root("UPPER(Name)")->Scope, ckField);
}

TEST_F(ExprTypes, AssignmentToAFixedColumn)
{
    auto E = ParseExpr(DS.Get(), "x * y", {poValue}, {}, "Total");
    Variant V;
    E->Evaluate(V);
    EXPECT_TRUE(V.IsEmpty());
    EXPECT_DOUBLE_EQ(DS->Rows[0][8].AsDouble(), 8.0);
    EXPECT_EQ(E->GetDataType(), dtUnknown);
    EXPECT_EQ(ErrorCodeOf([&] { ParseExpr(DS.Get(), "Name", {poValue}, {}, "Total"); }), 104);
    EXPECT_EQ(ErrorCodeOf([&] { ParseExpr(DS.Get(), "x", {poValue}, {}, "Missing"); }), 100);
    EXPECT_EQ(ErrorCodeOf([&] { ParseExpr(DS.Get(), "NULL", {poValue}, {}, "Total"); }), 0);
    // A text for a date column takes the column's date type.
    EXPECT_EQ(ErrorCodeOf([&] { ParseExpr(DS.Get(), "'01/02/2003'", {poValue}, {}, "Order Date"); }), 0);
    // With poFixedColumn every reference tries the fixed column first.
    auto F = ParseExpr(DS.Get(), "x + 1", {poValue, poFixedColumn}, {}, "y");
    F->Evaluate(V);
    EXPECT_DOUBLE_EQ(DS->Rows[0][6].AsDouble(), 5.0);
}

TEST_F(ExprErrors, CodesAndArguments)
{
    std::string Msg;
    EXPECT_EQ(ParseError(""), 117);
    EXPECT_EQ(ParseError("Missing = 1", {poBoolean}, &Msg), 100);
    EXPECT_EQ(Msg, "[Vexa][Stan][Eval]-100. Column with name [Missing] is not found");
    EXPECT_EQ(ParseError("x = 1 x", {poBoolean}), 101);
    EXPECT_EQ(ParseError("x IN ()", {poBoolean}), 113);
    EXPECT_EQ(ParseError("x IN (1, 2", {poBoolean}, &Msg), 112);
    EXPECT_EQ(Msg, "[Vexa][Stan][Eval]-112. ')' expected but [<nothing>] found");
    EXPECT_EQ(ParseError("x IN 1", {poBoolean}, &Msg), 110);
    EXPECT_EQ(Msg, "[Vexa][Stan][Eval]-110. '(' expected but ['1'] found");
    EXPECT_EQ(ParseError("x IN (1 y)", {poBoolean}), 111);
    EXPECT_EQ(ParseError("UPPER(Name", {poValue}, &Msg), 111);
    EXPECT_EQ(Msg, "[Vexa][Stan][Eval]-111. ')' or ',' expected but [<nothing>] found");
    EXPECT_EQ(ParseError("(x = 1", {poBoolean}), 112);
    EXPECT_EQ(ParseError("x BETWEEN 1 OR 2", {poBoolean}, &Msg), 114);
    EXPECT_EQ(Msg, "[Vexa][Stan][Eval]-114. Expected [AND]");
    EXPECT_EQ(ParseError("x = )", {poBoolean}), 114);
    EXPECT_EQ(ParseError("x = 'a' ESCAPE", {poBoolean}), 101);
}

TEST_F(ExprErrors, FirstDayOfMonthWithoutModifierIsRefused)
{
    EXPECT_EQ(ParseError("[Order Date] > FIRST DAY OF MONTH", {poBoolean}), 101);
    EXPECT_EQ(ParseError("[Order Date] > DAY", {poBoolean}), 101);
    EXPECT_EQ(ParseError("[Order Date] > NEXT", {poBoolean}), 101);
}

TEST(ExprParserService, FactoryGivesANewParserPerRequest)
{
    RegisterStanExpr();
    TZqIntfPtr<IZqStanExpressionParser> A, B;
    ASSERT_TRUE(ZqCreateInterface(A));
    ASSERT_TRUE(ZqCreateInterface(B));
    EXPECT_NE(A.Get(), B.Get());
    TZqIntfPtr<TTestDataSource> DS(new TTestDataSource());
    DS->AddColumn("x", dtDouble);
    DS->AddRow({Variant(2.0)});
    auto E = A->Prepare(DS.Get(), "x * 2 = 4", {}, {poBoolean}, "");
    EXPECT_EQ(A->GetDataSource(), DS.Get());
    EXPECT_EQ(E->GetDataSource(), DS.Get());
    EXPECT_EQ(E->GetDataType(), dtBoolean);
    EXPECT_EQ(E->Reserved(12345), 0);
    Variant V;
    E->Evaluate(V);
    EXPECT_TRUE(V.AsBoolean());
}

TEST_F(ExprErrors, NestingIsBoundedInsteadOfExhaustingTheStack)
{
    auto Nested = [](int N) { return std::string(size_t(N), '(') + "x" + std::string(size_t(N), ')'); };
    EXPECT_EQ(ParseError(Nested(150)), 0);
    EXPECT_EQ(ParseError(Nested(100000)), 101);
    std::string Sum = "x";
    for (int I = 0; I < 1500; ++I) Sum += " + 1";
    EXPECT_DOUBLE_EQ(Eval(Sum).AsDouble(), 1502.0);
    for (int I = 0; I < 1000; ++I) Sum += " + 1";
    EXPECT_EQ(ParseError(Sum), 101);
}
