// Fields: typed readers and writers over the dataset's native buffers.
#include "platform/dataset/TField.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/dataset/TDataSet.h"

using rtl::Variant;

namespace {

std::u16string Utf8ToUtf16(const std::string &S)
{
    std::u16string R;
    for (size_t I = 0; I < S.size();) {
        uint32_t C = uint8_t(S[I]);
        int N = C < 0x80 ? 0 : (C >> 5) == 6 ? 1 : (C >> 4) == 14 ? 2 : (C >> 3) == 30 ? 3 : -1;
        if (N < 0 || I + size_t(N) >= S.size() + (N == 0 ? 1 : 0)) {
            R += u'\xFFFD';
            ++I;
            continue;
        }
        if (N > 0)
            C &= (0x3F >> N);
        for (int K = 1; K <= N; ++K)
            C = (C << 6) | (uint8_t(S[I + size_t(K)]) & 0x3F);
        I += size_t(N) + 1;
        if (C >= 0x10000) {
            C -= 0x10000;
            R += char16_t(0xD800 + (C >> 10));
            R += char16_t(0xDC00 + (C & 0x3FF));
        } else {
            R += char16_t(C);
        }
    }
    return R;
}

std::string Utf16ToUtf8(const char16_t *P)
{
    std::string R;
    for (; *P; ++P) {
        uint32_t C = *P;
        if (C >= 0xD800 && C < 0xDC00 && P[1] >= 0xDC00 && P[1] < 0xE000) {
            C = 0x10000 + ((C - 0xD800) << 10) + (uint32_t(P[1]) - 0xDC00);
            ++P;
        }
        if (C < 0x80) {
            R += char(C);
        } else if (C < 0x800) {
            R += char(0xC0 | (C >> 6));
            R += char(0x80 | (C & 0x3F));
        } else if (C < 0x10000) {
            R += char(0xE0 | (C >> 12));
            R += char(0x80 | ((C >> 6) & 0x3F));
            R += char(0x80 | (C & 0x3F));
        } else {
            R += char(0xF0 | (C >> 18));
            R += char(0x80 | ((C >> 12) & 0x3F));
            R += char(0x80 | ((C >> 6) & 0x3F));
            R += char(0x80 | (C & 0x3F));
        }
    }
    return R;
}

// A text longer than the field's characters is refused whole: cutting it
// would store another name than the one given.
void CheckTextFits(const TField &AField, size_t AChars)
{
    if (AChars > size_t(std::max(AField.Size(), 0)))
        DatabaseError(rtl::Format(DBText::SFieldTextTooLong,
                                  {Variant(AField.DisplayName()), Variant(int64_t(AChars)),
                                   Variant(int64_t(AField.Size()))}));
}

std::string FieldMsg(const char *ATemplate, const std::string &A, const std::string &B = "")
{
    return rtl::Format(ATemplate, {Variant(A), Variant(B)});
}

} // namespace

// ---- native conversions -----------------------------------------------------

int TextCharCount(const std::string &AText)
{
    // Lead bytes start a character; a four-byte sequence is two 16-bit units.
    int N = 0;
    for (unsigned char C : AText)
        N += (C & 0xC0) != 0x80 ? (C >= 0xF0 ? 2 : 1) : 0;
    return N;
}

void ConvertNativeData(rtl::TFieldType AType, int ASize, const void *ASource, void *ADest,
                       bool AToNative)
{
    switch (AType) {
    case rtl::ftDate:
    case rtl::ftTime:
    case rtl::ftDateTime:
        if (AToNative) {
            double D;
            std::memcpy(&D, ASource, 8);
            rtl::TTimeStamp TS = rtl::DateTimeToTimeStamp(D);
            if (AType == rtl::ftDate) {
                int32_t V = TS.Date;
                std::memcpy(ADest, &V, 4);
            } else if (AType == rtl::ftTime) {
                int32_t V = TS.Time;
                std::memcpy(ADest, &V, 4);
            } else {
                double M = rtl::TimeStampToMSecs(TS);
                std::memcpy(ADest, &M, 8);
            }
        } else {
            double D;
            if (AType == rtl::ftDateTime) {
                double M;
                std::memcpy(&M, ASource, 8);
                D = rtl::TimeStampToDateTime(rtl::MSecsToTimeStamp(M));
            } else {
                int32_t V;
                std::memcpy(&V, ASource, 4);
                rtl::TTimeStamp TS;
                if (AType == rtl::ftDate) {
                    TS.Date = V;
                    TS.Time = 0;
                } else {
                    TS.Date = rtl::DateDelta;
                    TS.Time = V;
                }
                D = rtl::TimeStampToDateTime(TS);
            }
            std::memcpy(ADest, &D, 8);
        }
        break;
    case rtl::ftBCD:
        if (AToNative) {
            rtl::Currency C;
            std::memcpy(&C, ASource, sizeof C);
            rtl::TBcd B = rtl::CurrToBcd(C);
            std::memcpy(ADest, &B, sizeof B);
        } else {
            rtl::TBcd B;
            std::memcpy(&B, ASource, sizeof B);
            rtl::Currency C;
            if (!rtl::BcdToCurr(B, C))
                throw rtl::EOverflow("BCD overflow");
            std::memcpy(ADest, &C, sizeof C);
        }
        break;
    case rtl::ftWideString:
        if (AToNative) {
            const auto *S = static_cast<const std::u16string *>(ASource);
            if (S->size() > size_t(std::max(ASize, 0)))
                DatabaseError(rtl::Format(DBText::STextTooLong,
                                          {Variant(int64_t(S->size())), Variant(int64_t(ASize))}));
            size_t N = S->size();
            std::memcpy(ADest, S->data(), N * 2);
            std::memset(static_cast<char16_t *>(ADest) + N, 0, 2);
        } else {
            *static_cast<std::u16string *>(ADest) = static_cast<const char16_t *>(ASource);
        }
        break;
    default:
        std::memcpy(ADest, ASource, size_t(FieldTypeDataSize(AType, ASize)));
        break;
    }
}

