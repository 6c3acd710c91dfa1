// Parameters and macros: macro SQL text for every type, parameter rows,
// type changes, linking of same-named parameters, raw buffer round trips.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dataaccess/stan/qxZqStanError.h"
#include "tests/services/services_env.h"
#include "dataaccess/stan/qxZqStanParam.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"



namespace {

std::string Sql(TZqMacroDataType T, const rtl::Variant &V)
{
    TZqMacros L;
    TZqMacro *M = L.Add();
    M->SetDataType(T);
    M->SetValue(V);
    return M->GetSQL();
}

} // namespace

TEST(MacroSql, EveryTypeWithAndWithoutValue)
{
    EXPECT_EQ(Sql(mdString, rtl::Null()), "NULL");
    EXPECT_EQ(Sql(mdIdentifier, rtl::Null()), "");
    EXPECT_EQ(Sql(mdRaw, rtl::Null()), "");
    EXPECT_EQ(Sql(mdInteger, rtl::Unassigned()), "NULL");
    EXPECT_EQ(Sql(mdString, "abc"), "'abc'");
    EXPECT_EQ(Sql(mdUnknown, "abc"), "'abc'");
    EXPECT_EQ(Sql(mdIdentifier, "Cast_Titles"), "{id 'Cast_Titles'}");
    EXPECT_EQ(Sql(mdInteger, 4711), "4711");
    EXPECT_EQ(Sql(mdBoolean, true), "{l True}");
    EXPECT_EQ(Sql(mdBoolean, false), "{l False}");
    EXPECT_EQ(Sql(mdRaw, "ID_Cast > 5"), "ID_Cast > 5");
    rtl::TDateTime D = rtl::EncodeDate(2007, 3, 5);
    rtl::TDateTime T = rtl::EncodeTime(13, 4, 5, 0);
    EXPECT_EQ(Sql(mdTime, rtl::Variant::FromDate(T)), "{t '13:04:05'}");
    EXPECT_EQ(Sql(mdDateTime, rtl::Variant::FromDate(D + T)), "{dt '2007-03-05 13:04:05'}");
}

TEST(MacroSql, DatesAndFloatsIgnoreTheProcessSettings)
{
    rtl::TFormatSettings Saved = rtl::FormatSettings;
    rtl::FormatSettings.DecimalSeparator = ',';
    rtl::FormatSettings.DateSeparator = '.';
    rtl::FormatSettings.ShortDateFormat = "dd.MM.yyyy";
    EXPECT_EQ(Sql(mdDate, rtl::Variant::FromDate(rtl::EncodeDate(2007, 3, 5))), "{d '2007-03-05'}");
    EXPECT_EQ(Sql(mdFloat, 2.5), "{e 2.5}");
    rtl::FormatSettings = Saved;
}

TEST(MacroSql, QuotesAreDoubledSoAValueCannotEndItsLiteral)
{
    EXPECT_EQ(Sql(mdString, "O'Brien"), "'O''Brien'");
    EXPECT_EQ(Sql(mdString, "x'; DROP TABLE Cast_Titles; --"), "'x''; DROP TABLE Cast_Titles; --'");
    EXPECT_EQ(Sql(mdIdentifier, "a']}"), "{id 'a'']}'}");
    // An integer macro takes only numbers.
    EXPECT_THROW(Sql(mdInteger, "1; DROP TABLE x"), rtl::Exception);
}

TEST(MacroValue, TypeFromTheValueOnlyWhenUnknown)
{
    TZqMacros L;
    TZqMacro *M = L.Add();
    EXPECT_EQ(M->DataType(), mdRaw);
    EXPECT_TRUE(M->Value().IsNull());
    M->SetValue(5);
    EXPECT_EQ(M->DataType(), mdRaw);
    TZqMacro *U = L.Add();
    U->SetDataType(mdUnknown);
    U->SetValue(5);
    EXPECT_EQ(U->DataType(), mdInteger);
    TZqMacro *S = L.Add();
    S->SetDataType(mdUnknown);
    S->SetValue(2.5);
    EXPECT_EQ(S->DataType(), mdFloat);
}

TEST(MacroList, ChangeEventsAndUpdateBracket)
{
    TZqMacros L;
    int Events = 0;
    L.OnChanged = [&](TZqMacros *) { ++Events; };
    TZqMacro *M = L.Add();
    M->SetName("Tab");
    Events = 0;
    M->SetValue("a");
    M->SetValue("a"); // unchanged
    EXPECT_EQ(Events, 1);
    L.BeginUpdate();
    M->SetValue("b");
    M->SetDataType(mdIdentifier);
    EXPECT_EQ(Events, 1);
    L.EndUpdate();
    EXPECT_EQ(Events, 2);
}

