// qxZqDatSColumn: columns, the column list with the row layout it computes,
// and column sublists (the keys of sorts, constraints and relations).
//
// A value buffer is the column values at their offsets followed by the null
// bitmap (a set bit: the column has a value). A row object is its fixed part,
// then the changed bits (column c is bit c mod 8 of byte c div 8), then one
// slot per reference column.
//
// On 64-bit the layout keeps its promises with wider references: an
// out-of-line value (caBlobData) is still 8 bytes in the buffer, holding the
// address of a block that starts with the value's length; a dtObject value
// and a reference slot hold an address (8 bytes).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/dats/qxZqDatSObject.h"

namespace dats {

class TZqDatSExpression;

// ---- data attribute and option helpers -----------------------------------

inline bool HasAttr(::TZqDataAttributes S, ::TZqDataAttribute A) { return S.Contains(A); }
inline bool HasOpt(::TZqDataOptions S, ::TZqDataOption O) { return S.Contains(O); }
template <class TS, class TE> bool InSet(TS S, TE E) { return S.Contains(E); }
template <class TS, class TE> void Include(TS &S, TE E) { S.Include(E); }
template <class TS, class TE> void Exclude(TS &S, TE E) { S.Exclude(E); }

inline bool IsStringType(TZqDataType T) { return T >= ::dtAnsiString && T <= ::dtByteString; }
inline bool IsBlobType(TZqDataType T) { return T >= ::dtBlob && T <= ::dtHBFile; }
inline bool IsRefType(TZqDataType T) { return T >= ::dtRowSetRef && T <= ::dtParentRowRef; }
inline bool IsWideType(TZqDataType T) {
    return T == ::dtWideString || T == ::dtWideMemo || T == ::dtWideHMemo;
}
inline bool CanAutoIncrement(TZqDataType T) {
    switch (T) {
    case ::dtSByte: case ::dtInt16: case ::dtInt32: case ::dtInt64:
    case ::dtByte: case ::dtUInt16: case ::dtUInt32: case ::dtUInt64:
    case ::dtDouble: case ::dtBCD: case ::dtFmtBCD:
        return true;
    default:
        return false;
    }
}

// ---- column -------------------------------------------------------------

class TZqDatSColumn : public TZqDatSBindedObject {
public:
    TZqDatSColumn();
    ~TZqDatSColumn() override;

    int Index() const { return FIndex; }
    ::TZqDataAttributes Attributes() const { return FAttributes; }
    bool AutoIncrement() const { return FAutoIncrement; }
    int AutoIncrementSeed() const { return FAutoIncrementSeed; }
    int AutoIncrementStep() const { return FAutoIncrementStep; }
    const std::string &Caption() const { return FCaption; }
    void SetCaption(const std::string &AValue) { FCaption = AValue; }
    TZqDataType DataType() const { return FDataType; }
    const std::string &Expression() const { return FExpression; }
    ::TZqDataOptions Options() const { return FOptions; }
    int Precision() const { return FPrecision; }
    int Size() const { return FSize; }
    int Scale() const { return FScale; }
    TZqDatSExpression *Evaluator() const { return FEvaluator.get(); }
    TZqDataType SourceDataType() const { return FSourceDataType; }
    int SourcePrecision() const { return FSourcePrecision; }
    int SourceScale() const { return FSourceScale; }
    int SourceSize() const { return FSourceSize; }
    void SetSourceDataType(TZqDataType AValue) { FSourceDataType = AValue; }
    void SetSourcePrecision(int AValue) { FSourcePrecision = AValue; }
    void SetSourceScale(int AValue) { FSourceScale = AValue; }
    void SetSourceSize(int AValue) { FSourceSize = AValue; }
    const std::string &OriginText() const { return FOriginText; }
    void SetOriginText(const std::string &AValue) { FOriginText = AValue; }
    const std::string &OriginName() const { return FOriginName; }
    void SetOriginName(const std::string &AValue) { FOriginName = AValue; }

    void SetDataType(TZqDataType AValue);
    void SetAttributes(::TZqDataAttributes AValue);
    void SetAutoIncrement(bool AValue);
    void SetAutoIncrementSeed(int AValue);
    void SetAutoIncrementStep(int AValue);
    void SetAutoIncrementAttrs(bool AValue);
    void SetPrecision(int AValue);
    void SetScale(int AValue);
    void SetSize(int AValue);
    void SetOptions(::TZqDataOptions AValue);
    void SetExpression(const std::string &AValue);

