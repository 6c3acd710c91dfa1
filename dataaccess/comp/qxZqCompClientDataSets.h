// qxZqCompClientDataSets: the datasets with a database source behind them
// (query and table) and the adapter components that feed them.
//
// A query is a TZqDataSet whose source operations go to a table adapter
// component (TZqCustomTableAdapter). The adapter component wraps one
// adapter object of the adapter layer and lets the seven statements of a
// table (select, insert, update, delete, lock, unlock, re-fetch) be command
// components. The select command is the query's own command: the query's
// SQL, Params, Macros, Connection and option objects are that command's.
//
//   TZqDataSet <- TZqAdaptedDataSet <- TZqCustomClientDataSet
//                                   <- TZqRdbmsDataSet <- TZqCustomQuery <- TZqQuery, TZqTable
//
// Opening a query: the connection is acquired and the query registers as
// its client (so that a disconnect closes it), the command is prepared,
// the adapter defines the in-memory table's columns from the prepared
// command's result description, the command opens and rowsets are fetched
// into the table as the fetch options ask. Row changes reach the adapter as
// row requests; without cached updates it posts each change at once by a
// generated statement and accepts it on the unlock request.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/comp/qxZqCompClient.h"
#include "dataaccess/comp/qxZqCompDataSet.h"
#include "dataaccess/dapt/qxZqDAptIntf.h"
#include "dataaccess/phys/qxZqPhysCmdGenerator.h"

class TZqAdaptedDataSet;
class TZqCustomTableAdapter;
class TZqCustomSchemaAdapter;
class TZqCustomUpdateObject;

// Ends a free-notification link both ways (FreeNotification makes it both
// ways; a one-sided removal would leave the other side a dangling entry).
inline void ZqUnlinkFreeNotification(rtl::TComponent *A, rtl::TComponent *B)
{
    A->RemoveFreeNotification(B);
    B->RemoveFreeNotification(A);
}

// ---- events of the adapter components --------------------------------------------

using TZqReconcileRowEvent =
    std::function<void(TZqCustomTableAdapter *ASender, dats::TZqDatSRow *ARow, TZqDAptReconcileAction &AAction)>;
using TZqUpdateRowEvent = std::function<void(TZqCustomTableAdapter *ASender, dats::TZqDatSRow *ARow,
                                             TZqPhysRequest ARequest, TZqPhysUpdateRowOptions AOptions,
                                             TZqErrorAction &AAction)>;
using TZqDescribeColumnEvent =
    std::function<void(TZqCustomTableAdapter *ASender, dats::TZqDatSColumn *AColumn, std::string &AUpdateName,
                       TZqDataAttributes &AAttributes, TZqDataOptions &AOptions)>;
using TZqDescribeTableEvent =
    std::function<void(TZqCustomTableAdapter *ASender, dats::TZqDatSTable *ATable, std::string &AUpdateName)>;
// The schema adapter's own events.
using TZqSchemaErrorEvent = std::function<void(TZqCustomSchemaAdapter *ASender,
                                               const TZqIntfPtr<IZqStanObject> &AInitiator,
                                               std::unique_ptr<rtl::Exception> &AException)>;
using TZqSchemaReconcileRowEvent =
    std::function<void(TZqCustomSchemaAdapter *ASender, dats::TZqDatSRow *ARow, TZqDAptReconcileAction &AAction)>;
using TZqSchemaUpdateRowEvent = std::function<void(TZqCustomSchemaAdapter *ASender, dats::TZqDatSRow *ARow,
                                                   TZqPhysRequest ARequest, TZqPhysUpdateRowOptions AOptions,
                                                   TZqErrorAction &AAction)>;

// The set of row requests PrepareCommands works through.
using TZqPhysRequests = uint16_t;
constexpr TZqPhysRequests ZqReq(TZqPhysRequest ARequest) { return TZqPhysRequests(1u << ARequest); }
// arInsert .. arFetchRow: every request that posts or re-reads a row.
constexpr TZqPhysRequests CZqRowRequests =
    ZqReq(arInsert) | ZqReq(arUpdate) | ZqReq(arDelete) | ZqReq(arLock) | ZqReq(arUnlock) | ZqReq(arFetchRow);

// ---- table adapter component ------------------------------------------------------

