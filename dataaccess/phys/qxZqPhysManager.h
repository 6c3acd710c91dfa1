// qxZqPhysManager: the driver-independent frame of the driver layer: the one
// driver manager with its driver hosts, connection hosts and worker thread,
// the base of every driver, the connection base and the command base.
// A driver derives its connection and command classes from the bases here
// and overrides their Internal... operations; everything else (states,
// transactions, fetch modes, array execution, asynchronous running) lives
// here once.
//
// Driver host states and the routines behind them:
//   0 unloaded -> LoadDriver -> 1 loaded -> RegisterDriver -> 2 registered
//   2 -> InitializeDriver (first use) -> 4 active
//   4 -> DriverReleased (only the host holds the driver) -> 5 idle
//   5 -> GetDriverIntf (used again) -> 4;  5 -> FinalizeDriver (idle time-out
//   or shutdown) -> 2;  4 -> StopDriver (Close) -> 6 stopping.
// Connection states: 1 closed -> Open -> 2 opening -> 3 open -> Close ->
//   0 closing -> 1; a failed connect returns to 1, a failed disconnect to 3.
// Command states: 0 unprepared -> Prepare -> 1 prepared -> Open/Execute ->
//   2 executing -> 3 open (a cursor) or back to 1; 3 -> Fetch -> 4 fetching
//   -> 3; 2 or 4 -> AbortJob -> 5 aborting -> 1 (open, execute) or 3 (fetch).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dataaccess/phys/qxZqPhysIntf.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanAsync.h"
#include "dataaccess/stan/qxZqStanConnDef.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "dataaccess/stan/qxZqStanPool.h"
#include "dataaccess/stan/qxZqStanUtil.h"

class TZqPhysManager;
class TZqPhysManagerThread;
class TZqPhysDriverHost;
class TZqPhysConnectionHost;
class TZqPhysDriver;
class TZqPhysConnection;
class TZqPhysCommand;
class TZqPhysBlockingExecute;
class IZqStanObjectFactory;
class IZqStanDefinition;
class TZqFormatConversionBuffer;

// ---- classes of a driver -----------------------------------------------------------

// What a driver unit registers: its driver class (an ID and a constructor)
// and its connection class. The object is the class's identity: a driver
// unit keeps one static instance of it.
struct TZqPhysDriverClass {
    std::string DriverID;
    std::function<TZqPhysDriver *(TZqPhysDriverHost *)> Create;
};
struct TZqPhysConnectionClass {
    const TZqPhysDriverClass *DriverClass;
    std::function<TZqPhysConnection *(TZqPhysDriver *, TZqPhysConnectionHost *)> Create;
};

// Registers a driver unit's connection class with the one manager.
void ZqPhysRegisterDriverClass(const TZqPhysConnectionClass *AClass);

// ---- the driver manager --------------------------------------------------------------

// The millisecond tick every time-out of this unit is measured with.
using TZqPhysClock = std::function<uint32_t()>;

class TZqPhysDriverHost {
public:
    TZqPhysDriverHost(TZqPhysManager *AManager, const std::string &ADriverID, const std::string &ABaseDriverID);
    ~TZqPhysDriverHost();

    TZqPhysDriverHostState State() const { return FState; }
    const std::string &DriverID() const { return FDriverID; }
    const std::string &BaseDriverID() const { return FBaseDriverID; }
    const TZqPhysConnectionClass *ConnectionClass() const { return FConnectionClass; }
    TZqPhysDriver *DriverObj() const { return FDriverObj; }
    TZqIntfPtr<IZqStanDefinition> Definition() const { return FDefinition; }
    TZqPhysManager *Manager() const { return FManager; }
    std::recursive_mutex &Lock() { return FLock; }
    // "VendorHome" and "VendorLib" of the driver definition.
    void GetVendorParams(std::string &AHome, std::string &ALib);

private:
    friend class TZqPhysManager;
    friend class TZqPhysConnectionHost;
    void LoadDriver();
    void RegisterDriver(const TZqPhysConnectionClass *AClass);
    void UnregisterDriver();
    void InitializeDriver();
    void StopDriver();
    void FinalizeDriver();
    TZqIntfPtr<IZqPhysDriver> GetDriverIntf();
    void CheckState(std::initializer_list<TZqPhysDriverHostState> AStates, const char *AAction);

