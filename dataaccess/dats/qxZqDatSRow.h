// qxZqDatSRow: one record of an in-memory table: up to three versions of its
// values (original, current, proposed), its state machine, its place in the
// change journal, changed bits, reference slots and the value access
// (reading, writing, variants, comparison, dump).
//
// Which buffer a read sees depends on the effective state (the state, or the
// state underneath a temporary one) and the version asked for; see
// GetBuffer. Temporary states (initializing, calculating, checking, forced
// write) nest: the state underneath is always a real one, and both states are
// restored on every exit, a failed check included.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSIntf.h"
#include "dataaccess/dats/qxZqDatSObject.h"
#include "platform/rtl/Variant.h"

class EZqException;

namespace dats {

// A counted object stored in a dtObject column. Compare answers the order of
// this value against another (negative, 0, positive).
class IZqDatSObjectValue {
public:
    virtual void AddRef() = 0;
    virtual void Release() = 0;
    virtual int Compare(IZqDatSObjectValue *AOther, TZqDatSCompareOptions AOptions) = 0;

protected:
    ~IZqDatSObjectValue() = default;
};

// A value buffer is raw memory, so the reference it keeps to an object is a
// detached one: it is counted in through a holder when the value enters a
// buffer (or a caller's copy) and counted out through one when it leaves.
inline IZqDatSObjectValue *ZqDatSKeepObject(IZqDatSObjectValue *AValue) {
    return TZqDatSRef<IZqDatSObjectValue>(AValue).Detach();
}
inline void ZqDatSDropObject(IZqDatSObjectValue *AValue) { (void)TZqDatSRef<IZqDatSObjectValue>::Adopt(AValue); }

// The side record: a value under check, the row error, the lock mark.
struct TZqDatSRowSide {
    int32_t CheckColumn = -1;
    uint32_t CheckLength = 0;
    const void *CheckValue = nullptr;
    std::unique_ptr<::EZqException> Error;
    int32_t LockMark = 0;
};

// Out-of-line values (caBlobData columns) live in blocks of the blob cache:
// the length (in characters), then the characters and their terminator.
class TZqDatSBlobCache {
public:
    // A block for ALength characters of ACharSize bytes plus ATerminator bytes.
    static uint8_t *Alloc(uint32_t ALength, uint32_t ACharSize, uint32_t ATerminator);
    static void Release(uint8_t *ABlock);
    static uint32_t Length(const uint8_t *ABlock) { return ABlock ? *reinterpret_cast<const uint32_t *>(ABlock) : 0; }
    static uint8_t *Data(uint8_t *ABlock) { return ABlock + 8; }
    static const uint8_t *Data(const uint8_t *ABlock) { return ABlock + 8; }
    // Bytes held by live blocks, for leak checks in tests.
    static int64_t LiveBlocks();
};

class TZqDatSCompareRowsCache;

class TZqDatSRow : public TZqDatSObject {
public:
    // A new detached row of the table (its layout computed when needed).
    static TZqDatSRow *Create(TZqDatSTable *ATable, bool AAssignDefaults);
    static void operator delete(void *APtr) noexcept;
    ~TZqDatSRow() override;

    // ---- state ----
    TZqDatSRowState RowState() const { return FRowState; }
    TZqDatSRowState PriorState() const { return FPriorState; }
    // The state that decides which buffers a read sees.
    TZqDatSRowState EffectiveState() const {
        switch (FRowState) {
        case rsInitializing: case rsCalculating: case rsChecking: case rsForceWrite: return FPriorState;
        default: return FRowState;
        }
    }
    TZqDatSTable *Table() const { return FTable; }
    TZqDatSRowLayout *Layout() const { return FLayout.Get(); }
    int32_t RowID() const { return FRowID; }
    int32_t ChangeSerial() const { return FChangeSerial; }
    TZqDatSRow *JournalNext() const { return FJournalNext; }
    TZqDatSRow *JournalPrior() const { return FJournalPrior; }
    // True while the row sits in its table's row list.
    bool InTable() const;

