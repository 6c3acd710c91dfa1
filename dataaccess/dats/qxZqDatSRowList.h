// qxZqDatSRowList: the lists that hold rows: the table's own row list
// (owning, numbered, searchable by row number while rows arrive in order), a
// view's row list (not owning, silent) and a parent row's list of nested
// rows, with the shared sort, duplicate check, column text and per-row
// aggregate storage.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/dats/qxZqDatSObject.h"

namespace dats {

// The compare routine of a sort: (context, row 1, row 2, options, column count).
using TZqDatSRowCompare = int (*)(void *AContext, TZqDatSRow *ARow1, TZqDatSRow *ARow2, uint8_t AOptions,
                                  int ACount);

class TZqDatSRowListBase : public TZqDatSList {
public:
    TZqDatSRowListBase() { FListKind = 1; }
    TZqDatSRow *GetItem(int AIndex) const {
        DATS_ASSERT(AIndex >= 0 && AIndex < int(FItems.size()));
        return reinterpret_cast<TZqDatSRow *>(FItems[size_t(AIndex)]);
    }
    TZqDatSRow *operator[](int AIndex) const { return GetItem(AIndex); }
    TZqDatSRow **RowData() { return reinterpret_cast<TZqDatSRow **>(FItems.data()); }
    int Add(TZqDatSRow *ARow);
    void HandleNotification(TZqDatSNotification &) override {}

    // Quick sort of the pointers followed by one insertion sort.
    void Sort(uint8_t AOptions, TZqDatSRowCompare ACompare, void *AContext);
    // Raises error 15 for the first pair of adjacent rows that compare equal.
    void CheckDuplicates(uint8_t AOptions, TZqDatSRowCompare ACompare, void *AContext);
    std::string ColumnText(const std::string &AColumnName, const std::string &ASeparator,
                           const std::string &ANullText);
    virtual void DumpColumn(int AColumn, bool AWithName, std::string &AText);
    // Moves the row at AFrom to ATo, shifting only the rows between.
    virtual void MoveRow(int AFrom, int ATo);
};

// A reference-counted aggregate value; the aggregates of a view share one
// object per group. A new value starts with one count, which its maker
// holds (TZqDatSRef::Adopt).
class TZqDatSAggregateValue {
public:
    TZqDatSAggregateValue() = default;
    virtual ~TZqDatSAggregateValue() = default;
    void AddRef() { ++FRefCount; }
    void Release() {
        if (--FRefCount == 0) delete this;
    }
    int RefCount() const { return FRefCount; }

private:
    int FRefCount = 1;
};

// Per-row storage of aggregate values: one array of value objects per row,
// one slot per aggregate, at most 64 slots.
class TZqDatSRowListWithAggregates : public TZqDatSRowListBase {
public:
    ~TZqDatSRowListWithAggregates() override;
    void Insert(TZqDatSObject *AItem, int AIndex) override;
    void RemoveAt(int AIndex, bool AKeep) override;
    void Clear() override;
    void MoveRow(int AFrom, int ATo) override;

    int TakeSlot();
    void FreeSlot(int &ASlot);
    void SetValue(int ARow, int ASlot, TZqDatSAggregateValue *AValue);
    TZqDatSAggregateValue *GetValue(int ARow, int ASlot) const;
    void ClearValue(int ARow, int ASlot);
    void ClearSlot(int ASlot);
    void ClearAllSlots();
    int SlotCount() const { return FSlotCount; }
    int SlotCapacity() const { return FSlotCapacity; }

protected:
    // Each slot holds its value through the value's count.
    using TSlots = std::vector<TZqDatSRef<TZqDatSAggregateValue>>;
    // The slot arrays of the rows, one per row, owned here. Kept as plain
    // pointers so that a row moving through a big view shifts them in one
    // block move, as fast as the rows themselves (unique_ptr elements would
    // be moved one by one).
    class TAggRows {
    public:
        TAggRows() = default;
        ~TAggRows() { Clear(); }
        TAggRows(const TAggRows &) = delete;
        TAggRows &operator=(const TAggRows &) = delete;
        int Size() const { return int(FItems.size()); }
        TSlots &operator[](int AIndex) const { return *FItems[size_t(AIndex)]; }
        std::vector<TSlots *>::const_iterator begin() const { return FItems.begin(); }
        std::vector<TSlots *>::const_iterator end() const { return FItems.end(); }
        // A new array of ASlotCount empty slots at APos.
        void Insert(int APos, int ASlotCount);
        void Erase(int APos);
        void Move(int AFrom, int ATo);
        void Clear();

    private:
        std::vector<TSlots *> FItems;
    };
    TAggRows FAggRows;
    uint64_t FSlotMap = 0;
    int FSlotCapacity = 0;
    int FSlotCount = 0;
};

class TZqDatSTableRowList : public TZqDatSRowListWithAggregates {
public:
    explicit TZqDatSTableRowList(TZqDatSTable *ATable);
    void Insert(TZqDatSObject *AItem, int AIndex) override;
    void RemoveAt(int AIndex, bool AKeep) override;
    void Clear() override;
    int IndexOf(TZqDatSObject *AItem) override;
    TZqDatSTable *GetTable() override { return FTable; }
    int32_t NextRowID() const { return FNextRowID; }
    int32_t TakeRowID();
    bool InOrder() const { return FInOrder; }

private:
    TZqDatSTable *FTable;
    int32_t FNextRowID = 0;
    bool FInOrder = true;
};

class TZqDatSViewRowList : public TZqDatSRowListWithAggregates {
public:
    explicit TZqDatSViewRowList(TZqDatSView *AView);
    // Silent, non-owning storage.
    void InsertRow(TZqDatSRow *ARow, int AIndex);
    void RemoveRow(int AIndex);
    void Clear() override;
    // The rows are known to be in rising row-number order.
    bool InRowIDOrder() const { return FInRowIDOrder; }
    void SetInRowIDOrder(bool AValue) { FInRowIDOrder = AValue; }
    // The row's index by identity, -1 when absent.
    int FindRow(TZqDatSRow *ARow);

private:
    bool FInRowIDOrder = false;
};

class TZqDatSNestedRowList : public TZqDatSRowListBase {
public:
    explicit TZqDatSNestedRowList(TZqDatSRow *AParent);
    void Insert(TZqDatSObject *AItem, int AIndex) override;
    void RemoveAt(int AIndex, bool AKeep) override;
    TZqDatSRow *ParentRow() const { return FParent; }
    // Used by SetParentRow: plain storage without linking.
    void AddLinked(TZqDatSRow *ARow) { RawInsert(reinterpret_cast<TZqDatSObject *>(ARow), -1); }
    void RemoveLinked(TZqDatSRow *ARow);

private:
    TZqDatSRow *FParent;
};

} // namespace dats
