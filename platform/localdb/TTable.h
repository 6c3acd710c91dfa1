// TTable: one table of a work folder as a dataset.
//
// Records come in primary-key order (rowid order for a table without a
// primary index), as a keyed Paradox table presents them. The cursor keeps
// the rowids in that order and reads a record when it is shown; the list is
// read on first navigation and again after a batch move or EmptyTable, so a
// table that only receives batch moves is never read whole. Posted records
// are written at once; a new record takes its key position.
#pragma once

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/localdb/TLocalDataSet.h"

enum TBatchMode : uint8_t { batAppend, batUpdate, batAppendUpdate, batDelete, batCopy };

class TTable : public TLocalDataSet {
public:
    explicit TTable(rtl::TComponent *AOwner = nullptr);
    ~TTable() override;
    std::string ClassName() const override { return "TTable"; }

    const std::string &TableName() const { return FTableName; }
    void SetTableName(const std::string &AValue);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool AValue) { CheckInactive(); FReadOnly = AValue; }
    // Whether the table is there, asked of the engine.
    bool Exists() const;
    // Creates the table afresh (empty) from FieldDefs; an existing table of
    // that name is replaced.
    void CreateTable();
    void DeleteTable();
    // Adds a field at the end of the stored table (closed); a field of that
    // name already there is left as it is.
    void AddField(const std::string &AName, rtl::TFieldType AType, int ASize = 0);
    void EmptyTable();
    // Options ixPrimary (the primary index; its name is not kept), ixUnique.
    void AddIndex(const std::string &AName, const std::string &AFields, TIndexOptions AOptions);
    TIndexDefs &IndexDefs();
    // The fields of the primary index, "A;B" ("" without one).
    std::string PrimaryKeyFields() const { return FKeyFields; }
    // Key search on the primary index: the record whose key fields equal the
    // values (in key order) becomes current.
    bool FindKey(const std::vector<rtl::Variant> &AKeyValues);
    // Moves the records of a dataset into this table in one transaction
    // (fields matched by position); returns the number of records moved.
    int64_t BatchMove(TDataSet *ASource, TBatchMode AMode);
    // Appends rows given as values, or updates the stored row of the same
    // primary key, in one transaction and in the order given (a later row
    // of a key wins): AColumns names the columns the values stand for; a
    // column not named keeps its stored value, and a new row takes the
    // column's default there. The table must be open; its cursor stays
    // where it is and the row list is read again on the next move. What a
    // batch move in batAppendUpdate does with a source table, without one.
    void AppendUpdateRows(const std::vector<std::string> &AColumns, const std::vector<TLocalRow> &ARows);

    bool Locate(const std::string &AKeyFields, const rtl::Variant &AKeyValues,
                TLocateOptions AOptions = 0) override;
    std::string PSGetTableName() override { return FTableName; }
    void UpdateIndexDefs() override;

    // The SQL name of the table in its folder database.
    std::string SqlName() const;
    // Forgets the cursor's row list (after the table changed underneath).
    void InvalidateRows() { FRowsValid = false; }

protected:
    int RowCount() override;
    void ReadRow(int AIndex, TLocalRow &ARow, int64_t &ABookmark) override;
    int IndexOfBookmark(int64_t ABookmark) override;
    void OpenSource() override;
    void CloseSource() override;
    bool GetCanModify() const override { return !FReadOnly; }
    void InternalPost() override;
    void InternalDelete() override;
    void InternalAddRecord(TRecordBuffer ABuffer, bool AAppend) override;
    void InternalRefresh() override { FRowsValid = false; }

private:
    void LoadRows();
    // The index in the key order that a row with these values takes; AHint
    // is tried first (-1: the end).
    int KeyPosition(const TLocalRow &AValues, int AHint = -1);
    // Whether the values' key sorts after (AAfter) or before the row's.
    bool KeyBeyond(const TLocalRow &AValues, int64_t ARowId, bool AAfter);
    void WriteRecord(TRecordBuffer ABuffer, bool AInsert);
    void ExecuteWrite(TLocalStatement &AStatement);
    // A prepared statement kept while the table is open (reset, unbound).
    TLocalStatement &Cached(const std::string &ASql);
    std::map<std::string, TLocalStatement> FStatements;
    std::string FTableName;
    bool FReadOnly = false;
    std::string FSqlName;
    std::string FKeyFields;
    std::vector<int> FKeyColumns;
    std::vector<int64_t> FRowIds;
    bool FRowsValid = false;
    TLocalStatement FReadStmt;
    // Stored keys of rows this table read or wrote, valid while the database
    // is in the state stamped: a row appended after the last in key order,
    // or edited without a change of key, is placed without asking the
    // engine, as long as nothing else moved.
    struct TStamp {
        int64_t Changes = -1;
        unsigned DataVersion = 0;
        uint64_t Generation = 0;
        bool operator==(const TStamp &O) const
        {
            return Changes == O.Changes && DataVersion == O.DataVersion && Generation == O.Generation;
        }
    };
    TStamp Stamp() const;
    // The key as the engine stores it, from values about to be written;
    // false where the engine might store it otherwise.
    bool StoredKey(const TLocalRow &AValues, TLocalRow &AKey) const;
    // Records a row's stored key; ABefore is the state before the caller's
    // own write (or now, for a read).
    void KnowKey(int64_t ARowId, TLocalRow AKey, const TStamp &ABefore, bool AKnown);
    const TLocalRow *KnownKey(int64_t ARowId, const TStamp &ANow) const;
    bool FKeyMemo = false;
    std::unordered_map<int64_t, TLocalRow> FKnownKeys;
    TStamp FKnownStamp;
};
