// qxZqDAptManager: the adapters. The table adapter ties one in-memory table
// to the driver commands that read and write it: it defines the table from
// the select command's result description, fetches rows into it, and posts
// single rows (insert, update, delete, lock, unlock, re-fetch), with a
// statement of the user's or one the connection's generator writes. The
// updates journal processor posts a journal's changes row by row through
// table adapters and settles the rows that failed. The schema adapter holds
// several table adapters around one DatS manager and one journal.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <map>
#include <vector>
#include <string>

#include "dataaccess/dapt/qxZqDAptIntf.h"
#include "dataaccess/dats/qxZqDAptColumn.h"
#include "dataaccess/dats/qxZqDatSObject.h"
#include "dataaccess/phys/qxZqPhysCmdGenerator.h"
#include "dataaccess/phys/qxZqPhysIntf.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanOption.h"

namespace dats {
class TZqDatSObject;
class TZqDatSRow;
class TZqDatSManager;
class TZqDatSUpdatesJournal;
} // namespace dats

class TZqDAptTableAdapters;
class TZqDAptSchemaAdapter;

class TZqDAptTableAdapter : public TZqObject,
                            public virtual IZqDAptTableAdapter,
                            public virtual IZqPhysMappingHandler,
                            public virtual IZqStanObject,
                            public virtual IZqStanErrorHandler {
public:
    // AList: the owning list (nil: free-standing); the adapter joins it.
    explicit TZqDAptTableAdapter(TZqDAptTableAdapters *AList = nullptr);
    ~TZqDAptTableAdapter() override;
    std::string ClassName() const override { return "TZqDAptTableAdapter"; }

    // Inside a list the count is the schema adapter's: the list owns its
    // adapters. The adapter's own count is kept as well, so that it can be
    // handed back when the adapter leaves the list.
    int32_t _AddRef() override;
    int32_t _Release() override;

    int32_t GetSourceRecordSetID() const override { return FSourceRecordSetID; }
    // A position of 0 or more clears the source name.
    void SetSourceRecordSetID(int32_t AValue) override;
    // The stored name, else the select command's.
    std::string GetSourceRecordSetName() override;
    // A non-empty name clears the source position.
    void SetSourceRecordSetName(const std::string &AValue) override;
    std::string GetUpdateTableName() override;
    void SetUpdateTableName(const std::string &AValue) override { FUpdateTableName = AValue; }
    // The stored name, else the bound table's, else the source result set's.
    std::string GetDatSTableName() override;
    void SetDatSTableName(const std::string &AValue) override;
    // The bound table; inside a schema adapter else the table of
    // GetDatSTableName in the schema's manager.
    dats::TZqDatSTable *GetDatSTable() override;
    // Binds the table (one reference) and clears DatSTableName.
    void SetDatSTable(dats::TZqDatSTable *AValue) override;
    TZqDAptColumnMappings *GetColumnMappings() override;
    TZqPhysMetaInfoMergeMode GetMetaInfoMergeMode() const override { return FMergeMode; }
    void SetMetaInfoMergeMode(TZqPhysMetaInfoMergeMode AValue) override { FMergeMode = AValue; }
    TZqIntfPtr<IZqDAptTableAdapters> GetTableAdapters() override;
    // The schema adapter's manager inside one, else the own one.
    dats::TZqDatSManager *GetDatSManager() override;
    void SetDatSManager(dats::TZqDatSManager *AValue) override;

    // The command kept for a request (arSelect .. arDeleteAll).
    TZqIntfPtr<IZqPhysCommand> GetCommand(TZqPhysRequest ARequest) const;
    void SetCommand(TZqPhysRequest ARequest, const TZqIntfPtr<IZqPhysCommand> &ACommand);
    TZqIntfPtr<IZqPhysCommand> GetSelectCommand() const override { return GetCommand(arSelect); }
    // Drops every generated command as well.
    void SetSelectCommand(const TZqIntfPtr<IZqPhysCommand> &ACommand) override;
    TZqIntfPtr<IZqPhysCommand> GetInsertCommand() const override { return GetCommand(arInsert); }
    void SetInsertCommand(const TZqIntfPtr<IZqPhysCommand> &ACommand) override { SetCommand(arInsert, ACommand); }
    TZqIntfPtr<IZqPhysCommand> GetUpdateCommand() const override { return GetCommand(arUpdate); }
    void SetUpdateCommand(const TZqIntfPtr<IZqPhysCommand> &ACommand) override { SetCommand(arUpdate, ACommand); }
    TZqIntfPtr<IZqPhysCommand> GetDeleteCommand() const override { return GetCommand(arDelete); }
    void SetDeleteCommand(const TZqIntfPtr<IZqPhysCommand> &ACommand) override { SetCommand(arDelete, ACommand); }
    TZqIntfPtr<IZqPhysCommand> GetLockCommand() const override { return GetCommand(arLock); }
    void SetLockCommand(const TZqIntfPtr<IZqPhysCommand> &ACommand) override { SetCommand(arLock, ACommand); }
    TZqIntfPtr<IZqPhysCommand> GetUnLockCommand() const override { return GetCommand(arUnlock); }
    void SetUnLockCommand(const TZqIntfPtr<IZqPhysCommand> &ACommand) override { SetCommand(arUnlock, ACommand); }
    TZqIntfPtr<IZqPhysCommand> GetFetchRowCommand() const override { return GetCommand(arFetchRow); }
    void SetFetchRowCommand(const TZqIntfPtr<IZqPhysCommand> &ACommand) override
    {
        SetCommand(arFetchRow, ACommand);
    }
    // Whether the command kept for the request was generated here.
    bool IsGenerated(TZqPhysRequest ARequest) const { return (FGenerated >> ARequest) & 1u; }
    IZqStanOptions *GetOptions() override;

    TZqIntfPtr<IZqStanErrorHandler> GetErrorHandler() override;
    // Every kept command gets the new handler.
    void SetErrorHandler(const TZqIntfPtr<IZqStanErrorHandler> &AValue) override;
    TZqIntfPtr<IZqDAptUpdateHandler> GetUpdateHandler() override;
    void SetUpdateHandler(const TZqIntfPtr<IZqDAptUpdateHandler> &AValue) override { FUpdateHandler = AValue; }
    TZqIntfPtr<IZqPhysDescribeHandler> GetDescribeHandler() const override { return FDescribeHandler; }
    void SetDescribeHandler(const TZqIntfPtr<IZqPhysDescribeHandler> &AValue) override;

    dats::TZqDatSTable *Define() override;
    void Fetch(bool AAll = true) override;
    int ApplyUpdates(int AMaxErrors = -1) override;
    bool Reconcile() override;
    void Reset() override;
    void UpdateRow(dats::TZqDatSRow *ARow, TZqErrorAction &AAction, TZqPhysRequest ARequest,
                   TZqPhysUpdateRowOptions AOptions) override;
    void Lock(dats::TZqDatSRow *ARow, TZqErrorAction &AAction, TZqPhysUpdateRowOptions AOptions) override;
    void UnLock(dats::TZqDatSRow *ARow, TZqErrorAction &AAction, TZqPhysUpdateRowOptions AOptions) override;
    void FetchRow(dats::TZqDatSRow *ARow, TZqErrorAction &AAction, TZqFetchItems AItems, int AColumn = -1) override;
    // AClearFirst: the row's values are cleared before the read values are merged.
    void FetchRow(dats::TZqDatSRow *ARow, TZqErrorAction &AAction, TZqFetchItems AItems, int AColumn,
                  bool AClearFirst);

    // IZqPhysMappingHandler: this adapter's names and column mappings;
    // inside a schema adapter a key this adapter does not match is passed
    // to the schema adapter.
    int MapTable(const TZqMappingKey &AKey, TZqMappingKeyKind AKind, TZqTableMapResult &AResult) override;
    int MapColumn(const TZqMappingKey &ATableKey, TZqMappingKeyKind ATableKind, const TZqMappingKey &AColumnKey,
                  TZqMappingKeyKind AColumnKind, TZqColumnMapResult &AResult) override;
    // MatchesName, or MatchesTable for a key of kind 4.
    bool MatchesKey(const TZqMappingKey &AKey, TZqMappingKeyKind AKind);
    // Kind: 0 always, 1 source position, 2 source name, 3 DatS table name,
    // 4 the table itself.
    bool MatchesName(const TZqMappingKey &AKey, TZqMappingKeyKind AKind);
    // Kind 4: the bound table, or one with its source position or name, or
    // its DatS table name.
    bool MatchesTable(TZqDatSTable *ATable);

    // IZqStanObject: "<source result set>: TZqDAptTableAdapter($XXXXXXXX)";
    // the parent is the schema adapter.
    std::string GetName() override;
    TZqIntfPtr<IZqStanObject> GetParent() override;
    void PoolAcquired() override {}
    void PoolReleased() override {}
    void SetOwner(rtl::TObject *, const std::string &) override {}
    // IZqStanErrorHandler: passed on to the error handler, when there is one.
    void HandleException(const TZqIntfPtr<IZqStanObject> &AInitiator,
                         std::unique_ptr<rtl::Exception> &AException) override;

    TZqDAptTableAdapters *List() const { return FList; }
    TZqDAptSchemaAdapter *Schema() const;

private:
    friend class TZqDAptTableAdapters;
    friend class TZqDAptSchemaAdapter;
    // The mapping answers from this adapter's own names and mappings.
    int AnswerTable(TZqTableMapResult &AResult);
    int AnswerColumn(const TZqMappingKey &AColumnKey, TZqMappingKeyKind AColumnKind, TZqColumnMapResult &AResult);
    // Error 402 without a select command; False when a handler cleared it.
    bool CheckSelectCommand();
    void DropGenerated();
    // Gives every kept command the current error handler and a new mapping handler.
    void RefreshCommandHandlers();
    TZqIntfPtr<IZqPhysMappingHandler> NewMappingHandler();
    void ProcessRequest(dats::TZqDatSRow *ARow, TZqErrorAction &AAction, int AColumn, TZqFetchItems AItems,
                        TZqPhysUpdateRowOptions AOptions, TZqPhysRequest ARequest);
    TZqIntfPtr<IZqPhysCommand> GenerateRowCommand(IZqPhysConnection *AConn, dats::TZqDatSRow *ARow, int AColumn,
                                                  TZqFetchItems AItems, TZqPhysUpdateRowOptions AOptions,
                                                  TZqPhysRequest ARequest, bool AKeep, bool &AHBlobs);
    void ExecuteRowCommand(IZqPhysCommand *ACommand, dats::TZqDatSRow *ARow, TZqFetchItems AItems,
                           TZqPhysUpdateRowOptions AOptions, TZqPhysRequest ARequest);
    void RaiseCount(TZqPhysRequest ARequest, int ACount);

    dats::TZqDatSRef<dats::TZqDatSTable> FDatSTable;
    std::string FDatSTableName;
    int32_t FSourceRecordSetID = -1;
    std::string FSourceRecordSetName;
    std::string FUpdateTableName;
    std::unique_ptr<TZqDAptColumnMappings> FColumnMappings;
    TZqPhysMetaInfoMergeMode FMergeMode = mmReset;
    TZqDAptTableAdapters *FList = nullptr;
    dats::TZqDatSRef<dats::TZqDatSManager> FDatSManager;
    uint16_t FGenerated = 0;
    std::array<TZqIntfPtr<IZqPhysCommand>, 9> FCommands;
    TZqIntfPtr<IZqStanErrorHandler> FErrorHandler;
    TZqIntfPtr<IZqDAptUpdateHandler> FUpdateHandler;
    TZqIntfPtr<IZqPhysDescribeHandler> FDescribeHandler;
    bool FInUpdateHandler = false;
    bool FClearOnFetch = false;
    // While a posted row is re-read: goAfterInsert or goAfterUpdate.
    uint8_t FRefreshAfter = 0;
    // The transaction serial each locked row was locked under (-1: none).
    std::map<int32_t, int> FLockSerials;
};