TFieldClass DefaultFieldClass(rtl::TFieldType AType)
{
    switch (AType) {
    case rtl::ftString:
    case rtl::ftFixedChar:
        return [](TDataSet *O, rtl::TFieldType T) -> TField * { return new TStringField(O, T); };
    case rtl::ftWideString:
        return [](TDataSet *O, rtl::TFieldType) -> TField * { return new TWideStringField(O); };
    case rtl::ftGuid:
        return [](TDataSet *O, rtl::TFieldType) -> TField * { return new TGuidField(O); };
    case rtl::ftSmallint:
    case rtl::ftInteger:
    case rtl::ftWord:
    case rtl::ftAutoInc:
        return [](TDataSet *O, rtl::TFieldType T) -> TField * { return new TIntegerField(O, T); };
    case rtl::ftLargeint:
        return [](TDataSet *O, rtl::TFieldType) -> TField * { return new TLargeintField(O); };
    case rtl::ftFloat:
    case rtl::ftCurrency:
        return [](TDataSet *O, rtl::TFieldType T) -> TField * { return new TFloatField(O, T); };
    case rtl::ftBCD:
    case rtl::ftFMTBcd:
        return [](TDataSet *O, rtl::TFieldType T) -> TField * { return new TBCDField(O, T); };
    case rtl::ftBoolean:
        return [](TDataSet *O, rtl::TFieldType) -> TField * { return new TBooleanField(O); };
    case rtl::ftDate:
    case rtl::ftTime:
    case rtl::ftDateTime:
        return [](TDataSet *O, rtl::TFieldType T) -> TField * { return new TDateTimeField(O, T); };
    case rtl::ftTimeStamp:
        return [](TDataSet *O, rtl::TFieldType) -> TField * { return new TSQLTimeStampField(O); };
    case rtl::ftBytes:
    case rtl::ftVarBytes:
        return [](TDataSet *O, rtl::TFieldType T) -> TField * { return new TBytesField(O, T); };
    case rtl::ftBlob:
    case rtl::ftMemo:
    case rtl::ftGraphic:
    case rtl::ftFmtMemo:
    case rtl::ftParadoxOle:
    case rtl::ftDBaseOle:
    case rtl::ftTypedBinary:
    case rtl::ftOraBlob:
    case rtl::ftOraClob:
        return [](TDataSet *O, rtl::TFieldType T) -> TField * { return new TBlobField(O, T); };
    default:
        return nullptr;
    }
}

// ---- TField -------------------------------------------------------------------

TField::TField(TDataSet *AOwner, rtl::TFieldType ADataType) : FDataType(ADataType)
{
    (void)AOwner; // a field joins a dataset through SetDataSet
}

TField::~TField()
{
    if (FDataSet)
        FDataSet->Fields().Remove(this);
}

void TField::SetDataSet(TDataSet *AValue)
{
    if (AValue == FDataSet)
        return;
    if (FDataSet) {
        FDataSet->CheckInactive();
        FDataSet->Fields().Remove(this);
    }
    if (AValue) {
        AValue->CheckInactive();
        AValue->Fields().Add(this, true);
    }
}

void TField::SetFieldName(const std::string &AValue)
{
    std::string Old = FFieldName;
    FFieldName = AValue;
    if (FDataSet)
        FDataSet->Fields().Rename(this, Old);
}

int TField::Index() const
{
    return FDataSet ? FDataSet->Fields().IndexOf(this) : -1;
}

bool TField::CanModify() const
{
    return !FReadOnly && FFieldKind != fkLookup && (!FDataSet || FDataSet->CanModify());
}

bool TField::IsIndexField() const
{
    return FDataSet && FDataSet->GetIsIndexField(const_cast<TField *>(this));
}

void TField::CheckInactive() const
{
    if (FDataSet)
        FDataSet->CheckInactive();
}

void TField::PropertyChanged(bool ALayoutAffected)
{
    if (FDataSet && FDataSet->Active())
        FDataSet->DataEvent(ALayoutAffected ? deLayoutChange : deDataSetChange, 0);
}

void TField::FocusControl()
{
    if (FDataSet && FDataSet->Active())
        FDataSet->DataEvent(deFocusControl, reinterpret_cast<intptr_t>(this));
}

bool TField::IsValidChar(char) const { return true; }

void TField::Bind(bool) {}

bool TField::GetData(void *ABuffer, bool ANativeFormat) const
{
    if (!FDataSet)
        DatabaseError(FieldMsg(DBText::SFieldAccessError, DisplayName(), "data"));
    if (FValidating) {
        if (!FValueBuffer)
            return false;
        if (ABuffer) {
            if (ANativeFormat)
                std::memcpy(ABuffer, FValueBuffer, size_t(GetDataSize()));
            else
                FDataSet->DataConvert(const_cast<TField *>(this), FValueBuffer, ABuffer, false);
        }
        return true;
    }
    return FDataSet->GetFieldData(const_cast<TField *>(this), ABuffer, ANativeFormat);
}

void TField::SetData(const void *ABuffer, bool ANativeFormat)
{
    if (!FDataSet)
        DatabaseError(FieldMsg(DBText::SFieldAccessError, DisplayName(), "data"));
    FDataSet->SetFieldData(this, ABuffer, ANativeFormat);
}

void TField::Validate(const void *ABuffer)
{
    if (!OnValidate)
        return;
    FValueBuffer = ABuffer;
    FValidating = true;
    try {
        OnValidate(this);
    } catch (...) {
        FValidating = false;
        FValueBuffer = nullptr;
        throw;
    }
    FValidating = false;
    FValueBuffer = nullptr;
}

int TField::GetDataSize() const { return 0; }

bool TField::IsNull() const { return !GetData(nullptr); }

void TField::Clear() { SetData(nullptr); }

std::string TField::DisplayText() const
{
    std::string S;
    if (OnGetText)
        OnGetText(const_cast<TField *>(this), S, true);
    else
        GetText(S, true);
    return S;
}

std::string TField::Text() const
{
    std::string S;
    if (OnGetText)
        OnGetText(const_cast<TField *>(this), S, false);
    else
        GetText(S, false);
    return S;
}

void TField::SetText(const std::string &AValue)
{
    if (OnSetText)
        OnSetText(this, AValue);
    else
        SetTextValue(AValue);
}