// Wraps one adapter object; the adapter's commands are command components,
// prepared lazily the first time the adapter needs each of them. While the
// adapter posts or describes, the dataset's handler runs first, then the
// component's own event.
class TZqCustomTableAdapter : public TZqComponent,
                              public virtual IZqStanErrorHandler,
                              public virtual IZqDAptUpdateHandler,
                              public virtual IZqPhysDescribeHandler,
                              public TZqCommandUser {
public:
    explicit TZqCustomTableAdapter(rtl::TComponent *AOwner = nullptr);
    ~TZqCustomTableAdapter() override;
    std::string ClassName() const override { return "TZqCustomTableAdapter"; }
    // A component is not counted: its owner frees it.
    int32_t _AddRef() override { return -1; }
    int32_t _Release() override { return -1; }

    // The adapter object; owned ones were made by this component.
    IZqDAptTableAdapter *Adapter() const { return FAdapter.Get(); }
    bool AdapterOwned() const { return FAdapterOwned; }
    void SetAdapterIntf(const TZqIntfPtr<IZqDAptTableAdapter> &AAdapter, bool AOwned);

    // The command component for a request (arSelect .. arFetchRow).
    TZqCustomCommand *Command(TZqPhysRequest ARequest) const;
    void SetCommand(TZqPhysRequest ARequest, TZqCustomCommand *ACommand);
    TZqCustomCommand *SelectCommand() const { return Command(arSelect); }
    void SetSelectCommand(TZqCustomCommand *AValue) { SetCommand(arSelect, AValue); }
    TZqCustomCommand *InsertCommand() const { return Command(arInsert); }
    void SetInsertCommand(TZqCustomCommand *AValue) { SetCommand(arInsert, AValue); }
    TZqCustomCommand *UpdateCommand() const { return Command(arUpdate); }
    void SetUpdateCommand(TZqCustomCommand *AValue) { SetCommand(arUpdate, AValue); }
    TZqCustomCommand *DeleteCommand() const { return Command(arDelete); }
    void SetDeleteCommand(TZqCustomCommand *AValue) { SetCommand(arDelete, AValue); }
    TZqCustomCommand *LockCommand() const { return Command(arLock); }
    void SetLockCommand(TZqCustomCommand *AValue) { SetCommand(arLock, AValue); }
    TZqCustomCommand *UnLockCommand() const { return Command(arUnlock); }
    void SetUnLockCommand(TZqCustomCommand *AValue) { SetCommand(arUnlock, AValue); }
    TZqCustomCommand *FetchRowCommand() const { return Command(arFetchRow); }
    void SetFetchRowCommand(TZqCustomCommand *AValue) { SetCommand(arFetchRow, AValue); }

    TZqCustomSchemaAdapter *SchemaAdapter() const { return FSchemaAdapter; }
    void SetSchemaAdapter(TZqCustomSchemaAdapter *AValue);
    TZqAdaptedDataSet *DataSet() const { return FDataSet; }

    // ---- pass-through to the adapter object ----
    int32_t SourceRecordSetID() const;
    void SetSourceRecordSetID(int32_t AValue);
    std::string SourceRecordSetName() const;
    void SetSourceRecordSetName(const std::string &AValue);
    std::string UpdateTableName() const;
    void SetUpdateTableName(const std::string &AValue);
    std::string DatSTableName() const;
    void SetDatSTableName(const std::string &AValue);
    TZqPhysMetaInfoMergeMode MetaInfoMergeMode() const;
    void SetMetaInfoMergeMode(TZqPhysMetaInfoMergeMode AValue);
    TZqDAptColumnMappings *ColumnMappings() const;
    void SetColumnMappings(const TZqDAptColumnMappings *AValue);
    dats::TZqDatSTable *DatSTable() const;
    void SetDatSTable(dats::TZqDatSTable *AValue);
    dats::TZqDatSManager *DatSManager() const;
    void SetDatSManager(dats::TZqDatSManager *AValue);
    // Whether a form writer would store the property (it differs from what
    // it would be derived from).
    bool IsDatSTableNameStored() const;
    bool IsUpdateTableNameStored() const;
    bool IsSourceRecordSetNameStored() const;
    bool IsColumnMappingsStored() const;

    // ---- operations of the datasets; each prepares the commands it needs ----
    // For every request of the set whose command has text but no driver
    // command yet: prepared without the driver's own prepare, then handed
    // to the adapter.
    void PrepareCommands(TZqPhysRequests ARequests);
    dats::TZqDatSTable *Define();
    // The rows the fetch brought (the select command's rows-affected).
    int Fetch(bool AAll);
    int ApplyUpdates(int AMaxErrors);
    void FetchRow(dats::TZqDatSRow *ARow, TZqErrorAction &AAction, TZqFetchItems AItems, int AColumn = -1);
    void UpdateRow(dats::TZqDatSRow *ARow, TZqPhysRequest ARequest, TZqPhysUpdateRowOptions AOptions,
                   TZqErrorAction &AAction);
    void Lock(dats::TZqDatSRow *ARow, TZqPhysUpdateRowOptions AOptions, TZqErrorAction &AAction);
    void UnLock(dats::TZqDatSRow *ARow, TZqPhysUpdateRowOptions AOptions, TZqErrorAction &AAction);
    // Every command taken from the adapter and unprepared; the adapter reset.
    void Reset();
    // TZqCommandUser: the select command unprepared.
    void CommandUnprepared(TZqCustomCommand *ACommand) override;

    TZqErrorEvent OnError;
    TZqReconcileRowEvent OnReconcileRow;
    TZqUpdateRowEvent OnUpdateRow;
    TZqDescribeColumnEvent OnDescribeColumn;
    TZqDescribeTableEvent OnDescribeTable;

    // ---- the adapter's callbacks: the dataset's handler first, then the event ----
    virtual void HandleError(const TZqIntfPtr<IZqStanObject> &AInitial, std::unique_ptr<rtl::Exception> &AException);
    virtual void ReconcileRow(dats::TZqDatSRow *ARow, TZqDAptReconcileAction &AAction);
    // The update callback (the adapter's update handler).
    void UpdateRowHandler(dats::TZqDatSRow *ARow, TZqPhysRequest ARequest, TZqErrorAction &AAction,
                          TZqPhysUpdateRowOptions AOptions) override;
    void ReconcileRowHandler(dats::TZqDatSRow *ARow, TZqDAptReconcileAction &AAction) override;

    // IZqStanErrorHandler
    void HandleException(const TZqIntfPtr<IZqStanObject> &AInitiator,
                         std::unique_ptr<rtl::Exception> &AException) override;
    // IZqPhysDescribeHandler
    void DescribeTable(dats::TZqDatSTable *ATable, std::string &AUpdateName) override;
    void DescribeColumn(dats::TZqDatSColumn *AColumn, std::string &AUpdateName, TZqDataAttributes &AAttributes,
                        TZqDataOptions &AOptions) override;

protected:
    void Notification(rtl::TComponent *AComponent, rtl::TOperation AOperation) override;

private:
    friend class TZqAdaptedDataSet;
    friend class TZqCustomSchemaAdapter;
    // The dataset that reads through this component (set by the dataset).
    void SetDataSet(TZqAdaptedDataSet *AValue) { FDataSet = AValue; }
    // The driver command of the component for the request, given to the
    // adapter (nil clears the adapter's command).
    void HandOver(TZqPhysRequest ARequest);
    // Clears the slots of a command component that is being destroyed.
    void ForgetCommand(rtl::TComponent *AComponent);
    void AttachToSchema(bool AOwned);
    void CheckAdapter() const;
    // The SourceRecordSetID/Name change with a schema adapter: the adapter
    // of the schema's list for that key becomes this component's.
    void RelinkInSchema(const TZqMappingKey &AKey, TZqMappingKeyKind AKind);

    TZqIntfPtr<IZqDAptTableAdapter> FAdapter;
    bool FAdapterOwned = false;
    TZqCustomCommand *FCommands[7] = {};
    TZqCustomSchemaAdapter *FSchemaAdapter = nullptr;
    TZqAdaptedDataSet *FDataSet = nullptr;
    bool FDestroying = false;
};

