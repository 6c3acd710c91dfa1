// qxZqStanParam: the two value lists that travel with every command.
//
// TZqParams are the command's parameters, bound to the statement's markers
// by name or by position, with one value per row for array execution; the
// driver layer reads and writes them through raw buffers. TZqMacros are
// named values that the command preprocessor substitutes into the SQL text,
// each rendered as SQL text of its macro type with the library's escape
// sequences ({d '...'}, {id '...'}, ...).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dataaccess/stan/qxZqStanIntf.h"
#include "platform/rtl/DB.h"
#include "platform/rtl/FMTBcd.h"
#include "platform/rtl/Variant.h"

namespace rtl {
class TComponent;
class TStrings;
} // namespace rtl

// The component that owns a list (for the parameters: the dataset whose
// design state decides how a type change treats the values); may be nil.
using TZqGetOwner = std::function<rtl::TComponent *()>;

// ---- macros ---------------------------------------------------------------------

enum TZqMacroDataType : uint8_t {
    mdUnknown, mdString, mdIdentifier, mdInteger, mdBoolean, mdFloat, mdDate, mdTime, mdDateTime, mdRaw
};

class TZqMacros;

class TZqMacro {
public:
    explicit TZqMacro(TZqMacros *AList = nullptr) : FList(AList) {}

    const std::string &Name() const noexcept { return FName; }
    void SetName(const std::string &AValue) { FName = AValue; }
    const rtl::Variant &Value() const noexcept { return FValue; }
    // Stores a different value; a macro of type mdUnknown takes its type from
    // the value's kind. The list's change event follows.
    void SetValue(const rtl::Variant &AValue);
    TZqMacroDataType DataType() const noexcept { return FDataType; }
    void SetDataType(TZqMacroDataType AValue);
    std::string DisplayName() const { return FName.empty() ? "TZqMacro" : FName; }

    // The value as SQL text of the macro's type. Quotes inside string and
    // identifier values are doubled, so a value can never end its literal.
    std::string GetSQL() const;
    void Assign(const TZqMacro &ASource);
    // Same name (exactly), type and value.
    bool IsEqual(const TZqMacro &AOther) const;

private:
    friend class TZqMacros;
    TZqMacros *FList;
    std::string FName;
    rtl::Variant FValue = rtl::Variant::Null();
    TZqMacroDataType FDataType = mdRaw;
};

class TZqMacros {
public:
    explicit TZqMacros(TZqGetOwner AGetOwner = {}) : FGetOwner(std::move(AGetOwner)) {}
    TZqMacros(const TZqMacros &) = delete;
    TZqMacros &operator=(const TZqMacros &) = delete;

    rtl::TComponent *Owner() const { return FGetOwner ? FGetOwner() : nullptr; }
    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    TZqMacro *Items(int AIndex) const { return FItems.at(static_cast<size_t>(AIndex)).get(); }
    TZqMacro *Add();
    void Delete(int AIndex);
    void Clear();
    // The first macro of that name (case-insensitive), or nil.
    TZqMacro *FindMacro(std::string_view AName) const;
    // As FindMacro; error 706 when there is none.
    TZqMacro *MacroByName(std::string_view AName) const;
    // Each source macro gives its type and value to the macro of the same name.
    void AssignValues(const TZqMacros &ASource);
    bool IsEqual(const TZqMacros &AOther) const;
    // A copy of every macro of the source.
    void Assign(const TZqMacros &ASource);
    // One mdRaw macro per line name=value (a line without "=" is a value
    // with an empty name).
    void AssignStrings(const rtl::TStrings &ASource);
    // One line name=value per macro.
    void AssignTo(rtl::TStrings &ATarget) const;

    void BeginUpdate() noexcept { ++FUpdateCount; }
    void EndUpdate();
    // Called after a macro changed, outside an update bracket.
    std::function<void(TZqMacros *)> OnChanged;

private:
    friend class TZqMacro;
    void Changed();
    TZqGetOwner FGetOwner;
    std::vector<std::unique_ptr<TZqMacro>> FItems;
    int FUpdateCount = 0;
};

// ---- parameters --------------------------------------------------------------------

enum TZqParamArrayType : uint8_t { atScalar, atArray, atPLSQLTable };

