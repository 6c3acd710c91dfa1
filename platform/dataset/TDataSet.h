// TDataSet: the toolkit's generic cursor over records, on which the client
// dataset (TZqDataSet) and the local tables (TTable, TQuery) are built.
//
// The dataset keeps a window of record buffers. A concrete dataset fills a
// buffer from its own cursor in GetRecord and describes it through the
// Internal... operations; this class does the rest: the window, states and
// events, editing, bookmarks, data sources.
//
// Buffer window: FBuffers holds FBufferCount + 1 buffers. The first
// FRecordCount of them are valid records in cursor order; FActiveRecord is
// the current one; the buffer at FRecordCount is the spare (TempBuffer) into
// which GetRecord loads the next record. FCurrentRecord is the window index
// the concrete cursor stands on, or -1 when it stands somewhere else
// (CursorPosChanged); UpdateCursorPos brings the cursor back to the active
// record before an operation that needs it.
//
// States (SetState, SetTempState/RestoreState):
//   dsInactive --Open (OpenCursor, InternalOpen)--> dsBrowse
//   dsInactive --OpenCursor of an asynchronous source--> dsOpening
//              --OpenCursorComplete--> dsBrowse
//   dsBrowse --Edit (InternalEdit)--> dsEdit --Post (InternalPost) / Cancel (InternalCancel)--> dsBrowse
//   dsBrowse --Insert/Append (InternalInsert)--> dsInsert --Post / Cancel--> dsBrowse
//   any --Close (CloseCursor, InternalClose)--> dsInactive
//   dsCalcFields, dsFilter, dsInternalCalc, dsNewValue, dsOldValue, dsCurValue
//   are temporary states entered by SetTempState while fields of another
//   buffer are read; data events are held back while they last.
// Moving the cursor in dsEdit or dsInsert first posts a modified record
// (CheckBrowseMode), or cancels an unmodified one.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/dataset/DBConsts.h"
#include "platform/dataset/TBlobStream.h"
#include "platform/dataset/TField.h"
#include "platform/dataset/TFieldDef.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/Variant.h"

class TDataLink;

class TDataSet : public rtl::TComponent {
public:
    explicit TDataSet(rtl::TComponent *AOwner = nullptr);
    ~TDataSet() override;
    std::string ClassName() const override { return "TDataSet"; }
    TDataSet(const TDataSet &) = delete;
    TDataSet &operator=(const TDataSet &) = delete;

    // Called when the dataset's settings have all been read in (the
    // component-streaming end); Create is the constructor.
    virtual void Loaded();

    // ---- opening and closing ----------------------------------------------
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    bool Active() const { return FState != dsInactive && FState != dsOpening; }
    virtual void SetActive(bool AValue);
    TDataSetState State() const { return FState; }
    bool Modified() const { return FModified; }

    // ---- navigation --------------------------------------------------------
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    int MoveBy(int ADistance);
    bool Bof() const { return FBOF; }
    bool Eof() const { return FEOF; }
    bool IsEmpty() const { return FActiveRecord >= FRecordCount; }
    int RecNo() const { return GetRecNo(); }
    void SetRecNoValue(int AValue) { SetRecNo(AValue); }
    int RecordCount() const { return GetRecordCount(); }
    virtual int GetRecordSize() const { return 0; }
    void Refresh();
    void Resync(TResyncMode AMode);

    // ---- bookmarks ---------------------------------------------------------
    TBookmark GetBookmark() const;
    TBookmark Bookmark() const { return GetBookmark(); }
    void SetBookmark(const TBookmark &AValue) { GotoBookmark(AValue); }
    void GotoBookmark(const TBookmark &ABookmark);
    void FreeBookmark(TBookmark &ABookmark) { ABookmark.clear(); }
    virtual bool BookmarkValid(const TBookmark &ABookmark);
    virtual int CompareBookmarks(const TBookmark &A, const TBookmark &B);
    bool BookmarkAvailable() const;
    int BookmarkSize() const { return FBookmarkSize; }