TEST(MacroList, FindAssignValuesAndStrings)
{
    TZqMacros A, B;
    A.Add()->SetName("Table");
    A.Add()->SetName("Cond");
    TZqMacro *S = B.Add();
    S->SetName("TABLE");
    S->SetDataType(mdIdentifier);
    S->SetValue("Ships");
    EXPECT_EQ(A.FindMacro("table"), A.Items(0));
    EXPECT_EQ(A.FindMacro("none"), nullptr);
    EXPECT_EQ(CodeOf([&] { A.MacroByName("none"); }), 706);
    A.AssignValues(B);
    EXPECT_EQ(A.Items(0)->GetSQL(), "{id 'Ships'}");
    EXPECT_FALSE(A.IsEqual(B));

    rtl::TStringList Lines;
    Lines.Add("X=1");
    Lines.Add("novalue");
    TZqMacros C;
    C.AssignStrings(Lines);
    ASSERT_EQ(C.Count(), 2);
    EXPECT_EQ(C.Items(0)->Name(), "X");
    EXPECT_EQ(C.Items(0)->DataType(), mdRaw);
    EXPECT_EQ(C.Items(1)->Name(), "");
    EXPECT_EQ(rtl::VarToStr(C.Items(1)->Value()), "novalue");
    rtl::TStringList Out;
    C.AssignTo(Out);
    EXPECT_EQ(Out[0], "X=1");
}

// ---- parameters ------------------------------------------------------------------

TEST(ParamValue, TypeFromTheFirstValue)
{
    TZqParams L;
    TZqParam *P = L.Add();
    EXPECT_EQ(P->DataType(), rtl::ftUnknown);
    EXPECT_TRUE(P->Active());
    EXPECT_FALSE(P->Bound());
    P->SetValue(12);
    EXPECT_EQ(P->DataType(), rtl::ftInteger);
    EXPECT_TRUE(P->Bound());
    P->SetValue(rtl::Null());
    EXPECT_FALSE(P->Bound());
    TZqParam *Q = L.Add();
    Q->SetValue(std::string("x"));
    EXPECT_EQ(Q->DataType(), rtl::ftString);
    TZqParam *R = L.Add();
    R->SetAsGUID("{3E9B315B-F456-4175-A864-B2573C4A2001}");
    EXPECT_EQ(R->DataType(), rtl::ftGuid);
}

TEST(ParamRows, ScalarAndArrayRows)
{
    TZqParams L;
    TZqParam *P = L.Add();
    P->SetName("X");
    EXPECT_EQ(CodeOf([&] { P->SetValues(1, 5); }), 707);
    P->SetValues(-1, 5);
    EXPECT_EQ(P->AsInteger(), 5);
    P->SetArraySize(3);
    EXPECT_EQ(P->ArrayType(), atArray);
    EXPECT_EQ(P->AsInteger(0), 5);
    EXPECT_TRUE(P->IsNull(1));
    EXPECT_TRUE(P->IsNull(2));
    P->SetValues(2, 7);
    EXPECT_EQ(CodeOf([&] { P->Values(3); }), 707);
    P->SetArraySize(0);
    EXPECT_EQ(P->ArraySize(), 1);
    P->SetArraySize(2);
    P->SetArrayType(atScalar);
    EXPECT_EQ(P->ArraySize(), 1);
    EXPECT_EQ(L.GetArraySize(), 1);
    TZqParams Empty;
    EXPECT_EQ(Empty.GetArraySize(), 1);
}

TEST(ParamType, ChangingTheTypeClearsTheValues)
{
    TZqParams L;
    TZqParam *P = L.Add();
    P->SetArraySize(2);
    P->SetValues(0, 1);
    P->SetValues(1, 2);
    P->SetDataType(rtl::ftFloat);
    EXPECT_TRUE(P->IsNull(0));
    EXPECT_TRUE(P->IsNull(1));
    // Unchanged type keeps them.
    P->SetValues(0, 1.5);
    P->SetDataType(rtl::ftFloat);
    EXPECT_DOUBLE_EQ(P->AsFloat(0), 1.5);
}

TEST(ParamType, AtDesignTimeValuesAreConverted)
{
    rtl::TComponent Owner;
    Owner.SetState(rtl::csDesigning, true);
    TZqParams L([&] { return &Owner; });
    TZqParam *P = L.Add();
    P->SetValue(std::string("42"));
    P->SetDataType(rtl::ftInteger);
    EXPECT_EQ(P->Value().VType(), rtl::varInteger);
    EXPECT_EQ(P->AsInteger(), 42);
}

