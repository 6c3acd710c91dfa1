// qxZqCompClient: the client components through which the application
// reaches a database: the manager component (one per application, the root
// of the option chain and the registry of connection components), the
// connection component (a connection definition, a driver connection, the
// login step, transactions, the clients attached to it) and the command
// component (one SQL statement run through a driver command). The adapted
// datasets (query, table) and the adapter components live in
// qxZqCompClientDataSets.h and build on the classes here.
//
// Option chain: a command's options read what they do not set from its
// connection, the connection's from the manager component; the manager's
// are the top. The chain is walked on every read, so a setting made on the
// connection governs every command on it at once.
//
// Connection states and the routines behind them:
//   disconnected (no driver connection) -> SetConnected(True) -> DoConnect
//   -> connected (driver state 3); connected -> SetConnected(False), Close,
//   DetachClient of the last user without KeepConnection, or destruction
//   -> DoDisconnect (closes the attached datasets and commands first)
//   -> disconnected. A failed connect ends disconnected, without a driver
//   connection and without a parent definition.
//
// Command states:
//   unprepared (no driver command) -> Prepared := True -> prepared (driver
//   state 1) -> Active := True -> active (driver state 3) -> Active := False
//   -> prepared -> Prepared := False -> unprepared. Execute prepares when
//   needed and returns to prepared; a CREATE, ALTER or DROP ends unprepared.
//   Any change of a setting the driver command depends on (text, names,
//   kind, options, connection) ends unprepared.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataaccess/comp/qxZqCompDataSet.h"
#include "dataaccess/comp/qxZqGUIxFormsWait.h"
#include "dataaccess/phys/qxZqPhysIntf.h"
#include "dataaccess/stan/qxZqStanAsync.h"
#include "dataaccess/stan/qxZqStanConnDef.h"
#include "dataaccess/stan/qxZqStanDef.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "dataaccess/stan/qxZqStanParam.h"
#include "dataaccess/stan/qxZqStanUtil.h"
#include "platform/rtl/Classes.h"

class TZqCustomManager;
class TZqCustomConnection;
class TZqCustomCommand;

// ---- update options of the datasets and commands -----------------------------------------

// Update options that also name the table the changes go to.
class TZqTableUpdateOptions : public TZqUpdateOptions {
public:
    explicit TZqTableUpdateOptions(IZqStanOptions *AOwner) : TZqUpdateOptions(AOwner) {}
    void Assign(const TZqCustomOptions *ASource) override;
    void ResetToDefaults() override;

    const std::string &UpdateTableName() const noexcept { return FUpdateTableName; }
    void SetUpdateTableName(const std::string &AValue);

private:
    std::string FUpdateTableName;
};

// ---- the toolkit's connection component ----------------------------------------------------

// Told when its connection connects (True) or disconnects (False).
using TConnectChangeEvent = std::function<void(rtl::TObject *ASender, bool AConnecting)>;

// The toolkit's base of connection components: Connected, Open/Close, the
// client list and the four connect events. SetConnected fires BeforeConnect,
// runs DoConnect, tells the clients and fires AfterConnect; the reverse for
// a disconnect. While the component loads (csLoading) a True write is only
// remembered (StreamedConnected) and applied by Loaded.
class TCustomConnection : public TZqComponent {
public:
    explicit TCustomConnection(rtl::TComponent *AOwner = nullptr);
    ~TCustomConnection() override;
    std::string ClassName() const override { return "TCustomConnection"; }

    void Open() { SetConnected(true); }
    void Close() { SetConnected(false); }
    bool Connected() { return GetConnected(); }
    virtual void SetConnected(bool AValue);
    virtual bool GetConnected() { return false; }
    // Runs the steps a form load ends with (StreamedConnected, ...).
    virtual void Loaded();

    bool LoginPrompt() const noexcept { return FLoginPrompt; }
    void SetLoginPrompt(bool AValue) noexcept { FLoginPrompt = AValue; }
    bool StreamedConnected() const noexcept { return FStreamedConnected; }

