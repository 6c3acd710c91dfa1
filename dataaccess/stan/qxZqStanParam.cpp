// qxZqStanParam: macros with their SQL text, parameters with their rows,
// raw buffer forms and the linking of same-named parameters.
#include "dataaccess/stan/qxZqStanParam.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "dataaccess/stan/qxZqStanConvert.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanUtil.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"

namespace {

bool SameName(std::string_view A, std::string_view B) { return ZqCompareText(A, B) == 0; }

// Values equal in kind and content; a change of kind counts as a change.
bool SameVariant(const rtl::Variant &A, const rtl::Variant &B)
{
    return A.VType() == B.VType() && rtl::VarSameValue(A, B);
}

// Two lists of the same length whose items are equal place by place.
template <class TList>
bool SameItems(const TList &A, const TList &B)
{
    if (A.Count() != B.Count())
        return false;
    for (int I = 0; I < A.Count(); ++I)
        if (!A.Items(I)->IsEqual(*B.Items(I)))
            return false;
    return true;
}

// SQL text of a quoted literal: the quote character doubled inside.
std::string Quoted(const std::string &AText)
{
    std::string R;
    R.reserve(AText.size() + 2);
    for (char C : AText) {
        R += C;
        if (C == '\'')
            R += '\'';
    }
    return R;
}

std::string DatePart(rtl::TDateTime AValue)
{
    int Y, M, D;
    rtl::DecodeDate(AValue, Y, M, D);
    char Buf[32];
    std::snprintf(Buf, sizeof(Buf), "%04d-%02d-%02d", Y, M, D);
    return Buf;
}

std::string TimePart(rtl::TDateTime AValue)
{
    int H, N, S, Ms;
    rtl::DecodeTime(AValue, H, N, S, Ms);
    char Buf[32];
    std::snprintf(Buf, sizeof(Buf), "%02d:%02d:%02d", H, N, S);
    return Buf;
}

bool IsStringFieldType(rtl::TFieldType T)
{
    return T == rtl::ftString || T == rtl::ftFixedChar || T == rtl::ftWideString || T == rtl::ftMemo ||
           T == rtl::ftFmtMemo;
}

bool IsLargeObjectFieldType(rtl::TFieldType T)
{
    return (T >= rtl::ftBlob && T <= rtl::ftTypedBinary) || T == rtl::ftOraBlob || T == rtl::ftOraClob;
}

// The Variant kind a field type holds, or varEmpty when it has none.
rtl::TVarType VarKindOf(rtl::TFieldType T)
{
    using namespace rtl;
    switch (T) {
    case ftString: case ftFixedChar: case ftWideString: case ftMemo: case ftFmtMemo: case ftGuid:
    case ftBlob: case ftGraphic: case ftParadoxOle: case ftDBaseOle: case ftTypedBinary: case ftOraBlob:
    case ftOraClob: return varString;
    case ftSmallint: return varSmallint;
    case ftInteger: case ftAutoInc: return varInteger;
    case ftWord: return varWord;
    case ftBoolean: return varBoolean;
    case ftFloat: return varDouble;
    case ftCurrency: case ftBCD: return varCurrency;
    case ftDate: case ftTime: case ftDateTime: return varDate;
    case ftLargeint: return varInt64;
    case ftTimeStamp: return varSQLTimeStamp;
    case ftFMTBcd: return varFMTBcd;
    default: return varEmpty;
    }
}

// The field type a value of this kind gives an untyped parameter.
rtl::TFieldType FieldTypeOfVariant(const rtl::Variant &V)
{
    using namespace rtl;
    switch (V.VType()) {
    case varSmallint: case varShortInt: case varByte: return ftSmallint;
    case varInteger: case varWord: case varLongWord: return ftInteger;
    case varSingle: case varDouble: return ftFloat;
    case varCurrency: return ftCurrency;
    case varDate: return ftDateTime;
    case varString: case varOleStr: return ftString;
    case varBoolean: return ftBoolean;
    case varInt64: return ftLargeint;
    case varSQLTimeStamp: return ftTimeStamp;
    case varFMTBcd: return ftFMTBcd;
    default: return ftUnknown;
    }
}

template <class T>
T ReadAs(const void *P)
{
    T V;
    std::memcpy(&V, P, sizeof(T));
    return V;
}

template <class T>
void WriteAs(void *P, T V)
{
    std::memcpy(P, &V, sizeof(T));
}

size_t WideLength(const void *P)
{
    size_t N = 0;
    while (ReadAs<uint16_t>(static_cast<const char *>(P) + 2 * N) != 0)
        ++N;
    return N;
}

} // namespace

// ---- TZqMacro --------------------------------------------------------------------

void TZqMacro::SetValue(const rtl::Variant &AValue)
{
    if (SameVariant(FValue, AValue))
        return;
    FValue = AValue;
    if (FDataType == mdUnknown) {
        switch (AValue.VType()) {
        case rtl::varSmallint: case rtl::varInteger: case rtl::varByte: FDataType = mdInteger; break;
        case rtl::varSingle: case rtl::varDouble: case rtl::varCurrency: FDataType = mdFloat; break;
        case rtl::varDate: FDataType = mdDateTime; break;
        case rtl::varString: case rtl::varOleStr: FDataType = mdString; break;
        case rtl::varBoolean: FDataType = mdBoolean; break;
        default: break;
        }
    }
    if (FList)
        FList->Changed();
}