class TZqParams;

class TZqParam {
public:
    explicit TZqParam(TZqParams *AList = nullptr);
    TZqParam(const TZqParam &) = delete;
    TZqParam &operator=(const TZqParam &) = delete;

    TZqParams *Collection() const noexcept { return FList; }
    int Index() const;

    const std::string &Name() const noexcept { return FName; }
    void SetName(const std::string &AValue) { FName = AValue; }
    rtl::TFieldType DataType() const noexcept { return FDataType; }
    // A different type clears every row (at design time it converts them).
    void SetDataType(rtl::TFieldType AValue);
    TZqDataType ZqDataType() const noexcept { return FZqDataType; }
    void SetZqDataType(TZqDataType AValue) noexcept { FZqDataType = AValue; }
    rtl::TParamType ParamType() const noexcept { return FParamType; }
    void SetParamType(rtl::TParamType AValue) noexcept { FParamType = AValue; }
    int Size() const noexcept { return FSize; }
    void SetSize(int AValue) noexcept { FSize = AValue; }
    int Precision() const noexcept { return FPrecision; }
    void SetPrecision(int AValue) noexcept { FPrecision = AValue; }
    int NumericScale() const noexcept { return FNumericScale; }
    void SetNumericScale(int AValue) noexcept { FNumericScale = AValue; }
    bool Bound() const noexcept { return FBound; }
    void SetBound(bool AValue) noexcept { FBound = AValue; }
    int Position() const noexcept { return FPosition; }
    void SetPosition(int AValue) noexcept { FPosition = AValue; }
    bool IsCaseSensitive() const noexcept { return FIsCaseSensitive; }
    void SetIsCaseSensitive(bool AValue) noexcept { FIsCaseSensitive = AValue; }
    bool Active() const noexcept { return FActive; }
    void SetActive(bool AValue) noexcept { FActive = AValue; }
    TZqParamArrayType ArrayType() const noexcept { return FArrayType; }
    void SetArrayType(TZqParamArrayType AValue);
    int ArraySize() const noexcept { return static_cast<int>(FRows.size()); }
    void SetArraySize(int AValue);
    // The earlier same-named parameter this one reads through (set by
    // TZqParams::Prepare), or nil.
    TZqParam *LinkedTo() const noexcept { return FLink; }

    // Row 0 (read through the link).
    rtl::Variant Value() const { return Values(0); }
    void SetValue(const rtl::Variant &AValue) { SetValues(0, AValue); }
    // A row's value; row -1 means row 0. A bad row raises error 707.
    rtl::Variant Values(int ARow) const;
    void SetValues(int ARow, const rtl::Variant &AValue);
    // Clears a row to Null; -1 clears every row.
    void Clear(int ARow = -1);
    bool IsNull(int ARow = 0) const;

    // Typed access per row: reading a Null gives the kind's zero.
    bool AsBoolean(int ARow = 0) const;
    void SetAsBoolean(bool AValue, int ARow = 0);
    double AsFloat(int ARow = 0) const;
    void SetAsFloat(double AValue, int ARow = 0);
    rtl::Currency AsCurrency(int ARow = 0) const;
    void SetAsCurrency(rtl::Currency AValue, int ARow = 0);
    rtl::Currency AsBCD(int ARow = 0) const;
    void SetAsBCD(rtl::Currency AValue, int ARow = 0);
    rtl::TBcd AsFMTBCD(int ARow = 0) const;
    void SetAsFMTBCD(const rtl::TBcd &AValue, int ARow = 0);
    rtl::TSQLTimeStamp AsSQLTimeStamp(int ARow = 0) const;
    void SetAsSQLTimeStamp(const rtl::TSQLTimeStamp &AValue, int ARow = 0);
    int AsInteger(int ARow = 0) const;
    void SetAsInteger(int AValue, int ARow = 0);
    int AsSmallInt(int ARow = 0) const;
    void SetAsSmallInt(int AValue, int ARow = 0);
    int AsWord(int ARow = 0) const;
    void SetAsWord(int AValue, int ARow = 0);
    int64_t AsLargeInt(int ARow = 0) const;
    void SetAsLargeInt(int64_t AValue, int ARow = 0);
    rtl::TDateTime AsDate(int ARow = 0) const;
    void SetAsDate(rtl::TDateTime AValue, int ARow = 0);
    rtl::TDateTime AsTime(int ARow = 0) const;
    void SetAsTime(rtl::TDateTime AValue, int ARow = 0);
    rtl::TDateTime AsDateTime(int ARow = 0) const;
    void SetAsDateTime(rtl::TDateTime AValue, int ARow = 0);
    // A Boolean value reads as "True" or "False".
    std::string AsString(int ARow = 0) const;
    void SetAsString(const std::string &AValue, int ARow = 0);
    std::string AsWideString(int ARow = 0) const { return AsString(ARow); }
    void SetAsWideString(const std::string &AValue, int ARow = 0) { SetAsString(AValue, ARow); }
    std::string AsMemo(int ARow = 0) const { return AsString(ARow); }
    void SetAsMemo(const std::string &AValue, int ARow = 0) { SetAsString(AValue, ARow); }
    // Written as text; makes the type ftGuid.
    std::string AsGUID(int ARow = 0) const { return AsString(ARow); }
    void SetAsGUID(const std::string &AValue, int ARow = 0);
    std::string AsBytes(int ARow = 0) const;
    void SetAsBytes(const std::string &AValue, int ARow = 0);

