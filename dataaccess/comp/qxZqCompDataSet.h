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

#include "dataaccess/dapt/qxZqDAptIntf.h"
#include "dataaccess/dats/qxZqDatSIntf.h"
#include "dataaccess/dats/qxZqDatSObject.h"
#include "dataaccess/phys/qxZqPhysIntf.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TDataSource.h"

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
class TZqDatSAggregate;
class TZqDatSMechFilter;
class TZqDatSConstraintBase;
} // namespace dats

class TZqIndexes;
class TZqAggregates;
class TZqMasterDataLink;

// One field number's column: the column, its index in its table and the
// chain of nested-table columns leading to it (empty for a plain column).
struct TZqColMapItem {
    dats::TZqDatSColumn *Column = nullptr;
    int32_t ColumnIndex = -1;
    std::vector<int32_t> Path;
};

enum TZqActiveAtRunTime : uint8_t { arStandard, arInactive, arActive };

// One record-level check of a dataset: each non-empty condition becomes a
// check constraint of the table while the dataset is open.
struct TZqCheckConstraintItem {
    std::string CustomConstraint;
    std::string ImportedConstraint;
    std::string ErrorMessage;
};



// Hands the view behind an object (a dataset) to other parts of the
// library.
class IZqDataSetReference : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqDataSetReference;
    virtual dats::TZqDatSView *GetDataView() = 0;
};

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
    // The error the active record's row carries, nil when none: a value of
    // it the driver could not read (its field reads as empty), or a failed
    // update of it.
    EZqException *RowError() const;
    // Points every field read and write at ARow until ClearForcedRow.
    void SetForcedRow(dats::TZqDatSRow *ARow, bool AForceWrite, bool ARecalc);
    void ClearForcedRow();

    // ---- the TDataSet contract ----
    void SetActive(bool AValue) override;
    void Loaded() override;
    void Notification(rtl::TComponent *AComponent, rtl::TOperation AOperation) override;
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
    // Runs the source as a statement without a result set (ATimes rows of
    // the parameter arrays from AOffset; 0, 0: once).
    void Execute(int ATimes = 0, int AOffset = 0);
    // The in-memory manager the source's tables live in (nil: none).
    virtual dats::TZqDatSManager *GetDatSManager() const { return nullptr; }
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

    // ---- indexes (qxZqCompDataSet_Index.cpp) ----
    TZqIndexes *Indexes() const { return FIndexes.get(); }
    TIndexDefs &IndexDefs() { return *TDataSet::FIndexDefs; }
    const std::string &IndexName() const { return FIndexName; }
    void SetIndexName(const std::string &AValue);
    const std::string &IndexFieldNames() const { return FIndexFieldNames; }
    void SetIndexFieldNames(const std::string &AValue);
    bool IndexesActive() const { return FIndexesActive; }
    void SetIndexesActive(bool AValue);
    // The view that gives the cursor its order (none without an index).
    dats::TZqDatSView *IndexView() const { return FIndexView; }
    // The fields of the index view's sort, in key order.
    int IndexFieldCount() const;
    TField *IndexFields(int AIndex) const;
    void UpdateIndexDefs() override;

    // ---- filters ----
    void SetFiltered(bool AValue) override;
    void SetFilterText(const std::string &AValue) override;
    void SetFilterOptions(TFilterOptions AValue) override;
    void SetOnFilterRecord(const TFilterRecordEvent &AValue) override;
    bool FindRecord(bool ARestart, bool AGoForward) override;

    // ---- keys and ranges (over the index view) ----
    void SetKey();
    void EditKey();
    bool GotoKey();
    void GotoNearest();
    bool FindKey(const std::vector<rtl::Variant> &AKeyValues);
    void FindNearest(const std::vector<rtl::Variant> &AKeyValues);
    void SetRangeStart();
    void SetRangeEnd();
    void EditRangeStart();
    void EditRangeEnd();
    void ApplyRange();
    void CancelRange();
    void SetRange(const std::vector<rtl::Variant> &AStartValues, const std::vector<rtl::Variant> &AEndValues);
    // Of the key buffer being edited (dsSetKey).
    bool KeyExclusive() const;
    void SetKeyExclusive(bool AValue);
    int KeyFieldCount() const;
    void SetKeyFieldCount(int AValue);
    bool RangeActive() const { return FRangeStartRow != nullptr || FRangeEndRow != nullptr; }
    void Post() override;
    void Cancel() override;

    // ---- master-detail ----
    TDataSource *MasterSource() const;
    void SetMasterSource(TDataSource *AValue);
    const std::string &MasterFields() const;
    void SetMasterFields(const std::string &AValue);
    TZqMasterDataLink *MasterLink() const { return FMasterLink.get(); }
    TDataSource *GetDataSource() const override { return MasterSource(); }
    void GetDetailLinkFields(std::vector<TField *> &AMasterFields, std::vector<TField *> &ADetailFields) override;

    // ---- aggregates (qxZqCompDataSet_Aggregate.cpp) ----
    TZqAggregates *Aggregates() const { return FAggregates.get(); }
    bool AggregatesActive() const { return FAggregatesActive; }
    void SetAggregatesActive(bool AValue);
    rtl::Variant GetAggregateValue(TField *AField) override;
    void ResetAggField(TField *AField) override;

    // ---- blobs and special fields ----
    std::unique_ptr<TBlobStream> CreateBlobStream(TField *AField, TBlobStreamMode AMode) override;
    TFieldClass GetFieldClass(rtl::TFieldType AFieldType) const override;

    // ---- cached updates (qxZqCompDataSet_Apply.cpp) ----
    // Posts the journalled changes of the table through the source;
    // answers the number of rows that failed (-1: no limit of failures).
    int ApplyUpdates(int AMaxErrors = -1);
    // Takes every journalled change of the table as its unchanged state.
    void CommitUpdates();
    // Throws away every journalled change of the table.
    void CancelUpdates();
    // Settles the rows that failed to apply through OnReconcileError;
    // answers whether no change of the table is left.
    bool Reconcile();
    // Throws away the changes of the current record.
    void RevertRecord();
    bool UpdatesPending() const;
    int ChangeCount() const;

    // ---- batches, clones and constraints (qxZqCompDataSet_Batch.cpp) ----
    // Loads many changes at once: controls, constraints, indexes,
    // aggregates and the wait cursor are off until the matching EndBatch.
    void BeginBatch(bool AWithDelete = false);
    void EndBatch();
    bool InBatch() const { return FBatch != nullptr; }
    // Applies one change record of ADelta to this dataset (found by the
    // key fields for a modify or delete); answers whether it applied.
    bool PSUpdateRecord(TUpdateKind AUpdateKind, TDataSet *ADelta) override;
    void PSExecute() override { Execute(0, 0); }
    // A database engine error becomes an update error carrying the code
    // of the engine's first error.
    EUpdateError *PSGetUpdateException(const std::exception *AException, EUpdateError *APrior) override;
    // Opens this dataset as a second cursor over ASource's table and rows.
    void CloneCursor(TZqDataSet *ASource, bool AReset, bool AKeepSettings = false);
    // The dataset this one was cloned from (nil: not a clone).
    TZqDataSet *CloneSource() const { return FCloneSource; }
    bool ConstraintsEnabled() const { return FConstraintsDisabledCount == 0; }
    void SetConstraintsEnabled(bool AValue);
    void DisableConstraints();
    void EnableConstraints();
    int ConstraintsDisabledCount() const { return FConstraintsDisabledCount; }
    std::vector<TZqCheckConstraintItem> &Constraints() { return FConstraints; }

    // The view the dataset shows: the active view, else the caller-given
    // view, else the table's default view; a new reference each time.
    TZqIntfPtr<IZqDataSetReference> DataSetReference();

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
    // Lets a descendant share what else of the source a clone needs.
    virtual void CloneCursorHook(bool AReset, bool AKeepSettings) { (void)AReset; (void)AKeepSettings; }
    // Fills TotalRecordCount; the base cannot count beyond its rows (-1).
    virtual void CountTotalRecords() { FTotalRecordCount = -1; }
    virtual void DoBeforeGetRecords() { if (BeforeGetRecords) BeforeGetRecords(this); }
    virtual void DoAfterGetRecords() { if (AfterGetRecords) AfterGetRecords(this); }
    virtual void DoBeforeExecute() { if (BeforeExecute) BeforeExecute(this); }
    virtual void DoAfterExecute() { if (AfterExecute) AfterExecute(this); }

    // ---- index, filter and master-detail hooks ----
    virtual void BuildFilterView();
    virtual void MasterDisabled();
    virtual void RefreshDetail();
    virtual void MasterActivated();
    // Reads missing values (blobs, a column or the whole row: -1) of a row
    // from the source; answers whether it read anything.
    virtual bool FetchRowFromSource(dats::TZqDatSRow *ARow, int AColumnIndex, uint32_t AFlags)
    {
        (void)ARow;
        (void)AColumnIndex;
        (void)AFlags;
        return false;
    }
    virtual void ResolveMasterFields();
    virtual void MasterFieldsChanged() {}
    virtual void SetMasterParams(const std::vector<TField *> &AFields);
    virtual bool IsMasterParamBound(const std::vector<TField *> &AFields);
    virtual void IndexChanged() {}
    bool GetIsIndexField(TField *AField) const override;
    // Re-runs the source of a parameter-bound detail for the master's
    // current values.
    void RequeryDetail(bool AAppend);
    void RefreshDetailRows();

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
    // The record's own part, after the calculated area.
    struct TRecInfo {
        dats::TZqDatSRow *Row;
        int32_t RecordIndex;
        TBookmarkFlag BookmarkFlag;
    };
    TRecInfo *RecInfo(TRecordBuffer ABuffer) const;
    TRecordBuffer ReadBuffer() const;
    dats::TZqDatSRow *RowOfBookmark(const void *ABookmark) const;
    dats::TZqDatSRow *FindRowByID(int32_t AID) const;
    void Reposition(dats::TZqDatSRow *ARow);
    void ReleaseViews();
    void FreeNewRow();
    class TTableCallback;
    friend class TZqIndex;
    friend class TZqIndexes;
    friend class TZqAggregate;
    friend class TZqAggregates;
    friend class TZqBlobStream;
    friend class TZqMasterDataLink;

    // Index, filter and range internals (qxZqCompDataSet_Index.cpp).
    struct TKeyBuffer {
        bool Modified = false;
        bool Exclusive = false;
        int32_t FieldCount = 0;
        TRecordBuffer Buffer = nullptr;
        dats::TZqDatSRow *Row = nullptr;
    };
    enum : int { kiLookup = 0, kiRangeStart = 1, kiRangeEnd = 2, kiCurRangeStart = 3, kiCurRangeEnd = 4, kiSave = 5 };
    void OpenIndexes();
    void CloseIndexes();
    void SetIndexView(bool ARecompose);
    void ChangeIndexView(dats::TZqDatSView *AView);
    void ReleaseIndexViewsCreated();
    void AllocKeyBuffers();
    void FreeKeyBuffers();
    void ClearKeyBuffer(int AIndex);
    void CopyKeyBuffer(int AFrom, int ATo);
    bool KeyBuffersEqual(int A, int B);
    void SetKeyBuffer(int AIndex, bool AClear);
    void EndKeyEdit(bool ACommit);
    void SetKeyFields(int AIndex, const std::vector<rtl::Variant> &AValues);
    bool SetCursorRange();
    bool ResetCursorRange();
    int SearchKey(int AIndex, bool ANearest, bool &AFound);
    bool HasKeyIndex() const;
    void DropFilterView();
    void CheckIndexView() const;
    bool FilterEventAccepts(dats::TZqDatSRow *ARow);
    // Runs AChange of a filter setting and applies it when filtering.
    void ChangeFilter(const std::function<void()> &AChange);
    // A filter mechanism from Filter, FilterOptions and OnFilterRecord.
    std::unique_ptr<dats::TZqDatSMechFilter> NewFilterMech();
    bool FetchesDetails();
    void Recompose();
    bool DetailHasRows() const;
    // Aggregate fields and auto-increment fields on open and close
    // (qxZqCompDataSet_Aggregate.cpp).
    void OpenFieldExtras();
    void CloseFieldExtras();
    // The cursor's row and position around a change of the journal
    // (qxZqCompDataSet_Apply.cpp).
    struct TPosition {
        int32_t RowID;
        int Index;
    };
    TPosition SavePosition();
    void RestorePosition(const TPosition &APosition);
    // Check constraints of Constraints and the fields (on open, on close).
    void AddCheckConstraints();
    void RemoveCheckConstraints();
    void ApplyConstraintEnforcement();
    void CopyDeltaFields(TDataSet *ADelta, bool AChangedOnly);
    // What a batch switches off, as it was before.
    struct TBatchSave {
        bool IndexesActive, AggregatesActive, Silent;
        uint8_t RefreshMode;
        bool CacheUpdateCommands, UpdateChangedFields;
        uint8_t LockMode, UpdateMode;
    };

    std::unique_ptr<TZqIndexes> FIndexes;
    std::unique_ptr<TZqAggregates> FAggregates;
    std::unique_ptr<TZqAggregates> FAggFieldItems;
    std::unique_ptr<TZqMasterDataLink> FMasterLink;
    std::string FIndexName;
    std::string FIndexFieldNames;
    bool FIndexesActive = true;
    bool FAggregatesActive = false;
    bool FIndexDefsFromIndexes = false;
    bool FIndexesFromDefs = false;
    bool FResolvingMaster = false;
    dats::TZqDatSRef<dats::TZqDatSView> FIndexView;
    dats::TZqDatSRef<dats::TZqDatSView> FFilterView;
    std::vector<dats::TZqDatSRef<dats::TZqDatSView>> FCreatedViews;
    TKeyBuffer FKeyBuffers[6];
    void CheckKeyEditing() const;
    bool FKeyBuffersAllocated = false;
    int FKeyIndex = kiLookup;
    dats::TZqDatSRow *FRangeStartRow = nullptr;
    dats::TZqDatSRow *FRangeEndRow = nullptr;
    bool FRangeStartExclusive = false;
    bool FRangeEndExclusive = false;
    int FRangeStartCount = -1;
    int FRangeEndCount = -1;
    dats::TZqDatSRow *FChildsParentRow = nullptr;

    dats::TZqDatSRef<dats::TZqDatSTable> FTable;
    dats::TZqDatSRef<dats::TZqDatSView> FView;
    dats::TZqDatSRef<dats::TZqDatSView> FActiveView;
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
    std::unique_ptr<dats::TZqDatSColumnSublist> FLocateColumns;
    uint32_t FAttachSerial = 0;
    int FRecInfoOffset = 0;
    std::unique_ptr<TTableCallback> FCallback;
    std::unique_ptr<TBatchSave> FBatch;
    std::vector<TZqCheckConstraintItem> FConstraints;
    std::vector<dats::TZqDatSConstraintBase *> FCheckConstraints;
    int FConstraintsDisabledCount = 0;
    TZqDataSet *FCloneSource = nullptr;
};