// The table adapters of one schema adapter. It owns them (freed last to
// first) and shares the schema adapter's reference count. An adapter that
// joins moves its table into the schema's manager; one that leaves takes
// its table out of it and becomes free-standing.
class TZqDAptTableAdapters : public virtual IZqDAptTableAdapters {
public:
    explicit TZqDAptTableAdapters(TZqDAptSchemaAdapter *ASchema) : FSchema(ASchema) {}
    ~TZqDAptTableAdapters() override;
    TZqDAptTableAdapters(const TZqDAptTableAdapters &) = delete;
    TZqDAptTableAdapters &operator=(const TZqDAptTableAdapters &) = delete;

    int32_t _AddRef() override;
    int32_t _Release() override;

    TZqIntfPtr<IZqDAptTableAdapter> GetItems(int AIndex) override;
    int GetCount() override { return int(FItems.size()); }
    TZqIntfPtr<IZqDAptTableAdapter> Lookup(const TZqMappingKey &AKey, TZqMappingKeyKind AKind) override;
    TZqIntfPtr<IZqDAptTableAdapter> Add(const std::string &ASourceRecordSetName = std::string(),
                                        const std::string &ADatSTableName = std::string(),
                                        const std::string &AUpdateTableName = std::string()) override;
    void AddAdapter(const TZqIntfPtr<IZqDAptTableAdapter> &AAdapter) override;
    void Remove(const TZqMappingKey &AKey, TZqMappingKeyKind AKind) override;
    void RemoveAdapter(const TZqIntfPtr<IZqDAptTableAdapter> &AAdapter) override;