    uint8_t *GetBuffer(TZqDatSRowVersion AVersion) const {
        TZqDatSRowState S = EffectiveState();
        switch (S) {
        case rsDetached:
            return AVersion == rvOriginal ? nullptr : FProposed;
        case rsInserted:
            switch (AVersion) {
            case rvDefault: case rvCurrent: return FCurrent;
            case rvPrevious: return FOriginal ? FOriginal : FCurrent;
            default: return nullptr;
            }
        case rsDeleted:
            switch (AVersion) {
            case rvDefault: case rvOriginal: return FOriginal;
            case rvPrevious: return FCurrent;
            default: return nullptr;
            }
        case rsModified:
            switch (AVersion) {
            case rvDefault: case rvCurrent: return FCurrent;
            case rvOriginal: case rvPrevious: return FOriginal;
            default: return nullptr;
            }
        case rsUnchanged:
            return AVersion == rvProposed ? nullptr : FOriginal;
        case rsEditing:
            switch (AVersion) {
            case rvDefault: case rvCurrent: case rvProposed: return FProposed;
            case rvOriginal:
                return (FPriorState == rsDeleted || FPriorState == rsModified || FPriorState == rsUnchanged)
                           ? FOriginal
                           : nullptr;
            case rvPrevious: return FCurrent ? FCurrent : FOriginal;
            }
            return nullptr;
        case rsImportingCurent: return FCurrent;
        case rsImportingOriginal: return FOriginal;
        case rsImportingProposed: return FProposed;
        default: return nullptr;
        }
    }

    void BeginEdit();
    void EndEdit();
    void CancelEdit();
    void Delete(bool AKeep = false);
    void AcceptChanges(bool ACascade = true);
    void RejectChanges(bool ACascade = true);
    void Clear(bool AAssignDefaults);
    void BeginForceWrite();
    void EndForceWrite();

    bool GetColumnChanged(int AColumn) const;
    void SetColumnChanged(int AColumn, bool AValue);

    ::EZqException *GetRowError() const;
    bool SetRowError(const ::EZqException *AError);
    bool HasErrors() const { return FSide && FSide->Error; }
    void ClearErrors();

    void Lock(int32_t AMark);
    void Unlock();
    bool GetLocked() const { return FSide && FSide->LockMark != 0; }

    TZqDatSRow *GetNestedRow(int AColumn);
    TZqDatSNestedRowList *GetNestedRows(int AColumn);
    TZqDatSRow *GetParentRow() const;
    void SetParentRow(TZqDatSRow *AParent);

    // ---- values ----
    // False for NULL. Without copy AValue receives the address of the stored
    // value; with copy the value is copied into the buffer AValue addresses.
    bool GetData(int AColumn, TZqDatSRowVersion AVersion, void *&AValue, uint32_t ABufLen, uint32_t &ALen,
                 bool ACopy);
    // Writes into the rvDefault buffer; nil value is NULL. Lengths count
    // characters for texts, bytes otherwise; 0 skips the fixed-length check.
    void SetData(int AColumn, const void *AValue, uint32_t ALen);
    rtl::Variant GetDataAsVariant(int AColumn, TZqDatSRowVersion AVersion = rvDefault);
    rtl::Variant GetDataAsVariantByColumn(TZqDatSColumn *AColumn, TZqDatSRowVersion AVersion = rvDefault) {
        return GetDataAsVariant(AColumn->Index(), AVersion);
    }
    void SetDataFromVariant(int AColumn, const rtl::Variant &AValue);
    bool IsNull(int AColumn, TZqDatSRowVersion AVersion = rvDefault) const;
    // True when the column holds the same value in both versions.
    bool VersionsEqual(int AColumn, TZqDatSRowVersion AV1, TZqDatSRowVersion AV2);
    bool VersionsEqual(TZqDatSColumnSublist *AColumns, TZqDatSRowVersion AV1, TZqDatSRowVersion AV2);

    // Three-way comparison of two values of one column.
    int CompareData(int AColumn, const void *AValue1, uint32_t ALen1, const void *AValue2, uint32_t ALen2,
                    TZqDatSCompareOptions AOptions);
    static int CompareValues(const TZqDatSLayoutColumn &ACol, int ALocale, const void *AValue1, uint32_t ALen1,
                             const void *AValue2, uint32_t ALen2, TZqDatSCompareOptions AOptions);
    // Row comparison over column lists (see the value access notes).
    static int CompareRows(TZqDatSRow *ARow1, TZqDatSColumnSublist *AColumns1, TZqDatSColumnSublist *ADescending,
                           TZqDatSCompareRowsCache *ACache, TZqDatSCompareOptions AOptions,
                           TZqDatSRowVersion AVersion, TZqDatSColumnSublist *AColumns2, TZqDatSRow *ARow2,
                           int AColumnCount, TZqDatSColumnSublist *ANoCase, int AVersion2 = -1);
    virtual void DumpRow(bool AWithNames, TZqDatSRowVersion AVersion, std::string &AText);

    // ---- object family ----
    TZqDatSManager *GetManager() override;
    TZqDatSTable *GetTable() override { return FTable; }
    void AfterInsert() override;
    void BeforeInsert() override;
    void AfterRemove(TZqDatSObject *AFormerOwner) override;
    void BeforeRemove() override;