class TZqTableAdapter : public TZqCustomTableAdapter {
public:
    using TZqCustomTableAdapter::TZqCustomTableAdapter;
    std::string ClassName() const override { return "TZqTableAdapter"; }
};

// ---- schema adapter component -------------------------------------------------------

// Several table adapters around one in-memory manager: adapters with the
// same source result set share one adapter object, and their tables live in
// one manager (one journal).
class TZqCustomSchemaAdapter : public TZqComponent {
public:
    explicit TZqCustomSchemaAdapter(rtl::TComponent *AOwner = nullptr);
    ~TZqCustomSchemaAdapter() override;
    std::string ClassName() const override { return "TZqCustomSchemaAdapter"; }

    IZqDAptSchemaAdapter *SchemaAdapter() const { return FSchema.Get(); }
    dats::TZqDatSManager *DatSManager() const;
    TZqIntfPtr<IZqDAptTableAdapters> TableAdapters() const;
    int ApplyUpdates(int AMaxErrors = -1);
    bool Reconcile();

    TZqSchemaErrorEvent OnError;
    TZqSchemaReconcileRowEvent OnReconcileRow;
    TZqSchemaUpdateRowEvent OnUpdateRow;

protected:
    virtual void DoError(const TZqIntfPtr<IZqStanObject> &AInitiator, std::unique_ptr<rtl::Exception> &AException);
    virtual void DoReconcileRow(dats::TZqDatSRow *ARow, TZqDAptReconcileAction &AAction);
    virtual void DoUpdateRow(dats::TZqDatSRow *ARow, TZqPhysRequest ARequest, TZqPhysUpdateRowOptions AOptions,
                             TZqErrorAction &AAction);

private:
    class THandler;
    TZqIntfPtr<IZqDAptSchemaAdapter> FSchema;
    std::unique_ptr<THandler> FHandler;
};

