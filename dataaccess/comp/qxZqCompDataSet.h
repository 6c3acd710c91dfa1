// qxZqCompDataSet: TZqDataSet, the toolkit dataset whose records are the
// rows of an in-memory table seen through a view.
//
// A record buffer never holds row values: it holds a reference to the row,
// and every field read or write goes to the row itself (the rvDefault
// version while browsing, the proposed version while editing). Rows arrive
// from a source through the source operations, which do nothing here; the
// adapted datasets (query, table) fill them in over a table adapter.
//
// Record buffer: [calculated area, CalcFieldsSize bytes rounded up to 8]
// [row reference][position in the active view (32-bit)][bookmark flag].
//
// Bookmarks: a row's address is not a safe bookmark, since the row may be
// freed (a cancelled insert, a deleted inserted row, a refresh) and its
// memory handed to another row. A bookmark therefore carries the table, the
// dataset's attach serial and the row's RowID, which the row keeps for life;
// going to a bookmark looks the RowID up among the table's live rows and
// raises error 200 when it is gone or no longer in the active view.
//
// Cursor states (CurrentIndex): -1 before the first row; 0 .. Count-1 on a
// row of the active view; Count after the last row. NewRow is the detached
// row of a running insert; it enters the table on Post (InternalAddRecord)
// and is freed on Cancel (InternalCancel).
//
// Editing: Edit announces a lock request; the first field write puts the
// row into rsEditing (BeginEdit); Post ends the edit (EndEdit: rsModified,
// journalled) and announces update and unlock; Cancel rejects the edit
// (CancelEdit). With CachedUpdates the requests flagged for immediate
// posting are not sent, so the changes stay in the journal.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dataaccess/dats/qxZqDatSIntf.h"
#include "dataaccess/phys/qxZqPhysIntf.h"
#include "platform/dataset/TDataSet.h"

class TZqFetchOptions;
class TZqFormatOptions;
class TZqUpdateOptions;
class TZqResourceOptions;
class TZqParams;
class EZqException;

namespace dats {
class TZqDatSTable;
class TZqDatSView;
class TZqDatSColumn;
class TZqDatSRow;
class TZqDatSManager;
class TZqDatSUpdatesJournal;
class TZqDatSColumnSublist;
} // namespace dats

// One field number's column: the column, its index in its table and the
// chain of nested-table columns leading to it (empty for a plain column).
struct TZqColMapItem {
    dats::TZqDatSColumn *Column = nullptr;
    int32_t ColumnIndex = -1;
    std::vector<int32_t> Path;
};

enum TZqActiveAtRunTime : uint8_t { arStandard, arInactive, arActive };

// The answers of the reconcile handler.
enum TZqDAptReconcileAction : uint8_t { raSkip, raAbort, raMerge, raCorrect, raCancel, raRefresh };

class TZqDataSet;
using TZqUpdateErrorEvent = std::function<void(TZqDataSet *ASender, EZqException *AException,
                                               dats::TZqDatSRow *ARow, TZqPhysRequest ARequest,
                                               TZqErrorAction &AAction)>;
using TZqUpdateRecordEvent = std::function<void(TZqDataSet *ASender, TZqPhysRequest ARequest,
                                                TZqErrorAction &AAction, TZqPhysUpdateRowOptions AOptions)>;
using TZqReconcileErrorEvent = std::function<void(TZqDataSet *ADataSet, EZqException *AException,
                                                  TUpdateKind AUpdateKind, TZqDAptReconcileAction &AAction)>;

class TZqDataSet : public TDataSet {
public:
    explicit TZqDataSet(rtl::TComponent *AOwner = nullptr);
    ~TZqDataSet() override;
    std::string ClassName() const override { return "TZqDataSet"; }

    // Closes the dataset and swaps the counted table and view references.
    void AttachTable(dats::TZqDatSTable *ATable, dats::TZqDatSView *AView);
    dats::TZqDatSTable *Table() const { return FTable; }
    dats::TZqDatSView *View() const { return FView; }
    dats::TZqDatSView *ActiveView() const { return FActiveView; }

    // ---- options (the holder supplies them) ----
    virtual TZqFetchOptions *GetFetchOptions() = 0;
    virtual TZqFormatOptions *GetFormatOptions() = 0;
    virtual TZqUpdateOptions *GetUpdateOptions() = 0;
    virtual TZqResourceOptions *GetResourceOptions() = 0;
    TZqFetchOptions *FetchOptions() { return GetFetchOptions(); }
    TZqFormatOptions *FormatOptions() { return GetFormatOptions(); }
    TZqUpdateOptions *UpdateOptions() { return GetUpdateOptions(); }
    TZqResourceOptions *ResourceOptions() { return GetResourceOptions(); }

