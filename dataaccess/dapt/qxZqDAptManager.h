// qxZqDAptManager: the table adapter. It ties one in-memory table to the
// driver commands that read and write it: it defines the table from the
// select command's result description, fetches rows into it, and posts
// single rows (insert, update, delete, lock, unlock, re-fetch), with a
// statement of the user's or one the connection's generator writes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <map>
#include <string>

#include "dataaccess/dats/qxZqDAptColumn.h"
#include "dataaccess/phys/qxZqPhysCmdGenerator.h"
#include "dataaccess/phys/qxZqPhysIntf.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanOption.h"

namespace dats {
class TZqDatSRow;
class TZqDatSManager;
} // namespace dats

// The client components' say while a row is posted: the second operation
// may carry the request out itself (any action other than eaDefault).
class IZqDAptUpdateHandler : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqDAptUpdateHandler;
    virtual void UpdateRowHandler(dats::TZqDatSRow *ARow, TZqPhysRequest ARequest, TZqErrorAction &AAction,
                                  TZqPhysUpdateRowOptions AOptions) = 0;
};

// Handed to the adapter's error handler when posting a row fails; the
// handler answers through Action (eaFail passes the failure on, eaRetry
// tries again, eaSkip and eaApplied go on as if the row was posted).
class EZqDAptRowUpdateException : public EZqException {
public:
    EZqDAptRowUpdateException(TZqPhysRequest ARequest, dats::TZqDatSRow *ARow, TZqErrorAction AAction,
                              EZqException *AException)
        : EZqException(AException ? AException->ErrorCode() : 0, AException ? AException->Message() : std::string()),
          Request(ARequest), Row(ARow), Action(AAction), Exception(AException) {}
    [[noreturn]] void Raise() const override { throw *this; }

    TZqPhysRequest Request;
    dats::TZqDatSRow *Row;
    TZqErrorAction Action;
    EZqException *Exception; // the failure itself, not owned
};

constexpr TZqPhysUpdateRowOptions ZqUpdOpt(TZqPhysUpdateRowOption AOption)
{
    return TZqPhysUpdateRowOptions(1u << AOption);
}

class TZqDAptTableAdapter : public TZqObject, public virtual IZqPhysMappingHandler {
public:
    TZqDAptTableAdapter();
    ~TZqDAptTableAdapter() override;
    std::string ClassName() const override { return "TZqDAptTableAdapter"; }

    int32_t GetSourceRecordSetID() const { return FSourceRecordSetID; }
    // A position of 0 or more clears the source name.
    void SetSourceRecordSetID(int32_t AValue);
    // The stored name, else the select command's.
    std::string GetSourceRecordSetName();
    // A non-empty name clears the source position.
    void SetSourceRecordSetName(const std::string &AValue);
    std::string GetUpdateTableName();
    void SetUpdateTableName(const std::string &AValue) { FUpdateTableName = AValue; }
    std::string GetDatSTableName();
    void SetDatSTableName(const std::string &AValue);
    dats::TZqDatSTable *GetDatSTable() const { return FDatSTable; }
    // Binds the table (one reference) and clears DatSTableName.
    void SetDatSTable(dats::TZqDatSTable *AValue);
    TZqDAptColumnMappings *GetColumnMappings();
    TZqPhysMetaInfoMergeMode GetMetaInfoMergeMode() const { return FMergeMode; }
    void SetMetaInfoMergeMode(TZqPhysMetaInfoMergeMode AValue) { FMergeMode = AValue; }
    dats::TZqDatSManager *GetDatSManager() const { return FDatSManager; }
    void SetDatSManager(dats::TZqDatSManager *AValue);

    // The command kept for a request (arSelect .. arDeleteAll).
    TZqIntfPtr<IZqPhysCommand> GetCommand(TZqPhysRequest ARequest) const;
    void SetCommand(TZqPhysRequest ARequest, const TZqIntfPtr<IZqPhysCommand> &ACommand);
    TZqIntfPtr<IZqPhysCommand> GetSelectCommand() const { return GetCommand(arSelect); }
    void SetSelectCommand(const TZqIntfPtr<IZqPhysCommand> &ACommand);
    // Whether the command kept for the request was generated here.
    bool IsGenerated(TZqPhysRequest ARequest) const { return (FGenerated >> ARequest) & 1u; }
    // The select command's option holder; nil without one.
    IZqStanOptions *GetOptions();