// ---- update object ------------------------------------------------------------------

// The base of objects that supply update commands to an adapted dataset.
class TZqCustomUpdateObject : public TZqComponent {
public:
    using TZqComponent::TZqComponent;
    ~TZqCustomUpdateObject() override;
    std::string ClassName() const override { return "TZqCustomUpdateObject"; }

    TZqAdaptedDataSet *DataSet() const { return FDataSet; }
    void SetDataSet(TZqAdaptedDataSet *AValue);

    virtual void AttachToAdapter() = 0;
    virtual void DetachFromAdapter() = 0;
    virtual void Apply(TZqPhysRequest ARequest, TZqErrorAction &AAction, TZqPhysUpdateRowOptions AOptions) = 0;

protected:
    void Notification(rtl::TComponent *AComponent, rtl::TOperation AOperation) override;

private:
    TZqAdaptedDataSet *FDataSet = nullptr;
};

// ---- adapted datasets -----------------------------------------------------------------

class TZqAdaptedDataSet : public TZqDataSet {
public:
    explicit TZqAdaptedDataSet(rtl::TComponent *AOwner = nullptr);
    ~TZqAdaptedDataSet() override;
    std::string ClassName() const override { return "TZqAdaptedDataSet"; }

    TZqCustomTableAdapter *Adapter() const { return FAdapter; }
    virtual void SetAdapter(TZqCustomTableAdapter *AValue);
    // The adapter's select command (nil without an adapter).
    TZqCustomCommand *Command() const;
    dats::TZqDatSManager *DatSManager() const { return FDatSManager; }
    dats::TZqDatSManager *GetDatSManager() const override { return FDatSManager; }
    TZqCustomUpdateObject *UpdateObject() const { return FUpdateObject; }
    void SetUpdateObject(TZqCustomUpdateObject *AValue);

    // ---- options: the command's ----
    TZqFetchOptions *GetFetchOptions() override;
    TZqFormatOptions *GetFormatOptions() override;
    TZqUpdateOptions *GetUpdateOptions() override;
    TZqResourceOptions *GetResourceOptions() override;
    TZqParams *GetParams() override;

    void Disconnect(bool AAbortJob = false) override;
    int ApplySourceUpdates(int AMaxErrors) override;

    // ---- called by the adapter component while it posts and describes ----
    virtual void AdapterError(const TZqIntfPtr<IZqStanObject> &AInitial, std::unique_ptr<rtl::Exception> &AException);
    virtual void AdapterReconcileRow(dats::TZqDatSRow *ARow, TZqDAptReconcileAction &AAction);
    virtual void AdapterUpdateRow(dats::TZqDatSRow *ARow, TZqPhysRequest ARequest, TZqPhysUpdateRowOptions AOptions,
                                  TZqErrorAction &AAction);
    virtual void AdapterDescribeColumn(dats::TZqDatSColumn *AColumn, std::string &AUpdateName,
                                       TZqDataAttributes &AAttributes, TZqDataOptions &AOptions);
    virtual void AdapterDescribeTable(dats::TZqDatSTable *ATable, std::string &AUpdateName);

    // Raised errors the adapter hands on: array execute errors and any other.
    std::function<void(TZqAdaptedDataSet *ASender, EZqException *AException, TZqErrorAction &AAction)>
        OnExecuteError;
    std::function<void(TZqAdaptedDataSet *ASender, const TZqIntfPtr<IZqStanObject> &AInitiator,
                       std::unique_ptr<rtl::Exception> &AException)>
        OnError;