    // Clients: any object; datasets among them are also listed as DataSets.
    void RegisterClient(rtl::TObject *AClient, TConnectChangeEvent AEvent = {});
    void UnRegisterClient(rtl::TObject *AClient);
    // As RegisterClient, for a caller that knows whether its client is a
    // dataset (ADataSet is the client, or nil): a command registers on
    // every prepare, and a type test across the component hierarchy costs
    // more than the registration.
    void RegisterClientAs(rtl::TObject *AClient, TDataSet *ADataSet, TConnectChangeEvent AEvent = {});
    int ClientCount() const { return int(FClients.size()); }
    int DataSetCount() const { return int(FDataSets.size()); }
    TDataSet *DataSets(int AIndex) const { return FDataSets.at(size_t(AIndex)); }

    rtl::TNotifyEvent BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;

protected:
    virtual void DoConnect() {}
    virtual void DoDisconnect() {}
    void SendConnectEvent(bool AConnecting);

    bool FStreamedConnected = false;

private:
    struct TClient {
        rtl::TObject *Object;
        TConnectChangeEvent Event;
    };
    std::vector<TClient> FClients;    // not owned
    std::vector<TDataSet *> FDataSets; // not owned: each unregisters itself
    bool FLoginPrompt = false;
};

// ---- shared component vocabulary -------------------------------------------------------------

// The error hook of a component: it may replace or clear the exception.
using TZqErrorEvent = std::function<void(rtl::TObject *ASender, const TZqIntfPtr<IZqStanObject> &AInitiator,
                                         std::unique_ptr<rtl::Exception> &AException)>;
using TZqConnectionLoginEvent =
    std::function<void(TZqCustomConnection *AConnection, const TZqIntfPtr<IZqStanConnectionDef> &ADef)>;

// The default login-dialog provider a program may register. The library
// registers none: without one the connection logs in with its parameters.
class IZqGUIxLoginDialogProvider : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqGUIxLoginService;
    virtual TZqIntfPtr<IZqGUIxLoginDialog> GetLoginDialog() = 0;
};

// What a command tells the table adapter component that uses it: after the
// command unprepared, an adapter whose select command it is resets all its
// commands.
class TZqCommandUser {
public:
    virtual void CommandUnprepared(TZqCustomCommand *ACommand) = 0;

protected:
    ~TZqCommandUser() = default;
};

// The trace name of a component: its Name, or "$" and its identity as eight
// hexadecimal digits for an unnamed one, then ": " and the class name.
std::string ZqComponentTraceName(const rtl::TComponent *AComponent);

// ---- the manager component ----------------------------------------------------------------------

class TZqCustomManager : public TZqComponent, public virtual IZqStanObject, public IZqStanOptions {
public:
    explicit TZqCustomManager(rtl::TComponent *AOwner = nullptr);
    ~TZqCustomManager() override;
    std::string ClassName() const override { return "TZqCustomManager"; }
    // Components are freed by their owner, never by counting.
    int32_t _AddRef() override { return -1; }
    int32_t _Release() override { return -1; }

    virtual void Loaded();

    bool Active();
    void SetActive(bool AValue);
    TZqActiveAtRunTime ActiveAtRunTime() const noexcept { return FActiveAtRunTime; }
    void SetActiveAtRunTime(TZqActiveAtRunTime AValue) noexcept { FActiveAtRunTime = AValue; }
    bool AutoCreated() const noexcept { return FAutoCreated; }
    bool KeepConnections() const noexcept { return FKeepConnections; }
    void SetKeepConnections(bool AValue) noexcept { FKeepConnections = AValue; }
    bool SilentMode() const;
    void SetSilentMode(bool AValue);
    TZqGUIxScreenCursor WaitCursor() const;
    void SetWaitCursor(TZqGUIxScreenCursor AValue);
    std::string ConnectionDefFileName();
    void SetConnectionDefFileName(const std::string &AValue);
    bool ConnectionDefFileAutoLoad();
    void SetConnectionDefFileAutoLoad(bool AValue);
    TZqDefinitionsEvent BeforeLoadConnectionDefFile();
    void SetBeforeLoadConnectionDefFile(TZqDefinitionsEvent AValue);
    TZqDefinitionsEvent AfterLoadConnectionDefFile();
    void SetAfterLoadConnectionDefFile(TZqDefinitionsEvent AValue);

    TZqFetchOptions *FetchOptions() const noexcept { return FFetchOptions.get(); }
    TZqFormatOptions *FormatOptions() const noexcept { return FFormatOptions.get(); }
    TZqUpdateOptions *UpdateOptions() const noexcept { return FUpdateOptions.get(); }
    TZqTopResourceOptions *ResourceOptions() const noexcept { return FResourceOptions.get(); }
    void SetFetchOptions(const TZqFetchOptions *AValue) { FFetchOptions->Assign(AValue); }
    void SetFormatOptions(const TZqFormatOptions *AValue) { FFormatOptions->Assign(AValue); }
    void SetUpdateOptions(const TZqUpdateOptions *AValue) { FUpdateOptions->Assign(AValue); }
    void SetResourceOptions(const TZqTopResourceOptions *AValue) { FResourceOptions->Assign(AValue); }