TEST(ParamLink, SameNamesLinkToTheFirst)
{
    TZqParams L;
    TZqParam *A = L.Add();
    A->SetName("ID");
    TZqParam *B = L.Add();
    B->SetName("id");
    TZqParam *C = L.Add();
    C->SetName("Other");
    A->SetValue(5);
    L.Prepare(rtl::ftString);
    EXPECT_EQ(B->LinkedTo(), A);
    EXPECT_EQ(C->LinkedTo(), nullptr);
    EXPECT_EQ(B->AsInteger(), 5);
    A->SetValue(9);
    EXPECT_EQ(B->AsInteger(), 9);
    EXPECT_EQ(C->DataType(), rtl::ftString);
    // Clearing through the link clears the first.
    B->Clear();
    EXPECT_TRUE(A->IsNull());
    // Bound by position nothing links.
    L.SetBindMode(1);
    L.Prepare(rtl::ftString);
    EXPECT_EQ(B->LinkedTo(), nullptr);
}

TEST(ParamList, AssignValuesByNameAndPosition)
{
    TZqParams Target, Source;
    Target.Add()->SetName("A");
    Target.Add()->SetName("B");
    TZqParam *S = Source.Add();
    S->SetName("b");
    S->SetValue(3);
    Target.AssignValues(Source);
    EXPECT_TRUE(Target.Items(0)->IsNull());
    EXPECT_EQ(Target.Items(1)->AsInteger(), 3);
    EXPECT_EQ(Target.Items(1)->Name(), "b");

    Target.SetBindMode(1);
    Target.AssignValues(Source);
    EXPECT_EQ(Target.Items(0)->AsInteger(), 3);
    EXPECT_EQ(Target.FindParam("A"), nullptr);
    EXPECT_THROW(Target.ParamByName("A"), rtl::EDatabaseError);
}

TEST(ParamList, EqualityAndActiveCount)
{
    TZqParams A, B;
    A.Add()->SetName("X");
    B.Add()->SetName("X");
    EXPECT_TRUE(A.IsEqual(B));
    B.Items(0)->SetValue(1);
    EXPECT_FALSE(A.IsEqual(B));
    A.Items(0)->SetValue(1);
    EXPECT_TRUE(A.IsEqual(B));
    A.Items(0)->SetActive(false);
    EXPECT_EQ(A.GetActiveCount(), 0);
    EXPECT_EQ(B.GetActiveCount(), 1);
}

TEST(ParamRaw, RoundTripsOfTheFixedForms)
{
    TZqParams L;
    TZqParam *P = L.Add();

    P->SetDataType(rtl::ftInteger);
    int32_t I = -77;
    P->SetData(&I, 4);
    int32_t IO = 0;
    P->GetData(&IO);
    EXPECT_EQ(IO, -77);
    EXPECT_EQ(P->GetDataSize(), 4);

    P->SetDataType(rtl::ftSmallint);
    P->SetZqDataType(dtByte);
    uint8_t B = 200;
    P->SetData(&B, 1);
    EXPECT_EQ(P->AsInteger(), 200);

    P->SetZqDataType(dtUnknown);
    P->SetDataType(rtl::ftDate);
    int32_t Day = 39146 + 693594; // 2007-03-05
    P->SetData(&Day, 4);
    EXPECT_DOUBLE_EQ(P->AsDateTime(), rtl::EncodeDate(2007, 3, 5));
    int32_t DayOut = 0;
    P->GetData(&DayOut);
    EXPECT_EQ(DayOut, Day);

    P->SetDataType(rtl::ftDateTime);
    double Ms = (39146.0 + 693594.0) * 86400000.0 + 3723004.0; // 01:02:03.004
    P->SetData(&Ms, 8);
    double MsOut = 0;
    P->GetData(&MsOut);
    EXPECT_DOUBLE_EQ(MsOut, Ms);

    P->SetDataType(rtl::ftBoolean);
    int16_t T = 5;
    P->SetData(&T, 2);
    int16_t TOut = 0;
    P->GetData(&TOut);
    EXPECT_EQ(TOut, -1);

    P->SetDataType(rtl::ftCursor);
    P->SetData(&T, 0);
    EXPECT_EQ(P->AsInteger(), 0);
    EXPECT_EQ(P->GetDataSize(), 0);
}

