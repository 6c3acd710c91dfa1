// Fixed-seed random runs of the expression parser and evaluator and of the
// regular-expression engine: any input must end in a result or in the
// engine's own error, never in a crash, a sanitizer report or a hang.
#include <gtest/gtest.h>

#include <random>
#include <regex>

#include "dataaccess/stan/qxZqStanRegExpr.h"
#include "tests/expr/expr_test_support.h"

using rtl::Variant;

namespace {

// Mostly well-formed expressions from a small grammar, some of them then
// damaged by a random cut, insertion or deletion.
std::string GrammarExpression(std::mt19937 &AGen, int ADepth)
{
    static const char *Leaves[] = {"x", "Name", "Due", "1", "-2.5", "'A%'", "'01/02/2003'", "NULL", "TRUE",
                                   "[x]", "\"Name\"", "SYSDATE", "PI", "ROWNUM", "COUNT(*)", "0",
                                   "100000000000000000000", "2147483648", "-99999"};
    static const char *TwoArgs[] = {"ADD_MONTHS(", "TIMESTAMPADD('HOUR', ", "TIMESTAMPDIFF('YEAR', ", "ROUND(",
                                    "TRUNC(", "MOD(", "POWER(", "LPAD(", "SUBSTRING(", "INSTR(", "LEFT(",
                                    "REPEAT(", "MONTHS_BETWEEN(", "NEXT_DAY(", "LOCATE(", "INSERT('abc', 2, "};
    static const char *Binary[] = {" AND ", " OR ", " = ", " <> ", " > ", " <= ", " + ", " - ", " * ", " / ",
                                   " || ", " LIKE ", " NOT LIKE ", " GREATER THAN ", " LESS THAN OR EQUAL "};
    static const char *Unary[] = {"UPPER(", "LENGTH(", "ROUND(", "YEAR(", "SUM(", "NOT ", "SQRT(", "TO_CHAR(",
                                  "TRIM(", "ABS(", "MONTH(", "CHR(", "SOUNDEX("};
    static const char *Phrases[] = {"FIRST DAY OF THIS MONTH", "LAST DAY OF NEXT QUARTER", "15 DAY OF NEXT MONTH",
                                    "NEXT YEAR", "FIRST MONTH OF THIS QUARTER"};
    auto Pick = [&](auto &AArray) { return std::string(AArray[AGen() % std::size(AArray)]); };
    if (ADepth <= 0) return Pick(Leaves);
    switch (AGen() % 10) {
    case 8: return Pick(TwoArgs) + GrammarExpression(AGen, ADepth - 1) + ", " + GrammarExpression(AGen, ADepth - 1) + ")";
    case 0: case 1: return Pick(Leaves);
    case 2: case 3: return GrammarExpression(AGen, ADepth - 1) + Pick(Binary) + GrammarExpression(AGen, ADepth - 1);
    case 4: {
        std::string U = Pick(Unary);
        return U + GrammarExpression(AGen, ADepth - 1) + (U == "NOT " ? "" : ")");
    }
    case 5: return "(" + GrammarExpression(AGen, ADepth - 1) + ")";
    case 6: return GrammarExpression(AGen, ADepth - 1) + " IN (" + GrammarExpression(AGen, 0) + ", " +
                   GrammarExpression(AGen, 0) + ")";
    case 7: return "IIF(" + GrammarExpression(AGen, ADepth - 1) + ", " + GrammarExpression(AGen, ADepth - 1) +
                   ", " + GrammarExpression(AGen, 0) + ")";
    default: return "Due > " + Pick(Phrases);
    }
}

std::string RandomExpression(std::mt19937 &AGen)
{
    std::string S = GrammarExpression(AGen, 4);
    if (S.empty() || AGen() % 3 != 0) return S;
    size_t P = AGen() % S.size();
    switch (AGen() % 3) {
    case 0: return S.substr(0, P);
    case 1: return S.erase(P, 1 + AGen() % 3);
    default: return S.insert(P, 1, "()'\"[,@*-."[AGen() % 11]);
    }
}

std::string RandomPattern(std::mt19937 &AGen)
{
    static const char Alphabet[] = "ab()|*+?{}[]^$.\\dwsxDB0129,-:#i ";
    std::uniform_int_distribution<size_t> Pick(0, sizeof(Alphabet) - 2);
    std::uniform_int_distribution<int> Len(0, 16);
    std::string S;
    for (int I = Len(AGen); I > 0; --I) S += Alphabet[Pick(AGen)];
    if (AGen() % 4 == 0) S = "(?" + std::string(AGen() % 2 ? "i" : "-g") + "x)" + S;
    return S;
}

std::string RandomText(std::mt19937 &AGen)
{
    static const char Alphabet[] = "aab b1_\r\n{}9";
    std::uniform_int_distribution<size_t> Pick(0, sizeof(Alphabet) - 2);
    std::uniform_int_distribution<int> Len(0, 40);
    std::string S;
    for (int I = Len(AGen); I > 0; --I) S += Alphabet[Pick(AGen)];
    return S;
}

} // namespace

