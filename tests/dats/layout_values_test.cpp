// Columns, row layout and the value access: layout figures computed by hand,
// a round trip of every data type, length checks and comparison rules.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "tests/support/dats_test_util.h"
#include "platform/rtl/FMTBcd.h"

using namespace dats;
using namespace datstest;

TEST(DatSLayout, OffsetsNullBytesAndMasksOfThreeColumns) {
    TZqDatSTable T("T");
    T.Columns()->AddColumn("A", dtInt32);
    T.Columns()->AddColumn("B", dtAnsiString, 10);
    T.Columns()->AddColumn("C", dtBoolean);
    T.EnsureLayout();
    TZqDatSColumnList *L = T.Columns();
    EXPECT_EQ(L->Offset(0), 0u);
    EXPECT_EQ(L->Offset(1), 4u);
    EXPECT_EQ(L->Offset(2), 17u);
    EXPECT_EQ(L->Offset(3), 19u); // total of the values
    EXPECT_EQ(L->GetBufferSize(), 20u);
    for (int I = 0; I < 3; ++I) EXPECT_EQ(L->NullByteOffset(I), 19u);
    EXPECT_EQ(L->NullMask(0), 1);
    EXPECT_EQ(L->NullMask(1), 2);
    EXPECT_EQ(L->NullMask(2), 4);
    EXPECT_EQ(L->Layout()->ChangedBitsSize, 1u);
    EXPECT_EQ(L->Layout()->RefSlotsOffset, -1);
}

TEST(DatSLayout, LongStringGoesOutOfLineAndTakesEightBytes) {
    TZqDatSTable T("T");
    TZqDatSColumn *C = T.Columns()->AddColumn("S", dtAnsiString);
    EXPECT_EQ(C->Size(), 8000); // the list's inline size
    C->SetSize(9000);
    T.Columns()->AddColumn("I", dtInt16);
    T.EnsureLayout();
    EXPECT_TRUE(HasAttr(C->Attributes(), caBlobData));
    EXPECT_EQ(T.Columns()->Offset(1), 8u);
    EXPECT_EQ(T.Columns()->LayoutFlags() & lfOutOfLine, lfOutOfLine);
    TZqDatSColumn Free;
    Free.SetDataType(dtAnsiString);
    EXPECT_EQ(Free.Size(), 50);
}

TEST(DatSLayout, ReferenceColumnsGetSlotsAfterTheChangedBits) {
    TZqDatSTable T("T");
    T.Columns()->AddColumn("A", dtInt32);
    T.Columns()->AddColumn("R1", dtRowSetRef);
    T.Columns()->AddColumn("R2", dtRowRef);
    T.EnsureLayout();
    TZqDatSRowLayout *L = T.Columns()->Layout();
    EXPECT_EQ(L->RefCount, 2);
    EXPECT_EQ(L->RefSlotsOffset, int32_t(L->RowObjectSize + 1));
    EXPECT_EQ(L->Columns[1].RefSlot, 0);
    EXPECT_EQ(L->Columns[2].RefSlot, 1);
    EXPECT_EQ(T.Columns()->Offset(3), 4u); // reference values take no buffer space
    TZqDatSRow *R = T.NewRow();
    EXPECT_NE(R->GetNestedRows(1), nullptr);
    EXPECT_EQ(R->GetNestedRow(2), nullptr);
    EXPECT_EQ(ErrorCodeOf([&] { R->GetNestedRows(2); }), 26);
    EXPECT_EQ(ErrorCodeOf([&] { R->GetNestedRow(1); }), 25);
    void *P;
    uint32_t Len;
    R->SetData(0, nullptr, 0);
    delete R;
    (void)P;
    (void)Len;
}

