// The regular-expression engine: dialect, modifiers, errors with positions,
// search hints, and the budgets that stop pathological patterns.
#include <gtest/gtest.h>

#include <string>

#include "dataaccess/stan/qxZqStanRegExpr.h"

namespace {

int CompileErrorOf(const std::string &APattern, int *APos = nullptr, std::string *AMsg = nullptr)
{
    try {
        TRegExpr R;
        R.SetExpression(APattern);
        R.Compile();
    } catch (const ERegExpr &E) {
        if (APos) *APos = E.CompilerErrorPos;
        if (AMsg) *AMsg = E.what();
        return E.ErrorCode;
    }
    return 0;
}

std::string FirstMatch(const std::string &APattern, const std::string &AText)
{
    TRegExpr R;
    R.SetExpression(APattern);
    return R.Exec(AText) ? R.Match(0) : std::string("<none>");
}

} // namespace

TEST(RegExprDialect, PartEdgeCases)
{
    EXPECT_TRUE(RegExprMatches("b+", "abbc"));
    EXPECT_FALSE(RegExprMatches("^b", "abbc"));
    EXPECT_FALSE(RegExprMatches("A", "a"));
    EXPECT_TRUE(RegExprMatches("(?i)A", "a"));
    EXPECT_TRUE(RegExprMatches("a{2,3}", "aaaa"));
    EXPECT_EQ(FirstMatch("a{2,3}", "aaaa"), "aaa");
    EXPECT_TRUE(RegExprMatches("\\x41", "A"));
    EXPECT_EQ(FirstMatch("a.*b", "a1b2b"), "a1b2b");
    EXPECT_EQ(FirstMatch("a.*?b", "a1b2b"), "a1b");
}

TEST(RegExprDialect, EmptyMatchesNeedAStartCharacterUnlessAnchored)
{
    EXPECT_FALSE(RegExprMatches("a*", ""));
    EXPECT_TRUE(RegExprMatches("^a*", ""));
    EXPECT_TRUE(RegExprMatches("^", ""));
    // Some character to try at is enough: a* then matches the empty text.
    EXPECT_TRUE(RegExprMatches("a*", "b"));
}

TEST(RegExprDialect, GroupsAlternationAndBackReferences)
{
    TRegExpr R;
    R.SetExpression("(\\w+)@(\\w+)\\.com");
    ASSERT_TRUE(R.Exec("mail: joe@example.com now"));
    EXPECT_EQ(R.Match(0), "joe@example.com");
    EXPECT_EQ(R.Match(1), "joe");
    EXPECT_EQ(R.Match(2), "example");
    EXPECT_EQ(R.MatchPos(0), 7);
    EXPECT_EQ(R.MatchLen(2), 7);

    EXPECT_EQ(FirstMatch("cat|dog|bird", "a bird and a dog"), "bird");
    EXPECT_EQ(FirstMatch("(a|ab)(c|bcd)(d*)", "abcd"), "abcd");
    EXPECT_TRUE(RegExprMatches("(ab)\\1", "xxababyy"));
    EXPECT_FALSE(RegExprMatches("(ab)\\1", "abAB"));
    EXPECT_TRUE(RegExprMatches("(?i)(ab)\\1", "abAB"));
    // A reference to a group that has not matched matches nothing.
    EXPECT_FALSE(RegExprMatches("(x)?\\1y", "y"));
    // Registers are restored when the rest fails.
    R.SetExpression("(a)(b)?c|(a)d");
    ASSERT_TRUE(R.Exec("ad"));
    EXPECT_EQ(R.MatchPos(1), -1);
    EXPECT_EQ(R.Match(3), "a");
}

TEST(RegExprDialect, QuantifiersOnGroups)
{
    EXPECT_EQ(FirstMatch("(ab)*c", "xababcx"), "ababc");
    EXPECT_EQ(FirstMatch("(ab)+", "ababab"), "ababab");
    EXPECT_EQ(FirstMatch("(ab)?c", "abc"), "abc");
    EXPECT_EQ(FirstMatch("(ab){2}", "abababab"), "abab");
    EXPECT_EQ(FirstMatch("(ab){2,}", "abababab"), "abababab");
    EXPECT_EQ(FirstMatch("(ab){1,3}?", "abababab"), "ab");
    EXPECT_EQ(FirstMatch("(ab)*?c", "ababc"), "ababc");
    EXPECT_EQ(FirstMatch("(a|b)+?b", "aab"), "aab");
    EXPECT_FALSE(RegExprMatches("^(ab){3}$", "abab"));
    EXPECT_TRUE(RegExprMatches("^((ab){2}c){2}$", "ababcababc"));
    EXPECT_EQ(FirstMatch("x(ab)??", "xab"), "x");
}

