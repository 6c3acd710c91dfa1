// Wildcards, delimited lists, name comparison and the fast primitives.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "dataaccess/stan/qxZqStanFastCode.h"
#include "dataaccess/stan/qxZqStanUtil.h"

TEST(StrLike, PercentAloneAndEmptyTexts)
{
    EXPECT_TRUE(ZqStrLike("", "%"));
    EXPECT_TRUE(ZqStrLike("anything", "%"));
    EXPECT_FALSE(ZqStrLike("", "A%"));
    EXPECT_FALSE(ZqStrLike("", "%%"));
    EXPECT_FALSE(ZqStrLike("abc", ""));
    EXPECT_FALSE(ZqStrLike("", ""));
}

TEST(StrLike, SingleMultiAndCase)
{
    EXPECT_TRUE(ZqStrLike("abc", "A_C", true));
    EXPECT_FALSE(ZqStrLike("abc", "A_C", false));
    EXPECT_FALSE(ZqStrLike("abc", "a%d"));
    EXPECT_TRUE(ZqStrLike("abc", "a%c"));
    EXPECT_TRUE(ZqStrLike("abc", "%b%"));
    EXPECT_TRUE(ZqStrLike("abc", "abc%"));
    EXPECT_TRUE(ZqStrLike("abcbc", "%bc"));
    EXPECT_FALSE(ZqStrLike("ab", "a_%_"));
    EXPECT_TRUE(ZqStrLike("abc", "a_%_"));
    EXPECT_FALSE(ZqStrLike("abcd", "abc"));
    EXPECT_FALSE(ZqStrLike("abc", "abcd"));
    EXPECT_TRUE(ZqStrLike("Black Sea", "*sea", true, '\0', '?', '*'));
}

TEST(StrLike, EscapesIncludingAfterPercentAndAtTheEnd)
{
    EXPECT_TRUE(ZqStrLike("50%", "50\\%", false, '\\'));
    EXPECT_FALSE(ZqStrLike("500", "50\\%", false, '\\'));
    // An escaped character right after "%" is matched as that character.
    EXPECT_TRUE(ZqStrLike("rate 50%", "%\\%", false, '\\'));
    EXPECT_TRUE(ZqStrLike("a_b", "%\\_b", false, '\\'));
    EXPECT_FALSE(ZqStrLike("axb", "%\\_b", false, '\\'));
    // A trailing escape never reads past the mask.
    EXPECT_FALSE(ZqStrLike("ab", "ab\\", false, '\\'));
    EXPECT_FALSE(ZqStrLike("abc", "%\\", false, '\\'));
    EXPECT_TRUE(ZqStrLike("ab\\", "ab\\", false, '\\')); // the escape character itself, literally
}

TEST(StrLike, ManyPercentsStayFast)
{
    std::string Text(800, 'a');
    std::string Mask;
    for (int I = 0; I < 30; ++I) Mask += "%a";
    Mask += "%b";
    auto T0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(ZqStrLike(Text, Mask));
    EXPECT_TRUE(ZqStrLike(Text + "b", Mask));
    // Exponential backtracking would take far longer than this.
    EXPECT_LT(std::chrono::steady_clock::now() - T0, std::chrono::seconds(20));
}

TEST(DelimitedList, QuotesAndBracesProtectTheDelimiter)
{
    std::string Text = "DriverID=MSAcc;Database=\"c:\\a;b.mdb\";ODBCAdvanced={x;y}";
    std::vector<std::string> Items;
    int Pos = 1;
    while (Pos <= int(Text.size())) {
        std::string Item;
        ZqExtractListItem(Text, Pos, Item);
        Items.push_back(Item);
    }
    ASSERT_EQ(Items.size(), 3u);
    EXPECT_EQ(Items[0], "DriverID=MSAcc");
    EXPECT_EQ(Items[1], "Database=\"c:\\a;b.mdb\"");
    EXPECT_EQ(Items[2], "ODBCAdvanced={x;y}");
}

TEST(DelimitedList, TrimsAndHandlesEmptyItems)
{
    std::string Text = " a ; ;b";
    int Pos = 1;
    std::string Item;
    ZqExtractDelimitedItem(Text, Pos, ZqListSyntax, Item);
    EXPECT_EQ(Item, "a");
    EXPECT_EQ(Pos, 5);
    ZqExtractDelimitedItem(Text, Pos, ZqListSyntax, Item);
    EXPECT_EQ(Item, "");
    ZqExtractDelimitedItem(Text, Pos, ZqListSyntax, Item);
    EXPECT_EQ(Item, "b");
    EXPECT_EQ(Pos, 8);
    Pos = 1;
    ZqExtractDelimitedItem("x y", Pos, ZqBlankSyntax, Item);
    EXPECT_EQ(Item, "x");
}