void TZqMacro::SetDataType(TZqMacroDataType AValue)
{
    if (FDataType == AValue)
        return;
    FDataType = AValue;
    if (FList)
        FList->Changed();
}

std::string TZqMacro::GetSQL() const
{
    const bool Null = FValue.IsClear();
    switch (FDataType) {
    case mdUnknown:
    case mdString: return Null ? "NULL" : "'" + Quoted(rtl::VarToStr(FValue)) + "'";
    case mdIdentifier: return Null ? "" : "{id '" + Quoted(rtl::VarToStr(FValue)) + "'}";
    case mdInteger: return Null ? "NULL" : rtl::IntToStr(FValue.AsInt64());
    case mdBoolean: return Null ? "NULL" : (FValue.AsBoolean() ? "{l True}" : "{l False}");
    case mdFloat: {
        if (Null)
            return "NULL";
        rtl::TFormatSettings Dot = rtl::FormatSettings;
        Dot.DecimalSeparator = '.';
        return "{e " + rtl::FloatToStr(FValue.AsDouble(), Dot) + "}";
    }
    case mdDate: return Null ? "NULL" : "{d '" + DatePart(FValue.AsDateTime()) + "'}";
    case mdTime: return Null ? "NULL" : "{t '" + TimePart(FValue.AsDateTime()) + "'}";
    case mdDateTime:
        return Null ? "NULL" : "{dt '" + DatePart(FValue.AsDateTime()) + " " + TimePart(FValue.AsDateTime()) + "'}";
    case mdRaw:
    default: return Null ? "" : rtl::VarToStr(FValue);
    }
}

void TZqMacro::Assign(const TZqMacro &ASource)
{
    if (&ASource == this)
        return;
    if (FList)
        FList->BeginUpdate();
    FDataType = ASource.FDataType;
    FName = ASource.FName;
    FValue = ASource.FValue;
    if (FList) {
        FList->Changed();
        FList->EndUpdate();
    }
}

bool TZqMacro::IsEqual(const TZqMacro &AOther) const
{
    return FName == AOther.FName && FDataType == AOther.FDataType && SameVariant(FValue, AOther.FValue);
}

// ---- TZqMacros -------------------------------------------------------------------

void TZqMacros::Changed()
{
    if (FUpdateCount == 0 && OnChanged)
        OnChanged(this);
}

void TZqMacros::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        Changed();
}

TZqMacro *TZqMacros::Add()
{
    FItems.push_back(std::make_unique<TZqMacro>(this));
    Changed();
    return FItems.back().get();
}

void TZqMacros::Delete(int AIndex)
{
    Items(AIndex);
    FItems.erase(FItems.begin() + AIndex);
    Changed();
}

void TZqMacros::Clear()
{
    FItems.clear();
    Changed();
}

TZqMacro *TZqMacros::FindMacro(std::string_view AName) const
{
    for (const auto &M : FItems)
        if (SameName(M->FName, AName))
            return M.get();
    return nullptr;
}

TZqMacro *TZqMacros::MacroByName(std::string_view AName) const
{
    TZqMacro *M = FindMacro(AName);
    if (!M)
        ZqRaiseError(nullptr, {"Stan"}, 706, {std::string(AName)});
    return M;
}

