// Variant: the toolkit's variant value as the library and the program use
// it. It tells Unassigned (never set) from Null (the database's missing
// value), converts between its types as the toolkit does (True is -1, a
// double becomes an integer by rounding half to even, Unassigned reads as 0
// or ""), and compares with Null equal only to Null.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/FMTBcd.h"
#include "platform/rtl/SysUtils.h"

namespace rtl {

using TVarType = uint16_t;
constexpr TVarType varEmpty = 0x0000;
constexpr TVarType varNull = 0x0001;
constexpr TVarType varSmallint = 0x0002;
constexpr TVarType varInteger = 0x0003;
constexpr TVarType varSingle = 0x0004;
constexpr TVarType varDouble = 0x0005;
constexpr TVarType varCurrency = 0x0006;
constexpr TVarType varDate = 0x0007;
constexpr TVarType varOleStr = 0x0008;
constexpr TVarType varBoolean = 0x000B;
constexpr TVarType varVariant = 0x000C;
constexpr TVarType varShortInt = 0x0010;
constexpr TVarType varByte = 0x0011;
constexpr TVarType varWord = 0x0012;
constexpr TVarType varLongWord = 0x0013;
constexpr TVarType varInt64 = 0x0014;
constexpr TVarType varUInt64 = 0x0015;
constexpr TVarType varString = 0x0100;
// The packed-decimal and SQL time stamp kinds of the toolkit's custom
// variants, given fixed codes here.
constexpr TVarType varFMTBcd = 0x0110;
constexpr TVarType varSQLTimeStamp = 0x0111;
constexpr TVarType varArray = 0x2000;
constexpr TVarType varTypeMask = 0x0FFF;

class EVariantError : public Exception {
public:
    using Exception::Exception;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EVariantError>(*this); }
};
// "Could not convert variant of type (Null) into type (Integer)"
class EVariantTypeCastError : public EVariantError {
public:
    using EVariantError::EVariantError;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EVariantTypeCastError>(*this); }
};
class EVariantOverflowError : public EVariantError {
public:
    using EVariantError::EVariantError;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EVariantOverflowError>(*this); }
};
class EVariantInvalidOpError : public EVariantError {
public:
    using EVariantError::EVariantError;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EVariantInvalidOpError>(*this); }
};
class EVariantBadIndexError : public EVariantError {
public:
    using EVariantError::EVariantError;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EVariantBadIndexError>(*this); }
};

enum TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };

class Variant {
public:
    Variant() noexcept {}
    Variant(bool V) : FType(varBoolean) { FData.I = V ? -1 : 0; }
    Variant(int V) : FType(varInteger) { FData.I = V; }
    Variant(int64_t V) : FType(varInt64) { FData.I = V; }
    Variant(long long V) : FType(varInt64) { FData.I = int64_t(V); }
    Variant(uint64_t V) : FType(varUInt64) { FData.U = V; }
    Variant(unsigned V) : FType(varLongWord) { FData.I = V; }
    Variant(double V) : FType(varDouble) { FData.D = V; }
    Variant(const char *V) : FType(varString), FStr(V ? V : "") {}
    Variant(std::string V) : FType(varString), FStr(std::move(V)) {}
    Variant(std::string_view V) : FType(varString), FStr(V) {}
    Variant(Currency V) : FType(varCurrency) { FData.I = V.Value; }
    Variant(const TBcd &V) : FType(varFMTBcd) { FData.Bcd = V; }
    Variant(const TSQLTimeStamp &V) : FType(varSQLTimeStamp) { FData.TS = V; }

    static Variant Null() { Variant V; V.FType = varNull; return V; }
    // Makes a value that holds no text and no array the number V in place,
    // and says whether it could: a parameter array sets its rows one by one.
    bool SetNumberInPlace(int V) noexcept { return Place(varInteger) && (FData.I = V, true); }
    bool SetNumberInPlace(double V) noexcept { return Place(varDouble) && (FData.D = V, true); }
    static Variant FromDate(TDateTime D) { Variant V(D); V.FType = varDate; return V; }
    // A typed integer kind (varSmallint, varShortInt, varByte, varWord, varLongWord, ...).
    static Variant FromTyped(int64_t V, TVarType AType);
    static Variant FromSingle(float V) { Variant R{double(V)}; R.FType = varSingle; return R; }
    // A byte array (varArray | varByte), the form of binary values.
    static Variant FromBytes(std::string Bytes);
    // A variant array (varArray | varVariant).
    static Variant FromArray(std::vector<Variant> Items);

