// Variant: Unassigned against Null, conversions and comparisons as the
// toolkit's variant has them.
#include <gtest/gtest.h>

#include "platform/rtl/Format.h"
#include "platform/rtl/Variant.h"

using namespace rtl;

TEST(VariantKinds, UnassignedIsNotNull)
{
    Variant U, N = Null();
    EXPECT_TRUE(U.IsEmpty());
    EXPECT_FALSE(U.IsNull());
    EXPECT_TRUE(N.IsNull());
    EXPECT_FALSE(N.IsEmpty());
    EXPECT_EQ(VarCompareValue(U, N), vrNotEqual);
    EXPECT_EQ(VarCompareValue(N, N), vrEqual);
    EXPECT_EQ(VarCompareValue(U, U), vrEqual);
    EXPECT_EQ(VarCompareValue(U, Variant(0)), vrNotEqual);
    EXPECT_FALSE(VarSameValue(N, Variant(0)));
}

TEST(VariantConversion, UnassignedReadsAsZeroNullRaises)
{
    Variant U;
    EXPECT_EQ(U.AsInteger(), 0);
    EXPECT_EQ(U.AsString(), "");
    EXPECT_FALSE(U.AsBoolean());
    EXPECT_THROW(Null().AsInteger(), EVariantTypeCastError);
    EXPECT_THROW(Null().AsString(), EVariantTypeCastError);
    EXPECT_EQ(VarToStr(Null()), "");
    EXPECT_EQ(VarToStrDef(Null(), "n/a"), "n/a");
}

TEST(VariantConversion, BooleansAreMinusOne)
{
    EXPECT_EQ(Variant(true).AsInteger(), -1);
    EXPECT_EQ(Variant(false).AsInteger(), 0);
    EXPECT_EQ(Variant(true).AsString(), "True");
    EXPECT_TRUE(Variant("true").AsBoolean());
    EXPECT_TRUE(Variant("2").AsBoolean());
    EXPECT_FALSE(Variant("0").AsBoolean());
    EXPECT_THROW(Variant("maybe").AsBoolean(), EVariantTypeCastError);
}

TEST(VariantConversion, DoubleToIntegerRoundsHalfToEven)
{
    EXPECT_EQ(Variant(2.5).AsInteger(), 2);
    EXPECT_EQ(Variant(3.5).AsInteger(), 4);
    EXPECT_EQ(Variant(-2.5).AsInteger(), -2);
    EXPECT_EQ(Variant(2.6).AsInteger(), 3);
    EXPECT_EQ(Variant("7.5").AsInteger(), 8);
    EXPECT_THROW(Variant(3e10).AsInteger(), EVariantOverflowError);
    EXPECT_EQ(Variant(3e10).AsInt64(), 30000000000LL);
}

TEST(VariantConversion, TextsAndNumbers)
{
    EXPECT_EQ(Variant("  42 ").AsInteger(), 42);
    EXPECT_DOUBLE_EQ(Variant("1.25").AsDouble(), 1.25);
    EXPECT_THROW(Variant("abc").AsDouble(), EVariantTypeCastError);
    EXPECT_EQ(Variant(1.5).AsString(), "1.5");
    EXPECT_EQ(Variant(int64_t(-7)).AsString(), "-7");
    EXPECT_EQ(Variant(Currency::FromRaw(12345)).AsString(), "1.2345");
    EXPECT_EQ(Variant(StrToBcd("10.50")).AsString(), "10.5");
    EXPECT_EQ(Variant::FromDate(EncodeDate(2024, 3, 5)).AsString(), "03/05/2024");
    EXPECT_DOUBLE_EQ(Variant("03/05/2024").AsDateTime(), EncodeDate(2024, 3, 5));
    EXPECT_EQ(VarAsType(Variant("12"), varInteger).VType(), varInteger);
    EXPECT_THROW(VarAsType(Variant(300), varByte), EVariantOverflowError);
}

