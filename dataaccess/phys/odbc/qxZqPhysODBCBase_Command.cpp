// The ODBC command: SQL text and stored-procedure calls prepared on an ODBC
// statement, parameters bound (as arrays where the driver takes them),
// results described into in-memory columns and fetched rowset by rowset
// into rows, output parameters and further result sets.
#include <algorithm>
#include <cstring>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/phys/odbc/qxZqPhysODBCBase.h"
#include "dataaccess/stan/qxZqStanConvert.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include "dataaccess/stan/qxZqStanParam.h"
#include "dataaccess/stan/qxZqStanUtil.h"
#include "platform/rtl/FMTBcd.h"

namespace {

const char *const CUnit = "qxZqPhysODBCBase";
const std::vector<std::string> CPhys{"Phys"};
const std::vector<std::string> CPhysODBC{"Phys", "ODBC"};

bool IsStoredProcKind(TZqPhysCommandKind AKind)
{
    return AKind == skStoredProc || AKind == skStoredProcWithCrs || AKind == skStoredProcNoCrs;
}

// A kept statement handle cannot take the setup asked for.
struct TNewHandleNeeded {};

// The statement attributes a setup moves off the driver's defaults
// (TZqPhysODBCCommand::FSetupAttrs).
enum : uint8_t { saParamSet = 1, saRowArray = 2, saCursorType = 4, saConcurrency = 8, saSSCursor = 16, saNoScan = 32 };

// Commands that open a result set.
bool ReturnsRows(TZqPhysCommandKind AKind)
{
    return AKind == skSelect || AKind == skSelectForUpdate || AKind == skStoredProcWithCrs;
}

// Types whose values travel as (address, length) pairs.
bool IsVarLenType(TZqDataType T)
{
    switch (T) {
    case dtAnsiString: case dtWideString: case dtByteString: case dtBlob: case dtMemo: case dtWideMemo:
    case dtHBlob: case dtHMemo: case dtWideHMemo: case dtHBFile:
        return true;
    default:
        return false;
    }
}

bool IsWideType(TZqDataType T) { return T == dtWideString || T == dtWideMemo || T == dtWideHMemo; }

// Types a fetched value is stored from the page buffer without a copy.
bool IsByRefFetchType(TZqDataType T)
{
    return T == dtAnsiString || T == dtWideString || T == dtBlob || T == dtMemo || T == dtWideMemo;
}

// Reads a column attribute that some drivers do not describe: 0 then.
SQLLEN SafeAttr(TODBCStatementBase *S, SQLSMALLINT ACol, SQLUSMALLINT AField)
{
    SQLLEN V = 0;
    if (!SQL_SUCCEEDED(S->Lib()->SQLColAttribute(S->Handle(), SQLUSMALLINT(ACol), AField, nullptr, 0, nullptr, &V)))
        return 0;
    return V;
}

// Digits before and after the point of a decimal value.
void BcdDigits(const rtl::TBcd &ABcd, int &AInteger, int &AScale)
{
    const std::string S = ZqBcdToStr(ABcd, '.');
    int Int = 0, Frac = 0;
    bool Point = false;
    for (char C : S) {
        if (C == '.') Point = true;
        else if (C >= '0' && C <= '9') (Point ? Frac : Int)++;
    }
    AInteger = Int;
    AScale = Frac;
}

} // namespace

// ---- the connection creates it --------------------------------------------------------------

TZqPhysCommand *TZqPhysODBCConnectionBase::InternalCreateCommand() { return new TZqPhysODBCCommand(); }

// ---- construction ---------------------------------------------------------------------------

TZqPhysODBCCommand::TZqPhysODBCCommand() = default;

TZqPhysODBCCommand::~TZqPhysODBCCommand()
{
    // The base unprepares through the last release; a command destroyed
    // otherwise still leaves no statement behind.
    try {
        if (FStatement) InternalUnprepare();
    } catch (...) {
    }
    delete FSpareStatement;
}

TZqPhysODBCConnectionBase *TZqPhysODBCCommand::ODBCConn() const
{
    return static_cast<TZqPhysODBCConnectionBase *>(ConnectionObj());
}

TZqODBCTypeMapping TZqPhysODBCCommand::SQLTypeToDataType(SQLSMALLINT ASQLType, SQLLEN AColumnSize,
                                                         SQLSMALLINT ADecimalDigits, TZqFormatOptions *AFormat)
{
    return ZqODBCSQLTypeToDataType(ASQLType, AColumnSize, ADecimalDigits, AFormat->MaxBcdPrecision(),
                                   AFormat->MaxBcdScale());
}

void *TZqPhysODBCCommand::ConvertValue(TZqDataType AFrom, TZqDataType ATo, void *ASource, uint32_t ALength,
                                       uint32_t &AOutLength)
{
    uint32_t Need = 0;
    void *Target = nullptr;
    ZqConvertRawData(AFrom, ATo, nullptr, ALength, Target, 0, Need);
    uint32_t Size = 0;
    Target = ConversionBuffer()->CheckForTypes(std::max<uint32_t>(Need, 64), Size, AFrom, ATo);
    AOutLength = 0;
    ZqConvertRawData(AFrom, ATo, ASource, ALength, Target, Size, AOutLength);
    return Target;
}

// ---- shared steps ------------------------------------------------------------------------------

int TZqPhysODBCCommand::GetRowsetSize(int ARowsetSize) const
{
    return (FStatementFlags & sfRowArrays) && !(FStatementFlags & sfSSDefaultResultSet) ? ARowsetSize : 1;
}

int TZqPhysODBCCommand::GetParamArraySize(int AArraySize) const
{
    return (FStatementFlags & sfParamArrays) ? AArraySize : 1;
}

bool TZqPhysODBCCommand::ParamArraySizeFits(int AWanted, int ABound) const
{
    // A page of more sets than an execute sends serves it (the statement
    // cuts the driver's set size to the sets sent): a write-back's arrays,
    // one per station and each of its own length, are bound once, to a
    // page as long as the longest, instead of once per station.
    if (FStatementFlags & sfParamArrays) return AWanted <= ABound;
    return (AWanted == 0 || AWanted == 1) && (ABound == 0 || ABound == 1);
}

bool TZqPhysODBCCommand::IsAborting() { return GetState() == 5; }

bool TZqPhysODBCCommand::SkipEmptyResults()
{
    while (!FStatement->HasResultSet())
        if (!FStatement->MoreResults()) return false;
    return true;
}

bool TZqPhysODBCCommand::UseDirectExecute()
{
    if (GetResourceOptions()->DirectExecute()) return true;
    const TZqPhysCommandKind K = GetCommandKind();
    const uint8_t Kind = ODBCConn()->ODBCConnection()->RDBMSKind;
    const bool Proc = K == skStoredProc || K == skStoredProcNoCrs ||
                      (K == skStoredProcWithCrs && !(FStatementFlags & sfLongData));
    return Proc && (Kind == ODBCKindMSSQL || Kind == ODBCKindASA);
}

void TZqPhysODBCCommand::ReconnectCommands()
{
    TZqPhysODBCConnectionBase *Conn = ODBCConn();
    // Every command of the connection that holds a statement drops it
    // before the reconnect and builds it again afterwards.
    std::vector<TZqIntfPtr<IZqPhysCommand>> Held;
    auto Each = [&](const std::function<void(TZqPhysODBCCommand *)> &ADo) {
        for (auto &C : Held)
            if (auto *O = dynamic_cast<TZqPhysODBCCommand *>(C.Get())) ADo(O);
    };
    Conn->Reconnect(
        [&] {
            for (int I = 0; I < Conn->GetCommandCount(); ++I) {
                TZqIntfPtr<IZqPhysCommand> C;
                Conn->GetCommands(I, C);
                if (C && C->GetState() != 0) Held.push_back(C);
            }
            Each([](TZqPhysODBCCommand *O) {
                try {
                    O->InternalUnprepare();
                } catch (...) {
                    // the statement died with the link
                }
            });
        },
        [&] { Each([](TZqPhysODBCCommand *O) { O->InternalPrepare(); }); });
}

// ---- prepare -------------------------------------------------------------------------------------

std::string TZqPhysODBCCommand::BuildStoredProcCall(const TZqPhysParsedName &AName)
{
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    ConnectionObj()->CreateMetadata(Meta);
    TZqParams *P = GetParams();
    bool HasResult = false;
    for (int I = 0; I < P->Count(); ++I)
        if (P->Items(I)->ParamType() == rtl::ptResult) HasResult = true;
    std::string S = "{";
    if (HasResult) S += "? = ";
    S += "CALL " + Meta->EncodeObjName(AName, this, 3);
    int Written = 0;
    for (int I = 0; I < P->Count(); ++I) {
        TZqParam *Q = P->Items(I);
        if (Q->ParamType() == rtl::ptResult) continue;
        S += Written++ == 0 ? "(" : ", ";
        if (Q->ArrayType() == atPLSQLTable)
            S += "{RESULTSET " + std::to_string(Q->ArraySize()) + ", " + Q->Name() + "}";
        else
            S += "?";
    }
    if (Written > 0) S += ")";
    return S + "}";
}