    TZqPhysManager *FManager;
    std::string FDriverID;
    std::string FBaseDriverID;
    std::string FModuleName;
    TZqIntfPtr<IZqStanDefinition> FDefinition;
    std::atomic<TZqPhysDriverHostState> FState{0};
    const TZqPhysDriverClass *FDriverClass = nullptr;
    const TZqPhysConnectionClass *FConnectionClass = nullptr;
    std::recursive_mutex FLock;
    TZqPhysDriver *FDriverObj = nullptr;       // kept alive by FDriverIntf
    TZqIntfPtr<IZqPhysDriver> FDriverIntf;     // the host's own reference
    uint32_t FReleaseTick = 0;
};

class TZqPhysConnectionHost : public TZqObject, public virtual IZqStanObjectHost {
public:
    TZqPhysConnectionHost(TZqPhysManager *AManager, const TZqIntfPtr<IZqStanConnectionDef> &ADef);
    ~TZqPhysConnectionHost() override;
    std::string ClassName() const override { return "TZqPhysConnectionHost"; }
    // The manager owns the host: counting does not free it.
    int32_t _AddRef() override { return -1; }
    int32_t _Release() override { return -1; }

    std::string GetObjectKindName() override;
    void CreateObject(TZqIntfPtr<IZqStanObject> &AObject) override;

    void AcquireConnection(TZqIntfPtr<IZqPhysConnection> &AConn);
    void CreateConnection(TZqIntfPtr<IZqPhysConnection> &AConn);
    void ConnectionCreated();
    void ConnectionDestroyed();
    TZqIntfPtr<IZqStanConnectionDef> ConnectionDef() const { return FDef; }
    IZqStanObjectFactory *Pool() const { return FPool.Get(); }
    void StopPool();
    int LiveCount() const { return FCount.load(); }

private:
    TZqPhysManager *FManager;
    TZqIntfPtr<IZqStanConnectionDef> FDef;
    std::atomic<int> FCount{0};
    TZqIntfPtr<IZqStanObjectFactory> FPool;
    bool FPrivate;
};

class TZqPhysManager : public TZqObject,
                       public virtual IZqPhysManager,
                       public virtual IZqPhysManagerMetadata,
                       public virtual IZqStanObject,
                       public IZqStanOptions {
public:
    TZqPhysManager();
    ~TZqPhysManager() override;
    std::string ClassName() const override { return "TZqPhysManager"; }

    // IZqPhysManager
    TZqIntfPtr<IZqStanDefinitions> DriverDefs() override;
    TZqIntfPtr<IZqStanConnectionDefs> ConnectionDefs() override;
    IZqStanOptions *GetOptions() override { return this; }
    TZqPhysManagerState GetState() override { return FState.load(); }
    bool GetDesignTime() override { return FDesignTime; }
    void SetDesignTime(bool AValue) override { FDesignTime = AValue; }
    void CreateConnection(const TZqIntfPtr<IZqStanConnectionDef> &ADef, TZqIntfPtr<IZqPhysConnection> &AConn,
                          bool ACheckActive = true) override;
    void CreateConnection(const std::string &ADefinition, TZqIntfPtr<IZqPhysConnection> &AConn,
                          bool ACheckActive = true) override;
    void CreateDriver(const std::string &ADriverID, TZqIntfPtr<IZqPhysDriver> &ADriver,
                      bool ACheckActive = true) override;
    void GetManagerMetadata(TZqIntfPtr<IZqPhysManagerMetadata> &AMeta) override;
    void CreateDefaultMetadata(TZqIntfPtr<IZqPhysConnectionMetadata> &AMeta) override;
    void Open() override;
    void Close(bool AWait = false) override;

    // IZqPhysManagerMetadata
    int GetDriverCount() override;
    std::string GetDriverID(int AIndex) override;
    void GetDriverMetadata(const std::string &ADriverID, TZqIntfPtr<IZqPhysDriverMetadata> &AMeta) override;

    // IZqStanObject
    std::string GetName() override { return ClassName(); }
    TZqIntfPtr<IZqStanObject> GetParent() override { return {}; }
    void PoolAcquired() override {}
    void PoolReleased() override {}
    void SetOwner(rtl::TObject *, const std::string &) override {}

    // IZqStanOptions: the top of every option chain.
    TZqFetchOptions *GetFetchOptions() override { return FFetchOptions.get(); }
    TZqFormatOptions *GetFormatOptions() override { return FFormatOptions.get(); }
    TZqUpdateOptions *GetUpdateOptions() override { return FUpdateOptions.get(); }
    TZqResourceOptions *GetResourceOptions() override { return FResourceOptions.get(); }
    bool GetParentOptions(IZqStanOptions *&AParent) override { AParent = nullptr; return false; }

    void RegisterDriverClass(const TZqPhysConnectionClass *AClass);
    void DriverReleased(TZqPhysDriver *ADriver);
    // Check modes: 1 the manager must be active, 2 active or stopping, 3 nil
    // when not active. The host comes back with its lock held.
    TZqPhysDriverHost *FindDriverHost(const std::string &ADriverID, int ACheckMode);
    std::vector<std::string> HostDriverIDs();

    // The idle time after which an unused driver is finalised (20000 ms).
    uint32_t DriverIdleTimeout() const { return FDriverIdleTimeout; }
    // The clock of the idle time-out and of a waiting Close (tests set their own).
    void SetClock(TZqPhysClock AClock);
    uint32_t Now() const;
    // One pass of the manager thread: finalises idle drivers and completes
    // a shutdown. The thread runs it every 1000 ms and when woken.
    void ThreadTick();
    void WakeThread();
    int HostCount();
    TZqPhysDriverHost *Host(int AIndex);

private:
    friend class TZqPhysManagerThread;
    void Reset();
    void CreateThreadIfNone();

    std::recursive_mutex FLock;          // guards the lists and the state
    std::recursive_mutex FCriticalSection; // keeps Close and the thread tick apart
    TZqIntfPtr<IZqStanDefinitions> FDriverDefs;
    TZqIntfPtr<IZqStanConnectionDefs> FConnectionDefs;
    std::vector<std::unique_ptr<TZqPhysDriverHost>> FDriverHosts;
    std::vector<std::unique_ptr<TZqPhysConnectionHost>> FConnectionHosts;
    std::vector<const TZqPhysConnectionClass *> FPending;
    std::atomic<TZqPhysManagerState> FState{0};
    uint32_t FDriverIdleTimeout = 20000;
    std::unique_ptr<TZqPhysManagerThread> FThread;
    std::unique_ptr<TZqFetchOptions> FFetchOptions;
    std::unique_ptr<TZqFormatOptions> FFormatOptions;
    std::unique_ptr<TZqUpdateOptions> FUpdateOptions;
    std::unique_ptr<TZqTopResourceOptions> FResourceOptions;
    bool FDesignTime = false;
    TZqPhysClock FClock;
    mutable std::mutex FClockLock;
    TZqEvent FShutdownEvent;
    std::atomic<bool> FWaitingClose{false};
};