void TField::GetText(std::string &AText, bool) const { AText = GetAsString(); }

void TField::SetTextValue(const std::string &AValue) { SetAsStringValue(AValue); }

void TField::AccessError(const char *ATypeName) const
{
    DatabaseError(FieldMsg(DBText::SFieldAccessError, DisplayName(), ATypeName));
}

std::string TField::GetAsString() const { AccessError("String"); }
void TField::SetAsStringValue(const std::string &) { AccessError("String"); }
int TField::GetAsInteger() const { AccessError("Integer"); }
void TField::SetAsIntegerValue(int) { AccessError("Integer"); }
int64_t TField::GetAsLargeInt() const { return GetAsInteger(); }
void TField::SetAsLargeIntValue(int64_t AValue)
{
    if (AValue < INT32_MIN || AValue > INT32_MAX)
        AccessError("LargeInt");
    SetAsIntegerValue(int(AValue));
}
double TField::GetAsFloat() const { AccessError("Float"); }
void TField::SetAsFloatValue(double) { AccessError("Float"); }
bool TField::GetAsBoolean() const { AccessError("Boolean"); }
void TField::SetAsBooleanValue(bool) { AccessError("Boolean"); }
rtl::TDateTime TField::GetAsDateTime() const { AccessError("DateTime"); }
void TField::SetAsDateTimeValue(rtl::TDateTime) { AccessError("DateTime"); }
rtl::Currency TField::GetAsCurrency() const { return rtl::Currency::FromDouble(GetAsFloat()); }
void TField::SetAsCurrencyValue(rtl::Currency AValue) { SetAsFloatValue(AValue.ToDouble()); }
rtl::TBcd TField::GetAsBCD() const { return rtl::DoubleToBcd(GetAsFloat()); }
void TField::SetAsBCDValue(const rtl::TBcd &AValue) { SetAsFloatValue(rtl::BcdToDouble(AValue)); }
rtl::TSQLTimeStamp TField::GetAsSQLTimeStamp() const
{
    return rtl::DateTimeToSQLTimeStamp(GetAsDateTime());
}
void TField::SetAsSQLTimeStampValue(const rtl::TSQLTimeStamp &AValue)
{
    SetAsDateTimeValue(rtl::SQLTimeStampToDateTime(AValue));
}
Variant TField::GetAsVariant() const { AccessError("Variant"); }
void TField::SetVarValue(const Variant &) { AccessError("Variant"); }

void TField::CalcLookupValue()
{
    if (!FLookupDataSet || !FLookupDataSet->Active() || !FDataSet)
        return;
    Variant Keys = FDataSet->FieldValues(FKeyFields);
    Variant V = FLookupDataSet->Lookup(FLookupKeyFields, Keys, FLookupResultField);
    SetValue(V);
}

// ---- TStringField -----------------------------------------------------------

TStringField::TStringField(TDataSet *AOwner, rtl::TFieldType AType) : TField(AOwner, AType)
{
    FSize = 20;
}

bool TStringField::GetValue(std::string &AValue) const
{
    std::vector<char> Buf(size_t(GetDataSize()) + 1, 0);
    if (!GetData(Buf.data()))
        return false;
    AValue = Buf.data();
    if (FixedChar() && Transliterate)
        AValue = rtl::TrimRight(AValue);
    return true;
}

std::string TStringField::GetAsString() const
{
    std::string S;
    return GetValue(S) ? S : std::string();
}

void TStringField::SetAsStringValue(const std::string &AValue)
{
    // Bytes that are no UTF-8 still have to fit the buffer.
    CheckTextFits(*this, std::max(size_t(TextCharCount(AValue)), (AValue.size() + CTextUnitBytes - 1) / CTextUnitBytes));
    std::vector<char> Buf(size_t(GetDataSize()), 0);
    // Characters are counted as 16-bit units, so their UTF-8 always fits.
    std::memcpy(Buf.data(), AValue.data(), std::min(AValue.size(), Buf.size() - 1));
    SetData(Buf.data());
}

int TStringField::GetAsInteger() const
{
    std::string S = GetAsString();
    if (S.empty())
        return 0;
    int V;
    if (!rtl::TryStrToInt(S, V))
        DatabaseError(FieldMsg(DBText::SInvalidIntegerValue, S, DisplayName()));
    return V;
}

void TStringField::SetAsIntegerValue(int AValue) { SetAsStringValue(rtl::IntToStr(AValue)); }

int64_t TStringField::GetAsLargeInt() const
{
    std::string S = GetAsString();
    if (S.empty())
        return 0;
    int64_t V;
    if (!rtl::TryStrToInt64(S, V))
        DatabaseError(FieldMsg(DBText::SInvalidIntegerValue, S, DisplayName()));
    return V;
}

double TStringField::GetAsFloat() const
{
    std::string S = GetAsString();
    if (S.empty())
        return 0;
    double V;
    if (!rtl::TryStrToFloat(S, V))
        DatabaseError(FieldMsg(DBText::SInvalidFloatValue, S, DisplayName()));
    return V;
}

void TStringField::SetAsFloatValue(double AValue) { SetAsStringValue(rtl::FloatToStr(AValue)); }

bool TStringField::GetAsBoolean() const
{
    std::string S = GetAsString();
    return !S.empty() && (S[0] == 'T' || S[0] == 't' || S[0] == 'Y' || S[0] == 'y');
}

void TStringField::SetAsBooleanValue(bool AValue) { SetAsStringValue(AValue ? "T" : "F"); }

rtl::TDateTime TStringField::GetAsDateTime() const
{
    std::string S = GetAsString();
    if (S.empty())
        return 0;
    rtl::TDateTime D;
    if (!rtl::TryStrToDateTime(S, D))
        DatabaseError(FieldMsg(DBText::SInvalidDateTimeValue, S, DisplayName()));
    return D;
}

void TStringField::SetAsDateTimeValue(rtl::TDateTime AValue)
{
    SetAsStringValue(rtl::DateTimeToStr(AValue));
}

Variant TStringField::GetAsVariant() const
{
    std::string S;
    return GetValue(S) ? Variant(S) : rtl::Null();
}

