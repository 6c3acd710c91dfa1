// Variant: conversions, comparison and arithmetic in the toolkit's manner.
#include "platform/rtl/Variant.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace rtl {

namespace {

bool IsIntType(TVarType T)
{
    switch (T) {
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord:
    case varLongWord: case varInt64: case varBoolean:
        return true;
    default:
        return false;
    }
}

[[noreturn]] void CastError(TVarType From, TVarType To)
{
    throw EVariantTypeCastError("Could not convert variant of type (" + VarTypeAsText(From) +
                                ") into type (" + VarTypeAsText(To) + ")");
}

[[noreturn]] void OverflowError() { throw EVariantOverflowError("Arithmetic overflow occurred"); }

// Round half to even, the variant's double-to-integer rule.
double BankersRound(double D) { return std::nearbyint(D); }

int64_t DoubleToInt64(double D, TVarType From, TVarType To)
{
    if (!std::isfinite(D)) CastError(From, To);
    double R = BankersRound(D);
    if (R >= 9.2233720368547758e18 || R < -9.2233720368547758e18) OverflowError();
    return int64_t(R);
}

bool StrToNumber(const std::string &S, double &D)
{
    if (TryStrToFloat(S, D)) return true;
    // Integer texts in hexadecimal ("$1F") read as numbers too.
    int64_t I;
    if (TryStrToInt64(S, I)) { D = double(I); return true; }
    return false;
}

} // namespace

Variant Variant::FromTyped(int64_t V, TVarType AType)
{
    Variant R;
    switch (AType) {
    case varSmallint: R.FData.I = int16_t(V); break;
    case varShortInt: R.FData.I = int8_t(V); break;
    case varByte: R.FData.I = uint8_t(V); break;
    case varWord: R.FData.I = uint16_t(V); break;
    case varLongWord: R.FData.I = uint32_t(V); break;
    case varInteger: R.FData.I = int32_t(V); break;
    case varBoolean: R.FData.I = V ? -1 : 0; break;
    case varUInt64: R.FData.U = uint64_t(V); break;
    default: R.FData.I = V; AType = varInt64; break;
    }
    R.FType = AType;
    return R;
}

Variant Variant::FromBytes(std::string Bytes)
{
    Variant R;
    R.FType = varArray | varByte;
    R.FStr = std::move(Bytes);
    return R;
}

Variant Variant::FromArray(std::vector<Variant> Items)
{
    Variant R;
    R.FType = varArray | varVariant;
    R.FArray = std::make_shared<std::vector<Variant>>(std::move(Items));
    return R;
}

bool Variant::IsNumeric() const noexcept
{
    return IsIntType(FType) || FType == varUInt64 || IsFloat();
}

bool Variant::IsOrdinal() const noexcept { return IsIntType(FType) || FType == varUInt64; }

bool Variant::IsFloat() const noexcept
{
    return FType == varSingle || FType == varDouble || FType == varCurrency || FType == varFMTBcd;
}

bool Variant::AsBoolean() const
{
    switch (FType) {
    case varEmpty: return false;
    case varUInt64: return FData.U != 0;
    case varSingle: case varDouble: case varDate: return FData.D != 0;
    case varCurrency: return FData.I != 0;
    case varFMTBcd: return BcdCompare(FData.Bcd, IntegerToBcd(0)) != 0;
    case varString: case varOleStr: {
        bool B;
        if (TryStrToBool(FStr, B)) return B;
        CastError(FType, varBoolean);
    }
    default:
        if (IsIntType(FType)) return FData.I != 0;
        CastError(FType, varBoolean);
    }
}

int64_t Variant::AsInt64() const
{
    switch (FType) {
    case varEmpty: return 0;
    case varUInt64:
        if (FData.U > uint64_t(INT64_MAX)) OverflowError();
        return int64_t(FData.U);
    case varSingle: case varDouble: case varDate: return DoubleToInt64(FData.D, FType, varInt64);
    case varCurrency: return DoubleToInt64(double(FData.I) / 10000.0, FType, varInt64);
    case varFMTBcd: return DoubleToInt64(BcdToDouble(FData.Bcd), FType, varInt64);
    case varString: case varOleStr: {
        int64_t I;
        if (TryStrToInt64(FStr, I)) return I;
        double D;
        if (TryStrToFloat(FStr, D)) return DoubleToInt64(D, FType, varInt64);
        CastError(FType, varInt64);
    }
    default:
        if (IsIntType(FType)) return FData.I;
        CastError(FType, varInt64);
    }
}