    // ---- provider operations ----
    bool PSInTransaction();
    void PSStartTransaction();
    void PSEndTransaction(bool ACommit);
    bool PSIsSQLBased();
    bool PSIsSQLSupported() { return PSIsSQLBased(); }
    std::string PSGetQuoteChar();
    TZqParams *PSGetParams();
    void PSSetParams(const TZqParams &AParams);
    virtual void PSSetCommandText(const std::string &AText);
    // With AResultSet a query left open is handed out and -1 returned;
    // otherwise the statement runs and its rows-affected is returned.
    int PSExecuteStatement(const std::string &ASQL, const TZqParams *AParams,
                           std::unique_ptr<TZqDataSet> *AResultSet = nullptr);

protected:
    void PrepareSource() override;
    void UnprepareSource() override;
    void DefineSource() override;
    void OpenSource(bool AAsync, bool AInfoQuery, bool ADefine) override;
    bool IsSourceOpen() override;
    void CloseSource() override;
    int FetchFromSource(dats::TZqDatSTable *ATable, bool AAll) override;
    bool FetchRowFromSource(dats::TZqDatSRow *ARow, int AColumnIndex, uint32_t AFlags) override;
    void ExecuteSource(int ATimes, int AOffset) override;
    void RequestRow(TZqPhysRequest ARequest, TZqPhysUpdateRowOptions AOptions) override;
    void ResetSource() override;
    // A clone works in its source's in-memory manager.
    void CloneCursorHook(bool AReset, bool AKeepSettings) override;
    void Notification(rtl::TComponent *AComponent, rtl::TOperation AOperation) override;
    // A fresh manager with its updates registry on, counted once for the
    // holder it is returned in.
    static dats::TZqDatSRef<dats::TZqDatSManager> NewDatSManager();
    bool FCloseTime = false;

private:
    friend class TZqCustomTableAdapter;
    void UnhookAdapter();
    void HookAdapter();
    // Runs AFn with the row in the forced buffer when it is not the
    // dataset's current row.
    template <class F> void WithRow(dats::TZqDatSRow *ARow, F &&AFn);

    TZqCustomTableAdapter *FAdapter = nullptr;
    dats::TZqDatSRef<dats::TZqDatSManager> FDatSManager;
    TZqCustomUpdateObject *FUpdateObject = nullptr;
    std::unique_ptr<TZqParams> FProviderParams;
    bool FUnpreparing = false;
};

// A dataset without a database source of its own; its option objects stand
// in while no adapter command is attached.
class TZqCustomClientDataSet : public TZqAdaptedDataSet {
public:
    explicit TZqCustomClientDataSet(rtl::TComponent *AOwner = nullptr);
    ~TZqCustomClientDataSet() override;
    std::string ClassName() const override { return "TZqCustomClientDataSet"; }
    void SetAdapter(TZqCustomTableAdapter *AValue) override;
    TZqFetchOptions *GetFetchOptions() override;
    TZqFormatOptions *GetFormatOptions() override;
    TZqUpdateOptions *GetUpdateOptions() override;
    TZqResourceOptions *GetResourceOptions() override;

private:
    void CreateOwnOptions();
    void FreeOwnOptions();
    std::unique_ptr<TZqFetchOptions> FFetchOptions;
    std::unique_ptr<TZqFormatOptions> FFormatOptions;
    std::unique_ptr<TZqTableUpdateOptions> FUpdateOptions;
    std::unique_ptr<TZqResourceOptions> FResourceOptions;
};

// A dataset over a database: its own adapter with a command on a connection.
class TZqRdbmsDataSet : public TZqAdaptedDataSet {
public:
    explicit TZqRdbmsDataSet(rtl::TComponent *AOwner = nullptr);
    ~TZqRdbmsDataSet() override;
    std::string ClassName() const override { return "TZqRdbmsDataSet"; }

    TZqCustomConnection *Connection() const;
    void SetConnection(TZqCustomConnection *AValue);
    std::string ConnectionName() const;
    void SetConnectionName(const std::string &AValue);
    bool Prepared() const;
    void SetPrepared(bool AValue);
    bool PreparedOnLoad() const { return FPreparedOnLoad; }
    bool IsPreparedStored() const { return Prepared() && !Active(); }
    int RowsAffected() const;
    TZqParams *Params() const;
    void SetParams(const TZqParams &AValue);
    TZqParam *ParamByName(const std::string &AName) const;
    TZqTableUpdateOptions *TableUpdateOptions();