void TStringField::SetVarValue(const Variant &AValue)
{
    if (AValue.IsClear())
        Clear();
    else
        SetAsStringValue(AValue.AsString());
}

TWideStringField::TWideStringField(TDataSet *AOwner) : TStringField(AOwner, rtl::ftWideString) {}

std::string TWideStringField::GetAsString() const
{
    std::vector<char16_t> Buf(size_t(FSize) + 2, 0);
    if (!GetData(Buf.data()))
        return "";
    return Utf16ToUtf8(Buf.data());
}

void TWideStringField::SetAsStringValue(const std::string &AValue)
{
    std::u16string W = Utf8ToUtf16(AValue);
    CheckTextFits(*this, W.size());
    std::vector<char16_t> Buf(size_t(FSize) + 1, 0);
    std::memcpy(Buf.data(), W.data(), W.size() * 2);
    SetData(Buf.data());
}

TGuidField::TGuidField(TDataSet *AOwner) : TStringField(AOwner, rtl::ftGuid) { FSize = 38; }

// ---- numbers --------------------------------------------------------------------

TNumericField::TNumericField(TDataSet *AOwner, rtl::TFieldType AType) : TField(AOwner, AType)
{
    FAlignment = 1;
}

void TNumericField::SetIntegerText(const std::string &AValue)
{
    std::string S = rtl::Trim(AValue);
    if (S.empty()) {
        Clear();
        return;
    }
    int64_t V;
    if (!rtl::TryStrToInt64(S, V))
        DatabaseError(FieldMsg(DBText::SInvalidIntegerValue, AValue, DisplayName()));
    SetAsLargeIntValue(V);
}

void TNumericField::SetIntegerVariant(const Variant &AValue)
{
    if (AValue.IsClear())
        Clear();
    else if (AValue.IsStr())
        SetAsStringValue(AValue.AsString());
    else
        SetAsLargeIntValue(AValue.AsInt64());
}

std::string TNumericField::IntegerText(int64_t AValue, bool ADisplayText) const
{
    const std::string &Fmt = ADisplayText || FEditFormat.empty() ? FDisplayFormat : FEditFormat;
    return Fmt.empty() ? rtl::IntToStr(AValue) : rtl::FormatFloat(Fmt, double(AValue));
}

TIntegerField::TIntegerField(TDataSet *AOwner, rtl::TFieldType AType) : TNumericField(AOwner, AType)
{
    switch (AType) {
    case rtl::ftSmallint:
        FTypeMin = -32768;
        FTypeMax = 32767;
        break;
    case rtl::ftWord:
        FTypeMin = 0;
        FTypeMax = 65535;
        break;
    default:
        FTypeMin = INT32_MIN;
        FTypeMax = INT32_MAX;
        break;
    }
}

int TIntegerField::GetDataSize() const
{
    return (FDataType == rtl::ftSmallint || FDataType == rtl::ftWord) ? 2 : 4;
}

bool TIntegerField::GetValue(int &AValue) const
{
    if (GetDataSize() == 2) {
        uint16_t Raw = 0;
        if (!GetData(&Raw))
            return false;
        AValue = FDataType == rtl::ftWord ? int(Raw) : int(int16_t(Raw));
        return true;
    }
    int32_t V = 0;
    if (!GetData(&V))
        return false;
    AValue = V;
    return true;
}

void TIntegerField::CheckRange(int64_t AValue) const
{
    int64_t Lo = FTypeMin, Hi = FTypeMax;
    if (FMinValue != 0 || FMaxValue != 0) {
        Lo = std::max<int64_t>(Lo, FMinValue);
        Hi = std::min<int64_t>(Hi, FMaxValue);
    }
    if (AValue < Lo || AValue > Hi)
        DatabaseError(rtl::Format(DBText::SFieldRangeError,
                                  {Variant(rtl::IntToStr(AValue)), Variant(DisplayName()),
                                   Variant(rtl::IntToStr(Lo)), Variant(rtl::IntToStr(Hi))}));
}

int TIntegerField::GetAsInteger() const
{
    int V;
    return GetValue(V) ? V : 0;
}

void TIntegerField::SetAsIntegerValue(int AValue) { SetAsLargeIntValue(AValue); }

int64_t TIntegerField::GetAsLargeInt() const { return GetAsInteger(); }

void TIntegerField::SetAsLargeIntValue(int64_t AValue)
{
    CheckRange(AValue);
    if (GetDataSize() == 2) {
        uint16_t Raw = uint16_t(AValue);
        SetData(&Raw);
    } else {
        int32_t V = int32_t(AValue);
        SetData(&V);
    }
}

double TIntegerField::GetAsFloat() const { return GetAsInteger(); }

void TIntegerField::SetAsFloatValue(double AValue)
{
    // Rounds as the toolkit's Round does: halves to even.
    SetAsLargeIntValue(int64_t(std::nearbyint(AValue)));
}

bool TIntegerField::GetAsBoolean() const { return GetAsInteger() != 0; }

void TIntegerField::SetAsBooleanValue(bool AValue) { SetAsIntegerValue(AValue ? 1 : 0); }

std::string TIntegerField::GetAsString() const
{
    int V;
    return GetValue(V) ? rtl::IntToStr(V) : std::string();
}

void TIntegerField::SetAsStringValue(const std::string &AValue) { SetIntegerText(AValue); }

Variant TIntegerField::GetAsVariant() const
{
    int V;
    return GetValue(V) ? Variant(V) : rtl::Null();
}

void TIntegerField::SetVarValue(const Variant &AValue) { SetIntegerVariant(AValue); }

void TIntegerField::GetText(std::string &AText, bool ADisplayText) const
{
    int V;
    AText = GetValue(V) ? IntegerText(V, ADisplayText) : std::string();
}

TLargeintField::TLargeintField(TDataSet *AOwner) : TNumericField(AOwner, rtl::ftLargeint) {}

bool TLargeintField::GetValue(int64_t &AValue) const { return GetData(&AValue); }

int TLargeintField::GetAsInteger() const
{
    int64_t V = GetAsLargeInt();
    if (V < INT32_MIN || V > INT32_MAX)
        AccessError("Integer");
    return int(V);
}