// ---- the dataset's companions ----------------------------------------------

// One index of a dataset: a view of its table sorted by Fields (or by an
// Expression), optionally filtered. Every property change rebuilds the view.
class TZqIndex {
public:
    explicit TZqIndex(TZqIndexes *ACollection);
    ~TZqIndex();
    TZqIndex(const TZqIndex &) = delete;
    TZqIndex &operator=(const TZqIndex &) = delete;

    const std::string &Name() const { return FName; }
    void SetName(const std::string &AValue);
    bool Active() const { return FActive; }
    void SetActive(bool AValue);
    const std::string &Filter() const { return FFilter; }
    void SetFilter(const std::string &AValue);
    const std::string &Fields() const { return FFields; }
    void SetFields(const std::string &AValue);
    const std::string &CaseInsFields() const { return FCaseInsFields; }
    void SetCaseInsFields(const std::string &AValue);
    const std::string &DescFields() const { return FDescFields; }
    void SetDescFields(const std::string &AValue);
    const std::string &Expression() const { return FExpression; }
    void SetExpression(const std::string &AValue);
    TZqExpressionOptions FilterOptions() const { return FFilterOptions; }
    void SetFilterOptions(TZqExpressionOptions AValue);
    dats::TZqSortOptions Options() const { return FOptions; }
    void SetOptions(dats::TZqSortOptions AValue);
    bool Selected() const;
    void SetSelected(bool AValue);
    dats::TZqDatSView *View() const { return FView; }
    std::string GetDisplayName() const;
    void Assign(const TZqIndex &ASource);
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();
    TZqIndexes *Collection() const { return FCollection; }

private:
    friend class TZqIndexes;
    friend class TZqDataSet;
    void SetFieldList(std::string &AList, const std::string &AValue);
    void Changed();
    void BuildView();
    void ReleaseView();
    TZqDataSet *DataSet() const;