    // The connection registry.
    void AddConnection(TZqCustomConnection *AConnection);
    void RemoveConnection(TZqCustomConnection *AConnection);
    int ConnectionCount();
    TZqCustomConnection *Connections(int AIndex);
    TZqCustomConnection *FindConnection(const std::string &AName);
    // Opens the connection (made on demand by name) and counts one use.
    TZqCustomConnection *AcquireConnection(TZqCustomConnection *AConnection, const std::string &AName);
    // Takes one use back; the variable becomes nil when a temporary
    // connection was freed.
    void ReleaseConnection(TZqCustomConnection *&AConnection);
    void CheckActive();
    void CheckInactive();

    // IZqStanObject
    std::string GetName() override;
    TZqIntfPtr<IZqStanObject> GetParent() override { return {}; }
    void PoolAcquired() override {}
    void PoolReleased() override {}
    void SetOwner(rtl::TObject *, const std::string &) override {}
    // IZqStanOptions: the top of the chain.
    TZqFetchOptions *GetFetchOptions() override { return FFetchOptions.get(); }
    TZqFormatOptions *GetFormatOptions() override { return FFormatOptions.get(); }
    TZqUpdateOptions *GetUpdateOptions() override { return FUpdateOptions.get(); }
    TZqResourceOptions *GetResourceOptions() override { return FResourceOptions.get(); }
    bool GetParentOptions(IZqStanOptions *&AParent) override { AParent = nullptr; return false; }

    rtl::TNotifyEvent OnStartup, OnShutdown;

protected:
    void Notification(rtl::TComponent *AComponent, rtl::TOperation AOperation) override;

private:
    friend TZqCustomManager *ZqManager();
    // The driver manager; error 709 when none is linked.
    TZqIntfPtr<IZqPhysManager> PhysManager(bool ACheck);

    bool FAutoCreated = false;
    bool FStreamedActive = false;
    std::vector<TZqCustomConnection *> FConnections; // not owned: each leaves on destruction
    bool FKeepConnections = true;
    TZqReadWriteLock FLock;
    std::unique_ptr<TZqFetchOptions> FFetchOptions;
    std::unique_ptr<TZqFormatOptions> FFormatOptions;
    std::unique_ptr<TZqUpdateOptions> FUpdateOptions;
    std::unique_ptr<TZqTopResourceOptions> FResourceOptions;
    TZqActiveAtRunTime FActiveAtRunTime = arStandard;
};

class TZqManager : public TZqCustomManager {
public:
    using TZqCustomManager::TZqCustomManager;
    std::string ClassName() const override { return "TZqManager"; }
};

// The current manager component; one without owner is made (and marked as
// made automatically) when there is none.
TZqCustomManager *ZqManager();
// The current manager, nil when there is none (makes nothing).
TZqCustomManager *ZqCurrentManager();

// ---- the connection component ---------------------------------------------------------------------