    TVarType VType() const noexcept { return FType; }
    bool IsEmpty() const noexcept { return FType == varEmpty; }
    bool IsNull() const noexcept { return FType == varNull; }
    // Empty or Null: "no value" for display and field assignment.
    bool IsClear() const noexcept { return FType == varEmpty || FType == varNull; }
    bool IsArray() const noexcept { return (FType & varArray) != 0; }
    bool IsNumeric() const noexcept;
    bool IsOrdinal() const noexcept;
    bool IsFloat() const noexcept;
    bool IsStr() const noexcept { return FType == varString || FType == varOleStr; }

    // Conversions; each raises EVariantTypeCastError when the value cannot
    // be read as the type (a Null always, a text that is no number, ...).
    bool AsBoolean() const;
    int AsInteger() const;
    int64_t AsInt64() const;
    uint64_t AsUInt64() const;
    double AsDouble() const;
    Currency AsCurrency() const;
    TDateTime AsDateTime() const;
    TBcd AsBcd() const;
    TSQLTimeStamp AsSQLTimeStamp() const;
    std::string AsString() const;
    // The raw bytes of a byte array or the text of a string.
    std::string AsBytes() const;

    // Array access (0-based).
    int ArrayCount() const;
    const Variant &operator[](int Index) const;
    Variant &operator[](int Index);
    const std::vector<Variant> &Items() const;

    // Comparison operators follow the toolkit's operators: Unassigned takes
    // the other side's zero, Null = Null, Null < any value.
    friend bool operator==(const Variant &A, const Variant &B);
    friend bool operator!=(const Variant &A, const Variant &B) { return !(A == B); }
    friend bool operator<(const Variant &A, const Variant &B);
    friend bool operator>(const Variant &A, const Variant &B) { return B < A; }
    friend bool operator<=(const Variant &A, const Variant &B) { return !(B < A); }
    friend bool operator>=(const Variant &A, const Variant &B) { return !(A < B); }

    // Arithmetic: Null in, Null out; text + text concatenates; integers
    // widen to Int64 and then to Double rather than overflow; "/" is real division.
    friend Variant operator+(const Variant &A, const Variant &B);
    friend Variant operator-(const Variant &A, const Variant &B);
    friend Variant operator*(const Variant &A, const Variant &B);
    friend Variant operator/(const Variant &A, const Variant &B);
    Variant operator-() const;

private:
    friend int VarCompareOrdered(const Variant &A, const Variant &B);
    bool Place(TVarType AType) noexcept
    {
        if (!FStr.empty() || FArray)
            return false;
        FType = AType;
        return true;
    }
    TVarType FType = varEmpty;
    union TData {
        int64_t I;
        uint64_t U;
        double D;
        TBcd Bcd;
        TSQLTimeStamp TS;
        TData() : I(0) {}
    } FData;
    std::string FStr;                              // strings and byte arrays
    std::shared_ptr<std::vector<Variant>> FArray;  // variant arrays (copied on write)
};

using TVariantArray = std::vector<Variant>;

inline Variant Unassigned() { return Variant(); }
inline Variant Null() { return Variant::Null(); }
inline bool VarIsNull(const Variant &V) { return V.IsNull(); }
inline bool VarIsEmpty(const Variant &V) { return V.IsEmpty(); }
inline bool VarIsClear(const Variant &V) { return V.IsEmpty(); }
inline bool VarIsArray(const Variant &V) { return V.IsArray(); }
inline bool VarIsNumeric(const Variant &V) { return V.IsNumeric(); }
inline bool VarIsStr(const Variant &V) { return V.IsStr(); }
inline TVarType VarType(const Variant &V) { return V.VType(); }
// Null and Unassigned give "" (never an error).
std::string VarToStr(const Variant &V);
std::string VarToStrDef(const Variant &V, const std::string &Default);
std::string VarTypeAsText(TVarType AType);
Variant VarArrayOf(std::vector<Variant> Items);
Variant VarAsType(const Variant &V, TVarType AType);
// Unassigned equals only Unassigned and Null only Null (vrNotEqual against
// anything else); other values by the operators.
TVariantRelationship VarCompareValue(const Variant &A, const Variant &B);
bool VarSameValue(const Variant &A, const Variant &B);

} // namespace rtl