TEST(RegExprDialect, CountsAndLiteralBraces)
{
    EXPECT_EQ(FirstMatch("ab{2}", "abbb"), "abb");  // the count binds to b alone
    EXPECT_EQ(FirstMatch("a{,2}", "a{,2}"), "a{,2}");
    EXPECT_EQ(FirstMatch("x{a}", "x{a}"), "x{a}");
    EXPECT_EQ(FirstMatch("a{3,}", "aaaaa"), "aaaaa");
    EXPECT_FALSE(RegExprMatches("a{3,}", "aa"));
    EXPECT_EQ(FirstMatch("a{0}b", "ab"), "b");
}

TEST(RegExprDialect, ClassesAndEscapes)
{
    EXPECT_TRUE(RegExprMatches("^[a-c]+$", "abcabc"));
    EXPECT_FALSE(RegExprMatches("^[a-c]+$", "abd"));
    EXPECT_TRUE(RegExprMatches("^[^0-9]+$", "abc"));
    EXPECT_TRUE(RegExprMatches("[]x]", "]"));
    EXPECT_TRUE(RegExprMatches("^[a-]+$", "a-a"));
    EXPECT_TRUE(RegExprMatches("^[\\d.]+$", "3.14"));
    EXPECT_TRUE(RegExprMatches("^[\\x41-\\x43]+$", "ABC"));
    EXPECT_TRUE(RegExprMatches("[\\t]", "a\tb"));
    // \D, \W, \S stand for the letters themselves inside a class.
    EXPECT_TRUE(RegExprMatches("^[\\D]$", "D"));
    EXPECT_FALSE(RegExprMatches("[\\D]", "x"));
    EXPECT_TRUE(RegExprMatches("^[\\W\\S]+$", "WS"));
    EXPECT_TRUE(RegExprMatches("(?i)^[a-c]+$", "ABC"));
    EXPECT_TRUE(RegExprMatches("^\\d\\D\\w\\W\\s\\S$", "1x_ \tq"));
    EXPECT_TRUE(RegExprMatches("\\x{7A}", "z"));
    EXPECT_TRUE(RegExprMatches("a\\.b", "a.b"));
    EXPECT_FALSE(RegExprMatches("a\\.b", "axb"));
    EXPECT_TRUE(RegExprMatches("\\e", "\x1b"));
}

TEST(RegExprDialect, CyrillicRangesTakeYo)
{
    const std::string SmallYo = "\xB8", CapitalYo = "\xA8";
    EXPECT_TRUE(RegExprMatches("^[\xE0-\xFF]$", SmallYo));
    EXPECT_TRUE(RegExprMatches("^[\xC0-\xDF]$", CapitalYo));
    EXPECT_TRUE(RegExprMatches("^[\xE0-\xDF]+$", "\xC0\xFF" + SmallYo + CapitalYo));
    EXPECT_FALSE(RegExprMatches("(?-r)^[\xE0-\xFF]$", SmallYo));
    EXPECT_EQ(CompileErrorOf("(?-r)[\xE0-\xDF]"), 109);
}

TEST(RegExprDialect, AnchorsBoundariesAndLineModes)
{
    EXPECT_TRUE(RegExprMatches("\\bcat\\b", "a cat sat"));
    EXPECT_FALSE(RegExprMatches("\\bcat\\b", "concatenate"));
    EXPECT_TRUE(RegExprMatches("\\Bcat\\B", "concatenate"));
    EXPECT_FALSE(RegExprMatches("^two", "one\r\ntwo"));
    EXPECT_TRUE(RegExprMatches("(?m)^two", "one\r\ntwo"));
    EXPECT_TRUE(RegExprMatches("(?m)one$", "one\r\ntwo"));
    EXPECT_FALSE(RegExprMatches("one$", "one\r\ntwo"));
    EXPECT_TRUE(RegExprMatches("two$", "one\r\ntwo"));
    // Not between the two characters of the paired separator.
    EXPECT_FALSE(RegExprMatches("(?m)^\\n", "a\r\nb"));
    EXPECT_FALSE(RegExprMatches("(?m)\\r$", "a\r\nb"));
    // Dot across lines only with s.
    EXPECT_TRUE(RegExprMatches("a.b", "a\nb"));
    EXPECT_FALSE(RegExprMatches("(?-s)a.b", "a\nb"));
    EXPECT_FALSE(RegExprMatches("(?-s)a.+b", "a\r\nb"));
    EXPECT_TRUE(RegExprMatches("\\Aab\\Z", "ab"));
}