    // ---- settings ----
    bool CachedUpdates() const { return FCachedUpdates; }
    void SetCachedUpdates(bool AValue);
    bool Unidirectional() const { return FUnidirectional; }
    void SetUnidirectional(bool AValue) { CheckInactive(); FUnidirectional = AValue; }
    bool Silent() const { return FSilent; }
    void SetSilent(bool AValue) { FSilent = AValue; }
    TZqActiveAtRunTime ActiveAtRunTime() const { return FActiveAtRunTime; }
    void SetActiveAtRunTime(TZqActiveAtRunTime AValue) { FActiveAtRunTime = AValue; }
    TUpdateRecordTypes UpdateRecordTypes() const { return FUpdateRecordTypes; }
    void SetUpdateRecordTypes(TUpdateRecordTypes AValue);
    int DiscardedRows() const { return FDiscardedRows; }
    bool SourceEOF() const { return FSourceEOF; }
    // The field's column (nil for a calculated field or a closed dataset).
    dats::TZqDatSColumn *FieldColumn(const TField *AField) const;
    // The row shown by a record buffer (the active one by default); the new
    // row of a running insert for buffers flagged BOF, EOF or inserted.
    dats::TZqDatSRow *GetRowOfBuffer(TRecordBuffer ABuffer = nullptr, bool ABufferRowOnly = false) const;
    // Points every field read and write at ARow until ClearForcedRow.
    void SetForcedRow(dats::TZqDatSRow *ARow, bool AForceWrite, bool ARecalc);
    void ClearForcedRow();

    // ---- the TDataSet contract ----
    void SetActive(bool AValue) override;
    void Loaded() override;
    bool GetFieldData(TField *AField, void *ABuffer) override;
    using TDataSet::GetFieldData;
    void SetFieldData(TField *AField, const void *ABuffer) override;
    using TDataSet::SetFieldData;
    bool GetBlobData(TField *AField, std::string &AValue) override;
    void SetBlobData(TField *AField, const std::string *AValue) override;
    bool BookmarkValid(const TBookmark &ABookmark) override;
    int CompareBookmarks(const TBookmark &A, const TBookmark &B) override;
    bool Locate(const std::string &AKeyFields, const rtl::Variant &AKeyValues,
                TLocateOptions AOptions = 0) override;
    rtl::Variant Lookup(const std::string &AKeyFields, const rtl::Variant &AKeyValues,
                        const std::string &AResultFields) override;
    TUpdateStatus UpdateStatus() const override;
    bool IsSequenced() const override { return true; }
    void DataEvent(TDataEvent AEvent, intptr_t AInfo) override;
    std::string PSGetTableName() override;
    void PSReset() override;

    // Fetches every remaining row of the source.
    void FetchAll();
    // The journal that holds the table's changes.
    virtual dats::TZqDatSUpdatesJournal *GetUpdates() const;
    virtual TZqParams *GetParams() { return nullptr; }
    // Returns the number of rows that failed to apply.
    virtual int ApplySourceUpdates(int AMaxErrors) { (void)AMaxErrors; return 0; }
    virtual void Disconnect(bool AAbortJob = false) { (void)AAbortJob; SetActive(false); }

    // Handlers the adapted datasets call while a table adapter posts rows.
    virtual void DoUpdateErrorHandler(dats::TZqDatSRow *ARow, EZqException *AException,
                                      TZqPhysRequest ARequest, TZqErrorAction &AAction);
    virtual void DoUpdateRecordHandler(dats::TZqDatSRow *ARow, TZqPhysRequest ARequest,
                                       TZqErrorAction &AAction, TZqPhysUpdateRowOptions AOptions);
    virtual void DoReconcileErrorHandler(dats::TZqDatSRow *ARow, EZqException *AException,
                                         TUpdateKind AUpdateKind, TZqDAptReconcileAction &AAction);

    TZqUpdateErrorEvent OnUpdateError;
    TZqUpdateRecordEvent OnUpdateRecord;
    TZqReconcileErrorEvent OnReconcileError;
    TDataSetNotifyEvent BeforeGetRecords, AfterGetRecords, BeforeExecute, AfterExecute;

protected:
    // ---- source operations (the adapted datasets fill them in) ----
    // Brings rows of the source into ATable; answers how many arrived.
    virtual int FetchFromSource(dats::TZqDatSTable *ATable, bool AAll) { (void)ATable; (void)AAll; return 0; }
    virtual void DefineSource() {}
    virtual void ResetSource() {}
    virtual void PrepareSource() {}
    virtual void UnprepareSource() {}
    virtual void OpenSource(bool AAsync, bool AInfoQuery, bool ADefine) { (void)AAsync; (void)AInfoQuery; (void)ADefine; }
    virtual bool IsSourceOpen() { return false; }
    virtual bool IsSourceAsync() { return false; }
    virtual void CloseSource() {}
    virtual void ExecuteSource(int ATimes, int AOffset) { (void)ATimes; (void)AOffset; }
    // Announces a row change to the source (lock, post, unlock).
    virtual void RequestRow(TZqPhysRequest ARequest, TZqPhysUpdateRowOptions AOptions)
    {
        (void)ARequest;
        (void)AOptions;
    }
    virtual void UpdateRecordTypesChanging() {}
    // Fills TotalRecordCount; the base cannot count beyond its rows (-1).
    virtual void CountTotalRecords() { FTotalRecordCount = -1; }
    virtual void DoBeforeGetRecords() { if (BeforeGetRecords) BeforeGetRecords(this); }
    virtual void DoAfterGetRecords() { if (AfterGetRecords) AfterGetRecords(this); }
    virtual void DoBeforeExecute() { if (BeforeExecute) BeforeExecute(this); }
    virtual void DoAfterExecute() { if (AfterExecute) AfterExecute(this); }