    // The effective coReadOnly / coAllowNull, through the table's callback.
    bool GetReadOnly();
    bool GetAllowNull();
    int GetStorageSize();
    TZqDatSTable *GetNestedTable();
    TZqDatSColumn *GetParentColumn();
    TZqDatSColumnList *GetColumnList();

    void Notify(TZqDatSNotification &ANotification) override;
    void AfterInsert() override;
    void BeforeInsert() override;
    void BeforeRemove() override;
    int GetIndex() override;
    TZqDatSObject *CreateLike() const override { return new TZqDatSColumn(); }
    void Assign(TZqDatSObject *ASource) override;
    bool IsEqual(TZqDatSObject *AOther) override;

private:
    friend class TZqDatSColumnList;
    friend class TZqDatSUniqueConstraint; // a primary key writes the key flags directly
    void BeforeChange();
    void Changed();
    void UpdateUniqueConstraint();
    void PrepareEvaluator();

    int FIndex = -1;
    ::TZqDataAttributes FAttributes;
    bool FAutoIncrement = false;
    int FAutoIncrementSeed = 1;
    int FAutoIncrementStep = 1;
    std::string FCaption;
    TZqDataType FDataType = ::dtUnknown;
    std::string FExpression;
    ::TZqDataOptions FOptions;
    int FPrecision = 0;
    int FSize = 0;
    std::unique_ptr<TZqDatSExpression> FEvaluator;
    int FScale = 0;
    TZqDataType FSourceDataType = ::dtUnknown;
    int FSourcePrecision = 0;
    int FSourceScale = 0;
    int FSourceSize = 0;
    std::string FOriginText;
    std::string FOriginName;
};

// ---- row layout ---------------------------------------------------------

// One column as the values see it; copied out of the column so that the hot
// paths read one contiguous array.
struct TZqDatSLayoutColumn {
    uint32_t Offset = 0;
    uint32_t NullByte = 0;
    uint8_t NullMask = 0;
    TZqDataType DataType = ::dtUnknown;
    bool Blob = false;      // stored out of line
    bool Searchable = true;
    int32_t Size = 0;
    int32_t StorageSize = 0;
    int32_t RefSlot = -1;
};

// The computed layout of one table structure. Rows and buffers made under a
// layout keep it alive (intrusive count), so a layout that the column list
// resets (a structure change, a table reset) stays valid for every row still
// using it, detached rows included. A new layout starts with one count, which
// its maker holds (TZqDatSRef::Adopt).
class TZqDatSRowLayout {
public:
    void AddRef() { ++FRefCount; }
    void Release() {
        if (--FRefCount == 0) delete this;
    }

    std::vector<TZqDatSLayoutColumn> Columns;
    int ColumnCount = 0;
    uint32_t ValuesSize = 0;    // Offsets[Count]
    uint32_t BufferSize = 0;    // values + null bitmap
    uint32_t RowObjectSize = 0; // the fixed part of a row
    uint32_t ChangedBitsSize = 0;
    int32_t RefSlotsOffset = -1;
    uint32_t RefSlotsSize = 0;
    int RefCount = 0;
    int ParentRowRefIndex = -1;
    uint8_t LayoutFlags = 0;
    uint32_t RowBlockSize() const { return RowObjectSize + ChangedBitsSize + RefSlotsSize; }
    // A row carries room for one buffer after its block: a fetched row, which
    // only ever has one version, then costs one allocation instead of two.
    uint32_t InlineBufferOffset() const { return (RowBlockSize() + 15u) & ~15u; }
    uint32_t RowAllocSize() const { return InlineBufferOffset() + (BufferSize ? BufferSize : 1u); }

    // Buffers come zero-filled.
    uint8_t *AllocBuffer() const;
    void FreeBuffer(uint8_t *ABuffer) const;

private:
    int FRefCount = 1;
};

// LayoutFlags bits.
constexpr uint8_t lfCalculated = 1;
constexpr uint8_t lfDefaults = 2;
constexpr uint8_t lfExprOrAutoInc = 4;
constexpr uint8_t lfReferences = 8;
constexpr uint8_t lfOutOfLine = 16;

// ---- column list --------------------------------------------------------

class TZqDatSColumnList : public TZqDatSBindedList {
public:
    explicit TZqDatSColumnList(TZqDatSTable *ATable);
    ~TZqDatSColumnList() override;