class TZqCustomConnection : public TCustomConnection,
                            public virtual IZqStanObject,
                            public virtual IZqStanErrorHandler,
                            public IZqStanOptions {
public:
    explicit TZqCustomConnection(rtl::TComponent *AOwner = nullptr);
    ~TZqCustomConnection() override;
    std::string ClassName() const override { return "TZqCustomConnection"; }
    int32_t _AddRef() override { return -1; }
    int32_t _Release() override { return -1; }

    void Loaded() override;
    bool GetConnected() override;
    void SetConnected(bool AValue) override;

    // ---- definition ----
    // The definition's own parameter lines, for editing in place; the lines
    // take effect at the next connect.
    rtl::TStrings &Params();
    void SetParams(const rtl::TStrings &AValue);
    std::string ConnectionDefName();
    void SetConnectionDefName(const std::string &AValue);
    std::string DriverName();
    void SetDriverName(const std::string &AValue);
    const std::string &ConnectionName() const noexcept { return FConnectionName; }
    void SetConnectionName(const std::string &AValue);
    TZqIntfPtr<IZqStanConnectionDef> ConnectionDef() const { return FDef; }

    // ---- settings ----
    bool KeepConnection() const noexcept { return FKeepConnection; }
    void SetKeepConnection(bool AValue);
    bool Temporary() const noexcept { return FTemporary; }
    int RefCount() const noexcept { return FRefCount; }
    TZqActiveAtRunTime ConnectedAtRunTime() const noexcept { return FConnectedAtRunTime; }
    void SetConnectedAtRunTime(TZqActiveAtRunTime AValue) noexcept { FConnectedAtRunTime = AValue; }
    TZqIntfPtr<IZqGUIxLoginDialog> LoginDialog() const { return FLoginDialog; }
    void SetLoginDialog(const TZqIntfPtr<IZqGUIxLoginDialog> &AValue);

    TZqFetchOptions *FetchOptions() const noexcept { return FFetchOptions.get(); }
    TZqFormatOptions *FormatOptions() const noexcept { return FFormatOptions.get(); }
    TZqUpdateOptions *UpdateOptions() const noexcept { return FUpdateOptions.get(); }
    TZqTopResourceOptions *ResourceOptions() const noexcept { return FResourceOptions.get(); }
    TZqTxOptions *TxOptions() const noexcept { return FTxOptions.get(); }
    void SetFetchOptions(const TZqFetchOptions *AValue) { FFetchOptions->Assign(AValue); }
    void SetFormatOptions(const TZqFormatOptions *AValue) { FFormatOptions->Assign(AValue); }
    void SetUpdateOptions(const TZqUpdateOptions *AValue) { FUpdateOptions->Assign(AValue); }
    void SetResourceOptions(const TZqTopResourceOptions *AValue) { FResourceOptions->Assign(AValue); }
    void SetTxOptions(const TZqTxOptions &AValue) { FTxOptions->Assign(AValue); }

    // ---- the driver connection ----
    // Nil while disconnected.
    IZqPhysConnection *ConnectionIntf() const { return FPhysConnection.Get(); }
    // The dialect; with AOpen the connection is acquired (opened and
    // counted) first. Nil when there is no driver connection.
    void GetConnectionMetadata(bool AOpen, TZqIntfPtr<IZqPhysConnectionMetadata> &AMeta);
    TZqRDBMSKind GetRDBMSKind();
    bool RDBMSKindKnown();
    std::string EncodeObjectName(const std::string &ACatalog, const std::string &ASchema,
                                 const std::string &ABaseObject, const std::string &AObject);
    void DecodeObjectName(const std::string &AName, std::string &ACatalog, std::string &ASchema,
                          std::string &ABaseObject, std::string &AObject);

    // ---- transactions ----
    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction();

    // ---- clients ----
    // Commands and datasets attach when they prepare and detach when they
    // unprepare; disconnecting closes them.
    void AttachClient(rtl::TObject *AClient);
    void DetachClient(rtl::TObject *AClient);
    // The same for a command, which attaches on every prepare.
    void AttachClient(TZqCustomCommand *ACommand);
    void DetachClient(TZqCustomCommand *ACommand);
    int CommandCount() const { return int(FCommands.size()); }
    TZqCustomCommand *Commands(int AIndex) const { return FCommands.at(size_t(AIndex)); }
    void CheckActive();
    void CheckInactive();

    // The first connection among the components of the nearest owner (up
    // the owner chain) that holds one.
    static TZqCustomConnection *FindDefaultConnection(rtl::TComponent *AComponent);

    // IZqStanObject
    std::string GetName() override;
    TZqIntfPtr<IZqStanObject> GetParent() override;
    void PoolAcquired() override {}
    void PoolReleased() override {}
    void SetOwner(rtl::TObject *, const std::string &) override {}
    // IZqStanErrorHandler
    void HandleException(const TZqIntfPtr<IZqStanObject> &AInitiator,
                         std::unique_ptr<rtl::Exception> &AException) override;
    // IZqStanOptions: the parent is the manager component.
    TZqFetchOptions *GetFetchOptions() override { return FFetchOptions.get(); }
    TZqFormatOptions *GetFormatOptions() override { return FFormatOptions.get(); }
    TZqUpdateOptions *GetUpdateOptions() override { return FUpdateOptions.get(); }
    TZqResourceOptions *GetResourceOptions() override { return FResourceOptions.get(); }
    bool GetParentOptions(IZqStanOptions *&AParent) override;

    TZqConnectionLoginEvent OnLogin;
    TZqErrorEvent OnError;

protected:
    friend class TZqCustomManager;
    friend class TZqCustomCommand;
    void Notification(rtl::TComponent *AComponent, rtl::TOperation AOperation) override;
    void DoConnect() override;
    void DoDisconnect() override;
    virtual void DoLogin(const TZqIntfPtr<IZqStanConnectionDef> &ADef);
    void DoInternalLogin();

private:
    void ResolveConnectionDef();
    void CheckPhysManager(bool AOpen);
    void CloseClients();
    void AttachUse(rtl::TObject *AClient, TDataSet *ADataSet);
    void DetachUse(rtl::TObject *AClient);
    void ReleasePhysConnection();
    void DefinitionChanging();
    [[noreturn]] void RaiseLoginCanceled();

    TZqIntfPtr<IZqPhysConnection> FPhysConnection;
    std::string FConnectionName;
    TZqIntfPtr<IZqStanConnectionDef> FDef;
    int FRefCount = 0;
    bool FKeepConnection = true;
    bool FTemporary = false;
    bool FDisconnecting = false;
    std::unique_ptr<TZqFetchOptions> FFetchOptions;
    std::unique_ptr<TZqFormatOptions> FFormatOptions;
    std::unique_ptr<TZqUpdateOptions> FUpdateOptions;
    std::unique_ptr<TZqTopResourceOptions> FResourceOptions;
    std::unique_ptr<TZqTxOptions> FTxOptions;
    std::vector<TZqCustomCommand *> FCommands; // not owned: each detaches itself
    // Unprepared commands that keep their driver command for the next
    // prepare; they let go of it before the driver connection is released.
    std::vector<TZqCustomCommand *> FSpareHolders; // not owned
    TZqActiveAtRunTime FConnectedAtRunTime = arStandard;
    TZqIntfPtr<IZqGUIxLoginDialog> FLoginDialog;
};