TEST(TextRoutines, PositionsAndWideLength)
{
    EXPECT_EQ(ZqPosFrom("b", "abcb", 1), 2);
    EXPECT_EQ(ZqPosFrom("b", "abcb", 3), 4);
    EXPECT_EQ(ZqPosFrom("b", "abcb", -4), 2);
    EXPECT_EQ(ZqPosFrom("b", "abcb", 5), 0);
    EXPECT_EQ(ZqStrRPos("abcb", "b"), 4);
    EXPECT_EQ(ZqStrRPos("ab", "abc"), 0);
    EXPECT_EQ(ZqWideStrLen(u"abc\0def"), 3u);
    std::vector<int> A{4, 7, 9};
    EXPECT_EQ(ZqIndexOfPtr(A, -1, 9), 2);
    EXPECT_EQ(ZqIndexOfPtr(A, 2, 9), -1);
    EXPECT_EQ(ZqIndexOfPtr(A, 0, 4), -1);
}

TEST(TimeoutElapsed, AcrossTheWrapOfTheTickCount)
{
    EXPECT_TRUE(ZqTimeoutElapsed(1000, 500, 1500));
    EXPECT_FALSE(ZqTimeoutElapsed(1000, 500, 1499));
    // Started 100 ms before the wrap, now 50 ms after it: 149 ms by the rule.
    EXPECT_TRUE(ZqTimeoutElapsed(0xFFFFFFFFu - 100, 149, 49));
    EXPECT_FALSE(ZqTimeoutElapsed(0xFFFFFFFFu - 100, 150, 49));
    EXPECT_TRUE(ZqTimeoutElapsed(rtl::GetTickCount(), 0));
}

TEST(CompareText, FoldsOnlyAsciiLetters)
{
    EXPECT_EQ(ZqCompareText("abc", "ABC"), 0);
    EXPECT_LT(ZqCompareText("abc", "abd"), 0);
    EXPECT_LT(ZqCompareText("ab", "abc"), 0);
    EXPECT_EQ(ZqCompareText("", ""), 0);
    EXPECT_EQ(ZqCompareText(nullptr, ""), 0);
    EXPECT_GT(ZqCompareText("_", "z"), 0); // letters compare as upper case
    EXPECT_GT(ZqCompareText("a_", "AZ"), 0);
    EXPECT_NE(ZqCompareText("\xE4", "\xC4"), 0); // only a-z fold
    // Long names take the word-at-a-time path; differences in any position.
    std::string A = "Parameter_Name_Number_0001", B = "PARAMETER_name_NUMBER_0001";
    EXPECT_EQ(ZqCompareText(A, B), 0);
    for (size_t I = 0; I < A.size(); ++I) {
        std::string C = A;
        C[I] = '~';
        EXPECT_LT(ZqCompareText(A, C), 0) << I;
        EXPECT_GT(ZqCompareText(C, A), 0) << I;
    }
    // "@" (0x40) and "`" (0x60) are not letters.
    EXPECT_NE(ZqCompareText("@@@@@@@@", "````````"), 0);
}

TEST(StringListOfTheLibrary, SortsAndFindsWithTheLibraryComparison)
{
    TZqStringList L;
    L.SetSorted(true);
    L.Add("Z_B");
    L.Add("ZA");
    L.Add("z_a");
    EXPECT_EQ(L[0], "ZA"); // "_" sorts after the letters
    int I;
    EXPECT_TRUE(L.Find("Z_A", I));
    EXPECT_EQ(I, 1);
}

TEST(FastPrimitives, MoveOverlapsEitherWayFillSets)
{
    char Buf[16];
    std::memcpy(Buf, "0123456789ABCDEF", 16);
    ZqMove(Buf, Buf + 2, 8);
    EXPECT_EQ(std::string(Buf, 16), "0101234567ABCDEF");
    std::memcpy(Buf, "0123456789ABCDEF", 16);
    ZqMove(Buf + 2, Buf, 8);
    EXPECT_EQ(std::string(Buf, 16), "2345678989ABCDEF");
    ZqMove(Buf, Buf + 1, 0);
    ZqFill(Buf, 3, 'x');
    ZqFill(Buf + 3, -1, 'y');
    EXPECT_EQ(std::string(Buf, 4), "xxx5");
}