void TLargeintField::SetAsIntegerValue(int AValue) { SetAsLargeIntValue(AValue); }

int64_t TLargeintField::GetAsLargeInt() const
{
    int64_t V;
    return GetValue(V) ? V : 0;
}

void TLargeintField::SetAsLargeIntValue(int64_t AValue) { SetData(&AValue); }

double TLargeintField::GetAsFloat() const { return double(GetAsLargeInt()); }

void TLargeintField::SetAsFloatValue(double AValue)
{
    SetAsLargeIntValue(int64_t(std::nearbyint(AValue)));
}

std::string TLargeintField::GetAsString() const
{
    int64_t V;
    return GetValue(V) ? rtl::IntToStr(V) : std::string();
}

void TLargeintField::SetAsStringValue(const std::string &AValue) { SetIntegerText(AValue); }

Variant TLargeintField::GetAsVariant() const
{
    int64_t V;
    return GetValue(V) ? Variant(V) : rtl::Null();
}

void TLargeintField::SetVarValue(const Variant &AValue) { SetIntegerVariant(AValue); }

void TLargeintField::GetText(std::string &AText, bool ADisplayText) const
{
    int64_t V;
    AText = GetValue(V) ? IntegerText(V, ADisplayText) : std::string();
}

TFloatField::TFloatField(TDataSet *AOwner, rtl::TFieldType AType) : TNumericField(AOwner, AType)
{
    FCurrency = AType == rtl::ftCurrency;
}

bool TFloatField::GetValue(double &AValue) const { return GetData(&AValue); }

double TFloatField::GetAsFloat() const
{
    double V;
    return GetValue(V) ? V : 0.0;
}

void TFloatField::SetAsFloatValue(double AValue)
{
    if ((FMinValue != 0 || FMaxValue != 0) && (AValue < FMinValue || AValue > FMaxValue))
        DatabaseError(rtl::Format(DBText::SFieldRangeError,
                                  {Variant(rtl::FloatToStr(AValue)), Variant(DisplayName()),
                                   Variant(rtl::FloatToStr(FMinValue)),
                                   Variant(rtl::FloatToStr(FMaxValue))}));
    SetData(&AValue);
}

int TFloatField::GetAsInteger() const { return int(std::nearbyint(GetAsFloat())); }

void TFloatField::SetAsIntegerValue(int AValue) { SetAsFloatValue(AValue); }

int64_t TFloatField::GetAsLargeInt() const { return int64_t(std::nearbyint(GetAsFloat())); }

rtl::Currency TFloatField::GetAsCurrency() const { return rtl::Currency::FromDouble(GetAsFloat()); }

void TFloatField::SetAsCurrencyValue(rtl::Currency AValue) { SetAsFloatValue(AValue.ToDouble()); }

std::string TFloatField::GetAsString() const
{
    double V;
    return GetValue(V) ? rtl::FloatToStr(V) : std::string();
}

void TFloatField::SetAsStringValue(const std::string &AValue)
{
    std::string S = rtl::Trim(AValue);
    if (S.empty()) {
        Clear();
        return;
    }
    double V;
    if (!rtl::TryStrToFloat(S, V))
        DatabaseError(FieldMsg(DBText::SInvalidFloatValue, AValue, DisplayName()));
    SetAsFloatValue(V);
}

Variant TFloatField::GetAsVariant() const
{
    double V;
    return GetValue(V) ? Variant(V) : rtl::Null();
}

void TFloatField::SetVarValue(const Variant &AValue)
{
    if (AValue.IsClear())
        Clear();
    else if (AValue.IsStr())
        SetAsStringValue(AValue.AsString());
    else
        SetAsFloatValue(AValue.AsDouble());
}

void TFloatField::GetText(std::string &AText, bool ADisplayText) const
{
    double V;
    if (!GetValue(V)) {
        AText.clear();
        return;
    }
    const std::string &Fmt = ADisplayText || FEditFormat.empty() ? FDisplayFormat : FEditFormat;
    if (!Fmt.empty())
        AText = rtl::FormatFloat(Fmt, V);
    else if (FCurrency)
        AText = rtl::FloatToStrF(V, ADisplayText ? rtl::ffCurrency : rtl::ffFixed, FPrecision, 2);
    else
        AText = rtl::FloatToStrF(V, rtl::ffGeneral, FPrecision, 0);
}

TBCDField::TBCDField(TDataSet *AOwner, rtl::TFieldType AType) : TNumericField(AOwner, AType)
{
    FSize = 4;
}

bool TBCDField::GetValue(rtl::TBcd &AValue) const { return GetData(&AValue); }

rtl::TBcd TBCDField::GetAsBCD() const
{
    rtl::TBcd B;
    return GetValue(B) ? B : rtl::NullBcd();
}

void TBCDField::SetAsBCDValue(const rtl::TBcd &AValue)
{
    rtl::TBcd Out;
    if (!rtl::NormalizeBcd(AValue, Out, FPrecision, FSize))
        DatabaseError(FieldMsg(DBText::SFieldValueError, DisplayName()));
    SetData(&Out);
}

double TBCDField::GetAsFloat() const { return rtl::BcdToDouble(GetAsBCD()); }
void TBCDField::SetAsFloatValue(double AValue) { SetAsBCDValue(rtl::DoubleToBcd(AValue)); }
int TBCDField::GetAsInteger() const { return int(rtl::BcdToInt64(GetAsBCD())); }
void TBCDField::SetAsIntegerValue(int AValue) { SetAsBCDValue(rtl::IntegerToBcd(AValue)); }
int64_t TBCDField::GetAsLargeInt() const { return rtl::BcdToInt64(GetAsBCD()); }

rtl::Currency TBCDField::GetAsCurrency() const
{
    rtl::Currency C;
    if (!rtl::BcdToCurr(GetAsBCD(), C))
        DatabaseError(FieldMsg(DBText::SFieldValueError, DisplayName()));
    return C;
}

void TBCDField::SetAsCurrencyValue(rtl::Currency AValue) { SetAsBCDValue(rtl::CurrToBcd(AValue)); }