int Variant::AsInteger() const
{
    int64_t V = AsInt64();
    if (V < INT32_MIN || V > INT32_MAX) OverflowError();
    return int(V);
}

uint64_t Variant::AsUInt64() const
{
    if (FType == varUInt64) return FData.U;
    int64_t V = AsInt64();
    if (V < 0) OverflowError();
    return uint64_t(V);
}

double Variant::AsDouble() const
{
    switch (FType) {
    case varEmpty: return 0;
    case varUInt64: return double(FData.U);
    case varSingle: case varDouble: case varDate: return FData.D;
    case varCurrency: return double(FData.I) / 10000.0;
    case varFMTBcd: return BcdToDouble(FData.Bcd);
    case varSQLTimeStamp: return SQLTimeStampToDateTime(FData.TS);
    case varString: case varOleStr: {
        double D;
        if (StrToNumber(FStr, D)) return D;
        CastError(FType, varDouble);
    }
    default:
        if (IsIntType(FType)) return double(FData.I);
        CastError(FType, varDouble);
    }
}

Currency Variant::AsCurrency() const
{
    switch (FType) {
    case varCurrency: return Currency::FromRaw(FData.I);
    case varFMTBcd: {
        Currency C;
        if (!BcdToCurr(FData.Bcd, C)) OverflowError();
        return C;
    }
    case varString: case varOleStr: {
        Currency C;
        if (TryStrToCurr(FStr, C)) return C;
        CastError(FType, varCurrency);
    }
    default:
        if (IsIntType(FType)) return Currency::FromInt(FData.I);
        try {
            return Currency::FromDouble(AsDouble());
        } catch (const EOverflow &) {
            OverflowError();
        }
    }
}

TDateTime Variant::AsDateTime() const
{
    switch (FType) {
    case varString: case varOleStr: {
        TDateTime D;
        if (TryStrToDateTime(FStr, D)) return D;
        if (TryStrToFloat(FStr, D)) return D;
        CastError(FType, varDate);
    }
    case varSQLTimeStamp: return SQLTimeStampToDateTime(FData.TS);
    default: return AsDouble();
    }
}

TBcd Variant::AsBcd() const
{
    switch (FType) {
    case varEmpty: return IntegerToBcd(0);
    case varFMTBcd: return FData.Bcd;
    case varCurrency: return CurrToBcd(Currency::FromRaw(FData.I));
    case varUInt64: {
        TBcd B;
        TryStrToBcd(std::to_string(FData.U), B);
        return B;
    }
    case varString: case varOleStr: {
        TBcd B;
        if (TryStrToBcd(FStr, B)) return B;
        double D;
        if (TryStrToFloat(FStr, D)) return DoubleToBcd(D);
        CastError(FType, varFMTBcd);
    }
    default:
        if (IsIntType(FType)) return IntegerToBcd(FData.I);
        return DoubleToBcd(AsDouble());
    }
}

TSQLTimeStamp Variant::AsSQLTimeStamp() const
{
    if (FType == varSQLTimeStamp) return FData.TS;
    return DateTimeToSQLTimeStamp(AsDateTime());
}

std::string Variant::AsString() const
{
    switch (FType) {
    case varEmpty: return "";
    case varBoolean: return FData.I ? "True" : "False";
    case varUInt64: return std::to_string(FData.U);
    case varSingle: case varDouble: return FloatToStr(FData.D);
    case varDate: return DateTimeToStr(FData.D);
    case varCurrency: return CurrToStr(Currency::FromRaw(FData.I));
    case varFMTBcd: return BcdToStr(FData.Bcd);
    case varSQLTimeStamp: return DateTimeToStr(SQLTimeStampToDateTime(FData.TS));
    case varString: case varOleStr: return FStr;
    default:
        if (IsIntType(FType)) return std::to_string(FData.I);
        if (FType == (varArray | varByte)) return FStr;
        CastError(FType, varString);
    }
}

std::string Variant::AsBytes() const
{
    if (FType == (varArray | varByte) || IsStr()) return FStr;
    if (FType == varEmpty) return {};
    CastError(FType, varArray | varByte);
}