// Registers the singleton factory of the driver manager (interface 2101).
void RegisterPhysManager();

// ---- the driver base -------------------------------------------------------------------

class TZqPhysDriver : public TZqObject,
                      public virtual IZqPhysDriverMetadata,
                      public virtual IZqPhysDriver,
                      public virtual IZqStanObject {
public:
    explicit TZqPhysDriver(TZqPhysDriverHost *AHost);
    ~TZqPhysDriver() override;
    std::string ClassName() const override { return "TZqPhysDriver"; }
    // One reference left (the host's) tells the manager the driver is idle.
    int32_t _Release() override;

    // IZqPhysDriverMetadata
    std::string GetDriverID() override;
    std::string GetDescription() override { return std::string(); }
    int GetParamCount(const rtl::TStrings *AParams) override;
    void GetParamInfo(const rtl::TStrings *AParams, int AIndex, std::string &AName, std::string &AType,
                      std::string &ADefault, std::string &ACaption, int &ALoginIndex) override;
    // IZqPhysDriver
    int GetRefCount() override { return RefCount(); }
    int GetConnectionCount() override;
    void GetConnections(int AIndex, TZqIntfPtr<IZqPhysConnection> &AConn) override;
    TZqPhysDriverHostState GetState() override { return FHost->State(); }
    void CloseConnections() override;
    void GetDriverMetadata(TZqIntfPtr<IZqPhysDriverMetadata> &AMeta) override;
    void GetODBCDriver(TZqIntfPtr<IZqPhysODBCDriver> &ADriver) override;
    // IZqStanObject
    std::string GetName() override { return GetDriverID(); }
    TZqIntfPtr<IZqStanObject> GetParent() override;
    void PoolAcquired() override {}
    void PoolReleased() override {}
    void SetOwner(rtl::TObject *, const std::string &) override {}

    TZqPhysDriverHost *Host() const { return FHost; }
    void AddConnection(TZqPhysConnection *AConn);
    void RemoveConnection(TZqPhysConnection *AConn);

private:
    TZqPhysDriverHost *FHost;
    std::vector<TZqPhysConnection *> FConnections; // not counted: each removes itself
};

// ---- the connection base ------------------------------------------------------------------