std::string TBCDField::GetAsString() const
{
    rtl::TBcd B;
    return GetValue(B) ? rtl::BcdToStr(B) : std::string();
}

void TBCDField::SetAsStringValue(const std::string &AValue)
{
    std::string S = rtl::Trim(AValue);
    if (S.empty()) {
        Clear();
        return;
    }
    rtl::TBcd B;
    if (!rtl::TryStrToBcd(S, B))
        DatabaseError(FieldMsg(DBText::SInvalidFloatValue, AValue, DisplayName()));
    SetAsBCDValue(B);
}

Variant TBCDField::GetAsVariant() const
{
    rtl::TBcd B;
    if (!GetValue(B))
        return rtl::Null();
    if (FDataType == rtl::ftBCD) {
        rtl::Currency C;
        if (rtl::BcdToCurr(B, C))
            return Variant(C);
    }
    return Variant(B);
}

void TBCDField::SetVarValue(const Variant &AValue)
{
    if (AValue.IsClear())
        Clear();
    else if (AValue.IsStr())
        SetAsStringValue(AValue.AsString());
    else
        SetAsBCDValue(AValue.AsBcd());
}

void TBCDField::GetText(std::string &AText, bool ADisplayText) const
{
    rtl::TBcd B;
    if (!GetValue(B)) {
        AText.clear();
        return;
    }
    const std::string &Fmt = ADisplayText || FEditFormat.empty() ? FDisplayFormat : FEditFormat;
    AText = Fmt.empty() ? rtl::BcdToStr(B) : rtl::FormatFloat(Fmt, rtl::BcdToDouble(B));
}

// ---- booleans -------------------------------------------------------------------

TBooleanField::TBooleanField(TDataSet *AOwner) : TField(AOwner, rtl::ftBoolean) {}

void TBooleanField::SetDisplayValues(const std::string &AValue)
{
    FDisplayValues = AValue;
    size_t P = AValue.find(';');
    if (AValue.empty()) {
        FTrueText = "True";
        FFalseText = "False";
    } else if (P == std::string::npos) {
        FTrueText = AValue;
        FFalseText.clear();
    } else {
        FTrueText = AValue.substr(0, P);
        FFalseText = AValue.substr(P + 1);
    }
    PropertyChanged(false);
}

bool TBooleanField::GetValue(bool &AValue) const
{
    int16_t Raw = 0;
    if (!GetData(&Raw))
        return false;
    AValue = Raw != 0;
    return true;
}

bool TBooleanField::GetAsBoolean() const
{
    bool V;
    return GetValue(V) && V;
}

void TBooleanField::SetAsBooleanValue(bool AValue)
{
    int16_t Raw = AValue ? -1 : 0;
    SetData(&Raw);
}

int TBooleanField::GetAsInteger() const { return GetAsBoolean() ? 1 : 0; }
void TBooleanField::SetAsIntegerValue(int AValue) { SetAsBooleanValue(AValue != 0); }

std::string TBooleanField::GetAsString() const
{
    bool V;
    if (!GetValue(V))
        return "";
    return V ? FTrueText : FFalseText;
}

void TBooleanField::SetAsStringValue(const std::string &AValue)
{
    std::string S = rtl::Trim(AValue);
    if (S.empty()) {
        Clear();
        return;
    }
    // A prefix of either text is enough, as the toolkit accepts "T" for True.
    auto Prefix = [&](const std::string &Full) {
        return !Full.empty() && S.size() <= Full.size() &&
               rtl::AnsiSameText(Full.substr(0, S.size()), S);
    };
    if (Prefix(FTrueText))
        SetAsBooleanValue(true);
    else if (Prefix(FFalseText))
        SetAsBooleanValue(false);
    else
        DatabaseError(FieldMsg(DBText::SInvalidBoolValue, AValue, DisplayName()));
}

Variant TBooleanField::GetAsVariant() const
{
    bool V;
    return GetValue(V) ? Variant(V) : rtl::Null();
}

void TBooleanField::SetVarValue(const Variant &AValue)
{
    if (AValue.IsClear())
        Clear();
    else if (AValue.IsStr())
        SetAsStringValue(AValue.AsString());
    else
        SetAsBooleanValue(AValue.AsBoolean());
}

// ---- dates and times --------------------------------------------------------------

TDateTimeField::TDateTimeField(TDataSet *AOwner, rtl::TFieldType AType) : TField(AOwner, AType) {}

int TDateTimeField::GetDataSize() const { return FDataType == rtl::ftDateTime ? 8 : 4; }

bool TDateTimeField::GetValue(rtl::TDateTime &AValue) const
{
    return GetData(&AValue, false);
}

rtl::TDateTime TDateTimeField::GetAsDateTime() const
{
    rtl::TDateTime D;
    return GetValue(D) ? D : 0.0;
}

void TDateTimeField::SetAsDateTimeValue(rtl::TDateTime AValue) { SetData(&AValue, false); }

double TDateTimeField::GetAsFloat() const { return GetAsDateTime(); }
void TDateTimeField::SetAsFloatValue(double AValue) { SetAsDateTimeValue(AValue); }

rtl::TSQLTimeStamp TDateTimeField::GetAsSQLTimeStamp() const
{
    return rtl::DateTimeToSQLTimeStamp(GetAsDateTime());
}

void TDateTimeField::SetAsSQLTimeStampValue(const rtl::TSQLTimeStamp &AValue)
{
    SetAsDateTimeValue(rtl::SQLTimeStampToDateTime(AValue));
}

std::string TDateTimeField::GetAsString() const
{
    std::string S;
    GetText(S, false);
    return S;
}

void TDateTimeField::SetAsStringValue(const std::string &AValue)
{
    std::string S = rtl::Trim(AValue);
    if (S.empty()) {
        Clear();
        return;
    }
    rtl::TDateTime D;
    bool Ok = FDataType == rtl::ftDate   ? rtl::TryStrToDate(S, D)
              : FDataType == rtl::ftTime ? rtl::TryStrToTime(S, D)
                                         : rtl::TryStrToDateTime(S, D);
    if (!Ok)
        DatabaseError(FieldMsg(DBText::SInvalidDateTimeValue, AValue, DisplayName()));
    SetAsDateTimeValue(D);
}