TEST(ExprFuzz, RandomTextsParseOrFailCleanly)
{
    TZqIntfPtr<TTestDataSource> DS(new TTestDataSource());
    DS->AddColumn("x", dtDouble);
    DS->AddColumn("Name", dtAnsiString);
    DS->AddColumn("Due", dtDateTime);
    DS->AddRow({Variant(3.0), Variant("Alpha"), Variant::FromDate(40000.25)});
    DS->AddRow({Variant::Null(), Variant(""), Variant()});
    DS->SubAggregateValues.assign(16, Variant(1.0));
    std::mt19937 Gen(20240515);
    int Parsed = 0;
    for (int I = 0; I < 4000; ++I) {
        std::string Text = RandomExpression(Gen);
        SCOPED_TRACE(Text);
        for (TZqParserOptions Opts : {TZqParserOptions{poBoolean}, TZqParserOptions{poValue},
                                      TZqParserOptions{poAggregate, poValue}}) {
            TZqIntfPtr<IZqStanExpressionEvaluator> E;
            try {
                E = ParseExpr(DS.Get(), Text, Opts, {ekNoCase});
            } catch (const rtl::Exception &) {
                continue;
            }
            ++Parsed;
            for (size_t Row = 0; Row < DS->Rows.size(); ++Row) {
                DS->Current = Row;
                Variant V;
                try {
                    E->Evaluate(V);
                    for (int A = 0; A < E->GetSubAggregateCount(); ++A) E->EvaluateSubAggregate(A, V);
                } catch (const EZqException &X) {
                    EXPECT_EQ(X.ErrorCode(), 118);
                }
            }
        }
    }
    // The generator must reach the evaluator, not only the error paths.
    EXPECT_GT(Parsed, 200);
}

TEST(RegExprFuzz, RandomPatternsCompileOrFailCleanly)
{
    std::mt19937 Gen(1125);
    int Compiled = 0;
    for (int I = 0; I < 6000; ++I) {
        std::string Pattern = RandomPattern(Gen);
        SCOPED_TRACE(Pattern);
        TRegExpr R;
        R.SetBudget(2000, 200000);
        R.SetExpression(Pattern);
        try {
            R.Compile();
            ++Compiled;
        } catch (const ERegExpr &E) {
            EXPECT_LT(E.ErrorCode, 1000);
            continue;
        }
        for (int T = 0; T < 4; ++T) {
            try {
                if (R.Exec(RandomText(Gen))) {
                    EXPECT_GE(R.MatchPos(0), 1);
                    EXPECT_GE(R.MatchLen(0), 0);
                }
            } catch (const ERegExpr &E) {
                EXPECT_GE(E.ErrorCode, 1000);
            }
        }
    }
    EXPECT_GT(Compiled, 1000);
}

// A second route: on the part of the dialect that ECMAScript shares (no
// braces, no line breaks, leftmost-first backtracking) the standard
// library's engine must find the same first match. Empty matches are left
// out: the engine tries no position past the last character.
TEST(RegExprDifferential, AgreesWithTheStandardEngineOnTheSharedDialect)
{
    static const char Alphabet[] = "ab()|*+?.[]^$c";
    std::mt19937 Gen(77);
    std::uniform_int_distribution<size_t> Pick(0, sizeof(Alphabet) - 2);
    int Compared = 0;
    for (int I = 0; I < 3000; ++I) {
        std::string Pattern;
        for (int K = 1 + int(Gen() % 10); K > 0; --K) Pattern += Alphabet[Pick(Gen)];
        std::regex Std;
        try {
            Std.assign(Pattern, std::regex::ECMAScript);
        } catch (const std::regex_error &) {
            continue;
        }
        TRegExpr R;
        R.SetExpression(Pattern);
        try {
            R.Compile();
        } catch (const ERegExpr &) {
            continue;
        }
        for (int T = 0; T < 3; ++T) {
            std::string Text;
            for (int K = int(Gen() % 12); K > 0; --K) Text += "abc"[Gen() % 3];
            std::smatch M;
            bool StdFound = std::regex_search(Text, M, Std);
            if (StdFound && M.length(0) == 0) continue;
            SCOPED_TRACE("pattern " + Pattern + " text " + Text);
            bool Found = R.Exec(Text);
            ASSERT_EQ(Found, StdFound);
            if (Found) {
                EXPECT_EQ(R.MatchPos(0) - 1, M.position(0));
                EXPECT_EQ(R.MatchLen(0), M.length(0));
            }
            ++Compared;
        }
    }
    EXPECT_GT(Compared, 1000);
}