    void Loaded() override;
    void Disconnect(bool AAbortJob = false) override;

protected:
    virtual TZqCustomTableAdapter *CreateAdapter();
    void OpenCursor(bool AInfoQuery) override;
    void InternalClose() override;
    void UpdateRecordTypesChanging() override;

private:
    bool FPreparedOnLoad = false;
    bool FClientAttached = false;
};

class TZqCustomQuery : public TZqRdbmsDataSet {
public:
    explicit TZqCustomQuery(rtl::TComponent *AOwner = nullptr);
    std::string ClassName() const override { return "TZqCustomQuery"; }

    // The command's text; changing it closes and unprepares the query.
    TZqStringList *SQL() const;
    void SetSQL(const rtl::TStrings &AValue);
    TZqMacros *Macros() const;
    void SetMacros(const TZqMacros &AValue);
    // Runs the text as a statement without a result set.
    void ExecSQL();
    // The master whose fields fill the parameters of the same names.
    TDataSource *DataSource() const { return MasterSource(); }
    void SetDataSource(TDataSource *AValue);

protected:
    void CountTotalRecords() override;
};

class TZqQuery : public TZqCustomQuery {
public:
    using TZqCustomQuery::TZqCustomQuery;
    std::string ClassName() const override { return "TZqQuery"; }
};

// A table of the database read whole; the SELECT is built from TableName
// and the index fields at the first open after a change.
class TZqTable : public TZqCustomQuery {
public:
    explicit TZqTable(rtl::TComponent *AOwner = nullptr);
    ~TZqTable() override;
    std::string ClassName() const override { return "TZqTable"; }

    const std::string &TableName() const { return FTableName; }
    void SetTableName(const std::string &AValue);
    const std::string &CatalogName() const { return FCatalogName; }
    void SetCatalogName(const std::string &AValue);
    const std::string &SchemaName() const { return FSchemaName; }
    void SetSchemaName(const std::string &AValue);
    bool Exclusive() const { return FExclusive; }
    void SetExclusive(bool AValue) { FExclusive = AValue; }

    std::string PSGetTableName() override { return FTableName; }
    void PSSetCommandText(const std::string &AText) override { SetTableName(AText); }

protected:
    void OpenCursor(bool AInfoQuery) override;
    void IndexChanged() override { Rebuild(); }
    void MasterFieldsChanged() override { Rebuild(); }
    void SetMasterParams(const std::vector<TField *> &AFields) override;
    void RefreshDetail() override;
    // A new detail row takes its master's key values.
    void DoOnNewRecord() override;

private:
    void SetNamePart(std::string &APart, const std::string &AValue);
    // The order fields of the SELECT and the descending ones among them:
    // IndexFieldNames, else the plain index definition named IndexName.
    void OrderFields(std::string &AFields, std::string &ADescFields);
    bool HasIndex() const { return !IndexFieldNames().empty() || !IndexName().empty(); }
    // Builds the SELECT into the command's text.
    void GenerateSQL();
    // Rebuilds at once when active, else at the next open.
    void Rebuild();

    std::string FTableName;
    std::string FCatalogName;
    std::string FSchemaName;
    bool FExclusive = false;
};

// The two lines of a table's SELECT: "SELECT T.* FROM <name> T", then the
// WHERE line over the master fields (when any) and the ORDER BY line over
// the order fields (";"-separated; ADescFields lists the descending ones).
// AQuoteColumn writes a column name as the dialect needs it.
std::vector<std::string> ZqBuildTableSelect(const std::string &AObjectName, bool AWithRowID,
                                            const std::string &AOrderFields, const std::string &ADescFields,
                                            const std::vector<std::string> &AMasterFields,
                                            const std::function<std::string(const std::string &)> &AQuoteColumn);
// The table's name as the SELECT writes it: a dotted name gives its own
// parts, the catalog and schema properties fill only the parts it leaves
// empty; parts that need quoting are quoted by the dialect.
std::string ZqTableObjectName(IZqPhysConnectionMetadata *AMeta, const std::string &ATableName,
                              const std::string &ACatalogName, const std::string &ASchemaName);
// The total-count statement of a query text: the text before its ORDER BY
// (AOrderByPos 1-based, 0 for none) wrapped as a derived table.
std::string ZqCountStatement(const std::string &AText, int AOrderByPos);