class TZqPhysConnection : public TZqObject,
                          public virtual IZqPhysConnection,
                          public virtual IZqStanErrorHandler,
                          public virtual IZqStanObject,
                          public virtual IZqMoniAdapter,
                          public IZqStanOptions {
public:
    TZqPhysConnection(TZqPhysDriver *ADriver, TZqPhysConnectionHost *AHost);
    ~TZqPhysConnection() override;
    std::string ClassName() const override { return "TZqPhysConnection"; }
    int32_t _Release() override;

    // IZqPhysConnection
    int GetRefCount() override { return RefCount(); }
    void GetDriver(TZqIntfPtr<IZqPhysDriver> &ADriver) override { ADriver = FDriverIntf; }
    TZqPhysConnectionState GetState() override { return FState.load(); }
    IZqStanOptions *GetOptions() override { return FOptions ? FOptions : this; }
    TZqTxOptions *GetTxOptions() override { return FExtTxOptions ? FExtTxOptions : FTxOptions.get(); }
    bool GetInTransaction() override;
    int GetTxSerialID() override { return FTxSerialID; }
    int GetCommandCount() override;
    void GetCommands(int AIndex, TZqIntfPtr<IZqPhysCommand> &ACommand) override;
    TZqIntfPtr<IZqStanErrorHandler> GetErrorHandler() override { return FErrorHandler; }
    TZqIntfPtr<IZqGUIxLoginDialog> GetLoginDialog() override { return FLoginDialog; }
    TZqIntfPtr<IZqStanConnectionDef> GetConnectionDef() override;
    bool GetLoginPrompt() override { return FLoginPrompt; }
    void *GetCliHandle() override { return nullptr; }
    void *GetCliObj() override { return nullptr; }
    void SetOptions(IZqStanOptions *AOptions) override;
    void SetTxOptions(TZqTxOptions *AOptions) override;
    void SetErrorHandler(const TZqIntfPtr<IZqStanErrorHandler> &AHandler) override { FErrorHandler = AHandler; }
    void SetLoginDialog(const TZqIntfPtr<IZqGUIxLoginDialog> &ADialog) override { FLoginDialog = ADialog; }
    void SetLoginPrompt(bool AValue) override { FLoginPrompt = AValue; }
    void CreateMetadata(TZqIntfPtr<IZqPhysConnectionMetadata> &AMeta) override;
    void CreateCommandGenerator(TZqIntfPtr<IZqPhysCommandGenerator> &AGen,
                                const TZqIntfPtr<IZqPhysCommand> &ACommand) override;
    void CreateCommand(TZqIntfPtr<IZqPhysCommand> &ACommand) override;
    void CreateCommand(TZqIntfPtr<IZqPhysCommandInternal> &ACommand) override;
    void ForceClose() override;
    void Open() override;
    void Close() override;
    int StartTransaction() override;
    void Commit() override;
    void Rollback() override;
    void ChangePassword(const std::string &ANewPassword) override;
    void GetLastAutoGenValue(const std::string &AName, rtl::Variant &AValue) override;
    bool GetDataSourceReadOnly() override { return false; }

    // IZqStanErrorHandler
    void HandleException(const TZqIntfPtr<IZqStanObject> &AInitiator,
                         std::unique_ptr<rtl::Exception> &AException) override;
    // IZqStanObject
    std::string GetName() override;
    TZqIntfPtr<IZqStanObject> GetParent() override;
    void PoolAcquired() override;
    void PoolReleased() override;
    void SetOwner(rtl::TObject *AOwner, const std::string &ARole) override;
    // IZqMoniAdapter
    uint32_t GetHandle() override { return 0; }
    int GetItemCount() override { return 2; }
    void GetItem(int AIndex, std::string &AName, rtl::Variant &AValue, uint8_t &AKind) override;
    // IZqStanOptions
    TZqFetchOptions *GetFetchOptions() override;
    TZqFormatOptions *GetFormatOptions() override;
    TZqUpdateOptions *GetUpdateOptions() override;
    TZqResourceOptions *GetResourceOptions() override;
    TZqTopResourceOptions *GetTopResourceOptions();
    bool GetParentOptions(IZqStanOptions *&AParent) override;

    // For the command base.
    // Mode 0: must be open; mode 1: open or closing.
    void CheckActive(int AMode = 0);
    // Step 0 start, 1 finish with success, 2 finish with failure.
    void AutoTransaction(int AStep);
    void CursorOpened(TZqPhysCommand *ACommand);
    void CursorClosed();
    void RemoveCommand(TZqPhysCommand *ACommand);
    void FillMetaDefaults(TZqPhysParsedName &AName, IZqPhysCommand *ACommand);
    // The transaction stack, innermost last: transaction IDs in decimal or
    // savepoint names.
    std::vector<std::string> TxStack();
    bool AllowReconnect() const { return FAllowReconnect; }
    void SetAllowReconnect(bool AValue) { FAllowReconnect = AValue; }
    const std::string &MetaDefSchema() const { return FMetaDefSchema; }
    const std::string &MetaDefCatalog() const { return FMetaDefCatalog; }
    TZqPhysDriver *DriverObj() const { return FDriverObj; }

protected:
    virtual void InternalConnect() = 0;
    virtual void InternalDisconnect() = 0;
    virtual IZqPhysConnectionMetadata *InternalCreateMetadata() = 0;
    virtual TZqPhysCommand *InternalCreateCommand() = 0;
    virtual void InternalCreateCommandGenerator(TZqIntfPtr<IZqPhysCommandGenerator> &AGen,
                                                const TZqIntfPtr<IZqPhysCommand> &ACommand) = 0;
    virtual void InternalTxBegin(int32_t AID) = 0;
    virtual void InternalTxCommit(int32_t AID) = 0;
    virtual void InternalTxRollback(int32_t AID) = 0;
    virtual void InternalTxSetSavepoint(const std::string &AName) = 0;
    virtual void InternalTxRollbackToSavepoint(const std::string &AName) = 0;
    virtual void InternalTxCommitSavepoint(const std::string &) {}
    virtual void InternalTxChanged() {}
    virtual void InternalChangePassword(const std::string &AUserName, const std::string &AOldPassword,
                                        const std::string &ANewPassword);

    void RaisePhys(int32_t ACode, const std::vector<rtl::Variant> &AArgs = {});

private:
    void Login();
    // The work of destruction that needs the driver's overrides.
    void BeforeDestroy();
    void EndTransaction(bool ACommit);
    void EndCommandsAndTransactions();
    void ApplyTxOptionChanges();
    int32_t InnermostTxID();
    void DropMetadata();
    // The metadata, made on first use; for a caller that holds FLock, which
    // keeps it alive (it is dropped only under the lock).
    IZqPhysConnectionMetadata *LockedMetadata();

    TZqIntfPtr<IZqPhysDriver> FDriverIntf;
    TZqPhysDriver *FDriverObj;
    TZqPhysConnectionHost *FHost;
    std::atomic<TZqPhysConnectionState> FState{1};
    std::unique_ptr<TZqFetchOptions> FFetchOptions;
    std::unique_ptr<TZqFormatOptions> FFormatOptions;
    std::unique_ptr<TZqUpdateOptions> FUpdateOptions;
    std::unique_ptr<TZqTopResourceOptions> FResourceOptions;
    IZqStanOptions *FOptions = nullptr; // the external holder, kept alive by the client that set it
    std::unique_ptr<TZqTxOptions> FTxOptions;
    TZqTxOptions *FExtTxOptions = nullptr; // kept alive by the client that set it
    std::vector<std::string> FTxStack;
    int32_t FAutoTxID = 0;
    int FTxSerialID = 0;
    std::recursive_mutex FLock;
    TZqIntfPtr<IZqPhysConnectionMetadata> FMetadata;
    TZqIntfPtr<IZqGUIxLoginDialog> FLoginDialog;
    bool FLoginPrompt = false;
    int FPreparedCount = 0;
    TZqIntfPtr<IZqStanConnectionDef> FPrivateDef;
    bool FInPool = false;
    std::unique_ptr<TZqMoniAdapterHelper> FMoniHelper;
    std::vector<TZqPhysCommand *> FCommands; // not counted: each command removes itself
    std::string FMetaDefSchema;
    std::string FMetaDefCatalog;
    bool FAllowReconnect = false;
    TZqIntfPtr<IZqStanErrorHandler> FErrorHandler;
};