void TZqPhysODBCCommand::SetupStatement(TODBCStatementBase *AStatement)
{
    const bool HadLongThenShort = FStatementFlags & sfSSLongThenShort;
    FStatementFlags = 0;
    TZqFetchOptions *Fetch = GetFetchOptions();
    TZqFormatOptions *Fmt = GetFormatOptions();
    if (Fetch->Items().Contains(fiBlobs)) FStatementFlags |= sfLongData;
    AStatement->InlineDataSize = Fmt->InlineDataSize() > 0 ? Fmt->InlineDataSize() : 8000;
    AStatement->StrsTrim = Fmt->StrsTrim();
    AStatement->StrsEmpty2Null = Fmt->StrsEmpty2Null();
    AStatement->MaxStringSize = SQLLEN(Fmt->MaxStringSize());
    const uint8_t Kind = ODBCConn()->ODBCConnection()->RDBMSKind;
    const bool IsSQL = GetMetaInfoKind() == 0;
    // A driver that changes a requested value answers with info (01S02: the
    // Access driver's cursors are forward-only). The prepare or execute that
    // follows clears the connection's info before anyone reads it, so it is
    // not read here: that takes a round of diagnostic calls per statement.
    // SQL Server's info can carry an error (3621) that must still raise.
    // Which of the attributes below this setup moves off their defaults.
    uint8_t Attrs = 0;
    // A handle prepared before takes no new cursor type or concurrency (the
    // driver manager answers HY011): the same values need no call, others
    // a new handle.
    const bool Reused = AStatement == FCommandStatement && FStatementReused;
    const auto SetAttr = [&](TODBCStatementBase *S, SQLINTEGER AAttr, SQLLEN AValue) {
        switch (AAttr) {
        case SQL_ATTR_ROW_ARRAY_SIZE: Attrs |= saRowArray; break;
        case SQL_ATTR_CURSOR_TYPE:
        case SQL_ATTR_CONCURRENCY: {
            Attrs |= AAttr == SQL_ATTR_CURSOR_TYPE ? saCursorType : saConcurrency;
            SQLLEN &Last = AAttr == SQL_ATTR_CURSOR_TYPE ? FCursorTypeSet : FConcurrencySet;
            if (Reused) {
                if (Last == AValue) return;
                throw TNewHandleNeeded();
            }
            Last = AValue;
            break;
        }
        case 1230: Attrs |= saSSCursor; break;
        case SQL_ATTR_NOSCAN: Attrs |= saNoScan; break;
        default: break;
        }
        if (Kind == ODBCKindMSSQL) {
            S->SetIntAttr(AAttr, AValue);
            return;
        }
        const SQLRETURN RC = S->Lib()->SQLSetStmtAttr(S->Handle(), AAttr, reinterpret_cast<SQLPOINTER>(AValue), 0);
        if (RC != SQL_SUCCESS_WITH_INFO) S->Check(RC);
    };

    FParamArraysRefused = false;
    if (AStatement == FCommandStatement && GetParams()->GetActiveCount() > 0) {
        const int N = GetParams()->GetArraySize();
        if (N > 1 && OfferParamArrays(N)) Attrs |= saParamSet;
        FCommandStatement->ParamSetSupported = FStatementFlags & sfParamArrays;
    }

    // A limit in "exactly RecsMax" mode lets one row more through, so that
    // "too many rows" can still be told from "exactly as many".
    int RecsMax = Fetch->RecsMax();
    if (RecsMax >= 0 && Fetch->Mode() == fmExactRecsMax) ++RecsMax;
    // Statement attributes outlive a close and a prepare: a kept handle
    // still has the limit its last setup gave it.
    if (!Reused || AStatement->MaxRowsSet != std::max(RecsMax, 0)) {
        AStatement->MaxRowsSet = -1;
        if (RecsMax > 0)
            SetAttr(AStatement, SQL_ATTR_MAX_ROWS, RecsMax);
        else
            AStatement->Lib()->SQLSetStmtAttr(AStatement->Handle(), SQL_ATTR_MAX_ROWS, nullptr, 0);
        AStatement->MaxRowsSet = std::max(RecsMax, 0);
    }

    if (!UseDirectExecute()) {
        const TZqFetchMode Mode = Fetch->Mode();
        if (Kind == ODBCKindMSSQL && (Mode == fmAll || Mode == fmExactRecsMax) && !HadLongThenShort) {
            SetAttr(AStatement, 1230, 0);
            FStatementFlags |= sfSSDefaultResultSet;
        } else {
            if (ODBCConn()->GetDataInBlock() && !(Kind == ODBCKindDB2 && (FStatementFlags & sfLongData))) {
                const int Size = Fetch->ActualRowsetSize();
                // A kept handle still has the size the last setup gave it
                // unless a fetch or a page buffer set another since.
                if (Reused && AStatement->RowArraySizeSet == Size) {
                    Attrs |= saRowArray;
                    FStatementFlags |= sfRowArrays;
                } else {
                    AStatement->RowArraySizeSet = -1;
                    SetAttr(AStatement, SQL_ATTR_ROW_ARRAY_SIZE, Size);
                    if (AStatement->GetIntAttr(SQL_ATTR_ROW_ARRAY_SIZE) == Size) {
                        FStatementFlags |= sfRowArrays;
                        AStatement->RowArraySizeSet = Size;
                    }
                }
            }
            if (Kind == ODBCKindMSSQL && !(FStatementFlags & sfLongData))
                SetAttr(AStatement, 1230, Mode == fmExactRecsMax ? 3 : 1);
            else if (IsSQL && Kind != ODBCKindDB2)
                SetAttr(AStatement, SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC);
            if (GetCommandKind() != skSelectForUpdate)
                SetAttr(AStatement, SQL_ATTR_CONCURRENCY, SQL_CONCUR_READ_ONLY);
        }
    }
    if ((Kind == ODBCKindMSSQL || Kind == ODBCKindDB2) && IsSQL && !IsStoredProcKind(GetCommandKind()) &&
        GetParams()->GetActiveCount() == 0 && GetResourceOptions()->MacroExpand() &&
        GetResourceOptions()->EscapeExpand())
        SetAttr(AStatement, SQL_ATTR_NOSCAN, SQL_NOSCAN_ON);

    if (AStatement == FCommandStatement) {
        // A handle used before: what its last setup changed and this one
        // leaves alone goes back to the default a new handle has.
        const uint8_t Stale = uint8_t(FSetupAttrs & ~Attrs);
        if (Reused && (Stale & (saCursorType | saConcurrency))) throw TNewHandleNeeded();
        FSetupAttrs = Attrs;
        const auto Reset = [&](uint8_t ABit, SQLINTEGER AAttr, SQLULEN AValue) {
            if (Stale & ABit)
                AStatement->Lib()->SQLSetStmtAttr(AStatement->Handle(), AAttr, reinterpret_cast<SQLPOINTER>(AValue), 0);
        };
        Reset(saParamSet, SQL_ATTR_PARAMSET_SIZE, 1);
        if (Stale & saRowArray) AStatement->RowArraySizeSet = -1;
        Reset(saRowArray, SQL_ATTR_ROW_ARRAY_SIZE, 1);
        Reset(saCursorType, SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY);
        Reset(saConcurrency, SQL_ATTR_CONCURRENCY, SQL_CONCUR_READ_ONLY);
        Reset(saSSCursor, 1230, 0);
        Reset(saNoScan, SQL_ATTR_NOSCAN, SQL_NOSCAN_OFF);
    }
}

bool TZqPhysODBCCommand::OfferParamArrays(int AArraySize)
{
    // A driver without arrays (the Access driver of Windows) answers 01S02
    // and keeps 1; one that runs no result set with them says so, and such
    // a command opens on its first set.
    if (!ODBCConn()->ParamArraySelects() && ReturnsRows(GetCommandKind())) {
        FParamArraysRefused = true;
        return false;
    }
    FCommandStatement->SetParamSetSize(SQLULEN(AArraySize));
    if (FCommandStatement->GetParamSetSize() == SQLULEN(AArraySize))
        FStatementFlags |= sfParamArrays;
    else
        FParamArraysRefused = true;
    return true;
}