int Variant::ArrayCount() const
{
    if (FType == (varArray | varByte)) return int(FStr.size());
    if (FArray) return int(FArray->size());
    return 0;
}

const std::vector<Variant> &Variant::Items() const
{
    static const std::vector<Variant> Empty;
    return FArray ? *FArray : Empty;
}

const Variant &Variant::operator[](int Index) const
{
    if (!FArray || Index < 0 || size_t(Index) >= FArray->size())
        throw EVariantBadIndexError("Variant or safe array index out of bounds");
    return (*FArray)[size_t(Index)];
}

Variant &Variant::operator[](int Index)
{
    if (!FArray || Index < 0 || size_t(Index) >= FArray->size())
        throw EVariantBadIndexError("Variant or safe array index out of bounds");
    if (FArray.use_count() > 1) FArray = std::make_shared<std::vector<Variant>>(*FArray);
    return (*FArray)[size_t(Index)];
}

// ---- comparison -----------------------------------------------------------

namespace {

bool IsText(const Variant &V) { return V.IsStr(); }

// The kind both sides are compared as.
enum class TCmpKind { Int, UInt, Double, Currency, Bcd, Text, Date };

TCmpKind CommonKind(const Variant &A, const Variant &B)
{
    TVarType TA = A.VType(), TB = B.VType();
    if (IsText(A) && IsText(B)) return TCmpKind::Text;
    if (IsText(A) && TB == varEmpty) return TCmpKind::Text;
    if (IsText(B) && TA == varEmpty) return TCmpKind::Text;
    if (TA == varDate || TB == varDate || TA == varSQLTimeStamp || TB == varSQLTimeStamp) return TCmpKind::Date;
    if (TA == varFMTBcd || TB == varFMTBcd) return TCmpKind::Bcd;
    if ((TA == varCurrency || IsIntType(TA) || TA == varEmpty) &&
        (TB == varCurrency || IsIntType(TB) || TB == varEmpty) && (TA == varCurrency || TB == varCurrency))
        return TCmpKind::Currency;
    if ((TA == varUInt64 || TB == varUInt64) && (A.IsOrdinal() || TA == varEmpty) && (B.IsOrdinal() || TB == varEmpty))
        return TCmpKind::UInt;
    if ((IsIntType(TA) || TA == varEmpty) && (IsIntType(TB) || TB == varEmpty)) return TCmpKind::Int;
    return TCmpKind::Double;
}

template <typename T> int Cmp3(T A, T B) { return A < B ? -1 : (B < A ? 1 : 0); }

} // namespace

int VarCompareOrdered(const Variant &A, const Variant &B)
{
    if (A.IsNull() || B.IsNull()) return A.IsNull() ? (B.IsNull() ? 0 : -1) : 1;
    if (A.IsArray() || B.IsArray()) throw EVariantInvalidOpError("Invalid variant operation");
    switch (CommonKind(A, B)) {
    case TCmpKind::Text: return AnsiCompareStr(A.AsString(), B.AsString());
    case TCmpKind::Date: return Cmp3(A.AsDateTime(), B.AsDateTime());
    case TCmpKind::Bcd: return BcdCompare(A.AsBcd(), B.AsBcd());
    case TCmpKind::Currency: return Cmp3(A.AsCurrency().Value, B.AsCurrency().Value);
    case TCmpKind::UInt: {
        // An ordinal below zero sorts before every unsigned value.
        bool NA = A.VType() != varUInt64 && A.AsInt64() < 0, NB = B.VType() != varUInt64 && B.AsInt64() < 0;
        if (NA || NB) return NA && NB ? Cmp3(A.AsInt64(), B.AsInt64()) : (NA ? -1 : 1);
        return Cmp3(A.AsUInt64(), B.AsUInt64());
    }
    case TCmpKind::Int: return Cmp3(A.AsInt64(), B.AsInt64());
    case TCmpKind::Double: return Cmp3(A.AsDouble(), B.AsDouble());
    }
    return 0;
}

bool operator==(const Variant &A, const Variant &B)
{
    if (A.IsNull() || B.IsNull()) return A.IsNull() && B.IsNull();
    if (A.IsArray() || B.IsArray()) {
        if (A.VType() != B.VType()) return false;
        if (A.VType() == (varArray | varByte)) return A.FStr == B.FStr;
        if (A.ArrayCount() != B.ArrayCount()) return false;
        for (int I = 0; I < A.ArrayCount(); ++I)
            if (!(A[I] == B[I])) return false;
        return true;
    }
    return VarCompareOrdered(A, B) == 0;
}