    // ---- searching ---------------------------------------------------------
    // Several key fields are separated by ";" and take a variant array.
    virtual bool Locate(const std::string &AKeyFields, const rtl::Variant &AKeyValues,
                        TLocateOptions AOptions = 0);
    virtual rtl::Variant Lookup(const std::string &AKeyFields, const rtl::Variant &AKeyValues,
                                const std::string &AResultFields);
    virtual bool FindRecord(bool ARestart, bool AGoForward);
    bool FindFirst() { return FindRecord(true, true); }
    bool FindNext() { return FindRecord(false, true); }
    bool FindLast() { return FindRecord(true, false); }
    bool FindPrior() { return FindRecord(false, false); }

    // ---- editing -----------------------------------------------------------
    void Edit();
    void Insert();
    void Append();
    virtual void Post();
    virtual void Cancel();
    void Delete();
    void ClearFields();
    void UpdateRecord();
    void CheckBrowseMode();
    bool CanModify() const { return GetCanModify(); }
    virtual TUpdateStatus UpdateStatus() const { return usUnmodified; }

    // ---- fields ------------------------------------------------------------
    TFields &Fields() { return *FFields; }
    const TFields &Fields() const { return *FFields; }
    int FieldCount() const { return FFields->Count(); }
    TFieldDefs &FieldDefs() { return *FFieldDefs; }
    const TFieldDefs &FieldDefs() const { return *FFieldDefs; }
    TIndexDefs &IndexDefList() { return *FIndexDefs; }
    TField *FieldByName(const std::string &AName) const { return FFields->FieldByName(AName); }
    TField *FindField(const std::string &AName) const { return FFields->FindField(AName); }
    TField *FieldByNumber(int AFieldNo) const { return FFields->FieldByNumber(AFieldNo); }
    // The fields named in "A;B;C", in that order (raises for an unknown name).
    void GetFieldList(std::vector<TField *> &AList, const std::string &AFieldNames) const;
    void GetFieldNames(std::vector<std::string> &AList);
    rtl::Variant FieldValues(const std::string &AFieldNames) const;
    void SetFieldValues(const std::string &AFieldNames, const rtl::Variant &AValue);
    bool DefaultFields() const { return FDefaultFields; }
    // Creates the fields of FieldDefs (those not yet present) and binds them.
    void CreateFields();
    void DestroyFields();
    int CalcFieldsSize() const { return FCalcFieldsSize; }
    virtual TFieldClass GetFieldClass(rtl::TFieldType AFieldType) const;

    // ---- data as seen by fields -------------------------------------------
    virtual bool GetFieldData(TField *AField, void *ABuffer);
    virtual bool GetFieldData(TField *AField, void *ABuffer, bool ANativeFormat);
    virtual void SetFieldData(TField *AField, const void *ABuffer);
    virtual void SetFieldData(TField *AField, const void *ABuffer, bool ANativeFormat);
    // Converts between a field's native buffer and the program's form.
    virtual void DataConvert(TField *AField, const void *ASource, void *ADest, bool AToNative);
    // Blob and memo values travel through streams. The base stream holds
    // the value in memory and exchanges it through GetBlobData/SetBlobData;
    // a dataset with its own storage of long values overrides the stream.
    virtual std::unique_ptr<TBlobStream> CreateBlobStream(TField *AField, TBlobStreamMode AMode);
    virtual bool GetBlobData(TField *AField, std::string &AValue);
    virtual void SetBlobData(TField *AField, const std::string *AValue);

    // ---- filters -----------------------------------------------------------
    bool Filtered() const { return FFiltered; }
    virtual void SetFiltered(bool AValue);
    const std::string &Filter() const { return FFilterText; }
    virtual void SetFilterText(const std::string &AValue);
    TFilterOptions FilterOptions() const { return FFilterOptions; }
    virtual void SetFilterOptions(TFilterOptions AValue);
    const TFilterRecordEvent &OnFilterRecord() const { return FOnFilterRecord; }
    virtual void SetOnFilterRecord(const TFilterRecordEvent &AValue);