void TZqPhysODBCCommand::CreateParamInfos()
{
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    ConnectionObj()->CreateMetadata(Meta);
    const int L = Meta->GetNameMaxLength();
    const uint8_t Kind = ODBCConn()->ODBCConnection()->RDBMSKind;
    TZqFormatOptions *Fmt = GetFormatOptions();
    TZqParams *Params = GetParams();
    SQLSMALLINT Pos = 0;
    bool AnyLong = false;
    for (int I = 0; I < Params->Count(); ++I) {
        TZqParam *P = Params->Items(I);
        if (!P->Active()) continue;
        TZqPhysODBCParamInfo Info;
        Info.Position = Pos;
        if (Kind != ODBCKindMSSQL && Params->BindMode() == 0) {
            Info.Name = P->Name();
            if (L > 0 && int(Info.Name.size()) > L) {
                // Too long for the server: cut, and keep it unique by its index.
                const std::string K = std::to_string(I + 1);
                Info.Name = Info.Name.substr(0, size_t(std::max<int>(L - 1 - int(K.size()), 0))) + "_" + K;
            }
        }
        if (P->ParamType() == rtl::ptUnknown) P->SetParamType(GetResourceOptions()->DefaultParamType());
        Info.InputOutputType = ZqODBCParamDirection(P->ParamType());
        Info.FieldType = P->DataType();
        if (Info.FieldType == rtl::ftUnknown) RaisePhys(335, {P->Name()});

        // The form the parameter holds its values in, and the form the
        // server is sent after the map rules.
        TZqDataAttributes Attrs;
        uint32_t Len = 0;
        int Prec = 0, Scale = 0;
        Fmt->FieldTypeToDataType(P->DataType(), uint32_t(std::max(P->Size(), 0)), P->Precision(), Info.SourceType,
                                 Attrs, Len, Prec, Scale);
        const TZqDataType Col = P->ZqDataType();
        if ((Info.SourceType == dtHMemo && Col == dtWideHMemo) || (Info.SourceType == dtHBlob && Col == dtHBFile) ||
            (Info.SourceType == dtDateTime && Col == dtDateTimeStamp) ||
            ((P->DataType() == rtl::ftSmallint || P->DataType() == rtl::ftWord) && (Col == dtSByte || Col == dtByte)))
            Info.SourceType = Col;
        rtl::TFieldType FT;
        uint32_t Size = 0;
        int RPrec = 0;
        Fmt->ResolveFieldType(P->DataType(), Col, false, uint32_t(std::max(P->Size(), 0)), P->Precision(),
                              Info.DestType, FT, Size, RPrec);
        Info.ColumnSize = Size;
        if (Kind == ODBCKindASA && (P->ParamType() == rtl::ptOutput || P->ParamType() == rtl::ptInputOutput)) {
            if (Info.DestType == dtBlob) Info.DestType = dtByteString;
            else if (Info.DestType == dtMemo) Info.DestType = dtAnsiString;
        }
        if (Info.DestType == dtCurrency) Info.DestType = dtBCD;
        Info.SourceSQLType = ZqODBCDataTypeToSQLType(Info.SourceType, Kind);
        Info.BindSQLType = ZqODBCDataTypeToSQLType(Info.DestType, Kind);
        if (Info.BindSQLType == 0) RaisePhys(336, {P->Name()});
        Info.VarType = SQLTypeToDataType(Info.BindSQLType, SQLLEN(Info.ColumnSize), Info.DecimalDigits, Fmt).Type;
        if (Info.VarType == dtFmtBCD && Info.DestType == dtBCD) Info.VarType = dtBCD;
        if (Info.VarType == dtBCD || Info.VarType == dtFmtBCD) {
            Info.ColumnSize = SQLULEN(P->Precision() != 0 ? P->Precision() : std::max(P->Size(), 0));
            Info.DecimalDigits = SQLSMALLINT(P->NumericScale());
        }
        auto V = std::make_unique<TODBCVariable>();
        V->Name = Info.Name;
        V->ColumnSize = Info.ColumnSize;
        V->Scale = Info.DecimalDigits;
        V->SetSQLDataType(Info.BindSQLType);
        V->SetCDataType(ZqODBCDataTypeToCType(Info.VarType));
        TODBCVariable *Var = FCommandStatement->ParamList().Add(std::move(V));
        Var->SetParamType(Info.InputOutputType);
        Var->Prepare();
        AnyLong = AnyLong || Var->LongData;
        FParamsSized = FParamsSized || IsVarLenType(Info.SourceType) || Info.VarType == dtBCD ||
                       Info.VarType == dtFmtBCD;
        Info.Variable = Var;
        FParamInfos.push_back(std::move(Info));
        ++Pos;
    }
    if (AnyLong) {
        // Data at execution goes one parameter set at a time.
        FCommandStatement->SetParamSetSize(1);
        FStatementFlags &= uint8_t(~sfParamArrays);
        FCommandStatement->ParamSetSupported = false;
        FParamArraysRefused = true;
    }
}

TODBCCommandStatement *TZqPhysODBCCommand::TakeCommandStatement(TODBCConnection *AConnection)
{
    std::unique_ptr<TODBCCommandStatement> Spare(FSpareStatement);
    FSpareStatement = nullptr;
    // A handle the driver manager released with a lost connection is not.
    FStatementReused = Spare && Spare->HasHandle() && Spare->Connection() == AConnection;
    if (FStatementReused) return Spare.release();
    Spare.reset();
    auto Made = std::make_unique<TODBCCommandStatement>(AConnection, this);
    FSetupAttrs = 0;
    FCursorTypeSet = FConcurrencySet = -1;
    return Made.release();
}

void TZqPhysODBCCommand::InternalPrepare()
{
    TZqPhysODBCConnectionBase *Conn = ODBCConn();
    // What was learnt of one statement's results (SQL Server's long columns)
    // does not hold for another text.
    if ((FStatementFlags & sfSSLongThenShort) && FFlagsText != DbCommandText())
        FStatementFlags &= uint8_t(~sfSSLongThenShort);
    try {
        if (GetMetaInfoKind() == 0) {
            FProcCallText.clear();
            if (IsStoredProcKind(GetCommandKind())) {
                TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
                ConnectionObj()->CreateMetadata(Meta);
                TZqPhysParsedName Name;
                Meta->ParseObjName(rtl::Trim(GetCommandText()), Name, 3, this);
                if (GetFetchOptions()->Items().Contains(fiMeta)) FillStoredProcParams(Name, GetOverload());
                FProcCallText = BuildStoredProcCall(Name);
            }
            FCommandStatement = TakeCommandStatement(Conn->ODBCConnection());
            FStatement = FCommandStatement;
            try {
                SetupStatement(FStatement);
            } catch (const TNewHandleNeeded &) {
                TODBCStatementBase *Old = FStatement;
                FStatement = FCommandStatement = nullptr;
                delete Old;
                FCommandStatement = TakeCommandStatement(Conn->ODBCConnection());
                FStatement = FCommandStatement;
                SetupStatement(FStatement);
            }
            FStatementFlags |= sfParamsToBind;
            const bool Direct = UseDirectExecute();
            if (!Direct) FCommandStatement->Prepare(FProcCallText.empty() ? DbCommandText() : FProcCallText);
            // The Access driver runs one statement per text and knows its
            // result columns once it is prepared: a statement without any
            // (an Update, an Insert) has no result set to ask for after each
            // execute.
            SQLSMALLINT Columns = -1;
            FNoResultColumns = !Direct && Conn->ODBCConnection()->RDBMSKind == ODBCKindMSAccess &&
                               FCommandStatement->Lib()->SQLNumResultCols(FCommandStatement->Handle(), &Columns) ==
                                   SQL_SUCCESS &&
                               Columns == 0;
            if (GetParams()->GetActiveCount() > 0) {
                CreateParamInfos();
                if (!FParamInfos.empty())
                    FCommandStatement->BindParams(GetParamArraySize(GetParams()->GetArraySize()), true);
            }
        } else {
            FMetaInfoStatement = new TODBCMetaInfoStatement(Conn->ODBCConnection(), this);
            FStatement = FMetaInfoStatement;
            SetupStatement(FStatement);
        }
    } catch (...) {
        try {
            InternalUnprepare();
        } catch (...) {
        }
        throw;
    }
}

void TZqPhysODBCCommand::FreeColumnInfos()
{
    FColumnInfos.clear();
    FColumnIndex = 0;
    if (FStatement) FStatement->ColumnList().Clear();
}

void TZqPhysODBCCommand::FreeParamInfos()
{
    FParamInfos.clear();
    FParamsSized = false;
    if (FCommandStatement) FCommandStatement->ParamList().Clear();
}

void TZqPhysODBCCommand::InternalUnprepare()
{
    FNoResultColumns = false;
    try {
        CloseStatement(-1, true);
    } catch (...) {
        // a statement that cannot close is still freed
    }
    // The handle is kept for the next prepare when it can be made as new;
    // the lists tell it what was bound, so it is reset before they empty.
    TODBCCommandStatement *Keep = nullptr;
    if (FCommandStatement && FStatement == FCommandStatement && FCommandStatement->HasHandle()) {
        try {
            FCommandStatement->ResetForReuse();
            Keep = FCommandStatement;
        } catch (...) {
            // freed below like any other
        }
    }
    FreeParamInfos();
    FreeColumnInfos();
    TODBCStatementBase *S = FStatement;
    FStatement = nullptr;
    FCommandStatement = nullptr;
    FMetaInfoStatement = nullptr;
    if (Keep) {
        delete FSpareStatement;
        FSpareStatement = Keep;
    } else {
        delete S;
    }
}