    TZqIntfPtr<IZqStanErrorHandler> GetErrorHandler() const { return FErrorHandler; }
    void SetErrorHandler(const TZqIntfPtr<IZqStanErrorHandler> &AValue);
    TZqIntfPtr<IZqDAptUpdateHandler> GetUpdateHandler() const { return FUpdateHandler; }
    void SetUpdateHandler(const TZqIntfPtr<IZqDAptUpdateHandler> &AValue) { FUpdateHandler = AValue; }
    TZqIntfPtr<IZqPhysDescribeHandler> GetDescribeHandler() const { return FDescribeHandler; }
    void SetDescribeHandler(const TZqIntfPtr<IZqPhysDescribeHandler> &AValue);

    dats::TZqDatSTable *Define();
    void Fetch(bool AAll = true);
    void Reset();
    void UpdateRow(dats::TZqDatSRow *ARow, TZqErrorAction &AAction, TZqPhysRequest ARequest,
                   TZqPhysUpdateRowOptions AOptions);
    void Lock(dats::TZqDatSRow *ARow, TZqErrorAction &AAction, TZqPhysUpdateRowOptions AOptions);
    void UnLock(dats::TZqDatSRow *ARow, TZqErrorAction &AAction, TZqPhysUpdateRowOptions AOptions);
    // AColumn -1: the whole row.
    void FetchRow(dats::TZqDatSRow *ARow, TZqErrorAction &AAction, TZqFetchItems AItems, int AColumn = -1);

    // IZqPhysMappingHandler
    int MapTable(int ASourceID, const std::string &ASourceName, std::string &ADatSName,
                 TZqDatSTable *&ATable) override;
    int MapColumn(TZqDatSTable *ATable, int ASourceID, const std::string &ASourceName, std::string &ADatSName,
                  TZqDatSColumn *&AColumn) override;
    // Kind: 0 always, 1 source position, 2 source name, 3 DatS table name,
    // 4 the table itself.
    bool MatchesName(const TZqMappingKey &AKey, TZqMappingKeyKind AKind);
    // Kind 4: the bound table, or one with its source position or name, or
    // its DatS table name.
    bool MatchesTable(TZqDatSTable *ATable);

private:
    void CheckSelectCommand();
    void DropGenerated();
    TZqIntfPtr<IZqPhysMappingHandler> NewMappingHandler();
    void ProcessRequest(dats::TZqDatSRow *ARow, TZqErrorAction &AAction, int AColumn, TZqFetchItems AItems,
                        TZqPhysUpdateRowOptions AOptions, TZqPhysRequest ARequest);
    TZqIntfPtr<IZqPhysCommand> GenerateRowCommand(IZqPhysConnection *AConn, dats::TZqDatSRow *ARow, int AColumn,
                                                  TZqFetchItems AItems, TZqPhysUpdateRowOptions AOptions,
                                                  TZqPhysRequest ARequest, bool AKeep, bool &AHBlobs);
    void ExecuteRowCommand(IZqPhysCommand *ACommand, dats::TZqDatSRow *ARow, TZqFetchItems AItems,
                           TZqPhysUpdateRowOptions AOptions, TZqPhysRequest ARequest);
    void RaiseCount(TZqPhysRequest ARequest, int ACount);

    dats::TZqDatSTable *FDatSTable = nullptr;
    std::string FDatSTableName;
    int32_t FSourceRecordSetID = -1;
    std::string FSourceRecordSetName;
    std::string FUpdateTableName;
    std::unique_ptr<TZqDAptColumnMappings> FColumnMappings;
    TZqPhysMetaInfoMergeMode FMergeMode = mmReset;
    dats::TZqDatSManager *FDatSManager = nullptr;
    uint16_t FGenerated = 0;
    std::array<TZqIntfPtr<IZqPhysCommand>, 9> FCommands;
    TZqIntfPtr<IZqStanErrorHandler> FErrorHandler;
    TZqIntfPtr<IZqDAptUpdateHandler> FUpdateHandler;
    TZqIntfPtr<IZqPhysDescribeHandler> FDescribeHandler;
    bool FInUpdateHandler = false;
    // The transaction serial each locked row was locked under (-1: none).
    std::map<int32_t, int> FLockSerials;
};

// The values of a command's input parameters from a row: "NEW_x" and plain
// names read the current version of column x, "OLD_x" the original one.
void ZqSetParamsFromRow(TZqParams *AParams, dats::TZqDatSRow *ARow);
// Output parameters back into the row's current values.
void ZqSetRowFromParams(dats::TZqDatSRow *ARow, TZqParams *AParams);
// Values of ASource into the columns of ATarget of the same name.
void ZqMergeRowFromRow(dats::TZqDatSRow *ATarget, dats::TZqDatSRow *ASource, bool AClearFirst);