TEST(ParamRaw, TextWideTextAndGuid)
{
    TZqParams L;
    TZqParam *P = L.Add();
    P->SetDataType(rtl::ftString);
    P->SetData("abc", -1);
    EXPECT_EQ(P->GetDataSize(), 4);
    char Out[8] = {};
    P->GetData(Out);
    EXPECT_STREQ(Out, "abc");

    P->SetDataType(rtl::ftWideString);
    const char16_t W[] = u"hi!";
    P->SetData(W, -1);
    EXPECT_EQ(P->AsString(), "hi!");
    EXPECT_EQ(P->GetDataSize(), 8); // four 16-bit characters with the terminator
    char16_t WOut[8] = {};
    P->GetData(WOut);
    EXPECT_EQ(std::u16string(WOut), u"hi!");

    P->SetDataType(rtl::ftGuid);
    uint8_t G[16];
    for (int I = 0; I < 16; ++I)
        G[I] = uint8_t(I + 1);
    P->SetData(G, 16);
    EXPECT_EQ(P->AsString(), "{04030201-0605-0807-090A-0B0C0D0E0F10}");
    uint8_t GOut[16] = {};
    P->GetData(GOut);
    EXPECT_EQ(std::memcmp(G, GOut, 16), 0);
}

TEST(ParamRaw, UnknownAndUnsupportedTypes)
{
    TZqParams L;
    TZqParam *P = L.Add();
    P->SetName("P1");
    try {
        P->GetDataSize();
        FAIL();
    } catch (const rtl::EDatabaseError &E) {
        EXPECT_EQ(E.Message(), "Field 'P1' is of an unknown type");
    }
    P->SetDataType(rtl::ftVariant);
    try {
        P->GetDataSize();
        FAIL();
    } catch (const rtl::EDatabaseError &E) {
        EXPECT_EQ(E.Message(), "Field 'P1' is of an unsupported type");
    }
    P->SetDataType(rtl::ftBCD);
    rtl::TBcd Big = rtl::StrToBcd("99999999999999999999999");
    EXPECT_THROW(P->SetData(&Big, 34), rtl::EOverflow);
}

TEST(ParamRaw, BlobRawDataIsFilledInPlace)
{
    TZqParams L;
    TZqParam *P = L.Add();
    P->SetValue(1);
    EXPECT_EQ(CodeOf([&] {
                  uint32_t Len;
                  void *Buf;
                  P->GetBlobRawData(Len, Buf);
              }),
              701);
    TZqParam *B = L.Add();
    char *Buf = static_cast<char *>(B->SetBlobRawData(4, nullptr));
    EXPECT_EQ(B->DataType(), rtl::ftBlob);
    EXPECT_TRUE(B->Bound());
    std::memcpy(Buf, "wxyz", 4);
    EXPECT_EQ(B->AsString(), "wxyz");
    uint32_t Len = 0;
    void *Raw = nullptr;
    B->GetBlobRawData(Len, Raw);
    EXPECT_EQ(Len, 4u);
    EXPECT_EQ(std::string(static_cast<char *>(Raw), Len), "wxyz");

    TZqParam *S = L.Add();
    S->SetAsString("hello");
    S->GetBlobRawData(Len, Raw);
    EXPECT_EQ(Len, 5u);
    S->Clear();
    S->GetBlobRawData(Len, Raw);
    EXPECT_EQ(Len, 0u);
    EXPECT_EQ(Raw, nullptr);
}

TEST(ParamCopy, FullCopyAndFieldValue)
{
    TZqParams L;
    TZqParam *A = L.Add();
    A->SetName("X");
    A->SetParamType(rtl::ptOutput);
    A->SetSize(10);
    A->SetArraySize(2);
    A->SetValues(1, std::string("r1"));
    TZqParam *B = L.Add();
    B->SetParamType(rtl::ptInput);
    B->Assign(*A);
    EXPECT_EQ(B->Name(), "X");
    EXPECT_EQ(B->ParamType(), rtl::ptInput); // kept: it was not ptUnknown
    EXPECT_EQ(B->ArraySize(), 2);
    EXPECT_EQ(B->AsString(1), "r1");

    TZqParam *F = L.Add();
    F->AssignFieldValue(rtl::ftMemo, 300, false, rtl::Variant("long"));
    EXPECT_EQ(F->DataType(), rtl::ftString);
    EXPECT_EQ(F->Size(), 300);
    EXPECT_TRUE(F->Bound());
    F->AssignFieldValue(rtl::ftString, 5, true, rtl::Null());
    EXPECT_EQ(F->DataType(), rtl::ftFixedChar);
    EXPECT_TRUE(F->IsNull());
    EXPECT_TRUE(F->Bound());
}