TEST(RegExprDialect, ModifiersAndExtendedSyntax)
{
    TRegExpr R;
    EXPECT_TRUE(R.GetModifier(TRegExpr::ModR));
    EXPECT_TRUE(R.GetModifier(TRegExpr::ModS));
    EXPECT_TRUE(R.GetModifier(TRegExpr::ModG));
    EXPECT_FALSE(R.GetModifier(TRegExpr::ModI));
    R.SetModifierStr("iM-g");
    EXPECT_TRUE(R.GetModifier(TRegExpr::ModI));
    EXPECT_TRUE(R.GetModifier(TRegExpr::ModM));
    EXPECT_FALSE(R.GetModifier(TRegExpr::ModG));
    // With g off every quantifier is lazy.
    R.SetExpression("a.*b");
    ASSERT_TRUE(R.Exec("A1b2b"));
    EXPECT_EQ(R.Match(0), "A1b");
    // A flag change recompiles at the next search.
    R.SetModifier(TRegExpr::ModI, false);
    EXPECT_FALSE(R.Exec("A1b2b"));
    EXPECT_THROW(R.SetModifierStr("iq"), ERegExpr);
    EXPECT_FALSE(R.GetModifier(TRegExpr::ModI));

    EXPECT_TRUE(RegExprMatches("(?x) a b  c # comment\n d", "abcd"));
    EXPECT_TRUE(RegExprMatches("(?x)a [ ] b", "a b"));
    EXPECT_TRUE(RegExprMatches("a(?#note)b", "ab"));
}

TEST(RegExprErrors, CodesAndPositions)
{
    int Pos = -1;
    std::string Msg;
    EXPECT_EQ(CompileErrorOf("a{3,2}", &Pos, &Msg), 124);
    EXPECT_NE(Msg.find(" (pos "), std::string::npos);
    EXPECT_EQ(Msg, "TRegExpr(comp): BRACE Min Param Greater then Max (pos 6)");
    EXPECT_EQ(CompileErrorOf("(a", &Pos), 103);
    EXPECT_EQ(Pos, 2);
    EXPECT_EQ(CompileErrorOf("a)", &Pos), 104);
    EXPECT_EQ(Pos, 1);
    EXPECT_EQ(CompileErrorOf("*a", &Pos), 115);
    EXPECT_EQ(Pos, 0);
    EXPECT_EQ(CompileErrorOf("a|+b"), 115);
    EXPECT_EQ(CompileErrorOf("{2}"), 115);
    EXPECT_EQ(CompileErrorOf("(a*)*"), 106);
    EXPECT_EQ(CompileErrorOf("(a|)+"), 106);
    EXPECT_EQ(CompileErrorOf("(a*){2}"), 106);
    EXPECT_EQ(CompileErrorOf("(a*)?"), 0);
    EXPECT_EQ(CompileErrorOf("a**"), 107);
    EXPECT_EQ(CompileErrorOf("a*?+"), 107);
    EXPECT_EQ(CompileErrorOf("\\x{100}"), 112);
    EXPECT_EQ(CompileErrorOf("\\x{}"), 111);
    EXPECT_EQ(CompileErrorOf("\\x{41"), 111);
    EXPECT_EQ(CompileErrorOf("\\x4"), 111);
    EXPECT_EQ(CompileErrorOf("\\xG1"), 108);
    EXPECT_EQ(CompileErrorOf("[b-a]"), 109);
    EXPECT_EQ(CompileErrorOf("[a\\"), 110);
    EXPECT_EQ(CompileErrorOf("[ab"), 113);
    EXPECT_EQ(CompileErrorOf("ab\\", &Pos, &Msg), 116);
    EXPECT_EQ(Msg, "TRegExpr(comp): Trailing \\ (pos 3)");
    EXPECT_EQ(CompileErrorOf("a{123456789}"), 122);
    EXPECT_EQ(CompileErrorOf("a(?#open"), 125);
    EXPECT_EQ(CompileErrorOf("(?q)a"), 127);
    EXPECT_EQ(CompileErrorOf(""), 100);
}