TEST(DatSLayout, AutoIncrementStartsAtTheSeed) {
    TZqDatSTable T("T");
    TZqDatSColumn *C = T.Columns()->AddColumn("ID", dtInt32);
    C->SetAutoIncrement(true);
    C->SetAutoIncrementSeed(10);
    C->SetAutoIncrementStep(5);
    T.EnsureLayout();
    EXPECT_EQ(T.Columns()->AutoIncValues()[0], 5);
    TZqDatSRow *R1 = T.NewRow();
    TZqDatSRow *R2 = T.NewRow();
    EXPECT_EQ(GetInt(R1, 0), 10);
    EXPECT_EQ(GetInt(R2, 0), 15);
    delete R1;
    delete R2;
    TZqDatSColumn S;
    S.SetDataType(dtAnsiString);
    S.SetAutoIncrement(true);
    EXPECT_EQ(S.DataType(), dtUInt32);
}

TEST(DatSLayout, StructureChangesNeedAnEmptyTable) {
    TZqDatSTable T("T");
    TZqDatSColumn *C = T.Columns()->AddColumn("A", dtInt32);
    T.Rows()->Add(T.NewRow());
    EXPECT_EQ(ErrorCodeOf([&] { T.Columns()->AddColumn("B", dtInt32); }), 38);
    EXPECT_EQ(ErrorCodeOf([&] { C->SetDataType(dtInt16); }), 38);
    T.BeginLoadData(lmClearing);
    EXPECT_EQ(ErrorCodeOf([&] { C->SetDataType(dtInt16); }), 35);
    T.EndLoadData();
    EXPECT_EQ(C->DataType(), dtInt32);
    EXPECT_EQ(ErrorCodeOf([] {
                  TZqDatSTable E("E");
                  E.NewRow();
              }),
              4);
}

TEST(DatSLayout, RenameCarriesOnlyAMatchingSourceName) {
    TZqDatSTable T("T");
    TZqDatSColumn *A = T.Columns()->AddColumn("A", dtInt32);
    TZqDatSColumn *B = T.Columns()->AddColumn("B", dtInt32);
    B->SetSourceName("SRC");
    A->SetName("A2");
    B->SetName("B2");
    EXPECT_EQ(A->SourceName(), "A2");
    EXPECT_EQ(B->SourceName(), "SRC");
    EXPECT_EQ(T.Columns()->IndexOfName("a2"), 0);
    EXPECT_EQ(ErrorCodeOf([&] { A->SetName("b2"); }), 1);
    EXPECT_EQ(A->Name(), "A2");
}

TEST(DatSLayout, SublistMarksDescendingAndCaseInsensitiveColumns) {
    TZqDatSTable T("T");
    T.Columns()->AddColumn("A", dtInt32);
    T.Columns()->AddColumn("B", dtInt32);
    T.Columns()->AddColumn("C", dtAnsiString, 5);
    TZqDatSColumnSublist S, NoCase, Desc;
    S.Parse(&T, "A;B:D;C:N", &NoCase, &Desc);
    ASSERT_EQ(S.Count(), 3);
    EXPECT_EQ(S[1]->Name(), "B");
    ASSERT_EQ(Desc.Count(), 1);
    EXPECT_EQ(Desc[0]->Name(), "B");
    ASSERT_EQ(NoCase.Count(), 1);
    EXPECT_EQ(NoCase[0]->Name(), "C");
    EXPECT_EQ(ErrorCodeOf([&] { S.Parse(&T, "A;X"); }), 2);
    S.Parse(&T, "*");
    EXPECT_EQ(S.Count(), 3);
    EXPECT_EQ(S.Names(), "A;B;C");
}

// ---- values -------------------------------------------------------------

namespace {

class TCountedValue : public IZqDatSObjectValue {
public:
    explicit TCountedValue(int AValue) : Value(AValue) {}
    void AddRef() override { ++Refs; }
    void Release() override { --Refs; }
    int Compare(IZqDatSObjectValue *AOther, TZqDatSCompareOptions) override {
        int O = static_cast<TCountedValue *>(AOther)->Value;
        return Value < O ? -1 : Value > O ? 1 : 0;
    }
    int Value;
    int Refs = 1;
};

template <class T> T Read(TZqDatSRow *R, int C) {
    void *P = nullptr;
    uint32_t L = 0;
    EXPECT_TRUE(R->GetData(C, rvDefault, P, 0, L, false));
    T V;
    std::memcpy(&V, P, sizeof V);
    return V;
}

} // namespace