void TZqPhysODBCCommand::InternalAbort()
{
    if (TODBCStatementBase *S = FStatement) S->Cancel();
}

// ---- parameter values ------------------------------------------------------------------------------

void TZqPhysODBCCommand::SetParamValue(TZqPhysODBCParamInfo &AInfo, TZqParam *AParam, int AParamRow, int AVarRow)
{
    TODBCVariable *V = AInfo.Variable;
    alignas(16) uint8_t Fixed[64];
    void *Src;
    uint32_t SrcLen;
    if (IsVarLenType(AInfo.SourceType)) {
        if (AParam->IsNull(AParamRow)) {
            V->SetData(AVarRow, nullptr, 0);
            return;
        }
        AParam->GetBlobRawData(SrcLen, Src, AParamRow);
    } else {
        std::memset(Fixed, 0, sizeof Fixed);
        if (!AParam->TryGetData(Fixed, AParamRow)) {
            V->SetData(AVarRow, nullptr, 0);
            return;
        }
        Src = Fixed;
        SrcLen = ZqDataTypeStorageSize(AInfo.SourceType);
    }
    if (AInfo.SourceType == AInfo.VarType) {
        V->SetData(AVarRow, Src, SQLLEN(SrcLen));
        return;
    }
    uint32_t OutLen = 0;
    void *Target = ConvertValue(AInfo.SourceType, AInfo.VarType, Src, SrcLen, OutLen);
    V->SetData(AVarRow, Target, SQLLEN(OutLen));
}

void TZqPhysODBCCommand::SetParamRows(TZqPhysODBCParamInfo &AInfo, TZqParam *AParam, int AFirst, int ALast)
{
    TODBCVariable *V = AInfo.Variable;
    const int Size = ZqPlainNumberCSize(V->CDataType());
    if (ALast <= AFirst || AInfo.SourceType != AInfo.VarType || V->LongData || Size == 0 ||
        ZqDataTypeStorageSize(AInfo.SourceType) != uint32_t(Size)) {
        for (int R = AFirst; R <= ALast; ++R) SetParamValue(AInfo, AParam, R, R);
        return;
    }
    // A number held in the form its variable sends goes straight into its
    // row's slot: the slots of a page lie one stride apart, found once for
    // an array of a station's levels instead of once per value.
    uint8_t *Data, *Next;
    SQLLEN *Ind, *NextInd;
    V->GetBuffers(AFirst, Data, Ind);
    V->GetBuffers(AFirst + 1, Next, NextInd);
    const ptrdiff_t Step = Next - Data;
    const ptrdiff_t IndStep = reinterpret_cast<uint8_t *>(NextInd) - reinterpret_cast<uint8_t *>(Ind);
    alignas(16) uint8_t Fixed[16];
    for (int R = AFirst; R <= ALast; ++R) {
        std::memset(Fixed, 0, sizeof Fixed);
        if (AParam->TryGetData(Fixed, R)) {
            std::memcpy(Data, Fixed, size_t(Size));
            *Ind = Size;
        } else {
            V->SetData(R, nullptr, 0);
        }
        Data += Step;
        Ind = reinterpret_cast<SQLLEN *>(reinterpret_cast<uint8_t *>(Ind) + IndStep);
    }
}

void TZqPhysODBCCommand::SetParamValues(int ARow)
{
    if (!FCommandStatement || FParamInfos.empty()) return;
    TZqParams *Params = GetParams();
    const int N = Params->GetArraySize();
    // All rows at once need a driver that took the array size.
    ZQ_ASSERT(!(ARow == -1 && N > 1 && !(FStatementFlags & sfParamArrays)), CUnit);
    for (int I = 0; I < Params->Count(); ++I)
        if (Params->Items(I)->ArraySize() != N)
            ZqRaiseError(this, CPhysODBC, 1203, {Params->Items(I)->Name()});
    const int Rows = GetParamArraySize(N);
    TODBCPageBuffer *Page = FCommandStatement->ParamList().PageBuffer();
    const int Bound = Page && Page->Allocated ? Page->RowCount : 0;
    if (!ParamArraySizeFits(Rows, Bound)) FCommandStatement->BindParams(Rows, true);

    const int First = ARow == -1 ? 0 : ARow;
    const int Last = ARow == -1 ? N - 1 : ARow;
    std::vector<TODBCVariable *> Rebind;
    const auto Check = [&](TZqParam *P, const TZqPhysODBCParamInfo &Info) {
        if (ZqODBCParamDirection(P->ParamType()) != Info.InputOutputType || P->DataType() != Info.FieldType)
            RaisePhys(338, {P->Name()});
    };
    const auto Again = [&](const TZqPhysODBCParamInfo &Info) {
        return (Info.InputOutputType == SQL_PARAM_OUTPUT && !Info.Variable->LongData) ||
               (FStatementFlags & sfParamsToBind);
    };

    // Each active parameter that has a variable, checked against its info.
    const auto ForEachBound = [&](auto &&AVisit) {
        size_t K = 0;
        for (int I = 0; I < Params->Count(); ++I) {
            TZqParam *P = Params->Items(I);
            if (!P->Active()) continue;
            TZqPhysODBCParamInfo &Info = FParamInfos[K++];
            if (P->DataType() == rtl::ftCursor) continue;
            Check(P, Info);
            if (Info.Variable) AVisit(P, Info);
        }
    };

    // Numbers, dates and the like never outgrow their variables: one pass
    // checks each parameter and writes its values.
    if (!FParamsSized) {
        ForEachBound([&](TZqParam *P, TZqPhysODBCParamInfo &Info) {
            if (Again(Info)) Rebind.push_back(Info.Variable);
            if (ARow == -1)
                SetParamRows(Info, P, First, Last);
            else
                SetParamValue(Info, P, ARow, 0);
        });
        for (TODBCVariable *V : Rebind) V->Bind();
        FStatementFlags &= uint8_t(~sfParamsToBind);
        return;
    }

    // First the sizes the values need: a variable they outgrow is sized
    // again before anything is written into it.
    bool Grow = false;
    // The parameters to write and their infos, as this pass finds them: the
    // writing pass goes through them without walking the list again.
    FParamsToSet.clear();
    ForEachBound([&](TZqParam *P, TZqPhysODBCParamInfo &Info) {
        TODBCVariable *V = Info.Variable;
        FParamsToSet.emplace_back(P, &Info);
        SQLULEN MaxLen = SQLULEN(std::max(P->Size(), 0));
        int MaxInt = 0, MaxScale = 0;
        // Only text, bytes and BCD numbers take their size from the values.
        const bool Sized = IsVarLenType(Info.SourceType) || Info.VarType == dtBCD || Info.VarType == dtFmtBCD;
        for (int R = First; Sized && R <= Last; ++R) {
            if (P->IsNull(R)) continue;
            if (IsVarLenType(Info.SourceType)) {
                uint32_t L = 0;
                void *D = nullptr;
                P->GetBlobRawData(L, D, R);
                MaxLen = std::max<SQLULEN>(MaxLen, L);
            } else if (Info.VarType == dtBCD || Info.VarType == dtFmtBCD) {
                rtl::TBcd B;
                if (Info.SourceType == dtBCD || Info.SourceType == dtFmtBCD)
                    P->GetData(&B, R);
                else
                    B = P->AsFMTBCD(R);
                int Int = 0, Sc = 0;
                BcdDigits(B, Int, Sc);
                MaxInt = std::max(MaxInt, Int);
                MaxScale = std::max(MaxScale, Sc);
            }
        }
        if (IsVarLenType(Info.VarType) && !V->LongData && MaxLen > V->ColumnSize) {
            V->ColumnSize = MaxLen == 0 ? 1 : MaxLen;
            V->Prepared = false;
            Grow = true;
        } else if ((Info.VarType == dtBCD || Info.VarType == dtFmtBCD) &&
                   (SQLULEN(MaxInt + MaxScale) > V->ColumnSize || MaxScale > V->Scale)) {
            V->ColumnSize = SQLULEN(std::max(MaxInt + std::max<int>(MaxScale, V->Scale), 1));
            V->Scale = SQLSMALLINT(std::max<int>(MaxScale, V->Scale));
            V->Prepared = false;
            Grow = true;
        }
        if (Again(Info)) Rebind.push_back(V);
    });
    if (Grow) {
        // New sizes: a new page, every variable bound to it.
        FCommandStatement->ParamList().PageBuffer()->Release();
        FCommandStatement->BindParams(Rows, true);
        Rebind.clear();
    }
    for (const auto &[P, Info] : FParamsToSet)
        for (int R = First; R <= Last; ++R) SetParamValue(*Info, P, R, ARow == -1 ? R : 0);
    for (TODBCVariable *V : Rebind) V->Bind();
    FStatementFlags &= uint8_t(~sfParamsToBind);
}