Variant TDateTimeField::GetAsVariant() const
{
    rtl::TDateTime D;
    if (!GetValue(D))
        return rtl::Null();
    return rtl::VarAsType(Variant(D), rtl::varDate);
}

void TDateTimeField::SetVarValue(const Variant &AValue)
{
    if (AValue.IsClear())
        Clear();
    else if (AValue.IsStr())
        SetAsStringValue(AValue.AsString());
    else
        SetAsDateTimeValue(AValue.AsDateTime());
}

void TDateTimeField::GetText(std::string &AText, bool ADisplayText) const
{
    rtl::TDateTime D;
    if (!GetValue(D)) {
        AText.clear();
        return;
    }
    std::string Fmt;
    if (ADisplayText && !FDisplayFormat.empty())
        Fmt = FDisplayFormat;
    else if (FDataType == rtl::ftDate)
        Fmt = rtl::FormatSettings.ShortDateFormat;
    else if (FDataType == rtl::ftTime)
        Fmt = rtl::FormatSettings.LongTimeFormat;
    else
        Fmt = "c";
    AText = rtl::FormatDateTime(Fmt, D);
}

TSQLTimeStampField::TSQLTimeStampField(TDataSet *AOwner) : TField(AOwner, rtl::ftTimeStamp) {}

rtl::TSQLTimeStamp TSQLTimeStampField::GetAsSQLTimeStamp() const
{
    rtl::TSQLTimeStamp TS;
    return GetData(&TS) ? TS : rtl::TSQLTimeStamp{};
}

void TSQLTimeStampField::SetAsSQLTimeStampValue(const rtl::TSQLTimeStamp &AValue) { SetData(&AValue); }

rtl::TDateTime TSQLTimeStampField::GetAsDateTime() const
{
    rtl::TSQLTimeStamp TS;
    return GetData(&TS) ? rtl::SQLTimeStampToDateTime(TS) : 0.0;
}

void TSQLTimeStampField::SetAsDateTimeValue(rtl::TDateTime AValue)
{
    SetAsSQLTimeStampValue(rtl::DateTimeToSQLTimeStamp(AValue));
}

std::string TSQLTimeStampField::GetAsString() const
{
    std::string S;
    GetText(S, false);
    return S;
}

void TSQLTimeStampField::SetAsStringValue(const std::string &AValue)
{
    std::string S = rtl::Trim(AValue);
    if (S.empty()) {
        Clear();
        return;
    }
    rtl::TDateTime D;
    if (!rtl::TryStrToDateTime(S, D))
        DatabaseError(FieldMsg(DBText::SInvalidDateTimeValue, AValue, DisplayName()));
    SetAsDateTimeValue(D);
}

Variant TSQLTimeStampField::GetAsVariant() const
{
    rtl::TSQLTimeStamp TS;
    return GetData(&TS) ? Variant(TS) : rtl::Null();
}

void TSQLTimeStampField::SetVarValue(const Variant &AValue)
{
    if (AValue.IsClear())
        Clear();
    else if (AValue.IsStr())
        SetAsStringValue(AValue.AsString());
    else
        SetAsSQLTimeStampValue(AValue.AsSQLTimeStamp());
}

void TSQLTimeStampField::GetText(std::string &AText, bool ADisplayText) const
{
    rtl::TSQLTimeStamp TS;
    if (!GetData(&TS)) {
        AText.clear();
        return;
    }
    AText = rtl::SQLTimeStampToStr(ADisplayText ? FDisplayFormat : std::string(), TS);
}

// ---- bytes and blobs ----------------------------------------------------------------

TBytesField::TBytesField(TDataSet *AOwner, rtl::TFieldType AType) : TField(AOwner, AType)
{
    FSize = 16;
}

int TBytesField::GetDataSize() const { return FDataType == rtl::ftVarBytes ? FSize + 2 : FSize; }

std::string TBytesField::GetAsString() const
{
    std::vector<uint8_t> Buf(size_t(GetDataSize()) + 2, 0);
    if (!GetData(Buf.data()))
        return "";
    if (FDataType == rtl::ftVarBytes) {
        uint16_t N;
        std::memcpy(&N, Buf.data(), 2);
        return std::string(reinterpret_cast<char *>(Buf.data()) + 2, std::min<size_t>(N, size_t(FSize)));
    }
    return std::string(reinterpret_cast<char *>(Buf.data()), size_t(FSize));
}

void TBytesField::SetAsStringValue(const std::string &AValue)
{
    std::vector<uint8_t> Buf(size_t(GetDataSize()) + 2, 0);
    size_t N = std::min(AValue.size(), size_t(FSize));
    if (FDataType == rtl::ftVarBytes) {
        uint16_t L = uint16_t(N);
        std::memcpy(Buf.data(), &L, 2);
        std::memcpy(Buf.data() + 2, AValue.data(), N);
    } else {
        std::memcpy(Buf.data(), AValue.data(), N);
    }
    SetData(Buf.data());
}

Variant TBytesField::GetAsVariant() const
{
    if (IsNull())
        return rtl::Null();
    return Variant(GetAsString());
}

void TBytesField::SetVarValue(const Variant &AValue)
{
    if (AValue.IsClear())
        Clear();
    else
        SetAsStringValue(AValue.AsBytes());
}

TBlobField::TBlobField(TDataSet *AOwner, rtl::TFieldType AType) : TField(AOwner, AType) {}

int TBlobField::BlobSize() const
{
    if (!FDataSet)
        return 0;
    return int(FDataSet->CreateBlobStream(const_cast<TBlobField *>(this), bmRead)->Size());
}

std::string TBlobField::GetAsString() const
{
    if (!FDataSet)
        return "";
    return FDataSet->CreateBlobStream(const_cast<TBlobField *>(this), bmRead)->ReadAll();
}

void TBlobField::SetAsStringValue(const std::string &AValue)
{
    if (!FDataSet)
        AccessError("String");
    auto S = FDataSet->CreateBlobStream(this, bmWrite);
    S->Write(AValue.data(), int64_t(AValue.size()));
}