void TZqMacros::AssignValues(const TZqMacros &ASource)
{
    if (&ASource == this)
        return;
    BeginUpdate();
    try {
        for (const auto &S : ASource.FItems)
            if (TZqMacro *M = FindMacro(S->FName))
                M->Assign(*S);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

bool TZqMacros::IsEqual(const TZqMacros &AOther) const { return SameItems(*this, AOther); }

void TZqMacros::Assign(const TZqMacros &ASource)
{
    if (&ASource == this)
        return;
    BeginUpdate();
    FItems.clear();
    for (const auto &S : ASource.FItems)
        Add()->Assign(*S);
    EndUpdate();
}

void TZqMacros::AssignStrings(const rtl::TStrings &ASource)
{
    BeginUpdate();
    FItems.clear();
    for (int I = 0; I < ASource.Count(); ++I) {
        const std::string &L = ASource[I];
        size_t P = L.find('=');
        TZqMacro *M = Add();
        if (P == std::string::npos) {
            M->FValue = rtl::Variant(L);
        } else {
            M->FName = L.substr(0, P);
            M->FValue = rtl::Variant(L.substr(P + 1));
        }
    }
    EndUpdate();
}

void TZqMacros::AssignTo(rtl::TStrings &ATarget) const
{
    ATarget.BeginUpdate();
    ATarget.Clear();
    for (const auto &M : FItems)
        ATarget.Add(M->FName + "=" + rtl::VarToStr(M->FValue));
    ATarget.EndUpdate();
}

// ---- TZqParam --------------------------------------------------------------------

TZqParam::TZqParam(TZqParams *AList) : FList(AList), FRows(1) {}

int TZqParam::Index() const
{
    if (FList)
        for (int I = 0; I < FList->Count(); ++I)
            if (FList->Items(I) == this)
                return I;
    return -1;
}

int TZqParam::BadRow(int ARow) const
{
    ZqRaiseError(nullptr, {"Stan"}, 707, {FName});
    return ARow;
}

rtl::Variant TZqParam::RowValue(int ARow) const
{
    const TRow &R = FRows[static_cast<size_t>(ARow)];
    switch (R.Raw) {
    case rkNarrow: return rtl::Variant(R.Bytes);
    case rkWide: {
        std::string S(R.Bytes.size() / 2, '\0');
        ZqNarrowText(R.Bytes.data(), static_cast<uint32_t>(S.size()), S.data());
        return rtl::Variant(S);
    }
    default: return R.Value;
    }
}

const TZqParam::TRow &TZqParam::ReadRow(int ARow, const TZqParam *&AHolder) const
{
    // Row 0 (-1 names it too) is every parameter's: no check to make.
    ARow = ARow == 0 || ARow == -1 ? 0 : CheckRow(ARow);
    AHolder = FLink && ARow < FLink->ArraySize() ? FLink : this;
    return AHolder->FRows[static_cast<size_t>(ARow)];
}

const rtl::Variant &TZqParam::ValueRef(int ARow, rtl::Variant &AScratch) const
{
    const TZqParam *Holder;
    const TRow &R = ReadRow(ARow, Holder);
    if (R.Raw == rkNone)
        return R.Value;
    AScratch = Holder->RowValue(CheckRow(ARow));
    return AScratch;
}

rtl::Variant TZqParam::Values(int ARow) const
{
    rtl::Variant Scratch;
    return ValueRef(ARow, Scratch);
}

void TZqParam::StoreValue(int ARow, rtl::Variant AValue)
{
    FBound = FArrayType == atScalar ? !AValue.IsClear() : true;
    if (FDataType == rtl::ftUnknown)
        FDataType = FieldTypeOfVariant(AValue);
    // Wide and 8-bit strings share one Variant kind here: nothing to convert.
    TRow &R = FRows[static_cast<size_t>(ARow)];
    R.Value = std::move(AValue);
    R.Raw = rkNone;
    R.Bytes.clear();
}

template <class T> bool TZqParam::StoreNumberInPlace(T AValue, int ARow)
{
    // A row that holds a number of a typed parameter takes the next in
    // place, as StoreValue would store it (a number binds the row).
    if (FDataType == rtl::ftUnknown)
        return false;
    TRow &R = FRows[static_cast<size_t>(CheckRow(ARow))];
    if (R.Raw != rkNone || !R.Bytes.empty() || !R.Value.SetNumberInPlace(AValue))
        return false;
    FBound = true;
    return true;
}

void TZqParam::SetValues(int ARow, const rtl::Variant &AValue) { StoreValue(CheckRow(ARow), AValue); }

void TZqParam::Clear(int ARow)
{
    TZqParam &T = FLink ? *FLink : *this;
    if (ARow == -1) {
        for (TRow &R : T.FRows)
            R = TRow();
        return;
    }
    ARow = CheckRow(ARow);
    if (ARow < T.ArraySize())
        T.FRows[static_cast<size_t>(ARow)] = TRow();
}

bool TZqParam::IsNull(int ARow) const
{
    // Raw text is a value, even an empty one.
    const TZqParam *Holder;
    const TRow &R = ReadRow(ARow, Holder);
    return R.Raw == rkNone && R.Value.IsClear();
}

void TZqParam::SetDataType(rtl::TFieldType AValue)
{
    if (FDataType == AValue)
        return;
    FDataType = AValue;
    if (FList && FList->Designing() && !FRows[0].Value.IsClear()) {
        rtl::TVarType Kind = VarKindOf(AValue);
        for (size_t I = 0; I < FRows.size(); ++I) {
            rtl::Variant V = RowValue(static_cast<int>(I));
            FRows[I] = TRow();
            if (Kind != rtl::varEmpty && !V.IsClear()) {
                try {
                    FRows[I].Value = rtl::VarAsType(V, Kind);
                } catch (const rtl::Exception &) {
                    // A value with no form in the new type is cleared.
                }
            }
        }
        return;
    }
    for (TRow &R : FRows)
        R = TRow();
}

void TZqParam::SetArraySize(int AValue)
{
    if (AValue < 1)
        AValue = 1;
    if (AValue >= 2 && FArrayType == atScalar)
        FArrayType = atArray;
    FRows.resize(static_cast<size_t>(AValue));
}

void TZqParam::SetArrayType(TZqParamArrayType AValue)
{
    if (AValue == atScalar && FRows.size() >= 2)
        FRows.resize(1);
    FArrayType = AValue;
}

// ---- typed access -------------------------------------------------------------------

bool TZqParam::AsBoolean(int ARow) const
{
    rtl::Variant Scratch;
    const rtl::Variant &V = ValueRef(ARow, Scratch);
    return V.IsClear() ? false : V.AsBoolean();
}
void TZqParam::SetAsBoolean(bool AValue, int ARow) { StoreValue(CheckRow(ARow), rtl::Variant(AValue)); }

double TZqParam::AsFloat(int ARow) const
{
    rtl::Variant Scratch;
    const rtl::Variant &V = ValueRef(ARow, Scratch);
    return V.IsClear() ? 0.0 : V.AsDouble();
}
void TZqParam::SetAsFloat(double AValue, int ARow)
{
    if (!StoreNumberInPlace(AValue, ARow))
        StoreValue(CheckRow(ARow), rtl::Variant(AValue));
}

rtl::Currency TZqParam::AsCurrency(int ARow) const
{
    rtl::Variant Scratch;
    const rtl::Variant &V = ValueRef(ARow, Scratch);
    return V.IsClear() ? rtl::Currency() : V.AsCurrency();
}
void TZqParam::SetAsCurrency(rtl::Currency AValue, int ARow) { StoreValue(CheckRow(ARow), rtl::Variant(AValue)); }
rtl::Currency TZqParam::AsBCD(int ARow) const { return AsCurrency(ARow); }
void TZqParam::SetAsBCD(rtl::Currency AValue, int ARow) { SetAsCurrency(AValue, ARow); }

rtl::TBcd TZqParam::AsFMTBCD(int ARow) const
{
    rtl::Variant Scratch;
    const rtl::Variant &V = ValueRef(ARow, Scratch);
    return V.IsClear() ? rtl::NullBcd() : V.AsBcd();
}
void TZqParam::SetAsFMTBCD(const rtl::TBcd &AValue, int ARow) { StoreValue(CheckRow(ARow), rtl::Variant(AValue)); }

rtl::TSQLTimeStamp TZqParam::AsSQLTimeStamp(int ARow) const
{
    rtl::Variant Scratch;
    const rtl::Variant &V = ValueRef(ARow, Scratch);
    return V.IsClear() ? rtl::TSQLTimeStamp() : V.AsSQLTimeStamp();
}
void TZqParam::SetAsSQLTimeStamp(const rtl::TSQLTimeStamp &AValue, int ARow)
{
    StoreValue(CheckRow(ARow), rtl::Variant(AValue));
}

int TZqParam::AsInteger(int ARow) const
{
    rtl::Variant Scratch;
    const rtl::Variant &V = ValueRef(ARow, Scratch);
    return V.IsClear() ? 0 : V.AsInteger();
}
void TZqParam::SetAsInteger(int AValue, int ARow)
{
    if (!StoreNumberInPlace(AValue, ARow))
        StoreValue(CheckRow(ARow), rtl::Variant(AValue));
}
int TZqParam::AsSmallInt(int ARow) const { return AsInteger(ARow); }
void TZqParam::SetAsSmallInt(int AValue, int ARow)
{
    StoreValue(CheckRow(ARow), rtl::Variant::FromTyped(AValue, rtl::varSmallint));
}
int TZqParam::AsWord(int ARow) const { return AsInteger(ARow); }
void TZqParam::SetAsWord(int AValue, int ARow)
{
    StoreValue(CheckRow(ARow), rtl::Variant::FromTyped(AValue, rtl::varWord));
}

int64_t TZqParam::AsLargeInt(int ARow) const
{
    rtl::Variant Scratch;
    const rtl::Variant &V = ValueRef(ARow, Scratch);
    return V.IsClear() ? 0 : V.AsInt64();
}
void TZqParam::SetAsLargeInt(int64_t AValue, int ARow) { StoreValue(CheckRow(ARow), rtl::Variant(AValue)); }

rtl::TDateTime TZqParam::AsDateTime(int ARow) const
{
    rtl::Variant Scratch;
    const rtl::Variant &V = ValueRef(ARow, Scratch);
    return V.IsClear() ? 0.0 : V.AsDateTime();
}
void TZqParam::SetAsDateTime(rtl::TDateTime AValue, int ARow)
{
    StoreValue(CheckRow(ARow), rtl::Variant::FromDate(AValue));
}
rtl::TDateTime TZqParam::AsDate(int ARow) const { return AsDateTime(ARow); }
void TZqParam::SetAsDate(rtl::TDateTime AValue, int ARow) { SetAsDateTime(AValue, ARow); }
rtl::TDateTime TZqParam::AsTime(int ARow) const { return AsDateTime(ARow); }
void TZqParam::SetAsTime(rtl::TDateTime AValue, int ARow) { SetAsDateTime(AValue, ARow); }

std::string TZqParam::AsString(int ARow) const
{
    rtl::Variant Scratch;
    const rtl::Variant &V = ValueRef(ARow, Scratch);
    if (V.VType() == rtl::varBoolean)
        return V.AsBoolean() ? "True" : "False";
    return rtl::VarToStr(V);
}
void TZqParam::SetAsString(const std::string &AValue, int ARow) { StoreValue(CheckRow(ARow), rtl::Variant(AValue)); }

void TZqParam::SetAsGUID(const std::string &AValue, int ARow)
{
    ARow = CheckRow(ARow);
    // The type changes without clearing the other rows: this row is written next.
    FDataType = rtl::ftGuid;
    StoreValue(ARow, rtl::Variant(AValue));
}

std::string TZqParam::AsBytes(int ARow) const
{
    rtl::Variant Scratch;
    const rtl::Variant &V = ValueRef(ARow, Scratch);
    return V.IsClear() ? std::string() : V.AsBytes();
}
void TZqParam::SetAsBytes(const std::string &AValue, int ARow)
{
    StoreValue(CheckRow(ARow), rtl::Variant::FromBytes(AValue));
}

// ---- raw buffers -------------------------------------------------------------------
//
// The forms, by DataType: ftString, ftFixedChar (and ftADT in size):
// zero-terminated 8-bit text; ftSmallint 16-bit (one signed byte with
// ZqDataType dtSByte, one unsigned byte with dtByte); ftWord 16-bit unsigned
// (one byte with dtByte); ftInteger, ftAutoInc 32-bit; ftBoolean 16-bit,
// non-zero True; ftFloat double; ftCurrency 64-bit ten-thousandths; ftBCD the
// BCD record held as currency; ftFMTBcd the BCD record; ftDate 32-bit day
// number (0001-01-01 is 1); ftTime 32-bit milliseconds since midnight;
// ftDateTime a double of time-stamp milliseconds; ftTimeStamp the SQL time
// stamp record; ftBytes, ftVarBytes and the large objects raw bytes;
// ftFmtMemo, ftWideString zero-terminated 16-bit text; ftLargeint 64-bit;
// ftGuid 16 bytes held as text; ftCursor, ftArray, ftReference, ftDataSet none.

bool TZqParam::IsWideData() const { return FDataType == rtl::ftFmtMemo || FDataType == rtl::ftWideString; }

void TZqParam::RaiseUnsupported() const
{
    if (FDataType == rtl::ftUnknown)
        throw rtl::EDatabaseError("Field '" + FName + "' is of an unknown type");
    throw rtl::EDatabaseError("Field '" + FName + "' is of an unsupported type");
}

int TZqParam::GetDataSize(int ARow) const
{
    using namespace rtl;
    switch (FDataType) {
    case ftString: case ftFixedChar: case ftADT: return static_cast<int>(AsString(ARow).size()) + 1;
    case ftSmallint: case ftWord: case ftBoolean: return 2;
    case ftInteger: case ftAutoInc: return 4;
    case ftFloat: case ftCurrency: case ftDateTime: case ftLargeint: return 8;
    case ftBCD: case ftFMTBcd: return 34;
    case ftDate: case ftTime: return 4;
    case ftTimeStamp: return 16;
    case ftBytes: case ftVarBytes: return static_cast<int>(AsBytes(ARow).size());
    case ftBlob: case ftMemo: case ftGraphic: case ftParadoxOle: case ftDBaseOle: case ftTypedBinary:
    case ftOraBlob: case ftOraClob: return static_cast<int>(AsBytes(ARow).size());
    // Bytes, as every other form: a caller sizes its buffer with this.
    case ftFmtMemo: case ftWideString: return (static_cast<int>(AsString(ARow).size()) + 1) * 2;
    case ftGuid: return 16;
    case ftCursor: case ftArray: case ftReference: case ftDataSet: return 0;
    default: RaiseUnsupported();
    }
}

void TZqParam::SetData(const void *ABuffer, int ALength, int ARow)
{
    using namespace rtl;
    TZqParam &T = FLink ? *FLink : *this;
    if (!ABuffer) {
        T.Clear(-1);
        return;
    }
    const char *P = static_cast<const char *>(ABuffer);
    auto TextLength = [&] { return ALength < 0 ? std::strlen(P) : static_cast<size_t>(ALength); };
    Variant V;
    switch (FDataType) {
    case ftString: case ftFixedChar: case ftADT: V = Variant(std::string(P, TextLength())); break;
    case ftSmallint:
        if (FZqDataType == dtSByte)
            V = Variant::FromTyped(ReadAs<int8_t>(P), varSmallint);
        else if (FZqDataType == dtByte)
            V = Variant::FromTyped(ReadAs<uint8_t>(P), varSmallint);
        else
            V = Variant::FromTyped(ReadAs<int16_t>(P), varSmallint);
        break;
    case ftWord:
        V = Variant::FromTyped(FZqDataType == dtByte ? ReadAs<uint8_t>(P) : ReadAs<uint16_t>(P), varWord);
        break;
    case ftInteger: case ftAutoInc: V = Variant(ReadAs<int32_t>(P)); break;
    case ftBoolean: V = Variant(ReadAs<int16_t>(P) != 0); break;
    case ftFloat: V = Variant(ReadAs<double>(P)); break;
    case ftCurrency: V = Variant(Currency::FromRaw(ReadAs<int64_t>(P))); break;
    case ftBCD: {
        Currency C;
        if (!BcdToCurr(ReadAs<TBcd>(P), C))
            throw EOverflow("Value of field '" + FName + "' is out of range");
        V = Variant(C);
        break;
    }
    case ftFMTBcd: V = Variant(ReadAs<TBcd>(P)); break;
    case ftDate: V = Variant::FromDate(double(ReadAs<int32_t>(P)) - DateDelta); break;
    case ftTime: V = Variant::FromDate(double(ReadAs<int32_t>(P)) / MSecsPerDay); break;
    case ftDateTime:
        V = Variant::FromDate(TimeStampToDateTime(MSecsToTimeStamp(std::round(ReadAs<double>(P)))));
        break;
    case ftTimeStamp: V = Variant(ReadAs<TSQLTimeStamp>(P)); break;
    case ftBytes: case ftVarBytes:
        V = Variant::FromBytes(std::string(P, ALength < 0 ? static_cast<size_t>(FSize) : size_t(ALength)));
        break;
    case ftBlob: case ftMemo: case ftGraphic: case ftParadoxOle: case ftDBaseOle: case ftTypedBinary:
    case ftOraBlob: case ftOraClob: V = Variant(std::string(P, TextLength())); break;
    case ftFmtMemo: case ftWideString: {
        size_t N = ALength < 0 ? WideLength(P) : static_cast<size_t>(ALength);
        std::string S(N, '\0');
        ZqNarrowText(P, static_cast<uint32_t>(N), S.data());
        V = Variant(S);
        break;
    }
    case ftLargeint: V = Variant(ReadAs<int64_t>(P)); break;
    case ftGuid: V = Variant(ZqGuidBytesToText(P)); break;
    case ftCursor: V = Variant(0); break;
    case ftArray: case ftReference: case ftDataSet: return;
    default: RaiseUnsupported();
    }
    T.SetValues(ARow, V);
}

void TZqParam::GetData(void *ABuffer, int ARow) const
{
    rtl::Variant Scratch;
    WriteData(ValueRef(ARow, Scratch), ABuffer, ARow);
}

bool TZqParam::TryGetData(void *ABuffer, int ARow) const
{
    const TZqParam *Holder;
    const TRow &R = ReadRow(ARow, Holder);
    const rtl::TVarType Kind = R.Value.VType();
    if (R.Raw != rkNone)
        WriteData(Holder->RowValue(CheckRow(ARow)), ABuffer, ARow);
    else if (Kind == rtl::varEmpty || Kind == rtl::varNull)
        return false;
    // A number held as the kind the parameter sends, as the rows of an
    // array mostly are, goes out as it is.
    else if (Kind == rtl::varInteger && FDataType == rtl::ftInteger)
        WriteAs<int32_t>(ABuffer, int32_t(R.Value.AsInt64()));
    else if (Kind == rtl::varDouble && FDataType == rtl::ftFloat)
        WriteAs<double>(ABuffer, R.Value.AsDouble());
    else
        WriteData(R.Value, ABuffer, ARow);
    return true;
}

void TZqParam::WriteData(const rtl::Variant &AValue, void *ABuffer, int ARow) const
{
    using namespace rtl;
    const Variant &V = AValue;
    char *P = static_cast<char *>(ABuffer);
    const bool Null = V.IsClear();
    switch (FDataType) {
    case ftString: case ftFixedChar: case ftADT: {
        std::string S = AsString(ARow);
        std::memcpy(P, S.c_str(), S.size() + 1);
        break;
    }
    case ftSmallint:
        if (FZqDataType == dtSByte)
            WriteAs<int8_t>(P, static_cast<int8_t>(Null ? 0 : V.AsInteger()));
        else if (FZqDataType == dtByte)
            WriteAs<uint8_t>(P, static_cast<uint8_t>(Null ? 0 : V.AsInteger()));
        else
            WriteAs<int16_t>(P, static_cast<int16_t>(Null ? 0 : V.AsInteger()));
        break;
    case ftWord:
        if (FZqDataType == dtByte)
            WriteAs<uint8_t>(P, static_cast<uint8_t>(Null ? 0 : V.AsInteger()));
        else
            WriteAs<uint16_t>(P, static_cast<uint16_t>(Null ? 0 : V.AsInteger()));
        break;
    case ftInteger: case ftAutoInc: WriteAs<int32_t>(P, Null ? 0 : V.AsInteger()); break;
    case ftBoolean: WriteAs<int16_t>(P, (!Null && V.AsBoolean()) ? -1 : 0); break;
    case ftFloat: WriteAs<double>(P, Null ? 0.0 : V.AsDouble()); break;
    case ftCurrency: WriteAs<int64_t>(P, Null ? 0 : V.AsCurrency().Value); break;
    case ftBCD: WriteAs<TBcd>(P, CurrToBcd(Null ? Currency() : V.AsCurrency())); break;
    case ftFMTBcd: WriteAs<TBcd>(P, Null ? NullBcd() : V.AsBcd()); break;
    case ftDate:
        WriteAs<int32_t>(P, Null ? 0 : DateTimeToTimeStamp(V.AsDateTime()).Date);
        break;
    case ftTime: WriteAs<int32_t>(P, Null ? 0 : DateTimeToTimeStamp(V.AsDateTime()).Time); break;
    case ftDateTime:
        WriteAs<double>(P, Null ? 0.0 : std::round(TimeStampToMSecs(DateTimeToTimeStamp(V.AsDateTime()))));
        break;
    case ftTimeStamp: WriteAs<TSQLTimeStamp>(P, Null ? TSQLTimeStamp() : V.AsSQLTimeStamp()); break;
    case ftBytes: case ftVarBytes: case ftBlob: case ftMemo: case ftGraphic: case ftParadoxOle: case ftDBaseOle:
    case ftTypedBinary: case ftOraBlob: case ftOraClob: {
        std::string S = AsBytes(ARow);
        std::memcpy(P, S.data(), S.size());
        break;
    }
    case ftFmtMemo: case ftWideString: {
        std::string S = AsString(ARow);
        ZqWidenText(S.data(), static_cast<uint32_t>(S.size()), P);
        WriteAs<uint16_t>(P + 2 * S.size(), 0);
        break;
    }
    case ftLargeint: WriteAs<int64_t>(P, Null ? 0 : V.AsInt64()); break;
    case ftGuid:
        if (Null)
            std::memset(P, 0, 16);
        else
            ZqGuidTextToBytes(V.AsString(), P);
        break;
    case ftCursor: case ftArray: case ftReference: case ftDataSet: break;
    default: RaiseUnsupported();
    }
}

void *TZqParam::SetBlobRawData(uint32_t ALength, const void *ABuffer, int ARow)
{
    ARow = CheckRow(ARow);
    if (!IsStringFieldType(FDataType) && !IsLargeObjectFieldType(FDataType))
        FDataType = rtl::ftBlob;
    TRow &R = FRows[static_cast<size_t>(ARow)];
    R.Value = rtl::Variant::Null();
    R.Raw = IsWideData() ? rkWide : rkNarrow;
    R.Bytes.assign(ALength, '\0');
    if (ABuffer && ALength)
        std::memcpy(R.Bytes.data(), ABuffer, ALength);
    FBound = true;
    return R.Bytes.data();
}

void TZqParam::GetBlobRawData(uint32_t &ALength, void *&ABuffer, int ARow)
{
    using namespace rtl;
    if (!(FDataType == ftString || FDataType == ftFixedChar || FDataType == ftWideString ||
          IsLargeObjectFieldType(FDataType)))
        ZqRaiseError(nullptr, {"Stan"}, 701, {});
    ARow = CheckRow(ARow);
    TZqParam &T = FLink && ARow < FLink->ArraySize() ? *FLink : *this;
    TRow &R = T.FRows[static_cast<size_t>(ARow)];
    if (R.Raw == rkNone) {
        if (R.Value.IsClear()) {
            ALength = 0;
            ABuffer = nullptr;
            return;
        }
        std::string S = R.Value.IsStr() ? R.Value.AsString() : R.Value.AsBytes();
        if (IsWideData()) {
            R.Bytes.assign(S.size() * 2, '\0');
            ZqWidenText(S.data(), static_cast<uint32_t>(S.size()), R.Bytes.data());
            R.Raw = rkWide;
        } else {
            R.Bytes = std::move(S);
            R.Raw = rkNarrow;
        }
    }
    ALength = static_cast<uint32_t>(R.Raw == rkWide ? R.Bytes.size() / 2 : R.Bytes.size());
    ABuffer = R.Bytes.data();
}

// ---- copying -------------------------------------------------------------------------

void TZqParam::Assign(const TZqParam &ASource)
{
    if (&ASource == this)
        return;
    FDataType = ASource.FDataType;
    FZqDataType = ASource.FZqDataType;
    FBound = ASource.FBound;
    FName = ASource.FName;
    if (FParamType == rtl::ptUnknown)
        FParamType = ASource.FParamType;
    FSize = ASource.FSize;
    FPrecision = ASource.FPrecision;
    FNumericScale = ASource.FNumericScale;
    FActive = ASource.FActive;
    FPosition = ASource.FPosition;
    FIsCaseSensitive = ASource.FIsCaseSensitive;
    FRows.assign(ASource.FRows.size(), TRow());
    FArrayType = ASource.FArrayType;
    for (size_t I = 0; I < FRows.size(); ++I)
        FRows[I].Value = ASource.Values(static_cast<int>(I));
}

void TZqParam::Assign(const rtl::TStrings &ASource)
{
    // A memo parameter: the type first, so that the value is kept as text
    // of that type rather than cleared by a later type change.
    SetDataType(rtl::ftMemo);
    SetValue(rtl::Variant(ASource.Text()));
}

void TZqParam::AssignFieldValue(rtl::TFieldType AFieldType, int AFieldSize, bool AFixedChar,
                                const rtl::Variant &AValue)
{
    using namespace rtl;
    TFieldType T = AFieldType;
    if (T == ftString && AFixedChar)
        T = ftFixedChar;
    else if (T == ftMemo && AFieldSize > 255)
        T = ftString;
    else if (T == ftFmtMemo && AFieldSize > 255)
        T = ftWideString;
    SetDataType(T);
    FZqDataType = dtUnknown;
    FSize = AFieldSize;
    if (T == ftBCD || T == ftFMTBcd)
        FNumericScale = AFieldSize;
    FArrayType = atScalar;
    FRows.assign(1, TRow());
    if (!AValue.IsClear())
        StoreValue(0, AValue);
    FBound = true;
}

bool TZqParam::IsEqual(const TZqParam &AOther) const
{
    if (FActive != AOther.FActive || FPosition != AOther.FPosition || FIsCaseSensitive != AOther.FIsCaseSensitive ||
        FArrayType != AOther.FArrayType || ArraySize() != AOther.ArraySize() || FDataType != AOther.FDataType ||
        FZqDataType != AOther.FZqDataType || FPrecision != AOther.FPrecision ||
        FNumericScale != AOther.FNumericScale || FName != AOther.FName || FParamType != AOther.FParamType ||
        FSize != AOther.FSize || IsNull(0) != AOther.IsNull(0) || FBound != AOther.FBound)
        return false;
    for (int I = 0; I < ArraySize(); ++I)
        if (!SameVariant(Values(I), AOther.Values(I)))
            return false;
    return true;
}

// ---- TZqParams -----------------------------------------------------------------------

bool TZqParams::Designing() const
{
    rtl::TComponent *O = Owner();
    return O && O->HasState(rtl::csDesigning);
}

TZqParam *TZqParams::Add()
{
    FItems.push_back(std::make_unique<TZqParam>(this));
    return FItems.back().get();
}

void TZqParams::Delete(int AIndex)
{
    TZqParam *Gone = Items(AIndex);
    for (auto &P : FItems)
        if (P->FLink == Gone)
            P->FLink = nullptr;
    FItems.erase(FItems.begin() + AIndex);
}

void TZqParams::Clear() { FItems.clear(); }

TZqParam *TZqParams::FindParam(std::string_view AName) const
{
    for (const auto &P : FItems)
        if (SameName(P->FName, AName))
            return P.get();
    return nullptr;
}

TZqParam *TZqParams::ParamByName(std::string_view AName) const
{
    TZqParam *P = FindParam(AName);
    if (!P)
        throw rtl::EDatabaseError("Parameter '" + std::string(AName) + "' not found");
    return P;
}

int TZqParams::GetActiveCount() const
{
    int N = 0;
    for (const auto &P : FItems)
        N += P->FActive ? 1 : 0;
    return N;
}

int TZqParams::GetArraySize() const { return FItems.empty() ? 1 : FItems.front()->ArraySize(); }

bool TZqParams::IsEqual(const TZqParams &AOther) const { return SameItems(*this, AOther); }

void TZqParams::AssignValues(const TZqParams &ASource)
{
    if (&ASource == this)
        return;
    if (FBindMode != 0) {
        int N = std::min(Count(), ASource.Count());
        for (int I = 0; I < N; ++I)
            Items(I)->Assign(*ASource.Items(I));
        return;
    }
    for (int I = ASource.Count() - 1; I >= 0; --I) {
        const TZqParam *S = ASource.Items(I);
        for (auto &P : FItems)
            if (SameName(P->FName, S->FName))
                P->Assign(*S);
    }
}

void TZqParams::Prepare(rtl::TFieldType ADefaultDataType)
{
    for (auto &P : FItems)
        P->FLink = nullptr;
    if (FBindMode == 0)
        for (size_t I = 0; I < FItems.size(); ++I) {
            TZqParam *First = FItems[I].get();
            if (First->FLink)
                continue;
            for (size_t J = I + 1; J < FItems.size(); ++J)
                if (!FItems[J]->FLink && SameName(FItems[J]->FName, First->FName)) {
                    FItems[J]->Assign(*First);
                    FItems[J]->FLink = First;
                }
        }
    for (auto &P : FItems)
        if (P->FDataType == rtl::ftUnknown)
            P->SetDataType(ADefaultDataType);
}

void TZqParams::Assign(const TZqParams &ASource)
{
    if (&ASource == this)
        return;
    FItems.clear();
    for (const auto &S : ASource.FItems)
        Add()->Assign(*S);
    FBindMode = ASource.FBindMode;
}

void TZqParams::ReadData(std::string_view AStream)
{
    size_t Pos = 0;
    auto Need = [&](size_t N) {
        if (Pos + N > AStream.size())
            throw rtl::EDatabaseError("Unable to load bind parameters");
    };
    auto ReadUInt = [&](size_t N) {
        Need(N);
        uint32_t V = 0;
        for (size_t I = 0; I < N; ++I)
            V |= uint32_t(static_cast<uint8_t>(AStream[Pos + I])) << (8 * I);
        Pos += N;
        return V;
    };
    uint32_t Version = ReadUInt(2);
    if (Version > 2)
        throw rtl::EDatabaseError("Unable to load bind parameters");
    const bool V2 = Version == 2;
    uint32_t Count = ReadUInt(V2 ? 4 : 2);
    Clear();
    for (uint32_t I = 0; I < Count; ++I) {
        TZqParam *P = Add();
        uint32_t NameLen = ReadUInt(V2 ? 4 : 1);
        Need(NameLen);
        P->FName = std::string(AStream.substr(Pos, NameLen));
        Pos += NameLen;
        P->FParamType = static_cast<rtl::TParamType>(ReadUInt(1));
        uint32_t Type = ReadUInt(1);
        if (Type >= uint32_t(rtl::FieldTypeCount))
            throw rtl::EDatabaseError("Unable to load bind parameters");
        P->FDataType = static_cast<rtl::TFieldType>(Type);
        if (P->FDataType != rtl::ftUnknown) {
            uint32_t DataLen = ReadUInt(V2 ? 4 : 2);
            Need(DataLen);
            std::string Data(AStream.substr(Pos, DataLen));
            Pos += DataLen;
            // The buffer the raw forms read must hold the fixed-size forms in full.
            Data.resize(std::max<size_t>(Data.size() + 2, 40), '\0');
            P->SetData(Data.data(), int(DataLen), 0);
        }
        if (ReadUInt(1) != 0)
            P->Clear(0);
        P->FBound = ReadUInt(1) != 0;
    }
}