void TZqPhysODBCCommand::GetParamValues(int ARow)
{
    if (!FCommandStatement || FParamInfos.empty()) return;
    // Values come back only into output parameters: a statement of input
    // parameters alone, most of them, has nothing to read.
    if (std::all_of(FParamInfos.begin(), FParamInfos.end(),
                    [](const TZqPhysODBCParamInfo &I) { return I.InputOutputType == SQL_PARAM_INPUT; }))
        return;
    TODBCPageBuffer *Page = FCommandStatement->ParamList().PageBuffer();
    if (!Page || !Page->Allocated) return;
    TZqParams *Params = GetParams();
    const int N = Params->GetArraySize();
    const int First = ARow == -1 ? 0 : ARow;
    const int Last = ARow == -1 ? std::min(N, Page->RowCount) - 1 : ARow;
    size_t K = 0;
    for (int I = 0; I < Params->Count(); ++I) {
        TZqParam *P = Params->Items(I);
        if (!P->Active()) continue;
        TZqPhysODBCParamInfo &Info = FParamInfos[K++];
        const rtl::TParamType T = P->ParamType();
        if (P->DataType() == rtl::ftCursor || !Info.Variable ||
            !(T == rtl::ptOutput || T == rtl::ptInputOutput || T == rtl::ptResult))
            continue;
        TODBCVariable *V = Info.Variable;
        for (int R = First; R <= Last; ++R) {
            const int VarRow = ARow == -1 ? R : 0;
            alignas(16) uint8_t Fixed[64];
            void *Data = Fixed;
            SQLLEN Len = 0;
            const bool ByRef = IsVarLenType(Info.VarType);
            if (!V->GetData(VarRow, Data, ByRef, Len)) {
                P->Clear(R);
                continue;
            }
            if (Info.VarType == Info.SourceType) {
                if (IsVarLenType(Info.SourceType))
                    P->SetBlobRawData(uint32_t(Len) * (IsWideType(Info.SourceType) ? 2 : 1), Data, R);
                else
                    P->SetData(Data, int(Len), R);
                continue;
            }
            uint32_t OutLen = 0;
            void *Target = ConvertValue(Info.VarType, Info.SourceType, Data, uint32_t(Len), OutLen);
            if (IsVarLenType(Info.SourceType))
                P->SetBlobRawData(OutLen * (IsWideType(Info.SourceType) ? 2 : 1), Target, R);
            else
                P->SetData(Target, int(OutLen), R);
        }
    }
}

// ---- execute, open, close ------------------------------------------------------------------------------

void TZqPhysODBCCommand::ExecuteRows(int ATimes, int AOffset, bool ARaiseOnNoData, SQLLEN &ACount)
{
    const bool Direct = UseDirectExecute();
    const std::string Text = Direct ? (FProcCallText.empty() ? DbCommandText() : FProcCallText) : std::string();
    FCommandStatement->Execute(ATimes, AOffset, Direct ? &Text : nullptr, ARaiseOnNoData, ACount);
}

void TZqPhysODBCCommand::CloseStatement(int ARow, bool AForce)
{
    if (!AForce && GetNextRecordSet()) return;
    if (!FStatement || (FStatementFlags & sfCursorClosed)) return;
    try {
        while (FStatement->MoreResults()) {
        }
        GetParamValues(ARow);
        FStatement->CloseCursor();
    } catch (...) {
        FStatementFlags |= sfCursorClosed;
        throw;
    }
    FStatementFlags |= sfCursorClosed;
}

void TZqPhysODBCCommand::InternalClose() { CloseStatement(-1, false); }

void TZqPhysODBCCommand::InternalExecute(int ATimes, int AOffset, int &ACount)
{
    FResultPending = 0;
    ACount = 0;
    const bool RaiseOnNoData = GetFetchOptions()->Mode() == fmExactRecsMax;
    try {
        // A command prepared for one parameter set and now sent an array
        // asks the driver for arrays as a command prepared with one would.
        const int N = GetParams()->GetArraySize();
        if (N > 1 && ATimes - AOffset > 1 && !(FStatementFlags & sfParamArrays) && !FParamArraysRefused &&
            FCommandStatement && !FParamInfos.empty() && OfferParamArrays(N)) {
            FSetupAttrs |= saParamSet;
            FCommandStatement->ParamSetSupported = FStatementFlags & sfParamArrays;
        }
        // One SQLExecute for all rows where the driver takes parameter
        // arrays, or for a single parameter set; otherwise row by row.
        if ((FStatementFlags & sfParamArrays) || (ATimes == 1 && AOffset == 0 && N <= 1)) {
            SetParamValues(-1);
            FStatementFlags &= uint8_t(~sfCursorClosed);
            SQLLEN Count = 0;
            bool Reprepared = false;
            try {
                RunWithReconnect([&] {
                    if (Reprepared) SetParamValues(-1);
                    Reprepared = true;
                    ExecuteRows(ATimes, AOffset, RaiseOnNoData, Count);
                    return true;
                });
            } catch (...) {
                // The rows of the sets that ran before the one that failed.
                ACount = int(std::max<SQLLEN>(Count, 0));
                throw;
            }
            ACount = int(Count);
            if (!IsAborting()) {
                if (!FNoResultColumns && FStatement->HasResultSet()) {
                    FResultPending = 1;
                    FNextResultAvailable = SkipEmptyResults();
                } else if (FParamInfos.empty() &&
                           ODBCConn()->ODBCConnection()->RDBMSKind == ODBCKindMSAccess) {
                    // The Access driver runs one statement per text: one
                    // without a result set leaves nothing to read or close
                    // (a command whose text changes per execute would ask
                    // twice per statement otherwise).
                    FStatementFlags |= sfCursorClosed;
                    FStatement->Opened = false;
                }
                GetParamValues(-1);
            }
        } else {
            for (int R = AOffset; R < ATimes; ++R) {
                SetParamValues(R);
                FStatementFlags &= uint8_t(~sfCursorClosed);
                SQLLEN Count = 0;
                bool Reprepared = false;
                try {
                    RunWithReconnect([&] {
                        if (Reprepared) SetParamValues(R);
                        Reprepared = true;
                        ExecuteRows(1, 0, RaiseOnNoData, Count);
                        return true;
                    });
                } catch (EZqDBEngineException &E) {
                    // The error names its row, as an array's does: the rows
                    // before it may have changed any number of rows each.
                    for (int I = 0; I < E.ErrorCount(); ++I) E.Errors(I).RowIndex = R;
                    throw;
                }
                if (Count > 0) ACount += int(Count);
                if (IsAborting()) break;
                CloseStatement(R, true);
            }
        }
        if (ACount < 0) ACount = 0;
        if (ACount == 0 && ODBCConn()->ODBCConnection()->RDBMSKind == ODBCKindMSSQL) {
            SQLLEN NoCount = 0;
            if (SQL_SUCCEEDED(FStatement->Lib()->SQLGetStmtAttr(FStatement->Handle(), 1231, &NoCount, 0, nullptr)) &&
                NoCount == 1)
                ACount = -1;
        }
    } catch (...) {
        try {
            CloseStatement(-1, true);
        } catch (...) {
        }
        throw;
    }
}

void TZqPhysODBCCommand::BindColumnsForRowset()
{
    if (FStatement->ColumnList().Count() == 0) return;
    FStatement->BindColumns(GetRowsetSize(GetFetchOptions()->ActualRowsetSize()));
}

bool TZqPhysODBCCommand::InternalOpen()
{
    FResultPending = 0;
    FRowsVisited = 0;
    const bool IsSQL = GetMetaInfoKind() == 0;
    try {
        // A cursor opens on one parameter set: the first row of an array
        // command whose driver takes no arrays.
        const int ParamRow = GetParams()->GetArraySize() > 1 && !(FStatementFlags & sfParamArrays) ? 0 : -1;
        if (IsSQL) {
            SetParamValues(ParamRow);
            FStatementFlags &= uint8_t(~sfCursorClosed);
        }
        const bool RaiseOnNoData = GetFetchOptions()->Mode() == fmExactRecsMax;
        bool Reprepared = false;
        const bool Ran = RunWithReconnect([&] {
            if (!IsSQL) return ExecuteMetaInfo();
            if (Reprepared) SetParamValues(ParamRow);
            Reprepared = true;
            SQLLEN Count = 0;
            ExecuteRows(1, 0, RaiseOnNoData, Count);
            return true;
        });
        bool HasColumns = false;
        if (Ran && !IsAborting()) {
            HasColumns = SkipEmptyResults();
            if (IsSQL) GetParamValues(-1);
            if (HasColumns && FColumnInfos.empty()) CreateColumnInfos();
            if ((FStatementFlags & sfSSLongThenShort) && (FStatementFlags & sfSSDefaultResultSet)) {
                // A long column followed by a short one needs a server cursor.
                InternalUnprepare();
                FStatementFlags |= sfSSLongThenShort;
                InternalPrepare();
                return InternalOpen();
            }
            if (HasColumns) BindColumnsForRowset();
        }
        if (!HasColumns) CloseStatement(-1, true);
        return HasColumns;
    } catch (...) {
        try {
            CloseStatement(-1, true);
        } catch (...) {
        }
        throw;
    }
}