bool operator<(const Variant &A, const Variant &B) { return VarCompareOrdered(A, B) < 0; }

TVariantRelationship VarCompareValue(const Variant &A, const Variant &B)
{
    if (A.IsEmpty()) return B.IsEmpty() ? vrEqual : vrNotEqual;
    if (A.IsNull()) return B.IsNull() ? vrEqual : vrNotEqual;
    if (B.IsEmpty() || B.IsNull()) return vrNotEqual;
    int C = VarCompareOrdered(A, B);
    return C == 0 ? vrEqual : (C < 0 ? vrLessThan : vrGreaterThan);
}

bool VarSameValue(const Variant &A, const Variant &B)
{
    if (A.IsEmpty()) return B.IsEmpty();
    if (A.IsNull()) return B.IsNull();
    if (B.IsEmpty() || B.IsNull()) return false;
    return A == B;
}

// ---- arithmetic -----------------------------------------------------------

namespace {

enum class TOp { Add, Sub, Mul, Div };

Variant IntResult(int64_t V, TVarType TA, TVarType TB)
{
    // Stay in Integer while both sides were 32-bit or smaller and it fits.
    bool Small = TA != varInt64 && TB != varInt64;
    if (Small && V >= INT32_MIN && V <= INT32_MAX) return Variant(int(V));
    return Variant(V);
}

Variant Arith(const Variant &A, const Variant &B, TOp Op)
{
    if (A.IsNull() || B.IsNull()) return Variant::Null();
    if (A.IsArray() || B.IsArray()) throw EVariantInvalidOpError("Invalid variant operation");
    TVarType TA = A.VType(), TB = B.VType();
    if (Op == TOp::Add && ((A.IsStr() && (B.IsStr() || B.IsEmpty())) || (B.IsStr() && A.IsEmpty())))
        return Variant(A.AsString() + B.AsString());
    if (Op == TOp::Div) {
        double Y = B.AsDouble();
        if (Y == 0) {
            if (A.AsDouble() == 0) throw EInvalidOp("Invalid floating point operation");
            throw EZeroDivide("Floating point division by zero");
        }
        return Variant(A.AsDouble() / Y);
    }
    bool DateA = TA == varDate || TA == varSQLTimeStamp, DateB = TB == varDate || TB == varSQLTimeStamp;
    if (DateA || DateB) {
        double X = A.AsDouble(), Y = B.AsDouble();
        double R = Op == TOp::Add ? X + Y : Op == TOp::Sub ? X - Y : X * Y;
        // date + number and date - number stay dates; date - date is a span of days.
        if ((Op == TOp::Add && (DateA != DateB)) || (Op == TOp::Sub && DateA && !DateB)) return Variant::FromDate(R);
        return Variant(R);
    }
    bool IntA = IsIntType(TA) || TA == varEmpty, IntB = IsIntType(TB) || TB == varEmpty;
    if (IntA && IntB) {
        int64_t X = A.AsInt64(), Y = B.AsInt64(), R;
        bool Ovf = Op == TOp::Add ? __builtin_add_overflow(X, Y, &R)
                 : Op == TOp::Sub ? __builtin_sub_overflow(X, Y, &R)
                                  : __builtin_mul_overflow(X, Y, &R);
        if (!Ovf) {
            if (TA == varEmpty) TA = TB;
            if (TB == varEmpty) TB = TA;
            return IntResult(R, TA, TB);
        }
        double DX = double(X), DY = double(Y);
        return Variant(Op == TOp::Add ? DX + DY : Op == TOp::Sub ? DX - DY : DX * DY);
    }
    if ((TA == varCurrency || IntA) && (TB == varCurrency || IntB) && Op != TOp::Mul) {
        int64_t R;
        bool Ovf = Op == TOp::Add ? __builtin_add_overflow(A.AsCurrency().Value, B.AsCurrency().Value, &R)
                                  : __builtin_sub_overflow(A.AsCurrency().Value, B.AsCurrency().Value, &R);
        if (Ovf) OverflowError();
        return Variant(Currency::FromRaw(R));
    }
    double X = A.AsDouble(), Y = B.AsDouble();
    double R = Op == TOp::Add ? X + Y : Op == TOp::Sub ? X - Y : X * Y;
    if (TA == varFMTBcd || TB == varFMTBcd) return Variant(DoubleToBcd(R));
    if (TA == varCurrency || TB == varCurrency) return Variant(Currency::FromDouble(R));
    return Variant(R);
}

} // namespace