    // ---- TDataSet overrides ----
    TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(TRecordBuffer &ABuffer) override;
    TGetResult GetRecord(TRecordBuffer ABuffer, TGetMode AGetMode, bool ADoCheck) override;
    void GetBookmarkData(TRecordBuffer ABuffer, void *AData) override;
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer ABuffer) override;
    void SetBookmarkFlag(TRecordBuffer ABuffer, TBookmarkFlag AValue) override;
    void SetBookmarkData(TRecordBuffer ABuffer, const void *AData) override;
    void InitRecord(TRecordBuffer ABuffer) override;
    void InternalInitRecord(TRecordBuffer ABuffer) override;
    void ClearCalcFields(TRecordBuffer ABuffer) override;
    bool GetCurrentRecord(TRecordBuffer ABuffer) override;
    void OpenCursor(bool AInfoQuery) override;
    void InternalOpen() override;
    void InternalClose() override;
    bool IsCursorOpen() const override;
    void InternalInitFieldDefs() override;
    void InternalFirst() override { FCurrentIndex = -1; }
    void InternalLast() override;
    void InternalGotoBookmark(const void *ABookmark) override;
    void InternalSetToRecord(TRecordBuffer ABuffer) override;
    void InternalRefresh() override;
    void InternalHandleException() override;
    void InternalEdit() override;
    void InternalPost() override;
    void InternalCancel() override;
    void InternalDelete() override;
    void InternalAddRecord(TRecordBuffer ABuffer, bool AAppend) override;
    void DoBeforeEdit() override;
    void DoBeforeInsert() override;
    void DoBeforeDelete() override;
    int GetRecordCount() const override;
    int GetRecNo() const override;
    void SetRecNo(int AValue) override;
    int GetRecordSize() const override;

    // ---- helpers shared with the adapted datasets ----
    // Fetches more rows; answers whether the last call brought rows.
    bool FetchMore(bool AAll, bool AOnDemand);
    // Composes the active view: the caller-given view or the table's
    // default view.
    void ComposeViews();
    // The locate search: fetches all, writes the key through the fields
    // into a detached row and searches the active view for it.
    bool LocateSearch(const std::string &AKeyFields, const rtl::Variant &AKeyValues,
                      TLocateOptions AOptions, int &AIndex);
    // A lock, post or unlock request, skipped in cached-updates mode when
    // it is meant to reach the database at once.
    void SendRequest(TZqPhysRequest ARequest, TZqPhysUpdateRowOptions AOptions);

    int FCurrentIndex = -1;
    int FInsertIndex = -1;
    int FDiscardedRows = 0;
    int FTotalRecordCount = -1;
    bool FSourceEOF = true;

private:
    struct TRecInfo;
    TRecInfo *RecInfo(TRecordBuffer ABuffer) const;
    TRecordBuffer ReadBuffer() const;
    dats::TZqDatSRow *RowOfBookmark(const void *ABookmark) const;
    dats::TZqDatSRow *FindRowByID(int32_t AID) const;
    void Reposition(dats::TZqDatSRow *ARow);
    void ReleaseViews();
    void FreeNewRow();
    class TTableCallback;

    dats::TZqDatSTable *FTable = nullptr;
    dats::TZqDatSView *FView = nullptr;
    dats::TZqDatSView *FActiveView = nullptr;
    std::vector<TZqColMapItem> FFieldMap;
    dats::TZqDatSRow *FNewRow = nullptr;
    bool FNewRowFresh = false;
    TRecordBuffer FForcedBuffer = nullptr;
    TUpdateRecordTypes FUpdateRecordTypes = rtModified | rtInserted | rtUnmodified;
    bool FCachedUpdates = false;
    bool FUnidirectional = false;
    bool FRelocating = false;
    bool FSilent = false;
    TZqActiveAtRunTime FActiveAtRunTime = arStandard;
    dats::TZqDatSRow *FLocateRow = nullptr;
    std::string FLocateFields;
    std::vector<TField *> FLocateFieldList;
    dats::TZqDatSColumnSublist *FLocateColumns = nullptr;
    uint32_t FAttachSerial = 0;
    int FRecInfoOffset = 0;
    TTableCallback *FCallback = nullptr;
};