    // ---- controls ----------------------------------------------------------
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return FDisableCount != 0; }
    bool IsLinkedTo(TDataSource *ADataSource) const;
    virtual TDataSource *GetDataSource() const { return nullptr; }
    bool AutoCalcFields = true;
    bool ObjectView = false;

    // ---- provider support (overridden by datasets that resolve updates) ----
    virtual void PSExecute() {}
    virtual std::string PSGetDefaultOrder() { return ""; }
    virtual std::string PSGetKeyFields();
    virtual std::string PSGetTableName() { return ""; }
    virtual void PSGetIndexDefs(TIndexDefs &AResult, TIndexOptions AIndexTypes);
    virtual EUpdateError *PSGetUpdateException(const std::exception *AException, EUpdateError *APrior);
    virtual void PSReset() {}
    virtual bool PSUpdateRecord(TUpdateKind AUpdateKind, TDataSet *ADelta);
    virtual void GetDetailLinkFields(std::vector<TField *> &AMasterFields,
                                     std::vector<TField *> &ADetailFields);
    virtual bool IsSequenced() const { return true; }
    virtual void UpdateIndexDefs() {}
    virtual void ResetAggField(TField *) {}
    virtual rtl::Variant GetAggregateValue(TField *);
    virtual void CloseBlob(TField *) {}

    // ---- events ------------------------------------------------------------
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
    TDataSetNotifyEvent OnNewRecord, OnCalcFields;
    TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

    // ---- contract with the concrete dataset (public for its collaborators:
    // fields, data links, the grid model) ------------------------------------
    TRecordBuffer ActiveBuffer() const;
    TRecordBuffer TempBuffer() const;
    TRecordBuffer CalcBuffer() const { return FCalcBuffer; }
    int ActiveRecordIndex() const { return FActiveRecord; }
    int BufferRecordCount() const { return FRecordCount; }
    int BufferCount() const { return FBufferCount; }
    void UpdateCursorPos();
    void CursorPosChanged() { FCurrentRecord = -1; }
    void CheckActive() const;
    void CheckInactive() const;
    virtual void DataEvent(TDataEvent AEvent, intptr_t AInfo);
    void UpdateBufferCount();
    TDataSetState SetTempState(TDataSetState AValue);
    void RestoreState(TDataSetState AValue);
    void SetCalcBufferForField(TRecordBuffer ABuffer) { FCalcBuffer = ABuffer; }
    // The buffer a field read goes to in the current state: the active
    // buffer while browsing (none when empty) or editing, the calculation
    // buffer while calculating, the temporary buffer while filtering.
    TRecordBuffer GetStateRecordBuffer() const;