bool TZqPhysODBCCommand::InternalNextRecordSet()
{
    if (GetMetaInfoKind() != 0 || !FCommandStatement) return false;
    FColumnInfos.clear();
    FColumnIndex = 0;
    FStatement->Unbind();
    bool Next;
    if (FResultPending) {
        FResultPending = 0;
        Next = FNextResultAvailable;
    } else {
        Next = FStatement->MoreResults() && SkipEmptyResults();
    }
    if (Next) {
        CreateColumnInfos();
        BindColumnsForRowset();
    } else {
        CloseStatement(-1, true);
    }
    return Next;
}

// ---- result description ----------------------------------------------------------------------------------

void TZqPhysODBCCommand::CreateColumnInfos()
{
    FStatementFlags &= uint8_t(~sfLongData);
    FColumnInfos.clear();
    FStatement->ColumnList().Clear();
    const TZqPhysMetaInfoKind MetaKind = GetMetaInfoKind();
    const int Count = MetaKind == 11 ? 13 : FStatement->NumResultCols();
    const uint8_t Kind = ODBCConn()->ODBCConnection()->RDBMSKind;
    TZqFormatOptions *Fmt = GetFormatOptions();
    const bool Blobs = GetFetchOptions()->Items().Contains(fiBlobs);
    bool LongSeen = false;
    SQLSMALLINT LongBind = 0;
    FColumnInfos.reserve(size_t(Count));
    for (int C = 1; C <= Count; ++C) {
        TODBCSelectItem Item(FStatement, SQLSMALLINT(C));
        TZqPhysODBCColumnInfo Info;
        Info.Name = Item.Name;
        Info.ColumnNumber = SQLSMALLINT(C);
        Info.ColumnSize = SQLLEN(Item.ColumnSize);
        Info.DecimalDigits = Item.Scale;
        Info.SQLType = Item.SQLDataType;

        if (Item.Nullable == SQL_NULLABLE) Info.Attributes.Include(caAllowNull);
        if (SafeAttr(FStatement, SQLSMALLINT(C), SQL_DESC_AUTO_UNIQUE_VALUE) == 1)
            Info.Attributes.Include(caAutoInc).Include(caAllowNull);
        SQLLEN Updatable = SQL_ATTR_READWRITE_UNKNOWN;
        if (SQL_SUCCEEDED(FStatement->Lib()->SQLColAttribute(FStatement->Handle(), SQLUSMALLINT(C),
                                                             SQL_DESC_UPDATABLE, nullptr, 0, nullptr, &Updatable)) &&
            Updatable == SQL_ATTR_READONLY)
            Info.Attributes.Include(caReadOnly);
        if (Item.RowVer() == 1) Info.Attributes.Include(caRowVersion);

        TZqODBCTypeMapping Src = SQLTypeToDataType(Info.SQLType, Info.ColumnSize, Info.DecimalDigits, Fmt);
        Info.SourceType = Src.Type;
        if ((Info.SourceType == dtBCD || Info.SourceType == dtFmtBCD) &&
            SafeAttr(FStatement, SQLSMALLINT(C), SQL_DESC_FIXED_PREC_SCALE) == 1)
            Info.SourceType = dtCurrency;
        if (Info.SourceType == dtSByte || Info.SourceType == dtInt16 || Info.SourceType == dtInt32 ||
            Info.SourceType == dtInt64) {
            if (SafeAttr(FStatement, SQLSMALLINT(C), SQL_DESC_UNSIGNED) == SQL_TRUE)
                Info.SourceType = Info.SourceType == dtSByte   ? dtByte
                                  : Info.SourceType == dtInt16 ? dtUInt16
                                  : Info.SourceType == dtInt32 ? dtUInt32
                                                               : dtUInt64;
        }
        if (MetaKind == 0)
            Info.DestType = Fmt->MapDataType(Info.SourceType, uint32_t(std::max<int64_t>(Src.Size, 0)), true,
                                             Src.Scale, Src.Precision);
        else
            Info.DestType = Info.SourceType == dtWideString ? dtAnsiString : Info.SourceType;
        if (Info.SourceType == dtCurrency) Info.SourceType = dtBCD;

        // The bound type decides the variable and the type attributes.
        TZqODBCTypeMapping Bound;
        Info.BindSQLType = ZqODBCDataTypeToSQLType(Info.DestType, Kind);
        if (Info.BindSQLType != 0) {
            Bound = SQLTypeToDataType(Info.BindSQLType, Info.ColumnSize, Info.DecimalDigits, Fmt);
            if (Info.DestType == Info.SourceType) Info.BindSQLType = Info.SQLType;
        } else {
            Bound = SQLTypeToDataType(Info.SQLType, Info.ColumnSize, Info.DecimalDigits, Fmt);
            Info.BindSQLType = Info.SQLType;
        }
        Info.VarType = Bound.Type;
        for (TZqDataAttribute A : {caFixedLen, caBlobData, caSearchable}) {
            if (Bound.Attrs.Contains(A)) Info.Attributes.Include(A);
            else Info.Attributes.Exclude(A);
        }
        Info.DestSize = Bound.Size;
        // The in-memory column holds the UTF-8 bytes of as many characters
        // as the driver's column.
        if (Info.VarType == dtAnsiString && !Info.Attributes.Contains(caBlobData))
            Info.DestSize = Bound.Size * ODBC_UTF8_UNIT_BYTES;
        if (Info.VarType == dtFmtBCD && Info.SourceType == dtBCD) Info.VarType = dtBCD;

        const bool Fetched = IsColumnFetched(Info.DestType) && (Info.SQLType != SQL_SS_VARIANT_TYPE || Blobs);
        if (Fetched) {
            if (Kind == ODBCKindMSSQL && !(FStatementFlags & sfSSLongThenShort)) {
                const SQLSMALLINT B = Info.BindSQLType;
                if (B == SQL_LONGVARCHAR || B == SQL_WLONGVARCHAR || B == SQL_LONGVARBINARY) {
                    if (!LongSeen) LongBind = B;
                    LongSeen = true;
                } else if (LongSeen && B != LongBind) {
                    FStatementFlags |= sfSSLongThenShort;
                    FFlagsText = DbCommandText();
                }
            }
            auto V = std::make_unique<TODBCVariable>();
            V->Name = Info.Name;
            V->ColumnSize = SQLULEN(std::max<SQLLEN>(Info.ColumnSize, 0));
            V->Scale = Info.DecimalDigits;
            V->SetSQLDataType(Info.BindSQLType);
            V->SetCDataType(ZqODBCDataTypeToCType(Info.VarType));
            TODBCVariable *Var = FStatement->ColumnList().Add(std::move(V));
            Var->ColumnNumber = SQLUSMALLINT(C);
            Var->Prepare();
            if (Var->LongData) FStatementFlags |= sfLongData;
            Info.Variable = Var;
        }
        FColumnInfos.push_back(std::move(Info));
    }
}

bool TZqPhysODBCCommand::InternalColInfoStart(TZqPhysDataTableInfo &ATabInfo)
{
    if (GetState() == 1) {
        TZqResourceOptions *R = GetResourceOptions();
        OpenWith(R->AsyncCmdMode() == amAsync ? amBlocking : R->AsyncCmdMode(), R->AsyncCmdTimeout());
    }
    const bool Open = GetState() == 3;
    if (Open) {
        if (ATabInfo.FSourceID == -1) {
            ATabInfo.FSourceName = FStatement->GetCursorName();
            ATabInfo.FSourceID = 1;
        }
        FColumnIndex = 0;
    }
    return Open;
}

bool TZqPhysODBCCommand::InternalColInfoGet(TZqPhysDataColumnInfo &AColInfo)
{
    if (FColumnIndex >= int(FColumnInfos.size())) return false;
    const TZqPhysODBCColumnInfo &I = FColumnInfos[size_t(FColumnIndex)];
    AColInfo.FSourceName = I.Name;
    AColInfo.FOriginName = I.Name;
    AColInfo.FSourceID = FColumnIndex + 1;
    AColInfo.FType = I.DestType;
    AColInfo.FTypeName.clear();
    AColInfo.FLen = I.DestSize;
    if (I.DestType == dtDouble || I.DestType == dtCurrency || I.DestType == dtBCD || I.DestType == dtFmtBCD) {
        AColInfo.FPrec = int(I.ColumnSize);
        AColInfo.FScale = I.DecimalDigits;
    } else {
        AColInfo.FPrec = 0;
        AColInfo.FScale = 0;
    }
    AColInfo.FAttrs = I.Attributes;
    AColInfo.FForceAddOpts = TZqDataOptions();
    if (I.Attributes.Contains(caAutoInc)) AColInfo.FForceAddOpts.Include(coAfterInsChanged);
    ++FColumnIndex;
    return true;
}