    int IndexOf(const TZqMappingKey &AKey, TZqMappingKeyKind AKind);
    TZqDAptTableAdapter *Item(int AIndex) const { return FItems[size_t(AIndex)]; }
    // The first adapter whose names match; nil when none.
    TZqDAptTableAdapter *Find(const TZqMappingKey &AKey, TZqMappingKeyKind AKind);
    TZqDAptSchemaAdapter *Schema() const { return FSchema; }

private:
    friend class TZqDAptTableAdapter;
    friend class TZqDAptSchemaAdapter;
    void Attach(TZqDAptTableAdapter *AAdapter);
    void Detach(TZqDAptTableAdapter *AAdapter);

    std::vector<TZqDAptTableAdapter *> FItems;
    TZqDAptSchemaAdapter *FSchema;
};

class TZqDAptSchemaAdapter : public TZqObject,
                             public virtual IZqDAptSchemaAdapter,
                             public virtual IZqPhysMappingHandler,
                             public virtual IZqStanObject {
public:
    TZqDAptSchemaAdapter();
    ~TZqDAptSchemaAdapter() override;
    std::string ClassName() const override { return "TZqDAptSchemaAdapter"; }

    TZqIntfPtr<IZqStanErrorHandler> GetErrorHandler() override { return FErrorHandler; }
    void SetErrorHandler(const TZqIntfPtr<IZqStanErrorHandler> &AValue) override;
    dats::TZqDatSManager *GetDatSManager() override;
    // The adapters' tables move from the old manager into the new one.
    void SetDatSManager(dats::TZqDatSManager *AValue) override;
    TZqIntfPtr<IZqDAptTableAdapters> GetTableAdapters() override;
    TZqIntfPtr<IZqDAptUpdateHandler> GetUpdateHandler() override { return FUpdateHandler; }
    void SetUpdateHandler(const TZqIntfPtr<IZqDAptUpdateHandler> &AValue) override { FUpdateHandler = AValue; }
    int ApplyUpdates(int AMaxErrors = -1) override;
    bool Reconcile() override;

    // IZqPhysMappingHandler: the adapter the table key names answers.
    int MapTable(const TZqMappingKey &AKey, TZqMappingKeyKind AKind, TZqTableMapResult &AResult) override;
    int MapColumn(const TZqMappingKey &ATableKey, TZqMappingKeyKind ATableKind, const TZqMappingKey &AColumnKey,
                  TZqMappingKeyKind AColumnKind, TZqColumnMapResult &AResult) override;

    // IZqStanObject: "<manager name>: TZqDAptSchemaAdapter($XXXXXXXX)".
    std::string GetName() override;
    TZqIntfPtr<IZqStanObject> GetParent() override { return TZqIntfPtr<IZqStanObject>(); }
    void PoolAcquired() override {}
    void PoolReleased() override {}
    void SetOwner(rtl::TObject *, const std::string &) override {}

    TZqDAptTableAdapters *Adapters() const { return FAdapters.get(); }

private:
    dats::TZqDatSRef<dats::TZqDatSManager> FDatSManager;
    std::unique_ptr<TZqDAptTableAdapters> FAdapters;
    TZqIntfPtr<IZqDAptUpdateHandler> FUpdateHandler;
    TZqIntfPtr<IZqStanErrorHandler> FErrorHandler;
};