TEST(DatSValues, EveryDataTypeRoundTrips) {
    TZqDatSTable T("T");
    const TZqDataType Types[] = {dtBoolean, dtSByte, dtInt16, dtInt32, dtInt64, dtByte, dtUInt16, dtUInt32,
                                 dtUInt64, dtDouble, dtCurrency, dtBCD, dtFmtBCD, dtDateTime, dtTime, dtDate,
                                 dtDateTimeStamp, dtAnsiString, dtWideString, dtByteString, dtBlob, dtMemo,
                                 dtWideMemo, dtHBlob, dtHMemo, dtWideHMemo, dtHBFile, dtGUID, dtObject,
                                 dtRowSetRef, dtCursorRef, dtRowRef, dtArrayRef};
    int N = 0;
    for (TZqDataType Ty : Types) T.Columns()->AddColumn("C" + std::to_string(N++), Ty);
    TZqDatSRow *R = T.NewRow();
    int16_t Bool = -1;
    int8_t SB = -5;
    int16_t I16 = -300;
    int32_t I32 = -70000;
    int64_t I64 = -5000000000000;
    uint8_t U8 = 200;
    uint16_t U16 = 60000;
    uint32_t U32 = 4000000000u;
    uint64_t U64 = 10000000000000000000ull;
    double D = 3.25;
    int64_t Cur = 123456; // 12.3456
    rtl::TBcd Bcd = rtl::StrToBcd("123.45");
    rtl::TBcd FBcd = rtl::StrToBcd("-0.5");
    // 2020-05-17 10:20:30.250: day 737562 counting 0001-01-01 as day 1.
    double DT = 737562.0 * 86400000.0 + 37230250.0;
    int32_t Tm = 37230250, Dt = 737562;
    rtl::TSQLTimeStamp TS{2020, 5, 17, 10, 20, 30, 250};
    std::string Ansi = "hello";
    std::u16string Wide = u"h\u00e9llo";
    std::string Bytes("\x00\x01\x80\xff", 4);
    uint8_t Guid[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    TCountedValue Obj(7);
    IZqDatSObjectValue *ObjPtr = &Obj;
    R->SetData(0, &Bool, 2);
    R->SetData(1, &SB, 1);
    R->SetData(2, &I16, 2);
    R->SetData(3, &I32, 4);
    R->SetData(4, &I64, 8);
    R->SetData(5, &U8, 1);
    R->SetData(6, &U16, 2);
    R->SetData(7, &U32, 4);
    R->SetData(8, &U64, 8);
    R->SetData(9, &D, 8);
    R->SetData(10, &Cur, 8);
    R->SetData(11, &Bcd, 34);
    R->SetData(12, &FBcd, 34);
    R->SetData(13, &DT, 8);
    R->SetData(14, &Tm, 4);
    R->SetData(15, &Dt, 4);
    R->SetData(16, &TS, 16);
    R->SetData(17, Ansi.data(), uint32_t(Ansi.size()));
    R->SetData(18, Wide.data(), uint32_t(Wide.size()));
    R->SetData(19, Bytes.data(), uint32_t(Bytes.size()));
    for (int C = 20; C <= 26; ++C) {
        if (C == 22 || C == 25)
            R->SetData(C, Wide.data(), uint32_t(Wide.size()));
        else
            R->SetData(C, Bytes.data(), uint32_t(Bytes.size()));
    }
    R->SetData(27, Guid, 16);
    R->SetData(28, &ObjPtr, 0);
    EXPECT_EQ(Obj.Refs, 2);

    EXPECT_EQ(Read<int16_t>(R, 0), -1);
    EXPECT_EQ(Read<int8_t>(R, 1), -5);
    EXPECT_EQ(Read<int16_t>(R, 2), -300);
    EXPECT_EQ(Read<int32_t>(R, 3), -70000);
    EXPECT_EQ(Read<int64_t>(R, 4), -5000000000000);
    EXPECT_EQ(Read<uint8_t>(R, 5), 200);
    EXPECT_EQ(Read<uint16_t>(R, 6), 60000);
    EXPECT_EQ(Read<uint32_t>(R, 7), 4000000000u);
    EXPECT_EQ(Read<uint64_t>(R, 8), 10000000000000000000ull);
    EXPECT_EQ(Read<double>(R, 9), 3.25);
    EXPECT_EQ(Read<int64_t>(R, 10), 123456);
    EXPECT_EQ(rtl::BcdToStr(Read<rtl::TBcd>(R, 11)), "123.45");
    EXPECT_EQ(rtl::BcdToStr(Read<rtl::TBcd>(R, 12)), "-0.5");
    EXPECT_EQ(Read<double>(R, 13), DT);
    EXPECT_EQ(Read<int32_t>(R, 14), Tm);
    EXPECT_EQ(Read<int32_t>(R, 15), Dt);
    EXPECT_TRUE(Read<rtl::TSQLTimeStamp>(R, 16) == TS);
    EXPECT_EQ(GetStr(R, 17), "hello");
    {
        void *P;
        uint32_t L;
        ASSERT_TRUE(R->GetData(18, rvDefault, P, 0, L, false));
        std::u16string Got(L, u' ');
        std::memcpy(Got.data(), P, size_t(L) * 2);
        EXPECT_EQ(Got, Wide);
    }
    EXPECT_EQ(GetStr(R, 19), Bytes);
    EXPECT_EQ(GetStr(R, 20), Bytes);
    {
        void *P;
        uint32_t L;
        ASSERT_TRUE(R->GetData(22, rvDefault, P, 0, L, false));
        std::u16string Got(L, u' ');
        std::memcpy(Got.data(), P, size_t(L) * 2);
        EXPECT_EQ(Got, Wide);
    }
    EXPECT_EQ(std::memcmp(&Read<std::array<uint8_t, 16>>(R, 27)[0], Guid, 16), 0);
    EXPECT_EQ(Read<IZqDatSObjectValue *>(R, 28), ObjPtr);

    // The same values as variants.
    EXPECT_TRUE(R->GetDataAsVariant(0).AsBoolean());
    EXPECT_EQ(R->GetDataAsVariant(3).AsInteger(), -70000);
    EXPECT_EQ(R->GetDataAsVariant(7).AsInt64(), 4000000000ll);
    EXPECT_EQ(R->GetDataAsVariant(8).AsUInt64(), 10000000000000000000ull);
    EXPECT_EQ(R->GetDataAsVariant(10).AsCurrency().Value, 123456);
    EXPECT_DOUBLE_EQ(R->GetDataAsVariant(13).AsDateTime(), rtl::EncodeDateTime(2020, 5, 17, 10, 20, 30, 250));
    rtl::TSQLTimeStamp VT = R->GetDataAsVariant(14).AsSQLTimeStamp();
    EXPECT_EQ(VT.Hour, 10);
    EXPECT_EQ(VT.Fractions, 250u);
    rtl::TSQLTimeStamp VD = R->GetDataAsVariant(15).AsSQLTimeStamp();
    EXPECT_EQ(VD.Year, 2020);
    EXPECT_EQ(VD.Month, 5);
    EXPECT_EQ(VD.Day, 17);
    EXPECT_EQ(R->GetDataAsVariant(18).AsString(), "h\xc3\xa9llo");
    EXPECT_EQ(R->GetDataAsVariant(19).AsBytes(), Bytes);
    EXPECT_EQ(R->GetDataAsVariant(27).AsString(), "{04030201-0605-0807-090A-0B0C0D0E0F10}");

    // Variants written back give the same stored values.
    TZqDatSRow *R2 = T.NewRow();
    for (int C = 0; C <= 27; ++C) R2->SetDataFromVariant(C, R->GetDataAsVariant(C));
    for (int C = 0; C <= 27; ++C) {
        void *P1, *P2;
        uint32_t L1, L2;
        ASSERT_TRUE(R->GetData(C, rvDefault, P1, 0, L1, false)) << C;
        ASSERT_TRUE(R2->GetData(C, rvDefault, P2, 0, L2, false)) << C;
        EXPECT_EQ(R->CompareData(C, P1, L1, P2, L2, 0), 0) << "column " << C;
    }
    // Reference columns are not read as values.
    EXPECT_EQ(ErrorCodeOf([&] {
                  void *P;
                  uint32_t L;
                  R->GetData(29, rvDefault, P, 0, L, false);
              }),
              0); // NULL: no value to refuse
    EXPECT_EQ(ErrorCodeOf([&] { R->SetData(29, &I32, 4); }), 22);
    delete R;
    delete R2;
    EXPECT_EQ(Obj.Refs, 1);
}

TEST(DatSValues, LengthChecksAndOutOfLineNulls) {
    TZqDatSTable T("T");
    T.Columns()->AddColumn("S", dtAnsiString, 2);
    T.Columns()->AddColumn("I", dtInt32);
    T.Columns()->AddColumn("B", dtBlob);
    TZqDatSRow *R = T.NewRow();
    EXPECT_EQ(ErrorCodeOf([&] { SetStr(R, 0, "abc"); }), 32);
    SetStr(R, 0, "ab");
    EXPECT_EQ(GetStr(R, 0), "ab");
    int64_t Big = 5;
    EXPECT_EQ(ErrorCodeOf([&] { R->SetData(1, &Big, 8); }), 10);
    int32_t V = 9;
    R->SetData(1, &V, 0);
    EXPECT_EQ(GetInt(R, 1), 9);
    int64_t Before = TZqDatSBlobCache::LiveBlocks();
    R->SetData(2, "xyz", 3);
    EXPECT_EQ(GetStr(R, 2), "xyz");
    EXPECT_EQ(TZqDatSBlobCache::LiveBlocks(), Before + 1);
    R->SetData(2, "", 0);
    EXPECT_TRUE(R->IsNull(2));
    EXPECT_EQ(TZqDatSBlobCache::LiveBlocks(), Before);
    delete R;
}

TEST(DatSValues, CopyingTextNeverOverrunsAShortBuffer) {
    TZqDatSTable T("T");
    T.Columns()->AddColumn("W", dtWideString, 20);
    T.Columns()->AddColumn("A", dtAnsiString, 20);
    TZqDatSRow *R = T.NewRow();
    std::u16string W = u"abcdefgh";
    R->SetData(0, W.data(), uint32_t(W.size()));
    SetStr(R, 1, "abcdefgh");
    char16_t Buf[8];
    std::fill(std::begin(Buf), std::end(Buf), u'#');
    void *P = Buf;
    uint32_t L = 0;
    ASSERT_TRUE(R->GetData(0, rvDefault, P, 10, L, true));
    EXPECT_EQ(L, 4u);
    EXPECT_EQ(std::u16string(Buf, 4), u"abcd");
    EXPECT_EQ(Buf[4], u'\0');
    EXPECT_EQ(Buf[5], u'#');
    // A buffer too small for even the terminator gets nothing at all.
    char Small[2] = {'#', '#'};
    P = Small;
    ASSERT_TRUE(R->GetData(1, rvDefault, P, 1, L, true));
    EXPECT_EQ(L, 0u);
    EXPECT_EQ(Small[1], '#');
    delete R;
}

TEST(DatSValues, ComparisonRules) {
    TZqDatSTable T("T");
    T.Columns()->AddColumn("D", dtDouble);
    T.Columns()->AddColumn("S", dtAnsiString, 10);
    T.Columns()->AddColumn("B", dtByteString, 4);
    T.Columns()->AddColumn("L", dtBoolean);
    TZqDatSRow *R = T.NewRow();
    auto CmpD = [&](double X, double Y) { return R->CompareData(0, &X, 8, &Y, 8, 0); };
    EXPECT_EQ(CmpD(1.0, 1.0 + 1e-14), 0);
    EXPECT_EQ(CmpD(1.0, 1.0 + 1e-12), -1);
    double NaN = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(CmpD(NaN, NaN), 0);
    EXPECT_EQ(CmpD(NaN, 1e300), 1);
    EXPECT_EQ(CmpD(-1e300, NaN), -1);
    auto CmpS = [&](const char *X, const char *Y, TZqDatSCompareOptions O) {
        return R->CompareData(1, X, uint32_t(std::strlen(X)), Y, uint32_t(std::strlen(Y)), O);
    };
    EXPECT_EQ(CmpS("ab", "abc", 0), -1);
    EXPECT_EQ(CmpS("ab", "abc", cmpPartial), 0);
    EXPECT_EQ(CmpS("ABC", "abc", cmpNoCase), 0);
    EXPECT_EQ(CmpS("ab", "abc", cmpDescending), 1);
    uint8_t X80 = 0x80, X7F = 0x7F;
    EXPECT_EQ(R->CompareData(2, &X80, 1, &X7F, 1, 0), -1);
    int16_t T1 = 1, TM = -1, F = 0;
    EXPECT_EQ(R->CompareData(3, &T1, 2, &TM, 2, 0), 0);
    EXPECT_EQ(R->CompareData(3, &F, 2, &TM, 2, 0), -1);
    delete R;
}

TEST(DatSValues, NullPlacementInRowComparison) {
    TZqDatSTable T("T");
    T.Columns()->AddColumn("I", dtInt32);
    TZqDatSRow *A = T.NewRow();
    TZqDatSRow *B = T.NewRow();
    SetInt(A, 0, 5);
    B->SetData(0, nullptr, 0);
    auto C = [&](TZqDatSCompareOptions O) {
        return TZqDatSRow::CompareRows(A, nullptr, nullptr, nullptr, O, rvDefault, nullptr, B, -1, nullptr);
    };
    EXPECT_EQ(C(0), -1);                            // NULLs last by default
    EXPECT_EQ(C(cmpNullFirst), 1);                  // NULL before any value
    EXPECT_EQ(C(cmpNullFirst | cmpDescending), -1); // and after them again when descending
    EXPECT_EQ(ErrorCodeOf([&] {
                  TZqDatSRow::CompareRows(nullptr, nullptr, nullptr, nullptr, 0, rvDefault, nullptr, B, -1, nullptr);
              }),
              18);
    delete A;
    delete B;
}

TEST(DatSValues, VariantConversionFailuresRaise42) {
    TZqDatSTable T("T");
    T.Columns()->AddColumn("I", dtInt16);
    T.Columns()->AddColumn("G", dtGUID);
    TZqDatSRow *R = T.NewRow();
    EXPECT_EQ(ErrorCodeOf([&] { R->SetDataFromVariant(0, rtl::Variant(70000)); }), 42);
    EXPECT_EQ(ErrorCodeOf([&] { R->SetDataFromVariant(0, rtl::Variant("abc")); }), 42);
    EXPECT_EQ(ErrorCodeOf([&] { R->SetDataFromVariant(1, rtl::Variant("no guid")); }), 42);
    R->SetDataFromVariant(0, rtl::Variant(-12));
    EXPECT_EQ(R->GetDataAsVariant(0).AsInteger(), -12);
    R->SetDataFromVariant(0, rtl::Null());
    EXPECT_TRUE(R->GetDataAsVariant(0).IsNull());
    delete R;
}