// ---- fetching --------------------------------------------------------------------------------------------

void TZqPhysODBCCommand::FetchRow(TZqDatSTable *ATable, TZqDatSRow *AParentRow, int ARow)
{
    TZqDatSRow *Row = ATable->NewRow(false);
    // The columns whose text the row keeps cut (see FitText): the column,
    // the stored length (-1: not known) and the length kept, which a
    // character cut in half makes shorter than the column.
    struct TCut {
        size_t Column;
        int64_t Whole;
        uint32_t Kept;
    };
    std::vector<TCut> Cut;
    auto Store = [&](size_t C, const void *AData, uint32_t ALen) {
        int64_t Whole = 0;
        if (AData && FitFetchedText(FColumnInfos[size_t(FFetchMap[C])], ATable->Columns()->GetItem(int(C))->Size(),
                                    ARow, AData, ALen, Whole))
            Cut.push_back({C, Whole, ALen});
        Row->SetData(int(C), AData, ALen);
    };
    try {
        const size_t N = FFetchMap.size();
        alignas(16) uint8_t Fixed[64];
        for (size_t C = 0; C < N; ++C) {
            const int InfoIndex = FFetchMap[C];
            if (InfoIndex < 0) continue;
            if (ARow >= 0 && FFetchSlots[C].Size > 0) {
                const TFetchSlots &S = FFetchSlots[C];
                const SQLLEN *Ind =
                    reinterpret_cast<const SQLLEN *>(reinterpret_cast<const uint8_t *>(S.Ind) + ARow * S.IndStep);
                Row->SetData(int(C), *Ind == SQL_NULL_DATA ? nullptr : S.Data + ARow * S.Step,
                             *Ind == SQL_NULL_DATA ? 0 : uint32_t(S.Size));
                continue;
            }
            void *Data = nullptr;
            uint32_t Len = 0;
            if (ColumnValue(FColumnInfos[size_t(InfoIndex)], ARow, Data, Len, Fixed))
                Store(C, Data, Len);
            else
                Row->SetData(int(C), nullptr, 0);
        }
        // A value the driver could not read stays empty; the row says why,
        // and so it does for a text it keeps cut.
        const EZqDBEngineException *E = ARow >= 0 ? FStatement->RowError(ARow) : nullptr;
        if (!Cut.empty()) {
            EZqDBEngineException Said = E ? *E : EZqDBEngineException(0, std::string());
            for (const TCut &K : Cut) {
                const int InfoIndex = FFetchMap[K.Column];
                const std::string Text = CutTextMessage(FColumnInfos[size_t(InfoIndex)], ARow,
                                                        ATable->Rows()->Count() + 1, K.Whole, K.Kept);
                if (Said.ErrorCount() == 0)
                    Said.SetMessage(Text);
                Said.Append(std::make_unique<TZqDBError>(1, 0, Text, FColumnInfos[size_t(InfoIndex)].Name, ekOther, -1));
            }
            Row->SetRowError(&Said);
        } else if (E)
            Row->SetRowError(E);
        if (AParentRow) Row->SetParentRow(AParentRow);
        ATable->Rows()->Add(Row);
    } catch (...) {
        delete Row;
        throw;
    }
}

bool TZqPhysODBCCommand::ColumnValue(const TZqPhysODBCColumnInfo &AInfo, int ARow, void *&AData, uint32_t &ALen,
                                     uint8_t *AFixed)
{
    TODBCVariable *V = AInfo.Variable;
    if (!V) return false;
    SQLLEN Len = 0;
    // Texts and bytes of the column's own type, and numbers the driver left
    // as they are stored, are read where they lie.
    const bool Same = AInfo.DestType == AInfo.VarType;
    const bool ByRef = IsVarLenType(AInfo.VarType) || (Same && ZqPlainNumberCSize(V->CDataType()) > 0);
    void *Data = ByRef ? nullptr : static_cast<void *>(AFixed);
    if (!ByRef && AInfo.VarType == dtByteString)
        Data = ConversionBuffer()->Check(uint32_t(std::max<SQLLEN>(V->DataSize, 64)));
    if (!V->GetData(ARow, Data, ByRef, Len)) return false;
    if (Same) {
        AData = Data;
        ALen = uint32_t(Len);
        return true;
    }
    AData = ConvertValue(AInfo.VarType, AInfo.DestType, Data, uint32_t(Len), ALen);
    return true;
}

void TZqPhysODBCCommand::VisitRow(const TZqPhysRowVisitor &AVisit, int ARow)
{
    // A text kept cut is cut and said as a fetch into an in-memory table
    // cuts and says it (FetchRow): found before the visit, so that the
    // row's error tells it whatever the visitor reads first.
    ++FRowsVisited;
    FVisitCuts.clear();
    std::unique_ptr<EZqDBEngineException> Said;
    const EZqDBEngineException *E = ARow >= 0 ? FStatement->RowError(ARow) : nullptr;
    for (size_t C = 0; C < FColumnInfos.size(); ++C) {
        const TZqPhysODBCColumnInfo &Info = FColumnInfos[C];
        const TZqDataType T = Info.DestType;
        if ((T != dtAnsiString && T != dtWideString && T != dtByteString) || !Info.Variable)
            continue;
        uint8_t Fixed[64];
        void *Data = nullptr;
        uint32_t Len = 0;
        int64_t Whole = 0;
        const void *Kept = nullptr;
        if (!ColumnValue(Info, ARow, Data, Len, Fixed) || !(Kept = Data) ||
            !FitFetchedText(Info, Info.DestSize, ARow, Kept, Len, Whole))
            continue;
        FVisitCuts.push_back({C, Len});
        const std::string Text = CutTextMessage(Info, ARow, FRowsVisited, Whole, Len);
        if (!Said) {
            Said = std::make_unique<EZqDBEngineException>(E ? *E : EZqDBEngineException(0, std::string()));
            if (Said->ErrorCount() == 0)
                Said->SetMessage(Text);
        }
        Said->Append(std::make_unique<TZqDBError>(1, 0, Text, Info.Name, ekOther, -1));
    }
    class TRow final : public IZqPhysFetchedRow {
    public:
        TRow(TZqPhysODBCCommand &ACmd, int ARow, const EZqException *AError) : FCmd(ACmd), FRow(ARow), FError(AError) {}
        int ColumnCount() override { return int(FCmd.FColumnInfos.size()); }
        TZqDataType ColumnType(int AColumn) override { return FCmd.FColumnInfos.at(size_t(AColumn)).DestType; }
        bool GetValue(int AColumn, void *&AData, uint32_t &ALen) override
        {
            // A number where the page holds it as stored (FindFetchSlots).
            if (FRow >= 0 && size_t(AColumn) < FCmd.FFetchSlots.size() && FCmd.FFetchSlots[size_t(AColumn)].Size > 0) {
                const TFetchSlots &S = FCmd.FFetchSlots[size_t(AColumn)];
                if (*reinterpret_cast<const SQLLEN *>(reinterpret_cast<const uint8_t *>(S.Ind) + FRow * S.IndStep) ==
                    SQL_NULL_DATA)
                    return false;
                AData = S.Data + FRow * S.Step;
                ALen = uint32_t(S.Size);
                return true;
            }
            if (!FCmd.ColumnValue(FCmd.FColumnInfos.at(size_t(AColumn)), FRow, AData, ALen, FFixed))
                return false;
            for (const auto &[Column, Kept] : FCmd.FVisitCuts)
                if (Column == size_t(AColumn))
                    ALen = Kept;
            return true;
        }
        const EZqException *RowError() override { return FError; }

    private:
        TZqPhysODBCCommand &FCmd;
        int FRow;
        const EZqException *FError;
        alignas(16) uint8_t FFixed[64];
    } Row(*this, ARow, Said ? Said.get() : E);
    AVisit(Row);
}

bool TZqPhysODBCCommand::FitFetchedText(const TZqPhysODBCColumnInfo &AInfo, int64_t ASize, int ARow,
                                        const void *&AData, uint32_t &ALen, int64_t &AWhole)
{
    // The statement read no more of a value than its buffer takes, and
    // marked it (MarkCutValues) with its length in bytes.
    SQLLEN Marked = 0;
    TODBCVariable *V = AInfo.Variable;
    const bool Prefix = ARow >= 0 && V && V->Cut(ARow, Marked);
    AWhole = !Prefix ? int64_t(ALen)
             : Marked == SQL_NO_TOTAL ? -1
             : V->CDataType() == SQL_C_WCHAR ? int64_t(Marked / 2)
                                             : int64_t(Marked);
    return FitText(AInfo.DestType, ASize, AInfo.Attributes.Contains(caBlobData), AData, ALen, Prefix);
}