    // Runs the constraint checks of the row for an action (a row state
    // naming what happens: rsDetached remove, rsInserted insert, rsDeleted
    // delete, rsModified update).
    void CheckRow(TZqDatSRowState AAction);
    // Computes the calculated columns (all expression columns when asked).
    void Calculate(bool AAllExpressions);
    void AssignDefaults();
    void SendRowChanged();

    // Raw access for the engine: the row's buffers.
    uint8_t *OriginalBuffer() const { return FOriginal; }
    uint8_t *CurrentBuffer() const { return FCurrent; }
    uint8_t *ProposedBuffer() const { return FProposed; }

private:
    TZqDatSRow(TZqDatSTable *ATable, TZqDatSRowLayout *ALayout);
    friend class TZqDatSUpdatesJournal;
    friend class TZqDatSTable;
    friend class TZqDatSTableRowList;
    friend class TZqTempState;

    uint8_t *Tail() const { return reinterpret_cast<uint8_t *>(const_cast<TZqDatSRow *>(this)) + FLayout->RowObjectSize; }
    void *GetSlot(int ARefSlot) const;
    void SetSlot(int ARefSlot, void *AValue);
    TZqDatSUpdatesJournal *Journal() const;
    void JournalAdd();
    void JournalRemove();
    uint8_t *CopyBuffer(const uint8_t *ASource);
    void FreeBuffer(uint8_t *&ABuffer);
    // A zero-filled buffer: the row's own room when no version holds it.
    uint8_t *NewBuffer();
    uint8_t *InlineBuffer() const { return Tail() - FLayout->RowObjectSize + FLayout->InlineBufferOffset(); }
    void ReleaseValues(uint8_t *ABuffer);
    TZqDatSRowSide *Side();
    void TrimSide();
    void ClearLockMark();
    void SetAllChanged(bool AValue);
    void FreeNested();
    static void ReleaseChild(TZqDatSRow *AChild);
    void FollowNested(TZqDatSRowState AAction);
    void CheckForeignKeys(TZqDatSRowState AAction);
    std::vector<TZqDatSRow *> RowSetChildren() const;
    void CheckWritable(int AColumn);
    void CheckValue(int AColumn, const void *AValue, uint32_t ALen);
    bool LoadMode() const;

    TZqDatSRowState FPriorState = rsDetached;
    TZqDatSRowState FRowState = rsDetached;
    TZqDatSTable *FTable;
    // Keeps the layout the row was made under, whatever the columns do since.
    TZqDatSRef<TZqDatSRowLayout> FLayout;
    uint8_t *FOriginal = nullptr;
    uint8_t *FCurrent = nullptr;
    uint8_t *FProposed = nullptr;
    TZqDatSRow *FJournalNext = nullptr;
    TZqDatSRow *FJournalPrior = nullptr;
    int32_t FRowID = -1;
    int32_t FChangeSerial = -1;
    // Made on first need and dropped when it holds nothing any more.
    std::unique_ptr<TZqDatSRowSide> FSide;
};

// Row comparison cache: the second row's values, read once per search.
class TZqDatSCompareRowsCache {
public:
    struct TEntry {
        const void *Value = nullptr;
        uint32_t Length = 0;
        TZqDatSCompareOptions Options = 0;
        bool IsNull = false;
        bool Filled = false;
    };
    std::vector<TEntry> Entries;
    void Reset() { Entries.clear(); }
};

// Enters a temporary state and restores both states when it ends, on every
// exit (an exception included).
class TZqTempState {
public:
    TZqTempState(TZqDatSRow *ARow, TZqDatSRowState ATemp);
    ~TZqTempState();
    TZqTempState(const TZqTempState &) = delete;
    TZqTempState &operator=(const TZqTempState &) = delete;

private:
    TZqDatSRow *FRow;
    TZqDatSRowState FSavedState, FSavedPrior;
};

// Doubles equal within 1e-13 compare equal. NaN sorts after every number
// and equals NaN, so the order stays a strict weak order for the sort.
inline int DatSCompareDouble(double X, double Y) {
    if (X == Y) return 0;
    bool NX = X != X, NY = Y != Y;
    if (NX || NY) return NX == NY ? 0 : (NX ? 1 : -1);
    double D = X - Y;
    if (D > 1e-13) return 1;
    if (D >= -1e-13) return 0;
    return -1;
}

// A value in the form a row keeps it (AData, ALen) of a column of type
// AType as a variant, as GetDataAsVariant reads it: also for a value read
// where the driver fetched it (IZqPhysFetchedRow), which no row holds.
rtl::Variant DatSValueToVariant(TZqDataType AType, const void *AData, uint32_t ALen);

// UTF-8 texts to and from the 16-bit characters of wide columns.
std::u16string DatSUtf8ToUtf16(const std::string &AText);
std::string DatSUtf16ToUtf8(const char16_t *AText, size_t ALen);

} // namespace dats