TEST(VariantCompare, OperatorsMixTypesLikeTheToolkit)
{
    EXPECT_TRUE(Variant(1) == Variant(1.0));
    EXPECT_TRUE(Variant("10") == Variant(10));
    EXPECT_TRUE(Variant(2) < Variant("10")); // numerically, not as text
    EXPECT_TRUE(Variant("2") > Variant("10")); // both texts: as text
    EXPECT_TRUE(Variant() == Variant(0));
    EXPECT_TRUE(Variant() == Variant(""));
    EXPECT_TRUE(Null() == Null());
    EXPECT_FALSE(Null() == Variant(0));
    EXPECT_TRUE(Null() < Variant(-1000));
    EXPECT_TRUE(Variant(true) < Variant(false)); // -1 < 0
    EXPECT_TRUE(Variant(Currency::FromRaw(15000)) == Variant(1.5));
    EXPECT_TRUE(Variant(StrToBcd("1.50")) == Variant(1.5));
    EXPECT_TRUE(Variant(uint64_t(UINT64_MAX)) > Variant(int64_t(-1)));
    EXPECT_THROW((void)(Variant("abc") == Variant(1)), EVariantTypeCastError);
}

TEST(VariantArithmetic, NullPropagatesIntegersWiden)
{
    EXPECT_TRUE((Variant(1) + Null()).IsNull());
    EXPECT_EQ((Variant("ab") + Variant("cd")).AsString(), "abcd");
    EXPECT_EQ((Variant("2") + Variant(3)).AsInteger(), 5);
    Variant Big = Variant(2147483647) + Variant(1);
    EXPECT_EQ(Big.AsInt64(), 2147483648LL);
    Variant Huge = Variant(INT64_MAX) + Variant(1);
    EXPECT_EQ(Huge.VType(), varDouble);
    EXPECT_DOUBLE_EQ((Variant(7) / Variant(2)).AsDouble(), 3.5);
    EXPECT_THROW(Variant(1) / Variant(0), EZeroDivide);
    Variant D = Variant::FromDate(EncodeDate(2024, 1, 31)) + Variant(1);
    EXPECT_EQ(D.VType(), varDate);
    EXPECT_DOUBLE_EQ(D.AsDateTime(), EncodeDate(2024, 2, 1));
    EXPECT_EQ((Variant(Currency::FromRaw(1)) + Variant(Currency::FromRaw(2))).AsCurrency().Value, 3);
    EXPECT_EQ((-Variant(5)).AsInteger(), -5);
}

TEST(VariantArray, CopiesAreIndependent)
{
    Variant A = VarArrayOf({1, "x", Null()});
    Variant B = A;
    B[0] = Variant(9);
    EXPECT_EQ(A[0].AsInteger(), 1);
    EXPECT_EQ(B[0].AsInteger(), 9);
    EXPECT_TRUE(A[2].IsNull());
    EXPECT_THROW((void)A[3], EVariantBadIndexError);
    EXPECT_EQ(Variant::FromBytes(std::string("\0\1", 2)).ArrayCount(), 2);
}

TEST(FormatRoutine, SpecifiersOverVariants)
{
    EXPECT_EQ(Format("[%s]-%d. %s", {"Phys", 306, "x"}), "[Phys]-306. x");
    EXPECT_EQ(Format("%5d|%-5s|%.3d", {42, "ab", 7}), "   42|ab   |007");
    EXPECT_EQ(Format("%.2f %e", {3.14159, 1234.5}), "3.14 1.23450000000000E+003");
    EXPECT_EQ(Format("%x %g %%", {255, 0.5}), "FF 0.5 %");
    EXPECT_EQ(Format("%1:s %0:s", {"a", "b"}), "b a");
    EXPECT_EQ(Format("%*d", {4, 1}), "   1");
}

TEST(FormatRoutine, MismatchNeverRaises)
{
    EXPECT_EQ(Format("%d", {"abc"}), "abc");
    EXPECT_EQ(Format("%d", {"12"}), "12");
    EXPECT_EQ(Format("%s and %s", {"one"}), "one and %s");
    EXPECT_EQ(Format("%s", {Null()}), "");
    EXPECT_EQ(Format("%f", {"x"}), "x");
    EXPECT_EQ(Format("100%", {}), "100%");
    EXPECT_EQ(Format("%q", {1}), "%q");
}

TEST(Exceptions, RaiseAndCloneKeepTheClass)
{
    std::unique_ptr<Exception> E = std::make_unique<EVariantTypeCastError>("cast");
    std::unique_ptr<Exception> C = E->Clone();
    EXPECT_NE(dynamic_cast<EVariantTypeCastError *>(C.get()), nullptr);
    EXPECT_THROW(C->Raise(), EVariantTypeCastError);
    std::unique_ptr<Exception> A = std::make_unique<EAbort>();
    EXPECT_THROW(A->Raise(), EAbort);
}