bool TZqPhysODBCCommand::FitText(TZqDataType T, int64_t ASize, bool ABlob, const void *&AData, uint32_t &ALen,
                                 bool APrefix)
{
    // A text the station database holds beyond its column's declared size
    // (a file another tool wrote) comes as far as its buffer takes, or
    // whole from a driver that hands it so; the in-memory column, sized by
    // the declaration, takes what fits, cut after a whole character.
    if ((T != dtAnsiString && T != dtWideString && T != dtByteString) || ABlob || ASize <= 0 ||
        (!APrefix && ALen <= uint64_t(ASize)))
        return false;
    uint32_t Keep = uint32_t(std::min<int64_t>(ALen, ASize));
    if (T == dtAnsiString && Keep > 0) {
        // The last character kept: whole when its lead byte's length fits.
        const auto *P = static_cast<const uint8_t *>(AData);
        uint32_t Lead = Keep - 1;
        while (Lead > 0 && (P[Lead] & 0xC0) == 0x80)
            --Lead;
        const uint32_t Bytes = P[Lead] >= 0xF0 ? 4 : P[Lead] >= 0xE0 ? 3 : P[Lead] >= 0xC0 ? 2 : 1;
        if (Lead + Bytes > Keep)
            Keep = Lead;
    } else if (T == dtWideString && Keep > 0) {
        const char16_t Last = static_cast<const char16_t *>(AData)[Keep - 1];
        if (Last >= 0xD800 && Last <= 0xDBFF)
            --Keep;
    }
    ALen = Keep;
    return true;
}

std::string TZqPhysODBCCommand::CutTextMessage(const TZqPhysODBCColumnInfo &AInfo, int ARow, int ARowNumber,
                                               int64_t AWhole, uint32_t AKept)
{
    // Named by the table, the column and the row: the row by the first
    // column when that is a whole number (the station database's selects
    // start with the identity), else by its place in the result.
    char Table[256] = {};
    SQLSMALLINT TableLen = 0;
    if (!SQL_SUCCEEDED(FStatement->Lib()->SQLColAttribute(FStatement->Handle(), SQLUSMALLINT(AInfo.ColumnNumber),
                                                          SQL_DESC_BASE_TABLE_NAME, Table, SQLSMALLINT(sizeof Table - 1),
                                                          &TableLen, nullptr)))
        Table[0] = 0;
    std::string Where = "row " + std::to_string(ARowNumber) + " of the result";
    if (!FColumnInfos.empty() && FColumnInfos[0].Variable && ARow >= 0) {
        TODBCVariable *First = FColumnInfos[0].Variable;
        const SQLSMALLINT CT = First->CDataType();
        uint8_t *Data;
        SQLLEN *Ind;
        First->GetBuffers(ARow, Data, Ind);
        if (*Ind != SQL_NULL_DATA) {
            int64_t Id = 0;
            bool Whole = true;
            if (CT == SQL_C_SLONG || CT == SQL_C_LONG) {
                int32_t V;
                std::memcpy(&V, Data, 4);
                Id = V;
            } else if (CT == SQL_C_SSHORT || CT == SQL_C_SHORT) {
                int16_t V;
                std::memcpy(&V, Data, 2);
                Id = V;
            } else if (CT == SQL_C_SBIGINT) {
                std::memcpy(&Id, Data, 8);
            } else
                Whole = false;
            if (Whole)
                Where = "the row with " + FColumnInfos[0].Name + " " + std::to_string(Id);
        }
    }
    const std::string Column = (Table[0] ? std::string(Table) + "." : std::string()) + AInfo.Name;
    const bool Wide = AInfo.DestType == dtWideString;
    const std::string Unit = Wide ? " characters" : " bytes";
    return "The text of " + Column + " in " + Where +
           (AWhole < 0 ? std::string(" is longer than its column takes")
                       : " holds " + std::to_string(AWhole) + Unit + ", more than its column takes") +
           ": the first " + std::to_string(AKept) + Unit + " are read.";
}

void TZqPhysODBCCommand::FindFetchSlots(int ARows)
{
    // A number the driver left as it is stored is read where it lies: the
    // rows of a page one stride apart, found once a rowset instead of once
    // a value.
    FFetchSlots.assign(FFetchMap.size(), TFetchSlots());
    for (size_t C = 0; C < FFetchMap.size(); ++C) {
        if (FFetchMap[C] < 0) continue;
        const TZqPhysODBCColumnInfo &Info = FColumnInfos[size_t(FFetchMap[C])];
        TODBCVariable *V = Info.Variable;
        const int Size = ZqPlainNumberCSize(V->CDataType());
        if (Info.DestType != Info.VarType || IsByRefFetchType(Info.VarType) || V->LongData || Size == 0) continue;
        TFetchSlots &S = FFetchSlots[C];
        V->GetBuffers(0, S.Data, S.Ind);
        if (ARows > 1) {
            uint8_t *Next;
            SQLLEN *NextInd;
            V->GetBuffers(1, Next, NextInd);
            S.Step = Next - S.Data;
            S.IndStep = reinterpret_cast<uint8_t *>(NextInd) - reinterpret_cast<uint8_t *>(S.Ind);
        }
        S.Size = Size;
    }
}

int TZqPhysODBCCommand::InternalFetchRowSet(TZqDatSTable *ATable, void *AParentRow, int ARowsetSize)
{
    const bool IsMeta = GetMetaInfoKind() != 0;
    if (IsMeta && (!FMetaInfoStatement || !FMetaInfoStatement->Opened)) return 0;
    if (ARowsetSize <= 0 || !FStatement) return 0;
    const int N = GetRowsetSize(ARowsetSize);
    auto *Parent = static_cast<TZqDatSRow *>(AParentRow);

    // Which column info feeds which in-memory column, once per call; the
    // rows a FetchRows visits hand out every column info in its own place.
    dats::TZqDatSColumnList *Cols = ATable->Columns();
    const TZqPhysRowVisitor *Visit = IsMeta ? nullptr : RowVisitor();
    FFetchMap.assign(Visit ? FColumnInfos.size() : size_t(Cols->Count()), -1);
    if (Visit)
        for (size_t C = 0; C < FColumnInfos.size(); ++C)
            FFetchMap[C] = FColumnInfos[C].Variable ? int(C) : -1;
    else if (!IsMeta)
        for (int C = 0; C < Cols->Count(); ++C) {
            TZqDatSColumn *Col = Cols->GetItem(C);
            const int Id = Col->SourceID();
            if (Id > 0 && Id <= int(FColumnInfos.size()) && FColumnInfos[size_t(Id - 1)].Variable &&
                IsColumnFetched(Col->DataType()))
                FFetchMap[size_t(C)] = Id - 1;
        }

    int Count = 0;
    if (FStatement->ColumnList().Count() == 0) {
        // Nothing to read into: the rows still count.
        while (Count < ARowsetSize) {
            const SQLRETURN RC = FStatement->Lib()->SQLFetch(FStatement->Handle());
            if (RC == SQL_NO_DATA) break;
            FStatement->Check(RC);
            if (IsMeta) {
                if (FetchMetaRow(ATable, Parent, -1)) ++Count;
            } else {
                if (const TZqPhysRowVisitor *V = RowVisitor())
                    VisitRow(*V, -1);
                else
                    FetchRow(ATable, Parent, -1);
                ++Count;
            }
        }
        return Count;
    }
    // A page holds a fixed number of rows: a larger request is read page by
    // page, a smaller one narrows the driver's rowset, so that no row is
    // fetched past what was asked for.
    TODBCPageBuffer *Page = FStatement->ColumnList().PageBuffer();
    const int PageRows = Page && Page->Allocated ? Page->RowCount : 1;
    struct TRestore {
        TODBCStatementBase *S;
        int Rows;
        int Set;
        void To(int ARows)
        {
            if (ARows == Set) return;
            S->RowArraySizeSet = -1;
            S->SetIntAttr(SQL_ATTR_ROW_ARRAY_SIZE, ARows);
            Set = ARows;
        }
        ~TRestore()
        {
            if (Set != Rows)
                S->Lib()->SQLSetStmtAttr(S->Handle(), SQL_ATTR_ROW_ARRAY_SIZE,
                                         reinterpret_cast<SQLPOINTER>(SQLULEN(Rows)), 0);
        }
    } Rowset{FStatement, PageRows, PageRows};
    int Got = 0, Want = 0;
    // A FetchRows hands the rows to its visitor as they lie in the page.
    do {
        Want = std::min(PageRows, IsMeta ? N : std::min(N, ARowsetSize - Count));
        if (PageRows > 1) Rowset.To(Want);
        Got = FStatement->Fetch(Want);
        if (!IsMeta && Got > 0) FindFetchSlots(Got);
        for (int I = 0; I < Got; ++I) {
            if (IsMeta) {
                if (FetchMetaRow(ATable, Parent, I)) ++Count;
            } else {
                if (Visit)
                    VisitRow(*Visit, I);
                else
                    FetchRow(ATable, Parent, I);
                ++Count;
            }
        }
    } while (Got == Want && Count < ARowsetSize && !IsAborting());
    return Count;
}