Variant operator+(const Variant &A, const Variant &B) { return Arith(A, B, TOp::Add); }
Variant operator-(const Variant &A, const Variant &B) { return Arith(A, B, TOp::Sub); }
Variant operator*(const Variant &A, const Variant &B) { return Arith(A, B, TOp::Mul); }
Variant operator/(const Variant &A, const Variant &B) { return Arith(A, B, TOp::Div); }

Variant Variant::operator-() const
{
    switch (FType) {
    case varNull: return *this;
    case varEmpty: return Variant(0);
    case varCurrency: return Variant(Currency::FromRaw(-FData.I));
    case varFMTBcd: {
        TBcd B = FData.Bcd;
        if (BcdCompare(B, IntegerToBcd(0)) != 0) B.SignSpecialPlaces ^= 0x80;
        return Variant(B);
    }
    case varDate: return Variant::FromDate(-FData.D);
    default:
        if (IsIntType(FType) || FType == varUInt64) return Variant(int64_t(0)) - *this;
        return Variant(-AsDouble());
    }
}

// ---- free functions -------------------------------------------------------

std::string VarToStr(const Variant &V) { return V.IsClear() ? std::string() : V.AsString(); }

std::string VarToStrDef(const Variant &V, const std::string &Default)
{
    return V.IsClear() ? Default : V.AsString();
}

std::string VarTypeAsText(TVarType AType)
{
    std::string Base;
    switch (AType & varTypeMask) {
    case varEmpty: Base = "Empty"; break;
    case varNull: Base = "Null"; break;
    case varSmallint: Base = "Smallint"; break;
    case varInteger: Base = "Integer"; break;
    case varSingle: Base = "Single"; break;
    case varDouble: Base = "Double"; break;
    case varCurrency: Base = "Currency"; break;
    case varDate: Base = "Date"; break;
    case varOleStr: Base = "OleStr"; break;
    case varBoolean: Base = "Boolean"; break;
    case varVariant: Base = "Variant"; break;
    case varShortInt: Base = "ShortInt"; break;
    case varByte: Base = "Byte"; break;
    case varWord: Base = "Word"; break;
    case varLongWord: Base = "LongWord"; break;
    case varInt64: Base = "Int64"; break;
    case varUInt64: Base = "UInt64"; break;
    case varString: Base = "String"; break;
    case varFMTBcd: Base = "FMTBcdVariantType"; break;
    case varSQLTimeStamp: Base = "SQLTimeStampVariantType"; break;
    default: Base = "Unknown"; break;
    }
    if (AType & varArray) return "Array " + Base;
    return Base;
}

Variant VarArrayOf(std::vector<Variant> Items) { return Variant::FromArray(std::move(Items)); }

Variant VarAsType(const Variant &V, TVarType AType)
{
    if (V.VType() == AType) return V;
    switch (AType) {
    case varEmpty: return Variant();
    case varNull: return Variant::Null();
    case varBoolean: return Variant(V.AsBoolean());
    case varSmallint: case varShortInt: case varByte: case varWord: case varLongWord: case varInteger: {
        int64_t I = V.AsInt64();
        Variant R = Variant::FromTyped(I, AType);
        if (R.AsInt64() != I) throw EVariantOverflowError("Arithmetic overflow occurred");
        return R;
    }
    case varInt64: return Variant(V.AsInt64());
    case varUInt64: return Variant(V.AsUInt64());
    case varSingle: return Variant::FromSingle(float(V.AsDouble()));
    case varDouble: return Variant(V.AsDouble());
    case varCurrency: return Variant(V.AsCurrency());
    case varDate: return Variant::FromDate(V.AsDateTime());
    case varString: case varOleStr: return Variant(V.AsString());
    case varFMTBcd: return Variant(V.AsBcd());
    case varSQLTimeStamp: return Variant(V.AsSQLTimeStamp());
    default: CastError(V.VType(), AType);
    }
}

} // namespace rtl