namespace {

// Answers as a field of the dataset model does: what the copy forms read
// and write.
struct TFieldStub {
    rtl::TFieldType Type = rtl::ftString;
    int FieldSize = 0;
    bool Fixed = false;
    std::string Name;
    rtl::Variant Held = rtl::Null();
    rtl::TFieldType DataType() const { return Type; }
    int Size() const { return FieldSize; }
    bool IsFixedChar() const { return Fixed; }
    const std::string &FieldName() const { return Name; }
    rtl::Variant Value() const { return Held; }
    void SetValue(const rtl::Variant &AValue) { Held = AValue; }
};

// Without IsFixedChar: the type alone says whether the text is fixed.
struct TPlainFieldStub {
    rtl::TFieldType Type;
    rtl::TFieldType DataType() const { return Type; }
    int Size() const { return 8; }
    const std::string &FieldName() const { static const std::string N = "Plain"; return N; }
    rtl::Variant Value() const { return rtl::Variant(std::string("ab")); }
};

} // namespace

TEST(ParamCopy, FromAndToAField)
{
    TZqParams L;
    TZqParam *P = L.Add();
    P->SetName("id_cruise");
    P->SetArraySize(3);
    P->SetValues(2, 7);

    // A fixed-length station code: type, size, value and the field's name;
    // the rows shrink to one scalar row.
    TFieldStub Code{rtl::ftString, 6, true, "StationName", rtl::Variant(std::string("BS-014"))};
    P->AssignField(Code);
    EXPECT_EQ(P->Name(), "StationName");
    EXPECT_EQ(P->DataType(), rtl::ftFixedChar);
    EXPECT_EQ(P->Size(), 6);
    EXPECT_EQ(P->ArrayType(), atScalar);
    EXPECT_EQ(P->ArraySize(), 1);
    EXPECT_EQ(P->AsString(), "BS-014");
    EXPECT_TRUE(P->Bound());

    // A BCD field gives its size as the scale; AssignFieldValue keeps the
    // parameter's own name and takes the value given, not the field's.
    TFieldStub Depth{rtl::ftBCD, 4, false, "Depth", rtl::Variant(1.0)};
    P->AssignFieldValue(Depth, rtl::Variant(2250.5));
    EXPECT_EQ(P->Name(), "StationName");
    EXPECT_EQ(P->DataType(), rtl::ftBCD);
    EXPECT_EQ(P->NumericScale(), 4);
    EXPECT_DOUBLE_EQ(P->AsFloat(), 2250.5);
    P->AssignFieldValue(Depth, rtl::Null());
    EXPECT_TRUE(P->IsNull());
    EXPECT_TRUE(P->Bound());

    TPlainFieldStub Plain{rtl::ftFixedChar};
    P->AssignField(Plain);
    EXPECT_EQ(P->DataType(), rtl::ftFixedChar);
    TPlainFieldStub Text{rtl::ftString};
    P->AssignField(Text);
    EXPECT_EQ(P->DataType(), rtl::ftString);

    // Copy to a field: row 0 as its value.
    TZqParam *Lat = L.Add();
    Lat->SetAsFloat(43.25);
    TFieldStub Target{rtl::ftFloat, 0, false, "Lat"};
    Lat->AssignTo(Target);
    EXPECT_DOUBLE_EQ(Target.Held.AsDouble(), 43.25);

    // Lines of text: one memo value.
    rtl::TStringList Lines;
    Lines.Add("Cruise 1205");
    Lines.Add("Black Sea");
    TZqParam *Note = L.Add();
    Note->SetValue(5);
    Note->Assign(Lines);
    EXPECT_EQ(Note->DataType(), rtl::ftMemo);
    EXPECT_EQ(Note->AsString(), Lines.Text());
    EXPECT_TRUE(Note->Bound());
}

TEST(ParamStream, LegacyDataStream)
{
    // Version 1: count 1; name "ID"; input; ftInteger with 4 bytes 42; not
    // null; bound.
    std::string S;
    S += std::string("\x01\x00", 2);
    S += std::string("\x01\x00", 2);
    S += '\x02';
    S += "ID";
    S += char(rtl::ptInput);
    S += char(rtl::ftInteger);
    S += std::string("\x04\x00", 2);
    S += std::string("\x2A\x00\x00\x00", 4);
    S += '\x00';
    S += '\x01';
    TZqParams L;
    L.ReadData(S);
    ASSERT_EQ(L.Count(), 1);
    EXPECT_EQ(L.Items(0)->Name(), "ID");
    EXPECT_EQ(L.Items(0)->AsInteger(), 42);
    EXPECT_TRUE(L.Items(0)->Bound());
    std::string V3("\x03\x00", 2);
    EXPECT_THROW(L.ReadData(V3), rtl::EDatabaseError);
    EXPECT_THROW(L.ReadData(S.substr(0, 7)), rtl::EDatabaseError);
}