    // Raw buffer forms by DataType (see the unit's source). GetDataSize is in
    // bytes, the terminator of text included.
    int GetDataSize(int ARow = 0) const;
    // ABuffer nil clears every row; ALength -1 reads up to the terminator
    // (characters for the wide forms, else bytes).
    void SetData(const void *ABuffer, int ALength = -1, int ARow = 0);
    void GetData(void *ABuffer, int ARow = 0) const;
    // GetData of a row that holds a value; False, with nothing written, for
    // a Null row (IsNull). One look at the row instead of two.
    bool TryGetData(void *ABuffer, int ARow = 0) const;
    // Stores ALength bytes (copied from ABuffer, or left for the caller to
    // fill when nil) and returns where they are.
    void *SetBlobRawData(uint32_t ALength, const void *ABuffer, int ARow = 0);
    // Address and length (16-bit characters for wide values) of a row's
    // characters or bytes, valid until the row changes; error 701 for a
    // parameter that is neither text nor a large object.
    void GetBlobRawData(uint32_t &ALength, void *&ABuffer, int ARow = 0);

    // Full copy: properties and every row.
    void Assign(const TZqParam &ASource);
    // The lines' text as one memo value.
    void Assign(const rtl::TStrings &ASource);
    // Type, size and scale from a field of the dataset model and the value
    // (AFixedChar: a fixed-length string field).
    void AssignFieldValue(rtl::TFieldType AFieldType, int AFieldSize, bool AFixedChar, const rtl::Variant &AValue);