    TZqDatSColumn *GetItem(int AIndex) const {
        return static_cast<TZqDatSColumn *>(TZqDatSList::GetItem(AIndex));
    }
    TZqDatSColumn *operator[](int AIndex) const { return GetItem(AIndex); }
    TZqDatSColumn *ColumnByName(const std::string &AName);
    int IndexOfName(const std::string &AName) { return TZqDatSNamedList::IndexOfName(AName); }
    TZqDatSColumn *AddColumn(const std::string &AName, TZqDataType AType, int ASize = 0);

    void ComputeLayout(uint32_t ARowObjectSize);
    void EnsureLayout(uint32_t ARowObjectSize);
    void ResetLayout();
    bool HasLayout() const { return FLayout != nullptr; }
    // The current layout, nil until computed.
    TZqDatSRowLayout *Layout() const { return FLayout; }
    uint32_t GetBufferSize() const;
    uint16_t InlineDataSize() const { return FInlineDataSize; }
    void SetInlineDataSize(uint16_t AValue);
    int32_t Setting2() const { return FSetting2; }
    int32_t Setting3() const { return FSetting3; }
    void SetSetting2(int32_t AValue) { FSetting2 = AValue; }
    void SetSetting3(int32_t AValue) { FSetting3 = AValue; }

    // Layout figures as the rest of the library reads them.
    uint32_t Offset(int AColumn) const;
    uint32_t NullByteOffset(int AColumn) const;
    uint8_t NullMask(int AColumn) const;
    uint8_t LayoutFlags() const { return FLayout ? FLayout->LayoutFlags : 0; }
    int ParentRowRefIndex() const { return FLayout ? FLayout->ParentRowRefIndex : -1; }
    int ParentColumnIndex() const { return FParentColumnIndex; }
    std::vector<int32_t> &AutoIncValues() { return FAutoIncValues; }

    void Insert(TZqDatSObject *AItem, int AIndex) override;
    void RemoveAt(int AIndex, bool AKeep) override;
    void Notify(TZqDatSNotification &ANotification) override;
    void HandleNotification(TZqDatSNotification &ANotification) override;
    TZqDatSTable *GetTable() override { return FTable; }
    void Assign(TZqDatSObject *ASource) override;

private:
    TZqDatSTable *FTable;
    TZqDatSRef<TZqDatSRowLayout> FLayout;
    std::vector<int32_t> FAutoIncValues;
    int FParentColumnIndex = -1;
    int32_t FSetting1 = 0, FSetting2 = 0, FSetting3 = 0;
    uint16_t FInlineDataSize = 8000;
};

// ---- column sublist -----------------------------------------------------

class TZqDatSColumnSublist {
public:
    void Parse(TZqDatSObject *AOwner, const std::string &ANames, TZqDatSColumnSublist *ANoCase = nullptr,
               TZqDatSColumnSublist *ADescending = nullptr);
    int Count() const { return int(FColumns.size()); }
    TZqDatSColumn *GetItem(int AIndex) const {
        DATS_ASSERT(AIndex >= 0 && AIndex < int(FColumns.size()));
        return FColumns[size_t(AIndex)];
    }
    TZqDatSColumn *operator[](int AIndex) const { return GetItem(AIndex); }
    void Add(TZqDatSColumn *AColumn) { FColumns.push_back(AColumn); }
    TZqDatSColumn *FindColumn(const std::string &AName) const;
    int IndexOfColumn(TZqDatSColumn *AColumn) const;
    bool Contains(TZqDatSColumn *AColumn) const { return IndexOfColumn(AColumn) >= 0; }
    bool IsAffectedBy(const TZqDatSNotification &ANotification) const;
    bool Matches(const TZqDatSColumnSublist *AOther, int ACount) const;
    void Clear() {
        FColumns.clear();
        FNames.clear();
    }
    const std::string &Names() const { return FNames; }

private:
    std::vector<TZqDatSColumn *> FColumns;
    std::string FNames;
};

// Splits a ";"-separated name list: '"' quotes, "{" "}" bracket a part that
// may hold separators.
std::vector<std::string> DatSSplitNames(const std::string &ANames);

} // namespace dats
