// qxZqDatSIntf: the small types every unit of the in-memory table engine
// shares: row states and versions, notification kinds, load modes, compare,
// sort and search options, the sort interface of a view and the table
// callback of the client dataset.
//
// The engine is single-threaded: tables, views and rows are used by one
// thread at a time and callers serialise access.
#pragma once

#include <cstdint>
#include <string>

#include "dataaccess/stan/qxZqStanIntf.h"

namespace dats {

using ::TZqDataType;

class TZqDatSObject;
class TZqDatSList;
class TZqDatSManager;
class TZqDatSTable;
class TZqDatSTableList;
class TZqDatSColumn;
class TZqDatSColumnList;
class TZqDatSColumnSublist;
class TZqDatSRow;
class TZqDatSRowListBase;
class TZqDatSTableRowList;
class TZqDatSViewRowList;
class TZqDatSNestedRowList;
class TZqDatSView;
class TZqDatSViewList;
class TZqDatSMechBase;
class TZqDatSMechSort;
class TZqDatSUpdatesJournal;
class TZqDatSConstraintList;
class TZqDatSConstraintBase;
class TZqDatSRelationList;
class TZqDatSAggregateList;
class TZqDatSCompareRowsCache;
struct TZqDatSViewChange;

// ---- row states and versions --------------------------------------------

// States 0, 7, 8 and 10 are temporary: PriorState holds the state underneath.
enum TZqDatSRowState : uint8_t {
    rsInitializing = 0,
    rsDetached = 1,
    rsInserted = 2,
    rsDeleted = 3,
    rsModified = 4,
    rsUnchanged = 5,
    rsEditing = 6,
    rsCalculating = 7,
    rsChecking = 8,
    rsDestroying = 9,
    rsForceWrite = 10,
    rsImportingCurent = 11,
    rsImportingOriginal = 12,
    rsImportingProposed = 13
};

// A set of row states (bit n = state n).
using TZqDatSRowStates = uint16_t;
constexpr TZqDatSRowStates RowStateBit(TZqDatSRowState S) { return TZqDatSRowStates(1u << S); }

// What a view shows when nobody asks for particular states: no detached,
// deleted or destroying rows.
constexpr TZqDatSRowStates CDefaultViewRowStates =
    RowStateBit(rsInitializing) | RowStateBit(rsInserted) | RowStateBit(rsModified) |
    RowStateBit(rsUnchanged) | RowStateBit(rsEditing) | RowStateBit(rsCalculating) |
    RowStateBit(rsChecking);

enum TZqDatSRowVersion : uint8_t {
    rvDefault = 0,
    rvCurrent = 1,
    rvOriginal = 2,
    rvPrevious = 3,
    rvProposed = 4
};

// ---- notifications ------------------------------------------------------

enum TZqDatSNotifyKind : uint8_t {
    nkBeforeInsert = 0,
    nkAfterInsert = 1,
    nkBeforeRemove = 2,
    nkAfterRemove = 3,
    nkChanged = 4,
    nkNameChanged = 5,
    nkMechanismChanged = 6,
    nkViewRowsChanged = 7,
    nkRowChanged = 8,
    nkRowErrorChanged = 9
};

// One change travelling through the owner tree. Item is the object
// concerned; PrevName is set for nkNameChanged, Change for nkViewRowsChanged.
struct TZqDatSNotification {
    TZqDatSNotifyKind Kind = nkChanged;
    uint8_t ListKind = 0;
    TZqDatSObject *Sender = nullptr;
    TZqDatSObject *Item = nullptr;
    const std::string *PrevName = nullptr;
    const TZqDatSViewChange *Change = nullptr;
};

// ---- load modes ---------------------------------------------------------

// 0 normal; 1 batch with live views; 2 batch, views rebuilt at the end;
// 3 fetch one rowset at a time; 4 fetch all rows (no checks, no
// notifications, views rebuilt once at the end); 5 clearing; 6 merge of a
// refreshed row (checks stay on).
using TZqDatSLoadMode = uint8_t;
constexpr TZqDatSLoadMode lmNormal = 0;
constexpr TZqDatSLoadMode lmBatchLive = 1;
constexpr TZqDatSLoadMode lmBatch = 2;
constexpr TZqDatSLoadMode lmFetchRowset = 3;
constexpr TZqDatSLoadMode lmFetchAll = 4;
constexpr TZqDatSLoadMode lmClearing = 5;
constexpr TZqDatSLoadMode lmRefreshMerge = 6;

inline bool IsSuspendingLoadMode(TZqDatSLoadMode M) { return M == 2 || M == 4 || M == 5; }
inline bool IsFetchLoadMode(TZqDatSLoadMode M) { return M == 3 || M == 4 || M == 6; }

// ---- compare, sort and search options -----------------------------------

using TZqDatSCompareOptions = uint8_t;
constexpr TZqDatSCompareOptions cmpNoCase = 1;
constexpr TZqDatSCompareOptions cmpPartial = 2;
constexpr TZqDatSCompareOptions cmpNullFirst = 4;
constexpr TZqDatSCompareOptions cmpDescending = 8;
constexpr TZqDatSCompareOptions cmpCache = 16;

using TZqSortOptions = uint8_t;
constexpr TZqSortOptions soNoCase = 1;
constexpr TZqSortOptions soNullLess = 2;
constexpr TZqSortOptions soDescending = 4;
constexpr TZqSortOptions soUnique = 8;
constexpr TZqSortOptions soPrimary = 16;

using TZqDatSSearchOptions = uint8_t;
constexpr TZqDatSSearchOptions srPartial = 1;
constexpr TZqDatSSearchOptions srEndPosition = 2; // view search: answer Count when not found
constexpr TZqDatSSearchOptions srNoCase = 4;
constexpr TZqDatSSearchOptions srLast = 8;
constexpr TZqDatSSearchOptions srSkipKeyRow = 16;
constexpr TZqDatSSearchOptions srRowOrder = 32;

// Sort kinds of a sort mechanism.
constexpr uint8_t skColumns = 0;
constexpr uint8_t skExpression = 1;
constexpr uint8_t skRowNumber = 2;

// ---- interfaces ---------------------------------------------------------

// The sort of a view, as views, ranges, aggregates and the client dataset
// see it. The mechanism that implements it is owned by its view.
class IZqDataMechSort {
public:
    virtual TZqSortOptions GetSortOptions() = 0;
    virtual TZqDatSColumnSublist *GetSortColumns() = 0;
    virtual TZqDatSColumnSublist *GetDescendingColumns() = 0;
    virtual TZqDatSColumnSublist *GetNoCaseColumns() = 0;
    virtual uint8_t GetSortKind() = 0;
    virtual void Sort(TZqDatSRowListBase *ARows) = 0;
    virtual bool MatchesColumnNames(const std::string &ANames, TZqSortOptions ARequired,
                                    TZqSortOptions AForbidden) = 0;
    virtual bool MatchesColumns(TZqDatSColumnSublist *AColumns, int ACount, TZqSortOptions ARequired,
                                TZqSortOptions AForbidden) = 0;
    virtual int CompareRowsEx(TZqDatSRow *ARow1, TZqDatSRow *ARow2, TZqDatSCompareOptions AOptions,
                              int ACount) = 0;
    virtual int CompareRows(TZqDatSRow *ARow1, TZqDatSRow *ARow2, int ACount) = 0;
    // Binary search of a list sorted by this mechanism; answers the index by
    // the rules of the search (see TZqDatSMechSort::Search).
    virtual void Search(TZqDatSRowListBase *ARows, TZqDatSRow *AKeyRow, TZqDatSRowVersion AVersion,
                        bool &AFound, int &AIndex, TZqDatSSearchOptions AOptions, int AColumnCount,
                        TZqDatSColumnSublist *AKeyRowColumns, TZqDatSColumnSublist *AKeyColumns) = 0;

protected:
    ~IZqDataMechSort() = default;
};

// Set by the client dataset on its table: it may adjust a column's
// effective options and computes its calculated fields for a row.
class IZqDataTableCallback {
public:
    virtual void GetColumnOptions(TZqDatSColumn *AColumn, ::TZqDataOptions &AOptions) = 0;
    virtual void CalculateRow(TZqDatSRow *ARow) = 0;

protected:
    ~IZqDataTableCallback() = default;
};

// Raises a library error with the component word "DatS".
[[noreturn]] void DatSError(int ACode);
[[noreturn]] void DatSError(int ACode, const std::string &AArg);
[[noreturn]] void DatSError(int ACode, const std::string &AArg, int64_t AN1, int64_t AN2);
[[noreturn]] void DatSError(int ACode, const std::string &AArg1, const std::string &AArg2,
                            const std::string &AArg3);
// A broken internal precondition.
[[noreturn]] void DatSAssertFailed(const char *AFile, int ALine);

#define DATS_ASSERT(cond)                                                                          \
    do {                                                                                           \
        if (!(cond)) ::dats::DatSAssertFailed("qxZqDatSManager", __LINE__);                        \
    } while (0)

} // namespace dats
