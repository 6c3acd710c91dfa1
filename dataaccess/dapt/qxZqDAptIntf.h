// qxZqDAptIntf: the adapters' interfaces. A table adapter ties one in-memory
// table to the driver commands that read and write it; a schema adapter
// groups table adapters around one DatS manager and one updates journal.
// The client components reach both only through these interfaces, made by
// ZqCreateInterface (see RegisterDAptManager in qxZqDAptManager.h).
#pragma once

#include <cstdint>
#include <string>

#include "dataaccess/dats/qxZqDAptColumn.h"
#include "dataaccess/phys/qxZqPhysCmdGenerator.h"
#include "dataaccess/phys/qxZqPhysIntf.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanIntf.h"
#include "dataaccess/stan/qxZqStanOption.h"

namespace dats {
class TZqDatSRow;
class TZqDatSManager;
} // namespace dats

// What the application answers for a row that failed to post: leave it
// (skip), stop reconciling (abort), take the client values as the row's
// unchanged values (merge), keep the change for the next apply (correct),
// throw the change away (cancel), re-read the row (refresh).
enum TZqDAptReconcileAction : uint8_t { raSkip, raAbort, raMerge, raCorrect, raCancel, raRefresh };

constexpr TZqPhysUpdateRowOptions ZqUpdOpt(TZqPhysUpdateRowOption AOption)
{
    return TZqPhysUpdateRowOptions(1u << AOption);
}

// The client components' say in what happens to a row: while failed rows are
// reconciled, and while a row is posted (any answer other than eaDefault
// means the handler carried the request out itself).
class IZqDAptUpdateHandler : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqDAptUpdateHandler;
    virtual void ReconcileRowHandler(dats::TZqDatSRow *ARow, TZqDAptReconcileAction &AAction) = 0;
    virtual void UpdateRowHandler(dats::TZqDatSRow *ARow, TZqPhysRequest ARequest, TZqErrorAction &AAction,
                                  TZqPhysUpdateRowOptions AOptions) = 0;
};

// Handed to an error handler when posting a row fails; the handler answers
// through Action (eaFail and eaDefault pass the failure on, eaRetry tries
// again, eaSkip and eaApplied go on as if the row was posted). It carries
// the failure's code and message so that a handler may show it.
class EZqDAptRowUpdateException : public EZqException {
public:
    EZqDAptRowUpdateException(TZqPhysRequest ARequest, dats::TZqDatSRow *ARow, TZqErrorAction AAction,
                              EZqException *AException)
        : EZqException(AException ? AException->ErrorCode() : 0, AException ? AException->Message() : std::string()),
          Action(AAction), Request(ARequest), Row(ARow), Exception(AException) {}
    [[noreturn]] void Raise() const override { throw *this; }

    TZqErrorAction Action;
    TZqPhysRequest Request;
    dats::TZqDatSRow *Row;
    EZqException *Exception; // the failure itself, not owned
};

class IZqDAptTableAdapters;