    // The copy forms for a field of the dataset model. The services layer
    // does not see that model, so these take any type that answers as its
    // fields do: DataType(), Size(), FieldName(), Value(), SetValue() and,
    // for a fixed-length text, IsFixedChar().
    template <class TFieldLike> void AssignFieldValue(const TFieldLike &AField, const rtl::Variant &AValue)
    {
        AssignFieldValue(AField.DataType(), AField.Size(), FieldIsFixedChar(AField), AValue);
    }
    // Type, value and name from the field.
    template <class TFieldLike> void AssignField(const TFieldLike &AField)
    {
        AssignFieldValue(AField, AField.Value());
        FName = AField.FieldName();
    }
    // Row 0 as the field's value.
    template <class TFieldLike> void AssignTo(TFieldLike &AField) const { AField.SetValue(Value()); }
    bool IsEqual(const TZqParam &AOther) const;

private:
    friend class TZqParams;
    template <class TFieldLike> static bool FieldIsFixedChar(const TFieldLike &AField)
    {
        if constexpr (requires { AField.IsFixedChar(); })
            return AField.IsFixedChar();
        else
            return AField.DataType() == rtl::ftFixedChar;
    }
    // How a row's value is held: as a Variant, or as raw 8-bit or 16-bit
    // text that GetBlobRawData handed out and SetBlobRawData filled.
    enum TRawKind : uint8_t { rkNone, rkNarrow, rkWide };
    struct TRow {
        rtl::Variant Value = rtl::Variant::Null();
        TRawKind Raw = rkNone;
        std::string Bytes;
    };
    // Row ARow (-1: 0) when this parameter has it; else error 707. A
    // parameter array sets and reads its rows one by one: the check stays
    // inline.
    int CheckRow(int ARow) const
    {
        if (ARow == 0 || ARow == -1)
            return 0;
        if (FArrayType != atScalar && ARow > 0 && ARow < ArraySize())
            return ARow;
        return BadRow(ARow);
    }
    int BadRow(int ARow) const;
    const TZqParam &Source() const { return FLink ? *FLink : *this; }
    // The row a read of ARow names (through the link), and AHolder, the
    // parameter that keeps it.
    const TRow &ReadRow(int ARow, const TZqParam *&AHolder) const;
    // The value a read of ARow gives, where it is kept: a statement that
    // sets its parameters per execute reads each without copying it. Raw
    // text is first made a value in AScratch.
    const rtl::Variant &ValueRef(int ARow, rtl::Variant &AScratch) const;
    // GetData of the value AValue of row ARow.
    void WriteData(const rtl::Variant &AValue, void *ABuffer, int ARow) const;
    rtl::Variant RowValue(int ARow) const;
    void StoreValue(int ARow, rtl::Variant AValue);
    template <class T> bool StoreNumberInPlace(T AValue, int ARow);
    bool IsWideData() const;
    [[noreturn]] void RaiseUnsupported() const;

    TZqParams *FList;
    std::string FName;
    rtl::TFieldType FDataType = rtl::ftUnknown;
    TZqDataType FZqDataType = dtUnknown;
    rtl::TParamType FParamType = rtl::ptUnknown;
    int FSize = 0;
    int FPrecision = 0;
    int FNumericScale = 0;
    bool FBound = false;
    int FPosition = 0;
    bool FIsCaseSensitive = false;
    bool FActive = true;
    TZqParamArrayType FArrayType = atScalar;
    std::vector<TRow> FRows;
    TZqParam *FLink = nullptr; // an earlier item of the same list
};

class TZqParams {
public:
    explicit TZqParams(TZqGetOwner AGetOwner = {}) : FGetOwner(std::move(AGetOwner)) {}
    TZqParams(const TZqParams &) = delete;
    TZqParams &operator=(const TZqParams &) = delete;

    rtl::TComponent *Owner() const { return FGetOwner ? FGetOwner() : nullptr; }
    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    TZqParam *Items(int AIndex) const { return FItems.at(static_cast<size_t>(AIndex)).get(); }
    TZqParam *Add();
    void Delete(int AIndex);
    void Clear();
    // The first parameter of that name (case-insensitive), or nil.
    TZqParam *FindParam(std::string_view AName) const;
    // As FindParam; the dataset error "Parameter '%s' not found" when absent.
    TZqParam *ParamByName(std::string_view AName) const;
    int GetActiveCount() const;
    // 1 for an empty list, else the first parameter's ArraySize.
    int GetArraySize() const;
    bool IsEqual(const TZqParams &AOther) const;
    // Values of the source: by position or by name, as this list binds.
    void AssignValues(const TZqParams &ASource);
    // Links same-named parameters to the first of them (by-name lists) and
    // gives untyped parameters ADefaultDataType.
    void Prepare(rtl::TFieldType ADefaultDataType);
    // A full copy of the source list, bind mode included.
    void Assign(const TZqParams &ASource);
    // Reads the legacy "Data" stream of forms written by older versions.
    void ReadData(std::string_view AStream);

    // 0 binds by name, any other value by position.
    uint8_t BindMode() const noexcept { return FBindMode; }
    void SetBindMode(uint8_t AValue) noexcept { FBindMode = AValue; }
    void BeginUpdate() noexcept { ++FUpdateCount; }
    void EndUpdate() noexcept { if (FUpdateCount > 0) --FUpdateCount; }

private:
    friend class TZqParam;
    bool Designing() const;
    TZqGetOwner FGetOwner;
    std::vector<std::unique_ptr<TZqParam>> FItems;
    uint8_t FBindMode = 0;
    int FUpdateCount = 0;
};