// ---- result-set description -------------------------------------------------------------

struct TZqPhysDataTableInfo {
    std::string FSourceName;
    int FSourceID = -1;
};

struct TZqPhysDataColumnInfo {
    std::string FSourceName;
    int FSourceID = 0;
    std::string FOriginName;
    TZqDataType FType = dtUnknown;
    std::string FTypeName;
    int64_t FLen = 0;
    int FPrec = 0;
    int FScale = 0;
    TZqDataAttributes FAttrs;
    TZqDataOptions FForceAddOpts;
};

// The cache table name and layout of a catalog query (kind 1 to 11); the
// connection definition's name goes into the table name.
std::string ZqPhysMetaInfoTableName(TZqPhysMetaInfoKind AKind, const std::string &ADefName);
void ZqPhysDefineMetaInfoTable(TZqPhysMetaInfoKind AKind, TZqDatSTable *ATable);

// ---- the command base ----------------------------------------------------------------------

class TZqPhysCommand : public TZqObject,
                       public virtual IZqPhysCommandInternal,
                       public virtual IZqStanErrorHandler,
                       public virtual IZqStanObject,
                       public virtual IZqMoniAdapter,
                       public IZqStanOptions {
public:
    TZqPhysCommand();
    ~TZqPhysCommand() override;
    std::string ClassName() const override { return "TZqPhysCommand"; }
    // The last release disconnects while the driver's part still exists.
    int32_t _Release() override;

    // IZqPhysCommandNames
    std::string GetCatalogName() override { return FCatalogName; }
    std::string GetSchemaName() override { return FSchemaName; }
    std::string GetBaseObjectName() override { return FBaseObjectName; }
    // IZqPhysCommand readers
    void GetConnection(TZqIntfPtr<IZqPhysConnection> &AConn) override { AConn = FConnectionIntf; }
    IZqStanOptions *GetOptions() override { return FOptions ? FOptions : this; }
    TZqPhysCommandState GetState() override { return FState.load(); }
    std::string GetCommandText() override { return FCommandText; }
    TZqPhysCommandKind GetCommandKind() override { return FCommandKind; }
    TZqParams *GetParams() override { return FParams.get(); }
    TZqMacros *GetMacros() override { return FMacros.get(); }
    uint8_t GetParamBindMode() override;
    uint16_t GetOverload() override { return FOverload; }
    bool GetNextRecordSet() override { return FNextRecordSet; }
    TZqIntfPtr<IZqStanErrorHandler> GetErrorHandler() override { return FErrorHandler; }
    std::string GetSourceObjectName() override { return FSourceObjectName; }
    std::string GetSourceRecordSetName() override;
    TZqIntfPtr<IZqStanAsyncHandler> GetAsyncHandler() override;
    int GetRowsAffected() override { return FRowsAffected; }
    bool GetRowsAffectedReal() override { return FRowsAffectedReal; }
    TZqErrorAction GetErrorAction() override { return FErrorAction; }
    TZqIntfPtr<IZqPhysMappingHandler> GetMappingHandler() override { return FMappingHandler; }
    int GetSQLOrderByPos() override { return FSQLOrderByPos; }
    void *GetCliObj() override { return nullptr; }
    // writers
    void SetSchemaName(const std::string &AValue) override;
    void SetCatalogName(const std::string &AValue) override;
    void SetBaseObjectName(const std::string &AValue) override;
    void SetOptions(IZqStanOptions *AValue) override;
    void SetCommandText(const std::string &AValue) override;
    void SetCommandKind(TZqPhysCommandKind AValue) override;
    void SetSourceObjectName(const std::string &AValue) override { FSourceObjectName = AValue; }
    void SetSourceRecordSetName(const std::string &AValue) override { FSourceRecordSetName = AValue; }
    void SetNextRecordSet(bool AValue) override { FNextRecordSet = AValue; }
    void SetErrorHandler(const TZqIntfPtr<IZqStanErrorHandler> &AValue) override { FErrorHandler = AValue; }
    void SetParamBindMode(uint8_t AValue) override;
    void SetOverload(uint16_t AValue) override;
    void SetAsyncHandler(const TZqIntfPtr<IZqStanAsyncHandler> &AValue) override;
    void SetMappingHandler(const TZqIntfPtr<IZqPhysMappingHandler> &AValue) override { FMappingHandler = AValue; }
    // actions
    void AbortJob(bool AWait = false) override;
    void Close() override;
    void CloseAll() override;
    void CheckNotBusy() override;
    void Disconnect() override;
    TZqDatSTable *Define(TZqDatSManager *AManager, TZqDatSTable *ATable = nullptr,
                         TZqPhysMetaInfoMergeMode AMergeMode = mmReset) override;
    TZqDatSTable *Define(TZqDatSTable *ATable, TZqPhysMetaInfoMergeMode AMergeMode = mmReset) override;
    void Execute(int ATimes = 0, int AOffset = 0) override;
    void Fetch(TZqDatSTable *ATable, bool AAll = true) override;
    int FetchRows(const TZqPhysRowVisitor &AVisit) override;
    void OpenAndFetch(TZqDatSManager *AManager, TZqPhysMetaInfoMergeMode AMergeMode = mmReset) override;
    void Open() override;
    void Prepare(const std::string &ACommandText = std::string()) override;
    void Unprepare() override;
    TZqPhysMetaInfoKind GetMetaInfoKind() override { return FMetaInfoKind; }
    void SetMetaInfoKind(TZqPhysMetaInfoKind AValue) override;
    uint8_t GetTableKinds() override { return FTableKinds; }
    void SetTableKinds(uint8_t AValue) override;
    std::string GetWildcard() override { return FWildcard; }
    void SetWildcard(const std::string &AValue) override;
    uint8_t GetObjectScopes() override { return FObjectScopes; }
    void SetObjectScopes(uint8_t AValue) override;

    // IZqStanErrorHandler
    void HandleException(const TZqIntfPtr<IZqStanObject> &AInitiator,
                         std::unique_ptr<rtl::Exception> &AException) override;
    // IZqStanObject
    std::string GetName() override;
    TZqIntfPtr<IZqStanObject> GetParent() override;
    void PoolAcquired() override {}
    void PoolReleased() override {}
    void SetOwner(rtl::TObject *AOwner, const std::string &ARole) override;
    // IZqMoniAdapter
    uint32_t GetHandle() override { return 0; }
    int GetItemCount() override;
    void GetItem(int AIndex, std::string &AName, rtl::Variant &AValue, uint8_t &AKind) override;
    // IZqStanOptions
    TZqFetchOptions *GetFetchOptions() override;
    TZqFormatOptions *GetFormatOptions() override;
    TZqUpdateOptions *GetUpdateOptions() override;
    TZqResourceOptions *GetResourceOptions() override;
    bool GetParentOptions(IZqStanOptions *&AParent) override;

    void OpenWith(TZqStanAsyncMode AMode, uint32_t ATimeout);
    void ExecuteWith(int ATimes, int AOffset, uint32_t ATimeout, TZqStanAsyncMode AMode);
    void FetchWith(TZqDatSTable *ATable, bool AAll, uint32_t ATimeout, TZqStanAsyncMode AMode);

    // The text the preprocessor made and where "ORDER BY" and "VALUES" start in it.
    const std::string &DbCommandText() const { return FDbCommandText; }
    int SQLValuesPos() const { return FSQLValuesPos; }
    int ExecuteCount() const { return FExecuteCount; }
    int RecordsFetched() const { return FRecordsFetched; }
    bool Eof() const { return FEof; }
    std::string GetTraceText();
    TZqPhysConnection *ConnectionObj() const { return FConnectionObj; }
    TZqFormatConversionBuffer *ConversionBuffer() const { return FBuffer.get(); }
    // Whether columns of a type are fetched at all (details and blobs only
    // when the fetch options ask for them).
    bool IsColumnFetched(TZqDataType AType);
    // Error 339 naming the first name part the metadata kind needs but lacks.
    void CheckMetaInfoArgs(const TZqPhysParsedName &AName);
    // Rebuilds Params from the catalog's description of a stored
    // procedure's arguments (drivers call it while preparing a procedure).
    void FillStoredProcParams(const TZqPhysParsedName &AName, uint16_t AOverload);

    // The three bodies the asynchronous operations run.
    void OpenTask();
    void ExecuteTask(int ATimes, int AOffset);
    void FetchTask(TZqDatSTable *ATable, bool AAll);
    bool AbortSupported();

protected:
    friend class TZqPhysConnection;
    virtual void InternalAbort();
    virtual void InternalPrepare() = 0;
    virtual void InternalUnprepare() = 0;
    virtual bool InternalOpen() = 0;
    virtual bool InternalNextRecordSet() = 0;
    virtual void InternalClose() = 0;
    virtual void InternalExecute(int ATimes, int AOffset, int &ACount) = 0;
    virtual bool InternalColInfoStart(TZqPhysDataTableInfo &ATabInfo) = 0;
    virtual bool InternalColInfoGet(TZqPhysDataColumnInfo &AColInfo) = 0;
    virtual int InternalFetchRowSet(TZqDatSTable *ATable, void *AParentRow, int ARowsetSize) = 0;
    // A driver that hands each fetched row to the visitor of a FetchRows
    // under way (RowVisitor) instead of adding it to the table.
    virtual bool VisitsRows() { return false; }
    const TZqPhysRowVisitor *RowVisitor() const { return FRowVisitor; }

    void RaisePhys(int32_t ACode, const std::vector<rtl::Variant> &AArgs = {});
    void Preprocess(bool ACreateParams, bool ACreateMacros, bool AWantText, bool AExpandEscapes,
                    bool AExpandMacros, bool AExpandParams);

private:
    void BindToConnection(TZqPhysConnection *AConn);
    void RunAsync(const TZqIntfPtr<IZqStanAsyncOperation> &AOp, TZqStanAsyncMode AMode, uint32_t ATimeout);
    void AddRowsAffected(int ACount);
    int FetchRowSets(TZqDatSTable *ATable, int ARequested, int ARecsMax);
    TZqDatSTable *DefineCore(TZqDatSManager *AManager, TZqDatSTable *ATable, TZqPhysMetaInfoMergeMode AMode);
    // The primary key columns of the source table, when the fetch options
    // ask for key information and the source is one plain table.
    TZqPhysMetaView ReadKeyFields();

    std::string FBaseObjectName;
    std::string FSchemaName;
    std::string FCatalogName;
    std::string FCommandText;
    TZqPhysCommandKind FCommandKind = skUnknown;
    bool FKindFixed = false;
    std::unique_ptr<TZqMacros> FMacros;
    std::unique_ptr<TZqParams> FParams;
    TZqPhysMetaInfoKind FMetaInfoKind = 0;
    uint8_t FObjectScopes = 1;
    uint8_t FTableKinds = 7;
    std::string FWildcard;
    IZqStanOptions *FOptions = nullptr; // the external holder, kept alive by the client that set it
    std::unique_ptr<TZqUpdateOptions> FUpdateOptions;
    std::unique_ptr<TZqFetchOptions> FFetchOptions;
    std::unique_ptr<TZqFormatOptions> FFormatOptions;
    std::unique_ptr<TZqResourceOptions> FResourceOptions;
    std::atomic<TZqPhysCommandState> FState{0};
    std::string FSourceObjectName;
    std::string FSourceRecordSetName;
    int FRecordSetIndex = -1;
    uint16_t FOverload = 0;
    bool FEof = false;
    bool FFirstFetch = false;
    bool FNextRecordSet = false;
    int FRecordsFetched = 0;
    int FExecuteCount = 0;
    TZqIntfPtr<IZqStanErrorHandler> FErrorHandler;
    TZqIntfPtr<IZqStanAsyncHandler> FAsyncHandler;
    // The executor of the last blocking run, set up again for the next one.
    TZqIntfPtr<IZqStanAsyncExecutor> FIdleExecutor;
    // The operation of a blocking execute without a time limit, kept for
    // the next one (FBlockingExecuteOp is the same object).
    TZqIntfPtr<IZqStanAsyncOperation> FBlockingExecute;
    TZqPhysBlockingExecute *FBlockingExecuteOp = nullptr;
    TZqIntfPtr<IZqPhysMappingHandler> FMappingHandler;
    int FRowsAffected = 0;
    bool FRowsAffectedReal = false;
    TZqErrorAction FErrorAction = eaExitSuccess;
    std::string FDbCommandText;
    int FSQLOrderByPos = 0;
    int FSQLValuesPos = 0;
    std::unique_ptr<TZqMoniAdapterHelper> FMoniHelper;
    TZqPhysConnection *FConnectionObj = nullptr; // kept alive by FConnectionIntf
    TZqIntfPtr<IZqPhysConnection> FConnectionIntf;
    std::unique_ptr<TZqFormatConversionBuffer> FBuffer;
    // FetchRows: its visitor while it runs, and the table the fetch is
    // handed (empty for a driver that visits its rows).
    const TZqPhysRowVisitor *FRowVisitor = nullptr;
    std::unique_ptr<TZqDatSTable> FVisitTable;
};

// Shows the wait cursor for the life of the scope. A required cursor
// service raises when none is registered; an optional one may be missing.
class TZqPhysWaitScope {
public:
    explicit TZqPhysWaitScope(bool ARequired);
    ~TZqPhysWaitScope();
    TZqPhysWaitScope(const TZqPhysWaitScope &) = delete;
    TZqPhysWaitScope &operator=(const TZqPhysWaitScope &) = delete;

private:
    TZqIntfPtr<IZqGUIxWaitCursor> FCursor;
};

// The component an application drops on a form to say that a driver is
// part of it: creating one registers the driver with the process's driver
// manager; it has no behaviour of its own beyond that.
class TZqPhysDriverLinkBase : public TZqComponent {
public:
    using TZqComponent::TZqComponent;
};