Variant TBlobField::GetAsVariant() const
{
    if (IsNull())
        return rtl::Null();
    return Variant(GetAsString());
}

void TBlobField::SetVarValue(const Variant &AValue)
{
    if (AValue.IsClear())
        Clear();
    else
        SetAsStringValue(AValue.AsString());
}

void TBlobField::GetText(std::string &AText, bool ADisplayText) const
{
    if (FDataType == rtl::ftMemo || FDataType == rtl::ftFmtMemo || FDataType == rtl::ftOraClob)
        AText = ADisplayText ? std::string("(MEMO)") : GetAsString();
    else
        AText = ADisplayText ? std::string("(BLOB)") : GetAsString();
}

// ---- TFields ----------------------------------------------------------------------------

TFields::~TFields() { Clear(); }

void TFields::Add(TField *AField, bool AOwned)
{
    // A field handed over is freed when it cannot join (after the message
    // naming it is made).
    std::unique_ptr<TField> Owned(AOwned ? AField : nullptr);
    std::string Key = rtl::UpperCase(AField->FieldName());
    if (!Key.empty() && FByName.count(Key))
        DatabaseError(rtl::Format(DBText::SDuplicateFieldName, {Variant(AField->FieldName())}));
    if (Owned)
        FOwned.reserve(FOwned.size() + 1);
    FList.push_back(AField);
    if (Owned)
        FOwned.push_back(std::move(Owned));
    if (!Key.empty())
        FByName[Key] = AField;
    AField->FDataSet = FDataSet;
}

void TFields::Remove(TField *AField)
{
    auto It = std::find(FList.begin(), FList.end(), AField);
    if (It == FList.end())
        return;
    FList.erase(It);
    auto K = FByName.find(rtl::UpperCase(AField->FieldName()));
    if (K != FByName.end() && K->second == AField)
        FByName.erase(K);
    for (auto O = FOwned.begin(); O != FOwned.end(); ++O) {
        if (O->get() == AField) {
            O->release(); // the caller is deleting or re-homing it
            FOwned.erase(O);
            break;
        }
    }
    AField->FDataSet = nullptr;
}

void TFields::Clear()
{
    std::vector<std::unique_ptr<TField>> Owned = std::move(FOwned);
    FOwned.clear();
    for (TField *F : FList)
        F->FDataSet = nullptr;
    FList.clear();
    FByName.clear();
    Owned.clear();
}

TField *TFields::Fields(int AIndex) const
{
    if (AIndex < 0 || AIndex >= int(FList.size()))
        DatabaseError(DBText::SFieldIndexError);
    return FList[size_t(AIndex)];
}

TField *TFields::FindField(const std::string &AName) const
{
    auto It = FByName.find(rtl::UpperCase(AName));
    return It == FByName.end() ? nullptr : It->second;
}

TField *TFields::FieldByName(const std::string &AName) const
{
    TField *F = FindField(AName);
    if (!F)
        DatabaseError(rtl::Format(DBText::SFieldNotFound, {Variant(AName)}), FDataSet);
    return F;
}

TField *TFields::FieldByNumber(int AFieldNo) const
{
    for (TField *F : FList)
        if (F->FieldNo() == AFieldNo)
            return F;
    return nullptr;
}

int TFields::IndexOf(const TField *AField) const
{
    auto It = std::find(FList.begin(), FList.end(), AField);
    return It == FList.end() ? -1 : int(It - FList.begin());
}

void TFields::GetFieldNames(std::vector<std::string> &AList) const
{
    for (TField *F : FList)
        AList.push_back(F->FieldName());
}

void TFields::Rename(TField *AField, const std::string &AOld)
{
    auto K = FByName.find(rtl::UpperCase(AOld));
    if (K != FByName.end() && K->second == AField)
        FByName.erase(K);
    std::string Key = rtl::UpperCase(AField->FieldName());
    if (!Key.empty()) {
        if (FByName.count(Key) && FByName[Key] != AField)
            DatabaseError(rtl::Format(DBText::SDuplicateFieldName, {Variant(AField->FieldName())}));
        FByName[Key] = AField;
    }
}

// ---- aggregates ---------------------------------------------------------------------

TAggregateField::TAggregateField(TDataSet *AOwner) : TField(AOwner, rtl::ftUnknown)
{
    FFieldKind = fkAggregate;
}

void TAggregateField::Reset()
{
    // A changed definition takes effect at once on an open dataset.
    if (FDataSet && FDataSet->Active())
        FDataSet->ResetAggField(this);
}

void TAggregateField::SetExpression(const std::string &AValue)
{
    if (FExpression != AValue) {
        FExpression = AValue;
        Reset();
    }
}

void TAggregateField::SetGroupingLevel(int AValue)
{
    if (FGroupingLevel != AValue) {
        FGroupingLevel = AValue;
        Reset();
    }
}

void TAggregateField::SetIndexName(const std::string &AValue)
{
    if (FIndexName != AValue) {
        FIndexName = AValue;
        Reset();
    }
}

void TAggregateField::SetActive(bool AValue)
{
    if (FActive != AValue) {
        FActive = AValue;
        Reset();
    }
}

Variant TAggregateField::GetAsVariant() const
{
    if (!FDataSet)
        return rtl::Null();
    return FDataSet->GetAggregateValue(const_cast<TAggregateField *>(this));
}

bool TAggregateField::IsNull() const { return GetAsVariant().IsClear(); }

std::string TAggregateField::GetAsString() const
{
    Variant V = GetAsVariant();
    return V.IsClear() ? std::string() : V.AsString();
}

int TAggregateField::GetAsInteger() const
{
    Variant V = GetAsVariant();
    return V.IsClear() ? 0 : int(V.AsInt64());
}

int64_t TAggregateField::GetAsLargeInt() const
{
    Variant V = GetAsVariant();
    return V.IsClear() ? 0 : V.AsInt64();
}

double TAggregateField::GetAsFloat() const
{
    Variant V = GetAsVariant();
    return V.IsClear() ? 0.0 : V.AsDouble();
}

void TAggregateField::GetText(std::string &AText, bool) const { AText = GetAsString(); }