protected:
    friend class TDataLink;
    friend class TDataSource;
    friend class TField;
    friend class TFieldDefs;

    // Record buffers.
    virtual TRecordBuffer AllocRecordBuffer() = 0;
    virtual void FreeRecordBuffer(TRecordBuffer &ABuffer) = 0;
    virtual TGetResult GetRecord(TRecordBuffer ABuffer, TGetMode AGetMode, bool ADoCheck) = 0;
    virtual void GetBookmarkData(TRecordBuffer ABuffer, void *AData) = 0;
    virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer ABuffer) = 0;
    virtual void SetBookmarkFlag(TRecordBuffer ABuffer, TBookmarkFlag AValue) = 0;
    virtual void SetBookmarkData(TRecordBuffer ABuffer, const void *AData) = 0;
    virtual void InitRecord(TRecordBuffer ABuffer);
    virtual void InternalInitRecord(TRecordBuffer ABuffer) = 0;
    virtual void ClearCalcFields(TRecordBuffer) {}
    virtual bool GetCurrentRecord(TRecordBuffer) { return false; }

    // Cursor.
    virtual void InternalOpen() = 0;
    virtual void InternalClose() = 0;
    virtual bool IsCursorOpen() const = 0;
    virtual void InternalInitFieldDefs() = 0;
    virtual void InternalFirst() = 0;
    virtual void InternalLast() = 0;
    virtual void InternalGotoBookmark(const void *ABookmark) = 0;
    virtual void InternalSetToRecord(TRecordBuffer ABuffer) = 0;
    virtual void InternalRefresh() {}
    virtual void InternalHandleException();
    virtual void OpenCursor(bool AInfoQuery);
    virtual void CloseCursor();
    void OpenCursorComplete();
    void DoInternalOpen();
    void OpenParentDataSet(TDataSet *AParent);

    // Editing.
    virtual void InternalEdit() {}
    virtual void InternalInsert() {}
    virtual void InternalPost();
    virtual void InternalCancel() {}
    virtual void InternalDelete() = 0;
    virtual void InternalAddRecord(TRecordBuffer ABuffer, bool AAppend) = 0;
    virtual bool GetCanModify() const { return true; }

    // Counting and positions.
    virtual int GetRecordCount() const { return -1; }
    virtual int GetRecNo() const { return -1; }
    virtual void SetRecNo(int) {}
    virtual bool GetIsIndexField(TField *) const { return false; }

    // Events, overridable.
    virtual void DoAfterOpen();
    virtual void DoBeforeDelete();
    virtual void DoBeforeEdit();
    virtual void DoBeforeInsert();
    void DoBeforeScroll();
    void DoAfterScroll();
    virtual void DoOnNewRecord();
    virtual void DoOnCalcFields();

    // Fields and calculations.
    void BindFields(bool ABinding);
    void GetCalcFields(TRecordBuffer ABuffer);
    virtual void CalculateFields(TRecordBuffer ABuffer);
    // The calculated area at the start of a record buffer: per calculated or
    // lookup field one presence byte and the native value (Field->Offset()).
    bool GetCalcFieldData(TField *AField, TRecordBuffer ARecBuf, void *ABuffer) const;
    void SetCalcFieldData(TField *AField, TRecordBuffer ARecBuf, const void *ABuffer);
    // Does OnFilterRecord accept the record in ABuffer (read in dsFilter)?
    bool RecordFilterAccepts(TRecordBuffer ABuffer);
    void SetState(TDataSetState AValue);
    void SetModified(bool AValue) { FModified = AValue; }
    void ClearBuffers();
    void ActivateBuffers();
    void SetBufferCount(int AValue);
    bool GetNextRecord();
    bool GetPriorRecord();
    int GetNextRecords();
    int GetPriorRecords();
    void SetCurrentRecord(int AIndex);
    void MoveBuffer(int ACurIndex, int ANewIndex);
    void CheckOperation(void (TDataSet::*AOperation)(), const TDataSetErrorEvent &AErrorEvent);
    void CheckCanModify();
    void BeginInsertAppend();
    void EndInsertAppend();
    // A data field write needs an editing state and a writable field.
    void CheckFieldWrite(TField *AField) const;
    void FreeFieldBuffers() {}
    void InitFieldDefs();
    // Scans from the first record for the key values; leaves the concrete
    // cursor on the found record (true) or anywhere (false).
    bool LocateRecord(const std::string &AKeyFields, const rtl::Variant &AKeyValues,
                      TLocateOptions AOptions);

    TDataSetState FState = dsInactive;
    std::unique_ptr<TFields> FFields;
    std::unique_ptr<TFieldDefs> FFieldDefs;
    std::unique_ptr<TIndexDefs> FIndexDefs;
    std::vector<TDataSource *> FDataSources;
    std::vector<TRecordBuffer> FBuffers;
    int FBufferCount = 0;
    int FRecordCount = 0;
    int FActiveRecord = 0;
    int FCurrentRecord = -1;
    int FBookmarkSize = 0;
    int FCalcFieldsSize = 0;
    bool FInternalCalcFields = false;
    TRecordBuffer FCalcBuffer = nullptr;
    bool FBOF = true;
    bool FEOF = true;
    bool FModified = false;
    bool FDefaultFields = false;
    bool FInternalOpenComplete = false;
    bool FFiltered = false;
    std::string FFilterText;
    TFilterOptions FFilterOptions = 0;
    TFilterRecordEvent FOnFilterRecord;
    int FDisableCount = 0;
    TDataSetState FDisableState = dsInactive;
    TDataEvent FEnableEvent = deDataSetChange;
    bool FStreamedActive = false;
};