    TZqIndexes *FCollection;
    int FUpdateCount = 0;
    bool FActive = false;
    std::string FFilter, FFields, FCaseInsFields, FExpression, FDescFields;
    TZqExpressionOptions FFilterOptions;
    dats::TZqSortOptions FOptions = 0;
    dats::TZqDatSRef<dats::TZqDatSView> FView;
    std::string FName;
};

class TZqIndexes {
public:
    explicit TZqIndexes(TZqDataSet *ADataSet) : FDataSet(ADataSet) {}
    ~TZqIndexes();
    TZqIndexes(const TZqIndexes &) = delete;
    TZqIndexes &operator=(const TZqIndexes &) = delete;
    TZqIndex *Add();
    int Count() const { return int(FItems.size()); }
    TZqIndex *Items(int AIndex) const { return FItems.at(size_t(AIndex)).get(); }
    void Delete(int AIndex);
    void Clear();
    // By name, compared without regard to letter case; nil when absent.
    TZqIndex *FindIndex(const std::string &AName) const;
    // The first index over fields (not an expression), unfiltered or
    // selected, whose Fields begin with AFields at a name boundary and
    // whose options hold ARequired and none of AForbidden.
    TZqIndex *FindIndexForFields(const std::string &AFields, dats::TZqSortOptions ARequired = 0,
                                 dats::TZqSortOptions AForbidden = 0) const;
    // Builds or drops the views of every index.
    void BuildAll();
    void ReleaseAll();
    TZqDataSet *DataSet() const { return FDataSet; }

private:
    TZqDataSet *FDataSet;
    std::vector<std::unique_ptr<TZqIndex>> FItems;
};