// Posts the changes of one journal row by row through table adapters and
// settles the rows that failed. Made for one call: for a table adapter it
// walks that adapter's table, for a schema adapter every table of the
// schema's manager.
class TZqDAptUpdatesJournalProcessor {
public:
    explicit TZqDAptUpdatesJournalProcessor(TZqDAptTableAdapter *AAdapter);
    explicit TZqDAptUpdatesJournalProcessor(TZqDAptSchemaAdapter *ASchema);

    // Answers the number of rows that failed; never raises for a row. With
    // AMaxErrors other than -1 it stops once more than that many failed.
    int Process(int AMaxErrors);
    // Asks the update handler about every row that carries an error; True
    // when the walked tables have no change left.
    bool Reconcile();

private:
    TZqDAptTableAdapter *AdapterFor(dats::TZqDatSRow *ARow);
    // The outcome of posting one row: eaApplied, or eaFail and the like.
    TZqErrorAction PostRow(TZqDAptTableAdapter *AAdapter, dats::TZqDatSRow *ARow);

    // A journal and the rows of it walked (nil: all).
    struct TWalk {
        dats::TZqDatSUpdatesJournal *Journal;
        dats::TZqDatSObject *Filter;
    };
    std::vector<TWalk> FWalks;
    TZqDAptTableAdapters *FAdapters = nullptr;
    TZqDAptTableAdapter *FAdapter = nullptr;
    TZqIntfPtr<IZqDAptUpdateHandler> FUpdateHandler;
};

// The journal a table's changes are really recorded in: its manager's
// shared one while the manager keeps one, else the table's own.
dats::TZqDatSUpdatesJournal *ZqDAptTableJournal(dats::TZqDatSTable *ATable);

// Moves ATable into AManager (nil: out of any manager), keeping its
// structure, rows and pending changes; the manager's relations that name
// the table stay behind.
void ZqDAptMoveTable(dats::TZqDatSTable *ATable, dats::TZqDatSManager *AManager);

// Registers the table adapter and the schema adapter with the object
// factory (a new object per request).
void RegisterDAptManager();
// The services layer's start-up followed by the adapters' registration;
// once per registry, like ZqStanInitialize.
void ZqDAptInitialize();

// The values of a command's input parameters from a row: "NEW_x" and plain
// names read the current version of column x, "OLD_x" the original one.
void ZqSetParamsFromRow(TZqParams *AParams, dats::TZqDatSRow *ARow);
// Output parameters back into the row's current values.
void ZqSetRowFromParams(dats::TZqDatSRow *ARow, TZqParams *AParams);
// Values of ASource into the columns of ATarget of the same name.
void ZqMergeRowFromRow(dats::TZqDatSRow *ATarget, dats::TZqDatSRow *ASource, bool AClearFirst);