class TZqConnection : public TZqCustomConnection {
public:
    using TZqCustomConnection::TZqCustomConnection;
    std::string ClassName() const override { return "TZqConnection"; }
};

// ---- the command component ----------------------------------------------------------------------

class TZqCustomCommand : public TZqComponent,
                         public virtual IZqStanObject,
                         public virtual IZqStanErrorHandler,
                         public virtual IZqStanAsyncHandler,
                         public IZqStanOptions {
public:
    explicit TZqCustomCommand(rtl::TComponent *AOwner = nullptr);
    ~TZqCustomCommand() override;
    std::string ClassName() const override { return "TZqCustomCommand"; }
    int32_t _AddRef() override { return -1; }
    int32_t _Release() override { return -1; }

    virtual void Loaded();

    // ---- connection ----
    TZqCustomConnection *Connection() const noexcept { return FConnection; }
    void SetConnection(TZqCustomConnection *AValue);
    const std::string &ConnectionName() const noexcept { return FConnectionName; }
    void SetConnectionName(const std::string &AValue);
    // Connection, else the manager's connection of ConnectionName; with
    // ACheck error 508 when there is neither.
    TZqCustomConnection *GetConnection(bool ACheck);

    // ---- statement ----
    // The SQL text; changing it unprepares the command and re-reads the
    // parameter and macro names.
    TZqStringList &CommandText() noexcept { return FCommandText; }
    void SetCommandText(const rtl::TStrings &AValue);
    TZqPhysCommandKind CommandKind();
    void SetCommandKind(TZqPhysCommandKind AValue);
    bool CommandKindExplicit() const noexcept { return FKindExplicit; }
    const std::string &BaseObjectName() const noexcept { return FBaseObjectName; }
    void SetBaseObjectName(const std::string &AValue);
    const std::string &SchemaName() const noexcept { return FSchemaName; }
    void SetSchemaName(const std::string &AValue);
    const std::string &CatalogName() const noexcept { return FCatalogName; }
    void SetCatalogName(const std::string &AValue);
    uint16_t Overload() const noexcept { return FOverload; }
    void SetOverload(uint16_t AValue);
    // The command's parameters: its own list while unprepared, the driver
    // command's list while prepared (at run time).
    TZqParams &Params() noexcept { return *FParams; }
    void SetParams(const TZqParams &AValue);
    TZqMacros &Macros() noexcept { return FMacros; }
    void SetMacros(const TZqMacros &AValue);
    int RowsAffected() const noexcept { return FRowsAffected; }
    // The table adapter component reports here how many rows a fetch
    // brought, which is what the dataset reads after fetching.
    void SetRowsAffected(int AValue) noexcept { FRowsAffected = AValue; }

    TZqFetchOptions *FetchOptions() const noexcept { return FFetchOptions.get(); }
    TZqFormatOptions *FormatOptions() const noexcept { return FFormatOptions.get(); }
    TZqTableUpdateOptions *UpdateOptions() const noexcept { return FUpdateOptions.get(); }
    TZqResourceOptions *ResourceOptions() const noexcept { return FResourceOptions.get(); }
    void SetFetchOptions(const TZqFetchOptions *AValue);
    void SetFormatOptions(const TZqFormatOptions *AValue);
    void SetUpdateOptions(const TZqUpdateOptions *AValue);
    void SetResourceOptions(const TZqResourceOptions *AValue);
    TZqActiveAtRunTime ActiveAtRunTime() const noexcept { return FActiveAtRunTime; }
    void SetActiveAtRunTime(TZqActiveAtRunTime AValue) noexcept { FActiveAtRunTime = AValue; }

    // ---- state ----
    bool Prepared() const;
    void SetPrepared(bool AValue);
    bool Active() const;
    void SetActive(bool AValue);
    void Prepare() { SetPrepared(true); }
    void Unprepare() { SetPrepared(false); }
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    void CloseAll();
    // Runs the statement ATimes rows of the parameter arrays from AOffset
    // (0, 0: once), preparing first when needed.
    void Execute(int ATimes = 0, int AOffset = 0);
    void AbortJob(bool AWait = false);
    void Disconnect(bool AAbortJob = false);
    void CheckPrepared();
    void CheckInactive();
    void CheckUnprepared();
    // The driver command; nil while unprepared.
    IZqPhysCommand *CommandIntf() const { return FPhysCommand.Get(); }
    TZqPhysCommandState CommandState() const;

    // ---- links to the dataset and adapter components ----
    // The adapted dataset that owns this command (nil for a plain command).
    TZqDataSet *OwningDataSet() const noexcept { return FOwningDataSet; }
    void SetOwningDataSet(TZqDataSet *AValue) noexcept { FOwningDataSet = AValue; }
    TZqCommandUser *CommandUser() const noexcept { return FCommandUser; }
    void SetCommandUser(TZqCommandUser *AValue) noexcept { FCommandUser = AValue; }
    // Set only around a prepare by the table adapter component: every
    // setting is handed over but the driver command is not prepared.
    bool NoDriverPrepare() const noexcept { return FNoDriverPrepare; }
    void SetNoDriverPrepare(bool AValue) noexcept { FNoDriverPrepare = AValue; }

    // IZqStanObject
    std::string GetName() override;
    TZqIntfPtr<IZqStanObject> GetParent() override;
    void PoolAcquired() override {}
    void PoolReleased() override {}
    void SetOwner(rtl::TObject *, const std::string &) override {}
    // IZqStanErrorHandler
    void HandleException(const TZqIntfPtr<IZqStanObject> &AInitiator,
                         std::unique_ptr<rtl::Exception> &AException) override;
    // IZqStanAsyncHandler
    void HandleFinished(IInterface *AInitiator, uint8_t AState, const rtl::Exception *AException) override;
    // IZqStanOptions: the parent is the connection's.
    TZqFetchOptions *GetFetchOptions() override { return FFetchOptions.get(); }
    TZqFormatOptions *GetFormatOptions() override { return FFormatOptions.get(); }
    TZqUpdateOptions *GetUpdateOptions() override { return FUpdateOptions.get(); }
    TZqResourceOptions *GetResourceOptions() override { return FResourceOptions.get(); }
    bool GetParentOptions(IZqStanOptions *&AParent) override;

    rtl::TNotifyEvent BeforeUnprepare, BeforePrepare, AfterUnprepare, AfterPrepare, BeforeClose, BeforeOpen,
        AfterClose, AfterOpen, BeforeExecute, AfterExecute;
    TZqErrorEvent OnError;
    rtl::TNotifyEvent OnCommandChanged;

protected:
    void Notification(rtl::TComponent *AComponent, rtl::TOperation AOperation) override;
    virtual void CreatePhysCommand();
    virtual void InternalPrepare();
    virtual void InternalUnprepare();
    virtual void DoOpen();
    virtual void OpenFinished(uint8_t AState, const rtl::Exception *AException);
    virtual void DoClose(bool AAll);
    virtual void DoExecute(int ATimes, int AOffset);
    virtual void ExecuteFinished(uint8_t AState, const rtl::Exception *AException);
    virtual void DoBeforePrepare() { Fire(BeforePrepare); }
    virtual void DoBeforeUnprepare() { Fire(BeforeUnprepare); }
    virtual void DoAfterPrepare() { Fire(AfterPrepare); }
    virtual void DoAfterUnprepare() { Fire(AfterUnprepare); }
    virtual void DoBeforeOpen() { Fire(BeforeOpen); }
    virtual void DoBeforeClose() { Fire(BeforeClose); }
    virtual void DoAfterOpen() { Fire(AfterOpen); }
    virtual void DoAfterClose() { Fire(AfterClose); }
    virtual void DoAfterExecute() { Fire(AfterExecute); }
    virtual void DoBeforeExecute() { Fire(BeforeExecute); }

private:
    using TCompletion = void (TZqCustomCommand::*)(uint8_t, const rtl::Exception *);
    void Fire(const rtl::TNotifyEvent &AEvent) { if (AEvent) AEvent(this); }
    void CommandTextChanged();
    void MacrosChanged();
    void PreprocessCommandText(TZqParams *AParams, TZqMacros *AMacros, bool ACreateParams, bool ACreateMacros,
                               bool AExpandMacros);
    void PropertyChanged();
    void SetObjectNamePart(std::string &APart, const std::string &AValue);
    bool Loading() const { return HasState(rtl::csLoading); }
    bool Designing() const { return HasState(rtl::csDesigning); }
    // Replaces the shared driver list by a private copy of its values.
    void TakePrivateParams();
    // The last step of an unprepare, also after a failure: the connection's
    // use given back, the driver command released, the adapter told.
    void ReleaseAfterUnprepare(bool AKeepDriverCommand = false);
    // Gives the connection's use back to the manager that counted it.
    void ReleaseConnectionUse();
    rtl::TComponent *ParamsOwner();
    // Lets go of the driver command kept from the last prepare.
    void DropSpareCommand();
    friend class TZqCustomConnection;

    TZqIntfPtr<IZqPhysCommand> FPhysCommand;
    // The driver command of the last prepare, unprepared, kept while the
    // connection stays open: a command whose text changes at every execute
    // (one statement per level of a write-back) prepares it again instead
    // of making a new one, with its driver statement.
    TZqIntfPtr<IZqPhysCommand> FSpareCommand;
    TZqCustomConnection *FSpareConnection = nullptr; // the connection FSpareCommand is registered with
    TZqStringList FCommandText;
    std::string FConnectionName;
    TZqCustomConnection *FConnection = nullptr; // set directly (free notification) or acquired while prepared
    std::unique_ptr<TZqFetchOptions> FFetchOptions;
    std::unique_ptr<TZqFormatOptions> FFormatOptions;
    std::unique_ptr<TZqTableUpdateOptions> FUpdateOptions;
    std::unique_ptr<TZqResourceOptions> FResourceOptions;
    std::unique_ptr<TZqParams> FOwnParams; // in use while FParams points at it
    TZqParams *FParams = nullptr;          // FOwnParams, or the driver command's list
    TZqMacros FMacros;
    bool FStreamedActive = false;
    bool FStreamedPrepared = false;
    uint8_t FFlags = 0; // 1: macro values are being changed; 2: a text change is being processed
    TZqDataSet *FOwningDataSet = nullptr;
    int FRowsAffected = -1;
    uint16_t FOverload = 0;
    bool FKindExplicit = false;
    TZqPhysCommandKind FCommandKind = skUnknown;
    std::string FBaseObjectName;
    std::string FSchemaName;
    std::string FCatalogName;
    uint8_t FConnectionRef = 0; // 0 none, 1 by ConnectionName, 2 by the Connection object
    TZqActiveAtRunTime FActiveAtRunTime = arStandard;
    bool FNoDriverPrepare = false;
    TCompletion FPendingCompletion = nullptr;
    TZqCommandUser *FCommandUser = nullptr;
};

class TZqCommand : public TZqCustomCommand {
public:
    using TZqCustomCommand::TZqCustomCommand;
    std::string ClassName() const override { return "TZqCommand"; }
};