class IZqDAptTableAdapter : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqDAptTableAdapter;
    virtual int32_t GetSourceRecordSetID() const = 0;
    virtual void SetSourceRecordSetID(int32_t AValue) = 0;
    virtual std::string GetSourceRecordSetName() = 0;
    virtual void SetSourceRecordSetName(const std::string &AValue) = 0;
    virtual std::string GetUpdateTableName() = 0;
    virtual void SetUpdateTableName(const std::string &AValue) = 0;
    virtual std::string GetDatSTableName() = 0;
    virtual void SetDatSTableName(const std::string &AValue) = 0;
    virtual dats::TZqDatSTable *GetDatSTable() = 0;
    virtual void SetDatSTable(dats::TZqDatSTable *AValue) = 0;
    virtual TZqDAptColumnMappings *GetColumnMappings() = 0;
    virtual TZqPhysMetaInfoMergeMode GetMetaInfoMergeMode() const = 0;
    virtual void SetMetaInfoMergeMode(TZqPhysMetaInfoMergeMode AValue) = 0;
    virtual TZqIntfPtr<IZqDAptTableAdapters> GetTableAdapters() = 0;
    virtual dats::TZqDatSManager *GetDatSManager() = 0;
    virtual void SetDatSManager(dats::TZqDatSManager *AValue) = 0;
    virtual TZqIntfPtr<IZqPhysCommand> GetSelectCommand() const = 0;
    virtual void SetSelectCommand(const TZqIntfPtr<IZqPhysCommand> &ACommand) = 0;
    virtual TZqIntfPtr<IZqPhysCommand> GetInsertCommand() const = 0;
    virtual void SetInsertCommand(const TZqIntfPtr<IZqPhysCommand> &ACommand) = 0;
    virtual TZqIntfPtr<IZqPhysCommand> GetUpdateCommand() const = 0;
    virtual void SetUpdateCommand(const TZqIntfPtr<IZqPhysCommand> &ACommand) = 0;
    virtual TZqIntfPtr<IZqPhysCommand> GetDeleteCommand() const = 0;
    virtual void SetDeleteCommand(const TZqIntfPtr<IZqPhysCommand> &ACommand) = 0;
    virtual TZqIntfPtr<IZqPhysCommand> GetLockCommand() const = 0;
    virtual void SetLockCommand(const TZqIntfPtr<IZqPhysCommand> &ACommand) = 0;
    virtual TZqIntfPtr<IZqPhysCommand> GetUnLockCommand() const = 0;
    virtual void SetUnLockCommand(const TZqIntfPtr<IZqPhysCommand> &ACommand) = 0;
    virtual TZqIntfPtr<IZqPhysCommand> GetFetchRowCommand() const = 0;
    virtual void SetFetchRowCommand(const TZqIntfPtr<IZqPhysCommand> &ACommand) = 0;
    // The select command's option holder; nil without one.
    virtual IZqStanOptions *GetOptions() = 0;
    // The own handler, else the schema adapter's, else nil.
    virtual TZqIntfPtr<IZqStanErrorHandler> GetErrorHandler() = 0;
    virtual void SetErrorHandler(const TZqIntfPtr<IZqStanErrorHandler> &AValue) = 0;
    virtual TZqIntfPtr<IZqDAptUpdateHandler> GetUpdateHandler() = 0;
    virtual void SetUpdateHandler(const TZqIntfPtr<IZqDAptUpdateHandler> &AValue) = 0;
    virtual TZqIntfPtr<IZqPhysDescribeHandler> GetDescribeHandler() const = 0;
    virtual void SetDescribeHandler(const TZqIntfPtr<IZqPhysDescribeHandler> &AValue) = 0;

    virtual dats::TZqDatSTable *Define() = 0;
    virtual void Fetch(bool AAll = true) = 0;
    // Posts the table's journalled changes; answers the number of rows that
    // failed. AMaxErrors -1: no limit; N: stop once more than N failed.
    virtual int ApplyUpdates(int AMaxErrors = -1) = 0;
    // Settles the rows that carry an error; True when no change is left.
    virtual bool Reconcile() = 0;
    virtual void Reset() = 0;
    // AColumn -1: the whole row.
    virtual void FetchRow(dats::TZqDatSRow *ARow, TZqErrorAction &AAction, TZqFetchItems AItems,
                          int AColumn = -1) = 0;
    virtual void UpdateRow(dats::TZqDatSRow *ARow, TZqErrorAction &AAction, TZqPhysRequest ARequest,
                           TZqPhysUpdateRowOptions AOptions) = 0;
    virtual void Lock(dats::TZqDatSRow *ARow, TZqErrorAction &AAction, TZqPhysUpdateRowOptions AOptions) = 0;
    virtual void UnLock(dats::TZqDatSRow *ARow, TZqErrorAction &AAction, TZqPhysUpdateRowOptions AOptions) = 0;
};

// The table adapters of one schema adapter, which owns them. Keys are those
// of the mapping handler: 0 any, 1 source position, 2 source name, 3 DatS
// table name (both compared without regard to case), 4 the DatS table.
class IZqDAptTableAdapters : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqDAptTableAdapters;
    virtual TZqIntfPtr<IZqDAptTableAdapter> GetItems(int AIndex) = 0;
    virtual int GetCount() = 0;
    virtual TZqIntfPtr<IZqDAptTableAdapter> Lookup(const TZqMappingKey &AKey, TZqMappingKeyKind AKind) = 0;
    virtual TZqIntfPtr<IZqDAptTableAdapter> Add(const std::string &ASourceRecordSetName = std::string(),
                                                const std::string &ADatSTableName = std::string(),
                                                const std::string &AUpdateTableName = std::string()) = 0;
    virtual void AddAdapter(const TZqIntfPtr<IZqDAptTableAdapter> &AAdapter) = 0;
    virtual void Remove(const TZqMappingKey &AKey, TZqMappingKeyKind AKind) = 0;
    virtual void RemoveAdapter(const TZqIntfPtr<IZqDAptTableAdapter> &AAdapter) = 0;
};

class IZqDAptSchemaAdapter : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqDAptSchemaAdapter;
    virtual TZqIntfPtr<IZqStanErrorHandler> GetErrorHandler() = 0;
    virtual void SetErrorHandler(const TZqIntfPtr<IZqStanErrorHandler> &AValue) = 0;
    // Made on demand, with one journal for all its tables.
    virtual dats::TZqDatSManager *GetDatSManager() = 0;
    virtual void SetDatSManager(dats::TZqDatSManager *AValue) = 0;
    virtual TZqIntfPtr<IZqDAptTableAdapters> GetTableAdapters() = 0;
    virtual TZqIntfPtr<IZqDAptUpdateHandler> GetUpdateHandler() = 0;
    virtual void SetUpdateHandler(const TZqIntfPtr<IZqDAptUpdateHandler> &AValue) = 0;
    virtual int ApplyUpdates(int AMaxErrors = -1) = 0;
    virtual bool Reconcile() = 0;
};