// One named aggregate over the dataset's active view (SUM, AVG, COUNT,
// MIN, MAX, TFIRST, TLAST of row expressions), per group of rows sharing
// the first GroupingLevel index fields.
class TZqAggregate {
public:
    explicit TZqAggregate(TZqAggregates *ACollection);
    ~TZqAggregate();
    TZqAggregate(const TZqAggregate &) = delete;
    TZqAggregate &operator=(const TZqAggregate &) = delete;

    const std::string &Name() const { return FName; }
    void SetName(const std::string &AValue);
    const std::string &Expression() const { return FExpression; }
    void SetExpression(const std::string &AValue);
    int GroupingLevel() const { return FGroupingLevel; }
    void SetGroupingLevel(int AValue);
    const std::string &IndexName() const { return FIndexName; }
    void SetIndexName(const std::string &AValue);
    bool Active() const { return FActive; }
    void SetActive(bool AValue);
    // The value for the current record; empty while not built.
    rtl::Variant Value() const;
    bool Built() const { return FAggregate != nullptr; }
    std::string GetDisplayName() const;
    void Assign(const TZqAggregate &ASource);
    void AssignField(TAggregateField *AField);
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();

private:
    friend class TZqAggregates;
    friend class TZqDataSet;
    void Build();
    void ReleaseAggregate();
    TZqDataSet *DataSet() const;