TEST(RegExprErrors, FourteenGroupsCompileFifteenDoNot)
{
    std::string Fourteen, Fifteen;
    for (int I = 0; I < 14; ++I) Fourteen += "(a)";
    Fifteen = Fourteen + "(a)";
    EXPECT_EQ(CompileErrorOf(Fourteen), 0);
    EXPECT_EQ(CompileErrorOf(Fifteen), 102);
    TRegExpr R;
    R.SetExpression(Fourteen);
    ASSERT_TRUE(R.Exec(std::string(14, 'a')));
    EXPECT_EQ(R.SubExprMatchCount(), 14);
}

TEST(RegExprErrors, SearchErrorsHaveNoPosition)
{
    TRegExpr R;
    try {
        R.Exec("x");
        FAIL() << "a search without a pattern must fail";
    } catch (const ERegExpr &E) {
        EXPECT_EQ(E.ErrorCode, 1003);
        EXPECT_STREQ(E.what(), "TRegExpr(exec): Not Assigned Expression Property");
    }
    TRegExpr Fresh;
    Fresh.SetExpression("x");
    try {
        Fresh.ExecPos(1);
        FAIL() << "a search without input must fail";
    } catch (const ERegExpr &E) {
        EXPECT_EQ(E.ErrorCode, 1005);
    }
    R.SetExpression("x");
    R.Exec("axbx");
    EXPECT_THROW(R.ExecPos(0), ERegExpr);
    EXPECT_TRUE(R.ExecPos(3));
    EXPECT_EQ(R.MatchPos(0), 4);
    EXPECT_FALSE(R.ExecPos(6));
    EXPECT_EQ(R.LastError(), 1006);
    EXPECT_EQ(R.LastError(), 0);
    EXPECT_EQ(R.ErrorMessage(9999), "Unknown error");
    EXPECT_THROW(R.SetLinePairedSeparator("aa"), ERegExpr);
    EXPECT_THROW(R.SetLinePairedSeparator("abc"), ERegExpr);
}

TEST(RegExprErrors, CompilationErrorLeavesNoProgram)
{
    TRegExpr R;
    R.SetExpression("(a");
    EXPECT_THROW(R.Exec("a"), ERegExpr);
    // The same pattern fails again rather than running a half-built program.
    EXPECT_THROW(R.Exec("a"), ERegExpr);
    R.SetExpression("a");
    EXPECT_TRUE(R.Exec("a"));
}

TEST(RegExprSearch, InputStopsAtEmbeddedZero)
{
    EXPECT_FALSE(RegExprMatches("b", std::string("a\0b", 3)));
}

TEST(RegExprBudget, PathologicalPatternRaisesInsteadOfHanging)
{
    std::string Text(40, 'a');
    TRegExpr R;
    // A smaller step budget than the default keeps the test quick; the
    // default only bounds the time more loosely.
    R.SetBudget(TRegExpr::DefaultDepthBudget, 2000000);
    R.SetExpression("^(a|aa)+$");
    try {
        R.Exec(Text + "b");
        FAIL() << "exponential backtracking must hit the step budget";
    } catch (const ERegExpr &E) {
        EXPECT_EQ(E.ErrorCode, 1017);
    }
}

TEST(RegExprBudget, DeepRecursionRaisesInsteadOfOverflowing)
{
    std::string Text(200000, 'a');
    try {
        RegExprMatches("(a|b)*c", Text + "c");
        FAIL() << "a group repetition per character must hit the depth budget";
    } catch (const ERegExpr &E) {
        EXPECT_EQ(E.ErrorCode, 1016);
    }
    // Repetitions of single characters do not nest and run over long text.
    EXPECT_TRUE(RegExprMatches("^a*c$", Text + "c"));
    EXPECT_TRUE(RegExprMatches("(a|b)*c", std::string(1000, 'a') + "c"));
}
