// TLocalDataSet: the part of TTable and TQuery that is the same for both:
// record buffers over rows of a work-folder database, read by position.
//
// A record buffer holds the calculated area, then a header with the row's
// bookmark (rowid for a table, position for a query result), its position
// and the bookmark flag, and the row's values. The cursor FCursor runs from
// -1 (before the first row) to RowCount() (after the last).
#pragma once

#include <string>

#include "platform/dataset/TDataSet.h"
#include "platform/localdb/LocalEngine.h"

class TLocalDataSet : public TDataSet {
public:
    explicit TLocalDataSet(rtl::TComponent *AOwner = nullptr);
    ~TLocalDataSet() override;

    // The work folder (every table and query names one).
    const std::string &DatabaseName() const { return FDatabaseName; }
    void SetDatabaseName(const std::string &AValue);
    TLocalDatabase &Database() const;

    bool GetFieldData(TField *AField, void *ABuffer) override;
    using TDataSet::GetFieldData;
    void SetFieldData(TField *AField, const void *ABuffer) override;
    using TDataSet::SetFieldData;
    bool GetBlobData(TField *AField, std::string &AValue) override;
    void SetBlobData(TField *AField, const std::string *AValue) override;
    bool BookmarkValid(const TBookmark &ABookmark) override;
    int CompareBookmarks(const TBookmark &A, const TBookmark &B) override;

    // The value of a field in the current record as the engine stores it.
    TLocalValue CurrentValue(TField *AField);

protected:
    struct THeader {
        int64_t Bookmark = 0;
        int32_t Index = -1;
        TBookmarkFlag Flag = bfCurrent;
        TLocalRow Values;
        // A row the source keeps unchanged while it is open, read in place
        // of Values (until a field of the record is written).
        const TLocalRow *Shared = nullptr;
    };
    THeader &Header(TRecordBuffer ABuffer) const;
    static const TLocalRow &RowOf(const THeader &AHeader)
    {
        return AHeader.Shared ? *AHeader.Shared : AHeader.Values;
    }
    // Values of the record about to be written (a shared row is copied).
    static TLocalRow &OwnRow(THeader &AHeader);

    // The rows.
    virtual int RowCount() = 0;
    virtual void ReadRow(int AIndex, TLocalRow &ARow, int64_t &ABookmark) = 0;
    // A row the source holds unchanged while it is open (nullptr: ReadRow
    // copies it).
    virtual const TLocalRow *RowAt(int, int64_t &) { return nullptr; }
    virtual int IndexOfBookmark(int64_t ABookmark) = 0;
    virtual void OpenSource() = 0;
    virtual void CloseSource() = 0;
    // Column names and declared types of the rows (field definitions).
    std::vector<TLocalColumn> FColumns;

    TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(TRecordBuffer &ABuffer) override;
    TGetResult GetRecord(TRecordBuffer ABuffer, TGetMode AGetMode, bool ADoCheck) override;
    void GetBookmarkData(TRecordBuffer ABuffer, void *AData) override;
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer ABuffer) override;
    void SetBookmarkFlag(TRecordBuffer ABuffer, TBookmarkFlag AValue) override;
    void SetBookmarkData(TRecordBuffer ABuffer, const void *AData) override;
    void InternalInitRecord(TRecordBuffer ABuffer) override;
    void ClearCalcFields(TRecordBuffer ABuffer) override;
    void InternalOpen() override;
    void InternalClose() override;
    bool IsCursorOpen() const override { return FCursorOpen; }
    void InternalInitFieldDefs() override;
    void InternalFirst() override { FCursor = -1; }
    void InternalLast() override { FCursor = RowCount(); }
    void InternalGotoBookmark(const void *ABookmark) override;
    void InternalSetToRecord(TRecordBuffer ABuffer) override;
    int GetRecordCount() const override;
    int GetRecNo() const override;
    void SetRecNo(int AValue) override;

    // Values of a record buffer in the engine's form, and back.
    static TLocalValue NativeToValue(TField *AField, const void *ABuffer);
    static bool ValueToNative(TField *AField, const TLocalValue &AValue, void *ABuffer);

    std::string FDatabaseName;
    int FCursor = -1;
    bool FCursorOpen = false;
    int FHeaderOffset = 0;
};