    TZqAggregates *FCollection;
    int FUpdateCount = 0;
    std::string FExpression;
    int FGroupingLevel = 0;
    std::string FIndexName;
    bool FActive = false;
    // Counted in while built; its view's aggregate list owns it otherwise.
    dats::TZqDatSRef<dats::TZqDatSAggregate> FAggregate;
    std::string FName;
};

class TZqAggregates {
public:
    explicit TZqAggregates(TZqDataSet *ADataSet) : FDataSet(ADataSet) {}
    ~TZqAggregates();
    TZqAggregates(const TZqAggregates &) = delete;
    TZqAggregates &operator=(const TZqAggregates &) = delete;
    TZqAggregate *Add();
    int Count() const { return int(FItems.size()); }
    TZqAggregate *Items(int AIndex) const { return FItems.at(size_t(AIndex)).get(); }
    void Delete(int AIndex);
    void Clear();
    TZqAggregate *FindAggregate(const std::string &AName) const;
    // Rebuilds every item; the deepest level any item asked for, else the
    // sort depth of the dataset's index view when IndexName is set, else 0.
    void ActivateAll();
    void DeactivateAll();
    int MaxGroupingLevel() const { return FMaxGroupingLevel; }
    TZqDataSet *DataSet() const { return FDataSet; }

private:
    friend class TZqAggregate;
    TZqDataSet *FDataSet;
    std::vector<std::unique_ptr<TZqAggregate>> FItems;
    int FMaxGroupingLevel = 0;
};

// The link of a detail dataset to its master: the master's moves and
// changes refresh the detail; the link's activation first lets the
// detail resolve its master fields.
class TZqMasterDataLink : public TMasterDataLink {
public:
    explicit TZqMasterDataLink(TZqDataSet *ADetail);

protected:
    void ActiveChanged() override;

private:
    TZqDataSet *FZqDetail;
    bool FActivating = false;
};

// A blob, memo or wide-memo value of one record as a stream of bytes (a
// wide memo as 16-bit characters). The stream holds its own copy of the
// bytes: the row's storage may be freed or reused while it is open. A
// modified stream stores its bytes into the row when it is destroyed.
class TZqBlobStream : public TBlobStream {
public:
    TZqBlobStream(TZqDataSet *ADataSet, TField *AField, TBlobStreamMode AMode);
    ~TZqBlobStream() override;
    int64_t Read(void *ABuffer, int64_t ACount) override;
    int64_t Write(const void *ABuffer, int64_t ACount) override;
    int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
    int64_t Size() override { return int64_t(FData.size()); }
    void Truncate() override;
    bool Modified() const { return FModified; }
    TBlobStreamMode Mode() const { return FMode; }

private:
    void CheckWritable();
    void Store();
    TField *FField;
    TZqDataSet *FDataSet;
    dats::TZqDatSRow *FRow = nullptr;
    bool FModified = false;
    TBlobStreamMode FMode;
    std::string FData;
    int64_t FPos = 0;
};

// A memo of 16-bit characters; the program sees UTF-8 text.
class TZqWideMemoField : public TBlobField {
public:
    explicit TZqWideMemoField(TDataSet *AOwner);

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string &AValue) override;
    rtl::Variant GetAsVariant() const override;
    void SetVarValue(const rtl::Variant &AValue) override;
    void GetText(std::string &AText, bool ADisplayText) const override;
};

// An auto-increment field: the server (or the client, with seed and step)
// gives its values, so it is read-only and not required by default.
class TZqAutoIncField : public TIntegerField {
public:
    explicit TZqAutoIncField(TDataSet *AOwner);
    bool ClientAutoIncrement() const { return FClientAutoIncrement; }
    void SetClientAutoIncrement(bool AValue);
    bool ServerAutoIncrement() const { return FServerAutoIncrement; }
    void SetServerAutoIncrement(bool AValue);
    int AutoIncrementSeed() const { return FAutoIncrementSeed; }
    void SetAutoIncrementSeed(int AValue);
    int AutoIncrementStep() const { return FAutoIncrementStep; }
    void SetAutoIncrementStep(int AValue);

private:
    void CheckChange() const;
    bool FClientAutoIncrement = true;
    bool FServerAutoIncrement = true;
    int FAutoIncrementSeed = -1;
    int FAutoIncrementStep = -1;
};

// A reference to one view: a counted view stays alive for as long as the
// reference lives; a view whose count was never started (a table's default
// view, which its table owns) is only pointed at.
class TZqDataSetIntfImpl : public TZqObject, public IZqDataSetReference {
public:
    explicit TZqDataSetIntfImpl(dats::TZqDatSView *AView);
    ~TZqDataSetIntfImpl() override;
    dats::TZqDatSView *GetDataView() override { return FView.Get(); }

private:
    dats::TZqDatSRef<dats::TZqDatSView> FView;
};
